// The static evaluation: material, pawns, centre, piece and king terms, and the final
// corrections for drawish material. Every term is white-positive until the very end.

#include <bit>
#include <cstdlib>

#include "board/movegen.h"
#include "board/tables.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "eval/terms.h"

namespace {

constexpr int A2 = 8, B3 = 17, G3 = 22, H2 = 15, A7 = 48, B6 = 41, G6 = 46, H7 = 55;

constexpr Bitboard LightSquares = 0x55AA55AA55AA55AAull;
constexpr Bitboard DarkSquares = ~LightSquares;
constexpr Bitboard QueensideFiles = 0x0F0F0F0F0F0F0F0Full;
constexpr Bitboard KingsideFiles = ~QueensideFiles;

constexpr Bitboard Rank2 = Rank1 << 8, Rank3 = Rank1 << 16, Rank6 = Rank1 << 40, Rank7 = Rank1 << 48;
constexpr Bitboard Ranks1To3 = Rank1 | Rank2 | Rank3;
constexpr Bitboard Ranks6To8 = Rank6 | Rank7 | Rank8;

constexpr Bitboard Sq(int file, int rank) { return Bit(MakeSquare(file, rank)); }
constexpr Bitboard CentreSquares = Sq(3, 3) | Sq(4, 3) | Sq(3, 4) | Sq(4, 4);
constexpr Bitboard WhiteCentrePawnSquares =
    Sq(2, 2) | Sq(3, 2) | Sq(4, 2) | Sq(5, 2) | Sq(2, 3) | Sq(5, 3);
constexpr Bitboard BlackCentrePawnSquares =
    Sq(2, 5) | Sq(3, 5) | Sq(4, 5) | Sq(5, 5) | Sq(2, 4) | Sq(5, 4);
constexpr Bitboard WhiteOutposts = Sq(2, 4) | Sq(3, 4) | Sq(4, 4) | Sq(5, 4) | Sq(3, 5) | Sq(4, 5);
constexpr Bitboard BlackOutposts = Sq(2, 3) | Sq(3, 3) | Sq(4, 3) | Sq(5, 3) | Sq(3, 2) | Sq(4, 2);

// Bits of bishopColours.
constexpr int WhiteLight = 1, WhiteDark = 2, BlackLight = 4, BlackDark = 8;

constexpr int32_t fewPawnsPenalty[9] = {-100, -50, -20, -5, 0, 0, 0, 0, 0};

// Mobility by the number of counted squares; queens reach 27.
constexpr int32_t mobilityBonus[28] = {-100, -50, -20, -5, -1, 0,  1,  2,  3,  4,  5,  6,  7,  8,
                                       9,    10,  11,  12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};

constexpr int32_t blockedPassedWhite[8] = {0, 0, -2, -3, -7, -13, -25, 0};
constexpr int32_t blockedPassedBlack[8] = {0, -25, -13, -7, -3, -2, 0, 0};

constexpr int32_t LazyMargin = 300;

// Floor division for a positive divisor (C++ division truncates toward zero).
constexpr int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

int WhitePawnCount(Position& pos) {
  if (pos.whitePawnCount < 0) pos.whitePawnCount = int8_t(CountBits(pos.whitePawns));
  return pos.whitePawnCount;
}
int BlackPawnCount(Position& pos) {
  if (pos.blackPawnCount < 0) pos.blackPawnCount = int8_t(CountBits(pos.blackPawns));
  return pos.blackPawnCount;
}

}  // namespace

void CentreControl(EvalContext& e) {
  const Position& pos = e.pos;
  int32_t npm = int32_t(pos.whiteMaterial) + pos.blackMaterial -
                100 * CountBits(pos.whitePawns | pos.blackPawns);
  if (npm == 0) return;
  int32_t c = 0;
  for (Bitboard set = CentreSquares; set;) c += CentreSquareScore(pos, PopLowest(set));
  c += 10 * (CountBits(pos.whitePawns & WhiteCentrePawnSquares) -
             CountBits(pos.blackPawns & BlackCentrePawnSquares));
  // c x npm x 7.987220447284345e-5 truncated: the factor is 1/12520, and exact integer
  // division gives the truncation of the exact product, which a double may miss by one
  // when c x npm is a multiple of 12520.
  e.s += int32_t(int64_t(c) * npm / 12520);
}

