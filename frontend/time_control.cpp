#include "frontend/time_control.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "frontend/frontend.h"
#include "frontend/numbers.h"
#include "notation/game.h"
#include "search/search.h"

TimeControl timeControl;
bool engineClockKnown = false;
double fixedMoveSeconds = 0.0;

namespace {

// A plain decimal number with an optional sign and fraction ("7", "-3", "0.1", "07.5"),
// saturated to 32 bits; what follows it (a colon, an exponent, letters) is not read, so a
// whole number reads exactly as an integer would.
double ReadDecimal(std::string_view text) {
  size_t end = text.find_first_not_of(' ');
  if (end == std::string_view::npos) return 0.0;
  if (text[end] == '+' || text[end] == '-') ++end;
  end = text.find_first_not_of("0123456789", end);
  if (end != std::string_view::npos && text[end] == '.') end = text.find_first_not_of("0123456789", end + 1);
  return std::clamp(ReadDouble(text.substr(0, end)), double(INT32_MIN), double(INT32_MAX));
}

// "M:SS" (seconds may have a fraction) or minutes, to the millisecond.
double ReadBaseSeconds(std::string_view token) {
  const size_t colon = token.find(':');
  const double minutes = ReadDecimal(token);
  const double seconds = colon == std::string_view::npos ? 0.0 : ReadDecimal(token.substr(colon + 1));
  const double total = std::clamp(minutes * 60.0 + seconds, double(INT32_MIN), double(INT32_MAX));
  return std::round(total * 1000.0) / 1000.0;
}

// Sudden death and increment play spread what is left over the moves a game usually still
// lasts: more of them the shorter the clock, fewer when every move brings time back.
struct ClockDivisorRow {
  double above;  // seconds on the clock
  int withoutIncrement;
  int withIncrement;
};
constexpr ClockDivisorRow ClockDivisors[] = {
    {600, 45, 30}, {300, 52, 35}, {150, 60, 40}, {60, 67, 45}, {20, 75, 50}, {-INFINITY, 90, 60},
};

double ClockDivisor(double engineSeconds, bool increment) {
  for (const auto& row : ClockDivisors) {
    if (engineSeconds > row.above) return increment ? row.withIncrement : row.withoutIncrement;
  }
  return increment ? 60 : 90;  // only a NaN gets here, and PlanTime refuses those
}

// Whole milliseconds, truncated toward zero, within what timeLimits can hold.
int32_t WholeMilliseconds(double ms) {
  if (!(ms > 0.0)) return 0;
  if (ms >= double(NoTimeLimit)) return NoTimeLimit;
  return static_cast<int32_t>(ms);
}

double Finite(double seconds) { return std::isfinite(seconds) ? seconds : 0.0; }

TimePlan PlanFromBudget(double budgetSeconds, double availableSeconds) {
  TimePlan plan;
  plan.budgetSeconds = budgetSeconds;
  int32_t available = WholeMilliseconds(availableSeconds * 1000.0);
  plan.limits[0] = std::min(WholeMilliseconds(budgetSeconds * 500.0), available / 2);
  plan.limits[1] = std::min(WholeMilliseconds(budgetSeconds * 2000.0), available);
  plan.limits[2] = std::min(WholeMilliseconds(budgetSeconds * 10000.0), available);
  return plan;
}

}  // namespace

TimeControl ParseLevel(std::string_view text) {
  std::vector<std::string> tokens;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    if (end > at) tokens.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  TimeControl control;
  for (size_t i = 0; i + 2 < tokens.size(); i += 3) {
    TimePeriod period;
    period.moves = ReadInt32(tokens[i]);
    period.baseSeconds = ReadBaseSeconds(tokens[i + 1]);
    period.incrementSeconds = std::max(0.0, ReadDecimal(tokens[i + 2]));
    control.periods.push_back(period);
  }
  return control;
}

double ReadClockSeconds(std::string_view text) {
  const double centiseconds = ReadDouble(text);
  constexpr double YearInCentiseconds = 100.0 * 3600.0 * 24.0 * 365.0;
  return std::clamp(centiseconds, 0.0, YearInCentiseconds) * 0.01;
}

TimePlan PlanTime(const TimeControl& control, int32_t moveNumber, double engineSeconds,
                  double reserveSeconds) {
  const double clock = Finite(engineSeconds);
  const double spare = clock - Finite(reserveSeconds);
  // No control at all counts as sudden death on the clock the engine has.
  double increment = 0.0;
  int64_t movesLeft = 0;
  int64_t before = 0;  // moves of the periods passed; 64 bits because the sums are untrusted
  for (size_t i = 0; i < control.periods.size(); ++i) {
    const TimePeriod& period = control.periods[i];
    if (period.moves <= 0) {
      increment = period.incrementSeconds;
      break;
    }
    bool last = i + 1 == control.periods.size();
    if (before + period.moves >= moveNumber || last) {
      int64_t k = int64_t(moveNumber) - before;  // at least 1; beyond m only in the last one
      int64_t place = k % period.moves;
      movesLeft = place == 0 ? 1 : int64_t(period.moves) + 1 - place;
      break;
    }
    before += period.moves;
  }
  double budget = movesLeft > 0 ? spare / double(movesLeft)
                                : increment + spare / ClockDivisor(clock, increment > 0.0);
  return PlanFromBudget(budget, spare);
}

void PlanMoveTime(bool infinite) {
  TimePlan plan;
  if (infinite) {
    plan.limits[0] = plan.limits[1] = plan.limits[2] = NoTimeLimit;
  } else if (fixedMoveSeconds > 0.0) {
    plan.limits[0] = plan.limits[1] = plan.limits[2] = WholeMilliseconds(fixedMoveSeconds * 1000.0);
  } else if (!engineClockKnown) {
    plan = PlanFromBudget(FixedBudgetSeconds, 10.0 * FixedBudgetSeconds);
  } else {
    plan = PlanTime(timeControl, gameRecord.moveNumber, engineTime, gameRecord.timeReserve);
  }
  std::copy(plan.limits, plan.limits + 3, timeLimits);
}

void PlanTimedMove() { PlanMoveTime(false); }
