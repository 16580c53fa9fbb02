#include "eval/endgame.h"

#include <initializer_list>

#include "board/movegen.h"
#include "eval/colour_terms.h"
#include "eval/endgame_view.h"

EndgameEntry recognizerTable[EndgameTableSize];
EndgameEntry scorerTable[EndgameTableSize];

// Rows rank 1 to 8, columns file a to h.
const Bitboard kbpRegion[64] = {
    0x80808080808080F8, 0x808080808080F0F8, 0x808080808080F1F1, 0x808080808080E3E3,
    0x808080808080C7C7, 0x000000000000878F, 0x000000000000000F, 0x0000000000000020,
    0x80808080808080F8, 0xC0C0C0C0C0F0F0F8, 0xC0C0C0C0C0F0F1F1, 0xC0C0C0C0C0E2E3E3,
    0x8080808080C2C7C7, 0x000000000080878F, 0x000000000000101F, 0x000000000000103F,
    0x0000000000000000, 0xF0F0F0F0F8F8F8FF, 0xE0E0E0E0F0F0F1FF, 0xC0C0C0C0C0E2E3FF,
    0x80808080C0C2C7FF, 0x0000000080888FFF, 0x0000000000081FFF, 0x00000000000030FF,
    0x0000000000000000, 0xF0F0F0F8F8F8FFFF, 0xE0E0E0E1F0F0FFFF, 0xC0C0C0C3C2E2FFFF,
    0x80808083C4C6FFFF, 0x00000080848EFFFF, 0x000000000018FFFF, 0x000000000000F0FF,
    0xF0F0F0F8FCFEFFFF, 0xF0F0F0F8F8FEFFFF, 0xE0E0E1E1F0FEFFFF, 0xC0C0C1C3C2FEFFFF,
    0x80808083C4FEFFFF, 0x0000008084FEFFFF, 0x0000000000F8FFFF, 0x0000000000C0F0FF,
    0xE0E0E0E8FCFEFFFF, 0xE0E0E0E8FEFEFFFF, 0xE0E0E1E1FEFEFFFF, 0xC0C0C1C3DEFEFFFF,
    0x80808083DCFEFFFF, 0x00000080F4FEFFFF, 0x00000000C0F8FFFF, 0x00000000C0C0F0FF,
    0xC0C0C0C3DCFEFFFF, 0xC0C0C0C3DEFEFFFF, 0xC0C0C1C3DEFEFFFF, 0xC0C0C1C3DEFEFFFF,
    0x80808083DCFEFFFF, 0x00000080D4FEFFFF, 0x00000080C0F0FFFF, 0x00000080C0C0F0FF,
    0x8080818380BEFFFF, 0x8080818380BEFFFF, 0x8080818380BEFFFF, 0x8080818380BEFFFF,
    0x8080808380BEFFFF, 0x0000008080BEFFFF, 0x0000008080B0FFFF, 0x000000808080E0FF,
};

namespace {

template <int Us>
EndgameSide SideOf(const Position& pos, bool flipped) {
  using Our = EvalColour<Us>;
  auto turn = [flipped](Bitboard set) { return flipped ? __builtin_bswap64(set) : set; };
  const int king = Our::KingSquare(pos);
  return {turn(Our::Pawns(pos)), turn(Our::Knights(pos)), turn(Our::Bishops(pos)), turn(Our::Rooks(pos)),
          turn(Our::Queens(pos)), turn(Our::Men(pos)), flipped ? MirrorSquare(king) : king, Our::Material(pos)};
}

Position captureScratch;

}  // namespace

EndgameView MakeView(Position& pos, bool flipped) {
  EndgameView v;
  v.white = flipped ? SideOf<Black>(pos, true) : SideOf<White>(pos, false);
  v.black = flipped ? SideOf<White>(pos, true) : SideOf<Black>(pos, false);
  v.sideToMove = flipped ? pos.sideToMove ^ 1 : pos.sideToMove;
  v.occupied = v.white.men | v.black.men;
  v.pos = &pos;
  return v;
}

