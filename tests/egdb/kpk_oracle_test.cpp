// The whole KPK bitbase, and the evaluation's recognizer that answers from it, against a
// depth-to-mate solver of perfect play that shares nothing with them (tb_oracle.h): moves
// walked square by square, promotions played out in the solved king-and-piece-against-king
// tables, and no shortcut of the bitbase's rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "notation/fen.h"
#include "tests/egdb/tb_oracle.h"

namespace {

using namespace oracle;

class KpkOracle : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    InitEndgameTables();
    BuildKpkBitbase();
    for (const char* name : {"knk", "kbk", "krk", "kqk"}) solver.Solve(name);
    kpk = &solver.Solve("kpk");
  }
  static void TearDownTestSuite() { DestroyKpkBitbase(); }
  static uint32_t Index(const Board& b) { return KpkIndex(b.men[2].square, b.men[0].square, b.men[1].square, b.side); }
  static inline ThreeManSolver solver;
  static inline const std::vector<int>* kpk = nullptr;
};

// Every legal position with a white pawn, both sides to move, probed through the normalising
// index (so the e..h files test the mirror) against perfect play. The table's seed calls every
// promotion the defender cannot answer by taking the new piece a win, stalemate or not, and
// never looks at rook promotions; perfect play shows that neither matters (where the new queen
// would stalemate, a rook promotion or a king move still wins), so the two agree everywhere.
// The recognizer, reached from the position itself, calls exactly the positions not won a draw.
TEST_F(KpkOracle, WholeTableAgainstPerfectPlay) {
  int legal[2] = {}, wins[2] = {}, differences = 0;
  ForEachPosition("kpk", {}, [&](const Board& b) {
    const int value = (*kpk)[ThreeManSolver::Raw(b)];
    const bool perfect = b.side == 0 ? value > 0 : value < 0;
    ++legal[b.side];
    wins[b.side] += perfect;
    if (KpkWon(Index(b)) != perfect && ++differences <= 20)
      ADD_FAILURE() << (perfect ? "missed win: " : "overrated: ") << Fen(b);
    Position pos;
    if ((!SetFromFen(pos, Fen(b)) || (RecognizerScore(pos) != 0) != perfect) && ++differences <= 20)
      ADD_FAILURE() << "recognizer: " << Fen(b);
  });
  EXPECT_EQ(differences, 0);
  // The published statistics of this ending: 163328 legal positions with white to move, 124960
  // of them won; 168024 with black to move, 97604 of them lost for black.
  const int published[2][2] = {{163328, 124960}, {168024, 97604}};
  for (int side = 0; side < 2; ++side) EXPECT_EQ((std::vector{legal[side], wins[side]}), (std::vector{published[side][0], published[side][1]}));
}

// Without a table, or outside it, a probe declines to call the position a draw; a rebuild
// gives the same table.
TEST_F(KpkOracle, ProbesOutsideTheTableAndRebuild) {
  EXPECT_TRUE(KpkWon(KpkPositionCount));
  EXPECT_TRUE(KpkWon(0xFFFFFFFFu));
  const std::vector<uint32_t> first(kpkBitbase.won, kpkBitbase.won + kpkBitbase.wordCount);
  const uint32_t drawn = KpkIndex(H2, A1, H8, 0);  // the defending king holds the corner
  EXPECT_FALSE(KpkWon(drawn));
  DestroyKpkBitbase();
  EXPECT_TRUE(KpkWon(drawn));
  BuildKpkBitbase();
  ASSERT_EQ(kpkBitbase.wordCount, KpkWordCount);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), kpkBitbase.won));
}

}  // namespace
