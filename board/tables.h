#pragma once
// Attack tables, keys and value tables, built once by InitTables and read-only afterwards.

#include "board/position.h"

// Single-square bits, plain and rotated. The rotated bits of the end squares of every
// line are 0: those squares never enter a 6-bit occupancy index, and make move relies on it
// for the castling rook.
extern Bitboard squareBit[64];
extern Bitboard squareBitRot90[64];
extern Bitboard squareBitDiagA[64];
extern Bitboard squareBitDiagB[64];
extern int32_t diagAShift[64];
extern int32_t diagBShift[64];

// Slider lookups by [square][6-bit occupancy of the line].
extern Bitboard rankAttacks[64][64];
extern Bitboard fileAttacks[64][64];
extern Bitboard diagAAttacks[64][64];
extern Bitboard diagBAttacks[64][64];

extern Bitboard kingAttacks[64];
extern Bitboard knightAttacks[64];
extern Bitboard whitePawnCaptures[64];
extern Bitboard blackPawnCaptures[64];
extern Bitboard bishopRays[64];
extern Bitboard rookRays[64];
extern Bitboard rankNeighbours[64];

// [a][b]: bit a plus the squares strictly between a and b when they share a line, else 0.
extern Bitboard lineFrom[64][64];
// [k][a]: king neighbours, minus the one behind k as seen from a slider on a.
extern Bitboard kingEscape[64][64];

extern Bitboard fileMask[64];
extern Bitboard adjacentFiles[64];
extern Bitboard whitePassedMask[64];
extern Bitboard blackPassedMask[64];
extern Bitboard whiteRearSpan[64];
extern Bitboard blackRearSpan[64];
extern Bitboard whiteSupportSquares[64];
extern Bitboard blackSupportSquares[64];
extern Bitboard aheadTriple[64];
extern Bitboard behindTriple[64];
extern Bitboard sameColourSquares[64];

extern uint64_t zobrist[13][64];
extern uint64_t sideKey;

extern int32_t exchangeValue[13];
extern int32_t exchangeValueHalf[13];
extern int32_t exchangeValueQuarter[13];
extern int32_t pushBonusWhite[8];
extern int32_t pushBonusBlack[8];
extern int8_t letterCode[128];

// Move popularity by piece code, [code][from * 64 + to]; the white tables are constant data,
// the black ones are mirrored from them by InitTables.
extern uint8_t movePopularity[13][4096];

inline constexpr int32_t pieceValue[13] = {0, 0, 100, 295, 300, 500, 900, 0, 100, 295, 300, 500, 900};

// Knights are worth more in the centre; symmetric, so both colours share it.
inline constexpr int32_t knightSquareValue[64] = {
    250, 267, 275, 275, 275, 275, 267, 250,  //
    267, 275, 285, 285, 285, 285, 275, 267,  //
    275, 285, 293, 293, 293, 293, 285, 275,  //
    275, 285, 293, 315, 315, 293, 285, 275,  //
    275, 285, 293, 315, 315, 293, 285, 275,  //
    275, 285, 293, 293, 293, 293, 285, 275,  //
    267, 275, 285, 285, 285, 285, 275, 267,  //
    250, 267, 275, 275, 275, 275, 267, 250,  //
};

// Builds every table above in its fixed order; idempotent, so tests may call it freely.
void InitTables();

inline Bitboard RankAttacks(const Position& pos, int s) {
  return rankAttacks[s][(pos.occupied >> ((s & 56) + 1)) & 63];
}
inline Bitboard FileAttacks(const Position& pos, int s) {
  return fileAttacks[s][(pos.occupiedRot90 >> ((s & 7) * 8 + 1)) & 63];
}
inline Bitboard DiagAAttacks(const Position& pos, int s) {
  return diagAAttacks[s][(pos.occupiedDiagA >> diagAShift[s]) & 63];
}
inline Bitboard DiagBAttacks(const Position& pos, int s) {
  return diagBAttacks[s][(pos.occupiedDiagB >> diagBShift[s]) & 63];
}
inline Bitboard RookAttacks(const Position& pos, int s) { return RankAttacks(pos, s) | FileAttacks(pos, s); }
inline Bitboard BishopAttacks(const Position& pos, int s) { return DiagAAttacks(pos, s) | DiagBAttacks(pos, s); }
inline Bitboard QueenAttacks(const Position& pos, int s) { return RookAttacks(pos, s) | BishopAttacks(pos, s); }

// The same lookups from explicit occupancy sets (exchange evaluation removes men from copies).
inline Bitboard RookAttacksFrom(int s, Bitboard occupied, Bitboard rot90) {
  return rankAttacks[s][(occupied >> ((s & 56) + 1)) & 63] | fileAttacks[s][(rot90 >> ((s & 7) * 8 + 1)) & 63];
}
inline Bitboard BishopAttacksFrom(int s, Bitboard diagA, Bitboard diagB) {
  return diagAAttacks[s][(diagA >> diagAShift[s]) & 63] | diagBAttacks[s][(diagB >> diagBShift[s]) & 63];
}