void QueenMobility(EvalContext& e) {
  const Position& pos = e.pos;
  for (Bitboard set = pos.whiteQueens; set;) {
    int sq = PopLowest(set);
    e.s += mobilityBonus[CountBits(pos.attacksFrom[sq] & ~(pos.whitePieces | pos.blackPawnAttacks))];
  }
  for (Bitboard set = pos.blackQueens; set;) {
    int sq = PopLowest(set);
    e.s -= mobilityBonus[CountBits(pos.attacksFrom[sq] & ~(pos.blackPieces | pos.whitePawnAttacks))];
  }
}

// Bishops blocked by their own pawns on their colour: 5 - 5 per pawn with an enemy pawn
// directly in front of it.
void WhiteBishops(EvalContext& e) {
  const Position& pos = e.pos;
  for (Bitboard set = pos.whiteBishops; set;) {
    int sq = PopLowest(set);
    e.s += mobilityBonus[CountBits(pos.attacksFrom[sq] & ~(pos.whitePawns | pos.blackPawnAttacks))];
    e.bishopColours |= (Bit(sq) & LightSquares) ? WhiteLight : WhiteDark;
  }
  Bitboard rammed = pos.whitePawns & (pos.blackPawns >> 8);
  bool trappedA7 = (pos.whiteBishops & Bit(A7)) && (pos.blackPawns & Bit(B6));
  bool trappedH7 = (pos.whiteBishops & Bit(H7)) && (pos.blackPawns & Bit(G6));
  switch (e.bishopColours & 3) {
    case WhiteDark:
      if (trappedA7) e.s -= 110;
      e.s += 5 - 5 * CountBits(rammed & DarkSquares);
      break;
    case WhiteLight:
      if (trappedH7) e.s -= 110;
      e.s += 5 - 5 * CountBits(rammed & LightSquares);
      break;
    case WhiteLight | WhiteDark:
      if (trappedH7) e.s -= 110;
      if (trappedA7) e.s -= 110;
      e.s += 20;
      break;
  }
}

void BlackBishops(EvalContext& e) {
  const Position& pos = e.pos;
  for (Bitboard set = pos.blackBishops; set;) {
    int sq = PopLowest(set);
    e.s -= mobilityBonus[CountBits(pos.attacksFrom[sq] & ~(pos.blackPawns | pos.whitePawnAttacks))];
    e.bishopColours |= (Bit(sq) & LightSquares) ? BlackLight : BlackDark;
  }
  Bitboard rammed = pos.blackPawns & (pos.whitePawns << 8);
  bool trappedH2 = (pos.blackBishops & Bit(H2)) && (pos.whitePawns & Bit(G3));
  bool trappedA2 = (pos.blackBishops & Bit(A2)) && (pos.whitePawns & Bit(B3));
  switch (e.bishopColours & 12) {
    case BlackDark:
      if (trappedH2) e.s += 110;
      e.s -= 5 - 5 * CountBits(rammed & DarkSquares);
      break;
    case BlackLight:
      if (trappedA2) e.s += 110;
      e.s -= 5 - 5 * CountBits(rammed & LightSquares);
      break;
    case BlackLight | BlackDark:
      if (trappedH2) e.s += 110;
      if (trappedA2) e.s += 110;
      e.s -= 20;
      break;
  }
}

