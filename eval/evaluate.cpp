// The static evaluation: material, pawns, centre, piece and king terms, and the final
// corrections for drawish material. Every term is white-positive until the very end.

#include <climits>
#include <cstdlib>
#include <cstring>

#include "board/large_table.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/colour_terms.h"
#include "eval/endgame.h"
#include "eval/eval.h"

namespace {

// What one evaluation carries from term to term.
struct EvalContext {
  Position& pos;
  int32_t s;          // the white-positive running score
  bool hasAttack[2];  // by side: a queen and another piece (EvalColour::HasAttack)
  int bishopColours;  // WhiteLight | WhiteDark | BlackLight | BlackDark of the bishops seen
};

constexpr Bitboard CentreSquares = Bit(D4) | Bit(E4) | Bit(D5) | Bit(E5);
// From white's side: pawns that support the centre, and the squares where a knight
// defended by a pawn makes an outpost.
constexpr Bitboard CentrePawnSquares = Bit(C3) | Bit(D3) | Bit(E3) | Bit(F3) | Bit(C4) | Bit(F4);
constexpr Bitboard OutpostSquares = Bit(C5) | Bit(D5) | Bit(E5) | Bit(F5) | Bit(D6) | Bit(E6);

// A side to move already this far outside the window is not worth the piece terms.
constexpr int32_t LazyMargin = 300;

// Centre control. The sum over the centre squares is scaled by the pieces left on the
// board: c x npm / 12520, so that it fades as pieces come off.
constexpr int32_t CentreDivisor = 12520;
constexpr int32_t CentrePawnBonus = 10;  // per own pawn on CentrePawnSquares
constexpr int32_t CentreLineBonus = 10;  // per own slider bearing on the square
// A pawn on a centre square counts double with a pawn of its own beside it to retake.
constexpr int32_t CentrePawn = 20, CentrePawnSupported = 40, CentreBishop = 20, CentreQueen = 30;

constexpr int32_t fewPawnsPenalty[9] = {-100, -50, -20, -5, 0, 0, 0, 0, 0};
// Scores closer to level than this are left alone by the few-pawns correction.
constexpr int32_t FewPawnsMargin = 50;

// Mobility by the number of counted squares; queens reach 27.
constexpr int32_t mobilityBonus[28] = {-100, -50, -20, -5, -1, 0,  1,  2,  3,  4,  5,  6,  7,  8,
                                       9,    10,  11,  12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};

// Bishops. A bishop that took the pawn on a7 (h7) is shut in by the pawn on b6 (g6).
// Bishops all on one square colour gain a little, less for each own pawn fixed on that
// colour by an enemy pawn in front of it.
constexpr int32_t TrappedBishopPenalty = 110;
constexpr int32_t OneColourBishopBonus = 5;
constexpr int32_t FixedPawnPenalty = 5;
constexpr int32_t BishopPairBonus = 20;

// King shelter, from the king's own side; 0 is a sound castled position.
constexpr int ShelterRank = 2;             // rank index of the third rank, the last a shelter covers
constexpr int32_t NoShelter = -100;        // a king beyond the shelter ranks
constexpr int32_t CastlingOpen = -20;      // a centre king with a castling way still open
constexpr int32_t CentreKingStuck = -40;   // ... and with none
constexpr int32_t ThinCoverPenalty = 30;   // fewer than two own pawns in front of an advanced king
constexpr int32_t EdgeFilePenalty = 10;    // a king on file a or h has fewer squares to flee to
constexpr int32_t AttackedSquarePenalty = 20;  // per square next to the king the enemy attacks
// The safety penalty counts in proportion to the attacker's material: full at 3900, about
// the material of a whole side.
constexpr int32_t KingSafetyDivisor = 3900;
// Against less than a queen's worth of pieces the king comes out and heads for the pawns.
constexpr int32_t KingPlacementMaterial = 900;

// Rooks.
constexpr int32_t RookBlockingPawnPenalty = 75;  // on the last rank in front of its own pawn
constexpr int32_t RookNearKingBonus = 25;        // bearing on a square next to the enemy king
constexpr int32_t ConnectedRooksBonus = 5;
constexpr int32_t RooksOnSeventhBonus = 25;      // connected on the seventh, enemy king on the eighth
// The extra rook against minor pieces (see ExtraRook).
constexpr int32_t RookAgainstKnightsPenalty = 10;
constexpr int32_t RookAgainstBishopsPenalty = 20;

// Passed pawns with an enemy man in front of them, by rank index (rank 1 = 0).
constexpr int32_t blockedPassedWhite[8] = {0, 0, -2, -3, -7, -13, -25, 0};
constexpr int32_t blockedPassedBlack[8] = {0, -25, -13, -7, -3, -2, 0, 0};

// A knight on an outpost is worth less when an enemy minor piece can still exchange it.
constexpr int32_t OutpostBonus = 20, ChallengedOutpostBonus = 10;

// Queens only: a passed pawn near promotion weighs heavily, as the queen escorts it.
constexpr int32_t QueenEndingSeventhBonus = 100, QueenEndingSixthBonus = 50;

// Opposite bishops alone draw unless passed pawns stand far apart: a spread of four
// files or more earns 25 per file beyond the first; then the whole score is scaled down.
constexpr int MinPassedSpread = 4;
constexpr int32_t PassedSpreadBonus = 25;
constexpr int32_t OppositeBishopsScale = 205;  // out of 256

// Floor division for a positive divisor (C++ division truncates toward zero).
constexpr int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

template <int Us>
int PawnCount(Position& pos) {
  int8_t& count = EvalColour<Us>::PawnCountCache(pos);
  if (count < 0) count = int8_t(CountBits(EvalColour<Us>::Pawns(pos)));
  return count;
}

int32_t Mobility(const Position& pos, int square, Bitboard excluded) {
  return mobilityBonus[CountBits(pos.attacksFrom[square] & ~excluded)];
}

template <int Us>
int CentrePawns(const Position& pos) {
  using Our = EvalColour<Us>;
  return CountBits(Our::Pawns(pos) & Our::RelativeSet(CentrePawnSquares));
}

// Us's occupant of a centre square: a pawn (more with a pawn beside it to retake), a bishop
// or a queen.
template <int Us>
int32_t CentreOccupant(const Position& pos, int square) {
  using Our = EvalColour<Us>;
  const int code = pos.board[square];
  if (code == Our::Pawn) return (Our::Pawns(pos) & adjacentFiles[square]) ? CentrePawnSupported : CentrePawn;
  if (code == Our::Bishop) return CentreBishop;
  if (code == Our::Queen) return CentreQueen;
  return 0;
}

// Us's sliders bearing on the centre squares, each pair counted once: a slider on x bears
// on s exactly when s is in x's attack set (the line between them is empty either way),
// and a queen reaches a square along one line only, so the attack sets of the cache give
// the count without looking along the lines from each centre square.
template <int Us>
int32_t CentreLines(const Position& pos) {
  using Our = EvalColour<Us>;
  int count = 0;
  for (Bitboard set = Our::Bishops(pos) | Our::Rooks(pos) | Our::Queens(pos); set;)
    count += CountBits(pos.attacksFrom[PopLowest(set)] & CentreSquares);
  return CentreLineBonus * count;
}

// Queens count only the squares free of own men and of enemy pawn attacks.
template <int Us>
void QueenMobilityOf(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  const Position& pos = e.pos;
  for (Bitboard set = Our::Queens(pos); set;)
    e.s += Our::Sign * Mobility(pos, PopLowest(set), Our::Men(pos) | Their::PawnAttacks(pos));
}

void CentreControl(EvalContext& e) {
  const Position& pos = e.pos;
  int32_t npm = int32_t(pos.whiteMaterial) + pos.blackMaterial - PawnValue * CountBits(pos.whitePawns | pos.blackPawns);
  if (npm == 0) return;
  int32_t c = CentreLines<White>(pos) - CentreLines<Black>(pos);
  for (Bitboard set = CentreSquares & pos.occupied; set;) {
    const int square = PopLowest(set);
    c += CentreOccupant<White>(pos, square) - CentreOccupant<Black>(pos, square);
  }
  c += CentrePawnBonus * (CentrePawns<White>(pos) - CentrePawns<Black>(pos));
  // Exact integer division gives the truncation of the exact product c x npm / 12520,
  // which a floating-point product may miss by one when c x npm is a multiple of 12520.
  e.s += int32_t(int64_t(c) * npm / CentreDivisor);
}

void QueenMobility(EvalContext& e) {
  QueenMobilityOf<White>(e);
  QueenMobilityOf<Black>(e);
}

// Trapped bishops, bishops hemmed in by their own fixed pawns, and the pair, from Us's side.
template <int Us>
int32_t BishopPatterns(const Position& pos, int bishopColours) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  const Bitboard fixed = Our::Pawns(pos) & Our::Behind(Their::Pawns(pos));
  auto trapped = [&pos](int bishop, int pawn) {
    return (Our::Bishops(pos) & Bit(Our::RelativeSquare(bishop))) &&
           (Their::Pawns(pos) & Bit(Our::RelativeSquare(pawn)));
  };
  // a7 is dark but a2 light: which corner traps which bishop depends on the colour.
  const bool trappedA = trapped(A7, B6), trappedH = trapped(H7, G6);
  const bool trappedDark = Us == White ? trappedA : trappedH;
  const bool trappedLight = Us == White ? trappedH : trappedA;
  switch (bishopColours & Our::BishopBits) {
    case Our::DarkBishop:
      return (trappedDark ? -TrappedBishopPenalty : 0) + OneColourBishopBonus -
             FixedPawnPenalty * CountBits(fixed & DarkSquares);
    case Our::LightBishop:
      return (trappedLight ? -TrappedBishopPenalty : 0) + OneColourBishopBonus -
             FixedPawnPenalty * CountBits(fixed & LightSquares);
    case Our::BishopBits:
      return (trappedLight ? -TrappedBishopPenalty : 0) + (trappedDark ? -TrappedBishopPenalty : 0) + BishopPairBonus;
  }
  return 0;
}

