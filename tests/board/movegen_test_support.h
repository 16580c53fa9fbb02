#pragma once
// Helpers shared by the board tests: positions from text and moves as coordinate text.

#include <gtest/gtest.h>

#include <string>

#include "board/board.h"
#include "notation/fen.h"

inline Position FromFen(const std::string& fen) {
  InitTables();
  Position pos{};
  EXPECT_TRUE(SetFromFen(pos, fen)) << fen;
  return pos;
}

// e2e4, e7e8q; castling and en passant are written by the squares of the king and the pawn.
inline std::string MoveName(const Move& move) {
  char text[5];
  WriteSquareName(move.from, text);
  WriteSquareName(move.to, text + 2);
  if (IsPromotion(move)) text[4] = "nbrq"[move.flags & 3];
  return std::string(text, IsPromotion(move) ? 5 : 4);
}

// The list of `pos` as text, in list order, separated by single blanks.
inline std::string MoveNames(const Position& pos) {
  std::string names;
  for (int i = 1; i <= pos.moveCount; ++i) names.append(i > 1 ? " " : "").append(MoveName(pos.moveList[i]));
  return names;
}

inline const Move* FindMove(const Position& pos, const std::string& name) {
  for (int i = 1; i <= pos.moveCount; ++i)
    if (MoveName(pos.moveList[i]) == name) return &pos.moveList[i];
  return nullptr;
}
