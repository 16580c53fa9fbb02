// Whole evaluations and single terms against scores worked out by hand from the rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "eval/endgame.h"
#include "eval/eval.h"
#include "eval/terms.h"
#include "eval_test_util.h"

namespace {

// The general evaluation alone: the endgame scorers are taken out for the test's duration.
class ScorersOff {
 public:
  ScorersOff() { std::copy(std::begin(scorerTable), std::end(scorerTable), saved_); std::fill(std::begin(scorerTable), std::end(scorerTable), nullptr); }
  ~ScorersOff() { std::copy(std::begin(saved_), std::end(saved_), scorerTable); }

 private:
  std::remove_reference_t<decltype(scorerTable[0])> saved_[1024];
};

class EvaluateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    BuildKingTables();
    ASSERT_TRUE(AllocatePawnTable(1 << 12));
  }
  static void TearDownTestSuite() { FreePawnTable(); }
  ScorersOff scorersOff;
};

constexpr int32_t Wide = 32001;

struct WholeCase {
  const char* fen;
  int32_t score;
  const char* why;
};

TEST_F(EvaluateTest, WholeEvaluationsScoredByHand) {
  const WholeCase cases[] = {
      {"4k3/8/8/8/3P4/8/8/4K3 w - -", 36,
       "material 100; d4 passed 10, isolated open -20: 90. No centre term: no pieces, so npm is "
       "0. Bare black king: kings 7 apart costs 7, edge ring of e8 adds 3: 86. Black king "
       "placement: white has no pieces, pawns on the queenside, kingQueensideTable[e8] = 0. "
       "Few pawns: 86 > 50, one white pawn costs 50: 36"},
      {"4k3/8/8/8/3P4/8/8/4K3 b - -", -36, "the same for black to move, negated"},
      {"K7/8/8/8/8/8/p7/N3k3 w - -", 0,
       "knight a1 250 - pawn 100: 150; black a2 passed -100, isolated +20: 70. Centre: npm "
       "250 but nothing bears on d4-e5. King tables (queenside) are 0 on a8 and e1. The "
       "black passed pawn is blocked on a2 by the knight: +25: 95. Few pawns: 95 > 50, white "
       "has no pawn, -100 gives -5, which is raised to 0"},
      {"4k3/1b6/8/8/P6P/8/7B/1K6 w - -", 242,
       "material 500 - 300 = 200; a4 and h4 each passed 10 and isolated -20: 180. Centre: "
       "e4 and d5 see the black bishop (-10 each), e5 the white one (+10): c = -10, "
       "-10 x 600 / 12520 truncates to 0. Bishop h2 reaches 7 squares: +2, dark-only "
       "pattern +5; bishop b7 reaches 9: -4, light-only -5: 178. Pawns on both wings: "
       "kingCentreTable is 0 on b1 and e8. Opposite bishops: passed a4 and h4 spread 7, "
       "+150 = 328, times 205/256 = 262. Few pawns: two white pawns -20: 242"},
      {"4k3/1b6/8/8/P7/8/7B/1K6 w - -", 20,
       "without h4: 400 - 300 - 10 = 90; bishops +2 +5 -4 -5 = 88; one passed pawn adds "
       "nothing; 88 x 205 / 256 = 70; one white pawn -50: 20"},
      {"7k/8/8/8/8/8/PP6/Q6K w - -", 1079,
       "material 1100; a2 and b2 passed and supported by each other, 1 each: 1102. Centre: "
       "b2 screens the queen from d4 and e5, c = 0. Queen a1 reaches b1..g1: 6 squares, +1: "
       "1103. Bare black king: kings 7 apart -7, edge ring of h8 +3: 1099. Black king: white's "
       "non-pawn material is 900, not below it, so no table. Few pawns: only a queen, no "
       "attack; two pawns -20: 1079"},
      {"7k/5Q2/6K1/8/8/8/8/8 b - -", 0,
       "bare black king to move on h8 with g8, g7 and h7 all attacked: the stalemate guard"},
      {"7k/6Q1/6K1/8/8/8/8/8 b - -", -813,
       "mated, not stalemated: the guard must not answer 0. Material 900. Centre: the queen "
       "g7 bears on e5 and d4 diagonally, c = 20, 20 x 900 / 12520 truncates to 1: 901. "
       "Queen g7 reaches a7-f7, h7, g8, f8, h8, h6, f6, e5, d4, c3, b2, a1 (g6 is its own "
       "king): 17 squares, bonus 12: 913. Bare black king: kings g6 and h8 are 1 + 2 apart, "
       "-3, edge ring of h8 +3: 913. White's non-pawn material 900 is not below 900: no "
       "table for the black king. No attack (a queen alone), no white pawn: -100: 813; "
       "black to move: -813"},
  };
  for (const WholeCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    Position pos = PositionFromFen(c.fen);
    EXPECT_EQ(Evaluate(-Wide, Wide, pos), c.score);
    // A second evaluation of the same position (cache valid, pawn hash warm) agrees.
    EXPECT_EQ(Evaluate(-Wide, Wide, pos), c.score);
  }
}