// Mobility and the patterns above; records the bishops' square colours.
template <int Us>
void Bishops(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  const Position& pos = e.pos;
  for (Bitboard set = Our::Bishops(pos); set;) {
    int sq = PopLowest(set);
    // Own pieces other than pawns can move away, so only own pawns block a bishop.
    e.s += Our::Sign * Mobility(pos, sq, Our::Pawns(pos) | Their::PawnAttacks(pos));
    e.bishopColours |= IsLightSquare(sq) ? Our::LightBishop : Our::DarkBishop;
  }
  e.s += Our::Sign * BishopPatterns<Us>(pos, e.bishopColours);
}

// Pawns in front of a castled king, squares named from white's side.
template <int Us>
struct Shelter {
  Bitboard pawns;
  bool Pawn(int square) const { return pawns & Bit(EvalColour<Us>::RelativeSquare(square)); }
};

// Shelter values on the king's wing, by the g-pawn: on g2, gone forward to g4 or g5, gone,
// or on g3 with the fianchetto bishop there (or no enemy bishop of that colour to use the
// holes) or without. A king on the f file is less tucked in than on g or h.
template <int Us>
int32_t KingsideShelter(const Shelter<Us>& sh, int kingFile, bool ownFianchettoBishop, bool enemyHasOne) {
  const bool fFile = kingFile == FileOf(F1);
  const int32_t g2 = fFile ? 0 : 10, g4g5 = fFile ? -30 : -20, none = fFile ? -40 : -30;
  const int32_t fianchettoOk = fFile ? -5 : 5, fianchettoBad = fFile ? -25 : -15;
  int32_t v;
  if (sh.Pawn(G2))
    v = g2;
  else if (!sh.Pawn(G3))
    v = (sh.Pawn(G4) || sh.Pawn(G5)) ? g4g5 : none;
  else
    v = (ownFianchettoBishop || !enemyHasOne) ? fianchettoOk : fianchettoBad;
  v += (sh.Pawn(H2) || sh.Pawn(H3)) ? 5 : -10;  // the h-pawn at home or one step on
  return sh.Pawn(F2) ? v : v - 5;               // the f-pawn gone opens the king's diagonal
}

