#pragma once
// The engine binary run as a GUI runs it: a child process on pipes. Every read has a timeout,
// so a silent engine fails a test instead of hanging it. Without a directory the engine runs
// in a scratch one holding a small settings file (it ends at once where it finds none).

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "../shell_quoted.h"
#include "board/board.h"
#include "notation/notation.h"

class EngineProcess {
 public:
  explicit EngineProcess(std::string directory = {}, const char* binary = SKARNE_BINARY) {
    if (directory.empty()) std::ofstream((directory = scratch_ = MakeScratchDirectory()) + "/skarne.ini") << "HashSize=16Mb\n";
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    signal(SIGPIPE, SIG_IGN);
    // In a sanitizer build a report ends the engine with this status of its own, which the
    // exit status 1 of a missing settings file cannot be mistaken for.
    setenv("LSAN_OPTIONS", "exitcode=23", 0);
    if ((pid_ = fork()) == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      if (chdir(directory.c_str()) == 0) execl(binary, binary, nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toEngine_ = in[1];
    fromEngine_ = out[0];
  }
  // The end of input ends the engine, which tears down and exits; in a sanitizer build
  // LeakSanitizer then looks for leaks and fails the exit with the sanitizers' status.
  ~EngineProcess() {
    CloseInput();
    if (pid_ > 0 && WaitExit(ExitTimeoutMs) == -1 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    EXPECT_NE(status_, SanitizerStatus) << "the sanitizers reported on the engine (see above)";
    CloseOutput();
    std::error_code ignored;
    if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ignored);
  }

  static std::string MakeScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skarne-test-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
  }
  const std::string& Directory() const { return scratch_; }

  void Send(const std::string& line) {
    if (write(toEngine_, (line + "\n").data(), line.size() + 1) < 0) CloseInput();
  }
  void CloseInput() { Close(toEngine_); }
  // Commands separated by ", "; a bare coordinate move stands for "usermove" and the move.
  void SendScript(const std::string& script) {
    static const std::regex move(R"(([a-hA-H][1-8]){2}[qrbn]?)");
    for (size_t at = 0, end = 0; end < script.size(); at = end + 2) {
      end = std::min(script.find(", ", at), script.size());
      const std::string command = script.substr(at, end - at);
      Send(std::regex_match(command, move) ? "usermove " + command : command);
    }
  }

  // The next line, or nothing when none arrives within the timeout or the output ends.
  std::optional<std::string> ReadLine(int timeoutMs = 5000) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    size_t newline;
    while ((newline = buffer_.find('\n')) == std::string::npos) {
      const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
      pollfd fd{fromEngine_, POLLIN, 0};
      char chunk[4096];
      if (left <= 0) return std::nullopt;
      if (poll(&fd, 1, int(left)) <= 0) continue;
      const ssize_t n = read(fromEngine_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, size_t(n));
    }
    std::string line = buffer_.substr(0, newline);
    return buffer_.erase(0, newline + 1), line;
  }

  // The first line beginning with `prefix`, skipping the others before it.
  std::optional<std::string> ReadUntil(const std::string& prefix, int timeoutMs = 30000) {
    while (auto line = ReadLine(timeoutMs))
      if (line->rfind(prefix, 0) == 0) return line;
    return std::nullopt;
  }

  // The interface stops reading: the engine's next write finds a closed pipe.
  void CloseOutput() { Close(fromEngine_); }
  void Signal(int signalNumber) { if (pid_ > 0) kill(pid_, signalNumber); }
  bool CoreDumped() const { return coreDumped_; }

  // The exit status, or -1 when the process does not end within the timeout.
  int WaitExit(int timeoutMs = 10000) {
    for (int waited = 0, status = 0; status_ < 0 && waited <= timeoutMs; waited += 2) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        coreDumped_ = WIFSIGNALED(status) && WCOREDUMP(status);
      } else {
        usleep(2000);
      }
    }
    return status_;
  }

 private:
  static void Close(int& fd) { if (fd >= 0) close(std::exchange(fd, -1)); }
  static constexpr int ExitTimeoutMs = 10000, SanitizerStatus = 23;
  pid_t pid_ = -1;
  int toEngine_ = -1, fromEngine_ = -1, status_ = -1;
  bool coreDumped_ = false;
  std::string buffer_, scratch_;
};

// A fresh folder for the engine's files, removed with everything in it at the end.
struct ScratchDirectory {
  std::string path = EngineProcess::MakeScratchDirectory();
  ~ScratchDirectory() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
};

// Whole files as bytes, for tests that write the engine's files themselves.
inline void WriteFileBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using Commands = std::vector<std::string>;
// How soon the engine must answer; generous: the same tests run under the sanitizers on a shared machine.
constexpr auto Prompt = std::chrono::milliseconds(2000);

// The moves played in turn from the position into `pos`; false when one is not legal.
inline bool PlayMoves(const std::string& fen, const Commands& moves, Position& pos) {
  if (!SetFromFen(pos, fen)) return false;
  for (std::string text : moves) {
    Move move;
    if (!ParseMoveText(pos, text, move)) return false;
    MakeMove(pos, move), pos.cacheFlags = 0;
  }
  return true;
}

// Whether the moves an engine sent, played in turn from the position, are all legal.
inline bool IsLegal(const std::string& fen, const Commands& moves) {
  Position pos;
  return PlayMoves(fen, moves, pos);
}
