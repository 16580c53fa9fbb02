// The generators on hand-made positions: the exact order of the unscored list (the opening
// book stores moves as indices into it), the rules of castling, pins and en passant, and the
// mate tests.

#include "movegen_test_support.h"

namespace {

const std::pair<const char*, const char*> orderCases[] = {
    // Pushes by origin square, each single step followed by its double step; the knights.
    {StartFen,
     "a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4 b1a3 b1c3 g1f3 g1h3"},
    // Castling queen-side first; the promoting capture (queen, rook, bishop, knight); pushes by
    // origin; king moves ascending; the rooks by square; en passant last.
    {"r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6",
     "e1c1 e1g1 b7a8q b7a8r b7a8b b7a8n e5e6 b7b8q b7b8r b7b8b b7b8n e1d1 e1f1 e1d2 e1e2 e1f2 "
     "a1b1 a1c1 a1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 h1f1 h1g1 h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 e5d6"},
    // In check from a slider: blocks and captures only, king moves ascending in between.
    {"4k3/8/8/B7/1b6/8/2P1P3/RN2K2R w K -", "c2c3 e1d1 e1f1 e1f2 b1d2 b1c3 a5b4"},
    // Double check: king moves only; d1 looks safe with the king still on e1.
    {"1k6/8/8/8/1b6/8/8/R3K2r w Q -", "e1e2 e1f2"},
    // Black in check from a knight: no castling.
    {"r3kb1r/2p5/3N4/8/8/8/8/4K3 b kq -", "c7d6 e8d7 e8e7 e8d8 f8d6"},
};

TEST(LegalMoveOrder, IsExactlyAsWrittenOut) {
  for (auto [fen, moves] : orderCases) {
    Position pos = FromFen(fen);
    GenerateLegalMoves(pos);
    EXPECT_EQ(MoveNames(pos), moves) << fen;
  }
}

// legal: listed by the search's generator; listed: by the unscored one, which leaves pins
// to the caller.
struct PresenceCase { const char *fen, *move; bool legal, listed = true; };

const PresenceCase presenceCases[] = {
    // En passant that opens a line onto the own king.
    {"4k3/8/8/r1pPK3/8/8/8/8 w - c6", "d5c6", false},
    {"4k3/8/8/2pPK3/8/8/8/8 w - c6", "d5c6", true},
    {"6bk/8/8/3pP3/8/8/K7/8 w - d6", "e5d6", false},
    {"6bk/8/4B3/3pP3/8/8/K7/8 w - d6", "e5d6", true},
    {"8/8/8/8/k2pP2R/8/8/4K3 b - e3", "d4e3", false},
    // Stepping back along the checking rook's file.
    {"4r2k/8/8/8/4K3/8/8/8 w - -", "e4e3", false, false},
    // Castling: only the king's squares must be safe (the perft suites cover them); b1 need
    // only be empty.
    {"1r2k3/8/8/8/8/8/8/R3K3 w Q -", "e1c1", true},
    {"4k3/8/8/8/8/8/8/r3K2R w K -", "e1g1", false, false},
    // Pinned men: none leaves the line, but one may take its pinner.
    {"4k3/4r3/8/8/8/8/4N3/4K3 w - -", "e2c3", false},
    {"4k3/8/8/b7/8/8/3B4/4K3 w - -", "d2a5", true},
    {"4k3/8/8/b7/8/8/3B4/4K3 w - -", "d2e3", false},
    {"4k3/8/8/8/8/4q3/3P4/2K5 w - -", "d2d3", false},
    {"4k3/8/8/8/8/4q3/3P4/2K5 w - -", "d2e3", true},
    {"2k5/3p4/4Q3/8/8/8/8/4K3 b - -", "d7d5", false},
    // In check a pinned man makes no move, even onto the checking line.
    {"4k3/8/8/b7/8/8/3N4/r3K3 w - -", "d2b1", false},
};

TEST(MovePresence, AsTheRulesSay) {
  for (const PresenceCase& c : presenceCases) {
    SCOPED_TRACE(std::string(c.fen) + " " + c.move);
    Position pos = FromFen(c.fen);
    GenerateMoves(pos);
    EXPECT_EQ(FindMove(pos, c.move) != nullptr, c.legal) << "search generator";
    GenerateLegalMoves(pos);
    const Move* listed = FindMove(pos, c.move);
    ASSERT_EQ(listed != nullptr, c.listed) << "unscored generator";
    Position trial;
    EXPECT_TRUE(!listed || MoveIsLegal(pos, *listed, trial) == c.legal) << "legality filter";
  }
}

struct MateCase { const char* fen; bool mated, mateInOne; };  // mate in one by a quiet move

const MateCase mateCases[] = {
    {"7k/5Q2/6K1/8/8/8/8/8 b - -", false, false},  // stalemate
    {"6k1/8/8/8/8/8/5PPP/r5K1 w - -", true, false},
    {"4Q1k1/5ppp/8/8/8/8/8/6K1 b - -", true, false},   // h8 is covered through the king
    {"4k3/8/8/8/8/1b3n2/3PPP2/3rK3 w - -", true, false},  // double check
    {"4k3/8/8/8/8/5n2/3PPP2/3rK3 w - -", false, false},   // the king takes one checker
    {"7k/8/4p3/1PPpP3/1PKP4/1PPP4/8/8 w - d6", false, false},  // only en passant answers
    {"7k/8/4p3/1PPpP3/1PKP4/1PPP4/8/8 w - -", true, false},
    {"6k1/5ppp/8/8/8/8/8/R5K1 w - -", false, true},
    {"r5k1/5ppp/8/8/8/8/8/R5K1 w - -", false, false},  // only by a capture
    {"6k1/4Pppp/8/8/8/8/8/6K1 w - -", false, false},   // only by a promotion
    {"6rk/6p1/8/8/8/8/7B/K6R w - -", false, true},     // discovered by any bishop move
    {"7k/6pp/8/8/8/8/4R3/3K4 w - -", false, true},
    {"7k/6pp/8/7b/8/8/4R3/3K4 w - -", false, false},  // the rook that would mate is pinned
};

TEST(MateTests, AsExpected) {
  for (const MateCase& c : mateCases) {
    SCOPED_TRACE(c.fen);
    Position pos = FromFen(c.fen), trial;
    EXPECT_EQ(IsMated(pos), c.mated);
    EXPECT_EQ(HasMateInOne(pos, trial), c.mateInOne);
  }
}

}  // namespace
