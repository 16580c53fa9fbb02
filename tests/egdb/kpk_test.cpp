#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "notation/fen.h"

namespace {

class KpkTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    BuildKpkBitbase();
  }
  static void TearDownTestSuite() { DestroyKpkBitbase(); }
};

constexpr int Sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

TEST_F(KpkTest, IndexLayout) {
  // Pawn d7 is square 51: rank 7 gives (7 - 2) * 4 = 20, file d adds 3, so pawn index 23.
  // White king c7 = 50, black king f7 = 53, white to move:
  // 0 + 53 * 2 + 50 * 128 + 23 * 8192 = 106 + 6400 + 188416 = 194922.
  EXPECT_EQ(KpkIndex(Sq("d7"), Sq("c7"), Sq("f7"), 0), 194922u);
  // Pawn a2 (square 8) is pawn index 0; kings a1 and h8 (63), black to move:
  // 1 + 63 * 2 + 0 * 128 = 127.
  EXPECT_EQ(KpkIndex(Sq("a2"), Sq("a1"), Sq("h8"), 1), 127u);
}

TEST_F(KpkTest, SeedRuleWinsWhenTheKingGuardsTheQueeningSquare) {
  // d8 is free and the white king on c7 touches it.
  EXPECT_TRUE(KpkWon(KpkIndex(Sq("d7"), Sq("c7"), Sq("f7"), 0)));
}

TEST_F(KpkTest, PawnOnTheRightHalfProbesItsMirror) {
  for (int pawn = 8; pawn < 56; ++pawn) {
    if ((pawn & 7) < 4) continue;
    for (int wk = 0; wk < 64; ++wk)
      for (int bk = 0; bk < 64; ++bk)
        for (int side = 0; side < 2; ++side)
          ASSERT_EQ(KpkIndex(pawn, wk, bk, side), KpkIndex(pawn ^ 7, wk ^ 7, bk ^ 7, side));
  }
  // e5 against d5 with mirrored kings: f3/c3 and c6/f6.
  EXPECT_EQ(KpkIndex(Sq("e5"), Sq("f3"), Sq("c6"), 0), KpkIndex(Sq("d5"), Sq("c3"), Sq("f6"), 0));
}

TEST_F(KpkTest, BlackPawnProbesTheFlippedPositionWithColoursSwapped) {
  for (int pawn = 8; pawn < 56; ++pawn)
    for (int wk = 0; wk < 64; ++wk)
      for (int bk = 0; bk < 64; ++bk)
        for (int side = 0; side < 2; ++side)
          ASSERT_EQ(KpkIndexBlackPawn(pawn, wk, bk, side),
                    KpkIndex(pawn ^ 56, bk ^ 56, wk ^ 56, 1 - side));
}

TEST_F(KpkTest, ProbesNeverReadOutsideTheTable) {
  EXPECT_TRUE(KpkWon(KpkPositionCount));
  EXPECT_TRUE(KpkWon(0xFFFFFFFFu));
}

// Known results from endgame theory, in both colours.
TEST_F(KpkTest, PositionsFromTheory) {
  struct Case {
    const char* fen;  // without the side to move
    const char* sides;
    bool won;
    const char* why;
  };
  const Case cases[] = {
      {"4k3/8/4K3/8/4P3/8/8/8", "wb", true, "king on the sixth rank in front of its pawn"},
      {"8/8/8/4p3/8/4k3/8/4K3", "wb", true, "the same with colours exchanged"},
      {"7k/8/8/8/8/8/7P/K7", "wb", false, "defending king in the rook pawn's corner"},
      {"k7/7p/8/8/8/8/8/7K", "wb", false, "the same with colours exchanged"},
      {"8/8/2P5/8/8/8/8/k6K", "wb", true, "the pawn outruns the far king"},
      // Black: h8 is free of the pawn's attack, g8 and g7 touch the white king, h7 is
      // attacked by the pawn, and the king is not in check.
      {"7k/5K2/6P1/8/8/8/8/8", "b", false, "stalemate"},
      {"8/8/8/8/8/6p1/5k2/7K", "w", false, "the same stalemate with colours exchanged"},
      {"8/8/4k3/3P4/8/8/8/K7", "b", false, "the unguarded pawn falls"},
      {"k7/8/8/8/3p4/4K3/8/8", "w", false, "the same with colours exchanged"},
  };
  for (const Case& c : cases)
    for (const char* side = c.sides; *side; ++side) {
      std::string fen = std::string(c.fen) + " " + *side + " - - 0 1";
      SCOPED_TRACE(fen + ": " + c.why);
      Position pos;
      ASSERT_TRUE(SetFromFen(pos, fen));
      EXPECT_EQ(KpkPawnSideWins(pos), c.won);
    }
}

TEST_F(KpkTest, RebuildAfterDestroyGivesTheSameTable) {
  std::vector<uint32_t> first(kpkBitbase.won, kpkBitbase.won + kpkBitbase.wordCount);
  DestroyKpkBitbase();
  // Without a table every probe declines to call the position a draw.
  EXPECT_TRUE(KpkWon(KpkIndex(Sq("a2"), Sq("a1"), Sq("h8"), 1)));
  KpkBitbase again = BuildKpkBitbase();
  ASSERT_EQ(again.wordCount, KpkWordCount);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), again.won));
}

}  // namespace