// Shelter values on the queen's wing: a triple (x1, p0, x2) by the b-pawn as on the king's
// wing, then p0 with both the c-pawn on c2 and the a-pawn on a2 or a3, x1 with one of them,
// x2 with neither.
template <int Us>
int32_t QueensideShelter(const Shelter<Us>& sh, bool ownFianchettoBishop, bool enemyHasOne) {
  int32_t x1, p0, x2;
  if (sh.Pawn(B2)) {
    x1 = 10, p0 = 15, x2 = 5;
  } else if (!sh.Pawn(B3)) {
    if (sh.Pawn(B4) || sh.Pawn(B5))
      x1 = -20, p0 = -15, x2 = -25;
    else
      x1 = -30, p0 = -25, x2 = -35;
  } else if (ownFianchettoBishop || !enemyHasOne) {
    x1 = 5, p0 = 10, x2 = 0;
  } else {
    x1 = -15, p0 = -10, x2 = -20;
  }
  bool c2 = sh.Pawn(C2);
  bool a2a3 = sh.Pawn(A2) || sh.Pawn(A3);
  if (c2 && a2a3) return p0;
  if (c2 || a2a3) return x1;
  return x2;
}

// A king still in the centre is safe enough while a castling way is open.
template <int Us>
int32_t CentreKingShelter(const Position& pos) {
  using Our = EvalColour<Us>;
  const Bitboard queenPath = Our::RelativeSet(Bit(B1) | Bit(C1) | Bit(D1));
  const Bitboard kingPath = Our::RelativeSet(Bit(F1) | Bit(G1));
  if ((pos.castling & Our::QueenSideRight) && !(pos.occupied & queenPath)) return CastlingOpen;
  if ((pos.castling & Our::KingSideRight) && !(pos.occupied & kingPath)) return CastlingOpen;
  return CentreKingStuck;
}

