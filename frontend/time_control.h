#pragma once
// The clocks the interface sends ("level", "time", "otim", "sd") and the per-move budget
// with the three search limits made from them.

#include <cstdint>
#include <string_view>
#include <vector>

// One stretch of a time control: `moves` to play in `baseSeconds` (0 or fewer moves: sudden
// death or increment play), `incrementSeconds` gained per move (never negative). Both times
// may be fractional: interfaces send "0:07.5" and increments such as 0.1.
struct TimePeriod {
  int32_t moves = 0;
  double baseSeconds = 0.0;
  double incrementSeconds = 0.0;
};

// The periods of the last "level" in order; the period after the last is the last again.
// Empty before the first "level" and after one with fewer than three tokens.
struct TimeControl {
  std::vector<TimePeriod> periods;
};

// The budget for one move and the three limits in ms (target, hard limit, extended limit).
struct TimePlan {
  double budgetSeconds = 0.0;
  int32_t limits[3] = {0, 0, 0};
};

extern TimeControl timeControl;
// Set by the first "time": a search before any clock reading gets a fixed budget.
extern bool engineClockKnown;
// "st": seconds for every move, in place of the clock planning until the next "level".
extern double fixedMoveSeconds;

// Without a clock reading: two seconds a move.
constexpr double FixedBudgetSeconds = 2.0;
constexpr int32_t NoTimeLimit = 2147483647;

TimeControl ParseLevel(std::string_view text);
// "time"/"otim": centiseconds as a decimal floating number, returned in seconds and
// clamped to [0, one year] (not a number reads as 0).
double ReadClockSeconds(std::string_view text);

// The plan for move `moveNumber` of the game with `engineSeconds` on the clock.
TimePlan PlanTime(const TimeControl& control, int32_t moveNumber, double engineSeconds,
                  double reserveSeconds);
// Fills the search's timeLimits from the game and the clocks; an
// infinite search has no limit.
void PlanMoveTime(bool infinite);
// The planner Think calls for every timed search.
void PlanTimedMove();
