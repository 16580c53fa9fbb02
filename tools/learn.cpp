// skarne-learn: reads a learn file without changing it, and measures loading and merging.
//   skarne-learn dump FILE    one line per record, then whether the file is sorted and the
//                             length of a trailing fragment
//   skarne-learn bench N...   load and merge times for files of N random records

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "learn/learn.h"

namespace {

int Dump(const char* path) {
  LearnFileReader file(path);
  if (!file.Opened()) {
    std::fprintf(stderr, "skarne-learn: cannot read %s\n", path);
    return 1;
  }
  LearnRecord r{};
  uint64_t count = 0, outOfOrder = 0, previous = 0;
  while (file.Next(r)) {
    std::printf("%016" PRIx64 " depth %u score %d move %u nodes %u\n", r.key, unsigned(r.depth),
                int(r.score), unsigned(r.moveIndex), r.nodes);
    if (count++ > 0 && r.key < previous) ++outOfOrder;
    previous = r.key;
  }
  if (file.Failed()) std::printf("read error after %" PRIu64 " records\n", count);
  if (outOfOrder == 0) std::printf("%" PRIu64 " records, sorted", count);
  else std::printf("%" PRIu64 " records, not sorted (%" PRIu64 " out of order)", count, outOfOrder);
  std::printf(", trailing fragment %zu bytes\n", file.TrailingBytes());
  return file.Failed() ? 1 : 0;
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// A file of n random records, sorted, and the nine records of a full game merged into it.
void Bench(const std::string& directory, uint64_t n) {
  std::mt19937_64 random(n);
  std::vector<LearnRecord> records(n);
  for (LearnRecord& r : records)
    r = LearnRecord{random(), uint32_t(random()), int16_t(random() % 2000 - 1000),
                    uint16_t(random() % 40 + 1), uint8_t(random() % 20 + 1)};
  std::sort(records.begin(), records.end(), [](auto& a, auto& b) { return a.key < b.key; });
  const std::string path = directory + "/pos_152.lrn";
  std::filesystem::remove(path);
  if (!MergeLearnFile(path, records)) {
    std::fprintf(stderr, "skarne-learn: cannot write %s\n", path.c_str());
    return;
  }
  ConfigureLearning(true, path);
  ClearHash();
  auto start = std::chrono::steady_clock::now();
  LoadLearned();
  const double load = Milliseconds(start);

  std::vector<LearnRecord> game(LearnSearches - 1);
  for (LearnRecord& r : game) r = LearnRecord{random(), 1000, 50, 3, 9};
  std::sort(game.begin(), game.end(), [](auto& a, auto& b) { return a.key < b.key; });
  start = std::chrono::steady_clock::now();
  const bool merged = MergeLearnFile(path, game);
  const double merge = Milliseconds(start);
  std::printf("%" PRIu64 " records (%" PRIu64 " bytes): load %.1f ms, merge of %zu %.1f ms%s\n", n,
              n * LearnRecordBytes, load, game.size(), merge, merged ? "" : " (failed)");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "dump") == 0) return Dump(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "bench") == 0) {
    AllocateHashMemory(64 << 20);
    std::string pattern = (std::filesystem::temp_directory_path() / "skarne-learn-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    for (int i = 2; i < argc; ++i) Bench(pattern, std::strtoull(argv[i], nullptr, 10));
    std::filesystem::remove_all(pattern);
    return 0;
  }
  std::fprintf(stderr, "usage: skarne-learn dump FILE | skarne-learn bench N...\n");
  return 2;
}
