#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "board/board.h"
#include "board/move_popularity.h"

namespace {

enum Kind { KingKind, PawnKind, KnightKind, BishopKind, RookKind, QueenKind };
constexpr const char* KindName[6] = {"king", "pawn", "knight", "bishop", "rook", "queen"};

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

// Decided from file and rank differences alone, independently of the engine's attack tables.
// Castling is not a king move here: the ordering scores it separately.
bool Geometric(int kind, int from, int to) {
  if (from == to) return false;
  const int df = (to & 7) - (from & 7), dr = (to >> 3) - (from >> 3);
  const int adf = std::abs(df), adr = std::abs(dr);
  const int rank = from >> 3;
  switch (kind) {
    case KingKind: return adf <= 1 && adr <= 1;
    case PawnKind:
      if (rank < 1 || rank > 6) return false;
      return (df == 0 && dr == 1) || (df == 0 && dr == 2 && rank == 1) || (adf == 1 && dr == 1);
    case KnightKind: return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
    case BishopKind: return adf == adr;
    case RookKind: return df == 0 || dr == 0;
    case QueenKind: return adf == adr || df == 0 || dr == 0;
  }
  return false;
}

int GeometricCount(int kind) {
  int n = 0;
  for (int f = 0; f < 64; ++f)
    for (int t = 0; t < 64; ++t) n += Geometric(kind, f, t);
  return n;
}

uint8_t WhiteEntry(int kind, const char* move) { return whiteMovePopularity[kind][Sq(move) * 64 + Sq(move + 2)]; }

}  // namespace

// Ordering was tuned with these rows, so they must survive any regeneration of the tables.
TEST(MovePopularity, TunedRowsKeepTheirValues) {
  struct Row { int kind; const char* move; int value; };
  const Row rows[] = {
      {KnightKind, "g1f3", 255}, {KnightKind, "b1c3", 113}, {KnightKind, "g1h3", 3},
      {PawnKind, "d2d4", 66},    {PawnKind, "e2e4", 30},    {PawnKind, "e2e3", 28},
      {PawnKind, "a2a4", 3},     {PawnKind, "e4d5", 84},    {RookKind, "a1d1", 126},
      {RookKind, "f1e1", 91},    {QueenKind, "d1e2", 43},   {QueenKind, "d1h5", 11},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(KindName[row.kind]) + " " + row.move);
    EXPECT_EQ(WhiteEntry(row.kind, row.move), row.value);
  }
}

// Geometric pair counts: king 8 neighbours summed over the board = 420; pawn 48 single steps +
// 8 double steps + 84 captures (14 per rank on ranks 2-7) = 140; knight 336; bishop 560; rook
// 64 * 14 = 896; queen 560 + 896 = 1456. Each table leaves exactly its rarest pair at 0.
TEST(MovePopularity, EntriesLieOnGeometricPairsWithTheExpectedCounts) {
  const int expectedNonZero[6] = {419, 139, 335, 559, 895, 1455};
  for (int kind = KingKind; kind <= QueenKind; ++kind) {
    SCOPED_TRACE(KindName[kind]);
    int nonZero = 0, largest = 0;
    for (int f = 0; f < 64; ++f)
      for (int t = 0; t < 64; ++t) {
        const int value = whiteMovePopularity[kind][f * 64 + t];
        if (value == 0) continue;
        ++nonZero;
        largest = std::max(largest, value);
        EXPECT_TRUE(Geometric(kind, f, t)) << "from " << f << " to " << t;
      }
    EXPECT_EQ(largest, 255);
    EXPECT_EQ(nonZero, expectedNonZero[kind]);
    EXPECT_EQ(GeometricCount(kind) - 1, expectedNonZero[kind]);
  }
}

// The castling moves are scored apart from the tables, so their king entries stay empty.
TEST(MovePopularity, CastlingHasNoKingEntry) {
  EXPECT_EQ(WhiteEntry(KingKind, "e1g1"), 0);
  EXPECT_EQ(WhiteEntry(KingKind, "e1c1"), 0);
}

// g1-f3 must be the single best first move of the knights and the pawns, so that it tops the
// quiet moves of the start position (its pawns are not free, so pushes get no push bonus).
TEST(MovePopularity, KnightG1F3TopsEveryOtherFirstMove) {
  const int g1f3 = WhiteEntry(KnightKind, "g1f3");
  for (int t = 0; t < 64; ++t)
    for (int f = 0; f < 64; ++f)
      if (f * 64 + t != Sq("g1") * 64 + Sq("f3")) {
        SCOPED_TRACE(std::to_string(f) + "-" + std::to_string(t));
        EXPECT_LT(whiteMovePopularity[KnightKind][f * 64 + t], g1f3);
      }
  for (int file = 0; file < 8; ++file) {
    SCOPED_TRACE(file);
    EXPECT_LT(whiteMovePopularity[PawnKind][(8 + file) * 64 + 16 + file], g1f3);
    EXPECT_LT(whiteMovePopularity[PawnKind][(8 + file) * 64 + 24 + file], g1f3);
  }
}

TEST(MovePopularity, BlackTablesMirrorTheWhiteOnes) {
  InitTables();
  for (int code = WhiteKing; code <= WhiteQueen; ++code) {
    SCOPED_TRACE(code);
    const int kind = code - WhiteKing;
    int mismatches = 0, whiteMismatches = 0;
    for (int f = 0; f < 64; ++f)
      for (int t = 0; t < 64; ++t) {
        mismatches += movePopularity[code + 6][f * 64 + t] !=
                      whiteMovePopularity[kind][(f ^ 56) * 64 + (t ^ 56)];
        whiteMismatches += movePopularity[code][f * 64 + t] != whiteMovePopularity[kind][f * 64 + t];
      }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(whiteMismatches, 0);
  }
  // Black's e7-e5 reads white's e2-e4, black's g8-f6 white's g1-f3.
  EXPECT_EQ(movePopularity[BlackPawn][Sq("e7") * 64 + Sq("e5")], 30);
  EXPECT_EQ(movePopularity[BlackKnight][Sq("g8") * 64 + Sq("f6")], 255);
}
