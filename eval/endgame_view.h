#pragma once
// Private to the endgame evaluators: the men of a position seen either as they stand or
// colour-flipped (board turned rank-wise, colours exchanged), so that each rule is written
// once for the white side and its mirror signature reuses it.

#include <bit>
#include <cstdint>

#include "board/tables.h"
#include "eval/colour_terms.h"
#include "eval/endgame.h"

struct EndgameSide {
  Bitboard pawns, knights, bishops, rooks, queens, men;  // men includes the king
  int king;
  int32_t material;
};

struct EndgameView {
  EndgameSide white, black;
  int sideToMove;  // White or Black, in the view's colours
  Bitboard occupied;
  Position* pos;   // the real position, for the legality routines (flip-invariant questions)
};

constexpr int FileMirror(int square) { return square ^ 7; }
inline Bitboard FileMirrorSet(Bitboard set) {
  // Reverses the bits of every byte: file a <-> file h.
  set = ((set >> 1) & 0x5555555555555555ull) | ((set & 0x5555555555555555ull) << 1);
  set = ((set >> 2) & 0x3333333333333333ull) | ((set & 0x3333333333333333ull) << 2);
  return ((set >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((set & 0x0F0F0F0F0F0F0F0Full) << 4);
}

EndgameView MakeView(Position& pos, bool flipped);

// A rule written for one side's material, and the two ways to register it: Direct for the
// signature it is written for, Flipped for the colour-exchanged one.
using EndgameRule = bool (*)(const EndgameView& v, int32_t* score);
template <EndgameRule Rule>
bool Direct(Position& pos, int32_t* score) {
  return Rule(MakeView(pos, false), score);
}
template <EndgameRule Rule>
bool Flipped(Position& pos, int32_t* score) {
  return Rule(MakeView(pos, true), score);
}

inline bool Answer(int32_t* score, int32_t value) {
  *score = value;
  return true;
}

inline bool Touches(int a, int b) { return (kingAttacks[a] >> b) & 1; }
inline bool TouchesAny(int king, Bitboard set) { return (kingAttacks[king] & set) != 0; }

// Slider attacks over a plain occupancy set (works in flipped views, where the rotated
// occupancies of the real position do not apply).
Bitboard RayAttacks(int square, Bitboard occupied, bool straight, bool diagonal);

// True when the side to move of the real position has a capture or queen promotion, as
// the quiescence search would see it; the position itself is not touched.
bool CaptureExists(const Position& pos);

// Rule halves, registered by InitEndgameTables.
void RegisterPawnEndings();
void RegisterRookEndings();
