#include "board/random.h"

#include <chrono>

int64_t MillisecondClock() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void RandomSeed(RandomState& state, int32_t seed) {
  int64_t value = seed;
  if (seed == 0) value = MillisecondClock() % (RandomModulus - 1) + 1;
  int32_t mj = static_cast<int32_t>(value % RandomModulus);
  state.table[55] = mj;
  state.seedUsed = mj;
  int32_t mk = 1;
  for (int i = 21; i <= 1134; i += 21) {
    state.table[i % 55] = mk;
    int32_t t = mj - mk;
    if (t < 0) t += RandomModulus;
    mj = mk;
    mk = t;
  }
  for (int round = 0; round < 4; ++round) {
    for (int i = 1; i <= 55; ++i) {
      int32_t v = state.table[i] - state.table[1 + (i + 30) % 55];
      if (v < 0) v += RandomModulus;
      state.table[i] = v;
    }
  }
  state.next = 0;
  state.nextLag = 31;
  state.scale = 1.0 / 2147483647.0;
}

int32_t RandomNext(RandomState& state) {
  if (++state.next == 56) state.next = 1;
  if (++state.nextLag == 56) state.nextLag = 1;
  int32_t v = state.table[state.next] - state.table[state.nextLag];
  if (v < 0) v += RandomModulus;
  state.table[state.next] = v;
  return v;
}

int32_t RandomBelow(RandomState& state, int32_t n) {
  // Extended precision keeps the product below n for every draw (the largest draw is
  // 2^31 - 2, so draw * scale < 1 exactly).
  long double product = static_cast<long double>(RandomNext(state)) *
                        static_cast<long double>(state.scale) * static_cast<long double>(n);
  return static_cast<int32_t>(product);
}

uint64_t Random64(RandomState& state) {
  uint64_t r1 = static_cast<uint64_t>(RandomBelow(state, 65536));
  uint64_t r2 = static_cast<uint64_t>(RandomBelow(state, 65536));
  uint64_t r3 = static_cast<uint64_t>(RandomBelow(state, 65536));
  uint64_t r4 = static_cast<uint64_t>(RandomBelow(state, 65536));
  return r1 << 48 | r2 << 32 | r3 << 16 | r4;
}