// The shelter of a king on its first three ranks, by the wing it stands on.
template <int Us>
int32_t HomeShelter(const Position& pos, int file, int bishopColours) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  if (file == FileOf(D1) || file == FileOf(E1)) return CentreKingShelter<Us>(pos);
  const Shelter<Us> sh{Our::Pawns(pos)};
  // g2 is light and g7 dark: the colour of the fianchetto bishop on the king's wing; the
  // queen's wing has the other one.
  constexpr bool kingsideLight = Us == White;
  constexpr int ownKingside = kingsideLight ? Our::LightBishop : Our::DarkBishop;
  constexpr int enemyKingside = kingsideLight ? Their::LightBishop : Their::DarkBishop;
  constexpr int ownQueenside = Our::BishopBits & ~ownKingside;
  constexpr int enemyQueenside = Their::BishopBits & ~enemyKingside;
  if (file >= FileOf(F1))
    return KingsideShelter(sh, file, bishopColours & ownKingside, bishopColours & enemyKingside);
  return QueensideShelter(sh, bishopColours & ownQueenside, bishopColours & enemyQueenside);
}

// King safety of one side before the attacked squares: the shelter of a king on its first
// three ranks, the pawns in front of an advanced king, and the edge.
template <int Us>
int32_t ShelterPenalty(const Position& pos, int bishopColours) {
  using Our = EvalColour<Us>;
  const int king = Our::KingSquare(pos);
  const int relRank = Our::RelativeRank(king);
  int32_t pen = NoShelter;
  if (relRank <= ShelterRank) pen = HomeShelter<Us>(pos, FileOf(king), bishopColours);
  if (relRank >= ShelterRank && CountBits(Our::FrontTriple(king) & Our::Pawns(pos)) < 2) pen -= ThinCoverPenalty;
  if (Bit(king) & (FileA | FileH)) pen -= EdgeFilePenalty;
  return pen;
}

// floor((pen - 20 a) x material / 3900 + 0.5), exactly, in integers.
int32_t KingSafetyTerm(int32_t pen, int attacked, int32_t enemyMaterial) {
  int64_t x = int64_t(pen - AttackedSquarePenalty * attacked) * enemyMaterial;
  return int32_t(FloorDiv(2 * x + KingSafetyDivisor, 2 * KingSafetyDivisor));
}

int ManhattanDistance(int a, int b) {
  return std::abs(FileOf(a) - FileOf(b)) + std::abs(RankOf(a) - RankOf(b));
}

// The enemy has a bare king: drive it to the edge, or to a corner the bishops can cover.
// With every flight square covered it is stalemate only when the king is not in check: a
// covered king in check is mated, and calling that a draw would throw the win away.
// Returns false when the bare king to move is stalemated.
template <int Us>
bool BareKingTerms(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  const Position& pos = e.pos;
  const int bare = Their::KingSquare(pos);
  const Bitboard covered = Our::Attacks(pos);
  if (pos.sideToMove == Our::Them && (pos.attacksFrom[bare] & ~covered) == 0 && !(covered & Bit(bare))) return false;
  int32_t v = -ManhattanDistance(pos.whiteKing, pos.blackKing);
  switch (e.bishopColours & Our::BishopBits) {
    case Our::LightBishop: v -= lightCornerDistance[bare]; break;
    case Our::DarkBishop: v -= darkCornerDistance[bare]; break;
    default: v += edgeRing[bare]; break;
  }
  e.s += Our::Sign * v;
  return true;
}

