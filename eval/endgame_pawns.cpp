// Endings with pawns and at most minor pieces or a lone queen: rook-pawn and wrong-bishop
// fortresses, the queen against a pawn on the seventh, and the scorers that steer the
// general evaluation when only pawns and a minor piece are left.

#include <initializer_list>

#include "egdb/egdb.h"
#include "eval/colour_terms.h"
#include "eval/endgame_view.h"
#include "eval/eval.h"

namespace {

// The corners in front of a rook pawn where the defending king cannot be driven out.
constexpr Bitboard QueensideCorner = Bit(A7) | Bit(B7) | Bit(A8) | Bit(B8);
constexpr Bitboard KingsideCorner = Bit(G7) | Bit(H7) | Bit(G8) | Bit(H8);

// Against pawns a lone minor piece cannot win by itself: its side counts 150 less.
constexpr int32_t LoneMinorDiscount = 150;
// A single pawn against the bare king: the bitbase knows the ending, so push it home.
constexpr int32_t LonePawnBonus = 300;

// +1 for white seen from the side to move: a blockade that only the search could break.
int32_t WhiteEdge(const EndgameView& v) { return v.sideToMove == White ? 1 : -1; }

EndgameView MirrorFiles(EndgameView v) {
  for (EndgameSide* s : {&v.white, &v.black}) {
    s->pawns = FileMirrorSet(s->pawns);
    s->knights = FileMirrorSet(s->knights);
    s->bishops = FileMirrorSet(s->bishops);
    s->rooks = FileMirrorSet(s->rooks);
    s->queens = FileMirrorSet(s->queens);
    s->men = FileMirrorSet(s->men);
    s->king = FileMirror(s->king);
  }
  v.occupied = FileMirrorSet(v.occupied);
  return v;
}

// Material difference plus pawn structure, white-positive.
int32_t MaterialAndPawns(Position& pos) {
  return int32_t(pos.whiteMaterial) - int32_t(pos.blackMaterial) + EvaluatePawns(pos);
}

// With only kings and pawns left nothing can hold an advantage back: it counts half as
// much again.
int32_t PawnEndingScore(Position& pos) { return MaterialAndPawns(pos) * 3 / 2; }

// --- recognizers -------------------------------------------------------------------------

// A single pawn is known exactly by the bitbase: a draw unless it is marked won, and a won
// position is left to the search, which finds the way. Rook pawns with the defending king in
// the corner never win.
bool PawnsAgainstKing(const EndgameView& v, int32_t* score) {
  if (v.white.material == PawnValue) {
    int pawn = LowestSquare(v.white.pawns);
    if (KpkWon(KpkIndex(pawn, v.white.king, v.black.king, v.sideToMove))) return false;
    return Answer(score, 0);
  }
  if (!(v.white.pawns & ~FileA) && (Bit(v.black.king) & QueensideCorner)) return Answer(score, 0);
  if (!(v.white.pawns & ~FileH) && (Bit(v.black.king) & KingsideCorner)) return Answer(score, 0);
  return false;
}

// The a-pawn on a7 (the h-pawn is mirrored onto it).
bool KnightRookPawnA7(const EndgameView& v, int32_t* score) {
  int knight = LowestSquare(v.white.knights);
  if (v.black.king == B7 && (knight == B5 || knight == C6 || knight == C8)) return Answer(score, 0);
  if (v.white.king == A8 && (v.black.king == C7 || v.black.king == C8)) {
    // The king on a8 is shut in; the knight can free it only with the right tempo.
    bool differ = IsLightSquare(knight) != IsLightSquare(v.black.king);
    if ((differ && v.sideToMove == Black) || (!differ && v.sideToMove == White)) return Answer(score, 0);
  }
  return false;
}

bool KnightPawnAgainstKing(const EndgameView& v, int32_t* score) {
  if (v.white.material > MaxKnightValue + PawnValue) return false;
  if (v.white.pawns == Bit(A7)) return KnightRookPawnA7(v, score);
  if (v.white.pawns == Bit(H7)) return KnightRookPawnA7(MirrorFiles(v), score);
  return false;
}

// Rook pawns with a bishop that cannot cover the promotion square.
bool BishopPawnsAgainstKing(const EndgameView& v, int32_t* score) {
  Bitboard pawns = v.white.pawns, bishops = v.white.bishops;
  int king = v.black.king;
  if (!(pawns & ~FileA) && (Bit(king) & QueensideCorner) && !(bishops & LightSquares)) return Answer(score, 0);
  if (!(pawns & ~FileH) && (Bit(king) & KingsideCorner) && !(bishops & DarkSquares)) return Answer(score, 0);
  if (pawns == Bit(A7) && king == B7 && bishops == Bit(B6)) return Answer(score, 0);
  if (pawns == Bit(H7) && king == G7 && bishops == Bit(G6)) return Answer(score, 0);
  return false;
}

// Queen against a pawn on the seventh on the a, c, f or h file with its king beside it and
// the queen's king too far: the stalemate defence holds.
bool QueenAgainstSeventhRankPawn(const EndgameView& v, int32_t* score) {
  if (v.sideToMove != White || v.white.material > QueenValue + PawnValue || v.black.material != PawnValue) return false;
  int pawn = LowestSquare(v.black.pawns), king = v.black.king;
  // Where the queen's king is near enough to help against a pawn on c2 (files a-e of ranks
  // 1-3, a-d of ranks 4-5) or on a2 (files a-e of ranks 1-4, a-d of rank 5).
  constexpr Bitboard FilesAToD = FileA * 0x0F, FilesAToE = FileA * 0x1F;
  constexpr Bitboard CFar = ((Rank1 | Rank2 | Rank3) & FilesAToE) | ((Rank4 | Rank5) & FilesAToD);
  constexpr Bitboard AFar = ((Rank1 | Rank2 | Rank3 | Rank4) & FilesAToE) | (Rank5 & FilesAToD);
  Bitboard nearKing;
  bool centrePawn = pawn == C2 || pawn == F2;
  if (pawn == A2 || pawn == C2) {
    if (king != B1 && king != B2) return false;
    nearKing = pawn == A2 ? AFar : CFar;
  } else if (pawn == F2 || pawn == H2) {
    if (king != G1 && king != G2) return false;
    nearKing = FileMirrorSet(pawn == H2 ? AFar : CFar);
  } else {
    return false;
  }
  if (Bit(v.white.king) & nearKing) return false;
  Bitboard occupied = v.occupied & ~Bit(v.white.king);
  if (centrePawn) occupied &= ~Bit(pawn);
  if (RayAttacks(LowestSquare(v.white.queens), occupied, true, true) & Bit(king)) return false;
  return Answer(score, 0);
}

// Two pawns against one, the extra pawn frozen by the defending king.
bool PawnBlockade(const EndgameView& v, int32_t* score) {
  if (v.white.material != 2 * PawnValue || v.black.material != PawnValue) return false;
  Bitboard w = v.white.pawns, b = v.black.pawns;
  int bk = v.black.king;
  Bitboard wk = Bit(v.white.king);
  // Where the attacking king must stand for the last two blockades to hold: files d-h of
  // ranks 2-6 or e-h of ranks 7-8, and files a-e of ranks 2-6 or a-d of rank 7.
  constexpr Bitboard KingsideRoom = 0x0000F8F8F8F8F800ull | 0xF0F0000000000000ull;
  constexpr Bitboard QueensideRoom = 0x00001F1F1F1F1F00ull | 0x000F000000000000ull;
  bool held = (w == (Bit(A5) | Bit(B6)) && b == Bit(A6) && bk == B7) ||
              (w == (Bit(G6) | Bit(H5)) && b == Bit(H6) && bk == G7) ||
              (w == (Bit(G5) | Bit(H6)) && b == Bit(H7) && bk == G8 && (wk & KingsideRoom)) ||
              (w == (Bit(A6) | Bit(B5)) && b == Bit(A7) && bk == B8 && (wk & QueensideRoom));
  return held && Answer(score, WhiteEdge(v));
}

// Bishop and pawn against pawn, the two pawns locked on a rook file.
bool BishopPawnBlockade(const EndgameView& v, int32_t* score) {
  if (v.white.material != BishopValue + PawnValue || v.black.material != PawnValue) return false;
  int wp = LowestSquare(v.white.pawns), bp = LowestSquare(v.black.pawns);
  int bishop = LowestSquare(v.white.bishops), wk = v.white.king, bk = v.black.king;
  bool held = (wp == A3 && bp == A4 && !IsLightSquare(bishop) && !(kbpRegion[wk] & Bit(bk))) ||
              (wp == H3 && bp == H4 && IsLightSquare(bishop) && !(kbpRegion[FileMirror(wk)] & Bit(FileMirror(bk)))) ||
              (wp == A6 && bp == A7 && bishop != B6 && (bk == B7 || bk == B8)) ||
              (wp == H6 && bp == H7 && bishop != G6 && (bk == G7 || bk == G8));
  if (!held) return false;
  // With black to move the black king may take a bishop that neither pawn nor king guards.
  bool bishopHangs = Touches(bk, bishop) && !(whitePawnCaptures[wp] & Bit(bishop)) && !Touches(wk, bishop);
  if (v.sideToMove == Black && bishopHangs) return false;
  return Answer(score, WhiteEdge(v));
}

// Bishops of opposite colours, one pawn, the defending king standing on the pawn's file
// ahead of it on a square the attacking bishop never reaches, and the defending bishop free
// to make waiting moves: the pawn can never pass, nor can the king be forced away.
bool OppositeBishopsBlockade(const EndgameView& v, int32_t* score) {
  if (v.white.material > BishopValue + PawnValue || v.black.material > BishopValue || v.sideToMove != Black) return false;
  if (CountBits(v.white.pawns) != 1 || CountBits(v.white.bishops) != 1 || CountBits(v.black.bishops) != 1) return false;
  int pawn = LowestSquare(v.white.pawns), wb = LowestSquare(v.white.bishops), bb = LowestSquare(v.black.bishops);
  int bk = v.black.king;
  if (IsLightSquare(wb) == IsLightSquare(bb)) return false;
  if (FileOf(bk) != FileOf(pawn) || RankOf(bk) <= RankOf(pawn) || IsLightSquare(bk) == IsLightSquare(wb)) return false;
  Bitboard whiteControl = kingAttacks[v.white.king] | whitePawnCaptures[pawn];
  Bitboard bishopMoves = RayAttacks(bb, v.occupied, false, true) & ~v.black.men & ~whiteControl;
  if (!bishopMoves) return false;
  return Answer(score, 0);
}

bool PawnBlockadeEitherSide(Position& pos, int32_t* s) {
  return PawnBlockade(MakeView(pos, false), s) || PawnBlockade(MakeView(pos, true), s);
}

// --- scorers (white-positive) -------------------------------------------------------------

// Us has the pawns, the other side a bare king.
template <int Us>
bool ScorePawns(Position& pos, int32_t* score) {
  using Our = EvalColour<Us>;
  int32_t s = PawnEndingScore(pos);
  if (Our::Material(pos) == PawnValue) s += Our::Sign * LonePawnBonus;
  return Answer(score, s);
}

bool ScorePawnsAgainstPawns(Position& pos, int32_t* score) {
  const int32_t* table = KingPlacementTable(pos.whitePawns | pos.blackPawns);
  return Answer(score, PawnEndingScore(pos) - table[pos.blackKing] + table[pos.whiteKing]);
}

// A lone knight (Us) cannot win against pawns: never better than a draw (0) for its side.
template <int Us>
bool ScoreKnightAgainstPawns(Position& pos, int32_t* score) {
  using Our = EvalColour<Us>;
  if (Our::Material(pos) > MaxKnightValue) return false;
  int32_t s = Our::Sign * MaterialAndPawns(pos) - LoneMinorDiscount;
  return Answer(score, Our::Sign * (s >= 1 ? 0 : s));
}

// Bishops (Us) against pawns: when ahead, no better than a draw if they all stand on one
// colour.
template <int Us>
bool ScoreBishopsAgainstPawns(Position& pos, int32_t* score) {
  using Our = EvalColour<Us>;
  int32_t s = Our::Sign * MaterialAndPawns(pos) - LoneMinorDiscount;
  if (s < 1) return Answer(score, Our::Sign * s);
  if ((Our::Bishops(pos) & DarkSquares) && (Our::Bishops(pos) & LightSquares)) return false;
  return Answer(score, 0);
}

// Rook pawns with the wrong bishop; p is the balance from the view's white side, which
// only matters when that side is ahead.
bool WrongBishopScore(const EndgameView& v, int32_t p, int32_t* score) {
  if (p < 1) return false;
  Bitboard pawns = v.white.pawns, bishops = v.white.bishops;
  int king = v.black.king;
  if (!(pawns & ~FileA) && (Bit(king) & QueensideCorner) && !(bishops & LightSquares)) return Answer(score, 0);
  if (!(pawns & ~FileH) && (Bit(king) & KingsideCorner) && !(bishops & DarkSquares)) return Answer(score, 0);
  return false;
}

// Us has the bishop and the rook pawns.
template <int Us>
bool ScoreWrongBishop(Position& pos, int32_t* score) {
  return WrongBishopScore(MakeView(pos, Us == Black), EvalColour<Us>::Sign * MaterialAndPawns(pos), score);
}

}  // namespace

