// The clock test's three phases and the thinking line, driven by a clock the test sets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "notation/notation.h"
#include "search/search.h"
#include "search/search_state.h"

namespace {

int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }

std::vector<std::string> printed;
void Capture(const char* line) { printed.emplace_back(line); }

// A clock reading `now` ms after the start and what it must do.
struct Reading {
  int64_t now;
  bool stops;
  int phaseAfter;
};

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    savedClock = searchClock;
    savedOutput = thinkingOutput;
    searchClock = FakeClock;
    thinkingOutput = Capture;
    printed.clear();
    fakeNow = 0;
    searchState.searchStart = 0;
    searchState.timePhase = 0;
    searchState.extendTime = false;
    searchState.iterationDepth = 2;
    searchState.nodeCount = 0;
    timeLimits[0] = 100;
    timeLimits[1] = 200;
    timeLimits[2] = 1000;
    stopSearch = false;
  }
  void TearDown() override {
    searchClock = savedClock;
    thinkingOutput = savedOutput;
    stopSearch = false;
  }
  // Reads the clock at `now` ms after the start; returns whether the search must stop.
  bool At(int64_t now) {
    fakeNow = now;
    return CheckTimeAtInterval();
  }
  // Each run starts in phase 0; each reading continues from the phase the one before left.
  void ExpectRuns(const std::vector<std::vector<Reading>>& runs);
  SearchClock savedClock = nullptr;
  LineWriter savedOutput = nullptr;
};


void ClockTest::ExpectRuns(const std::vector<std::vector<Reading>>& runs) {
  for (const auto& run : runs) {
    SCOPED_TRACE(run.front().now);
    searchState.timePhase = 0;
    stopSearch = false;
    for (const Reading& r : run) {
      SCOPED_TRACE(r.now);
      EXPECT_EQ(At(r.now), r.stops);
      EXPECT_EQ(searchState.timePhase, r.phaseAfter);
      EXPECT_EQ(stopSearch.load(), r.stops);
    }
  }
}

TEST_F(ClockTest, PhasesWithoutExtendedTime) {
  // Limits 100 / 200 / 1000 ms. Each row continues from the phase the row before left.
  const std::vector<std::vector<Reading>> runs = {
      // Under the target nothing happens; past it the target is spent (phase 1) but the
      // search goes on until the hard limit stops it. The limit itself counts as reached.
      {{50, false, 0}, {100, false, 1}, {199, false, 1}, {200, true, 1}},
      // Straight past the hard limit from phase 0: stop at once, phase 1.
      {{250, true, 1}},
      // Even past the extended limit the phase becomes 1, never 2, without extendTime.
      {{5000, true, 1}},
  };
  ExpectRuns(runs);
}

TEST_F(ClockTest, PhaseTwoStaysTwoWithoutExtendedTime) {
  searchState.timePhase = 2;
  EXPECT_FALSE(At(999));
  EXPECT_TRUE(At(1000));
  EXPECT_EQ(searchState.timePhase, 2);
}

TEST_F(ClockTest, ExtendedTimeRunsToTheLastLimit) {
  searchState.extendTime = true;
  const std::vector<std::vector<Reading>> runs = {
      {{99, false, 0}, {150, false, 1}, {200, false, 2}, {999, false, 2}, {1000, true, 2}},
      // Both limits passed in one reading: the phase walks past both and stops.
      {{1500, true, 2}},
      // Past the hard limit but under the extended one: the search goes on in phase 2.
      {{600, false, 2}},
  };
  ExpectRuns(runs);
}

TEST_F(ClockTest, ClockIsReadOnlyEvery16384NodesFromTheSecondIteration) {
  fakeNow = 1 << 30;  // far past every limit
  searchState.iterationDepth = 1;
  for (int i = 0; i < 3 * 16384; ++i) ASSERT_FALSE(CheckTime()) << i;
  EXPECT_FALSE(stopSearch.load());

  searchState.iterationDepth = 2;
  searchState.nodeCount = 0;
  for (int i = 1; i < 16384; ++i) ASSERT_FALSE(CheckTime()) << i;
  EXPECT_TRUE(CheckTime());
  EXPECT_EQ(searchState.nodeCount, 16384u);
}

Move Coordinates(const char* text) {
  Move m = NoMove;
  m.from = int8_t(MakeSquare(text[0] - 'a', text[1] - '1'));
  m.to = int8_t(MakeSquare(text[2] - 'a', text[3] - '1'));
  m.flags = text[4] == 'q' ? FlagPromoteQueen : 0;
  return m;
}

TEST_F(ClockTest, ThinkingLineFormat) {
  // Iteration 9, score 34, 5.12 s, 1234567 nodes, the line e2e4 e7e5 g1f3.
  searchState.iterationDepth = 9;
  searchState.nodeCount = 1234567;
  searchState.principalVariation[0] = Coordinates("e2e4");
  searchState.principalVariation[1] = Coordinates("e7e5");
  searchState.principalVariation[2] = Coordinates("g1f3");
  searchState.principalVariation[3] = NoMove;
  fakeNow = 5129;  // centiseconds are rounded down
  PrintThinking(34, 'E');
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(printed[0], "9 34 512 1234567 e2e4 e7e5 g1f3");

  // Only exact scores print.
  PrintThinking(34, 'L');
  PrintThinking(34, 'U');
  EXPECT_EQ(printed.size(), 1u);

  // Negative scores and node counts beyond 2^31 print as the format gives them.
  printed.clear();
  searchState.nodeCount = 3000000000u;
  PrintThinking(-31990, 'E');
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(printed[0], "9 -31990 512 3000000000 e2e4 e7e5 g1f3");
}

TEST_F(ClockTest, EarlyIterationsAreQuietForTheFirst50Ms) {
  searchState.principalVariation[0] = Coordinates("d2d4");
  searchState.principalVariation[1] = NoMove;
  searchState.nodeCount = 10;
  const struct {
    int depth;
    int64_t now;
    bool prints;
  } cases[] = {{1, 0, false}, {4, 49, false}, {4, 50, true}, {1, 50, true}, {5, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.depth << " at " << c.now);
    printed.clear();
    searchState.iterationDepth = c.depth;
    fakeNow = c.now;
    PrintThinking(0, 'E');
    EXPECT_EQ(printed.size(), c.prints ? 1u : 0u);
  }
}

TEST_F(ClockTest, LongestVariationFitsTheLine) {
  // 48 promotions, the longest move text, make the longest line there can be.
  for (int i = 0; i < MaxPly; ++i) searchState.principalVariation[i] = Coordinates("a7a8q");
  searchState.principalVariation[MaxPly] = NoMove;
  searchState.iterationDepth = 48;
  searchState.nodeCount = 4294967295u;
  fakeNow = 99999999;
  PrintThinking(-32000, 'E');
  ASSERT_EQ(printed.size(), 1u);
  std::string expected = "48 -32000 9999999 4294967295";
  for (int i = 0; i < MaxPly; ++i) expected += " a7a8q";
  EXPECT_EQ(printed[0], expected);
}

}  // namespace
