#pragma once
// What the fuzz targets share: a scratch folder of their own for every file the engine
// reads or writes, and whole-file writes of an input.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// Made once per process and removed when it ends; the targets work inside it, so a learn
// file or settings file of the user's is never touched. In memory where the system has a
// folder for that: the learn file's merge syncs to disk, which would slow every input.
inline const std::string& ScratchDirectory() {
  static const std::string* directory = [] {
    std::error_code error;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
    std::string pattern = (base / "skarne-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchDirectory(), ignored);
    });
    return new std::string(pattern);  // outlives the exit handler above
  }();
  return *directory;
}

// The working folder is the scratch folder while one lives: the engine finds its files
// there by relative names, and libFuzzer its corpus and crash files where it was started.
class InScratchDirectory {
 public:
  InScratchDirectory() : previous_(open(".", O_RDONLY | O_DIRECTORY)) {
    if (previous_ < 0 || chdir(ScratchDirectory().c_str()) != 0) std::abort();
  }
  ~InScratchDirectory() {
    if (fchdir(previous_) != 0) std::abort();
    close(previous_);
  }
  InScratchDirectory(const InScratchDirectory&) = delete;
  InScratchDirectory& operator=(const InScratchDirectory&) = delete;

 private:
  int previous_;
};

inline void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

inline void CopyWholeFile(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}
