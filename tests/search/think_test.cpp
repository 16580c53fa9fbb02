// Think on game positions under a depth limit: mates are found and scored by the
// convention (32000 - n for a mate n plies away), draws by repetition score 0.

#include <gtest/gtest.h>

#include "board/board.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "notation/notation.h"
#include "search/search.h"

namespace {

class ThinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    InitEndgameTables();
    BuildKingTables();
    AllocateHashMemory(8 << 20);
  }
  void SetUp() override { postThinking = false; }
  void TearDown() override { depthLimit = 0; }

  Move ThinkAt(const char* fen, int depth) {
    EXPECT_TRUE(SetupGame(fen)) << fen;
    depthLimit = depth;
    Move move = NoMove;
    Think(move, false);
    return move;
  }
};

struct MateCase {
  const char* fen;
  const char* bestMove;
  int plies;  // distance of the mate from the root
};

TEST_F(ThinkTest, FindsMatesForEitherSideWithTheConventionalScore) {
  const MateCase cases[] = {
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - -", "a1a8", 1},           // back-rank mate
      {"r5k1/8/8/8/8/8/5PPP/6K1 b - -", "a8a1", 1},           // the same for black
      {"k7/8/1K6/8/8/8/8/7R w - -", "h1h8", 1},
      {"6k1/8/6K1/8/8/8/8/R7 w - -", "a1a8", 1},
      {"kbK5/pp6/1P6/8/8/8/8/R7 w - -", "a1a6", 3},           // mate in two
  };
  for (const MateCase& c : cases) {
    SCOPED_TRACE(c.fen);
    Move move = ThinkAt(c.fen, 5);
    EXPECT_EQ(MoveText(move), c.bestMove);
    // A mate in one found at the root scores 31999 (the mating-check test); a mate n
    // plies away scores 32000 - n.
    EXPECT_EQ(lastScore, c.plies == 1 ? 31999 : 32000 - c.plies);
  }
}

TEST_F(ThinkTest, SingleLegalMoveIsReturnedAtOnce) {
  // The black king on a8 is in check from the rook on h8 and the rook on a1 holds the
  // a-file: a8-b7 is the only move.
  Move move = ThinkAt("k6R/8/8/8/8/8/8/R3K3 b - -", 0);
  EXPECT_EQ(MoveText(move), "a8b7");
}

TEST_F(ThinkTest, TakesMaterialThatHangs) {
  // The black queen on d5 is attacked by the knight on c3 and defended by nothing.
  // A pawn stays on the board: a lone knight against the king is a recognized draw (0).
  Move move = ThinkAt("4k3/8/8/3q4/8/2N5/4P3/4K3 w - -", 4);
  EXPECT_EQ(MoveText(move), "c3d5");
  EXPECT_GT(lastScore, 200);
}

}  // namespace
