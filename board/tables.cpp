#include "board/tables.h"

#include <cstring>

#include "board/move_popularity.h"
#include "board/random.h"

Bitboard squareBit[64];
Bitboard squareBitRot90[64];
Bitboard squareBitDiagA[64];
Bitboard squareBitDiagB[64];
int32_t diagAShift[64];
int32_t diagBShift[64];

Bitboard rankAttacks[64][64];
Bitboard fileAttacks[64][64];
Bitboard diagAAttacks[64][64];
Bitboard diagBAttacks[64][64];

Bitboard kingAttacks[64];
Bitboard knightAttacks[64];
Bitboard whitePawnCaptures[64];
Bitboard blackPawnCaptures[64];
Bitboard bishopRays[64];
Bitboard rookRays[64];
Bitboard rankNeighbours[64];

Bitboard lineFrom[64][64];
Bitboard kingEscape[64][64];

Bitboard fileMask[64];
Bitboard adjacentFiles[64];
Bitboard whitePassedMask[64];
Bitboard blackPassedMask[64];
Bitboard whiteRearSpan[64];
Bitboard blackRearSpan[64];
Bitboard whiteSupportSquares[64];
Bitboard blackSupportSquares[64];
Bitboard aheadTriple[64];
Bitboard behindTriple[64];
Bitboard sameColourSquares[64];

uint64_t zobrist[13][64];
uint64_t sideKey;

int32_t exchangeValue[13];
int32_t exchangeValueHalf[13];
int32_t exchangeValueQuarter[13];
int32_t pushBonusWhite[8];
int32_t pushBonusBlack[8];
int8_t letterCode[128];

uint8_t movePopularity[13][4096];

namespace {

bool tablesBuilt = false;

constexpr int DirectionSteps[8] = {-1, 1, -16, 16, -15, 15, -17, 17};

bool OnBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

// The set of squares with files f-1..f+1 (clipped) and ranks lowRank..highRank.
Bitboard FileBand(int file, int lowRank, int highRank) {
  Bitboard set = 0;
  for (int r = lowRank; r <= highRank; ++r)
    for (int f = file - 1; f <= file + 1; ++f)
      if (OnBoard(f, r)) set |= Bit(MakeSquare(f, r));
  return set;
}

// Attacks of the man at position `at` of a line of `length` squares, with bit p-1 of the
// index telling whether position p (1 <= p <= length-2) is occupied.
template <typename SquareAt>
Bitboard LineAttacks(int at, int length, int index, SquareAt squareAt) {
  auto occupiedAt = [&](int p) { return p >= 1 && p <= length - 2 && ((index >> (p - 1)) & 1); };
  Bitboard set = 0;
  for (int p = at + 1; p < length; ++p) {
    set |= Bit(squareAt(p));
    if (occupiedAt(p)) break;
  }
  for (int p = at - 1; p >= 0; --p) {
    set |= Bit(squareAt(p));
    if (occupiedAt(p)) break;
  }
  return set;
}

void MirrorPopularityTables() {
  for (int code = WhiteKing; code <= WhiteQueen; ++code) {
    std::memcpy(movePopularity[code], whiteMovePopularity[code - WhiteKing], 4096);
    for (int from = 0; from < 64; ++from)
      for (int to = 0; to < 64; ++to)
        movePopularity[code + 6][from * 64 + to] =
            whiteMovePopularity[code - WhiteKing][MirrorSquare(from) * 64 + MirrorSquare(to)];
  }
}

void FillZobrist() {
  RandomState random;
  RandomSeed(random, 238);
  std::memset(zobrist, 0, sizeof zobrist);
  for (int code = 1; code <= 12; ++code) {
    bool pawn = code == WhitePawn || code == BlackPawn;
    for (int sq = pawn ? 8 : 0; sq < (pawn ? 56 : 64); ++sq) zobrist[code][sq] = Random64(random);
  }
  sideKey = Random64(random);
}

void FillValueTables() {
  for (int code = 0; code < 13; ++code) {
    exchangeValue[code] = pieceValue[code] * 100;
    if (code == WhiteKing || code == BlackKing) exchangeValue[code] = 10 * pieceValue[WhiteQueen] * 100;
    exchangeValueHalf[code] = exchangeValue[code] / 2;
    exchangeValueQuarter[code] = exchangeValue[code] / 4;
  }
  const int32_t white[8] = {0, 1, 5, 10, 25, 50, 100, 0};
  for (int r = 0; r < 8; ++r) {
    pushBonusWhite[r] = white[r] * 100;
    pushBonusBlack[r] = white[7 - r] * 100;
  }
  std::memset(letterCode, 0, sizeof letterCode);
  for (int code = 1; code <= 12; ++code) letterCode[static_cast<int>(PieceLetters[code])] = static_cast<int8_t>(code);
}

void FillLeaperTables() {
  const int kingSteps[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
  const int knightSteps[8][2] = {{-2, -1}, {-1, -2}, {1, -2}, {2, -1}, {-2, 1}, {-1, 2}, {1, 2}, {2, 1}};
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq), r = RankOf(sq);
    kingAttacks[sq] = knightAttacks[sq] = 0;
    for (int i = 0; i < 8; ++i) {
      if (OnBoard(f + kingSteps[i][0], r + kingSteps[i][1]))
        kingAttacks[sq] |= Bit(MakeSquare(f + kingSteps[i][0], r + kingSteps[i][1]));
      if (OnBoard(f + knightSteps[i][0], r + knightSteps[i][1]))
        knightAttacks[sq] |= Bit(MakeSquare(f + knightSteps[i][0], r + knightSteps[i][1]));
    }
  }
}

