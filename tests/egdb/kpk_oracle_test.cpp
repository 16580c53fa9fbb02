// The whole KPK bitbase against a brute-force solver of perfect play that shares nothing with
// it: squares as file and rank, moves walked step by step, promotions to queen and rook played
// out in their own king-and-piece-against-king tables, and no shortcut of the bitbase's rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"

namespace {

enum Man { Pawn, Rook, Queen };

int FileOf8(int s) { return s % 8; }
int RankOf8(int s) { return s / 8; }

bool Touch(int a, int b) {
  return a != b && std::abs(FileOf8(a) - FileOf8(b)) <= 1 && std::abs(RankOf8(a) - RankOf8(b)) <= 1;
}

// Does the white man on `man` attack `target`? Only the white king can block: the black king
// is either the target or has just left its square.
bool Attacks(Man kind, int man, int target, int whiteKing) {
  const int df = FileOf8(target) - FileOf8(man), dr = RankOf8(target) - RankOf8(man);
  if (kind == Pawn) return dr == 1 && std::abs(df) == 1;
  const bool straight = df == 0 || dr == 0, diagonal = std::abs(df) == std::abs(dr);
  if (man == target || !(straight || (kind == Queen && diagonal))) return false;
  const int step = ((dr > 0) - (dr < 0)) * 8 + (df > 0) - (df < 0);
  for (int s = man + step; s != target; s += step)
    if (s == whiteKing) return false;
  return true;
}

// White to move is side 0.
constexpr int StateCount = 2 * 64 * 64 * 64;
int State(int side, int wk, int bk, int man) { return ((side * 64 + wk) * 64 + bk) * 64 + man; }

bool Legal(Man kind, int side, int wk, int bk, int man) {
  if (wk == bk || man == wk || man == bk || Touch(wk, bk)) return false;
  if (kind == Pawn && (RankOf8(man) == 0 || RankOf8(man) == 7)) return false;
  return side == 1 || !Attacks(kind, man, bk, wk);
}

// The squares a king on `from` steps to, on the board.
const std::vector<int>& KingSteps(int from) {
  static const auto steps = [] {
    std::vector<std::vector<int>> table(64);
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b)
        if (Touch(a, b)) table[a].push_back(b);
    return table;
  }();
  return steps[from];
}

struct Solver {
  Man kind;
  const std::vector<uint8_t>* rookTable = nullptr;  // for promotions
  const std::vector<uint8_t>* queenTable = nullptr;
  std::vector<uint8_t> won = std::vector<uint8_t>(StateCount, 0);

  // Some white move reaches a won position.
  bool WhiteWins(int wk, int bk, int man) const {
    for (int to : KingSteps(wk))
      if (to != man && !Touch(to, bk) && won[State(1, to, bk, man)]) return true;
    if (kind == Pawn) {
      const int to = man + 8, two = man + 16;
      if (to == wk || to == bk) return false;
      if (RankOf8(to) == 7)  // bishops and knights cannot mate a bare king
        return (*queenTable)[State(1, wk, bk, to)] || (*rookTable)[State(1, wk, bk, to)];
      return won[State(1, wk, bk, to)] || (RankOf8(man) == 1 && two != wk && two != bk && won[State(1, wk, bk, two)]);
    }
    const int directions[8][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    for (int d = 0; d < (kind == Queen ? 8 : 4); ++d)
      for (int f = FileOf8(man) + directions[d][0], r = RankOf8(man) + directions[d][1];
           f >= 0 && f < 8 && r >= 0 && r < 8; f += directions[d][0], r += directions[d][1]) {
        if (r * 8 + f == wk || r * 8 + f == bk) break;
        if (won[State(1, wk, bk, r * 8 + f)]) return true;
      }
    return false;
  }

  // Every black move loses (a mate counts as lost; a stalemate or a capture does not).
  bool BlackLoses(int wk, int bk, int man) const {
    int moves = 0;
    for (int to : KingSteps(bk)) {
      if (to == wk || Touch(to, wk)) continue;
      if (to == man) return false;  // the man is unguarded: bare kings
      if (Attacks(kind, man, to, wk)) continue;
      ++moves;
      if (!won[State(0, wk, to, man)]) return false;
    }
    return moves > 0 || Attacks(kind, man, bk, wk);
  }

  void Solve() {
    for (bool changed = true; changed;) {
      changed = false;
      for (int s = 0; s < StateCount; ++s) {
        const int side = s >> 18, wk = (s >> 12) & 63, bk = (s >> 6) & 63, man = s & 63;
        if (won[s] || !Legal(kind, side, wk, bk, man)) continue;
        if (side == 0 ? WhiteWins(wk, bk, man) : BlackLoses(wk, bk, man)) won[s] = changed = true;
      }
    }
  }
};

std::string Describe(int side, int wk, int bk, int pawn) {
  std::string text;
  for (auto [letter, s] : {std::pair{'K', wk}, {'P', pawn}, {'k', bk}})
    text.append({letter, static_cast<char>('a' + s % 8), static_cast<char>('1' + s / 8), ' '});
  return text.append(side ? "black to move" : "white to move");
}

class KpkOracle : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    BuildKpkBitbase();
    rook.Solve();
    queen.Solve();
    pawn.Solve();
  }
  static void TearDownTestSuite() { DestroyKpkBitbase(); }
  static Solver rook, queen, pawn;
};

