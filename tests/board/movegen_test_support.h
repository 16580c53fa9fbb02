#pragma once
// Small helpers shared by the move generation tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "notation/fen.h"

inline Position FromFen(const std::string& fen) {
  InitTables();
  Position pos{};
  EXPECT_TRUE(SetFromFen(pos, fen)) << fen;
  return pos;
}

// Coordinate text: e2e4, e7e8q; en passant and castling are written by their squares.
inline std::string MoveName(const Move& move) {
  std::string text;
  for (int sq : {int(move.from), int(move.to)}) {
    text += char('a' + FileOf(sq));
    text += char('1' + RankOf(sq));
  }
  if (IsPromotion(move)) text += "nbrq"[move.flags & 3];
  return text;
}

inline std::vector<std::string> MoveNames(const Position& pos) {
  std::vector<std::string> names;
  for (int i = 1; i <= pos.moveCount; ++i) names.push_back(MoveName(pos.moveList[i]));
  return names;
}

// The score GenerateMoves gave the move written as `name`, or -1 when it is not listed.
inline const Move* FindMove(const Position& pos, const std::string& name) {
  for (int i = 1; i <= pos.moveCount; ++i)
    if (MoveName(pos.moveList[i]) == name) return &pos.moveList[i];
  return nullptr;
}

inline std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}