void FillPawnTables() {
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq), r = RankOf(sq);
    whitePawnCaptures[sq] = blackPawnCaptures[sq] = 0;
    if (r < 7) {
      if (f > 0) whitePawnCaptures[sq] |= Bit(sq + 7);
      if (f < 7) whitePawnCaptures[sq] |= Bit(sq + 9);
    }
    if (r > 0) {
      if (f > 0) blackPawnCaptures[sq] |= Bit(sq - 9);
      if (f < 7) blackPawnCaptures[sq] |= Bit(sq - 7);
    }
    sameColourSquares[sq] = IsLightSquare(sq) ? LightSquares : DarkSquares;
    whitePassedMask[sq] = r <= 5 ? FileBand(f, r + 1, 6) : 0;
    blackPassedMask[sq] = r >= 2 ? FileBand(f, 1, r - 1) : 0;
    aheadTriple[sq] = r <= 6 ? FileBand(f, r + 1, r + 1) : 0;
    behindTriple[sq] = r >= 1 ? FileBand(f, r - 1, r - 1) : 0;
  }
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq), r = RankOf(sq);
    bool inner = r >= 1 && r <= 6;
    whiteRearSpan[sq] = inner ? FileBand(f, 1, r) & ~Bit(sq) : 0;
    blackRearSpan[sq] = inner ? FileBand(f, r, 6) & ~Bit(sq) : 0;
  }
}

void FillRankAndFileAttacks() {
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq), r = RankOf(sq);
    for (int index = 0; index < 64; ++index) {
      rankAttacks[sq][index] = LineAttacks(f, 8, index, [r](int p) { return MakeSquare(p, r); });
      fileAttacks[sq][index] = LineAttacks(r, 8, index, [f](int p) { return MakeSquare(f, p); });
    }
  }
}

// Packs the diagonals given by `diagonals` (each listed by increasing rank) into bits 0..63.
// The single-square diagonals at the end of the packing start at bit 63; their shift is kept
// at 63 instead of 64 (a shift by the full width is undefined), which changes nothing because
// the attacks of a one-square line do not depend on the index.
template <typename SquaresOfDiagonal>
void PackDiagonals(const int* diagonals, Bitboard* squareBits, int32_t* shifts, Bitboard (*attacks)[64],
                   SquaresOfDiagonal squaresOf) {
  int nextBit = 0;
  for (int i = 0; i < 15; ++i) {
    int squares[8];
    int length = squaresOf(diagonals[i], squares);
    int start = nextBit;
    for (int p = 0; p < length; ++p) {
      squareBits[squares[p]] = Bit(nextBit++);
      shifts[squares[p]] = start + 1 > 63 ? 63 : start + 1;
    }
    for (int p = 0; p < length; ++p)
      for (int index = 0; index < 64; ++index)
        attacks[squares[p]][index] = LineAttacks(p, length, index, [&](int q) { return squares[q]; });
  }
}