namespace {

// Shelter values for the pawns in front of a castled king, from the side's own view.
// `Pawn(file, rank)` answers for the side whose king is scored, ranks counted from its
// own back rank (0..7), so one routine serves both colours.
struct Shelter {
  Bitboard pawns;
  bool white;
  bool Pawn(int file, int relRank) const {
    return pawns & Bit(MakeSquare(file, white ? relRank : 7 - relRank));
  }
};

int32_t KingsideShelter(const Shelter& sh, int kingFile, bool ownFianchettoBishop, bool enemyHasOne) {
  // (g2, g4g5, none, fianchettoOk, fianchettoBad)
  const bool fFile = kingFile == 5;
  const int32_t g2 = fFile ? 0 : 10, g4g5 = fFile ? -30 : -20, none = fFile ? -40 : -30;
  const int32_t fianchettoOk = fFile ? -5 : 5, fianchettoBad = fFile ? -25 : -15;
  int32_t v;
  if (sh.Pawn(6, 1))
    v = g2;
  else if (!sh.Pawn(6, 2))
    v = (sh.Pawn(6, 3) || sh.Pawn(6, 4)) ? g4g5 : none;
  else
    v = (ownFianchettoBishop || !enemyHasOne) ? fianchettoOk : fianchettoBad;
  v += (sh.Pawn(7, 1) || sh.Pawn(7, 2)) ? 5 : -10;
  return sh.Pawn(5, 1) ? v : v - 5;
}

int32_t QueensideShelter(const Shelter& sh, bool ownFianchettoBishop, bool enemyHasOne) {
  int32_t x1, p0, x2;
  if (sh.Pawn(1, 1)) {
    x1 = 10, p0 = 15, x2 = 5;
  } else if (!sh.Pawn(1, 2)) {
    if (sh.Pawn(1, 3) || sh.Pawn(1, 4))
      x1 = -20, p0 = -15, x2 = -25;
    else
      x1 = -30, p0 = -25, x2 = -35;
  } else if (ownFianchettoBishop || !enemyHasOne) {
    x1 = 5, p0 = 10, x2 = 0;
  } else {
    x1 = -15, p0 = -10, x2 = -20;
  }
  bool c2 = sh.Pawn(2, 1);
  bool a2a3 = sh.Pawn(0, 1) || sh.Pawn(0, 2);
  if (c2 && a2a3) return p0;
  if (c2 || a2a3) return x1;
  return x2;
}

}  // namespace

// King safety of one side before the attacked squares: the shelter of a king on its first
// three ranks, the pawns in front of an advanced king, and the edge.
int32_t ShelterPenalty(const Position& pos, bool white, int bishopColours) {
  const int king = white ? pos.whiteKing : pos.blackKing;
  const int file = FileOf(king);
  const int relRank = white ? RankOf(king) : 7 - RankOf(king);
  const Shelter sh{white ? pos.whitePawns : pos.blackPawns, white};
  int32_t pen = -100;
  if (relRank <= 2) {
    if (file == 3 || file == 4) {
      const int back = white ? 0 : 56;
      const int8_t queenRight = white ? CastleWhiteQueen : CastleBlackQueen;
      const int8_t kingRight = white ? CastleWhiteKing : CastleBlackKing;
      Bitboard queenPath = Bit(back + 1) | Bit(back + 2) | Bit(back + 3);
      Bitboard kingPath = Bit(back + 5) | Bit(back + 6);
      if ((pos.castling & queenRight) && !(pos.occupied & queenPath))
        pen = -20;
      else if ((pos.castling & kingRight) && !(pos.occupied & kingPath))
        pen = -20;
      else
        pen = -40;
    } else if (file >= 5) {
      // g2 is light for white and g7 dark for black: the fianchetto bishop's colour.
      int own = white ? WhiteLight : BlackDark, enemy = white ? BlackLight : WhiteDark;
      pen = KingsideShelter(sh, file, bishopColours & own, bishopColours & enemy);
    } else {
      int own = white ? WhiteDark : BlackLight, enemy = white ? BlackDark : WhiteLight;
      pen = QueensideShelter(sh, bishopColours & own, bishopColours & enemy);
    }
  }
  if (relRank >= 2) {
    Bitboard front = white ? aheadTriple[king] : behindTriple[king];
    if (CountBits(front & sh.pawns) < 2) pen -= 30;
  }
  if (file == 0 || file == 7) pen -= 10;
  return pen;
}

namespace {

// floor((pen - 20 a) x material / 3900 + 0.5), exactly, in integers.
int32_t KingSafetyTerm(int32_t pen, int attacked, int32_t enemyMaterial) {
  int64_t x = int64_t(pen - 20 * attacked) * enemyMaterial;
  return int32_t(FloorDiv(2 * x + 3900, 7800));
}

const int32_t* PlacementTable(const Position& pos) {
  Bitboard pawns = pos.whitePawns | pos.blackPawns;
  if (pawns && !(pawns & KingsideFiles)) return kingQueensideTable;
  if (pawns && !(pawns & QueensideFiles)) return kingKingsideTable;
  return kingCentreTable;
}

int ManhattanDistance(int a, int b) {
  return std::abs(FileOf(a) - FileOf(b)) + std::abs(RankOf(a) - RankOf(b));
}

}  // namespace

