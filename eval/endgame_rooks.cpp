// Rook and pawn against rook (the defending king in front of the pawn, the rook checking
// from behind or cutting off on the third rank) and rook and pawn against queen (the
// fortress on the second rank). Each rule is written with black owning the pawn; the
// white-pawn signatures read the position colour-flipped.

#include <cstdlib>

#include "eval/eval.h"
#include "eval/endgame_view.h"

namespace {

constexpr int A2 = 8, B2 = 9, G2 = 14, H2 = 15, A3 = 16, B3 = 17, G3 = 22, H3 = 23;
constexpr Bitboard Ranks6To8 = 0xFFFFFF0000000000ull;
constexpr Bitboard Ranks7To8 = 0xFFFF000000000000ull;

bool Answer(int32_t* score, int32_t value) {
  *score = value;
  return true;
}

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
  Bitboard above = RankOf(pawn) == 7 ? 0 : ~Bitboard{0} << (8 * (RankOf(pawn) + 1));
  return files & above;
}

// White rook against black rook and pawn.
bool RookAgainstRookPawn(const EndgameView& v, int32_t* score) {
  if (v.white.material > 500 || v.black.material > 600 || CountBits(v.black.pawns) != 1) return false;
  int pawn = LowestSquare(v.black.pawns), promotion = FileOf(pawn);
  int wk = v.white.king, bk = v.black.king;
  int rank = RankOf(pawn);
  if (rank == 1) {
    // The attacker's rook stuck in front of its pawn, the defender's rook behind it.
    bool draw = !TouchesAny(bk, v.occupied) && !TouchesAny(wk, v.black.men) &&
                (wk == A2 || wk == B2 || wk == G2 || wk == H2) && (v.black.rooks & Bit(promotion)) &&
                (v.white.rooks & fileMask[pawn] & Ranks6To8);
    return draw && Answer(score, 0);
  }
  if (rank >= 3) {
    // The defending king in front of the pawn, its rook holding the third rank.
    Bitboard rookSquares = FileOf(pawn) >= 4 ? Bit(A3) | Bit(B3) : Bit(G3) | Bit(H3);
    bool draw = (wk == promotion || wk == promotion + 8) && CountBits(v.white.rooks) == 1 &&
                (v.white.rooks & rookSquares) && !TouchesAny(bk, v.white.rooks) && RookGeometryPasses(v) &&
                !CaptureExists(*v.pos);
    return draw && Answer(score, 0);
  }
  // Pawn on the third rank: the defending rook has gone to the far side to check from behind.
  if (!(v.white.rooks & Ranks7To8) || wk != promotion) return false;
  if (RankOf(bk) > 6 || bk == 0 || bk == 7 || TouchesAny(bk, v.white.rooks)) return false;
  if (!RookGeometryPasses(v) || CaptureExists(*v.pos)) return false;
  bool kingBesidePawn = RankOf(bk) == rank && Touches(bk, pawn);
  if (!kingBesidePawn || v.sideToMove == White || (v.black.rooks & BehindBlackPawn(pawn))) return Answer(score, 0);
  return false;
}

bool RecognizeRookPawnBlack(Position& pos, int32_t* s) { return RookAgainstRookPawn(MakeView(pos, false), s); }
bool RecognizeRookPawnWhite(Position& pos, int32_t* s) { return RookAgainstRookPawn(MakeView(pos, true), s); }

// White-positive in the view; the pawn belongs to the view's white side.
int32_t RookPawnScore(const EndgameView& v, int32_t pawnScore) {
  int pawn = LowestSquare(v.white.pawns), bk = v.black.king;
  // Ranks counted from 1: the defending king is best placed on the seventh, in front.
  int32_t s = v.white.material - 20 - v.black.material + pawnScore +
              10 * (std::abs(FileOf(pawn) - FileOf(bk)) + std::abs(RankOf(bk) + 1 - 7));
  if (!TouchesAny(v.white.king, v.white.pawns)) s -= 10;
  return s;
}

bool ScoreRookPawnWhite(Position& pos, int32_t* score) {
  if (pos.whiteMaterial >= 601 || pos.blackMaterial >= 501) return false;
  return Answer(score, RookPawnScore(MakeView(pos, false), EvaluatePawns(pos)));
}

bool ScoreRookPawnBlack(Position& pos, int32_t* score) {
  if (pos.whiteMaterial >= 501 || pos.blackMaterial >= 601) return false;
  return Answer(score, -RookPawnScore(MakeView(pos, true), -EvaluatePawns(pos)));
}

// Rook and pawn against queen: the rook shielded by a pawn on the second rank and the king
// beside the pawn, with the queen's king kept out.
bool RookPawnFortress(const EndgameView& v, int32_t* score) {
  if (v.white.material >= 601 || v.black.material >= 901) return false;
  if (CountBits(v.white.pawns) != 1) return false;
  int pawn = LowestSquare(v.white.pawns);
  bool draw = pawn >= B2 && pawn <= G2 && RankOf(v.black.king) >= 3 && (whitePawnCaptures[pawn] & v.white.rooks) &&
              RankOf(v.white.king) <= 1 && Touches(v.white.king, pawn);
  return draw && Answer(score, 0);
}

bool ScoreRookPawnQueenWhite(Position& pos, int32_t* s) { return RookPawnFortress(MakeView(pos, false), s); }
bool ScoreRookPawnQueenBlack(Position& pos, int32_t* s) { return RookPawnFortress(MakeView(pos, true), s); }

}  // namespace

void RegisterRookEndings() {
  recognizerTable[SigWhitePawn | SigWhiteRook | SigBlackRook] = RecognizeRookPawnWhite;
  recognizerTable[SigWhiteRook | SigBlackPawn | SigBlackRook] = RecognizeRookPawnBlack;
  scorerTable[SigWhitePawn | SigWhiteRook | SigBlackRook] = ScoreRookPawnWhite;
  scorerTable[SigWhiteRook | SigBlackPawn | SigBlackRook] = ScoreRookPawnBlack;
  scorerTable[SigWhitePawn | SigWhiteRook | SigBlackQueen] = ScoreRookPawnQueenWhite;
  scorerTable[SigWhiteQueen | SigBlackRook | SigBlackPawn] = ScoreRookPawnQueenBlack;
}
