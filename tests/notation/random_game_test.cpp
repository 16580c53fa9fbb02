#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "game_test_util.h"
#include "notation/notation.h"

namespace {

// The legal moves as the search's generator lists them: a path independent of the parser's
// (unscored generator plus a trial on a copy).
std::vector<Move> SearchGeneratorMoves(const Position& source) {
  Position pos = source;
  pos.cacheFlags = 0;
  GenerateMoves(pos);
  return std::vector<Move>(pos.moveList + 1, pos.moveList + 1 + pos.moveCount);
}

// Every legal move's text is read back as that move, and a text naming no legal move of the
// position is refused.
void CheckTextRoundTrip(const std::vector<Move>& legal) {
  for (const Move& move : legal) {
    std::string text = MoveText(move);
    Move parsed;
    ASSERT_TRUE(ParseMoveText(gameRecord.gamePosition, text, parsed)) << text;
    EXPECT_TRUE(SameMove(parsed, move)) << text;
  }
}

const char* const startTexts[] = {
    "",  // the standard start position through NewGame
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 b - -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
};

// Random legal games; after each, take back k half-moves and compare with the position
// reached k half-moves earlier, then play on from there so that later entries overwrite the
// old ones.
TEST(RandomGames, TakeBackReturnsToEarlierPositions) {
  InitTables();
  std::mt19937 random(20261207);
  for (const char* startText : startTexts) {
    for (int game = 0; game < 6; ++game) {
      SCOPED_TRACE(std::string(startText) + " game " + std::to_string(game));
      if (*startText)
        ASSERT_TRUE(SetupGame(startText));
      else
        NewGame();
      std::vector<GameSnapshot> seen{TakeSnapshot()};
      for (int round = 0; round < 4; ++round) {
        for (int ply = 0; ply < 60 && PositionEnd(gameRecord.gamePosition) == NoGameEnd; ++ply) {
          std::vector<Move> legal = SearchGeneratorMoves(gameRecord.gamePosition);
          ASSERT_FALSE(legal.empty());
          if (ply % 7 == 0) CheckTextRoundTrip(legal);
          const Move move = legal[random() % legal.size()];
          PlayGameMove(move);
          ASSERT_TRUE(PositionIsConsistent(gameRecord.gamePosition));
          ASSERT_EQ(gameRecord.gameKeyIndex, static_cast<int>(gameRecord.gamePosition.fiftyCounter));
          ASSERT_EQ(gameRecord.gameKeys[gameRecord.gameKeyIndex], gameRecord.gamePosition.hashKey);
          seen.push_back(TakeSnapshot());
        }
        const int available = static_cast<int>(seen.size()) - 1;
        const int k = available == 0 ? 0 : 1 + static_cast<int>(random() % std::min(available, 12));
        for (int i = 0; i < k; ++i) TakeBack();
        seen.resize(seen.size() - k);
        ExpectSnapshot(seen.back());
        ASSERT_TRUE(PositionIsConsistent(gameRecord.gamePosition));
        if (::testing::Test::HasFailure()) return;
      }
      // Taking back everything returns to the set-up and stops there.
      while (seen.size() > 1) {
        TakeBack();
        seen.pop_back();
      }
      TakeBack();
      ExpectSnapshot(seen.front());
    }
  }
}

}  // namespace
