// Pawn structure scores against hand computation, and the pawn hash's encoding and reuse.

#include <gtest/gtest.h>

#include <random>

#include "eval/eval.h"
#include "eval/pawns.h"
#include "eval_test_util.h"

namespace {

class PawnTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    ASSERT_TRUE(AllocatePawnTable(1 << 12));
  }
  static void TearDownTestSuite() { FreePawnTable(); }
};

struct PawnCase {
  const char* fen;
  int32_t score;
  std::vector<const char*> passed;
  const char* why;
};

Bitboard Squares(const std::vector<const char*>& names) {
  Bitboard set = 0;
  for (const char* name : names) set |= Bit(SquareOf(name));
  return set;
}

TEST_F(PawnTest, HandComputedStructures) {
  const PawnCase cases[] = {
      {"4k3/8/8/8/8/4P3/4P3/4K3 w - -", -44, {"e2", "e3"},
       "e2 and e3 both passed, 1 plus 5; one isolated open file with two pawns costs 50 once, "
       "no doubled penalty: 6 - 50"},
      {"7k/4P3/3P4/8/8/8/8/K7 w - -", 200, {"e7", "d6"},
       "e7 passed with d6 diagonally behind it: supported 150; d6 passed, nothing beside or "
       "behind it: 50"},
      {"7k/4P3/8/8/8/8/8/K7 w - -", 80, {"e7"}, "e7 passed 100, isolated on an open file 20"},
      {"7k/8/8/8/8/8/p7/K7 w - -", -80, {"a2"}, "a2 passed for black 100, isolated open 20 for white"},
      {"7k/8/8/8/8/1p6/p7/K7 w - -", -200, {"a2", "b3"},
       "a2 supported from b3 (diagonally in front from white's side): 150; b3 passed alone: 50"},
      {"7k/8/8/4p3/2P5/3P4/8/K7 w - -", 26, {"c4"},
       "d3 held by e5 with nothing beside or behind it: backward, neighbour rank 4 is not below "
       "e5's rank 5 minus one, -9; c4 passed and supported by d3, 15; e5 isolated on an open "
       "file, +20 for white: -9 + 15 + 20"},
      {"7k/8/4p3/8/2P5/3P4/8/K7 w - -", 35, {"c4"},
       "the same with e6: neighbour rank index 3 is below e6's index 5 minus one, so d3 is "
       "not backward: 15 + 20"},
      {"7k/8/4p3/8/4P3/4P3/8/K7 w - -", -27, {},
       "e3 and e4 isolated on a file with a black pawn: 37; e6 isolated with white pawns on "
       "its file: +10 for white"},
      {"7k/8/8/8/8/3P4/3PP3/K7 w - -", 4, {"d2", "d3", "e2"},
       "all passed and each has a pawn beside or diagonally behind it: d2 supported 1, d3 "
       "supported 7, e2 supported 1; two pawns on the d file with a neighbour file: doubled "
       "-5: 1 + 7 + 1 - 5"},
  };
  for (const PawnCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    Position pos = PositionFromFen(c.fen);
    Bitboard passed = 0;
    EXPECT_EQ(ComputePawnStructure(pos.whitePawns, pos.blackPawns, passed), c.score);
    EXPECT_EQ(passed, Squares(c.passed));
  }
}

TEST_F(PawnTest, ExtremeScoresAndPassedSetsSurviveTheEntry) {
  std::mt19937_64 rng(7);
  const int32_t scores[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
  for (int32_t score : scores) {
    for (int i = 0; i < 200; ++i) {
      Bitboard passed = rng() & 0x00FFFFFFFFFFFF00ull;
      if (i == 0) passed = 0x00FFFFFFFFFFFF00ull;
      if (i == 1) passed = 0;
      uint64_t data = PackPawnData(score, passed);
      ASSERT_EQ(UnpackPawnScore(data), score);
      ASSERT_EQ(UnpackPassedPawns(data), passed);
    }
  }
}

TEST_F(PawnTest, SecondCallIsServedFromTheHash) {
  Position pos = PositionFromFen("7k/8/4p3/8/2P5/3P4/8/K7 w - -");
  int32_t first = EvaluatePawns(pos);
  Bitboard passed = pos.passedPawns;
  pos.passedPawns = ~Bitboard{0};
  EXPECT_EQ(EvaluatePawns(pos), first);
  EXPECT_EQ(pos.passedPawns, passed);
  // Plant a different answer in the slot: a recomputation would not return it.
  ASSERT_NE(pawnTable.lastSlot, nullptr);
  ASSERT_EQ(pawnTable.lastSlot->key, pos.pawnKey);
  pawnTable.lastSlot->data = PackPawnData(-32768, Bit(SquareOf("h7")));
  EXPECT_EQ(EvaluatePawns(pos), -32768);
  EXPECT_EQ(pos.passedPawns, Bit(SquareOf("h7")));
  pawnTable.lastSlot->key ^= 1;
  EXPECT_EQ(EvaluatePawns(pos), first);
}

TEST_F(PawnTest, PawnlessKeyNeverMatchesAClearedEntry) {
  ASSERT_TRUE(AllocatePawnTable(8));
  EXPECT_EQ(pawnTable.entries[0].key, 1u);
  Position pos = PositionFromFen("7k/8/8/8/8/8/8/K7 w - -");
  ASSERT_EQ(pos.pawnKey, 0u);
  pos.passedPawns = ~Bitboard{0};
  EXPECT_EQ(EvaluatePawns(pos), 0);
  EXPECT_EQ(pos.passedPawns, 0u);
  EXPECT_EQ(pawnTable.entries[0].key, 0u);
  EXPECT_FALSE(AllocatePawnTable(12));
  EXPECT_EQ(PawnTableEntries(), 0u);
  ASSERT_TRUE(AllocatePawnTable(1 << 12));
}

// The hash must be invisible: random pawn skeletons scored through a small table (with
// many collisions) equal the direct computation.
TEST_F(PawnTest, HashedAndDirectScoresAgree) {
  ASSERT_TRUE(AllocatePawnTable(16));
  std::mt19937_64 rng(11);
  std::vector<Position> positions;
  for (int i = 0; i < 400; ++i) {
    Position pos{};
    pos.board[0] = WhiteKing;
    pos.board[63] = BlackKing;
    for (int sq = 8; sq < 56; ++sq) {
      unsigned r = rng() % 8;
      if (r == 0) pos.board[sq] = WhitePawn;
      if (r == 1) pos.board[sq] = BlackPawn;
    }
    pos.castling = 0;
    pos.epFile = NoEnPassant;
    DeriveState(pos);
    positions.push_back(pos);
  }
  for (int round = 0; round < 3; ++round)
    for (Position& pos : positions) {
      Bitboard passed = 0;
      int32_t direct = ComputePawnStructure(pos.whitePawns, pos.blackPawns, passed);
      ASSERT_EQ(EvaluatePawns(pos), direct);
      ASSERT_EQ(pos.passedPawns, passed);
    }
  ASSERT_TRUE(AllocatePawnTable(1 << 12));
}

}  // namespace
