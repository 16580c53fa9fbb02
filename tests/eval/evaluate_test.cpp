// Pawn structures and whole evaluations against scores worked out by hand from the rules, and
// the early exit's margin.

#include <gtest/gtest.h>

#include "eval_test_util.h"

namespace {

struct HandCase {
  const char* fen;
  int32_t score;  // pawn structures: white-positive; whole evaluations: the side to move's
  const char* why;
};

const HandCase pawnCases[] = {
    {"4k3/8/8/8/8/4P3/4P3/4K3 w - -", -44,
     "e2 and e3 passed, 1 and 5; one isolated open file with two pawns -50, not also doubled"},
    {"7k/4P3/3P4/8/8/8/8/K7 w - -", 200, "e7 passed with d6 diagonally behind it: supported 150; d6 50"},
    {"7k/8/8/8/8/8/p7/K7 w - -", -80, "a2 passed for black 100, isolated open 20"},
    {"7k/8/8/8/8/1p6/p7/K7 w - -", -200, "a2 supported from b3 (diagonally in front, seen from white) 150; b3 50"},
    {"7k/8/8/4p3/2P5/3P4/8/K7 w - -", 26,
     "d3 held by e5, nothing beside or behind it: backward, as its neighbour's rank 4 is not below e5's rank 5 "
     "minus one, -9; c4 passed, supported by d3, 15; e5 isolated open +20"},
    {"7k/8/4p3/8/2P5/3P4/8/K7 w - -", 35, "with e6 instead, 4 is below 6 - 1: d3 not backward: 15 + 20"},
    {"7k/8/4p3/8/4P3/4P3/8/K7 w - -", -27, "e3 and e4 isolated on a file with a black pawn -37; e6 +10"},
    {"7k/8/8/8/8/3P4/3PP3/K7 w - -", 4, "all passed and supported: d2 1, d3 7, e2 1; d file doubled -5"},
};

// Every term that is not zero, white-positive, in the order they are added. No scorer applies.
const HandCase wholeCases[] = {
    {"7k/8/8/8/8/8/PP6/Q6K w - -", 1079,
     "material 1100; a2, b2 passed and supported by each other, 1 each: 1102. Centre: b2 screens the queen. "
     "Queen a1 reaches b1..g1, 6 squares: +1. Bare black king: kings 7 apart -7, edge ring of h8 +3: 1099. "
     "Few pawns, no attack: two pawns -20"},
    {"7k/6Q1/6K1/8/8/8/8/8 b - -", -813,
     "mated, not stalemated. Material 900. Centre: the queen bears on e5 and d4, c = 20, x 900 / 12520 "
     "truncates to 1. Queen g7 reaches 17 squares: +12: 913. Kings 3 apart -3, edge ring +3. No white pawn: "
     "-100: 813; black to move"},
    {"7k/5Q2/6K1/8/8/8/8/8 b - -", 0, "bare king to move, g8 g7 h7 covered, no check: stalemate"},
    {"8/8/8/8/8/6k1/5q2/7K w - -", 0, "the same stalemate for a bare white king"},
    {"8/8/8/8/8/6k1/6q1/7K w - -", -813, "the mirror of the mate: no stalemate answer"},
    {"4k3/1b6/8/8/P6P/8/7B/1K6 w - -", 242,
     "material 200; a4 and h4 each passed 10, isolated -20: 180. Centre: c = -10 truncates to 0. Bishop h2 "
     "reaches 7 squares +2, dark-only +5; bishop b7 reaches 9 -4, light-only -5: 178. Opposite bishops: passed "
     "a4 and h4 spread 7, 25 x 6: 328, x 205 / 256 = 262. Few pawns: two white pawns -20"},
    {"6k1/5ppp/8/8/8/8/5PPP/N5KQ w - -", 1044,
     "material: queen 900, knight a1 250: 1150; the pawns mirror each other. Queen h1 walled in: -100. "
     "kingKingsideTable[g1] = 0. Black king under queen and knight: shelter of g8 behind f7 g7 h7 is 15, no "
     "neighbour attacked, 15 x 1450 / 3900 = 5.58, + 0.5 floors to 6, against white. An attack: no few-pawns"},
    {"7k/1K6/8/8/4n3/8/8/7q w - -", -1260,
     "material: queen, knight e4 315: -1215. Centre: queen h1 bears on e4, -10 x 1215 / 12520 truncates to "
     "0. Queen h1 reaches 7 + 6 + 2 squares: -10. White king b7 under attack: -100 off its first three ranks, "
     "-30 with no pawn in front, no neighbour attacked: -130 x 1215 / 3900 = -40.5, + 0.5 floors to -40: "
     "-1265. Bare white king: kings 7 apart +7, edge ring of b7 -2"},
    {"3k4/R6R/8/8/8/8/8/4K3 w - -", 936,
     "material 1000. Bare black king: kings e1-d8 8 apart -8, edge ring +3: 995. Each rook 6 squares on the "
     "rank, 1 above, 6 below: 13, +8 each; connected on the 7th with the king on the 8th +25: 1036. No white "
     "pawn: -100"},
    {"7k/8/8/8/8/8/P7/RN5K w - -", 709,
     "material: rook, knight b1 267, pawn: 867; a2 passed 1, isolated -20: 848. Bare black king: 7 apart -7, "
     "edge ring +3: 844. Black king: white's 767 besides pawns is below 900 and the pawns are on the "
     "queenside, -kingQueensideTable[h8] = +15: 859. Rook a1 boxed in by a2 and b1: -100. One pawn: -50"},
    {"4k3/8/2bb4/8/8/8/8/R3K3 w - -", -49,
     "material -100. Centre: bishops bear on d5, e4, e5, c = -30, x 1100 / 12520 = -2.6 to -2. Bishops c6 "
     "(its own king on e8 counts) and d6 reach 11 squares each: -6 -6, pair -20: -134. Rook a1 reaches 10: "
     "+5. Rook against two bishops: -20: -149. No black pawn: +100"},
    {"4k3/8/8/3N4/2P5/8/8/4K3 w - -", 371,
     "material: knight d5 315, pawn: 415; c4 passed 10, isolated -20: 405. Centre: c4 counts +10, x 315 / "
     "12520 is 0. Bare black king: 7 apart -7, edge ring +3: 401. Knight d5 on an outpost held by c4, no "
     "black minor: +20: 421. One white pawn: -50"},
    {"k7/6P1/8/8/8/8/8/K1Q3q1 w - -", 230,
     "material 100; g7 passed 100, isolated -20: 180. Centre: queen g1 bears on d4, -10 x 1800 / 12520 to "
     "-1. Queen c1 reaches 19 squares +14, queen g1 18 -13: 180. No attack (queens alone), 900 besides pawns "
     "each: no king table. Queen ending, a passed pawn on the 7th: +100. One white pawn: -50"},
    {"4k3/4n3/4P3/8/8/8/8/R3K3 w - -", 287,
     "material: rook, pawn, knight e7 285: 315; e6 passed 50, isolated -20: 345. King tables are 0 on e1 and "
     "e8. e6 passed and blocked: -13. Rook a1 reaches 10 squares: +5. One white pawn: -50"},
    {"r3k2r/8/8/8/3NP3/8/5P2/N5K1 w - -", -128,
     "material: knights a1 250, d4 315, two pawns against two rooks: -235; e4 passed 10, f2 passed 1: -224. "
     "Centre: e4 a pawn with a neighbour file 40, npm 1565: 40 x 1565 = 5 x 12520 exactly, 5: -219. Rook a8 "
     "reaches 10 squares -5, rook h8 9 -4: -228. No black pawn: +100"},
};

TEST(Evaluate, PawnStructuresAndWholeEvaluationsScoredByHand) {
  InitEvalTables();
  for (const HandCase& c : pawnCases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    Position pos = FromFen(c.fen);
    EXPECT_EQ(EvaluatePawns(pos), c.score);
  }
  for (const HandCase& c : wholeCases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    Position pos = FromFen(c.fen);
    ASSERT_EQ(scorerTable[pos.materialSignature], nullptr);
    EXPECT_EQ(Evaluate(-ScoreBound, ScoreBound, pos), c.score);
    EXPECT_EQ(Evaluate(-ScoreBound, ScoreBound, pos), c.score) << "again, the attack cache valid";
  }
}

TEST(Evaluate, EarlyExitOnlyBeyondTheMarginAndNeverForABareKing) {
  InitEvalTables();
  // Material and pawns give white 405, the whole evaluation 371 (see above); then its mirror.
  const char* knight = "4k3/8/8/3N4/2P5/8/8/4K3 w - -";
  const char* flipped = "4k3/8/8/2p5/3n4/8/8/4K3 b - -";
  const struct {
    const char* fen;
    int32_t alpha, beta, expected;
  } windows[] = {
      {knight, 706, 800, 706},  {knight, 705, 800, 371},  // 405 < 706 - 300; 405 is not below 405
      {knight, -800, 104, 104}, {knight, -800, 105, 371},
      {flipped, 706, 800, 706}, {flipped, -800, 104, 104},
      // The side to move with only its king: however bad, the whole evaluation.
      {"4k3/8/8/3N4/2P5/8/8/4K3 b - -", 500, 600, -371},
      {"4k3/8/8/2p5/3n4/8/8/4K3 w - -", 500, 600, -371},
  };
  for (const auto& w : windows) {
    SCOPED_TRACE(testing::Message() << w.fen << " " << w.alpha << " " << w.beta);
    Position pos = FromFen(w.fen);
    EXPECT_EQ(Evaluate(w.alpha, w.beta, pos), w.expected);
  }
}

}  // namespace
