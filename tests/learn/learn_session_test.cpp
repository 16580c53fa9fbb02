// Learning through the engine binary: a learned position changes the engine's move, a game
// writes its records, and a learn file survives SIGKILL at any instant of its merge.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <random>
#include <thread>

#include "board/board.h"
#include "learn_test_support.h"
#include "notation/notation.h"

namespace {

// The engine on pipes in `directory`, with its process id so that it can be killed.
class Engine {
 public:
  explicit Engine(const std::string& directory) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    signal(SIGPIPE, SIG_IGN);
    if ((pid_ = fork()) == 0) {
      dup2(in[0], 0), dup2(out[1], 1);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      if (chdir(directory.c_str()) == 0) execl(SKARNE_BINARY, SKARNE_BINARY, nullptr);
      _exit(127);
    }
    close(in[0]), close(out[1]);
    toEngine_ = in[1], fromEngine_ = out[0];
    Send("xboard\nprotover 2");
    while (auto line = ReadLine())
      if (*line == "feature done=1") break;
  }
  ~Engine() {
    close(toEngine_), close(fromEngine_);
    if (pid_ > 0) Kill();
  }
  void Send(const std::string& text) {
    if (write(toEngine_, (text + "\n").data(), text.size() + 1) < 0) ADD_FAILURE() << "engine gone";
  }
  std::optional<std::string> ReadLine(int timeoutMs = 30000) {
    size_t newline;
    while ((newline = buffer_.find('\n')) == std::string::npos) {
      pollfd fd{fromEngine_, POLLIN, 0};
      char chunk[4096];
      if (poll(&fd, 1, timeoutMs) <= 0) return std::nullopt;
      const ssize_t n = read(fromEngine_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, size_t(n));
    }
    std::string line = buffer_.substr(0, newline);
    buffer_.erase(0, newline + 1);
    return line;
  }
  // The text of the engine's next move.
  std::string Move() {
    while (auto line = ReadLine())
      if (line->rfind("move ", 0) == 0) return line->substr(5);
    return "<no move>";
  }
  // Waits until every command sent so far has been handled.
  void Sync() {
    Send("ping 9");
    while (auto line = ReadLine())
      if (*line == "pong 9") return;
    ADD_FAILURE() << "no pong";
  }
  void Kill() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int toEngine_ = -1, fromEngine_ = -1;
  std::string buffer_;
};

class LearnSession : public ::testing::Test {
 protected:
  void SetUp() override { InitTables(); }
  std::string LearnPath() const { return directory_.path + "/pos_152.lrn"; }
  std::string TemporaryPath() const { return directory_.path + "/poslearn.tmp"; }
  void Settings(const std::string& text) { std::ofstream(directory_.path + "/skarne.ini") << text; }

  // White wins the queen at once (about +900); then the engine takes black, a queen down:
  // the second search's score moves by far more than 26, and its position is learned. The
  // game then ends by "result", with the learn file still to be written.
  void PlayQueenGame(Engine& engine) {
    engine.Send("new\nsd 3\nforce\nusermove e2e4\nusermove e7e5\nusermove g1f3\nusermove d8g5\ngo");
    EXPECT_EQ(engine.Move(), "f3g5");
    engine.Send("go");
    engine.Move();
    engine.Sync();
  }

  ScratchDirectory directory_;
};

uint64_t KeyAfter(const std::vector<const char*>& moves) {
  Position pos;
  SetStartPosition(pos);
  for (const char* text : moves) {
    std::string t = text;
    Move m;
    EXPECT_TRUE(ParseMoveText(pos, t, m));
    MakeMove(pos, m);
    pos.cacheFlags = 0;
  }
  return pos.hashKey;
}

TEST_F(LearnSession, LearnedPositionChangesTheMove) {
  Settings("HashSize=16Mb\n");
  auto firstMove = [&] {
    Engine engine(directory_.path);
    engine.Send("new\nlevel 40 1 0\ntime 500\notim 500\ngo");
    return engine.Move();
  };
  ASSERT_NE(firstMove(), "a2a3");
  // Black to move after 1. a3, learned lost far deeper than any search reaches: the
  // engine's search finds the learned score below its first move and plays it.
  WriteBytes(LearnPath(), RecordBytes(LearnRecord{KeyAfter({"a2a3"}), 50000000, -3000, 1, 60}));
  EXPECT_EQ(firstMove(), "a2a3");
  // Only a game begun with "new" loads the file.
  Engine engine(directory_.path);
  engine.Send("new\nsetboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\nlevel 40 1 0\n"
              "time 500\notim 500\ngo");
  EXPECT_NE(engine.Move(), "a2a3");
}

