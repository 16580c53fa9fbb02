// Endings with pawns and at most minor pieces or a lone queen: rook-pawn and wrong-bishop
// fortresses, the queen against a pawn on the seventh, and the scorers that steer the
// general evaluation when only pawns and a minor piece are left.

#include <initializer_list>

#include "egdb/egdb.h"
#include "eval/eval.h"
#include "eval/endgame_view.h"

namespace {

constexpr int A2 = 8, C2 = 10, F2 = 13, H2 = 15, B1 = 1, G1 = 6, B2 = 9, G2 = 14;
constexpr int A3 = 16, H3 = 23, A4 = 24, H4 = 31, A5 = 32, B5 = 33, H5 = 39;
constexpr int A6 = 40, B6 = 41, C6 = 42, G6 = 46, H6 = 47, G5 = 38;
constexpr int A7 = 48, B7 = 49, C7 = 50, G7 = 54, H7 = 55;
constexpr int A8 = 56, B8 = 57, C8 = 58, G8 = 62;
constexpr Bitboard QueensideCorner = Bit(A7) | Bit(B7) | Bit(A8) | Bit(B8);
constexpr Bitboard KingsideCorner = Bit(G7) | Bit(H7) | Bit(62) | Bit(63);
constexpr Bitboard QueensideFiles = 0x0F0F0F0F0F0F0F0Full;

bool Answer(int32_t* score, int32_t value) {
  *score = value;
  return true;
}

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

// --- recognizers -------------------------------------------------------------------------

// A single pawn is known exactly by the bitbase: a draw unless it is marked won, and a won
// position is left to the search, which finds the way. Rook pawns with the defending king in
// the corner never win.
bool PawnsAgainstKing(const EndgameView& v, int32_t* score) {
  if (v.white.material == 100) {
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
    bool differ = IsDark(knight) != IsDark(v.black.king);
    if ((differ && v.sideToMove == Black) || (!differ && v.sideToMove == White)) return Answer(score, 0);
  }
  return false;
}

bool KnightPawnAgainstKing(const EndgameView& v, int32_t* score) {
  if (v.white.material > 415) return false;
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
  if (v.sideToMove != White || v.white.material > 1000 || v.black.material != 100) return false;
  int pawn = LowestSquare(v.black.pawns), king = v.black.king;
  constexpr Bitboard CFar = 0x1Full | 0x1Full << 8 | 0x1Full << 16 | 0x0Full << 24 | 0x0Full << 32;
  constexpr Bitboard AFar = 0x1Full | 0x1Full << 8 | 0x1Full << 16 | 0x1Full << 24 | 0x0Full << 32;
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
  if (v.white.material != 200 || v.black.material != 100) return false;
  Bitboard w = v.white.pawns, b = v.black.pawns;
  int bk = v.black.king;
  Bitboard wk = Bit(v.white.king);
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
  if (v.white.material != 400 || v.black.material != 100) return false;
  int wp = LowestSquare(v.white.pawns), bp = LowestSquare(v.black.pawns);
  int bishop = LowestSquare(v.white.bishops), wk = v.white.king, bk = v.black.king;
  bool held = (wp == A3 && bp == A4 && IsDark(bishop) && !(kbpRegion[wk] & Bit(bk))) ||
              (wp == H3 && bp == H4 && !IsDark(bishop) && !(kbpRegion[FileMirror(wk)] & Bit(FileMirror(bk)))) ||
              (wp == A6 && bp == A7 && bishop != B6 && (bk == B7 || bk == B8)) ||
              (wp == H6 && bp == H7 && bishop != G6 && (bk == G7 || bk == G8));
  if (!held) return false;
  if (v.sideToMove == White) return Answer(score, 1);
  bool bishopHangs = Touches(bk, bishop) && !(whitePawnCaptures[wp] & Bit(bishop)) && !Touches(wk, bishop);
  if (bishopHangs) return false;
  return Answer(score, -1);
}

// Bishops of opposite colours, one pawn, the defending king standing on the pawn's file
// ahead of it on a square the attacking bishop never reaches, and the defending bishop free
// to make waiting moves: the pawn can never pass, nor can the king be forced away.
bool OppositeBishopsBlockade(const EndgameView& v, int32_t* score) {
  if (v.white.material > 400 || v.black.material > 300 || v.sideToMove != Black) return false;
  if (CountBits(v.white.pawns) != 1 || CountBits(v.white.bishops) != 1 || CountBits(v.black.bishops) != 1) return false;
  int pawn = LowestSquare(v.white.pawns), wb = LowestSquare(v.white.bishops), bb = LowestSquare(v.black.bishops);
  int bk = v.black.king;
  if (IsDark(wb) == IsDark(bb)) return false;
  if (FileOf(bk) != FileOf(pawn) || RankOf(bk) <= RankOf(pawn) || IsDark(bk) == IsDark(wb)) return false;
  Bitboard whiteControl = kingAttacks[v.white.king] | whitePawnCaptures[pawn];
  Bitboard bishopMoves = RayAttacks(bb, v.occupied, false, true) & ~v.black.men & ~whiteControl;
  if (!bishopMoves) return false;
  return Answer(score, 0);
}

bool RecognizePawnsWhite(Position& pos, int32_t* s) { return PawnsAgainstKing(MakeView(pos, false), s); }
bool RecognizePawnsBlack(Position& pos, int32_t* s) { return PawnsAgainstKing(MakeView(pos, true), s); }
bool RecognizeKnightPawnWhite(Position& pos, int32_t* s) { return KnightPawnAgainstKing(MakeView(pos, false), s); }
bool RecognizeKnightPawnBlack(Position& pos, int32_t* s) { return KnightPawnAgainstKing(MakeView(pos, true), s); }
bool RecognizeBishopPawnsWhite(Position& pos, int32_t* s) { return BishopPawnsAgainstKing(MakeView(pos, false), s); }
bool RecognizeBishopPawnsBlack(Position& pos, int32_t* s) { return BishopPawnsAgainstKing(MakeView(pos, true), s); }
bool RecognizeQueenPawnWhite(Position& pos, int32_t* s) { return QueenAgainstSeventhRankPawn(MakeView(pos, false), s); }
bool RecognizeQueenPawnBlack(Position& pos, int32_t* s) { return QueenAgainstSeventhRankPawn(MakeView(pos, true), s); }
bool RecognizePawnBlockades(Position& pos, int32_t* s) {
  return PawnBlockade(MakeView(pos, false), s) || PawnBlockade(MakeView(pos, true), s);
}
bool RecognizeBishopPawnBlockadeWhite(Position& pos, int32_t* s) { return BishopPawnBlockade(MakeView(pos, false), s); }
bool RecognizeBishopPawnBlockadeBlack(Position& pos, int32_t* s) { return BishopPawnBlockade(MakeView(pos, true), s); }
bool RecognizeOppositeBishopsWhite(Position& pos, int32_t* s) { return OppositeBishopsBlockade(MakeView(pos, false), s); }
bool RecognizeOppositeBishopsBlack(Position& pos, int32_t* s) { return OppositeBishopsBlockade(MakeView(pos, true), s); }

// --- scorers (white-positive) -------------------------------------------------------------

bool ScorePawnsWhite(Position& pos, int32_t* score) {
  int32_t s = MaterialAndPawns(pos) * 3 / 2;
  if (pos.whiteMaterial == 100) s += 300;  // a lone pawn: the bitbase knows it, push it home
  return Answer(score, s);
}

bool ScorePawnsBlack(Position& pos, int32_t* score) {
  int32_t s = MaterialAndPawns(pos) * 3 / 2;
  if (pos.blackMaterial == 100) s -= 300;
  return Answer(score, s);
}

bool ScorePawnsAgainstPawns(Position& pos, int32_t* score) {
  Bitboard pawns = pos.whitePawns | pos.blackPawns;
  const int32_t* table = kingCentreTable;
  if (!(pawns & ~QueensideFiles)) table = kingQueensideTable;
  else if (!(pawns & QueensideFiles)) table = kingKingsideTable;
  return Answer(score, MaterialAndPawns(pos) * 3 / 2 - table[pos.blackKing] + table[pos.whiteKing]);
}

// A lone knight cannot win against pawns: never better than a draw for its side.
bool ScoreKnightAgainstPawns(Position& pos, int32_t* score) {
  if (pos.whiteMaterial > 315) return false;
  int32_t s = MaterialAndPawns(pos) - 150;
  return Answer(score, s >= 1 ? 0 : s);
}

bool ScorePawnsAgainstKnight(Position& pos, int32_t* score) {
  if (pos.blackMaterial > 315) return false;
  int32_t s = MaterialAndPawns(pos) + 150;
  return Answer(score, s < 0 ? 0 : s);
}

bool ScoreBishopsAgainstPawns(Position& pos, int32_t* score) {
  int32_t s = MaterialAndPawns(pos) - 150;
  if (s < 1) return Answer(score, s);
  if ((pos.whiteBishops & DarkSquares) && (pos.whiteBishops & LightSquares)) return false;
  return Answer(score, 0);
}

bool ScorePawnsAgainstBishops(Position& pos, int32_t* score) {
  int32_t s = MaterialAndPawns(pos) + 150;
  if (s > -1) return Answer(score, s);
  if ((pos.blackBishops & DarkSquares) && (pos.blackBishops & LightSquares)) return false;
  return Answer(score, 0);
}

// Rook pawns with the wrong bishop; p is the balance from the view's white side.
bool WrongBishopScore(const EndgameView& v, int32_t p, int32_t* score) {
  if (p < 1) return false;
  Bitboard pawns = v.white.pawns, bishops = v.white.bishops;
  int king = v.black.king;
  if (!(pawns & ~FileA) && (Bit(king) & QueensideCorner) && !(bishops & LightSquares)) return Answer(score, 0);
  if (!(pawns & ~FileH) && (Bit(king) & KingsideCorner) && !(bishops & DarkSquares)) return Answer(score, 0);
  return false;
}

bool ScoreWrongBishopWhite(Position& pos, int32_t* score) {
  return WrongBishopScore(MakeView(pos, false), MaterialAndPawns(pos), score);
}

bool ScoreWrongBishopBlack(Position& pos, int32_t* score) {
  return WrongBishopScore(MakeView(pos, true), -MaterialAndPawns(pos), score);
}

}  // namespace

