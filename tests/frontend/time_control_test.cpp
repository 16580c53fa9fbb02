// The three search limits from "level", "time" and the game: the period walk, the
// sudden-death divisor and the fallback without a clock.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "board/board.h"
#include "frontend/frontend.h"
#include "frontend/time_control.h"
#include "notation/notation.h"
#include "search/search.h"

namespace {

// The budget b is the spare time (the clock less the 1 s reserve) over the moves to the
// control, or in sudden death the increment plus the spare time over a divisor. The limits
// are b/2, 2b and 10b in whole ms, none above the spare time and the first not above half.
TEST(TimeControl, LimitsWalkThePeriods) {
  const struct { const char* level; int32_t moveNumber; double clock; int32_t limits[3]; } cases[] = {
      {"40 5 0", 1, 401, {5000, 20000, 100000}},      // 400 s over 40 moves: 10 s
      {"40  5   0", 1, 401, {5000, 20000, 100000}},   // runs of blanks separate once
      {"40 5 0", 2, 391, {5000, 20000, 100000}},      // 390 s over 39
      {"40 5 0", 39, 21, {5000, 20000, 20000}},       // 20 s over 2; 10b held to the 20 s there are
      {"40 5 0", 40, 401, {200000, 400000, 400000}},  // the last move before the control: all 400 s
      {"40 5 0", 41, 401, {5000, 20000, 100000}},     // the period starts again
      {"40 5 0", 1, 0.5, {0, 0, 0}},                  // less on the clock than the reserve
      // Moves 1-40, then 41-60, 61-80, ... in the repeated last period; 120 s to spend.
      {"40 120 0 20 60 0", 40, 121, {60000, 120000, 120000}},  // 1 to go
      {"40 120 0 20 60 0", 41, 121, {3000, 12000, 60000}},     // 20 to go: 6 s
      {"40 120 0 20 60 0", 45, 121, {3750, 15000, 75000}},     // 16 to go: 7.5 s
      // 960 moves: 48 periods of 20, and the next starts.
      {"40 120 0 20 60 0", 1000, 121, {60000, 120000, 120000}}, {"40 120 0 20 60 0", 1001, 121, {3000, 12000, 60000}},
      {"40 120 0 20 60", 41, 121, {1500, 6000, 30000}},  // surplus tokens ignored: 40 to go, 3 s
      // Moves, then sudden death with 5 s a move: 5 + 400/35 s = 16.43 s.
      {"40 120 0 0 30 5", 40, 401, {200000, 400000, 400000}}, {"40 120 0 0 30 5", 41, 401, {8214, 32857, 164285}},
      {"0 5 0", 7, 15, {77, 311, 1555}},          // 14/90 s = 155.5 ms, truncated
      {"0 2 12", 30, 91, {7000, 28000, 90000}},   // 12 + 90/45 = 14 s
      {"0 1 2.9", 30, 91, {2450, 9800, 49000}},   // 2.9 + 90/45 = 4.9 s
      {"0 0:10 0.1", 1, 10, {125, 500, 2500}},    // 0.1 + 9/60 s: the increment column
      {"0 0:10 0.0", 1, 10, {50, 200, 1000}},     // no increment: 9/90 s
      {"40 0:07.5 0", 1, 7.5, {81, 325, 1625}},   // 6.5 s over 40 moves
      {"0 5 -3", 30, 91, {671, 2686, 13432}},     // a negative increment gains nothing: 90/67 s
      // No control is sudden death, 99/67 s, as is a level of fewer than three numbers or of no moves.
      {"", 12, 100, {738, 2955, 14776}}, {"40 5", 12, 100, {738, 2955, 14776}}, {"-5 5 0", 12, 100, {738, 2955, 14776}},
      // Numbers no interface sends saturate instead of overflowing.
      {"40 5 0", 1, NAN, {0, 0, 0}},
      {"2147483647 2147483647 2147483647", 1, 3.2e7, {7, 29, 149}},  // 3.2e7 s over 2^31 - 1
      {"0 99999999999:99 -99999999999", 1, 10, {50, 200, 1000}},     // 9/90 s
      {"0 1 2147483647", 1, 10, {4500, 9000, 9000}},                 // held to the 9 s there are
      {"1 5 0", INT32_MAX, 1e300, {NoTimeLimit / 2, NoTimeLimit, NoTimeLimit}},
      // The second period ends beyond 32 bits: 2^31 - 1 is its move 647, 2147482354 to go.
      {"2147483000 1 0 2147483000 1 0 5 1 0", INT32_MAX, 1e9 + 1, {232, 931, 4656}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.level) + " move " + std::to_string(c.moveNumber));
    const TimePlan plan = PlanTime(ParseLevel(c.level), c.moveNumber, c.clock, 1.0);
    EXPECT_EQ(std::vector<int32_t>(plan.limits, plan.limits + 3), std::vector<int32_t>(c.limits, c.limits + 3));
  }
}