TEST_F(EvaluateTest, LazyExitMarginIsThreeHundred) {
  // Material and pawns give 90 for white (first case above); the full score is 36.
  Position pos = PositionFromFen("4k3/8/8/8/3P4/8/8/4K3 w - -");
  struct Window {
    int32_t alpha, beta, expected;
  } windows[] = {
      {391, 500, 391},    // 90 < 391 - 300
      {390, 500, 36},     // 90 is not below 90
      {-500, -211, -211}, // 90 > -211 + 300
      {-500, -210, 36},   // 90 is not above 90
  };
  for (const Window& w : windows) {
    SCOPED_TRACE(testing::Message() << w.alpha << " " << w.beta);
    Position copy = pos;
    EXPECT_EQ(Evaluate(w.alpha, w.beta, copy), w.expected);
  }
  // Black to move with only its king: however bad, no early exit.
  Position bare = PositionFromFen("4k3/8/8/8/3P4/8/8/4K3 b - -");
  EXPECT_EQ(Evaluate(500, 600, bare), -36);
  // White to move with only its king against a queen: no early exit either; black to move
  // with the queen leaves at once.
  Position lone = PositionFromFen("4k3/8/8/8/8/8/q7/4K3 w - -");
  int32_t full = Evaluate(-Wide, Wide, lone);
  EXPECT_LT(full, -600);
  lone.cacheFlags = 0;
  EXPECT_EQ(Evaluate(-10, 10, lone), full);
  Position strong = PositionFromFen("4k3/8/8/8/8/8/q7/4K3 b - -");
  EXPECT_EQ(Evaluate(-10, 10, strong), 10);
}

bool AnswerFalse(Position&, int32_t* score) {
  *score = 777;
  return false;
}
bool AnswerTrue(Position&, int32_t* score) {
  *score = 123;
  return true;
}

TEST_F(EvaluateTest, ScorerAnswersAreWhitePositiveAndDeclinesLeaveNoTrace) {
  for (const char* fen : {"4k3/8/8/8/3P4/8/8/4K3 w - -", "4k3/8/8/8/3P4/8/8/4K3 b - -"}) {
    SCOPED_TRACE(fen);
    Position pos = PositionFromFen(fen);
    int32_t general = Evaluate(-Wide, Wide, pos);
    scorerTable[pos.materialSignature] = AnswerFalse;
    pos.cacheFlags = 0;
    EXPECT_EQ(Evaluate(-Wide, Wide, pos), general);
    scorerTable[pos.materialSignature] = AnswerTrue;
    EXPECT_EQ(Evaluate(-Wide, Wide, pos), pos.sideToMove == White ? 123 : -123);
    scorerTable[pos.materialSignature] = nullptr;
  }
}

// One term on a fresh context: the attack cache made valid, the score starting at 0.
struct TermProbe {
  Position pos;
  EvalContext e;
  explicit TermProbe(const char* fen) : pos(PositionFromFen(fen)), e{pos, 0, false, false, 0} {
    const uint16_t sig = pos.materialSignature;
    e.whiteHasAttack = (sig & SigWhiteQueen) && (sig & 14);
    e.blackHasAttack = (sig & SigBlackQueen) && (sig & 448);
    EvaluatePawns(pos);
    ComputeWhiteAttacks(pos);
    ComputeBlackAttacks(pos);
  }
};

