// The foundation: attack tables against slow ray walks, make move against positions written
// out by hand, and the exact order of the unscored move list (the opening book stores moves as
// indices into it), and the legality rules and mate tests on hand-made positions: set-ups
// only, and paths (en passant, x-rays, pinned answers) random games seldom reach.

#include <random>
#include <sstream>
#include <vector>

#include "movegen_test_support.h"

namespace {

// Walks from `square` in direction (df, dr) over `occupied`, stopping after the first man.
Bitboard WalkRay(int square, int df, int dr, Bitboard occupied) {
  Bitboard set = 0;
  for (int f = FileOf(square) + df, r = RankOf(square) + dr; f >= 0 && f < 8 && r >= 0 && r < 8; f += df, r += dr) {
    set |= Bit(MakeSquare(f, r));
    if (occupied & Bit(MakeSquare(f, r))) break;
  }
  return set;
}

Bitboard WalkLine(int square, int df, int dr, Bitboard occupied) {
  return WalkRay(square, df, dr, occupied) | WalkRay(square, -df, -dr, occupied);
}

// For every square and every subset of the men on each of its four lines, with the rest of
// the board filled at random: the lookup sees exactly the walked attacks, so bits the packing
// shares with neighbouring lines must not matter.
TEST(Tables, SliderLookupsMatchRayWalksForEveryOccupancyOfEachLine) {
  InitTables();
  std::mt19937_64 rng(99);
  const int directions[4][2] = {{1, 0}, {0, 1}, {-1, 1}, {1, 1}};
  for (int s = 0; s < 64; ++s)
    for (int d = 0; d < 4; ++d) {
      const int df = directions[d][0], dr = directions[d][1];
      std::vector<int> squares;
      for (Bitboard set = WalkLine(s, df, dr, 0); set;) squares.push_back(PopLowest(set));
      for (unsigned subset = 0; subset < (1u << squares.size()); ++subset) {
        Bitboard occupied = rng() & ~WalkLine(s, df, dr, 0) & ~Bit(s);
        for (size_t i = 0; i < squares.size(); ++i)
          if (subset & (1u << i)) occupied |= Bit(squares[i]);
        Position pos{};
        for (Bitboard set = occupied | Bit(s); set;) pos.board[PopLowest(set)] = WhitePawn;
        BuildBitboards(pos);
        const Bitboard got = d == 0 ? RankAttacks(pos, s) : d == 1 ? FileAttacks(pos, s)
                             : d == 2 ? DiagAAttacks(pos, s) : DiagBAttacks(pos, s);
        ASSERT_EQ(got, WalkLine(s, df, dr, occupied)) << "square " << s << " direction " << d << " subset " << subset;
      }
    }
}

// Start, moves, and the position they reach written out by hand. The perft suites catch
// castling, rights lost by king and rook moves, and promotions.
const struct { const char *fen, *moves, *end; } moveLines[] = {
    // A rook taken on its corner takes the right with it.
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "a1a8", "R3k2r/8/8/8/8/8/8/4K2R b Kk -"},
    // The en-passant file is set only beside an enemy pawn, even when taking would be illegal.
    {StartFen, "e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -"},
    {"8/8/8/8/R2p3k/8/4P3/4K3 w - -", "e2e4", "8/8/8/8/R2pP2k/8/8/4K3 b - e3"},
    {"4k3/3p4/8/4P3/8/8/8/4K3 b - -", "d7d5 e5d6 e8d7", "8/3k4/3P4/8/8/8/8/4K3 w - -"},
    {"4k3/8/8/8/5p2/8/4P3/4K3 w - -", "e2e4 f4e3", "4k3/8/8/8/8/4p3/8/4K3 w - -"},
};

// After every move the incremental keys, sets and material equal a fresh derivation and the
// fifty counter follows captures and pawn moves; the line ends in the written position.
TEST(MakeMove, LinesReachTheWrittenPosition) {
  for (const auto& line : moveLines) {
    SCOPED_TRACE(std::string(line.fen) + " " + line.moves);
    Position pos = FromFen(line.fen);
    std::istringstream names(line.moves);
    for (std::string name; names >> name;) {
      Move move;
      ASSERT_TRUE(ParseMoveText(pos, name, move)) << name;
      const bool irreversible = pos.board[move.to] != Empty || KindOf(pos.board[move.from]) == WhitePawn;
      const uint32_t fifty = pos.fiftyCounter;
      pos.cacheFlags = 0;
      MakeMove(pos, move);
      ASSERT_TRUE(PositionIsConsistent(pos)) << name;
      EXPECT_EQ(pos.fiftyCounter, irreversible ? 0u : fifty + 1) << name;
    }
    const Position end = FromFen(line.end);
    EXPECT_EQ(pos.hashKey, end.hashKey);
    EXPECT_EQ(pos.castling & 15, end.castling);
    EXPECT_EQ(pos.epFile, end.epFile);
  }
}

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
    // En passant that opens a diagonal onto the own king through the pawn it takes: only a
    // set-up reaches that (perft position 3 has the rank).
    {"6bk/8/8/3pP3/8/8/K7/8 w - d6", "e5d6", false},
    {"6bk/8/4B3/3pP3/8/8/K7/8 w - d6", "e5d6", true},
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
