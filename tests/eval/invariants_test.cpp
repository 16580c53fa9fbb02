// Invariants over a few thousand positions from random games and the tactics suite: a position
// and its colour-flipped mirror score the same for the side to move, a second evaluation agrees
// with the first, and neither the pawn hash nor the evaluation cache changes a score.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <vector>

#include "eval_test_util.h"

namespace {

std::vector<Position> SamplePositions() {
  // First a pawnless position: its pawn key 0 must never match a cleared hash entry.
  std::vector<Position> kept = {FromFen("7k/8/8/8/8/8/8/1Q5K w - -")};
  std::mt19937 rng(2026);
  for (int game = 0; game < 60; ++game) {
    Position pos{};
    SetStartPosition(pos);
    for (int ply = 0; ply < 200; ++ply) {
      Position list = pos;
      GenerateMoves(list);  // the search's generator lists exactly the legal moves
      if (list.moveCount == 0) break;
      MakeMove(pos, list.moveList[1 + rng() % list.moveCount]);
      pos.cacheFlags = 0;
      if (ply % 4 == 3) kept.push_back(pos);
    }
  }
  std::ifstream suite(SKARNE_SHARED_DATA "/epd/wac.epd");
  for (std::string line; std::getline(suite, line);) {
    size_t end = 0;
    for (int field = 0; field < 4 && end != std::string::npos; ++field) end = line.find(' ', end + 1);
    Position pos{};
    if (SetFromFen(pos, line.substr(0, end))) kept.push_back(pos);
  }
  return kept;
}

TEST(EvaluationInvariants, MirrorsAgreeAndRepeatsAgree) {
  InitEvalTables();
  const std::vector<Position> positions = SamplePositions();
  ASSERT_GT(positions.size(), 2800u);
  std::mt19937 rng(5);
  for (size_t i = 0; i < positions.size(); ++i) {
    SCOPED_TRACE(i);
    Position pos = positions[i], mirror = ColourFlipped(positions[i]);
    const int32_t score = Evaluate(-ScoreBound, ScoreBound, pos);
    ASSERT_EQ(Evaluate(-ScoreBound, ScoreBound, mirror), score);
    ASSERT_EQ(Evaluate(-ScoreBound, ScoreBound, pos), score) << "again, the cache valid and the pawn entry warm";
    // Narrow windows take the early exit on both sides alike.
    const int32_t alpha = int32_t(rng() % 2001) - 1000;
    Position a = positions[i], b = ColourFlipped(positions[i]);
    ASSERT_EQ(Evaluate(alpha, alpha + 1, a), Evaluate(alpha, alpha + 1, b));
  }
}

// Neither the pawn hash nor the evaluation cache changes a score, however often they collide.
TEST(EvaluationInvariants, CachesAreInvisible) {
  InitEvalTables();
  std::vector<Position> positions = SamplePositions();
  FreePawnTable();
  std::vector<std::pair<int32_t, Bitboard>> unhashed;
  for (Position& pos : positions) unhashed.emplace_back(EvaluatePawns(pos), pos.passedPawns);
  ASSERT_TRUE(AllocatePawnTable(16));  // collisions all the time
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < positions.size(); ++i) {
      positions[i].passedPawns = ~Bitboard{0};
      ASSERT_EQ(EvaluatePawns(positions[i]), unhashed[i].first) << i;
      ASSERT_EQ(positions[i].passedPawns, unhashed[i].second) << i;
    }
  ASSERT_TRUE(AllocatePawnTable(1 << 12));
  // Windows in an order that stores an early exit first, then a full score over it, then
  // answers early exits and full scores from the stored entry.
  struct Window { int32_t alpha, beta; };
  const Window windows[] = {{-ScoreBound, -2000}, {2000, ScoreBound}, {-ScoreBound, ScoreBound},
                            {-30, -29},           {-ScoreBound, -2000}, {150, 151},
                            {2000, ScoreBound},   {-ScoreBound, ScoreBound}};
  FreeEvalCache();
  std::vector<int32_t> uncached;
  for (const Position& p : positions)
    for (const Window& w : windows) {
      Position pos = p;
      uncached.push_back(Evaluate(w.alpha, w.beta, pos));
    }
  for (size_t entries : {size_t(16), size_t(1) << 16}) {  // collisions all the time, and few
    ASSERT_TRUE(AllocateEvalCache(entries));
    for (int round = 0; round < 2; ++round) {
      size_t k = 0;
      for (size_t i = 0; i < positions.size(); ++i)
        for (const Window& w : windows) {
          Position pos = positions[i];
          ASSERT_EQ(Evaluate(w.alpha, w.beta, pos), uncached[k++]) << i << " window " << w.alpha;
        }
    }
  }
  FreeEvalCache();
  EXPECT_FALSE(AllocateEvalCache(100)) << "not a power of two";
}

}  // namespace