TEST_F(EvaluateTest, MobilityExtremes) {
  {
    TermProbe t("1K6/8/8/8/3Q4/8/8/7k w - -");
    QueenMobility(t.e);
    EXPECT_EQ(t.e.s, 22) << "27 free squares on an open board: 27 - 5";
  }
  {
    TermProbe t("7k/8/8/8/8/8/P7/RN5K w - -");
    WhiteRooks(t.e);
    EXPECT_EQ(t.e.s, -100) << "rook a1 hemmed in by a2 and b1: no square";
  }
}

TEST_F(EvaluateTest, BishopPairWithBothTrappedPatterns) {
  TermProbe t("4k3/B6B/1p4p1/8/8/8/8/4K3 w - -");
  WhiteBishops(t.e);
  // a7 reaches b8 and b6, h7 reaches g8 and g6 (the capture squares count): 2 squares,
  // -20 each; both traps -110 each; the pair +20.
  EXPECT_EQ(t.e.s, -20 - 20 - 110 - 110 + 20);
  EXPECT_EQ(t.e.bishopColours, 3);
}

TEST_F(EvaluateTest, RooksOnTheSeventh) {
  TermProbe t("3k4/R6R/8/8/8/8/8/4K3 w - -");
  WhiteRooks(t.e);
  // Each rook: six squares on the rank, a8/h8 above, six below: 13 squares, +8 each. They
  // see each other, every rook is on the 7th and the black king on the 8th: +25 once.
  EXPECT_EQ(t.e.s, 8 + 8 + 25);
}

TEST_F(EvaluateTest, KingShelters) {
  struct ShelterCase {
    const char* fen;
    bool white;
    int32_t pen;
    const char* why;
  } cases[] = {
      {"4k3/8/8/8/8/8/5PPP/6K1 w - -", true, 15, "g file: pawn g2 10, h pawn +5, f2 present"},
      {"4k3/8/8/8/8/8/5PPP/5K2 w - -", true, 5, "f file: pawn g2 0, h pawn +5, f2 present"},
      {"4k3/8/8/8/8/6P1/5P1P/6K1 w - -", true, 10,
       "g3 with no light bishop on either side: fianchettoOk 5, h pawn +5, f2 present"},
      {"4k3/8/4b3/8/8/6P1/5P1P/6K1 w - -", true, -15 + 5,
       "g3 against a black light bishop on e6: fianchettoBad -15, h pawn +5"},
      {"4k3/8/4b3/8/8/6P1/5P1P/5BK1 w - -", true, 5 + 5,
       "with a white light bishop on f1 the fianchetto is sound again"},
      {"4k3/8/8/8/4K3/8/8/8 w - -", true, -130, "e4: no shelter rules, -100, no pawns ahead -30"},
      {"4k3/8/8/8/8/8/8/4K2R w K -", true, -20, "e1 with the kingside right and f1, g1 empty"},
      {"4k3/8/8/8/8/8/8/R3K3 w Q -", true, -20, "e1 with the queenside right and b1-d1 empty"},
      {"4k3/8/8/8/8/8/8/RN2K3 w Q -", true, -40, "e1 with the queenside path blocked"},
      {"4k3/8/8/8/8/8/PPP5/1K6 w - -", true, 15, "b2 present, c2 and a2: p0 = 15"},
      {"4k3/8/8/8/8/1P6/P1P5/1K6 w - -", true, 10,
       "b3 with no dark bishop on either side: (5, 10, 0), c2 and a2: 10"},
      {"k7/8/8/8/8/8/8/4K3 w - -", false, -45,
       "a8 for black: b7 missing, no b6, no b5/b4: (-30, -25, -35); no c7, no a7/a6: -35; "
       "file a -10"},
      {"4k3/8/8/8/8/8/8/K7 w - -", true, -45,
       "a1: the same shelter from white's side: -35 and the edge -10"},
  };
  for (const ShelterCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    TermProbe t(c.fen);
    WhiteBishops(t.e);
    BlackBishops(t.e);
    EXPECT_EQ(ShelterPenalty(t.pos, c.white, t.e.bishopColours), c.pen);
  }
}

