#pragma once
// Helpers shared by the board tests: positions from text, moves as coordinate text, and
// attacks found by walking the board square by square.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "board/board.h"
#include "notation/notation.h"

inline Position FromFen(const std::string& fen) {
  InitTables();
  Position pos{};
  EXPECT_TRUE(SetFromFen(pos, fen)) << fen;
  return pos;
}

// The list of `pos` as text, in list order, separated by single blanks.
inline std::string MoveNames(const Position& pos) {
  std::string names;
  for (int i = 1; i <= pos.moveCount; ++i) names.append(i > 1 ? " " : "").append(MoveText(pos.moveList[i]));
  return names;
}

inline const Move* FindMove(const Position& pos, const std::string& name) {
  for (int i = 1; i <= pos.moveCount; ++i)
    if (MoveText(pos.moveList[i]) == name) return &pos.moveList[i];
  return nullptr;
}

// Does the man `code` on `from` attack `target`, the men on `occupied` blocking? No attack
// tables: rays walked square by square.
inline bool SlowAttacks(int code, int from, int target, Bitboard occupied) {
  const int kind = KindOf(code);
  const int df = FileOf(target) - FileOf(from), dr = RankOf(target) - RankOf(from);
  const int adf = std::abs(df), adr = std::abs(dr);
  if (kind == WhiteKing) return (adf | adr) != 0 && adf <= 1 && adr <= 1;
  if (kind == WhitePawn) return adf == 1 && dr == (IsWhiteCode(code) ? 1 : -1);
  if (kind == WhiteKnight) return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
  const bool diagonal = adf == adr && adf != 0, straight = (adf == 0) != (adr == 0);
  if (!((kind == WhiteBishop && diagonal) || (kind == WhiteRook && straight) || (kind == WhiteQueen && (diagonal || straight))))
    return false;
  const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
  for (int f = FileOf(from) + sf, r = RankOf(from) + sr; f != FileOf(target) || r != RankOf(target); f += sf, r += sr)
    if (occupied & Bit(MakeSquare(f, r))) return false;
  return true;
}