// King safety when the enemy can attack, else the king's place in the ending, or the
// bare-king terms; false when the enemy's bare king is to move and stalemated.
template <int Us>
bool KingTerms(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  Position& pos = e.pos;
  const int king = Our::KingSquare(pos);
  if (e.hasAttack[Our::Them]) {
    int32_t pen = ShelterPenalty<Us>(pos, e.bishopColours);
    int attacked = CountBits(pos.attacksFrom[king] & ~Our::Men(pos) & Their::Attacks(pos));
    e.s += Our::Sign * KingSafetyTerm(pen, attacked, Their::Material(pos));
    return true;
  }
  if (Their::Material(pos) == 0) return BareKingTerms<Us>(e);
  if (Their::Material(pos) - PawnValue * PawnCount<Our::Them>(pos) < KingPlacementMaterial)
    e.s += Our::Sign * KingPlacementTable(pos.whitePawns | pos.blackPawns)[king];
  return true;
}

// Passed pawns with an enemy man directly in front of them.
template <int Us>
void BlockedPassedPawnsOf(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  constexpr const int32_t* penalty = Us == White ? blockedPassedWhite : blockedPassedBlack;
  const Position& pos = e.pos;
  for (Bitboard set = pos.passedPawns & Our::Pawns(pos) & Our::Behind(Their::Men(pos)); set;)
    e.s += Our::Sign * penalty[RankOf(PopLowest(set))];
}

void BlockedPassedPawns(EvalContext& e) {
  BlockedPassedPawnsOf<White>(e);
  BlockedPassedPawnsOf<Black>(e);
}

// Mobility, a rook shut in by its own pawn, pressure on the enemy king, connected rooks.
template <int Us>
void Rooks(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  const Position& pos = e.pos;
  const Bitboard rooks = Our::Rooks(pos);
  const int enemyKing = Their::KingSquare(pos);
  bool connected = false;
  int32_t v = 0;
  for (Bitboard set = rooks; set;) {
    int sq = PopLowest(set);
    Bitboard attacks = pos.attacksFrom[sq];
    if ((Bit(sq) & Our::LastRank) && (Our::Pawns(pos) & Bit(sq - Our::Forward))) v -= RookBlockingPawnPenalty;
    v += Mobility(pos, sq, Our::Men(pos) | Their::PawnAttacks(pos));
    if (e.hasAttack[Us] && (attacks & pos.attacksFrom[enemyKing])) v += RookNearKingBonus;
    if (attacks & rooks) connected = true;
  }
  if (connected) {
    bool seventh = (Bit(enemyKing) & Our::LastRank) && !(rooks & ~Our::RelativeSet(Rank7));
    v += seventh ? RooksOnSeventhBonus : ConnectedRooksBonus;
  }
  e.s += Our::Sign * v;
}

// An exchange of a rook for minor pieces: the side with the extra rook (Us) is worse off
// against two minors than material says. Knights are compared only when the enemy has
// some.
template <int Us>
void ExtraRook(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  const Position& pos = e.pos;
  const int ownKnights = CountBits(Our::Knights(pos)), enemyKnights = CountBits(Their::Knights(pos));
  const int dN = enemyKnights ? ownKnights - enemyKnights : 0;
  const int dB = CountBits(Our::Bishops(pos)) - CountBits(Their::Bishops(pos));
  const bool rooksAlone = (pos.materialSignature & Our::SigOwnPieces) == Our::SigRook;
  const bool enemyBishops = Their::Bishops(pos) != 0;
  // The enemy has two minors more than Us in knights, or in knights and bishops together.
  int32_t v = 0;
  if (enemyKnights && dN <= -2) {
    if (!rooksAlone) v -= RookAgainstKnightsPenalty;
  } else if (dN == 0) {
    if (enemyBishops && dB <= -2) v -= RookAgainstBishopsPenalty;
  } else if (dN == -1) {
    if (enemyBishops && dB <= -1 && !rooksAlone) v -= RookAgainstBishopsPenalty;
  }
  e.s += Our::Sign * v;
}

void RooksAgainstMinors(EvalContext& e) {
  const int extraRooks = CountBits(e.pos.whiteRooks) - CountBits(e.pos.blackRooks);
  if (extraRooks > 0)
    ExtraRook<White>(e);
  else if (extraRooks < 0)
    ExtraRook<Black>(e);
}

