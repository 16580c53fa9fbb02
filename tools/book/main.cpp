// skarne-book: builds the engine's opening book from PGN games and polyglot books, and shows
// what a book holds.
//   skarne-book build [--max-ply N] [--min-games G] [--width W] [--weights games|score] -o OUT INPUT...
//   skarne-book dump FILE [--depth N]
//   skarne-book probe FILE [MOVES...]

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "tools/book/book_tool.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: skarne-book build [--max-ply N] [--min-games G] [--width W] [--weights games|score] -o OUT INPUT...\n"
               "       skarne-book dump FILE [--depth N]\n"
               "       skarne-book probe FILE [MOVES...]\n"
               "INPUT: a PGN file or a polyglot book (.bin), told apart by content.\n"
               "Defaults: --max-ply 20 --min-games 1 --width 16 --weights games.\n");
  return 2;
}

// The whole argument as a decimal number within [low, high].
bool ReadNumber(const char* text, int low, int high, int& value) {
  char* end = nullptr;
  const long number = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || number < low || number > high) return false;
  value = static_cast<int>(number);
  return true;
}

int Build(int argc, char** argv) {
  BuildOptions options;
  std::string out;
  std::vector<std::string> inputs;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    if (arg == "--max-ply") ok = value && ReadNumber(value, 1, 255, options.maxPly);
    else if (arg == "--min-games") ok = value && ReadNumber(value, 0, 255, options.minGames);
    else if (arg == "--width") ok = value && ReadNumber(value, 1, 16, options.width);
    else if (arg == "--weights") {
      ok = value && (std::strcmp(value, "games") == 0 || std::strcmp(value, "score") == 0);
      if (ok) options.weights = std::strcmp(value, "games") == 0 ? WeightKind::Games : WeightKind::Score;
    } else if (arg == "-o") {
      ok = value != nullptr;
      if (ok) out = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      ok = false;
    } else {
      inputs.push_back(arg);
      continue;
    }
    if (!ok) {
      std::fprintf(stderr, "skarne-book build: bad or missing value for %s\n", arg.c_str());
      return Usage();
    }
    ++i;
  }
  if (out.empty() || inputs.empty()) return Usage();
  return BuildBook(inputs, out, options, stderr);
}

int Dump(int argc, char** argv) {
  int depth = INT_MAX;
  const char* file = nullptr;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--depth") == 0) {
      if (i + 1 >= argc || !ReadNumber(argv[++i], 0, INT_MAX, depth)) return Usage();
    } else if (!file) {
      file = argv[i];
    } else {
      return Usage();
    }
  }
  return file ? DumpBook(file, depth, stdout) : Usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  InitTables();
  const std::string command = argv[1];
  if (command == "build") return Build(argc, argv);
  if (command == "dump") return Dump(argc, argv);
  if (command == "probe" && argc >= 3) return ProbeBook(argv[2], std::vector<std::string>(argv + 3, argv + argc), stdout);
  return Usage();
}
