// Learning's rules and its file in process; a learned move, and the file whole whatever signal
// ends the engine during its merge, through the engine.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <random>
#include <thread>

#include "../frontend/engine_process.h"
#include "board/board.h"
#include "learn/learn.h"

namespace {

std::string FileBytes(const std::vector<LearnRecord>& records) {
  std::string bytes;
  for (const LearnRecord& r : records)
    for (auto [value, size] : {std::pair<uint64_t, int>{r.key, 8}, {r.nodes, 4}, {uint16_t(r.score), 2},
                               {r.moveIndex, 2}, {r.depth, 1}})
      for (int i = 0; i < size; ++i) bytes.push_back(char(value >> (8 * i)));
  return bytes;
}
LearnRecord R(uint64_t key, uint8_t depth = 1, int16_t score = 1) { return LearnRecord{key, 7, score, 2, depth}; }

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
    ConfigureLearning(true, learnPath);
  }
  void TearDown() override { chmod(directory.c_str(), 0755); }  // the folder goes with `scratch`
  // The search numbered `number` (its key too) has finished with this score.
  static LearnRecord Search(int number, int32_t score) {
    return LearnRecord{uint64_t(number), uint32_t(1000 * number), int16_t(score), uint16_t(number % 7 + 1),
                       uint8_t(number + 4)};
  }
  static void FinishSearch(int number, int32_t score) {
    const LearnRecord r = Search(number, score);
    pendingLearn = PendingLearn{uint32_t(r.key), 0, r.nodes, r.score, r.moveIndex, r.depth};
    lastScore = score;
    RecordLearning();
  }

  const ScratchDirectory scratch;
  const std::string directory = scratch.path;
  const std::string learnPath = directory + "/pos_152.lrn", temporaryPath = directory + "/poslearn.tmp";
};