TEST_F(EvaluateTest, KingSafetyRoundsHalvesUp) {
  // White king b7: -100, fewer than two pawns ahead -30; nothing attacks its neighbours.
  // Black has a queen and a knight on e4 (315): 1215. -130 x 1215 / 3900 = -40.5, plus
  // one half is -40 exactly, whose floor is -40.
  TermProbe t("7k/1K6/8/8/4n3/8/8/7q w - -");
  ASSERT_TRUE(t.e.blackHasAttack);
  ASSERT_EQ(t.pos.blackMaterial, 1215);
  EXPECT_TRUE(WhiteKingTerms(t.e));
  EXPECT_EQ(t.e.s, -40);
  // The white king on g1 behind f2, g2, h2 (pen 15) against queen and rook (1400):
  // 15 x 1400 / 3900 = 5.38, plus a half 5.88: +5.
  TermProbe g("r6k/8/8/8/8/8/5PPP/q5K1 w - -");
  ASSERT_TRUE(g.e.blackHasAttack);
  EXPECT_TRUE(WhiteKingTerms(g.e));
  // a1 queen attacks b1..f1 but not g1's neighbours f1? f1 is next to g1 and empty: one
  // attacked square, so (15 - 20) x 1400 / 3900 = -1.79, plus a half: floor -1.29 = -2.
  EXPECT_EQ(g.e.s, -2);
}

TEST_F(EvaluateTest, BlockedPassedPawn) {
  TermProbe t("4k3/4n3/4P3/8/8/8/8/4K3 w - -");
  BlockedPassedPawns(t.e);
  EXPECT_EQ(t.e.s, -13) << "white passed e6 blocked by the knight on e7";
  TermProbe b("4k3/8/8/8/8/8/p7/N3K3 w - -");
  BlockedPassedPawns(b.e);
  EXPECT_EQ(b.e.s, 25) << "black passed a2 blocked by the knight on a1";
}

TEST_F(EvaluateTest, KnightOutposts) {
  struct OutpostCase {
    const char* fen;
    int32_t score;
    const char* why;
  } cases[] = {
      {"4k3/8/8/3N4/2P5/8/8/4K3 w - -", 20, "d5 defended by c4, black has no minor piece"},
      {"4k3/8/8/3N4/2P5/8/4b3/4K3 w - -", 10, "black bishop e2 on d5's colour (light)"},
      {"4k3/8/8/3N4/2P5/8/5b2/4K3 w - -", 20, "black bishop f2 on the other colour (dark)"},
      {"4k3/8/8/3N4/2P5/8/8/n3K3 w - -", 10, "a black knight anywhere"},
      {"4k3/2p5/8/3N4/2P5/8/8/4K3 w - -", 0, "black pawn c7 can chase it"},
      {"4k3/8/4p3/3N4/2P5/8/8/4K3 w - -", 0, "attacked by the pawn e6"},
      {"4k3/8/8/3N4/8/8/8/4K3 w - -", 0, "no defending pawn"},
      {"4k3/8/8/5p2/4n3/8/8/4K3 w - -", -20, "black knight e4 defended by f5"},
      {"4k3/8/8/5p2/4n3/8/3P4/4K3 w - -", 0, "the white pawn d2 can chase it"},
  };
  for (const OutpostCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    TermProbe t(c.fen);
    KnightOutposts(t.e);
    EXPECT_EQ(t.e.s, c.score);
  }
}

TEST_F(EvaluateTest, RooksAgainstMinorPieces) {
  struct BalanceCase {
    const char* fen;
    int32_t score;
    const char* why;
  } cases[] = {
      {"4k3/8/2bb4/8/8/8/8/R3K3 w - -", -20, "rook against two bishops: dN 0, dB -2"},
      {"4k3/8/2nn4/8/8/8/8/R3K3 w - -", 0, "rook alone against two knights: no penalty"},
      {"4k3/8/2nn4/8/8/8/8/RB2K3 w - -", -10, "rook and bishop against two knights: dN -2"},
      {"4k3/8/2nb4/8/8/8/8/RB2K3 w - -", 0, "rook, bishop against knight, bishop: dN -1, dB 0"},
      {"4k3/8/2nb4/8/8/8/8/RN2K3 w - -", 0, "dN 0 and dB -1"},
      {"4k3/8/2nbb3/8/8/8/8/RN2K3 w - -", -20, "dN 0 and dB -2"},
      {"4k3/8/2nb4/8/8/8/8/RQ2K3 w - -", -20, "dN -1, dB -1, white has a queen besides"},
      {"r3k3/8/8/8/8/8/8/2BB1K2 w - -", 20, "the mirror: two bishops against a rook"},
  };
  for (const BalanceCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    TermProbe t(c.fen);
    RooksAgainstMinors(t.e);
    EXPECT_EQ(t.e.s, c.score);
  }
}

