#pragma once
// Learn files for the tests, written and read independently of the engine's reader.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "learn/learn.h"

// A directory of its own, removed with everything in it.
struct ScratchDirectory {
  std::string path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "skarne-learn-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
  }();
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path, ignored);
  }
};

// The record layout byte by byte.
inline std::string RecordBytes(const LearnRecord& r) {
  std::string bytes;
  auto put = [&](uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(char(value >> (8 * i)));
  };
  put(r.key, 8), put(r.nodes, 4), put(uint16_t(r.score), 2), put(r.moveIndex, 2), put(r.depth, 1);
  return bytes;
}

inline std::string FileBytes(const std::vector<LearnRecord>& records) {
  std::string bytes;
  for (const LearnRecord& r : records) bytes += RecordBytes(r);
  return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline uint64_t KeyAt(const std::string& bytes, size_t record) {
  uint64_t key = 0;
  for (int i = 7; i >= 0; --i) key = key << 8 | uint8_t(bytes[record * LearnRecordBytes + i]);
  return key;
}
