// skarne-perft [--divide] [--generator=search|legal] DEPTH [FEN]
// Counts the leaf nodes of the legal move tree. The search generator lists exactly the
// legal moves, so its last ply is counted without playing it; the legal generator keeps a
// move only when the mover's king is safe after playing it on a copy.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "notation/fen.h"
#include "notation/move_text.h"

namespace {

constexpr int MaxDepth = 32;

struct Perft {
  bool legalGenerator = false;
  std::vector<Position> plies = std::vector<Position>(MaxDepth + 1);

  uint64_t Search(int ply, int depth) {
    Position& pos = plies[ply];
    GenerateMoves(pos);
    if (depth == 1) return pos.moveCount;
    Position& child = plies[ply + 1];
    uint64_t nodes = 0;
    for (int i = 1; i <= pos.moveCount; ++i) {
      CopyPlayState(child, pos);
      MakeMoveLight(child, pos.moveList[i]);
      nodes += Search(ply + 1, depth - 1);
    }
    return nodes;
  }

  uint64_t Legal(int ply, int depth) {
    Position& pos = plies[ply];
    GenerateLegalMoves(pos);
    Position& child = plies[ply + 1];
    uint64_t nodes = 0;
    for (int i = 1; i <= pos.moveCount; ++i) {
      if (!MoveIsLegal(pos, pos.moveList[i], child)) continue;
      nodes += depth == 1 ? 1 : Legal(ply + 1, depth - 1);
    }
    return nodes;
  }

  uint64_t Count(int ply, int depth) {
    if (depth == 0) return 1;
    return legalGenerator ? Legal(ply, depth) : Search(ply, depth);
  }
};

int Usage() {
  std::fprintf(stderr, "usage: skarne-perft [--divide] [--generator=search|legal] DEPTH [FEN]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool divide = false;
  Perft perft;
  int depth = -1;
  std::string fen = StartFen;
  bool fenGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--divide") divide = true;
    else if (arg == "--generator=search") perft.legalGenerator = false;
    else if (arg == "--generator=legal") perft.legalGenerator = true;
    else if (arg.rfind("--", 0) == 0) return Usage();
    else if (depth < 0) {
      char* end = nullptr;
      long value = std::strtol(arg.c_str(), &end, 10);
      if (*end != '\0' || value < 0 || value > MaxDepth) return Usage();
      depth = static_cast<int>(value);
    } else {
      // The FEN may come as one argument or spread over several.
      fen = fenGiven ? fen + " " + arg : arg;
      fenGiven = true;
    }
  }
  if (depth < 0) return Usage();

  InitTables();
  Position& root = perft.plies[0];
  if (!SetFromFen(root, fen)) {
    std::fprintf(stderr, "refused position: %s\n", fen.c_str());
    return 1;
  }

  auto start = std::chrono::steady_clock::now();
  uint64_t nodes = 0;
  if (divide && depth >= 1) {
    // The root list is copied: the recursion reuses the ply slots below it only.
    Position rootCopy = root;
    if (perft.legalGenerator) GenerateLegalMoves(rootCopy);
    else GenerateMoves(rootCopy);
    for (int i = 1; i <= rootCopy.moveCount; ++i) {
      Position& child = perft.plies[1];
      if (perft.legalGenerator) {
        if (!MoveIsLegal(rootCopy, rootCopy.moveList[i], child)) continue;
      } else {
        CopyPlayState(child, rootCopy);
        MakeMoveLight(child, rootCopy.moveList[i]);
      }
      uint64_t count = perft.Count(1, depth - 1);
      nodes += count;
      std::printf("%s %llu\n", MoveText(rootCopy.moveList[i]).c_str(), static_cast<unsigned long long>(count));
    }
  } else {
    nodes = perft.Count(0, depth);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double nps = seconds > 0 ? nodes / seconds : 0;
  std::printf("time %.3f s, %.0f nodes per second\n", seconds, nps);
  std::printf("nodes %llu\n", static_cast<unsigned long long>(nodes));
  return 0;
}
