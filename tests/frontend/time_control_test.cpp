// The per-move budget and the three search limits from "level", "time" and the game.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "board/board.h"
#include "engine_process.h"
#include "frontend/frontend.h"
#include "frontend/time_control.h"
#include "notation/notation.h"
#include "search/search.h"

namespace {

TEST(ParseLevel, PeriodsMinutesSecondsAndIncrements) {
  struct Case {
    const char* text;
    std::vector<TimePeriod> periods;
  };
  const Case cases[] = {
      {"40 5 0", {{40, 300, 0}}},
      {"0 2:30 0", {{0, 150, 0}}},  // two minutes and thirty seconds
      {"0 2 12", {{0, 120, 12}}},
      {"0 5 -3", {{0, 300, 0}}},      // a negative increment gains nothing
      {"0 1 2.9", {{0, 60, 2}}},      // whole seconds only
      {"40 120 0 20 60 0", {{40, 7200, 0}, {20, 3600, 0}}},
      {"40 120 0 20 60", {{40, 7200, 0}}},  // surplus tokens are ignored
      {"40  5   0", {{40, 300, 0}}},          // runs of blanks separate once
      {"40 5", {}},
      {"", {}},
      {"abc x:y z", {{0, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TimeControl control = ParseLevel(c.text);
    ASSERT_EQ(control.periods.size(), c.periods.size());
    for (size_t i = 0; i < c.periods.size(); ++i) {
      EXPECT_EQ(control.periods[i].moves, c.periods[i].moves);
      EXPECT_EQ(control.periods[i].baseSeconds, c.periods[i].baseSeconds);
      EXPECT_EQ(control.periods[i].incrementSeconds, c.periods[i].incrementSeconds);
    }
  }
}

TEST(ParseLevel, HugeNumbersSaturate) {
  TimeControl control = ParseLevel("2147483647 2147483647 2147483647 99999999999 99999999999:99 -99999999999");
  ASSERT_EQ(control.periods.size(), 2u);
  EXPECT_EQ(control.periods[0].moves, INT32_MAX);
  EXPECT_EQ(control.periods[0].baseSeconds, INT32_MAX);  // minutes times 60 would overflow
  EXPECT_EQ(control.periods[0].incrementSeconds, INT32_MAX);
  EXPECT_EQ(control.periods[1].moves, INT32_MAX);
  EXPECT_EQ(control.periods[1].baseSeconds, INT32_MAX);
  EXPECT_EQ(control.periods[1].incrementSeconds, 0);
}

TEST(ReadClockSeconds, CentisecondsAndUntrustedReadings) {
  constexpr double Year = 3600.0 * 24.0 * 365.0;
  struct Case {
    const char* text;
    double seconds;
  };
  const Case cases[] = {
      {"30000", 300.0}, {"40100", 401.0}, {"0", 0.0},   {"abc", 0.0},   {"-500", 0.0},
      {"1e400", Year},  {"nan", 0.0},     {"inf", Year}, {"-inf", 0.0}, {"12.5", 0.125},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(ReadClockSeconds(c.text), c.seconds);
  }
}

void ExpectLimits(const TimePlan& plan, int32_t target, int32_t hard, int32_t extended) {
  EXPECT_EQ(plan.limits[0], target);
  EXPECT_EQ(plan.limits[1], hard);
  EXPECT_EQ(plan.limits[2], extended);
}

TEST(PlanTime, MovesToTheControl) {
  TimeControl control = ParseLevel("40 5 0");
  // 401 s on the clock less the 1 s reserve, over 40 moves: 10 s. Half of it, twice it and
  // ten times it, all below the 400 s available.
  TimePlan first = PlanTime(control, 1, 401.0, 1.0);
  EXPECT_DOUBLE_EQ(first.budgetSeconds, 10.0);
  ExpectLimits(first, 5000, 20000, 100000);
  // Move 40 is the last before the control: all 400 s, the first limit capped at half.
  TimePlan last = PlanTime(control, 40, 401.0, 1.0);
  EXPECT_DOUBLE_EQ(last.budgetSeconds, 400.0);
  ExpectLimits(last, 200000, 400000, 400000);
  // Move 41 starts the period again.
  EXPECT_DOUBLE_EQ(PlanTime(control, 41, 401.0, 1.0).budgetSeconds, 10.0);
  // Move 2 has 39 moves to go, move 39 two.
  EXPECT_DOUBLE_EQ(PlanTime(control, 2, 391.0, 1.0).budgetSeconds, 10.0);
  EXPECT_DOUBLE_EQ(PlanTime(control, 39, 21.0, 1.0).budgetSeconds, 10.0);
}

TEST(PlanTime, WalksSeveralPeriodsAndRepeatsTheLast) {
  TimeControl control = ParseLevel("40 120 0 20 60 0");
  // Moves 1..40 in the first period, 41..60 in the second, then 20-move periods again.
  struct Case {
    int32_t moveNumber;
    int movesLeft;
  };
  const Case cases[] = {{1, 40},  {40, 1},  {41, 20}, {42, 19}, {60, 1},
                        {61, 20}, {80, 1},  {81, 20}, {1000, 1}, {1001, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moveNumber);
    // 121 s less the reserve over the moves left.
    EXPECT_DOUBLE_EQ(PlanTime(control, c.moveNumber, 121.0, 1.0).budgetSeconds, 120.0 / c.movesLeft);
  }
}

TEST(PlanTime, MovesThenSuddenDeathWithIncrement) {
  TimeControl control = ParseLevel("40 120 0 0 30 5");
  EXPECT_DOUBLE_EQ(PlanTime(control, 40, 401.0, 1.0).budgetSeconds, 400.0);
  // From move 41 on: 5 s increment plus 400 s over 35 (clock between 300 and 600 s).
  EXPECT_DOUBLE_EQ(PlanTime(control, 41, 401.0, 1.0).budgetSeconds, 5.0 + 400.0 / 35.0);
  EXPECT_DOUBLE_EQ(PlanTime(control, 500, 401.0, 1.0).budgetSeconds, 5.0 + 400.0 / 35.0);
}

TEST(PlanTime, SuddenDeathAndIncrementExamples) {
  // level 0 2 12 with 100 s: 12 + 99/45 = 14.2 s; limits 7.1 s, 28.4 s and the 99 s left.
  TimePlan increment = PlanTime(ParseLevel("0 2 12"), 30, 100.0, 1.0);
  EXPECT_DOUBLE_EQ(increment.budgetSeconds, 12.0 + 99.0 / 45.0);
  EXPECT_NEAR(increment.limits[0], 7100, 1);
  EXPECT_NEAR(increment.limits[1], 28400, 1);
  EXPECT_EQ(increment.limits[2], 99000);
  // level 0 5 0 with 15 s: 14/90 s = 155.5 ms; limits 77.7, 311.1 and 1555.5 ms truncated.
  TimePlan suddenDeath = PlanTime(ParseLevel("0 5 0"), 7, 15.0, 1.0);
  EXPECT_DOUBLE_EQ(suddenDeath.budgetSeconds, 14.0 / 90.0);
  ExpectLimits(suddenDeath, 77, 311, 1555);
}

TEST(PlanTime, DivisorByClockAndIncrement) {
  struct Case {
    double clock;
    double withoutIncrement;
    double withIncrement;
  };
  // Each band of the table at both of its ends: a band includes its upper bound.
  const Case cases[] = {
      {3600, 45, 30}, {600.5, 45, 30}, {600, 52, 35}, {300.5, 52, 35}, {300, 60, 40},
      {150.5, 60, 40}, {150, 67, 45},  {60.5, 67, 45}, {60, 75, 50},    {20.5, 75, 50},
      {20, 90, 60},    {2, 90, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clock);
    double spare = c.clock - 1.0;
    EXPECT_DOUBLE_EQ(PlanTime(ParseLevel("0 5 0"), 1, c.clock, 1.0).budgetSeconds,
                     spare / c.withoutIncrement);
    EXPECT_DOUBLE_EQ(PlanTime(ParseLevel("0 5 3"), 1, c.clock, 1.0).budgetSeconds,
                     3.0 + spare / c.withIncrement);
  }
}

TEST(PlanTime, NoControlIsSuddenDeathOnTheClock) {
  EXPECT_DOUBLE_EQ(PlanTime(TimeControl{}, 12, 100.0, 1.0).budgetSeconds, 99.0 / 67.0);
  EXPECT_DOUBLE_EQ(PlanTime(ParseLevel("40 5"), 12, 100.0, 1.0).budgetSeconds, 99.0 / 67.0);
}

TEST(PlanTime, LimitsStayWithinTheirRangeWhateverTheNumbers) {
  struct Case {
    const char* level;
    int32_t moveNumber;
    double clock;
    double reserve;
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {"2147483647 2147483647 2147483647", 1, 3.2e7, 1.0},
      {"2147483647 1 0 2147483647 1 0 5 1 0", INT32_MAX, 300.0, 1.0},  // sums beyond 32 bits
      {"0 1 2147483647", 1, 10.0, 1.0},  // an increment far beyond the clock
      {"40 5 0", 1, 0.5, 1.0},           // less on the clock than the reserve
      {"40 5 0", 1, nan, 1.0},
      {"0 5 0", 1, 1e300, nan},
      {"1 5 0", INT32_MAX, 1e300, 1.0},
      {"-5 5 0", 1, 100.0, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.level) + " at move " + std::to_string(c.moveNumber));
    TimePlan plan = PlanTime(ParseLevel(c.level), c.moveNumber, c.clock, c.reserve);
    for (int32_t limit : plan.limits) {
      EXPECT_GE(limit, 0);
      EXPECT_LE(limit, NoTimeLimit);
    }
    EXPECT_LE(plan.limits[0], plan.limits[1]);
    EXPECT_LE(plan.limits[1], plan.limits[2]);
  }
  // The first period ends 647 moves before the last move number there is; the second,
  // whose end lies beyond 32 bits, holds it as its move 647: 2147483000 + 1 - 647 to go.
  TimePlan second = PlanTime(ParseLevel("2147483000 1 0 2147483000 1 0 5 1 0"), INT32_MAX, 101.0, 1.0);
  EXPECT_DOUBLE_EQ(second.budgetSeconds, 100.0 / (2147483000.0 + 1.0 - 647.0));
  TimePlan broke = PlanTime(ParseLevel("40 5 0"), 1, 0.5, 1.0);
  ExpectLimits(broke, 0, 0, 0);
}

class PlanMoveTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    savedControl_ = timeControl;
    savedClock_ = engineTime;
    savedKnown_ = engineClockKnown;
  }
  void TearDown() override {
    timeControl = savedControl_;
    engineTime = savedClock_;
    engineClockKnown = savedKnown_;
  }
  void Play(const char* text) {
    std::string move = text;
    Move parsed;
    ASSERT_TRUE(ParseMoveText(gameRecord.gamePosition, move, parsed)) << text;
    PlayGameMove(parsed);
  }

 private:
  TimeControl savedControl_;
  double savedClock_ = 0.0;
  bool savedKnown_ = false;
};

TEST_F(PlanMoveTimeTest, InfiniteAndUnclockedSearches) {
  PlanMoveTime(true);
  ExpectLimits(TimePlan{0.0, {timeLimits[0], timeLimits[1], timeLimits[2]}}, NoTimeLimit,
               NoTimeLimit, NoTimeLimit);
  engineClockKnown = false;
  timeControl = ParseLevel("40 5 0");
  PlanMoveTime(false);
  // Two seconds: a second as target, four as hard limit, twenty as the extended one.
  EXPECT_EQ(timeLimits[0], 1000);
  EXPECT_EQ(timeLimits[1], 4000);
  EXPECT_EQ(timeLimits[2], 20000);
}

TEST_F(PlanMoveTimeTest, SetboardCountsTheMovesFromOneAgain) {
  timeControl = ParseLevel("40 5 0");
  engineClockKnown = true;
  engineTime = 401.0;
  // A set-up at move 30 still starts the control's count at 1: 40 moves to go.
  ASSERT_TRUE(SetupGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 30"));
  PlanMoveTime(false);
  EXPECT_DOUBLE_EQ(timeBudget, (401.0 - gameRecord.timeReserve) / 40.0);
  // 39 full moves later it is move 40: everything left is the budget.
  for (int i = 0; i < 39; ++i) {
    const char* cycle[4][2] = {{"g1f3", "g8f6"}, {"f3g1", "f6g8"}, {"b1c3", "b8c6"}, {"c3b1", "c6b8"}};
    Play(cycle[i % 4][0]);
    Play(cycle[i % 4][1]);
  }
  ASSERT_EQ(gameRecord.moveNumber, 40);
  PlanMoveTime(false);
  EXPECT_DOUBLE_EQ(timeBudget, 401.0 - gameRecord.timeReserve);
  ASSERT_TRUE(SetupGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 30"));
  PlanMoveTime(false);
  EXPECT_DOUBLE_EQ(timeBudget, (401.0 - gameRecord.timeReserve) / 40.0);
}

// Clock readings no real interface sends still give a move, from the search's first
// iteration when the clock reads as empty.
TEST(TimeCommands, UntrustedReadingsThroughTheEngine) {
  const char* sessions[][3] = {
      {"level 2147483647 2147483647 2147483647", "time nan", "otim 1e400"},
      {"level 40 5 0 2147483647 1 0", "time -1e400", "otim nan"},
      {"level 0 99999999999:99 -5", "time 0", "otim -5"},
  };
  for (const auto& session : sessions) {
    SCOPED_TRACE(session[0]);
    EngineProcess engine;
    engine.Send("xboard");
    engine.Send("protover 2");
    ASSERT_TRUE(engine.ReadUntil("feature done=1"));
    engine.Send("new");
    for (const char* line : session) engine.Send(line);
    engine.Send("go");
    EXPECT_TRUE(engine.ReadsMove());
    engine.Send("quit");
    EXPECT_EQ(engine.WaitExit(), 0);
  }
}

}  // namespace
