// Leaf counts of the legal move tree against the published figures of the standard perft
// positions, for both generators, and the perft tool as a user runs it.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <vector>

#include "movegen_test_support.h"
#include "shell_quoted.h"

namespace {

struct PerftCase {
  const char *name, *fen;
  int depth;
  uint64_t nodes;
};

// The search's generator lists exactly the legal moves; the unscored one leaves pinned men
// to the legality filter, which plays the move on the next ply's record.
uint64_t CountLeaves(Position* plies, int depth, bool unscored) {
  Position& pos = plies[0];
  unscored ? GenerateLegalMoves(pos) : GenerateMoves(pos);
  if (depth == 1 && !unscored) return pos.moveCount;
  uint64_t nodes = 0;
  for (int i = 1; i <= pos.moveCount; ++i) {
    CopyPlayState(plies[1], pos);
    MakeMoveLight(plies[1], pos.moveList[i]);
    if (!unscored || MoveIsLegal(pos, pos.moveList[i], plies[1])) nodes += depth == 1 ? 1 : CountLeaves(plies + 1, depth - 1, unscored);
  }
  return nodes;
}

void PrintTo(const PerftCase& c, std::ostream* out) { *out << c.name; }

class Perft : public testing::TestWithParam<PerftCase> {};

TEST_P(Perft, BothGeneratorsMatchThePublishedCount) {
  for (bool unscored : {false, true}) {
    std::vector<Position> plies(GetParam().depth + 1);
    plies[0] = FromFen(GetParam().fen);
    EXPECT_EQ(CountLeaves(plies.data(), GetParam().depth, unscored), GetParam().nodes) << "unscored " << unscored;
  }
}

// The start position, "Kiwipete" and positions 3 to 6; position 4 also mirrored.
const PerftCase perftCases[] = {
    {"Start", StartFen, 5, 4865609},
    {"Kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 4, 4085603},
    {"Position3", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 5, 674624},
    {"Position4", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 4, 422333},
    {"Position4Mirrored", "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", 4, 422333},
    {"Position5", "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 4, 2103487},
    {"Position6", "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 4, 3894594},
};

INSTANTIATE_TEST_SUITE_P(StandardSuite, Perft, testing::ValuesIn(perftCases),
                         [](const testing::TestParamInfo<PerftCase>& c) { return std::string(c.param.name); });

// The tool as a user runs it: the last two lines are "time ..." and exactly "nodes N", and
// --divide adds one line per root move.
TEST(PerftTool, PrintsTimeThenNodes) {
  const std::string engine = SKARNE_BINARY, tool = ShellQuoted(engine.substr(0, engine.rfind('/') + 1) + "skarne-perft") + " ";
  const std::tuple<const char*, size_t, const char*> runs[] = {
      {"--generator=legal 3", 2, "nodes 8902"},
      {"--divide --generator=search 2 \"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -\"", 16, "nodes 191"}};
  for (auto [arguments, count, last] : runs) {
    std::vector<std::string> lines;
    FILE* pipe = popen((tool + arguments).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    for (char buffer[512]; fgets(buffer, sizeof buffer, pipe);) lines.emplace_back(buffer, std::strcspn(buffer, "\n"));
    pclose(pipe);
    ASSERT_EQ(lines.size(), count) << arguments;
    EXPECT_EQ(lines.back(), last);
    EXPECT_EQ(lines[count - 2].rfind("time ", 0), 0u);
  }
}

}  // namespace
