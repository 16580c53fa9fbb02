// The game's learning: which search results are kept, when the file is read into the
// transposition table and when the game's records are merged into it.

#include <algorithm>
#include <cstdlib>
#include <cstdio>

#include "learn/learn.h"

LearningState learningState;

namespace {

LearningState& L = learningState;

void SendMessage(const char* line) {
  if (L.messageOutput) {
    L.messageOutput(line);
    return;
  }
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Sorted by key; of records with one key (a position searched twice in a game) the
// deeper stays, the earlier on a tie, as in the merge with the file.
std::vector<LearnRecord> SortedGameRecords() {
  std::vector<LearnRecord> records(L.learnRecords, L.learnRecords + L.learnCount);
  std::stable_sort(records.begin(), records.end(),
                   [](const LearnRecord& a, const LearnRecord& b) { return a.key < b.key; });
  std::vector<LearnRecord> unique;
  for (const LearnRecord& r : records) {
    if (!unique.empty() && unique.back().key == r.key) {
      if (r.depth > unique.back().depth) unique.back() = r;
    } else {
      unique.push_back(r);
    }
  }
  return unique;
}

}  // namespace

void ConfigureLearning(bool enabled, const std::string& learnFileName) {
  L.learningEnabled = enabled;
  L.learnFileName = learnFileName;
}

void LearningGameStarted(bool fromSetUp) {
  const bool learns = L.learningEnabled && !fromSetUp;
  L.learnCount = learns ? 0 : -1;
  L.learnedLoaded = !learns;
  L.searchCount = 0;
}

void LearningMoveTakenBack() {
  if (L.learningEnabled) L.searchCount = LearnSearches;
}

void LearningSearchStarting() {
  if (L.learnedLoaded) return;
  // The table ages before the learned records go in, as before every search.
  AdvanceHashAge();
  LoadLearned();
}

void RecordLearning() {
  if (L.learnCount >= 0 && L.searchCount < LearnSearches && L.searchCount >= 1 &&
      std::abs(L.previousScore - lastScore) >= LearnScoreSwing &&
      L.learnCount < LearnGameRecords) {
    const PendingLearn& p = pendingLearn;
    L.learnRecords[L.learnCount++] =
        LearnRecord{uint64_t(p.keyHigh) << 32 | p.keyLow, p.nodes, p.score, p.moveIndex, p.depth};
  }
  if (++L.searchCount == LearnSearches) WriteLearned();
  L.previousScore = lastScore;
}

void LoadLearned() {
  if (!L.learningEnabled) return;
  L.learnedLoaded = true;
  const int64_t start = searchClock();
  LearnFileReader file(L.learnFileName);
  LearnRecord r{};
  bool first = true;
  uint64_t previousKey = 0;
  while (file.Next(r)) {
    if (!first && r.key < previousKey) SendMessage("tellusererror Position learn file is corrupted");
    first = false;
    previousKey = r.key;
    StoreHash(uint32_t(r.key), uint32_t(r.key >> 32), r.depth * OnePly, r.score, r.moveIndex,
              BoundExact, 0, int32_t(r.nodes));
  }
  if (searchClock() - start > SlowLoadMilliseconds) L.learnLoadSlow = true;
}

bool WriteLearned() {
  if (!L.learningEnabled || L.learnCount < 1 || L.learnLoadSlow) return false;
  return MergeLearnFile(L.learnFileName, SortedGameRecords());
}

void LearningGameEnded() {
  if (L.searchCount < LearnSearches) WriteLearned();
}