Bitboard RayAttacks(int square, Bitboard occupied, bool straight, bool diagonal) {
  static constexpr int steps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  Bitboard attacks = 0;
  for (int d = 0; d < 8; ++d) {
    if (d < 4 ? !straight : !diagonal) continue;  // the first four steps go along ranks and files
    int f = FileOf(square) + steps[d][0], r = RankOf(square) + steps[d][1];
    for (; f >= 0 && f < 8 && r >= 0 && r < 8; f += steps[d][0], r += steps[d][1]) {
      attacks |= Bit(MakeSquare(f, r));
      if ((occupied >> MakeSquare(f, r)) & 1) break;
    }
  }
  return attacks;
}

bool CaptureExists(const Position& pos) {
  // The generator writes the move list and the attack caches, so it runs on a copy.
  CopyPlayState(captureScratch, pos);
  GenerateCaptures(captureScratch);
  return captureScratch.moveCount > 0;
}

namespace {

bool RecognizeBareKings(Position&, int32_t* score) { return Answer(score, 0); }

// Knights alone never force mate. Two knights can only mate a king that walks into it, so
// with white to move, or a black king already without a square, the search looks.
bool KnightsAgainstKing(const EndgameView& v, int32_t* score) {
  if (v.white.material <= MaxKnightValue) return Answer(score, 0);
  if (v.white.material > 2 * MaxKnightValue || v.sideToMove != Black) return false;
  Bitboard attacked = kingAttacks[v.white.king];
  for (Bitboard n = v.white.knights; n;) attacked |= knightAttacks[PopLowest(n)];
  Bitboard box = kingAttacks[v.black.king] | Bit(v.black.king);
  if ((box & ~attacked) == 0) return false;
  return Answer(score, 0);
}

// Bishops all on one colour cannot mate.
bool BishopsAgainstKing(const EndgameView& v, int32_t* score) {
  if (v.white.material > BishopValue && (v.white.bishops & DarkSquares) && (v.white.bishops & LightSquares)) return false;
  return Answer(score, 0);
}

// One minor piece each: the only mates need a king in the corner with its own piece
// blocking it, so corners are left to the search. A knight worth more than a bishop (on
// the centre squares) is left to the search too.
bool RecognizeMinorAgainstMinor(Position& pos, int32_t* score) {
  if (pos.whiteMaterial > BishopValue || pos.blackMaterial > BishopValue) return false;
  constexpr Bitboard Corners = Bit(A1) | Bit(H1) | Bit(A8) | Bit(H8);
  if ((Bit(pos.whiteKing) | Bit(pos.blackKing)) & Corners) return false;
  return Answer(score, 0);
}

}  // namespace

void InitEndgameTables() {
  for (int i = 0; i < EndgameTableSize; ++i) {
    recognizerTable[i] = nullptr;
    scorerTable[i] = nullptr;
  }
  recognizerTable[0] = RecognizeBareKings;  // the kings alone
  recognizerTable[SigWhiteKnight] = Direct<KnightsAgainstKing>;
  recognizerTable[SigBlackKnight] = Flipped<KnightsAgainstKing>;
  recognizerTable[SigWhiteBishop] = Direct<BishopsAgainstKing>;
  recognizerTable[SigBlackBishop] = Flipped<BishopsAgainstKing>;
  for (uint16_t white : {SigWhiteKnight, SigWhiteBishop}) {
    for (uint16_t black : {SigBlackKnight, SigBlackBishop}) recognizerTable[white | black] = RecognizeMinorAgainstMinor;
  }
  RegisterPawnEndings();
  RegisterRookEndings();
}

int32_t RecognizerScore(Position& pos) {
  EndgameEntry entry = recognizerTable[pos.materialSignature & (EndgameTableSize - 1)];
  int32_t score = 0;
  if (entry == nullptr || !entry(pos, &score)) return NoRecognizerScore;
  return score;
}
