// Mate and legality tests on hand-made positions.

#include "movegen_test_support.h"

namespace {

struct MateCase {
  const char* name;
  const char* fen;
  bool expected;
};

class IsMatedCase : public testing::TestWithParam<MateCase> {};

TEST_P(IsMatedCase, AsExpected) {
  Position pos = FromFen(GetParam().fen);
  EXPECT_EQ(IsMated(pos), GetParam().expected);
}

const MateCase isMatedCases[] = {
    {"FoolsMate", "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", true},
    // No move at all, but no check either.
    {"Stalemate", "7k/5Q2/6K1/8/8/8/8/8 b - -", false},
    {"BackRank", "6k1/8/8/8/8/8/5PPP/r5K1 w - -", true},
    {"BishopInterposes", "6k1/8/8/8/8/8/4BPPP/r5K1 w - -", false},
    {"KnightTakesChecker", "6k1/8/8/8/8/1N6/5PPP/r5K1 w - -", false},
    // The h8 square looks safe with the king on g8 but the queen on e8 sees through it.
    {"QueenAlongRankThroughKing", "4Q1k1/5ppp/8/8/8/8/8/6K1 b - -", true},
    {"RookInterposes", "6k1/8/8/8/8/8/4RPPP/r5K1 w - -", false},
    // Double check from rook and knight; the bishop guards d1 and f1 is behind the king.
    {"DoubleCheck", "4k3/8/8/8/8/1b3n2/3PPP2/3rK3 w - -", true},
    {"DoubleCheckKingTakes", "4k3/8/8/8/8/5n2/3PPP2/3rK3 w - -", false},
    // The king on c4 is walled in by its own pawns and d5 is defended by e6; the checking
    // pawn has just made its double step and only en passant takes it.
    {"EnPassantAnswersCheck", "7k/8/4p3/1PPpP3/1PKP4/1PPP4/8/8 w - d6", false},
    {"SameWithoutEnPassant", "7k/8/4p3/1PPpP3/1PKP4/1PPP4/8/8 w - -", true},
};

INSTANTIATE_TEST_SUITE_P(Examples, IsMatedCase, testing::ValuesIn(isMatedCases),
                         [](const testing::TestParamInfo<MateCase>& info) { return std::string(info.param.name); });

class MateInOneCase : public testing::TestWithParam<MateCase> {};

TEST_P(MateInOneCase, AsExpected) {
  Position pos = FromFen(GetParam().fen);
  Position trial{};
  EXPECT_EQ(HasMateInOne(pos, trial), GetParam().expected);
}

const MateCase mateInOneCases[] = {
    {"QuietRookMate", "6k1/5ppp/8/8/8/8/8/R5K1 w - -", true},
    // Rxa8 mates, but it is a capture.
    {"OnlyByCapture", "r5k1/5ppp/8/8/8/8/8/R5K1 w - -", false},
    // e8=Q mates, but it is a promotion.
    {"OnlyByPromotion", "6k1/4Pppp/8/8/8/8/8/6K1 w - -", false},
    // Any bishop move uncovers the rook on h1; nothing can block the h-file.
    {"DiscoveredMate", "6rk/6p1/8/8/8/8/7B/K6R w - -", true},
    {"KnightSmotheredMate", "6rk/6pp/8/6N1/8/8/8/K7 w - -", true},
    {"BlackQueenMate", "k7/8/8/8/8/8/q4PPP/6K1 b - -", true},
    // Qxd1 mates, but it is a capture.
    {"BlackOnlyByCapture", "k7/8/8/8/8/8/q4PPP/3R2K1 b - -", false},
    {"BlackBackRankMate", "k7/8/8/8/8/8/r4PPP/6K1 b - -", true},
};

INSTANTIATE_TEST_SUITE_P(Examples, MateInOneCase, testing::ValuesIn(mateInOneCases),
                         [](const testing::TestParamInfo<MateCase>& info) { return std::string(info.param.name); });

TEST(MoveMates, RefusesAMoveThatLeavesTheKingAttacked) {
  // Ra8 would mate, but the rook is pinned to its king by the bishop on a7... it is not on
  // the line, so use a pinned rook on the e-file instead: the e-file rook may not leave.
  Position pos = FromFen("4r1k1/5ppp/8/8/8/8/4R3/4K3 w - -");
  Position trial{};
  Move move{0, 12, 60, 0, 0};  // Re2xe8 is a legal capture mate
  EXPECT_TRUE(MoveMates(pos, trial, move));
  Move away{0, 12, 8, 0, 0};  // Re2-a2 leaves the king to the e8 rook
  EXPECT_FALSE(MoveMates(pos, trial, away));
  EXPECT_FALSE(MoveIsLegal(pos, away));
  EXPECT_TRUE(MoveIsLegal(pos, move));
}

TEST(CopyPlayState, ClearsTheCacheAndCopiesThePlacement) {
  Position source = FromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
  GenerateMoves(source);
  Position dest = FromFen(StartFen);
  GenerateMoves(dest);
  CopyPlayState(dest, source);
  EXPECT_EQ(dest.cacheFlags, 0);
  dest.hashKey = source.hashKey;
  dest.fiftyCounter = source.fiftyCounter;
  EXPECT_TRUE(PositionIsConsistent(dest));
  GenerateMoves(dest);
  EXPECT_EQ(dest.moveCount, 48);
}

}  // namespace

namespace {

// The knight on e2 is pinned along the file by e7, the pawn on d2 along the diagonal by b4;
// the knight on c6 stands alone between the a4 bishop and the black king.
TEST(LineFinders, PinsAndDiscoveredCheckCandidates) {
  Position pos = FromFen("4k3/4r3/2N5/8/Bb6/8/3PN3/4K3 w - -");
  Bitboard lines[64] = {};
  const int d2 = 11, e2 = 12, c6 = 42;
  EXPECT_EQ(PinnedMen(pos, White, lines), Bit(d2) | Bit(e2));
  // e7 down to e2: squares 52, 44, 36, 28, 20, 12; b4, c3, d2: 25, 18, 11.
  EXPECT_EQ(lines[e2], Bit(52) | Bit(44) | Bit(36) | Bit(28) | Bit(20) | Bit(12));
  EXPECT_EQ(lines[d2], Bit(25) | Bit(18) | Bit(11));
  EXPECT_EQ(PinnedMen(pos, Black, lines), 0u);
  EXPECT_EQ(DiscoveredCheckCandidates(pos, White, lines), Bit(c6));
  // a4, b5, c6, d7 form the line; every other square uncovers the check.
  EXPECT_EQ(lines[c6], ~(Bit(24) | Bit(33) | Bit(42) | Bit(51)));
  EXPECT_EQ(DiscoveredCheckCandidates(pos, Black, lines), 0u);
}

}  // namespace
