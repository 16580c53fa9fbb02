// The foundation: attack tables against slow ray walks and make move against positions
// written out by hand.

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

// Start, moves, and the position they reach written out by hand.
const struct { const char *fen, *moves, *end; } moveLines[] = {
    {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq -", "e1g1 e8c8 f1e1 d8e8",
     "2k1r2r/pppppppp/8/8/8/8/PPPPPPPP/R3R1K1 w - -"},
    {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq -", "e1c1 e8g8", "r4rk1/pppppppp/8/8/8/8/PPPPPPPP/2KR3R w - -"},
    // Rook moves and captures on a corner remove exactly their own rights.
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "h1h2 a8a7 h2h8", "4k2R/r7/8/8/8/8/8/R3K3 b Q -"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "a1a8", "R3k2r/8/8/8/8/8/8/4K2R b Kk -"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "e1d1", "r3k2r/8/8/8/8/8/8/R2K3R b kq -"},
    {"r3k2r/1P6/8/8/8/8/8/4K3 w kq -", "b7a8q", "Q3k2r/8/8/8/8/8/8/4K3 b k -"},
    {"4k3/1P4P1/8/8/8/8/1p6/4K3 w - -", "b7b8n b2b1r e1d2 e8e7 g7g8b", "1N4B1/4k3/8/8/8/8/3K4/1r6 b - -"},
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

}  // namespace
