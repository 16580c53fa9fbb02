#pragma once
// Position learning: results of searches whose score moved sharply early in a game, kept
// in a sorted file across games and stored into the transposition table when a game
// begun with "new" first searches.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "search/search.h"

// One record of the learn file, 17 bytes, integers little-endian, no padding:
//   0  u32 low half of hashKey     4  u32 high half     8  u32 nodes of the search
//   12 i16 score                   14 u16 root move index   16 u8 depth in plies
// The file is the records sorted by key (unsigned), no header; a trailing fragment
// shorter than a record is ignored.
struct LearnRecord {
  uint64_t key;
  uint32_t nodes;
  int16_t score;
  uint16_t moveIndex;
  uint8_t depth;
};
constexpr int LearnRecordBytes = 17;
constexpr int LearnBlockRecords = 128;  // the file is read and written in such blocks
constexpr int LearnGameRecords = 10;
constexpr int LearnSearches = 10;       // the game's learning ends at this search
constexpr int32_t LearnScoreSwing = 26;
constexpr int64_t SlowLoadMilliseconds = 999;
inline constexpr const char* LearnTemporaryName = "poslearn.tmp";

void EncodeLearnRecord(const LearnRecord& record, uint8_t* bytes);
LearnRecord DecodeLearnRecord(const uint8_t* bytes);

struct LearningState {
  bool learningEnabled = true;
  std::string learnFileName = "pos_152.lrn";
  LearnRecord learnRecords[LearnGameRecords] = {};
  int32_t learnCount = -1;  // -1: no learning in this game
  int32_t searchCount = 0;
  int32_t previousScore = 0;
  bool learnedLoaded = true;
  bool learnLoadSlow = false;  // a load took too long: the file is never written again
  // Where "tellusererror" lines go (the frontend installs its SendLine).
  LineWriter messageOutput = nullptr;
};
extern LearningState learningState;

// From the settings, at start-up.
void ConfigureLearning(bool enabled, const std::string& learnFileName);

// The game's learning state follows the game: "new" starts learning, a set-up position
// has none, a takeback ends it.
void LearningGameStarted(bool fromSetUp);
void LearningMoveTakenBack();

// The search's events: the first timed search of a game loads the file, every finished
// search may collect its result.
void LearningSearchStarting();
void RecordLearning();
void LoadLearned();
// Merges the game's records into the file; the file is replaced in one step or not at all.
// False when nothing was written.
bool WriteLearned();
// "result": the game ended before the tenth search.
void LearningGameEnded();

// ---- The file itself, shared with the tools.
// Reads records in blocks. A read error ends the reading like the end of the file, but is
// remembered.
class LearnFileReader {
 public:
  explicit LearnFileReader(const std::string& path);
  ~LearnFileReader();
  LearnFileReader(const LearnFileReader&) = delete;
  LearnFileReader& operator=(const LearnFileReader&) = delete;
  bool Opened() const { return file_ != nullptr; }
  bool Missing() const { return missing_; }  // opening failed because there is no file
  bool Failed() const { return failed_; }
  bool Next(LearnRecord& record);
  size_t TrailingBytes() const { return trailing_; }

 private:
  std::FILE* file_ = nullptr;
  bool missing_ = false;
  bool failed_ = false;
  uint8_t block_[LearnBlockRecords * LearnRecordBytes];
  size_t filled_ = 0, at_ = 0, trailing_ = 0;
};

// Merges `fresh` (sorted by key) with the learn file at `path` through a temporary file
// in the same directory. Equal keys keep the greater depth, the file's record on a tie.
// The new file is complete and on disk before it replaces the old one by a rename; on any
// failure the old file stays as it was and the temporary file is removed.
bool MergeLearnFile(const std::string& path, const std::vector<LearnRecord>& fresh);
// The temporary file's name beside `path`.
std::string LearnTemporaryPath(const std::string& path);
