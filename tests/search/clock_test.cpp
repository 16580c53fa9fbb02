// The time limits: the three phases of the clock test under a clock the test sets, a whole
// timed search under a clock that counts nodes, and the thinking line.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "search/search_state.h"
#include "search_test_support.h"

namespace {

SearchState& S = searchState;
int64_t fakeNow = 0;
std::vector<std::string> printed;

class Clock : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSearchTables();
    searchClock = [] { return fakeNow; };
    thinkingOutput = [](const char* line) { printed.emplace_back(line); };
    printed.clear();
    fakeNow = S.searchStart = 0;
    timeLimits[0] = 100, timeLimits[1] = 200, timeLimits[2] = 1000;  // target, hard, extended
  }
  void TearDown() override {
    std::tie(searchClock, thinkingOutput, planMoveTime) = saved;
    stopSearch = postThinking = false;
  }
  const std::tuple<SearchClock, LineWriter, TimePlanner> saved{searchClock, thinkingOutput, planMoveTime};
};

TEST_F(Clock, PhasesStopTheSearchAtTheHardOrTheExtendedLimit) {
  // extendTime: the first root move failed low in this iteration; readings: ms after the start
  // and the phase after it.
  const struct { bool extendTime; std::vector<std::pair<int64_t, int>> readings; int64_t stopsAt; } runs[] = {
      // Past the target the target is spent, phase 1, but the search goes on until the hard
      // limit; the limit itself counts as reached. Without extended time never phase 2.
      {false, {{50, 0}, {100, 1}, {199, 1}, {200, 1}}, 200},
      {false, {{250, 1}}, 250},  // straight past the hard limit from phase 0: stop at once
      {false, {{5000, 1}}, 5000},
      {true, {{99, 0}, {150, 1}, {200, 2}, {999, 2}, {1000, 2}}, 1000},
      {true, {{600, 2}, {1500, 2}}, 1500},
  };
  for (const auto& run : runs) {
    S.timePhase = 0;
    S.extendTime = run.extendTime;
    stopSearch = false;
    for (const auto& [now, phase] : run.readings) {
      SCOPED_TRACE(testing::Message() << "extended " << run.extendTime << " at " << now);
      fakeNow = now;
      EXPECT_EQ(CheckTimeAtInterval(), now >= run.stopsAt);
      EXPECT_EQ(stopSearch.load(), now >= run.stopsAt);
      EXPECT_EQ(S.timePhase, phase);
    }
  }
}

int32_t planned[3];

TEST_F(Clock, TimedSearchEndsBetweenTheTargetAndItsLimit) {
  // One millisecond per thousand nodes makes the search's time exact. Far past its limits the
  // clock stops the search itself (the thinking lines read it too, after every iteration), so
  // a search that ignores them fails here instead of running on.
  searchClock = [] {
    if (S.nodeCount > 3000u * uint32_t(timeLimits[2])) stopSearch = true;
    return int64_t(S.nodeCount / 1000);
  };
  postThinking = true;
  planMoveTime = [] { std::copy(planned, planned + 3, timeLimits); };
  // clockStops: the limit comes before the iteration running at the target ends.
  const struct { const char* fen; int32_t limits[3]; bool clockStops; } cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {100, 120, 140}, true},
      {"r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9", {100, 120, 140}, true},
      {"r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9", {100, 2000, 4000}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fen << " " << c.limits[1]);
    SetUpGame(c.fen);
    ClearHash();
    std::copy(c.limits, c.limits + 3, planned);
    S.nodeCount = 0;  // the search reads its start from this clock too
    stopSearch = false;
    Move move = NoMove;
    Think(move, false);
    EXPECT_NE(move.from, NoMoveSquare);
    // The iteration running when the target is spent is the last; no node past the limit but
    // those before the next reading of the clock.
    EXPECT_EQ(stopSearch.load(), c.clockStops);
    EXPECT_GE(SearchedNodes(), 1000u * uint32_t(c.limits[0]));
    EXPECT_LE(SearchedNodes(), 1000u * uint32_t(c.limits[S.extendTime ? 2 : 1]) + ClockInterval);
  }
}

TEST_F(Clock, ThinkingLines) {
  SetUpGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  S.principalVariation[0] = ParsedMove(gameRecord.gamePosition, "e2e4"), S.principalVariation[1] = NoMove;
  // line nullptr: nothing printed.
  const struct { int depth; int64_t now; int32_t score; uint32_t nodes; char kind; const char* line; } cases[] = {
      {9, 5129, 34, 1234567, 'E', "9 34 512 1234567 e2e4"},  // centiseconds rounded down
      {9, 5129, -31990, 3000000000u, 'E', "9 -31990 512 3000000000 e2e4"},
      {9, 5129, 34, 1, 'L', nullptr},  // only exact scores print
      {4, 49, 0, 10, 'E', nullptr},    // early iterations are quiet for the first 50 ms
      {4, 50, 0, 10, 'E', "4 0 5 10 e2e4"},
      {5, 0, 0, 10, 'E', "5 0 0 10 e2e4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth);
    printed.clear();
    S.iterationDepth = c.depth, S.nodeCount = c.nodes, fakeNow = c.now;
    PrintThinking(c.score, c.kind);
    EXPECT_EQ(printed, c.line ? std::vector<std::string>{c.line} : std::vector<std::string>{});
  }
}

}  // namespace
