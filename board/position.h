#pragma once
// The position record: every view of one position, kept consistent by make move and
// established from the piece array by DeriveState.

#include "board/types.h"

// What a move changes: a child position is its parent's play state with the move made on
// it. Copying this record is the engine's one way of copying a position for a move.
struct PlayState {
  int8_t board[64];
  Bitboard whitePawns, whiteKnights, whiteBishops, whiteRooks, whiteQueens;
  Bitboard blackPawns, blackKnights, blackBishops, blackRooks, blackQueens;
  Bitboard whitePieces, blackPieces;  // kings included
  Bitboard occupied;
  Bitboard occupiedRot90;
  Bitboard occupiedDiagA;
  Bitboard occupiedDiagB;
  uint64_t hashKey;
  uint64_t pawnKey;
  uint32_t fiftyCounter;
  uint16_t whiteMaterial, blackMaterial;
  uint16_t materialSignature;
  int8_t castling;
  int32_t whiteKing, blackKing;
  int8_t epFile;
  uint8_t sideToMove;
};

// The play state plus what is derived from it on demand: the move list and the caches
// that cacheFlags marks valid.
struct Position : PlayState {
  int8_t whitePawnCount = -1;  // per-evaluation caches, -1 until first use
  int8_t blackPawnCount = -1;
  uint16_t moveCount = 0;
  Move moveList[256];  // entries 1..moveCount; entry 0 is never used
  Bitboard attacksFrom[64];
  Bitboard passedPawns;
  Bitboard enemyAttacks;
  Bitboard whiteAttacks, blackAttacks;
  Bitboard whitePawnAttacks, blackPawnAttacks;
  uint16_t cacheFlags;
  int32_t checkingMoveCount;
  // A position whose attack sets this one may take over where nothing between differs
  // (see ComputeAttacks); the search links a child to its parent. It must outlive every
  // attack computation on this position; copies of the play state drop the link.
  const Position* attackSource = nullptr;
};

// The child starts with no valid cache: whoever makes a move on it must not trust the
// parent's move list or attack sets.
inline void CopyPlayState(Position& dest, const Position& src) {
  static_cast<PlayState&>(dest) = src;
  dest.cacheFlags = 0;
  dest.attackSource = nullptr;
}

// The piece set of a non-king code, by member pointer so that callers can index by code.
inline constexpr Bitboard Position::* PieceSetMember[13] = {
    nullptr,
    nullptr,
    &Position::whitePawns,
    &Position::whiteKnights,
    &Position::whiteBishops,
    &Position::whiteRooks,
    &Position::whiteQueens,
    nullptr,
    &Position::blackPawns,
    &Position::blackKnights,
    &Position::blackBishops,
    &Position::blackRooks,
    &Position::blackQueens,
};

inline Bitboard& PieceSet(Position& pos, int code) { return pos.*PieceSetMember[code]; }
inline Bitboard PieceSet(const Position& pos, int code) { return pos.*PieceSetMember[code]; }
inline Bitboard& ColourSet(Position& pos, int side) {
  return side == White ? pos.whitePieces : pos.blackPieces;
}
inline Bitboard ColourSet(const Position& pos, int side) {
  return side == White ? pos.whitePieces : pos.blackPieces;
}
inline int KingSquare(const Position& pos, int side) {
  return side == White ? pos.whiteKing : pos.blackKing;
}

// From the board alone: the ten piece sets, the colour and occupancy sets, the rotated
// sets and the king squares; cacheFlags becomes 0.
void BuildBitboards(Position& pos);
uint64_t ComputeHashKey(const Position& pos);
uint64_t ComputePawnKey(const Position& pos);
// Material of one side by summing over the board (knights by square).
uint16_t ComputeMaterial(const Position& pos, int side);
uint16_t ComputeMaterialSignature(const Position& pos);
// Set-up completion after the board, castling, epFile and sideToMove are filled.
void DeriveState(Position& pos);
// True when the square is attacked by a man of the given side (direct test, no cache).
bool SquareAttackedBy(const Position& pos, int square, int side);
// Recomputes keys, material, signature and every set from the board and compares:
// the invariant check used by tests.
bool PositionIsConsistent(const Position& pos);

constexpr int SquareFrom0x88(int s) { return (s >> 4) * 8 | (s & 7); }
