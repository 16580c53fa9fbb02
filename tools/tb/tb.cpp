// Endgame tables from the command line: the score the engine's probe gives for FENs, and
// the probe rate with a cold and a warm block cache; for compressed files also the ratio
// and the speed of decoding every block (plain files give the rates to compare with).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "egdb/tb_cache.h"
#include "egdb/tb_decode.h"
#include "egdb/tb_registry.h"
#include "notation/fen.h"

namespace {

constexpr size_t DefaultCacheBytes = 16384;

int Usage() {
  std::fprintf(stderr,
               "usage: skarne-tb probe [--path DIRS] [--cache BYTES]   (FENs on standard input)\n"
               "       skarne-tb bench [--path DIRS] [--probes N] [--table NAME]\n"
               "       skarne-tb verify PLAIN_DIR PACKED_DIR\n");
  return 2;
}

struct Options {
  std::string path = ".";
  size_t cacheBytes = DefaultCacheBytes;
  int probes = 100000;
  std::string table;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 2; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (flag == "--path") options.path = value;
    else if (flag == "--cache") options.cacheBytes = std::strtoull(value, nullptr, 10);
    else if (flag == "--probes") options.probes = std::max(64, std::atoi(value));
    else if (flag == "--table") options.table = value;
    else return false;
  }
  return true;
}

void SetUp(const Options& options, size_t cacheBytes) {
  if (TbInit(engineTablebases, options.path, cacheBytes) == 0)
    std::fprintf(stderr, "skarne-tb: no table found in %s\n", options.path.c_str());
}

int Probe(const Options& options) {
  SetUp(options, options.cacheBytes);
  Position pos;
  for (std::string line; std::getline(std::cin, line);) {
    int score = 0;
    if (SetFromFen(pos, line) && TbProbe(engineTablebases, pos, score, 0))
      std::printf("%d\n", score);
    else
      std::printf("none\n");
  }
  return 0;
}

// A random placement of a registered table's men, either colour as the table's white and
// either side to move, legal (the side not to move is not in check); colours are exchanged
// half of the time so that the probe's exchange is timed too.
bool RandomPosition(int table, std::mt19937_64& random, Position& pos) {
  char board[64];
  std::fill(board, board + 64, '1');
  const bool exchange = random() & 1;
  int kings = 0;
  for (const char* c = TbTableName(table); *c; ++c) {
    if (*c == 'k') ++kings;
    const bool white = (kings == 1) != exchange;
    int square;
    do {
      square = int(random() % 64);
    } while (board[square] != '1' || (*c == 'p' && (square < 8 || square >= 56)));
    board[square] = char(white ? std::toupper(*c) : *c);
  }
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    fen.append(board + rank * 8, 8);
    if (rank) fen += '/';
  }
  fen += random() & 1 ? " w - - 0 1" : " b - - 0 1";
  if (!SetFromFen(pos, fen)) return false;
  const int waiting = pos.sideToMove ^ 1;
  return !SquareAttackedBy(pos, KingSquare(pos, waiting), pos.sideToMove);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Probes `count` positions taken in turn from the list; probes per second.
double ProbesPerSecond(const std::vector<Position>& positions, size_t count, int& answered) {
  answered = 0;
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < count; ++i) {
    int score = 0;
    answered += TbProbe(engineTablebases, positions[i % positions.size()], score, 0);
  }
  return double(count) / std::max(SecondsSince(start), 1e-9);
}

// Cold: an emptied cache and positions spread over all the tables, so most probes read
// their block (from the system's file cache once the files have been read). Warm: a few
// positions whose blocks fit the cache, probed over and over after one untimed round.
void TimeCache(const std::vector<Position>& positions, size_t bytes) {
  constexpr size_t WarmPositions = 64;
  TbSetCacheSize(engineTablebases, bytes);
  // No more positions than slots: their blocks fit whatever they are.
  const size_t warmCount = std::clamp<size_t>(size_t(TbCacheSlotCount()), 1, WarmPositions);
  const std::vector<Position> few(positions.begin(), positions.begin() + warmCount);
  int answered = 0;
  for (bool warm : {false, true}) {
    if (warm) ProbesPerSecond(few, few.size(), answered);
    const TbCacheCounts before = TbCacheStatistics();
    const double rate = warm ? ProbesPerSecond(few, positions.size(), answered)
                             : ProbesPerSecond(positions, positions.size(), answered);
    const TbCacheCounts after = TbCacheStatistics();
    std::printf("cache %7zu bytes (%3d slots) %s: %9.0f probes/s, %d answered, block hits %llu, "
                "block reads %llu\n",
                bytes, TbCacheSlotCount(), warm ? "warm" : "cold", rate, answered,
                (unsigned long long)(after.hits - before.hits),
                (unsigned long long)(after.reads - before.reads));
  }
}

