// The exact order of GenerateLegalMoves, written out by hand from its rules: the opening
// book stores moves as indices into this list, so any change of order breaks book files.

#include "movegen_test_support.h"

namespace {

struct OrderCase {
  const char* name;
  const char* fen;
  const char* moves;
};

class LegalMoveOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(LegalMoveOrder, IsExactlyAsWrittenOut) {
  Position pos = FromFen(GetParam().fen);
  GenerateLegalMoves(pos);
  EXPECT_EQ(MoveNames(pos), Split(GetParam().moves));
}

const OrderCase orderCases[] = {
    // Pushes by origin square, each single step followed by its double step; then the
    // knights by square.
    {"StartPosition", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
     "a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4 "
     "b1a3 b1c3 g1f3 g1h3"},
    // Castling queen-side then king-side; the promoting capture on a8 (queen, rook, bishop,
    // knight); pushes by origin, so e5 (square 36) before b7 (49); king moves ascending;
    // the rooks by square; en passant last.
    {"CastlingPromotionsEnPassant", "r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6",
     "e1c1 e1g1 b7a8q b7a8r b7a8b b7a8n e5e6 b7b8q b7b8r b7b8b b7b8n "
     "e1d1 e1f1 e1d2 e1e2 e1f2 "
     "a1b1 a1c1 a1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 "
     "h1f1 h1g1 h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 e5d6"},
    // Bishop b4 checks along c3-d2: the pawn step onto c3, king moves (d2 is attacked), then
    // the men onto b4, c3 or d2 by square: knight b1 to d2 and c3, bishop a5 takes b4.
    {"SliderCheck", "4k3/8/8/B7/1b6/8/2P1P3/RN2K2R w K -", "c2c3 e1d1 e1f1 e1f2 b1d2 b1c3 a5b4"},
    // Rook h1 and bishop b4 both check: king moves only, and d1 is taken away by the rook
    // although it looks safe with the king still on e1.
    {"DoubleCheck", "1k6/8/8/8/1b6/8/8/R3K2r w Q -", "e1e2 e1f2"},
    // Black in check from a knight (f7 is covered by it): the pawn capture from the lower
    // file, king moves ascending, then the bishop's capture; no castling in check.
    {"KnightCheckBlack", "r3kb1r/2p5/3N4/8/8/8/8/4K3 b kq -", "c7d6 e8d7 e8e7 e8d8 f8d6"},
};

INSTANTIATE_TEST_SUITE_P(WrittenOut, LegalMoveOrder, testing::ValuesIn(orderCases),
                         [](const testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

}  // namespace
