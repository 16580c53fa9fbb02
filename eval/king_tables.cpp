// King tables for the endgame, built once at start-up.

#include <algorithm>
#include <cstdlib>

#include "board/types.h"
#include "eval/eval.h"

int32_t edgeRing[64];
int32_t kingCentreTable[64];
int32_t kingQueensideTable[64];
int32_t kingKingsideTable[64];
int32_t lightCornerDistance[64];
int32_t darkCornerDistance[64];

namespace {

// Rings round b4-c5, the centre of a queenside pawn ending; rows from rank 1 up. The
// kingside files beyond f grow faster: a king there is out of play.
constexpr int32_t queensideRing[64] = {
    3, 3, 3, 3, 3, 4, 5, 6,  //
    2, 2, 2, 2, 2, 3, 4, 5,  //
    1, 1, 1, 1, 2, 3, 4, 5,  //
    1, 0, 0, 1, 2, 3, 4, 5,  //
    1, 0, 0, 1, 2, 3, 4, 5,  //
    1, 1, 1, 1, 2, 3, 4, 5,  //
    2, 2, 2, 2, 2, 3, 4, 5,  //
    3, 3, 3, 3, 3, 4, 5, 6,  //
};

int KingDistance(int a, int b) {
  return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}

}  // namespace

void BuildKingTables() {
  constexpr int a1 = 0, h1 = 7, a8 = 56, h8 = 63;
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq), r = RankOf(sq);
    edgeRing[sq] = 3 - std::min({f, 7 - f, r, 7 - r});
    kingCentreTable[sq] = 5 * (3 - edgeRing[sq]);
    kingQueensideTable[sq] = 5 * (3 - queensideRing[sq]);
    lightCornerDistance[sq] = std::min(KingDistance(sq, h1), KingDistance(sq, a8));
    darkCornerDistance[sq] = std::min(KingDistance(sq, a1), KingDistance(sq, h8));
  }
  for (int sq = 0; sq < 64; ++sq) kingKingsideTable[sq] = kingQueensideTable[sq ^ 7];
}