// Events: a number is a finished search with that score, "u" a takeback, "r" the result,
// "load N" the game's first search loading the file in N ms (slower than 999: no writing).
TEST_F(Learning, GamesWriteTheSearchesWhoseScoreMoved) {
  std::vector<std::string> swinging;
  for (int i = 0; i < 12; ++i) swinging.push_back(i % 2 ? "30" : "0");
  auto with = [](std::vector<std::string> e, std::string more) { return e.push_back(more), e; };
  const std::vector<std::string> twoToTen = {"2", "3", "4", "5", "6", "7", "8", "9", "10"};
  const struct { const char* name; bool enabled, fromSetUp; std::vector<std::string> events, kept; } cases[] = {
      {"ten searches, no move of 26", true, false, with(std::vector<std::string>(10, "10"), "r"), {}},
      {"10, 40, 42 keeps the second", true, false, {"10", "40", "42", "r"}, {"2"}},
      {"25 is not enough, 26 is", true, false, {"0", "25", "-1", "r"}, {"3"}},
      {"the tenth search writes nine", true, false, swinging, twoToTen},
      {"result after the tenth adds nothing", true, false, with(swinging, "r"), twoToTen},
      {"no result, no tenth search", true, false, {"0", "100", "0"}, {}},
      {"setboard games never write", true, true, with(swinging, "r"), {}},
      {"a takeback ends the game's learning", true, false, {"0", "100", "u", "0", "100", "r"}, {}},
      {"Learn=0", false, false, with(swinging, "r"), {}},
      {"a 999 ms load", true, false, {"load 999", "0", "100", "r"}, {"2"}},
      {"a 1000 ms load stops writing", true, false, {"load 1000", "0", "100", "r"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(learnPath);
    learningState.learnLoadSlow = false;
    ConfigureLearning(c.enabled, learnPath);
    LearningGameStarted(c.fromSetUp);
    std::vector<LearnRecord> expected;
    int number = 0;
    for (const std::string& e : c.events) {
      static int64_t now, step;
      const SearchClock saved = searchClock;
      if (e.rfind("load ", 0) == 0) {
        now = 0, step = std::stoi(e.substr(5)), searchClock = [] { return (now += step) - step; };
        LearningSearchStarting();
        searchClock = saved;
      } else if (e == "u") LearningMoveTakenBack();
      else if (e == "r") LearningGameEnded();
      else if (FinishSearch(++number, std::stoi(e)); std::count(c.kept.begin(), c.kept.end(), std::to_string(number)))
        expected.push_back(Search(number, std::stoi(e)));
    }
    EXPECT_EQ(std::filesystem::exists(learnPath), !c.kept.empty());
    EXPECT_EQ(ReadFileBytes(learnPath), c.kept.empty() ? "" : FileBytes(expected));
  }
}

TEST_F(Learning, MergeKeepsTheDeeperRecordAndTheFilesOnATie) {
  const uint64_t big = 0xF000000000000001ull;  // above 2^63: keys compare unsigned
  const struct { const char* name; std::string file; std::vector<LearnRecord> fresh, result; } cases[] = {
      {"no file", "", {R(5), R(big)}, {R(5), R(big)}},
      {"interleaved", FileBytes({R(2, 1, 1), R(big)}), {R(1, 1, 3), R(3)},
       {R(1, 1, 3), R(2, 1, 1), R(3), R(big)}},
      {"deeper fresh record wins", FileBytes({R(4, 5, 1)}), {R(4, 6, 2)}, {R(4, 6, 2)}},
      {"deeper file record wins", FileBytes({R(4, 7, 1)}), {R(4, 6, 2)}, {R(4, 7, 1)}},
      {"the file's record wins a tie", FileBytes({R(4, 6, 1)}), {R(4, 6, 2)}, {R(4, 6, 1)}},
      // Out of order: the file's records go through unchanged, in their order.
      {"out-of-order file", FileBytes({R(9), R(3)}), {R(5)}, {R(5), R(9), R(3)}},
      {"35 bytes are two records", FileBytes({R(0x1111), R(0x2222)}) + "x", {R(0x1800)},
       {R(0x1111), R(0x1800), R(0x2222)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(learnPath);
    if (!c.file.empty()) WriteFileBytes(learnPath, c.file);
    ASSERT_TRUE(MergeLearnFile(learnPath, c.fresh));
    EXPECT_EQ(ReadFileBytes(learnPath), FileBytes(c.result));
    EXPECT_FALSE(std::filesystem::exists(temporaryPath));
  }
}

// Random unsorted records and a trailing fragment, read back through the table.
TEST_F(Learning, LoadedRecordsReachTheTable) {
  std::mt19937_64 random(12);
  std::vector<LearnRecord> records(300);
  for (LearnRecord& r : records)  // 64-bit random keys: no two alike
    r = LearnRecord{random(), uint32_t(random()), int16_t(random() % 6000 - 3000),
                    uint16_t(random() % 60 + 1), uint8_t(random() % 30 + 1)};
  int descents = 0;  // one message per record below its predecessor, every record used
  for (size_t i = 1; i < records.size(); ++i) descents += records[i].key < records[i - 1].key;
  WriteFileBytes(learnPath, FileBytes(records) + "\x01\x02");
  LearningGameStarted(false);
  LearningSearchStarting();
  EXPECT_EQ(messages, std::vector<std::string>(descents, "tellusererror Position learn file is corrupted"));
  for (const LearnRecord& r : records) {
    uint16_t move = 0;
    bool threat = false;
    const uint32_t low = uint32_t(r.key), high = uint32_t(r.key >> 32);
    EXPECT_EQ(ProbeHash(low, high, r.depth * OnePly, -ScoreBound, ScoreBound, move, threat, 0), r.score);
    EXPECT_EQ(move, r.moveIndex);
    const int32_t tooDeep = r.depth * OnePly + 1;
    EXPECT_GE(ProbeHash(low, high, tooDeep, -ScoreBound, ScoreBound, move, threat, 0), AvoidNullMove);
  }
  ClearHash();  // loaded once per game
  LearningSearchStarting();
  EXPECT_EQ(HashMoveIndex(uint32_t(records[0].key), uint32_t(records[0].key >> 32)), 0);
}

// Whatever stops the temporary file, the learn file stays as it was.
TEST_F(Learning, FailedTemporaryFileChangesNothing) {
  const std::string old = FileBytes({R(3), R(8)});
  // temporaryRemains: what stood in the temporary file's place is not ours to remove.
  const struct { const char* name; void (*prepare)(const std::string& d); bool temporaryRemains; } cases[] = {
      {"poslearn.tmp a directory", [](auto& d) { std::filesystem::create_directory(d + "/poslearn.tmp"); }, true},
      {"a full disk", [](auto& d) { std::filesystem::create_symlink("/dev/full", d + "/poslearn.tmp"); }, false},
      // The superuser writes there anyway, and then the merge must be whole.
      {"a read-only folder", [](auto& d) { chmod(d.c_str(), 0555); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(temporaryPath);
    WriteFileBytes(learnPath, old);
    c.prepare(directory);
    const bool merged = MergeLearnFile(learnPath, {R(5)});
    chmod(directory.c_str(), 0755);
    EXPECT_EQ(merged, geteuid() == 0 && c.prepare == cases[2].prepare);
    EXPECT_EQ(ReadFileBytes(learnPath), merged ? FileBytes({R(3), R(5), R(8)}) : old);
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(temporaryPath)), c.temporaryRemains);
  }
}

// ---- Through the engine binary.
class LearnSession : public Learning {
 protected:
  std::unique_ptr<EngineProcess> Start(const std::string& settings = "HashSize=16Mb\n") {
    std::ofstream(directory + "/skarne.ini") << settings;
    auto engine = std::make_unique<EngineProcess>(directory);
    engine->Send("xboard\nprotover 2");
    engine->ReadUntil("feature done=1");
    return engine;
  }
  static std::string Move(EngineProcess& e) { return e.ReadUntil("move ").value_or("move <none>").substr(5); }
  static void Sync(EngineProcess& engine) { engine.Send("ping 9"); EXPECT_TRUE(engine.ReadUntil("pong 9")); }
  // White wins the queen at once; then the engine takes black, a queen down: the second
  // search's score moves far more than 26 and is learned, written when "result" follows.
  static void PlayQueenGame(EngineProcess& engine) {
    engine.Send("new\nsd 3\nforce\nusermove e2e4\nusermove e7e5\nusermove g1f3\nusermove d8g5\ngo");
    EXPECT_EQ(Move(engine), "f3g5");
    engine.Send("go");
    Move(engine);
    Sync(engine);
  }
};

uint64_t KeyAfter(const Commands& moves) {
  Position pos;
  EXPECT_TRUE(PlayMoves(StartFen, moves, pos));
  return pos.hashKey;
}

TEST_F(LearnSession, LearnedPositionChangesTheMove) {
  auto firstMove = [&](const std::string& settings = "HashSize=16Mb\n", const char* position = "") {
    auto engine = Start(settings);
    engine->Send(std::string("new\n") + position + "level 40 1 0\ntime 500\notim 500\ngo");
    return Move(*engine);
  };
  ASSERT_NE(firstMove(), "a2a3");
  // Black to move after 1. a3, learned lost far deeper than any search reaches.
  WriteFileBytes(learnPath, FileBytes({LearnRecord{KeyAfter({"a2a3"}), 50000000, -3000, 1, 60}}));
  EXPECT_EQ(firstMove(), "a2a3");
  EXPECT_NE(firstMove("HashSize=16Mb\nLearn=0\n"), "a2a3");
  // Only a game begun with "new" loads the file.
  EXPECT_NE(firstMove(std::string("HashSize=16Mb\n"),
                      "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n"), "a2a3");
}

// SKARNE_LEARN_KILLS runs (default 24): the engine merges one record into a large file and
// gets SIGKILL, SIGTERM or SIGHUP in turn at a random instant around the merge. The file is
// then the old one or the new; a signal it can catch ends it within a second, with that
// signal's status, and leaves no temporary file.
TEST_F(LearnSession, SignalDuringTheMergeLeavesAWholeFile) {
  std::mt19937_64 random(52);
  std::vector<LearnRecord> records(80000);
  for (LearnRecord& r : records)
    r = LearnRecord{random(), uint32_t(random()), int16_t(random() % 1000), 5, uint8_t(random() % 20)};
  std::sort(records.begin(), records.end(), [](auto& a, auto& b) { return a.key < b.key; });
  const std::string old = FileBytes(records);
  WriteFileBytes(learnPath, old);
  std::chrono::microseconds mergeTime;
  {
    auto engine = Start();
    PlayQueenGame(*engine);
    const auto start = std::chrono::steady_clock::now();
    engine->Send("result 1-0 {White wins}");
    Sync(*engine);
    mergeTime = std::chrono::duration_cast<decltype(mergeTime)>(std::chrono::steady_clock::now() - start);
  }
  // The old file with the game's record, its depth the "sd" one, inserted in key order.
  const std::string merged = ReadFileBytes(learnPath);
  size_t at = 0;
  while (at < old.size() && old.compare(at, LearnRecordBytes, merged, at, LearnRecordBytes) == 0)
    at += LearnRecordBytes;
  ASSERT_EQ(merged.size(), old.size() + LearnRecordBytes);
  ASSERT_EQ(merged.substr(0, at) + merged.substr(at + LearnRecordBytes), old);
  const uint64_t key = KeyAfter({"e2e4", "e7e5", "g1f3", "d8g5", "f3g5"});
  EXPECT_EQ(merged.substr(at, 8), FileBytes({R(key)}).substr(0, 8));
  EXPECT_EQ(uint8_t(merged[at + 16]), 3);

  const int runs = getenv("SKARNE_LEARN_KILLS") ? atoi(getenv("SKARNE_LEARN_KILLS")) : 24;
  int sawNew = 0, midMerge = 0;  // midMerge: killed with the temporary file open
  for (int run = 0; run < runs; ++run) {
    const int signalNumber = std::array{SIGKILL, SIGTERM, SIGHUP}[run % 3];
    SCOPED_TRACE(testing::Message() << "run " << run << " signal " << signalNumber);
    WriteFileBytes(learnPath, old);
    std::filesystem::remove(temporaryPath);
    auto engine = Start();
    PlayQueenGame(*engine);
    engine->Send("result 1-0 {White wins}");
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (2 * mergeTime.count() + 1)));
    engine->Signal(signalNumber);
    EXPECT_EQ(engine->WaitExit(1000), 128 + signalNumber);
    EXPECT_FALSE(engine->CoreDumped());
    const std::string bytes = ReadFileBytes(learnPath);
    ASSERT_TRUE(bytes == old || bytes == merged) << bytes.size() << " bytes";
    const bool temporaryLeft = std::filesystem::exists(temporaryPath);
    EXPECT_TRUE(signalNumber == SIGKILL || !temporaryLeft);
    sawNew += bytes == merged, midMerge += temporaryLeft;
  }
  std::printf("merge %lld us; after %d signals: old file %d (%d killed in the merge), new file %d\n",
              static_cast<long long>(mergeTime.count()), runs, runs - sawNew, midMerge, sawNew);
}

}  // namespace
