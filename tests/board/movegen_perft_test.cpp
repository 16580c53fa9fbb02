// Leaf counts of the legal move tree against the published figures of the standard perft
// positions, for both generators. Deeper counts belong to skarne-perft.

#include <cstdint>

#include "movegen_test_support.h"

namespace {

struct PerftCase {
  const char* name;
  const char* fen;
  int depth;
  uint64_t nodes;
};

uint64_t SearchPerft(Position* plies, int depth) {
  Position& pos = plies[0];
  GenerateMoves(pos);
  if (depth == 1) return pos.moveCount;
  uint64_t nodes = 0;
  for (int i = 1; i <= pos.moveCount; ++i) {
    CopyPlayState(plies[1], pos);
    MakeMoveLight(plies[1], pos.moveList[i]);
    nodes += SearchPerft(plies + 1, depth - 1);
  }
  return nodes;
}

uint64_t LegalPerft(Position* plies, int depth) {
  Position& pos = plies[0];
  GenerateLegalMoves(pos);
  uint64_t nodes = 0;
  for (int i = 1; i <= pos.moveCount; ++i) {
    CopyPlayState(plies[1], pos);
    MakeMoveLight(plies[1], pos.moveList[i]);
    if (!MoverKingSafe(plies[1])) continue;
    nodes += depth == 1 ? 1 : LegalPerft(plies + 1, depth - 1);
  }
  return nodes;
}

class Perft : public testing::TestWithParam<PerftCase> {};

TEST_P(Perft, SearchGeneratorMatchesPublishedCount) {
  std::vector<Position> plies(GetParam().depth + 1);
  plies[0] = FromFen(GetParam().fen);
  EXPECT_EQ(SearchPerft(plies.data(), GetParam().depth), GetParam().nodes);
}

TEST_P(Perft, LegalGeneratorMatchesPublishedCount) {
  std::vector<Position> plies(GetParam().depth + 1);
  plies[0] = FromFen(GetParam().fen);
  EXPECT_EQ(LegalPerft(plies.data(), GetParam().depth), GetParam().nodes);
}

// The well-known suite: start position, "Kiwipete" and positions 3 to 6 (position 4 also
// mirrored with black to move).
const PerftCase perftCases[] = {
    {"Start", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 5, 4865609},
    {"Kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 4, 4085603},
    {"Position3", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 5, 674624},
    {"Position4", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 4, 422333},
    {"Position4Mirrored", "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", 4, 422333},
    {"Position5", "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 4, 2103487},
    {"Position6", "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 4, 3894594},
    {"KiwipeteShallow", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 1, 48},
    {"Position3Shallow", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 2, 191},
};

INSTANTIATE_TEST_SUITE_P(StandardSuite, Perft, testing::ValuesIn(perftCases),
                         [](const testing::TestParamInfo<PerftCase>& info) { return std::string(info.param.name); });

}  // namespace