// Every block of every registered compressed side read and decoded once; the files' bytes
// against the plain bytes they hold, and the plain output per second.
void TimeDecoding(const std::vector<int>& tables) {
  int64_t packed = 0, plain = 0;
  double seconds = 0;
  std::vector<int8_t> out(8192);
  for (int table : tables)
    for (int side = 0; side < (TbIsSymmetric(table) ? 1 : 2); ++side) {
      const TbDescriptor& d = tbRegistry.descriptors[table];
      std::FILE* file = d.decoder[side] ? std::fopen(d.path[side], "rb") : nullptr;
      if (!file) continue;
      const TbDecoder& decoder = *d.decoder[side];
      packed += decoder.offsets[decoder.blockCount];
      plain += TbDecodedBytes(decoder);
      const auto start = std::chrono::steady_clock::now();
      for (uint32_t block = 0; block < decoder.blockCount; ++block)
        if (!TbReadCompressedBlock(decoder, file, block, out.data()))
          std::fprintf(stderr, "skarne-tb: %s block %u does not decode\n", d.path[side], block);
      seconds += SecondsSince(start);
      std::fclose(file);
    }
  if (plain == 0) return;
  std::printf("compressed %lld of %lld plain bytes (%.1f%%, 1 : %.1f); decoding %.1f MB/s of plain output\n",
              (long long)packed, (long long)plain, 100.0 * double(packed) / double(plain),
              double(plain) / double(packed), double(plain) / 1e6 / std::max(seconds, 1e-9));
}

int Bench(const Options& options) {
  SetUp(options, DefaultCacheBytes);
  std::vector<int> tables;
  for (int t = 1; t < TbTableCount; ++t) {
    const TbDescriptor& d = tbRegistry.descriptors[t];
    const bool wanted = options.table.empty() || options.table == TbTableName(t);
    if (wanted && d.path[0] && (TbIsSymmetric(t) || d.path[1])) tables.push_back(t);
  }
  if (tables.empty()) {
    std::fprintf(stderr, "skarne-tb: no table with both sides registered\n");
    return 1;
  }
  std::mt19937_64 random(20261207);
  std::vector<Position> positions;
  positions.reserve(size_t(options.probes));
  Position pos;
  while (int(positions.size()) < options.probes) {
    if (RandomPosition(tables[random() % tables.size()], random, pos)) positions.push_back(pos);
  }
  std::printf("%zu tables, %d random positions; tablebase memory %lld bytes with a %zu-byte cache\n",
              tables.size(), options.probes, (long long)tbRegistry.allocatedBytes, DefaultCacheBytes);
  TimeDecoding(tables);
  for (size_t bytes : {DefaultCacheBytes, size_t(1) << 20}) TimeCache(positions, bytes);
  return 0;
}

// The values of one table side, every index read through the cache, and the file they
// came from; empty when the side is not registered from a file of that form.
std::vector<int32_t> SideValues(const std::string& dir, int table, int side, bool compressed,
                                std::string& file) {
  TbInit(engineTablebases, dir, size_t(1) << 20);
  const TbDescriptor& d = tbRegistry.descriptors[table];
  file = d.path[side] ? d.path[side] : "no file";
  if (!d.path[side] || (d.decoder[side] != nullptr) != compressed) return {};
  std::vector<int32_t> values(size_t(d.length[side]));
  for (uint32_t i = 0; i < values.size(); ++i) values[i] = TbReadValue(table, side, i);
  return values;
}

// Every table side with a plain file in PLAIN_DIR must be registered from a compressed file
// in PACKED_DIR and read the same at every index, and answer no information one past its
// end. Prints the sizes of the two sets; fails on the first difference of each side.
int Verify(const std::string& plainDir, const std::string& packedDir) {
  TbInit(engineTablebases, plainDir, DefaultCacheBytes);
  std::vector<std::pair<int, int>> sides;
  for (int t = 1; t < TbTableCount; ++t)
    for (int side = 0; side < 2; ++side) {
      const TbDescriptor& d = tbRegistry.descriptors[t];
      if (d.path[side] && !d.decoder[side]) sides.push_back({t, side});
    }
  uintmax_t plainBytes = 0, packedBytes = 0;
  uint64_t values = 0;
  int failures = 0;
  for (const auto& [table, side] : sides) {
    std::string plainFile, packedFile;
    const std::vector<int32_t> plain = SideValues(plainDir, table, side, false, plainFile);
    const std::vector<int32_t> packed = SideValues(packedDir, table, side, true, packedFile);
    const char* name = TbTableName(table);
    if (packed.size() != plain.size() || plain.empty()) {
      std::printf("%s side %d: %zu plain values, %zu compressed (registered: %s)\n", name, side,
                  plain.size(), packed.size(), packedFile.c_str());
      ++failures;
      continue;
    }
    const auto differ = std::mismatch(plain.begin(), plain.end(), packed.begin());
    if (differ.first != plain.end()) {
      std::printf("%s side %d: index %td reads %d plain, %d compressed\n", name, side,
                  differ.first - plain.begin(), *differ.first, *differ.second);
      ++failures;
    } else if (TbReadValue(table, side, uint32_t(packed.size())) != TbNoInformation) {
      std::printf("%s side %d: the index past the end answers\n", name, side);
      ++failures;
    }
    values += plain.size();
    plainBytes += std::filesystem::file_size(plainFile);
    packedBytes += std::filesystem::file_size(packedFile);
  }
  std::printf("%zu table sides, %llu values read from both forms, %d differing; compressed %ju "
              "of %ju plain bytes (%.1f%%)\n",
              sides.size(), (unsigned long long)values, failures, packedBytes, plainBytes,
              plainBytes ? 100.0 * double(packedBytes) / double(plainBytes) : 0.0);
  return sides.empty() || failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  if (std::strcmp(argv[1], "verify") == 0) {
    if (argc != 4) return Usage();
    InitTables();
    return Verify(argv[2], argv[3]);
  }
  Options options;
  if (!ParseOptions(argc, argv, options)) return Usage();
  InitTables();
  if (std::strcmp(argv[1], "probe") == 0) return Probe(options);
  if (std::strcmp(argv[1], "bench") == 0) return Bench(options);
  return Usage();
}