void RegisterPawnEndings() {
  recognizerTable[SigWhitePawn] = Direct<PawnsAgainstKing>;
  recognizerTable[SigBlackPawn] = Flipped<PawnsAgainstKing>;
  recognizerTable[SigWhitePawn | SigWhiteKnight] = Direct<KnightPawnAgainstKing>;
  recognizerTable[SigBlackPawn | SigBlackKnight] = Flipped<KnightPawnAgainstKing>;
  recognizerTable[SigWhitePawn | SigWhiteBishop] = Direct<BishopPawnsAgainstKing>;
  recognizerTable[SigBlackPawn | SigBlackBishop] = Flipped<BishopPawnsAgainstKing>;
  recognizerTable[SigWhiteQueen | SigBlackPawn] = Direct<QueenAgainstSeventhRankPawn>;
  recognizerTable[SigWhitePawn | SigBlackQueen] = Flipped<QueenAgainstSeventhRankPawn>;
  recognizerTable[SigWhitePawn | SigBlackPawn] = PawnBlockadeEitherSide;
  recognizerTable[SigWhitePawn | SigWhiteBishop | SigBlackPawn] = Direct<BishopPawnBlockade>;
  recognizerTable[SigWhitePawn | SigBlackPawn | SigBlackBishop] = Flipped<BishopPawnBlockade>;
  recognizerTable[SigWhitePawn | SigWhiteBishop | SigBlackBishop] = Direct<OppositeBishopsBlockade>;
  recognizerTable[SigWhiteBishop | SigBlackPawn | SigBlackBishop] = Flipped<OppositeBishopsBlockade>;

  scorerTable[SigWhitePawn] = ScorePawns<White>;
  scorerTable[SigBlackPawn] = ScorePawns<Black>;
  scorerTable[SigWhitePawn | SigBlackPawn] = ScorePawnsAgainstPawns;
  scorerTable[SigWhiteKnight | SigBlackPawn] = ScoreKnightAgainstPawns<White>;
  scorerTable[SigWhitePawn | SigBlackKnight] = ScoreKnightAgainstPawns<Black>;
  scorerTable[SigWhiteBishop | SigBlackPawn] = ScoreBishopsAgainstPawns<White>;
  scorerTable[SigWhitePawn | SigBlackBishop] = ScoreBishopsAgainstPawns<Black>;
  scorerTable[SigWhitePawn | SigWhiteBishop | SigBlackPawn] = ScoreWrongBishop<White>;
  scorerTable[SigWhitePawn | SigBlackPawn | SigBlackBishop] = ScoreWrongBishop<Black>;
}
