#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "notation/notation.h"

// Plays a move given as text into the game record; false when the text is refused.
inline bool PlayText(const std::string& text) {
  std::string copy = text;
  Move move;
  if (!ParseMoveText(gameRecord.gamePosition, copy, move)) return false;
  PlayGameMove(move);
  return true;
}

// What must come back after a takeback: the position's identity and the record's counters.
struct GameSnapshot {
  uint64_t hashKey;
  int8_t board[64];
  int8_t castling;
  int8_t epFile;
  uint8_t sideToMove;
  uint32_t fiftyCounter;
  int32_t moveNumber;
  int32_t gameKeyIndex;
  uint64_t gameKeys[GameKeyCount];
};

inline GameSnapshot TakeSnapshot() {
  const GameRecord& g = gameRecord;
  GameSnapshot s{};
  s.hashKey = g.gamePosition.hashKey;
  std::copy(std::begin(g.gamePosition.board), std::end(g.gamePosition.board), s.board);
  s.castling = g.gamePosition.castling;
  s.epFile = g.gamePosition.epFile;
  s.sideToMove = g.gamePosition.sideToMove;
  s.fiftyCounter = g.gamePosition.fiftyCounter;
  s.moveNumber = g.moveNumber;
  s.gameKeyIndex = g.gameKeyIndex;
  std::copy(g.gameKeys, g.gameKeys + g.gameKeyIndex + 1, s.gameKeys);
  return s;
}

inline void ExpectSnapshot(const GameSnapshot& expected) {
  GameSnapshot now = TakeSnapshot();
  EXPECT_EQ(now.hashKey, expected.hashKey);
  EXPECT_TRUE(std::equal(std::begin(now.board), std::end(now.board), expected.board));
  EXPECT_EQ(now.castling, expected.castling);
  EXPECT_EQ(now.epFile, expected.epFile);
  EXPECT_EQ(now.sideToMove, expected.sideToMove);
  EXPECT_EQ(now.fiftyCounter, expected.fiftyCounter);
  EXPECT_EQ(now.moveNumber, expected.moveNumber);
  ASSERT_EQ(now.gameKeyIndex, expected.gameKeyIndex);
  EXPECT_TRUE(std::equal(now.gameKeys, now.gameKeys + now.gameKeyIndex + 1, expected.gameKeys));
}
