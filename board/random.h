#pragma once
// Subtractive lagged-Fibonacci generator (lags 55 and 24, modulo 2^31 - 1) and the clock.

#include <cstdint>

struct RandomState {
  int32_t table[56];  // entries 1..55 hold the lag state
  int32_t next;
  int32_t nextLag;
  int32_t seedUsed;
  double scale;
};

constexpr int32_t RandomModulus = 2147483647;

// A seed of 0 draws the seed from the clock.
void RandomSeed(RandomState& state, int32_t seed);
int32_t RandomNext(RandomState& state);
int32_t RandomBelow(RandomState& state, int32_t n);
uint64_t Random64(RandomState& state);

// Wall clock in milliseconds since the epoch.
int64_t MillisecondClock();