// Returns false when the stalemate guard ends the evaluation with 0.
bool WhiteKingTerms(EvalContext& e) {
  Position& pos = e.pos;
  if (e.blackHasAttack) {
    int32_t pen = ShelterPenalty(pos, true, e.bishopColours);
    int a = CountBits(pos.attacksFrom[pos.whiteKing] & ~pos.whitePieces & pos.blackAttacks);
    e.s += KingSafetyTerm(pen, a, pos.blackMaterial);
    return true;
  }
  if (pos.blackMaterial != 0) {
    if (pos.blackMaterial - 100 * BlackPawnCount(pos) < 900) e.s += PlacementTable(pos)[pos.whiteKing];
    return true;
  }
  // A bare black king: drive it to the edge, or to a corner the bishops can cover. With
  // every flight square covered it is stalemate only when the king is not in check: a
  // covered king in check is mated, and calling that a draw would throw the win away.
  if (pos.sideToMove == Black && (pos.attacksFrom[pos.blackKing] & ~pos.whiteAttacks) == 0 &&
      !(pos.whiteAttacks & Bit(pos.blackKing)))
    return false;
  e.s -= ManhattanDistance(pos.whiteKing, pos.blackKing);
  switch (e.bishopColours & 3) {
    case WhiteLight: e.s -= lightCornerDistance[pos.blackKing]; break;
    case WhiteDark: e.s -= darkCornerDistance[pos.blackKing]; break;
    default: e.s += edgeRing[pos.blackKing]; break;
  }
  return true;
}

bool BlackKingTerms(EvalContext& e) {
  Position& pos = e.pos;
  if (e.whiteHasAttack) {
    int32_t pen = ShelterPenalty(pos, false, e.bishopColours);
    int a = CountBits(pos.attacksFrom[pos.blackKing] & ~pos.blackPieces & pos.whiteAttacks);
    e.s -= KingSafetyTerm(pen, a, pos.whiteMaterial);
    return true;
  }
  if (pos.whiteMaterial != 0) {
    if (pos.whiteMaterial - 100 * WhitePawnCount(pos) < 900) e.s -= PlacementTable(pos)[pos.blackKing];
    return true;
  }
  if (pos.sideToMove == White && (pos.attacksFrom[pos.whiteKing] & ~pos.blackAttacks) == 0 &&
      !(pos.blackAttacks & Bit(pos.whiteKing)))
    return false;
  e.s += ManhattanDistance(pos.whiteKing, pos.blackKing);
  switch (e.bishopColours & 12) {
    case BlackLight: e.s += lightCornerDistance[pos.whiteKing]; break;
    case BlackDark: e.s += darkCornerDistance[pos.whiteKing]; break;
    default: e.s -= edgeRing[pos.whiteKing]; break;
  }
  return true;
}

void BlockedPassedPawns(EvalContext& e) {
  const Position& pos = e.pos;
  for (Bitboard set = pos.passedPawns & pos.whitePawns & (pos.blackPieces >> 8); set;)
    e.s += blockedPassedWhite[RankOf(PopLowest(set))];
  for (Bitboard set = pos.passedPawns & pos.blackPawns & (pos.whitePieces << 8); set;)
    e.s -= blockedPassedBlack[RankOf(PopLowest(set))];
}

void WhiteRooks(EvalContext& e) {
  const Position& pos = e.pos;
  bool connected = false;
  for (Bitboard set = pos.whiteRooks; set;) {
    int sq = PopLowest(set);
    Bitboard attacks = pos.attacksFrom[sq];
    if (RankOf(sq) == 7 && (pos.whitePawns & Bit(sq - 8))) e.s -= 75;
    e.s += mobilityBonus[CountBits(attacks & ~(pos.whitePieces | pos.blackPawnAttacks))];
    if (e.whiteHasAttack && (attacks & pos.attacksFrom[pos.blackKing])) e.s += 25;
    if (attacks & pos.whiteRooks) connected = true;
  }
  if (connected) {
    bool seventh = RankOf(pos.blackKing) == 7 && !(pos.whiteRooks & ~Rank7);
    e.s += seventh ? 25 : 5;
  }
}