TEST_F(EvaluateTest, QueenEndingsRewardAdvancedPassedPawns) {
  struct QueenCase {
    const char* fen;
    int32_t score;
  } cases[] = {
      {"k7/6P1/8/8/8/8/8/K1Q3q1 w - -", 100},
      {"k7/8/6P1/8/8/8/8/K1Q3q1 w - -", 50},
      {"k7/8/8/8/8/6p1/8/K1Q3q1 w - -", -50},
      {"k7/8/8/8/8/8/6p1/K1Q3q1 w - -", -100},
      {"k7/6P1/8/8/8/8/8/KRQ3q1 w - -", 0},  // a rook besides: not a queen ending
  };
  for (const QueenCase& c : cases) {
    SCOPED_TRACE(c.fen);
    TermProbe t(c.fen);
    QueenEndings(t.e);
    EXPECT_EQ(t.e.s, c.score);
  }
}

TEST_F(EvaluateTest, FewPawnsThresholds) {
  struct FewCase {
    const char* fen;
    int32_t before, after;
  } cases[] = {
      {"4k3/8/8/8/8/8/PP6/Q3K3 w - -", 51, 31},   // two pawns: -20
      {"4k3/8/8/8/8/8/PP6/Q3K3 w - -", 50, 50},   // exactly 50 untouched
      {"4k3/8/8/8/8/8/8/N3K3 w - -", 60, 0},      // no pawn: -100, not below 0
      {"4k3/pp6/8/8/8/8/8/4K3 w - -", -50, -50},  // exactly -50 untouched
      {"4k3/pp6/8/8/8/8/8/4K3 w - -", -51, -31},
      {"4k3/8/8/8/8/8/PP6/QR2K3 w - -", 500, 500},  // queen and rook: an attack, no change
  };
  for (const FewCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fen << " from " << c.before);
    TermProbe t(c.fen);
    t.e.s = c.before;
    FewPawns(t.e);
    EXPECT_EQ(t.e.s, c.after);
  }
}

// The guard answers 0 only for a true stalemate: the bare king to move, every square next
// to it covered and the king itself not attacked. Each colour, and the side not to move.
TEST_F(EvaluateTest, BareKingStalemateGuardOnlyWithoutCheck) {
  struct GuardCase {
    const char* fen;
    bool guard;
    const char* why;
  };
  const GuardCase cases[] = {
      {"7k/5Q2/6K1/8/8/8/8/8 b - -", true, "g8, g7, h7 covered by queen f7 and king g6, no check"},
      {"7k/6Q1/6K1/8/8/8/8/8 b - -", false, "queen g7 defended by g6 gives check: mate"},
      {"7k/5Q2/6K1/8/8/8/8/8 w - -", false, "white to move: nothing to guard"},
      {"7k/8/6K1/8/8/8/8/5Q2 b - -", false, "g8 is free"},
      {"8/8/8/8/8/6k1/5q2/7K w - -", true, "the mirror for a bare white king"},
      {"8/8/8/8/8/6k1/6q1/7K w - -", false, "the mirror of the mate"},
      {"8/8/8/8/8/6k1/5q2/7K b - -", false, "black to move"},
  };
  for (const GuardCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    TermProbe t(c.fen);
    bool whiteBare = t.pos.whiteMaterial == 0;
    bool answered = whiteBare ? BlackKingTerms(t.e) : WhiteKingTerms(t.e);
    EXPECT_EQ(!answered, c.guard);
  }
}

TEST_F(EvaluateTest, BareKingIsDrivenToTheBishopsCorner) {
  // K+B+N against K: with a light bishop the black king pays its distance to h1 or a8.
  TermProbe light("8/8/8/3k4/8/8/8/1B2K1N1 w - -");
  WhiteBishops(light.e);
  int32_t afterBishops = light.e.s;
  ASSERT_TRUE(WhiteKingTerms(light.e));
  // Kings d5 and e1: 1 + 4 = 5; lightCornerDistance[d5] = min(4 to h1, 3 to a8) = 3.
  EXPECT_EQ(light.e.s - afterBishops, -5 - 3);
  TermProbe dark("8/8/8/3k4/8/8/8/2B1K1N1 w - -");
  WhiteBishops(dark.e);
  afterBishops = dark.e.s;
  ASSERT_TRUE(WhiteKingTerms(dark.e));
  // darkCornerDistance[d5] = min(4 to a1, 4 to h8) = 4.
  EXPECT_EQ(dark.e.s - afterBishops, -5 - 4);
}

