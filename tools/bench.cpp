// skarne-bench [--depth D] [--hash MB]
// Searches a fixed set of positions to a fixed depth, each with a fresh table, and prints
// one line per position and last "nodes N nps M". N depends only on the code and the
// options, so it is the same in every build and on every run: a changed count means a
// changed search.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board.h"
#include "egdb/kpk.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "notation/notation.h"
#include "search/search.h"

namespace {

// 35 positions: openings, middlegames with tactics, endgames (pawn endings among them) and endings where
// the material-keyed knowledge answers.
constexpr const char* BenchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/8/PPP2PPP/RNBQKB1R w KQkq - 1 5",
    "rnbqkb1r/ppp1pppp/5n2/3p4/2PP4/8/PP2PPPP/RNBQKBNR w KQkq - 1 3",
    "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w KQkq - 1 5",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - 0 1",
    "r1b1kb1r/3q1ppp/pBp1pn2/8/Np3P2/5B2/PPP3PP/R2QK2R w KQkq - 0 1",
    "3r1k2/4npp1/1ppr3p/p6P/P2PPPP1/1NR5/5K2/2R5 w - - 0 1",
    "2q1rr1k/3bbnnp/p2p1pp1/2pPp3/PpP1P1P1/1P2BNNP/2BQ1PRK/7R b - - 0 1",
    "rnbqkb1r/p3pppp/1p6/2ppP3/3N4/2P5/PPP1QPPP/R1B1KB1R w KQkq - 0 1",
    "r1b2rk1/2q1b1pp/p2ppn2/1p6/3QP3/1BN1B3/PPP3PP/R4RK1 w - - 0 1",
    "2r3k1/pppR1pp1/4p3/4P1P1/5P2/1P4K1/P1P5/8 w - - 0 1",
    "1nk1r1r1/pp2n1pp/4p3/q2pPp1N/b1pP1P2/B1P2R2/2P1B1PP/R2Q2K1 w - - 0 1",
    "4b3/p3kp2/6p1/3pP2p/2pP1P2/4K1P1/P3N2P/8 w - - 0 1",
    "2kr1bnr/pbpq4/2n1pp2/3p3p/3P1P1B/2N2N1Q/PPP3PP/2KR1B1R w - - 0 1",
    "3rr1k1/pp3pp1/1qn2np1/8/3p4/PP1R1P2/2P1NQPP/R1B3K1 b - - 0 1",
    "2r1nrk1/p2q1ppp/bp1p4/n1pPp3/P1P1P3/2PBB1N1/4QPPP/R4RK1 w - - 0 1",
    "r3r1k1/ppqb1ppp/8/4p1NQ/8/2P5/PP3PPP/R3R1K1 b - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "8/8/1p1k4/1P6/2PK4/8/8/8 w - - 0 1",
    "8/8/8/8/8/4k3/4P3/4K3 w - - 0 1",
    "6k1/8/6K1/6P1/8/8/8/8 w - - 0 1",
    "8/6pk/8/8/8/8/1R6/6K1 w - - 0 1",
    "8/8/4kb2/8/8/3K4/8/6N1 w - - 0 1",
    "8/8/8/3k4/8/8/1B6/K1N5 w - - 0 1",
    "8/5k2/8/8/8/8/2R5/4K3 w - - 0 1",
    "4k3/8/8/8/8/8/3Q4/4K3 w - - 0 1",
};

constexpr int DefaultDepth = 7;
constexpr int DefaultHashMb = 64;

void Silent(const char*) {}

[[noreturn]] void Usage() {
  std::fprintf(stderr, "usage: skarne-bench [--depth D] [--hash MB]\n");
  std::exit(2);
}

int ReadOption(int argc, char** argv, int& i, int low, int high) {
  if (i + 1 >= argc) Usage();
  char* end = nullptr;
  long value = std::strtol(argv[++i], &end, 10);
  if (*end != '\0' || value < low || value > high) Usage();
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  int depth = DefaultDepth;
  int hashMb = DefaultHashMb;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--depth") == 0) {
      depth = ReadOption(argc, argv, i, 1, MaxPly);
    } else if (std::strcmp(argv[i], "--hash") == 0) {
      hashMb = ReadOption(argc, argv, i, 1, 1 << 20);
    } else {
      Usage();
    }
  }

  InitTables();
  InitEndgameTables();
  BuildKingTables();
  BuildKpkBitbase();
  thinkingOutput = Silent;
  postThinking = false;
  depthLimit = depth;

  uint64_t totalNodes = 0;
  int64_t totalMs = 0;
  int number = 0;
  for (const char* fen : BenchPositions) {
    ++number;
    if (!SetupGame(fen)) {
      std::fprintf(stderr, "position %d refused: %s\n", number, fen);
      return 1;
    }
    // A fresh table and fresh killers per position keep each count independent of the
    // ones before it.
    ForgetGame();
    AllocateHashMemory(int64_t(hashMb) * 1024 * 1024);
    stopSearch = false;
    Move move = NoMove;
    const int64_t start = MillisecondClock();
    Think(move, false);
    const int64_t elapsed = MillisecondClock() - start;
    const uint32_t nodes = SearchedNodes();
    totalNodes += nodes;
    totalMs += elapsed;
    char text[8] = "none";
    if (move.from != NoMoveSquare) MoveText(move, text);
    std::printf("%2d %-6s score %6d nodes %10u ms %6lld  %s\n", number, text, lastScore, nodes,
                static_cast<long long>(elapsed), fen);
    std::fflush(stdout);
  }
  FreeHashMemory();
  DestroyKpkBitbase();
  const uint64_t nps = totalNodes * 1000 / uint64_t(totalMs > 0 ? totalMs : 1);
  std::printf("nodes %llu nps %llu\n", static_cast<unsigned long long>(totalNodes),
              static_cast<unsigned long long>(nps));
  return 0;
}
