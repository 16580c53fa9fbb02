// Rook and pawn against rook (the defending king in front of the pawn, the rook checking
// from behind or cutting off on the third rank) and rook and pawn against queen (the
// fortress on the second rank). The rook-against-rook recognizer is written with black
// owning the pawn, the scorers with white owning it; the other colour reads the position
// colour-flipped.

#include <cstdlib>

#include "eval/colour_terms.h"
#include "eval/endgame_view.h"
#include "eval/eval.h"

namespace {

// Rank indices (rank 1 = 0) of the black pawn in RookAgainstRookPawn.
constexpr int SecondRank = 1, FourthRank = 3;

// The rook and pawn side's material exactly, or less.
constexpr int32_t RookAndPawn = RookValue + PawnValue;

// The two rooks must not meet on a line. With the pawn side to move the test passes. With
// the defender to move, two comparisons would both have to hold — the pawn side's rook and
// king on one file, and on one rank — which never happens, so the test fails: only the
// pawn side to move is answered.
bool RookGeometryPasses(const EndgameView& v) {
  int defender = LowestSquare(v.white.rooks), attacker = LowestSquare(v.black.rooks);
  if (FileOf(defender) == FileOf(attacker) || RankOf(defender) == RankOf(attacker)) return false;
  return v.sideToMove == Black;
}

// Squares behind a black pawn (towards rank 8) on its own and the adjacent files.
Bitboard BehindBlackPawn(int pawn) {
  Bitboard files = fileMask[pawn] | adjacentFiles[pawn];
  Bitboard above = (Bit(pawn) & Rank8) ? 0 : ~Bitboard{0} << (8 * (RankOf(pawn) + 1));
  return files & above;
}

// Pawn on the second rank: the attacker's rook stuck in front of its pawn, the defender's
// rook behind it.
bool RookInFrontOfPawn(const EndgameView& v, int pawn) {
  const int wk = v.white.king, bk = v.black.king, promotion = FileOf(pawn);
  return !TouchesAny(bk, v.occupied) && !TouchesAny(wk, v.black.men) &&
         (wk == A2 || wk == B2 || wk == G2 || wk == H2) && (v.black.rooks & Bit(promotion)) &&
         (v.white.rooks & fileMask[pawn] & (Rank6 | Rank7 | Rank8));
}

// Pawn on ranks 4 to 7: the defending king in front of the pawn (on the promotion square or
// the one above it), its rook holding the third rank on the far wing.
bool KingInFrontOfPawn(const EndgameView& v, int pawn) {
  const int wk = v.white.king, promotion = FileOf(pawn);
  Bitboard rookSquares = FileOf(pawn) >= FileOf(E1) ? Bit(A3) | Bit(B3) : Bit(G3) | Bit(H3);
  return (wk == promotion || wk == promotion + 8) && CountBits(v.white.rooks) == 1 && (v.white.rooks & rookSquares) &&
         !TouchesAny(v.black.king, v.white.rooks) && RookGeometryPasses(v) && !CaptureExists(*v.pos);
}

// Pawn on the third rank: the defending rook has gone to the far side to check from behind.
bool RookCheckingFromBehind(const EndgameView& v, int pawn) {
  const int bk = v.black.king;
  if (!(v.white.rooks & (Rank7 | Rank8)) || v.white.king != FileOf(pawn)) return false;
  if ((Bit(bk) & Rank8) || bk == A1 || bk == H1 || TouchesAny(bk, v.white.rooks)) return false;
  if (!RookGeometryPasses(v) || CaptureExists(*v.pos)) return false;
  bool kingBesidePawn = RankOf(bk) == RankOf(pawn) && Touches(bk, pawn);
  return !kingBesidePawn || v.sideToMove == White || (v.black.rooks & BehindBlackPawn(pawn));
}

// White rook against black rook and pawn.
bool RookAgainstRookPawn(const EndgameView& v, int32_t* score) {
  if (v.white.material > RookValue || v.black.material > RookAndPawn || CountBits(v.black.pawns) != 1) return false;
  const int pawn = LowestSquare(v.black.pawns), rank = RankOf(pawn);
  bool draw;
  if (rank == SecondRank)
    draw = RookInFrontOfPawn(v, pawn);
  else if (rank >= FourthRank)
    draw = KingInFrontOfPawn(v, pawn);
  else  // the third rank
    draw = RookCheckingFromBehind(v, pawn);
  return draw && Answer(score, 0);
}

// The score of rook and pawn against rook, white-positive in the view, where the pawn
// belongs to the view's white side: the rook pawn is worth a fifth of a pawn less, the
// defending king is worth more the further it stands from the seventh rank in front of
// the pawn, and the attacking king wants to stand by its pawn.
constexpr int32_t RookPawnDiscount = 20;
constexpr int32_t DefendingKingDistanceBonus = 10;  // per file and rank
constexpr int32_t KingAwayFromPawnPenalty = 10;

int32_t RookPawnScore(const EndgameView& v, int32_t pawnScore) {
  const int pawn = LowestSquare(v.white.pawns), bk = v.black.king;
  const int distance = std::abs(FileOf(pawn) - FileOf(bk)) + std::abs(RankOf(bk) - RankOf(A7));
  int32_t s = v.white.material - RookPawnDiscount - v.black.material + pawnScore + DefendingKingDistanceBonus * distance;
  if (!TouchesAny(v.white.king, v.white.pawns)) s -= KingAwayFromPawnPenalty;
  return s;
}

// Us has the rook and pawn.
template <int Us>
bool ScoreRookPawn(Position& pos, int32_t* score) {
  using Our = EvalColour<Us>;
  using Their = EvalColour<Our::Them>;
  if (Our::Material(pos) > RookAndPawn || Their::Material(pos) > RookValue) return false;
  return Answer(score, Our::Sign * RookPawnScore(MakeView(pos, Us == Black), Our::Sign * EvaluatePawns(pos)));
}

// Rook and pawn against queen: the rook shielded by a pawn on the second rank and the king
// beside the pawn, with the queen's king kept out.
bool RookPawnFortress(const EndgameView& v, int32_t* score) {
  if (v.white.material > RookAndPawn || v.black.material > QueenValue) return false;
  if (CountBits(v.white.pawns) != 1) return false;
  int pawn = LowestSquare(v.white.pawns);
  bool draw = pawn >= B2 && pawn <= G2 && RankOf(v.black.king) >= RankOf(A4) && (whitePawnCaptures[pawn] & v.white.rooks) &&
              RankOf(v.white.king) <= RankOf(A2) && Touches(v.white.king, pawn);
  return draw && Answer(score, 0);
}

}  // namespace

void RegisterRookEndings() {
  recognizerTable[SigWhitePawn | SigWhiteRook | SigBlackRook] = Flipped<RookAgainstRookPawn>;
  recognizerTable[SigWhiteRook | SigBlackPawn | SigBlackRook] = Direct<RookAgainstRookPawn>;
  scorerTable[SigWhitePawn | SigWhiteRook | SigBlackRook] = ScoreRookPawn<White>;
  scorerTable[SigWhiteRook | SigBlackPawn | SigBlackRook] = ScoreRookPawn<Black>;
  scorerTable[SigWhitePawn | SigWhiteRook | SigBlackQueen] = Direct<RookPawnFortress>;
  scorerTable[SigWhiteQueen | SigBlackRook | SigBlackPawn] = Flipped<RookPawnFortress>;
}
