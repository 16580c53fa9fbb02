// Protocol lines into the command loop, as they follow "xboard" and "protover 2": the
// engine is started once (its start-up builds tables for far longer than an input takes)
// in a scratch folder with a small settings file, a small book and its own learn file, and
// each input is a session of its own from the flags and game a fresh process starts with. A search runs on the engine's own thread while the
// loop reads on; the end of the input stops it, and a clock that counts its own reads stops
// any search once the input has used up a small budget of them (one read every 16384
// nodes), so that no input runs long.

#include <atomic>
#include <cstdio>
#include <string>

#include "book/book.h"
#include "frontend/configuration.h"
#include "frontend/frontend.h"
#include "frontend/time_control.h"
#include "fuzz/fuzz_support.h"
#include "learn/learn.h"
#include "notation/game.h"
#include "search/search.h"

namespace {

constexpr int64_t ClockReadBudget = 8;
std::atomic<int64_t> clockReads{0};
// As the start-up left them.
LearningState startedLearning;
Configuration startedConfiguration;

int64_t BudgetClock() {
  const int64_t reads = ++clockReads;
  if (reads > ClockReadBudget) stopSearch = true;
  return reads;
}

// What a fresh process starts with; the last input left its flags and its game.
void ResetEngineState() {
  ponderEnabled = false;
  gameOver = true;
  forceMode = false;
  drawOfferAllowed = false;
  engineTime = opponentTime = 0.0;
  engineClockKnown = false;
  depthLimit = 0;
  postThinking = true;
  stopSearch = false;
  lastScore = 0;
  hashClearedThisGame = false;
  gameRecord = GameRecord{};
  learningState = startedLearning;
  configuration = startedConfiguration;
  RandomSeed(bookRandom, 1);
  clockReads = 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InScratchDirectory scratch;
  CopyWholeFile(SKARNE_FUZZ_SOURCE "/corpus/book/two-lines.boo", "fuzz.boo");
  const std::string settings = "HashSize=1K\nBook=fuzz.boo\nLearn=1\n";
  WriteWholeFile(ConfigurationFileName, reinterpret_cast<const uint8_t*>(settings.data()), settings.size());
  // What the engine says is not looked at; only what it does to memory and threads.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  searchClock = BudgetClock;
  char startUp[] = "protover 2\n";
  std::FILE* input = fmemopen(startUp, sizeof startUp - 1, "r");
  ExecuteCommands(input);
  std::fclose(input);
  startedLearning = learningState;
  startedConfiguration = configuration;
  return tablesReady ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratchDirectory scratch;
  if (size == 0) return 0;
  ResetEngineState();
  std::remove(LearnFileName(EngineVersion).c_str());
  std::remove(LearnTemporaryName);
  std::FILE* input = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!input) return 0;
  ExecuteCommands(input);
  std::fclose(input);
  return 0;
}
