#pragma once
// Helpers shared by the board tests: positions from text, and moves as coordinate text.

#include <gtest/gtest.h>

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