void BlackRooks(EvalContext& e) {
  const Position& pos = e.pos;
  bool connected = false;
  for (Bitboard set = pos.blackRooks; set;) {
    int sq = PopLowest(set);
    Bitboard attacks = pos.attacksFrom[sq];
    if (RankOf(sq) == 0 && (pos.blackPawns & Bit(sq + 8))) e.s += 75;
    e.s -= mobilityBonus[CountBits(attacks & ~(pos.blackPieces | pos.whitePawnAttacks))];
    if (e.blackHasAttack && (attacks & pos.attacksFrom[pos.whiteKing])) e.s -= 25;
    if (attacks & pos.blackRooks) connected = true;
  }
  if (connected) {
    bool second = RankOf(pos.whiteKing) == 0 && !(pos.blackRooks & ~Rank2);
    e.s -= second ? 25 : 5;
  }
}

// An exchange of a rook for minor pieces: the side with the extra rook is worse off
// against two minors than material says.
void RooksAgainstMinors(EvalContext& e) {
  const Position& pos = e.pos;
  const uint16_t sig = pos.materialSignature;
  int r = CountBits(pos.whiteRooks) - CountBits(pos.blackRooks);
  int dB = CountBits(pos.whiteBishops) - CountBits(pos.blackBishops);
  int whiteKnights = CountBits(pos.whiteKnights), blackKnights = CountBits(pos.blackKnights);
  if (r > 0) {
    int dN = blackKnights ? whiteKnights - blackKnights : 0;
    bool rooksAlone = (sig & 30) == SigWhiteRook;
    bool blackBishops = pos.blackBishops != 0;
    if (blackKnights && dN < -1) {
      if (!rooksAlone) e.s -= 10;
    } else if (dN == 0) {
      if (blackBishops && dB <= -2) e.s -= 20;
    } else if (dN == -1) {
      if (blackBishops && dB <= -1 && !rooksAlone) e.s -= 20;
    }
  } else if (r < 0) {
    int dN = whiteKnights ? whiteKnights - blackKnights : 0;
    bool rooksAlone = (sig & 960) == SigBlackRook;
    bool whiteBishops = pos.whiteBishops != 0;
    if (whiteKnights && dN >= 2) {
      if (!rooksAlone) e.s += 10;
    } else if (dN == 0) {
      if (whiteBishops && dB >= 2) e.s += 20;
    } else if (dN == 1) {
      if (whiteBishops && dB >= 1 && !rooksAlone) e.s += 20;
    }
  }
}

void KnightOutposts(EvalContext& e) {
  const Position& pos = e.pos;
  for (Bitboard set = pos.whiteKnights & WhiteOutposts & pos.whitePawnAttacks & ~pos.blackPawnAttacks; set;) {
    int sq = PopLowest(set);
    if (pos.blackPawns & (Bit(sq + 15) | Bit(sq + 17))) continue;
    bool challenged = pos.blackKnights || (pos.blackBishops & sameColourSquares[sq]);
    e.s += challenged ? 10 : 20;
  }
  for (Bitboard set = pos.blackKnights & BlackOutposts & pos.blackPawnAttacks & ~pos.whitePawnAttacks; set;) {
    int sq = PopLowest(set);
    if (pos.whitePawns & (Bit(sq - 15) | Bit(sq - 17))) continue;
    bool challenged = pos.whiteKnights || (pos.whiteBishops & sameColourSquares[sq]);
    e.s -= challenged ? 10 : 20;
  }
}

void QueenEndings(EvalContext& e) {
  const Position& pos = e.pos;
  if ((pos.materialSignature & 990) != (SigWhiteQueen | SigBlackQueen)) return;
  Bitboard white = pos.passedPawns & pos.whitePawns, black = pos.passedPawns & pos.blackPawns;
  e.s += 100 * (CountBits(white & Rank7) - CountBits(black & Rank2)) +
         50 * (CountBits(white & Rank6) - CountBits(black & Rank3));
}

