// How the engine ends when its interface goes away: the pipes closed, SIGTERM or SIGHUP,
// while it thinks, ponders or merges its learn file. It must be gone within a second,
// without a core dump, with its learn file whole and no temporary file left behind. And a
// long session ended by "quit": in the sanitizer build its exit status carries
// LeakSanitizer's verdict and any invalid access.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "frontend/engine_process.h"
#include "learn/learn.h"

namespace {

using namespace std::chrono_literals;

constexpr int WithinASecond = 1000;
const char* const Thinking = "new\nsd 40\ngo\nping 1";  // no time limit: it thinks until told
const char* const Pondering = "new\nhard\nlevel 40 5 0\ntime 1000\notim 1000\nusermove e2e4";

enum class End { CloseInput, CloseOutputThenStop, CloseOutputThenPing, Term, Hup };

// waitFor: the line that shows the engine busy; status: the exit status, 128 + the signal for a signal.
const struct { const char *name, *session, *waitFor; End end; int status; } Cases[] = {
    {"end of input while thinking", Thinking, "pong 1", End::CloseInput, 0},
    {"end of input while pondering", Pondering, "move ", End::CloseInput, 0},
    {"closed output while thinking, then a move is due", Thinking, "pong 1", End::CloseOutputThenStop, 0},
    {"closed output while pondering, then a ping", Pondering, "move ", End::CloseOutputThenPing, 0},
    {"SIGTERM while thinking", Thinking, "pong 1", End::Term, 128 + SIGTERM},
    {"SIGHUP while thinking", Thinking, "pong 1", End::Hup, 128 + SIGHUP},
    {"SIGTERM while pondering", Pondering, "move ", End::Term, 128 + SIGTERM},
    {"SIGHUP while pondering", Pondering, "move ", End::Hup, 128 + SIGHUP},
};

TEST(EngineEnds, EveryEndWithinASecond) {
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.name);
    EngineProcess engine;
    engine.Send("xboard\nprotover 2\n" + std::string(c.session));
    ASSERT_TRUE(engine.ReadUntil(c.waitFor));
    std::this_thread::sleep_for(200ms);  // well into the search
    switch (c.end) {
      case End::CloseInput: engine.CloseInput(); break;
      case End::CloseOutputThenStop: engine.CloseOutput(), engine.Send("?"); break;
      case End::CloseOutputThenPing: engine.CloseOutput(), engine.Send("ping 2"); break;
      case End::Term: engine.Signal(SIGTERM); break;
      case End::Hup: engine.Signal(SIGHUP); break;
    }
    EXPECT_EQ(engine.WaitExit(WithinASecond), c.status);
    EXPECT_FALSE(engine.CoreDumped());
  }
}

// The engine merges one record into a large learn file and gets SIGTERM or SIGHUP at a
// random instant around the merge: the file is the old one or the merged one, never a
// part, and the temporary file is gone with the process.
TEST(EngineEnds, SignalDuringTheLearnMergeLeavesAWholeFile) {
  const std::string directory = EngineProcess::MakeScratchDirectory();
  const std::string learnPath = directory + "/pos_152.lrn", temporaryPath = directory + "/poslearn.tmp";
  std::ofstream(directory + "/skarne.ini") << "HashSize=16Mb\n";
  std::mt19937_64 random(15);
  std::vector<LearnRecord> records(80000);
  for (LearnRecord& r : records) r = LearnRecord{random(), 1, int16_t(random() % 1000), 5, uint8_t(random() % 20)};
  std::sort(records.begin(), records.end(), [](auto& a, auto& b) { return a.key < b.key; });
  std::string old(records.size() * LearnRecordBytes, '\0');
  for (size_t i = 0; i < records.size(); ++i) EncodeLearnRecord(records[i], reinterpret_cast<uint8_t*>(&old[i * LearnRecordBytes]));

  auto playUntilResult = [&](EngineProcess& engine) {  // White wins the queen; the score swing is learned
    engine.Send("xboard\nprotover 2\nnew\nsd 3\nforce\nusermove e2e4\nusermove e7e5\nusermove g1f3\nusermove d8g5\ngo");
    ASSERT_TRUE(engine.ReadUntil("move "));
    engine.Send("go\nping 1");
    ASSERT_TRUE(engine.ReadUntil("pong 1"));
    engine.Send("result 1-0 {White wins}");
  };
  WriteFileBytes(learnPath, old);
  auto start = std::chrono::steady_clock::now();
  {
    EngineProcess engine(directory);
    playUntilResult(engine);
    start = std::chrono::steady_clock::now();
    engine.Send("ping 2");
    ASSERT_TRUE(engine.ReadUntil("pong 2"));
  }
  const auto mergeTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  // The file with the game's record inserted in key order (which record, the search
  // decides; it may differ from run to run): the key of that record, or nothing.
  auto insertedKey = [&](const std::string& bytes) {
    if (bytes.size() != old.size() + LearnRecordBytes) return std::string();
    size_t at = 0;
    while (at < old.size() && old.compare(at, LearnRecordBytes, bytes, at, LearnRecordBytes) == 0) at += LearnRecordBytes;
    if (bytes.substr(0, at) + bytes.substr(at + LearnRecordBytes) != old) return std::string();
    return bytes.substr(at, 8);
  };
  ASSERT_FALSE(insertedKey(ReadFileBytes(learnPath)).empty());

  int sawNew = 0;
  for (int run = 0; run < 8; ++run) {
    SCOPED_TRACE(run);
    WriteFileBytes(learnPath, old);
    EngineProcess engine(directory);
    playUntilResult(engine);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (2 * mergeTime.count() + 1)));
    const int signalNumber = run % 2 ? SIGHUP : SIGTERM;
    engine.Signal(signalNumber);
    EXPECT_EQ(engine.WaitExit(WithinASecond), 128 + signalNumber);
    EXPECT_FALSE(engine.CoreDumped());
    const std::string bytes = ReadFileBytes(learnPath);
    const bool isNew = !insertedKey(bytes).empty();
    EXPECT_TRUE(bytes == old || isNew) << bytes.size() << " bytes";
    EXPECT_FALSE(std::filesystem::exists(temporaryPath));
    sawNew += isNew;
  }
  std::printf("merge %lld us; new file after %d of 8 signals\n", static_cast<long long>(mergeTime.count()), sawNew);
  std::filesystem::remove_all(directory);
}

// Fifty moves a side, the engine playing both, pondering through the first twenty, with
// thinking lines on; a game that ends early is followed by a new one.
TEST(EngineEnds, FiftyMoveSessionThenQuit) {
  EngineProcess engine;
  engine.Send("xboard\nprotover 2\nnew\nsd 3\npost\nhard\ngo");
  for (int moves = 0; moves < 100;) {
    const auto line = engine.ReadLine(30000);
    ASSERT_TRUE(line) << "after " << moves << " moves";
    if (line->rfind("move ", 0) == 0) {
      if (++moves == 40) engine.Send("easy");
      engine.Send("go");
    } else if (line->rfind("1-0", 0) == 0 || line->rfind("0-1", 0) == 0 || line->rfind("1/2-1/2", 0) == 0 ||
               *line == "resign") {
      engine.Send("new\nsd 3\ngo");  // "new" clears the depth limit
    }
  }
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(), 0);
}

}  // namespace
