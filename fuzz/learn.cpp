// Learn files into LoadLearned and a merge. The first bytes of the input choose the game's
// new records (some with keys taken from the file, so that equal keys meet); the rest is
// the file. When the file is in key order, the merged file must be exactly what a plain
// map of key to deepest record gives.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "board/board.h"
#include "fuzz/fuzz_support.h"
#include "learn/learn.h"
#include "search/search.h"

namespace {

const char* const FileName = "fuzz.lrn";

void Quiet(const char*) {}

std::vector<LearnRecord> ReadAll(const std::string& path) {
  std::vector<LearnRecord> records;
  LearnFileReader reader(path);
  LearnRecord r{};
  while (reader.Next(r)) records.push_back(r);
  return records;
}

bool Same(const LearnRecord& a, const LearnRecord& b) {
  return a.key == b.key && a.nodes == b.nodes && a.score == b.score && a.moveIndex == b.moveIndex &&
         a.depth == b.depth;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitTables();
  AllocateHashMemory(0);
  InScratchDirectory scratch;
  ConfigureLearning(true, FileName);
  learningState.messageOutput = Quiet;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratchDirectory scratch;
  if (size < 1) return 0;
  // Byte 0: how many new records (0..9); each takes 3 bytes: a file record to copy the key
  // of (or a made-up key when past the end), a depth and a score.
  const size_t freshCount = data[0] % LearnSearches;
  const size_t header = 1 + 3 * freshCount;
  if (size < header) return 0;
  const uint8_t* fileBytes = data + header;
  const size_t fileSize = size - header;
  WriteWholeFile(FileName, fileBytes, fileSize);

  const size_t fileRecords = fileSize / LearnRecordBytes;
  std::vector<LearnRecord> fresh;
  for (size_t i = 0; i < freshCount; ++i) {
    const uint8_t* p = data + 1 + 3 * i;
    LearnRecord r{0x9E3779B97F4A7C15ull * (p[0] + 1), 1000, int16_t(p[2] * 3 - 300), uint16_t(1 + i),
                  uint8_t(p[1] % 40)};
    if (p[0] < fileRecords) r.key = DecodeLearnRecord(fileBytes + p[0] * LearnRecordBytes).key;
    fresh.push_back(r);
  }
  std::sort(fresh.begin(), fresh.end(), [](const LearnRecord& a, const LearnRecord& b) { return a.key < b.key; });
  fresh.erase(std::unique(fresh.begin(), fresh.end(), [](auto& a, auto& b) { return a.key == b.key; }), fresh.end());

  learningState.learnLoadSlow = false;
  LoadLearned();

  const std::vector<LearnRecord> before = ReadAll(FileName);
  bool strictlySorted = true;
  for (size_t i = 1; i < before.size(); ++i) strictlySorted &= before[i - 1].key < before[i].key;
  if (!MergeLearnFile(FileName, fresh)) std::abort();  // the folder is writable: it must merge
  const std::vector<LearnRecord> after = ReadAll(FileName);
  if (std::filesystem::exists(LearnTemporaryPath(FileName))) std::abort();
  if (!strictlySorted) return 0;

  std::map<uint64_t, LearnRecord> expected;
  for (const LearnRecord& r : before) expected[r.key] = r;
  for (const LearnRecord& r : fresh) {
    auto [at, inserted] = expected.try_emplace(r.key, r);
    if (!inserted && r.depth > at->second.depth) at->second = r;
  }
  if (after.size() != expected.size()) std::abort();
  size_t i = 0;
  for (const auto& [key, record] : expected)
    if (!Same(after[i++], record)) std::abort();
  return 0;
}