Solver KpkOracle::rook{Rook};
Solver KpkOracle::queen{Queen};
Solver KpkOracle::pawn{Pawn, &KpkOracle::rook.won, &KpkOracle::queen.won};

// King and queen, or king and rook, beat a bare king from every position except where the
// defender, to move, takes the piece or is stalemated at once. The solver must find exactly
// that, or its promotions cannot be trusted.
TEST_F(KpkOracle, SolverKnowsQueenAndRookEndings) {
  for (const Solver* solver : {&rook, &queen}) {
    SCOPED_TRACE(solver->kind == Rook ? "rook" : "queen");
    int wrong = 0;
    for (int s = 0; s < StateCount; ++s) {
      const int side = s >> 18, wk = (s >> 12) & 63, bk = (s >> 6) & 63, man = s & 63;
      if (!Legal(solver->kind, side, wk, bk, man)) continue;
      bool canMove = false;
      for (int to : KingSteps(bk)) canMove |= !Touch(wk, to) && to != wk && (to == man || !Attacks(solver->kind, man, to, wk));
      const bool takes = Touch(bk, man) && !Touch(wk, man);
      const bool stalemate = !canMove && !Attacks(solver->kind, man, bk, wk);
      wrong += solver->won[s] != (side == 0 || (!takes && !stalemate));
    }
    EXPECT_EQ(wrong, 0);
  }
}

// Every legal position with a white pawn, both sides to move, probed through the normalising
// index (so the e..h files test the mirror) against perfect play. The table's seed calls every
// promotion the defender cannot answer by taking the new piece a win, stalemate or not, and
// never looks at rook promotions; perfect play shows that neither matters (where the new queen
// would stalemate, a rook promotion or a king move still wins), so the two agree everywhere.
TEST_F(KpkOracle, WholeTableAgainstPerfectPlay) {
  int legal[2] = {}, wins[2] = {}, differences = 0;
  for (int side = 0; side < 2; ++side)
    for (int wk = 0; wk < 64; ++wk)
      for (int bk = 0; bk < 64; ++bk)
        for (int p = 8; p < 56; ++p) {
          if (!Legal(Pawn, side, wk, bk, p)) continue;
          const bool perfect = pawn.won[State(side, wk, bk, p)];
          ++legal[side];
          wins[side] += perfect;
          if (KpkWon(KpkIndex(p, wk, bk, side)) != perfect && ++differences <= 20)
            ADD_FAILURE() << (perfect ? "missed win: " : "overrated: ") << Describe(side, wk, bk, p);
        }
  EXPECT_EQ(differences, 0);
  // The published statistics of this ending: 163328 legal positions with white to move, 124960
  // of them won; 168024 with black to move, 97604 of them lost for black.
  EXPECT_EQ(legal[0], 163328);
  EXPECT_EQ(wins[0], 124960);
  EXPECT_EQ(legal[1], 168024);
  EXPECT_EQ(wins[1], 97604);
}

// The table's successor routine against the moves walked here, for every legal position on
// files a..d: the same replies, with promotions and the capture of the pawn left out.
TEST_F(KpkOracle, SuccessorsAreTheLegalMoves) {
  int positions = 0;
  for (int side = 0; side < 2; ++side)
    for (int wk = 0; wk < 64; ++wk)
      for (int bk = 0; bk < 64; ++bk)
        for (int p = 8; p < 56; ++p) {
          if (FileOf8(p) > 3 || !Legal(Pawn, side, wk, bk, p)) continue;
          std::vector<uint32_t> expected;
          for (int to : KingSteps(side == 0 ? wk : bk)) {
            if (side == 0 && to != p && !Touch(to, bk)) expected.push_back(KpkIndex(p, to, bk, 1));
            if (side == 1 && to != wk && !Touch(to, wk) && to != p && !Attacks(Pawn, p, to, wk))
              expected.push_back(KpkIndex(p, wk, to, 0));
          }
          if (side == 0 && RankOf8(p) < 6 && p + 8 != wk && p + 8 != bk) {
            expected.push_back(KpkIndex(p + 8, wk, bk, 1));
            if (RankOf8(p) == 1 && p + 16 != wk && p + 16 != bk) expected.push_back(KpkIndex(p + 16, wk, bk, 1));
          }
          uint32_t found[KpkMaxSuccessors];
          std::vector<uint32_t> actual(found, found + KpkSuccessors(KpkIndex(p, wk, bk, side), found));
          std::sort(expected.begin(), expected.end());
          std::sort(actual.begin(), actual.end());
          ASSERT_EQ(actual, expected) << Describe(side, wk, bk, p);
          ++positions;
        }
  EXPECT_EQ(positions, 81664 + 84012);  // the legal positions on files a..d
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