TEST_F(LearnSession, GameWritesItsRecordsUnlessLearningIsOff) {
  for (const char* settings : {"HashSize=16Mb\n", "HashSize=16Mb\nLearn=0\n"}) {
    SCOPED_TRACE(settings);
    std::filesystem::remove(LearnPath());
    Settings(settings);
    Engine engine(directory_.path);
    PlayQueenGame(engine);
    engine.Send("result 1-0 {White wins}");
    engine.Sync();
    const std::string bytes = ReadBytes(LearnPath());
    EXPECT_EQ(bytes.size(), std::string(settings).find("Learn=0") == std::string::npos ? 17u : 0u);
    EXPECT_FALSE(std::filesystem::exists(TemporaryPath()));
    if (bytes.size() == 17) {
      EXPECT_EQ(KeyAt(bytes, 0), KeyAfter({"e2e4", "e7e5", "g1f3", "d8g5", "f3g5"}));
      EXPECT_EQ(uint8_t(bytes[16]), 3);  // the "sd" depth
    }
  }
}

// The learn file after a kill: whole records, sorted, and the old file or the new one.
void ExpectWhole(const std::string& bytes, const std::string& old, const std::string& merged) {
  ASSERT_EQ(bytes.size() % LearnRecordBytes, 0u);
  for (size_t i = 1; i < bytes.size() / LearnRecordBytes; ++i) ASSERT_LE(KeyAt(bytes, i - 1), KeyAt(bytes, i));
  EXPECT_TRUE(bytes == old || bytes == merged);
}

// SKARNE_LEARN_KILLS runs (default 20): the engine merges one record into a large file
// and is killed at a random instant around the merge.
TEST_F(LearnSession, SigkillDuringTheMergeLeavesAWholeFile) {
  Settings("HashSize=16Mb\n");
  std::mt19937_64 random(52);
  std::vector<LearnRecord> records(80000);
  for (LearnRecord& r : records)
    r = LearnRecord{random(), uint32_t(random()), int16_t(random() % 1000), 5, uint8_t(random() % 20)};
  std::sort(records.begin(), records.end(), [](auto& a, auto& b) { return a.key < b.key; });
  const std::string old = FileBytes(records);

  // An uninterrupted run gives the merged file and the merge's duration.
  WriteBytes(LearnPath(), old);
  std::string merged;
  std::chrono::microseconds mergeTime;
  {
    Engine engine(directory_.path);
    PlayQueenGame(engine);
    const auto start = std::chrono::steady_clock::now();
    engine.Send("result 1-0 {White wins}");
    engine.Sync();
    mergeTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    merged = ReadBytes(LearnPath());
    // The old file with the game's record inserted: every old record is kept.
    size_t at = 0;
    while (at < old.size() && old.compare(at, LearnRecordBytes, merged, at, LearnRecordBytes) == 0)
      at += LearnRecordBytes;
    ASSERT_EQ(merged.substr(0, at) + merged.substr(std::min(merged.size(), at + LearnRecordBytes)), old);
    ASSERT_EQ(merged.size(), old.size() + LearnRecordBytes);
  }

  const char* runsText = std::getenv("SKARNE_LEARN_KILLS");
  const int runs = runsText ? std::atoi(runsText) : 20;
  int sawOld = 0, sawNew = 0, midMerge = 0;  // midMerge: killed with the temporary file open
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE(run);
    WriteBytes(LearnPath(), old);
    std::filesystem::remove(TemporaryPath());
    Engine engine(directory_.path);
    PlayQueenGame(engine);
    const auto delay = std::chrono::microseconds(random() % (2 * mergeTime.count() + 1));
    engine.Send("result 1-0 {White wins}");
    std::this_thread::sleep_for(delay);
    engine.Kill();
    const std::string bytes = ReadBytes(LearnPath());
    ExpectWhole(bytes, old, merged);
    (bytes == old ? sawOld : sawNew) += 1;
    midMerge += std::filesystem::exists(TemporaryPath());
    if (HasFatalFailure()) return;
  }
  std::printf("merge %lld us; after %d kills: old file %d (%d in the merge), new file %d\n",
              static_cast<long long>(mergeTime.count()), runs, sawOld, midMerge, sawNew);
}

}  // namespace
