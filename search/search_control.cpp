// The search's controls: written by the frontend while no search runs (stopSearch at any
// time), read by the search.
#include "search/search.h"
#include "search/search_state.h"

std::atomic<bool> stopSearch{false};
std::atomic<int32_t> depthLimit{0};
std::atomic<bool> postThinking{true};
int32_t timeLimits[3] = {0, 0, 0};
double engineTime = 0.0;
bool hashClearedThisGame = false;
int32_t lastScore = 0;

uint32_t SearchedNodes() { return searchState.nodeCount; }

void ForgetGame() {
  ClearHash();
  hashClearedThisGame = true;
  ResetKillers();
}