namespace {

// Spread in files of a side's passed pawns when it has two or more, else 0.
int PassedSpread(Bitboard passed) {
  if (CountBits(passed) < 2) return 0;
  int low = 8, high = -1;
  for (Bitboard set = passed; set;) {
    int f = FileOf(PopLowest(set));
    low = f < low ? f : low;
    high = f > high ? f : high;
  }
  return high - low;
}

}  // namespace

void OppositeBishops(EvalContext& e) {
  const Position& pos = e.pos;
  if (e.bishopColours != (WhiteDark | BlackLight) && e.bishopColours != (WhiteLight | BlackDark)) return;
  if ((pos.materialSignature & 990) != (SigWhiteBishop | SigBlackBishop)) return;
  int spread = PassedSpread(pos.passedPawns & pos.whitePawns);
  if (spread > 3) e.s += 25 * (spread - 1);
  spread = PassedSpread(pos.passedPawns & pos.blackPawns);
  if (spread > 3) e.s -= 25 * (spread - 1);
  e.s = e.s * 205 / 256;
}

void FewPawns(EvalContext& e) {
  if (e.whiteHasAttack || e.blackHasAttack) return;
  if (e.s > 50) {
    e.s += fewPawnsPenalty[WhitePawnCount(e.pos)];
    if (e.s < 0) e.s = 0;
  } else if (e.s < -50) {
    e.s -= fewPawnsPenalty[BlackPawnCount(e.pos)];
    if (e.s > 0) e.s = 0;
  }
}

int32_t CentreSquareScore(const Position& pos, int square) {
  int32_t score = 0;
  switch (pos.board[square]) {
    case WhitePawn: score = (pos.whitePawns & adjacentFiles[square]) ? 40 : 20; break;
    case WhiteBishop: score = 20; break;
    case WhiteQueen: score = 30; break;
    case BlackPawn: score = (pos.blackPawns & adjacentFiles[square]) ? -40 : -20; break;
    case BlackBishop: score = -20; break;
    case BlackQueen: score = -30; break;
    default: break;
  }
  Bitboard d = BishopAttacks(pos, square), o = RookAttacks(pos, square);
  score += 10 * (CountBits(d & (pos.whiteQueens | pos.whiteBishops)) -
                 CountBits(d & (pos.blackQueens | pos.blackBishops)) +
                 CountBits(o & (pos.whiteQueens | pos.whiteRooks)) -
                 CountBits(o & (pos.blackQueens | pos.blackRooks)));
  return score;
}

int32_t Evaluate(int32_t alpha, int32_t beta, Position& pos) {
  const bool whiteToMove = pos.sideToMove == White;
  const uint16_t sig = pos.materialSignature;

  if (auto scorer = scorerTable[sig]) {
    int32_t score = 0;
    if (scorer(pos, &score)) return whiteToMove ? score : -score;
  }

  EvalContext e{pos, int32_t(pos.whiteMaterial) - int32_t(pos.blackMaterial) + EvaluatePawns(pos),
                (sig & SigWhiteQueen) && (sig & 14), (sig & SigBlackQueen) && (sig & 448), 0};

  // A side with only its king never leaves early: the bare-king terms below may be all
  // that tells its moves apart.
  if (whiteToMove && pos.whiteMaterial != 0) {
    if (e.s < alpha - LazyMargin) return alpha;
    if (e.s > beta + LazyMargin) return beta;
  } else if (!whiteToMove && pos.blackMaterial != 0) {
    if (-e.s < alpha - LazyMargin) return alpha;
    if (-e.s > beta + LazyMargin) return beta;
  }

  ComputeWhiteAttacks(pos);
  ComputeBlackAttacks(pos);

  CentreControl(e);

  QueenMobility(e);
  WhiteBishops(e);
  BlackBishops(e);
  pos.whitePawnCount = -1;
  pos.blackPawnCount = -1;
  if (!WhiteKingTerms(e)) return 0;
  if (!BlackKingTerms(e)) return 0;
  BlockedPassedPawns(e);
  WhiteRooks(e);
  BlackRooks(e);
  RooksAgainstMinors(e);
  KnightOutposts(e);

  QueenEndings(e);
  OppositeBishops(e);
  FewPawns(e);
  return whiteToMove ? e.s : -e.s;
}
