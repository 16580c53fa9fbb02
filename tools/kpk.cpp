// Times the start-up build of the king-and-pawn bitbase: median of several builds.

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "egdb/egdb.h"

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  std::vector<double> millis;
  uint64_t wonCount = 0;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    KpkBitbase table = BuildKpkBitbase();
    auto stop = std::chrono::steady_clock::now();
    millis.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    wonCount = 0;
    for (uint32_t w = 0; w < table.wordCount; ++w) wonCount += std::popcount(table.won[w]);
  }
  DestroyKpkBitbase();
  std::sort(millis.begin(), millis.end());
  std::printf("kpk build: median %.3f ms, min %.3f ms, max %.3f ms over %d runs; %llu of %u indices won\n",
              millis[millis.size() / 2], millis.front(), millis.back(), runs,
              static_cast<unsigned long long>(wonCount), KpkPositionCount);
  return 0;
}
