#pragma once
// Runs the engine binary as a GUI does: a child process with pipes on standard input and
// output. Every read has a timeout, so a silent engine fails a test instead of hanging it.
// Without a working directory the engine runs in a scratch directory of its own holding a
// small settings file (the engine ends at once where it finds none); the directory goes
// when the process object does.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

class EngineProcess {
 public:
  static constexpr const char* ScratchSettings = "HashSize=16Mb\n";

  explicit EngineProcess(const char* workingDirectory = nullptr) {
    if (!workingDirectory) {
      scratch_ = MakeScratchDirectory();
      workingDirectory = scratch_.c_str();
    }
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]);
      close(in[1]);
      close(out[0]);
      close(out[1]);
      if (workingDirectory && chdir(workingDirectory) != 0) _exit(127);
      execl(SKARNE_BINARY, SKARNE_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toEngine_ = in[1];
    fromEngine_ = out[0];
    signal(SIGPIPE, SIG_IGN);
  }
  ~EngineProcess() {
    CloseInput();
    if (fromEngine_ >= 0) close(fromEngine_);
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ignored);
  }

  // The directory the engine runs in when none was given.
  const std::string& ScratchDirectory() const { return scratch_; }

  void Send(const std::string& line) {
    std::string text = line + "\n";
    if (write(toEngine_, text.data(), text.size()) < 0) return;
  }
  void SendRaw(const std::string& bytes) {
    if (write(toEngine_, bytes.data(), bytes.size()) < 0) return;
  }
  void CloseInput() {
    if (toEngine_ >= 0) close(toEngine_);
    toEngine_ = -1;
  }

  // The next line, or nothing when none arrives within the timeout or the output ends.
  std::optional<std::string> ReadLine(int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      size_t newline = buffer_.find('\n');
      if (newline != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        return line;
      }
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0) return std::nullopt;
      pollfd fd{fromEngine_, POLLIN, 0};
      if (poll(&fd, 1, left) <= 0) continue;
      char chunk[4096];
      ssize_t n = read(fromEngine_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  // Lines until one equals `line` (which is not returned); nothing if it never comes.
  std::optional<std::string> ReadUntil(const std::string& line, int timeoutMs = 5000) {
    std::string seen;
    while (auto next = ReadLine(timeoutMs)) {
      if (*next == line) return seen;
      seen += *next + "\n";
    }
    return std::nullopt;
  }

  // Reads until a "move ..." line; false when none comes (each line within the timeout).
  bool ReadsMove(int timeoutMs = 10000) {
    while (auto next = ReadLine(timeoutMs))
      if (next->rfind("move ", 0) == 0) return true;
    return false;
  }

  // The exit status, or -1 when the process does not end within the timeout.
  int WaitExit(int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(2000);
    }
    return -1;
  }

 private:
  static std::string MakeScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skarne-engine-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    std::ofstream(pattern + "/skarne.ini") << ScratchSettings;
    return pattern;
  }

  pid_t pid_ = -1;
  int toEngine_ = -1;
  int fromEngine_ = -1;
  bool exited_ = false;
  std::string buffer_;
  std::string scratch_;
};
