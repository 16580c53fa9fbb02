// Learning's rules in process: which searches are kept and when the file is written, the
// merge, the load into the table, and the file kept whole when the temporary file fails.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <set>

#include "board/board.h"
#include "learn_test_support.h"

namespace {

std::vector<std::string> messages;

class Learning : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    if (!transpositionTable.mainEntries) AllocateHashMemory(16 << 20);
    ClearHash();
    learningState = LearningState{};
    learningState.messageOutput = [](const char* line) { messages.push_back(line); };
    messages.clear();
    ConfigureLearning(true, LearnPath());
  }
  std::string LearnPath() const { return directory_.path + "/pos_152.lrn"; }
  std::string TemporaryPath() const { return directory_.path + "/poslearn.tmp"; }

  // The search with this score has finished on a position whose key is its number.
  static void FinishSearch(int number, int32_t score) {
    pendingLearn = PendingLearn{uint32_t(number), 0, uint32_t(1000 * number), int16_t(score),
                                uint16_t(number % 7 + 1), uint8_t(number + 4)};
    lastScore = score;
    RecordLearning();
  }
  static LearnRecord RecordOfSearch(int number, int32_t score) {
    return LearnRecord{uint64_t(number), uint32_t(1000 * number), int16_t(score),
                       uint16_t(number % 7 + 1), uint8_t(number + 4)};
  }

  ScratchDirectory directory_;
};

// A game as the game record and the search report it. Events: a number is a finished
// search with that score, "u" a takeback, "r" the "result" command.
struct GameCase {
  const char* name;
  bool enabled;
  bool fromSetUp;
  std::vector<std::string> events;
  std::vector<int> kept;  // numbers of the searches whose records the file holds; -1 no file
};