// Bases to the millisecond and increments as decimals; a whole number reads as it always did.
TEST(TimeControl, LevelReadsFractionalBasesAndIncrements) {
  const struct { const char* level; double base, increment; } cases[] = {
      {"0 2 12", 120, 12},         {"40 0:07.5 0", 7.5, 0},    {"0 0:10 0.1", 10, 0.1},
      {"0 2:30 -0.5", 150, 0},     {"0 1.5 1e3", 90, 1},       {"0 0:00.0004 0", 0, 0},
      {"0 0:01.2346 0", 1.235, 0}, {"0 inf:5 nan", 5, 0},      {"0 -1:30 0", -30, 0},
  };
  for (const auto& c : cases) {
    const TimeControl control = ParseLevel(c.level);
    ASSERT_EQ(control.periods.size(), 1u) << c.level;
    EXPECT_DOUBLE_EQ(control.periods[0].baseSeconds, c.base) << c.level;
    EXPECT_DOUBLE_EQ(control.periods[0].incrementSeconds, c.increment) << c.level;
  }
}

TEST(TimeControl, SuddenDeathDivisorShrinksWithTheClockAndAnIncrement) {
  // The divisors without and with an increment, each band at both ends (a band holds its
  // upper bound), seen through the hard limit 2b.
  const struct { double clock; int without, with; } bands[] = {
      {3600, 45, 30}, {600.5, 45, 30}, {600, 52, 35}, {300.5, 52, 35}, {300, 60, 40}, {150.5, 60, 40},
      {150, 67, 45},  {60.5, 67, 45},  {60, 75, 50},  {20.5, 75, 50},  {20, 90, 60},  {5, 90, 60},
  };
  for (auto [clock, without, with] : bands) {
    EXPECT_EQ(PlanTime(ParseLevel("0 5 0"), 1, clock, 1.0).limits[1], int32_t((clock - 1) / without * 2000)) << clock;
    EXPECT_EQ(PlanTime(ParseLevel("0 5 1"), 1, clock, 1.0).limits[1], int32_t((1 + (clock - 1) / with) * 2000)) << clock;
  }
}

TEST(TimeControl, ClockReadingsAreCentisecondsWithinAYear) {
  constexpr double Year = 3600.0 * 24.0 * 365.0;
  const struct { const char* text; double seconds; } cases[] = {{"30000", 300.0}, {"12.5", 0.125}, {"abc", 0.0},
      {"-500", 0.0}, {"nan", 0.0}, {"-inf", 0.0}, {"1e400", Year}, {"inf", Year}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(ReadClockSeconds(c.text), c.seconds) << c.text;
}

TEST(TimeControl, PlannedMoveTakesTheGameAndTheClock) {
  InitTables();
  timeControl = ParseLevel("40 5 0");
  engineClockKnown = false;  // before any "time": two seconds a move
  PlanTimedMove();
  EXPECT_EQ(std::vector<int32_t>(timeLimits, timeLimits + 3), (std::vector<int32_t>{1000, 4000, 20000}));
  // A set-up at move 30 counts the control's moves from 1: 40 to go, and 39 a move later.
  engineClockKnown = true;
  engineTime = 401.0;
  ASSERT_TRUE(SetupGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 30"));
  for (std::string text : {"", "g1f3", "g8f6"}) {
    Move move;
    if (!text.empty() && ParseMoveText(gameRecord.gamePosition, text, move)) PlayGameMove(move);
    PlanTimedMove();
    EXPECT_EQ(timeLimits[1], int32_t((401.0 - gameRecord.timeReserve) / (text == "g8f6" ? 39 : 40) * 2000)) << text;
  }
}

}  // namespace
