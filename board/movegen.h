#pragma once
// Move generators, attack caches, exchange evaluation, mate and legality tests.

#include "board/position.h"
#include "board/tables.h"

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

// Men of `men` standing alone between square `king` and a slider on a line through it
// (`diagonal` sliders on the diagonals, `straight` ones on ranks and files): pinned men, or
// men that uncover a check by leaving the line. For such a man on s, lines[s] is the
// slider's square plus the squares between.
inline Bitboard MenOnLinesTo(const Position& pos, int king, Bitboard diagonal, Bitboard straight,
                             Bitboard men, Bitboard lines[64]) {
  Bitboard found = 0;
  for (Bitboard sliders = (bishopRays[king] & diagonal) | (rookRays[king] & straight); sliders;) {
    const int s = PopLowest(sliders);
    const Bitboard blockers = (lineFrom[s][king] ^ Bit(s)) & pos.occupied;
    if (blockers && !(blockers & (blockers - 1)) && (blockers & men)) {
      found |= blockers;
      lines[LowestSquare(blockers)] = lineFrom[s][king];
    }
  }
  return found;
}

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
// The generators leave one test to their callers: whether the mover's king is safe after
// the move. Plays `move` on `trial`, a scratch position of the caller's, and answers that.
bool MoveIsLegal(const Position& pos, const Move& move, Position& trial);
