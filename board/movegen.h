#pragma once
// Move generators, attack caches, exchange evaluation, mate and legality tests.

#include "board/position.h"

// Attack caches, computed at most once per position and colour (cacheFlags bits 0 and 1).
Bitboard ComputeWhiteAttacks(Position& pos);
Bitboard ComputeBlackAttacks(Position& pos);

// Men still on the board during an exchange on `target`; the occupancies are consumed.
struct ExchangeState {
  Bitboard occupied;
  Bitboard occupiedRot90;
  Bitboard occupiedDiagA;
  Bitboard occupiedDiagB;
  int target;
  const Position* pos;
};
ExchangeState MakeExchangeState(const Position& pos, int target);
// What `side` gains by capturing a man worth victimValue on the target (>= 0).
int32_t SeeGain(ExchangeState& state, int32_t victimValue, int side);
// Lowers scores[indices[i]] (i = count..1) of quiet moves that step onto attacked squares.
void QuietMovePenalty(Position& pos, int count, const int* indices, int32_t* scores);

// Men of `side` pinned against their own king by enemy sliders; for a pinned man on s,
// lines[s] is the pinner's square plus the squares between (where it may still go).
Bitboard PinnedMen(const Position& pos, int side, Bitboard lines[64]);
// Men of `side` standing alone between one of its own sliders and the enemy king; for a
// candidate on s, lines[s] is the complement of that line (leaving it uncovers check).
Bitboard DiscoveredCheckCandidates(const Position& pos, int side, Bitboard lines[64]);

// Legal moves with ordering scores; returns at once when cacheFlags bit 2 is set.
void GenerateMoves(Position& pos);
// Unscored moves in the fixed order the book format depends on; pinned men are not
// filtered, so callers test each move after playing it.
void GenerateLegalMoves(Position& pos);
// Pseudo-legal captures and queen promotions, scored for the quiescence search.
void GenerateCaptures(Position& pos);

bool IsMated(Position& pos);
bool HasMateInOne(Position& pos, Position& trial);
bool MoveMates(Position& pos, Position& trial, const Move& move);
bool MoveIsLegal(Position& pos, const Move& move);
bool MoverKingSafe(Position& pos);
void CopyPlayState(Position& dest, const Position& src);