// Knights on advanced squares defended by a pawn, where no enemy pawn can attack them.
template <int Us>
void KnightOutpostsOf(EvalContext& e) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  const Position& pos = e.pos;
  const Bitboard candidates =
      Our::Knights(pos) & Our::RelativeSet(OutpostSquares) & Our::PawnAttacks(pos) & ~Their::PawnAttacks(pos);
  for (Bitboard set = candidates; set;) {
    int sq = PopLowest(set);
    // An enemy pawn two ranks ahead on a neighbouring file can still chase the knight.
    int twoAhead = sq + 2 * Our::Forward;
    if (Their::Pawns(pos) & (Bit(twoAhead - 1) | Bit(twoAhead + 1))) continue;
    bool challenged = Their::Knights(pos) || (Their::Bishops(pos) & sameColourSquares[sq]);
    e.s += Our::Sign * (challenged ? ChallengedOutpostBonus : OutpostBonus);
  }
}

void KnightOutposts(EvalContext& e) {
  KnightOutpostsOf<White>(e);
  KnightOutpostsOf<Black>(e);
}

// Us's passed pawns on the sixth and seventh ranks, from Us's side.
template <int Us>
int32_t AdvancedPassedPawns(const Position& pos) {
  using Our = EvalColour<Us>;
  const Bitboard passed = pos.passedPawns & Our::Pawns(pos);
  return QueenEndingSeventhBonus * CountBits(passed & Our::RelativeSet(Rank7)) +
         QueenEndingSixthBonus * CountBits(passed & Our::RelativeSet(Rank6));
}

void QueenEndings(EvalContext& e) {
  const Position& pos = e.pos;
  if ((pos.materialSignature & SigPieces) != (SigWhiteQueen | SigBlackQueen)) return;
  e.s += AdvancedPassedPawns<White>(pos) - AdvancedPassedPawns<Black>(pos);
}

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

// From Us's side.
template <int Us>
int32_t PassedSpreadTerm(const Position& pos) {
  const int spread = PassedSpread(pos.passedPawns & EvalColour<Us>::Pawns(pos));
  return spread >= MinPassedSpread ? PassedSpreadBonus * (spread - 1) : 0;
}

void OppositeBishops(EvalContext& e) {
  const Position& pos = e.pos;
  if (e.bishopColours != (WhiteDark | BlackLight) && e.bishopColours != (WhiteLight | BlackDark)) return;
  if ((pos.materialSignature & SigPieces) != (SigWhiteBishop | SigBlackBishop)) return;
  e.s += PassedSpreadTerm<White>(pos) - PassedSpreadTerm<Black>(pos);
  e.s = e.s * OppositeBishopsScale / 256;
}

// Ahead with few pawns and no attack on the king: pieces alone may not be enough to win.
template <int Us>
void FewPawnsOf(EvalContext& e) {
  using Our = EvalColour<Us>;
  e.s += Our::Sign * fewPawnsPenalty[PawnCount<Us>(e.pos)];
  if (Our::Sign * e.s < 0) e.s = 0;
}

void FewPawns(EvalContext& e) {
  if (e.hasAttack[White] || e.hasAttack[Black]) return;
  if (e.s > FewPawnsMargin)
    FewPawnsOf<White>(e);
  else if (e.s < -FewPawnsMargin)
    FewPawnsOf<Black>(e);
}

// The piece and king terms, in the fixed order; false when the stalemate guard answers 0.
bool PieceTerms(EvalContext& e) {
  QueenMobility(e);
  Bishops<White>(e);
  Bishops<Black>(e);
  // Filled on first use by the king and few-pawns terms.
  e.pos.whitePawnCount = -1;
  e.pos.blackPawnCount = -1;
  if (!KingTerms<White>(e) || !KingTerms<Black>(e)) return false;
  BlockedPassedPawns(e);
  Rooks<White>(e);
  Rooks<Black>(e);
  RooksAgainstMinors(e);
  KnightOutposts(e);
  return true;
}


// The evaluation cache: one entry per slot, always replaced. The full key makes a hit
// exact, and the lazy exit is replayed from the stored balance, so a hit returns what the
// evaluation would have returned for the same window.
struct EvalEntry {
  uint64_t key;
  int32_t balance;  // material and pawns (white-positive), or ScorerAnswered
  int32_t score;    // the white-positive score, or NotEvaluated after a lazy exit
};
static_assert(sizeof(EvalEntry) == 16);

