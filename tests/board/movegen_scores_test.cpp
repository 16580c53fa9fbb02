// Ordering scores and exchange values, each with its arithmetic written out. The move
// popularity entries come from the table itself: its data is supplied separately.

#include "movegen_test_support.h"

namespace {

int32_t Popularity(int code, const std::string& from, const std::string& to) {
  int f = (from[0] - 'a') + 8 * (from[1] - '1');
  int t = (to[0] - 'a') + 8 * (to[1] - '1');
  return movePopularity[code][f * 64 + t];
}

Position Generated(const std::string& fen) {
  Position pos = FromFen(fen);
  GenerateMoves(pos);
  return pos;
}

struct ScoreCase {
  const char* name;
  const char* fen;
  const char* move;
  int popularityCode;  // 0: no popularity term
  int32_t scoreWithoutPopularity;
};

class MoveScore : public testing::TestWithParam<ScoreCase> {};

TEST_P(MoveScore, MatchesHandComputedValue) {
  const ScoreCase& c = GetParam();
  Position pos = Generated(c.fen);
  const Move* move = FindMove(pos, c.move);
  ASSERT_NE(move, nullptr) << c.move;
  std::string name = c.move;
  int32_t popularity = c.popularityCode ? Popularity(c.popularityCode, name.substr(0, 2), name.substr(2, 2)) : 0;
  EXPECT_EQ(move->score, c.scoreWithoutPopularity + popularity);
}

const ScoreCase scoreCases[] = {
    // Black pawns stand on every passed mask, so the first moves score their popularity only.
    {"KnightOpening", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "g1f3", WhiteKnight, 0},
    {"PawnOpening", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "d2d4", WhitePawn, 0},
    // Queen promotion on a safe square: 90000 - 100; rook: 50000 - 100; knight 29500 - 100.
    {"QueenPromotionSafe", "8/4P3/8/8/8/8/k7/4K3 w - -", "e7e8q", 0, 89900},
    {"RookPromotionSafe", "8/4P3/8/8/8/8/k7/4K3 w - -", "e7e8r", 0, 49900},
    {"KnightPromotionSafe", "8/4P3/8/8/8/8/k7/4K3 w - -", "e7e8n", 0, 29400},
    // The rook on d8 covers e8: 89900 minus half the queen (45000).
    {"QueenPromotionAttacked", "3r4/4P3/8/8/8/8/k7/4K3 w - -", "e7e8q", 0, 44900},
    // Taking the undefended rook while promoting: 89900 + 50000.
    {"QueenPromotionCapture", "3r4/4P3/8/8/8/8/k7/4K3 w - -", "e7d8q", 0, 139900},
    // A free pawn takes a knight: 29500 plus the push bonus of rank 5 (2500).
    {"FreePawnCapture", "4k3/8/8/3n4/4P3/8/8/4K3 w - -", "e4d5", WhitePawn, 32000},
    {"FreePawnPush", "4k3/8/8/3n4/4P3/8/8/4K3 w - -", "e4e5", WhitePawn, 2500},
    // A black free pawn pushing to rank 3 earns the black bonus 5000.
    {"BlackFreePawnPush", "4k3/8/8/8/3p4/8/8/4K3 b - -", "d4d3", BlackPawn, 5000},
    // En passant and castling have fixed scores.
    {"EnPassant", "4k3/8/8/2pP4/8/8/8/4K3 w - c6", "d5c6", 0, 10000},
    {"Castling", "4k3/8/8/8/8/8/8/R3K3 w Q -", "e1c1", 0, 1000},
    // A knight attacked by a pawn and not defended moves in the first pass with a quarter
    // of its value as bonus: 29500 / 4 = 7375.
    {"ThreatenedKnight", "4k3/8/8/3p4/4N3/8/8/4K3 w - -", "e4c3", WhiteKnight, 7375},
    // Defended by the f3 pawn: the pawn takes (10000 to the enemy... ) our pawn retakes and
    // gains 10000, so the loss is 29500 - 10000 = 19500 and the bonus 19500 / 4 = 4875.
    {"DefendedThreatenedKnight", "4k3/8/8/3p4/4N3/5P2/8/4K3 w - -", "e4c3", WhiteKnight, 4875},
    // Knight takes a rook defended by the c7 pawn: 50000 for the rook, minus the knight lost
    // to the pawn's recapture (29500, nothing of ours retakes): 20500.
    {"CaptureOfDefendedRook", "4k3/2p5/3r4/8/4N3/8/8/4K3 w - -", "e4d6", WhiteKnight, 20500},
    // King takes an undefended knight: 29500.
    {"KingCapture", "4k3/8/8/8/8/8/4n3/4K3 w - -", "e1e2", WhiteKing, 29500},
};

INSTANTIATE_TEST_SUITE_P(Examples, MoveScore, testing::ValuesIn(scoreCases),
                         [](const testing::TestParamInfo<ScoreCase>& info) { return std::string(info.param.name); });

TEST(GenerateMovesRules, StartPositionHasTwentyMoves) {
  EXPECT_EQ(Generated(StartFen).moveCount, 20);
}

TEST(GenerateMovesRules, SecondCallKeepsTheList) {
  Position pos = Generated(StartFen);
  pos.moveList[1].score = 12345;
  GenerateMoves(pos);
  EXPECT_EQ(pos.moveList[1].score, 12345);
}

// The other generators overwrite the list, so a later GenerateMoves must build it again.
TEST(GenerateMovesRules, OtherGeneratorsInvalidateTheList) {
  Position pos = Generated("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
  GenerateCaptures(pos);
  GenerateMoves(pos);
  EXPECT_EQ(pos.moveCount, 48);
  GenerateLegalMoves(pos);
  pos.moveList[1].score = 0;
  GenerateMoves(pos);
  EXPECT_EQ(pos.moveCount, 48);
  EXPECT_NE(pos.moveList[1].score, 0);
}

struct PresenceCase {
  const char* name;
  const char* fen;
  const char* move;
  bool inGenerateMoves;
  bool inLegalList;
};

class MovePresence : public testing::TestWithParam<PresenceCase> {};

TEST_P(MovePresence, AsTheRulesSay) {
  const PresenceCase& c = GetParam();
  Position pos = Generated(c.fen);
  EXPECT_EQ(FindMove(pos, c.move) != nullptr, c.inGenerateMoves);
  GenerateLegalMoves(pos);
  EXPECT_EQ(FindMove(pos, c.move) != nullptr, c.inLegalList);
}

const PresenceCase presenceCases[] = {
    // Taking en passant would open the fifth rank between the rook on a5 and the king.
    {"EnPassantRankExposure", "4k3/8/8/r1pPK3/8/8/8/8 w - c6", "d5c6", false, true},
    {"EnPassantWithoutRook", "4k3/8/8/2pPK3/8/8/8/8 w - c6", "d5c6", true, true},
    // A set-up position: the d5 pawn alone shields the king on a2 from the bishop on g8, so
    // taking it en passant would leave the king in check.
    {"EnPassantDiagonalExposure", "6bk/8/8/3pP3/8/8/K7/8 w - d6", "e5d6", false, true},
    {"EnPassantDiagonalShielded", "6bk/8/4B3/3pP3/8/8/K7/8 w - d6", "e5d6", true, true},
    // Stepping back along the checking rook's file still looks safe with the king on e4.
    {"NoStepBackFromRook", "4r2k/8/8/8/4K3/8/8/8 w - -", "e4e3", false, false},
    {"SideStepFromRook", "4r2k/8/8/8/4K3/8/8/8 w - -", "e4d3", true, true},
    // Queen-side castling only needs b1 empty, not safe.
    {"QueenSideWithB1Attacked", "1r2k3/8/8/8/8/8/8/R3K3 w Q -", "e1c1", true, true},
    {"QueenSideWithC1Attacked", "2r1k3/8/8/8/8/8/8/R3K3 w Q -", "e1c1", false, false},
    {"KingSideWithF1Attacked", "4kr2/8/8/8/8/8/8/4K2R w K -", "e1g1", false, false},
    {"KingSideWithG1Attacked", "4k1r1/8/8/8/8/8/8/4K2R w K -", "e1g1", false, false},
    {"NoCastlingInCheck", "4k3/8/8/8/8/8/8/r3K2R w K -", "e1g1", false, false},
    // A pinned knight has no moves in the search's list but is listed unfiltered.
    {"PinnedKnight", "4k3/4r3/8/8/8/8/4N3/4K3 w - -", "e2c3", false, true},
    // A pinned bishop may move along the pin and take the pinner.
    {"PinnedBishopAlongPin", "4k3/8/8/b7/8/8/3B4/4K3 w - -", "d2c3", true, true},
    {"PinnedBishopTakesPinner", "4k3/8/8/b7/8/8/3B4/4K3 w - -", "d2a5", true, true},
    {"PinnedBishopOffPin", "4k3/8/8/b7/8/8/3B4/4K3 w - -", "d2e3", false, true},
    // In check a pinned man makes no move, even onto the checking line.
    {"PinnedManInCheck", "4k3/8/8/b7/8/8/3N4/r3K3 w - -", "d2b1", false, true},
};

INSTANTIATE_TEST_SUITE_P(Examples, MovePresence, testing::ValuesIn(presenceCases),
                         [](const testing::TestParamInfo<PresenceCase>& info) { return std::string(info.param.name); });

TEST(GenerateMovesRules, DoubleCheckListsOnlyKingMoves) {
  Position pos = Generated("1k6/8/8/8/1b6/8/8/R3K2r w Q -");
  EXPECT_EQ(MoveNames(pos), Split("e1e2 e1f2"));
}

struct SeeCase {
  const char* name;
  const char* fen;
  const char* target;
  int32_t victimValue;
  int32_t gain;
};

class SeeGainValue : public testing::TestWithParam<SeeCase> {};

TEST_P(SeeGainValue, MatchesHandComputedValue) {
  const SeeCase& c = GetParam();
  Position pos = FromFen(c.fen);
  ExchangeState state = MakeExchangeState(pos, (c.target[0] - 'a') + 8 * (c.target[1] - '1'));
  EXPECT_EQ(SeeGain(state, c.victimValue, pos.sideToMove), c.gain);
}

const SeeCase seeCases[] = {
    // The pawn takes a knight nobody defends: 29500.
    {"PawnTakesKnight", "4k3/8/8/3n4/4P3/8/8/4K3 w - -", "d5", 29500, 29500},
    // The rook takes the knight, the c6 pawn takes the rook: 29500 - 50000 < 0, so 0.
    {"RookTakesDefendedKnight", "4k3/8/2p5/3n4/8/8/8/3RK3 w - -", "d5", 29500, 0},
    // Doubled rooks: e2 takes, e8 retakes, the rear rook e1 joins and retakes, nothing is
    // left: 50000 - 0 for the last step, 50000 - 50000 = 0 before it, 29500 - 0 overall.
    {"DoubledRooksJoin", "4r1k1/8/8/4n3/8/8/4R3/4RK2 w - -", "e5", 29500, 29500},
    {"SingleRookFails", "4r1k1/8/8/4n3/8/8/4R3/5K2 w - -", "e5", 29500, 0},
    // Nothing attacks the square.
    {"NoAttacker", "4k3/8/8/3n4/8/8/8/4K3 w - -", "d5", 29500, 0},
    // The king takes only what is undefended: a defended pawn is worth nothing to it.
    {"KingIntoDefence", "4k3/8/8/8/8/2p5/3p4/4K3 w - -", "d2", 10000, 0},
    {"KingTakesUndefended", "4k3/8/8/8/8/8/3p4/4K3 w - -", "d2", 10000, 10000},
};

INSTANTIATE_TEST_SUITE_P(Examples, SeeGainValue, testing::ValuesIn(seeCases),
                         [](const testing::TestParamInfo<SeeCase>& info) { return std::string(info.param.name); });

TEST(AttackCache, PawnsOnTheEdgeFilesAttackOneSquare) {
  Position pos = FromFen("4k3/8/8/8/8/8/P6P/4K3 w - -");
  ComputeWhiteAttacks(pos);
  EXPECT_EQ(pos.whitePawnAttacks, Bit(17) | Bit(22));  // b3 and g3
}

TEST(AttackCache, SecondCallReturnsTheCachedUnion) {
  Position pos = FromFen(StartFen);
  Bitboard first = ComputeWhiteAttacks(pos);
  pos.whiteAttacks = 0x1234;  // a recomputation would overwrite this
  EXPECT_EQ(ComputeWhiteAttacks(pos), 0x1234u);
  pos.cacheFlags = 0;
  EXPECT_EQ(ComputeWhiteAttacks(pos), first);
}

struct CaptureCase {
  const char* name;
  const char* fen;
  const char* move;
  int32_t score;
};

class CaptureScore : public testing::TestWithParam<CaptureCase> {};

TEST_P(CaptureScore, MatchesHandComputedValue) {
  Position pos = FromFen(GetParam().fen);
  GenerateCaptures(pos);
  const Move* move = FindMove(pos, GetParam().move);
  ASSERT_NE(move, nullptr);
  EXPECT_EQ(move->score, GetParam().score);
}

const CaptureCase captureCases[] = {
    {"SafePromotion", "8/4P3/8/8/8/8/k7/4K3 w - -", "e7e8q", 80000},
    {"AttackedPromotion", "3r4/4P3/8/8/8/8/k7/4K3 w - -", "e7e8q", 35000},
    {"PromotionCapture", "3r4/4P3/8/8/8/8/k7/4K3 w - -", "e7d8q", 130000},
    {"QueenTakesUndefendedRook", "4k3/8/8/3r4/8/8/8/3QK3 w - -", "d1d5", 50000},
    // Defended by the e6 pawn: 50000 minus half the queen, 45000.
    {"QueenTakesDefendedRook", "4k3/8/4p3/3r4/8/8/8/3QK3 w - -", "d1d5", 5000},
    // A pawn taking a defended knight: 29500 - 5000.
    {"PawnTakesDefendedKnight", "4k3/8/2p5/3n4/4P3/8/8/4K3 w - -", "e4d5", 24500},
};

INSTANTIATE_TEST_SUITE_P(Examples, CaptureScore, testing::ValuesIn(captureCases),
                         [](const testing::TestParamInfo<CaptureCase>& info) { return std::string(info.param.name); });

TEST(GenerateCaptures, OnlyQueenPromotionsAndNoEnPassant) {
  Position pos = FromFen("3r3k/4P3/8/2pP4/8/8/8/4K3 w - c6");
  GenerateCaptures(pos);
  EXPECT_EQ(MoveNames(pos), Split("e7d8q e7e8q"));
}

}  // namespace

namespace {

struct PenaltyCase {
  const char* name;
  const char* fen;
  const char* move;
  int32_t penalty;
};

class QuietPenalty : public testing::TestWithParam<PenaltyCase> {};

TEST_P(QuietPenalty, LowersOnlyMovesOntoAttackedSquares) {
  Position pos = FromFen(GetParam().fen);
  GenerateMoves(pos);
  int indices[256];
  int32_t scores[256];
  for (int i = 1; i <= pos.moveCount; ++i) {
    indices[i] = i;
    scores[i] = 1000000;
  }
  QuietMovePenalty(pos, pos.moveCount, indices, scores);
  const Move* move = FindMove(pos, GetParam().move);
  ASSERT_NE(move, nullptr);
  EXPECT_EQ(scores[move - pos.moveList], 1000000 - GetParam().penalty);
}

const PenaltyCase penaltyCases[] = {
    // The c6 pawn takes the knight on d5 and nothing retakes: the whole knight, 29500.
    {"KnightOntoPawnAttack", "4k3/8/2p5/8/8/2N5/8/4K3 w - -", "c3d5", 29500},
    // The e4 pawn retakes the c6 pawn: 29500 - 10000 = 19500.
    {"DefendedKnightOntoPawnAttack", "4k3/8/2p5/8/4P3/2N5/8/4K3 w - -", "c3d5", 19500},
    {"SafeSquare", "4k3/8/2p5/8/8/2N5/8/4K3 w - -", "c3e4", 0},
    // Rook to b1: the least valuable attacker of b1 is the bishop on e4 (e4-d3-c2-b1); it
    // takes, our queen retakes and the rook on b5 takes the queen, so the queen's recapture
    // gains max(0, 30000 - (90000 - 0)) = 0 and the rook is lost whole: 50000.
    {"RookLostAndNotRegained", "4k3/8/8/1r6/4b3/8/Q7/2R1K3 w - -", "c1b1", 50000},
    // Without the bishop the queen's recapture wins the rook back: 50000 - 50000 = 0.
    {"RookRegained", "4k3/8/8/1r6/8/8/Q7/2R1K3 w - -", "c1b1", 0},
};

INSTANTIATE_TEST_SUITE_P(Examples, QuietPenalty, testing::ValuesIn(penaltyCases),
                         [](const testing::TestParamInfo<PenaltyCase>& info) { return std::string(info.param.name); });

}  // namespace