void RegisterPawnEndings() {
  recognizerTable[SigWhitePawn] = RecognizePawnsWhite;
  recognizerTable[SigBlackPawn] = RecognizePawnsBlack;
  recognizerTable[SigWhitePawn | SigWhiteKnight] = RecognizeKnightPawnWhite;
  recognizerTable[SigBlackPawn | SigBlackKnight] = RecognizeKnightPawnBlack;
  recognizerTable[SigWhitePawn | SigWhiteBishop] = RecognizeBishopPawnsWhite;
  recognizerTable[SigBlackPawn | SigBlackBishop] = RecognizeBishopPawnsBlack;
  recognizerTable[SigWhiteQueen | SigBlackPawn] = RecognizeQueenPawnWhite;
  recognizerTable[SigWhitePawn | SigBlackQueen] = RecognizeQueenPawnBlack;
  recognizerTable[SigWhitePawn | SigBlackPawn] = RecognizePawnBlockades;
  recognizerTable[SigWhitePawn | SigWhiteBishop | SigBlackPawn] = RecognizeBishopPawnBlockadeWhite;
  recognizerTable[SigWhitePawn | SigBlackPawn | SigBlackBishop] = RecognizeBishopPawnBlockadeBlack;
  recognizerTable[SigWhitePawn | SigWhiteBishop | SigBlackBishop] = RecognizeOppositeBishopsWhite;
  recognizerTable[SigWhiteBishop | SigBlackPawn | SigBlackBishop] = RecognizeOppositeBishopsBlack;

  scorerTable[SigWhitePawn] = ScorePawnsWhite;
  scorerTable[SigBlackPawn] = ScorePawnsBlack;
  scorerTable[SigWhitePawn | SigBlackPawn] = ScorePawnsAgainstPawns;
  scorerTable[SigWhiteKnight | SigBlackPawn] = ScoreKnightAgainstPawns;
  scorerTable[SigWhitePawn | SigBlackKnight] = ScorePawnsAgainstKnight;
  scorerTable[SigWhiteBishop | SigBlackPawn] = ScoreBishopsAgainstPawns;
  scorerTable[SigWhitePawn | SigBlackBishop] = ScorePawnsAgainstBishops;
  scorerTable[SigWhitePawn | SigWhiteBishop | SigBlackPawn] = ScoreWrongBishopWhite;
  scorerTable[SigWhitePawn | SigBlackPawn | SigBlackBishop] = ScoreWrongBishopBlack;
}
