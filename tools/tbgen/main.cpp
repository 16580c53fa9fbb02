// skarne-tbgen: generates depth-to-mate endgame tables by retrograde analysis and writes them
// as ".nbw"/".nbb" files in the engine's table layout.
//   skarne-tbgen [-o DIR] [-j THREADS] NAME...     the named tables, e.g. kqkr kpkp kbnkn
//   skarne-tbgen [-o DIR] [-j THREADS] --all N     every table of N men (3 or 4), kings included
//   --compress                                    also writes each generated file compressed
//   skarne-tbgen --compress FILE...                compresses existing plain files
// A compressed file is the plain file's name with ".emd" appended (kqkr.nbw.emd).
// Smaller tables that captures and promotions lead into are read from DIR when their files
// are there, and generated (and written) first otherwise.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "egdb/tb_index.h"
#include "tools/tbgen/compress.h"
#include "tools/tbgen/tbgen.h"

namespace {

// --all stops at four men: a five-man table takes minutes and hundreds of megabytes.
constexpr int MaxMenForAll = 4;

int MenOf(int table) { return table >= TbFirstFivePiece ? 5 : table >= TbFirstFourPiece ? 4 : 3; }

int PawnsOf(int table) {
  const tbgen::Material m = tbgen::MaterialOf(table);
  return static_cast<int>(std::count(m.kind, m.kind + m.count, tbgen::Pawn));
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: skarne-tbgen [-o DIR] [-j THREADS] NAME...\n"
               "       skarne-tbgen [-o DIR] [-j THREADS] --all 3|4\n"
               "       add --compress to write NAME.nbw.emd too; skarne-tbgen --compress FILE...\n");
  std::exit(2);
}

// The wanted tables and everything they lead into, smaller tables first: a capture lowers
// the number of men and a promotion the number of pawns.
std::vector<int> BuildOrder(const std::vector<int>& wanted) {
  std::set<int> all;
  std::vector<int> open(wanted);
  while (!open.empty()) {
    const int table = open.back();
    open.pop_back();
    if (!all.insert(table).second) continue;
    for (int next : tbgen::SuccessorTables(table)) open.push_back(next);
  }
  std::vector<int> order(all.begin(), all.end());
  std::stable_sort(order.begin(), order.end(), [](int a, int b) {
    return std::pair(MenOf(a), PawnsOf(a)) < std::pair(MenOf(b), PawnsOf(b));
  });
  return order;
}

// Writes FILE.emd; false after a message.
bool Compress(const std::string& path) {
  if (!tbgen::CompressFile(path)) {
    std::fprintf(stderr, "skarne-tbgen: cannot compress %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = ".";
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<int> wanted;
  std::vector<std::string> files;
  bool compress = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "-o" || arg == "-j" || arg == "--all") && i + 1 >= argc) Usage();
    if (arg == "--compress") {
      compress = true;
    } else if (arg == "-o") {
      dir = argv[++i];
    } else if (arg == "-j") {
      threads = std::atoi(argv[++i]);
      if (threads < 1) Usage();
    } else if (arg == "--all") {
      const int men = std::atoi(argv[++i]);
      if (men < 3 || men > MaxMenForAll) Usage();
      for (int t = 1; t < TbTableCount && MenOf(t) <= men; ++t)
        if (MenOf(t) == men) wanted.push_back(t);
    } else if (int t = TbTableNumber(arg.c_str())) {
      wanted.push_back(t);
    } else if (compress && std::filesystem::is_regular_file(arg)) {
      files.push_back(arg);
    } else {
      std::fprintf(stderr, "skarne-tbgen: unknown table %s\n", arg.c_str());
      Usage();
    }
  }
  if (!files.empty() && wanted.empty()) {
    for (const std::string& file : files) {
      if (!Compress(file)) return 1;
      std::fprintf(stderr, "%s.emd written\n", file.c_str());
    }
    return 0;
  }
  if (wanted.empty() || !files.empty()) Usage();
  std::error_code error;
  std::filesystem::create_directories(dir, error);

  TbBuildIndexTables();
  const auto start = std::chrono::steady_clock::now();
  const std::set<int> named(wanted.begin(), wanted.end());
  tbgen::TableSet tables;
  int written = 0;
  for (int table : BuildOrder(wanted)) {
    const char* name = TbTableName(table);
    if (!named.count(table) && tables.Load(dir, table)) {
      std::fprintf(stderr, "%-6s read from %s\n", name, dir.c_str());
      continue;
    }
    const auto tableStart = std::chrono::steady_clock::now();
    tbgen::SolveResult result = tbgen::SolveTable(table, tables, threads);
    for (int side = 0; side < (TbIsSymmetric(table) ? 1 : 2); ++side) {
      const std::string path = tbgen::FileName(dir, table, side);
      if (!tbgen::WriteFile(path, result.bytes[side])) {
        std::fprintf(stderr, "skarne-tbgen: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
      }
      if (compress && !Compress(path)) return 1;
    }
    ++written;
    std::fprintf(stderr,
                 "%-6s %9llu + %9llu positions, longest win %3d / %3d moves (white / black to move), %6.2f s\n",
                 name, static_cast<unsigned long long>(result.legal[0]),
                 static_cast<unsigned long long>(result.legal[1]), result.longestWin[0], result.longestWin[1],
                 Seconds(tableStart));
    tables.Put(table, std::move(result.bytes[0]), std::move(result.bytes[1]));
  }
  std::fprintf(stderr, "%d tables written to %s in %.1f s\n", written, dir.c_str(), Seconds(start));
  return 0;
}
