// The move popularity tables as tools/popularity/popularity.py writes them: entries only on
// pairs the man can ever play, one 255 and exactly one empty pair per table, and the black
// tables mirrored from the white ones.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "board/board.h"
#include "board/move_popularity.h"

namespace {

// From file and rank differences alone, for king, pawn, knight, bishop, rook and queen;
// castling is no king move here (it is scored apart).
bool Geometric(int kind, int from, int to) {
  const int df = FileOf(to) - FileOf(from), dr = RankOf(to) - RankOf(from), adf = std::abs(df), adr = std::abs(dr);
  const bool pawnStep = df == 0 && (dr == 1 || (dr == 2 && RankOf(from) == 1));
  const bool pawnMove = RankOf(from) >= 1 && RankOf(from) <= 6 && (pawnStep || (adf == 1 && dr == 1));
  const bool moves[6] = {adf <= 1 && adr <= 1, pawnMove, adf * adr == 2, adf == adr, df == 0 || dr == 0,
                         adf == adr || df == 0 || dr == 0};
  return from != to && moves[kind];
}

TEST(MovePopularity, TablesCoverTheGeometricPairsAndMirrorForBlack) {
  InitTables();
  for (int kind = 0; kind < 6; ++kind) {
    int empty = 0, largest = 0;
    for (int from = 0; from < 64; ++from)
      for (int to = 0; to < 64; ++to) {
        const int value = whiteMovePopularity[kind][from * 64 + to];
        empty += value == 0 && Geometric(kind, from, to);
        largest = std::max(largest, value);
        ASSERT_TRUE(value == 0 || Geometric(kind, from, to)) << kind << ": " << from << "-" << to;
        ASSERT_EQ(movePopularity[WhiteKing + kind][from * 64 + to], value);
        ASSERT_EQ(movePopularity[BlackKing + kind][MirrorSquare(from) * 64 + MirrorSquare(to)], value);
      }
    EXPECT_EQ(largest, 255) << kind;
    EXPECT_EQ(empty, 1) << kind;
  }
}

}  // namespace