TEST_F(Learning, GamesWriteTheSearchesWhoseScoreMoved) {
  std::vector<std::string> swinging;
  for (int i = 0; i < 12; ++i) swinging.push_back(i % 2 ? "30" : "0");
  const std::vector<std::string> flat(10, "10");
  auto with = [](std::vector<std::string> e, std::initializer_list<std::string> more) {
    e.insert(e.end(), more);
    return e;
  };
  const GameCase cases[] = {
      {"ten searches, no move of 26", true, false, with(flat, {"r"}), {-1}},
      {"10, 40, 42 keeps the second", true, false, {"10", "40", "42", "r"}, {2}},
      {"25 is not enough, 26 is", true, false, {"0", "25", "-1", "r"}, {3}},
      // Searches 2 to 10 move; the tenth writes, the eleventh and later keep nothing.
      {"the tenth search writes nine", true, false, swinging, {2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"result after the tenth adds nothing", true, false, with(swinging, {"r"}),
       {2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"no result, no tenth search", true, false, {"0", "100", "0"}, {-1}},
      {"set-up games never write", true, true, with(swinging, {"r"}), {-1}},
      {"a takeback ends the game's learning", true, false, {"0", "100", "u", "0", "100", "r"}, {-1}},
      {"Learn=0", false, false, with(swinging, {"r"}), {-1}},
  };
  for (const GameCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(LearnPath());
    ConfigureLearning(c.enabled, LearnPath());
    LearningGameStarted(c.fromSetUp);
    std::vector<LearnRecord> expected;
    int number = 0;
    for (const std::string& e : c.events) {
      if (e == "u") LearningMoveTakenBack();
      else if (e == "r") LearningGameEnded();
      else FinishSearch(++number, std::stoi(e));
      if (e != "u" && e != "r" &&
          std::find(c.kept.begin(), c.kept.end(), number) != c.kept.end())
        expected.push_back(RecordOfSearch(number, std::stoi(e)));
    }
    EXPECT_EQ(std::filesystem::exists(LearnPath()), c.kept[0] != -1);
    EXPECT_FALSE(std::filesystem::exists(TemporaryPath()));
    if (c.kept[0] != -1) {
      EXPECT_EQ(ReadBytes(LearnPath()), FileBytes(expected));
    }
  }
}

TEST_F(Learning, MergeKeepsTheDeeperRecordAndTheFilesOnATie) {
  auto R = [](uint64_t key, uint8_t depth, int16_t score) {
    return LearnRecord{key, 7, score, 2, depth};
  };
  struct MergeCase {
    const char* name;
    std::vector<LearnRecord> file, fresh, result;
  };
  const uint64_t big = 0xF000000000000001ull;  // above 2^63: keys compare unsigned
  const MergeCase cases[] = {
      {"no file", {}, {R(5, 3, 1), R(big, 3, 2)}, {R(5, 3, 1), R(big, 3, 2)}},
      {"interleaved", {R(2, 1, 1), R(big, 1, 2)}, {R(1, 1, 3), R(3, 1, 4)},
       {R(1, 1, 3), R(2, 1, 1), R(3, 1, 4), R(big, 1, 2)}},
      {"deeper fresh record wins", {R(4, 5, 1)}, {R(4, 6, 2)}, {R(4, 6, 2)}},
      {"deeper file record wins", {R(4, 7, 1)}, {R(4, 6, 2)}, {R(4, 7, 1)}},
      {"the file's record wins a tie", {R(4, 6, 1)}, {R(4, 6, 2)}, {R(4, 6, 1)}},
      // Out of order: the file's records go through unchanged, in their order.
      {"out-of-order file", {R(9, 1, 1), R(3, 1, 2)}, {R(5, 1, 3)},
       {R(5, 1, 3), R(9, 1, 1), R(3, 1, 2)}},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(LearnPath());
    if (!c.file.empty()) WriteBytes(LearnPath(), FileBytes(c.file));
    ASSERT_TRUE(MergeLearnFile(LearnPath(), c.fresh));
    EXPECT_EQ(ReadBytes(LearnPath()), FileBytes(c.result));
    EXPECT_FALSE(std::filesystem::exists(TemporaryPath()));
  }
}

// Random records with distinct keys, read back through the table as the search reads them.
TEST_F(Learning, LoadedRecordsReachTheTable) {
  std::mt19937_64 random(12);
  std::vector<LearnRecord> records;
  std::set<uint64_t> keys;
  while (records.size() < 300) {
    const uint64_t key = random();
    if (!keys.insert(key).second) continue;
    records.push_back(LearnRecord{key, uint32_t(random()), int16_t(random() % 6000 - 3000),
                                  uint16_t(random() % 60 + 1), uint8_t(random() % 30 + 1)});
  }
  // Unsorted on purpose: one message per record below its predecessor, every record used.
  int descents = 0;
  for (size_t i = 1; i < records.size(); ++i) descents += records[i].key < records[i - 1].key;
  WriteBytes(LearnPath(), FileBytes(records) + "\x01\x02");
  LearningGameStarted(false);
  LearningSearchStarting();
  EXPECT_TRUE(learningState.learnedLoaded);
  EXPECT_EQ(int(messages.size()), descents);
  for (const std::string& m : messages) EXPECT_EQ(m, "tellusererror Position learn file is corrupted");
  for (const LearnRecord& r : records) {
    const uint32_t low = uint32_t(r.key), high = uint32_t(r.key >> 32);
    uint16_t move = 0;
    bool threat = false;
    const int32_t depth = r.depth * OnePly;
    EXPECT_EQ(ProbeHash(low, high, depth, -ScoreBound, ScoreBound, move, threat, 0), r.score);
    EXPECT_EQ(move, r.moveIndex);
    // Not deep enough for a search one quarter ply deeper.
    EXPECT_GE(ProbeHash(low, high, depth + 1, -ScoreBound, ScoreBound, move, threat, 0), AvoidNullMove);
  }
  // Loaded once per game.
  ClearHash();
  LearningSearchStarting();
  EXPECT_EQ(HashMoveIndex(uint32_t(records[0].key), uint32_t(records[0].key >> 32)), 0);
}

TEST_F(Learning, ThirtyFiveBytesAreTwoRecords) {
  const LearnRecord a{0x1111, 1, 10, 1, 2}, b{0x2222, 1, 20, 3, 2};
  WriteBytes(LearnPath(), FileBytes({a, b}) + "x");
  LearnFileReader reader(LearnPath());
  LearnRecord r{};
  int count = 0;
  while (reader.Next(r)) ++count;
  EXPECT_EQ(count, 2);
  EXPECT_EQ(reader.TrailingBytes(), 1u);
  LoadLearned();
  EXPECT_EQ(HashMoveIndex(0x2222, 0), 3);
  // The merge drops the fragment and keeps both records.
  ASSERT_TRUE(MergeLearnFile(LearnPath(), {LearnRecord{0x1800, 1, 0, 2, 1}}));
  EXPECT_EQ(ReadBytes(LearnPath()), FileBytes({a, LearnRecord{0x1800, 1, 0, 2, 1}, b}));
}

// A load slower than 999 ms turns writing off for the rest of the process.
TEST_F(Learning, SlowLoadStopsWriting) {
  for (int64_t step : {999, 1000}) {
    SCOPED_TRACE(step);
    learningState.learnLoadSlow = false;
    static int64_t now, increment;
    now = 0, increment = step;
    const SearchClock saved = searchClock;
    searchClock = [] { return (now += increment) - increment; };
    LearningGameStarted(false);
    LearningSearchStarting();
    searchClock = saved;
    FinishSearch(1, 0);
    FinishSearch(2, 100);
    std::filesystem::remove(LearnPath());
    LearningGameEnded();
    EXPECT_EQ(std::filesystem::exists(LearnPath()), step == 999);
  }
}

// Whatever stops the temporary file, the learn file stays as it was and nothing is left.
TEST_F(Learning, FailedTemporaryFileChangesNothing) {
  const std::string old = FileBytes({LearnRecord{3, 1, 1, 1, 1}, LearnRecord{8, 1, 1, 1, 1}});
  const std::vector<LearnRecord> fresh = {LearnRecord{5, 1, 1, 1, 1}};
  struct FailureCase {
    const char* name;
    void (*prepare)(const std::string& directory);
    bool temporaryRemains;  // what stood in the temporary file's place is not ours to remove
  };
  const FailureCase cases[] = {
      {"a directory named poslearn.tmp",
       [](const std::string& d) { std::filesystem::create_directory(d + "/poslearn.tmp"); }, true},
      // The temporary file opens, but every write fails with "no space left on device".
      {"a full disk",
       [](const std::string& d) { std::filesystem::create_symlink("/dev/full", d + "/poslearn.tmp"); },
       false},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(TemporaryPath());
    WriteBytes(LearnPath(), old);
    c.prepare(directory_.path);
    EXPECT_FALSE(MergeLearnFile(LearnPath(), fresh));
    EXPECT_EQ(ReadBytes(LearnPath()), old);
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(TemporaryPath())),
              c.temporaryRemains);
  }
  // A folder without write permission: no temporary file, no change; except that the
  // superuser writes there anyway, and then the merge must be whole.
  std::filesystem::remove_all(TemporaryPath());
  WriteBytes(LearnPath(), old);
  chmod(directory_.path.c_str(), 0555);
  const bool merged = MergeLearnFile(LearnPath(), fresh);
  chmod(directory_.path.c_str(), 0755);
  EXPECT_EQ(merged, geteuid() == 0);
  EXPECT_EQ(ReadBytes(LearnPath()), merged ? FileBytes({LearnRecord{3, 1, 1, 1, 1}, fresh[0],
                                                        LearnRecord{8, 1, 1, 1, 1}})
                                           : old);
  EXPECT_FALSE(std::filesystem::exists(TemporaryPath()));
}

}  // namespace