void FillDiagonalAttacks() {
  const int sums[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  PackDiagonals(sums, squareBitDiagA, diagAShift, diagAAttacks, [](int d, int* squares) {
    int n = 0;
    for (int r = 0; r < 8; ++r)
      if (d - r >= 0 && d - r < 8) squares[n++] = MakeSquare(d - r, r);
    return n;
  });
  const int differences[15] = {0, 1, 2, 3, 4, 5, 6, 7, -1, -2, -3, -4, -5, -6, -7};
  PackDiagonals(differences, squareBitDiagB, diagBShift, diagBAttacks, [](int d, int* squares) {
    int n = 0;
    for (int r = 0; r < 8; ++r)
      if (r + d >= 0 && r + d < 8) squares[n++] = MakeSquare(r + d, r);
    return n;
  });
}

void FillRays() {
  for (int sq = 0; sq < 64; ++sq) {
    rookRays[sq] = (rankAttacks[sq][0] | fileAttacks[sq][0]) & ~kingAttacks[sq];
    bishopRays[sq] = (diagAAttacks[sq][0] | diagBAttacks[sq][0]) & ~kingAttacks[sq];
  }
}

void FillLineTables() {
  std::memset(lineFrom, 0, sizeof lineFrom);
  for (int a = 0; a < 64; ++a) {
    int a88 = RankOf(a) * 16 + FileOf(a);
    for (int step : DirectionSteps) {
      Bitboard accumulated = Bit(a);
      for (int b88 = a88 + step; !(b88 & 0x88); b88 += step) {
        int b = SquareFrom0x88(b88);
        lineFrom[a][b] = accumulated;
        accumulated |= Bit(b);
      }
    }
  }
  for (int k = 0; k < 64; ++k)
    for (int a = 0; a < 64; ++a) kingEscape[k][a] = kingAttacks[k];
  for (int k = 0; k < 64; ++k) {
    int k88 = RankOf(k) * 16 + FileOf(k);
    for (int step : DirectionSteps) {
      int behind88 = k88 - step;
      if (behind88 & 0x88) continue;
      Bitboard behind = Bit(SquareFrom0x88(behind88));
      for (int a88 = k88 + step; !(a88 & 0x88); a88 += step) kingEscape[k][SquareFrom0x88(a88)] &= ~behind;
    }
  }
}

void FillFileTables() {
  for (int sq = 0; sq < 64; ++sq) {
    const int f = FileOf(sq);
    fileMask[sq] = FileA << f;
    adjacentFiles[sq] = (f > 0 ? FileA << (f - 1) : 0) | (f < 7 ? FileA << (f + 1) : 0);
  }
}

void ClearEndSquareRotatedBits() {
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq), r = RankOf(sq);
    if (r == 0 || r == 7) squareBitRot90[sq] = 0;
    if (r == 0 || r == 7 || f == 0 || f == 7) squareBitDiagA[sq] = squareBitDiagB[sq] = 0;
  }
}

void FillNeighbourTables() {
  for (int sq = 0; sq < 64; ++sq) {
    int f = FileOf(sq);
    rankNeighbours[sq] = (f > 0 ? Bit(sq - 1) : 0) | (f < 7 ? Bit(sq + 1) : 0);
    whiteSupportSquares[sq] = rankNeighbours[sq] | blackPawnCaptures[sq];
    blackSupportSquares[sq] = rankNeighbours[sq] | whitePawnCaptures[sq];
  }
}

}  // namespace

void InitTables() {
  if (tablesBuilt) return;
  MirrorPopularityTables();
  FillZobrist();
  FillValueTables();
  for (int sq = 0; sq < 64; ++sq) {
    squareBit[sq] = Bit(sq);
    squareBitRot90[sq] = Bit(FileOf(sq) * 8 + RankOf(sq));
  }
  FillLeaperTables();
  FillPawnTables();
  FillRankAndFileAttacks();
  FillDiagonalAttacks();
  FillRays();
  FillLineTables();
  FillFileTables();
  ClearEndSquareRotatedBits();
  FillNeighbourTables();
  tablesBuilt = true;
}
