// The root's result: the move sent, the last thinking line, lastScore and the learn record
// name the same move whatever the root windows do and wherever a stop lands, and an "sd"
// arriving during a search does not change its depth.

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "search/search_state.h"
#include "search_test_support.h"

namespace {

SearchState& S = searchState;
int64_t fakeNow = 0;
std::vector<std::string> printed;
int rootCalls = 0;
int stopAtCall = 0;      // 0: never
bool forceFailHigh = false;  // every null-window test of a root move fails high
int32_t changeLimitTo = 0;

class Root : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSearchTables();
    // Every reading is 100 ms later, so that every exact root score prints its line.
    searchClock = [] { return fakeNow += 100; };
    thinkingOutput = [](const char* line) { printed.emplace_back(line); };
    postThinking = true;
  }
  void TearDown() override {
    std::tie(searchClock, thinkingOutput, searchEvents.rootMoveSearched) = saved;
    stopSearch = postThinking = false;
    depthLimit = 0;
  }
  const std::tuple<SearchClock, LineWriter, decltype(searchEvents.rootMoveSearched)> saved{
      searchClock, thinkingOutput, searchEvents.rootMoveSearched};
};

// A scout that fails high is searched again with a wider window, which here refutes it
// as often as not; a stop may cut any search short.
TEST_F(Root, MoveSentIsTheMoveOfTheLastThinkingLine) {
  searchEvents.rootMoveSearched = [](int, int32_t alpha, int32_t beta, int32_t& score) {
    if (forceFailHigh && beta == alpha + 1) score = beta;
    if (++rootCalls == stopAtCall) stopSearch = true;
  };
  const char* fens[] = {
      "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
      "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1",
      "r1b2rk1/2q1b1pp/p2ppn2/1p6/3QP3/1BN1B3/PPP3PP/R4RK1 w - - 0 1",
  };
  int withLines = 0;
  for (const char* fen : fens) {
    for (bool force : {false, true}) {
      for (int stop : {0, 5, 20, 60, 200}) {
        SCOPED_TRACE(testing::Message() << fen << " forced " << force << " stop " << stop);
        SetUpGame(fen);
        ForgetGame();
        forceFailHigh = force, stopAtCall = stop, rootCalls = 0;
        printed.clear();
        stopSearch = false;
        const Move move = ThinkToDepth(5);
        if (printed.empty()) continue;  // stopped before any exact score: a legal move
        ++withLines;
        int depth = 0, score = 0, centiseconds = 0, offset = 0;
        unsigned nodes = 0;
        ASSERT_EQ(std::sscanf(printed.back().c_str(), "%d %d %d %u %n", &depth, &score,
                              &centiseconds, &nodes, &offset), 4);
        const std::string line = printed.back().substr(size_t(offset));
        EXPECT_EQ(line.substr(0, line.find(' ')), MoveText(move)) << printed.back();
        EXPECT_EQ(lastScore, score);
        EXPECT_EQ(pendingLearn.score, score);
        EXPECT_EQ(pendingLearn.depth, depth);
        EXPECT_TRUE(SameMove(S.plyStack[0].moveList[pendingLearn.moveIndex], move));
      }
    }
  }
  EXPECT_GE(withLines, 40);
}

TEST_F(Root, SdDuringASearchKeepsItsDepth) {
  searchEvents.rootMoveSearched = [](int, int32_t, int32_t, int32_t&) {
    depthLimit = changeLimitTo;
    if (S.iterationDepth > 8) stopSearch = true;  // an unlimited search ends all the same
  };
  const struct { int32_t limit, changedTo; } cases[] = {{3, 0}, {3, 7}, {3, -1}, {1, 0}, {4, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.limit << " to " << c.changedTo);
    SetUpGame("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    stopSearch = false;
    changeLimitTo = c.changedTo;
    depthLimit = c.limit;
    Move move = NoMove;
    Think(move, false);
    EXPECT_FALSE(stopSearch.load());
    EXPECT_EQ(S.iterationDepth, c.limit);
    EXPECT_EQ(pendingLearn.depth, c.limit);
    EXPECT_EQ(timeLimits[1], 0x7FFFFFFF);  // no time limit
  }
}

}  // namespace