// The centre term is c x npm / 12520 truncated toward zero. Where c x npm is an exact
// multiple of 12520 a product with a rounded factor could land just below the whole number
// and truncate one too low; the exact answer is wanted.
TEST_F(EvaluateTest, CentreControlTruncatesTheExactProduct) {
  const WholeCase cases[] = {
      {"r3k2r/8/8/8/3NP3/8/5P2/N5K1 w - -", 5,
       "npm: knights a1 250 and d4 315, rooks 1000: 1565 (313 x 5). e4 holds a white pawn "
       "with a neighbour on the f file: 40; no slider bears on d4-e5 and no pawn stands on "
       "c3-f3, c4, f4: c = 40. 40 x 1565 = 62600 = 5 x 12520 exactly: 5"},
      {"r3k2r/8/8/8/3NP3/8/5P2/1N4K1 w - -", 5,
       "knight b1 is worth 267: npm 1582, 40 x 1582 / 12520 = 5.05: 5"},
      {"r3k2r/8/8/8/3NP3/8/5P2/N5K1 b - -", 5, "the side to move plays no part in the term"},
  };
  for (const WholeCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    TermProbe t(c.fen);
    CentreControl(t.e);
    EXPECT_EQ(t.e.s, c.score);
    Position flipped = ColourFlipped(t.pos);
    EvalContext mirror{flipped, 0, false, false, 0};
    ComputeWhiteAttacks(flipped);
    ComputeBlackAttacks(flipped);
    CentreControl(mirror);
    EXPECT_EQ(mirror.s, -c.score) << "the colour-flipped position";
  }
}

TEST_F(EvaluateTest, CentreSquareScores) {
  struct CentreCase {
    const char* fen;
    const char* square;
    int32_t score;
    const char* why;
  } cases[] = {
      {"3r3k/8/8/8/3P4/4P3/1B6/3Q3K w - -", "d4", 50,
       "white pawn with e3 beside: 40; bishop b2 on the diagonal +10, queen d1 on the file "
       "+10, rook d8 on the file -10"},
      {"3r3k/8/8/8/3P4/8/1B6/3Q3K w - -", "d4", 30, "the pawn alone: 20"},
      {"7k/8/8/4q3/8/8/8/7K w - -", "e5", -30, "black queen on the square; lines ignore it"},
      {"7k/8/8/8/8/2b5/8/Q6K w - -", "e5", -10, "the bishop c3 screens the queen a1"},
  };
  for (const CentreCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " " + c.square + ": " + c.why);
    Position pos = PositionFromFen(c.fen);
    EXPECT_EQ(CentreSquareScore(pos, SquareOf(c.square)), c.score);
  }
}

}  // namespace

namespace {

TEST_F(EvaluateTest, KingTablesAtChosenSquares) {
  struct TableCase {
    const int32_t* table;
    const char* name;
    const char* square;
    int32_t value;
  } cases[] = {
      {edgeRing, "edgeRing", "e4", 0},           {edgeRing, "edgeRing", "c6", 1},
      {edgeRing, "edgeRing", "b4", 2},           {edgeRing, "edgeRing", "h5", 3},
      {kingCentreTable, "centre", "d5", 15},     {kingCentreTable, "centre", "a8", 0},
      {kingQueensideTable, "queenside", "c4", 15}, {kingQueensideTable, "queenside", "h1", -15},
      {kingQueensideTable, "queenside", "e6", 5}, {kingQueensideTable, "queenside", "f7", 0},
      {kingKingsideTable, "kingside", "f5", 15}, {kingKingsideTable, "kingside", "a8", -15},
      {kingKingsideTable, "kingside", "c3", 0},  {lightCornerDistance, "light corner", "a1", 7},
      {lightCornerDistance, "light corner", "b7", 1}, {lightCornerDistance, "light corner", "e4", 3},
      {darkCornerDistance, "dark corner", "h1", 7}, {darkCornerDistance, "dark corner", "g7", 1},
      {darkCornerDistance, "dark corner", "e4", 4},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.square);
    EXPECT_EQ(c.table[SquareOf(c.square)], c.value);
  }
}

}  // namespace
