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

constexpr Bitboard QueensideFiles = FileA * 0x0F;  // files a to d
constexpr Bitboard KingsideFiles = ~QueensideFiles;

// The outermost ring is 3 rings from the centre; each ring inwards is worth 5 to a king.
constexpr int32_t OuterRing = 3;
constexpr int32_t RingValue = 5;

int KingDistance(int a, int b) {
  return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}

}  // namespace

void BuildKingTables() {
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq), r = RankOf(sq);
    edgeRing[sq] = OuterRing - std::min({f, 7 - f, r, 7 - r});
    kingCentreTable[sq] = RingValue * (OuterRing - edgeRing[sq]);
    kingQueensideTable[sq] = RingValue * (OuterRing - queensideRing[sq]);
    lightCornerDistance[sq] = std::min(KingDistance(sq, H1), KingDistance(sq, A8));
    darkCornerDistance[sq] = std::min(KingDistance(sq, A1), KingDistance(sq, H8));
  }
  // The same rings seen with files a and h exchanged.
  for (int sq = 0; sq < 64; ++sq) kingKingsideTable[sq] = kingQueensideTable[sq ^ 7];
}

const int32_t* KingPlacementTable(Bitboard pawns) {
  if (pawns && !(pawns & KingsideFiles)) return kingQueensideTable;
  if (pawns && !(pawns & QueensideFiles)) return kingKingsideTable;
  return kingCentreTable;
}