constexpr int32_t ScorerAnswered = INT32_MIN;
constexpr int32_t NotEvaluated = INT32_MIN;

struct EvalCache {
  EvalEntry* entries = nullptr;
  uint64_t mask = 0;
};
EvalCache evalCache;

int32_t ForMover(bool whiteToMove, int32_t whiteScore) { return whiteToMove ? whiteScore : -whiteScore; }

// The lazy exit: alpha or beta when the mover's balance lies beyond the margin, else
// NotEvaluated. A side with only its king never leaves early: the bare-king terms may be
// all that tells its moves apart.
int32_t LazyExit(const Position& pos, int32_t balance, int32_t alpha, int32_t beta) {
  const bool whiteToMove = pos.sideToMove == White;
  const int32_t moverScore = ForMover(whiteToMove, balance);
  const int32_t moverMaterial = whiteToMove ? pos.whiteMaterial : pos.blackMaterial;
  if (moverMaterial != 0) {
    if (moverScore < alpha - LazyMargin) return alpha;
    if (moverScore > beta + LazyMargin) return beta;
  }
  return NotEvaluated;
}

// Everything after the lazy exit; the white-positive score.
int32_t FullScore(EvalContext& e) {
  ComputeWhiteAttacks(e.pos);
  ComputeBlackAttacks(e.pos);
  CentreControl(e);
  if (!PieceTerms(e)) return 0;
  QueenEndings(e);
  OppositeBishops(e);
  FewPawns(e);
  return e.s;
}

}  // namespace

int32_t Evaluate(int32_t alpha, int32_t beta, Position& pos) {
  const bool whiteToMove = pos.sideToMove == White;
  const uint16_t sig = pos.materialSignature;
  EvalEntry* entry = evalCache.entries ? &evalCache.entries[pos.hashKey & evalCache.mask] : nullptr;
  if (entry && entry->key == pos.hashKey) {
    if (entry->balance == ScorerAnswered) return ForMover(whiteToMove, entry->score);
    const int32_t exit = LazyExit(pos, entry->balance, alpha, beta);
    if (exit != NotEvaluated) return exit;
    if (entry->score != NotEvaluated) return ForMover(whiteToMove, entry->score);
  }

  if (auto scorer = scorerTable[sig]) {
    int32_t score = 0;
    if (scorer(pos, &score)) {
      if (entry) *entry = EvalEntry{pos.hashKey, ScorerAnswered, score};
      return ForMover(whiteToMove, score);
    }
  }

  EvalContext e{pos, int32_t(pos.whiteMaterial) - int32_t(pos.blackMaterial) + EvaluatePawns(pos),
                {EvalColour<White>::HasAttack(sig), EvalColour<Black>::HasAttack(sig)}, 0};
  const int32_t balance = e.s;
  const int32_t exit = LazyExit(pos, balance, alpha, beta);
  if (exit != NotEvaluated) {
    if (entry) *entry = EvalEntry{pos.hashKey, balance, NotEvaluated};
    return exit;
  }
  const int32_t score = FullScore(e);
  if (entry) *entry = EvalEntry{pos.hashKey, balance, score};
  return ForMover(whiteToMove, score);
}

bool AllocateEvalCache(size_t entries) {
  // Every new hash budget asks for the same size again; clearing the table it has spares
  // a fresh block and its page faults.
  if (evalCache.entries && evalCache.mask + 1 == entries) {
    ClearEvalCache();
    return true;
  }
  FreeEvalCache();
  if (entries == 0 || (entries & (entries - 1)) != 0) return false;
  EvalEntry* table = static_cast<EvalEntry*>(AllocateZeroedTable(entries * sizeof(EvalEntry)));
  if (!table) return false;
  evalCache.entries = table;
  evalCache.mask = entries - 1;
  ClearEvalCache();
  return true;
}

void ClearEvalCache() {
  if (!evalCache.entries) return;
  std::memset(evalCache.entries, 0, (evalCache.mask + 1) * sizeof(EvalEntry));
  evalCache.entries[0].key = 1;  // key 0 indexes entry 0 and must not match a cleared entry
}

void FreeEvalCache() {
  std::free(evalCache.entries);
  evalCache = EvalCache{};
}
