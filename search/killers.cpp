#include <algorithm>

#include "search/search_state.h"

uint32_t mateKiller[MaxPly];
uint32_t killer1[MaxPly];
uint32_t killer2[MaxPly];
uint32_t history[2][4096];
uint32_t historyUsed[2];

namespace {
constexpr uint32_t NoKiller = 0xFFFFFFFF;
}

void ResetKillers() {
  std::fill(std::begin(mateKiller), std::end(mateKiller), NoKiller);
  std::fill(std::begin(killer1), std::end(killer1), NoKiller);
  std::fill(std::begin(killer2), std::end(killer2), NoKiller);
}

void ShiftKillers() {
  for (uint32_t* table : {mateKiller, killer1, killer2})
    std::copy(table + 1, table + MaxPly, table);
}
