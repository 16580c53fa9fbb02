#include "egdb/kpk.h"

KpkBitbase kpkBitbase;

namespace {

struct Geometry {
  Bitboard king[64] = {};
  Bitboard pawnAttacks[64] = {};  // squares a white pawn on the square attacks
};

constexpr Geometry MakeGeometry() {
  Geometry g;
  for (int sq = 0; sq < 64; ++sq) {
    int f = sq & 7, r = sq >> 3;
    for (int df = -1; df <= 1; ++df)
      for (int dr = -1; dr <= 1; ++dr) {
        int nf = f + df, nr = r + dr;
        if ((df || dr) && nf >= 0 && nf < 8 && nr >= 0 && nr < 8) g.king[sq] |= Bit(nr * 8 + nf);
      }
    if (r < 7) {
      if (f > 0) g.pawnAttacks[sq] |= Bit(sq + 7);
      if (f < 7) g.pawnAttacks[sq] |= Bit(sq + 9);
    }
  }
  return g;
}

constexpr Geometry geometry = MakeGeometry();

constexpr int SideOf(uint32_t index) { return index & 1; }
constexpr int BlackKingOf(uint32_t index) { return (index >> 1) & 63; }
constexpr int WhiteKingOf(uint32_t index) { return (index >> 7) & 63; }
constexpr int PawnOf(uint32_t index) { return ((index >> 13) & 3) + (index >> 15) * 8 + 8; }

// The pawn must already stand on files a..d.
constexpr uint32_t MakeIndex(int side, int whiteKing, int blackKing, int pawn) {
  return side | blackKing << 1 | whiteKing << 7 | ((((pawn - 8) >> 3) * 4 + (pawn & 3)) << 13);
}

bool IsValid(uint32_t index) {
  int wk = WhiteKingOf(index), bk = BlackKingOf(index), p = PawnOf(index);
  if (wk == bk || wk == p || bk == p) return false;
  if (geometry.king[wk] & Bit(bk)) return false;
  return SideOf(index) == 1 || !(geometry.pawnAttacks[p] & Bit(bk));
}

// Squares the black king may step to; the pawn square among them means it can take the pawn.
Bitboard BlackKingSteps(int whiteKing, int blackKing, int pawn) {
  return geometry.king[blackKing] & ~geometry.pawnAttacks[pawn] & ~geometry.king[whiteKing];
}

// White king steps: not next to the black king, not onto the pawn.
Bitboard WhiteKingSteps(int whiteKing, int blackKing, int pawn) {
  return geometry.king[whiteKing] & ~geometry.king[blackKing] & ~Bit(pawn);
}

bool TestBit(const uint32_t* bits, uint32_t i) { return (bits[i >> 5] >> (i & 31)) & 1; }
void SetBit(uint32_t* bits, uint32_t i) { bits[i >> 5] |= uint32_t{1} << (i & 31); }

// White to move with the pawn on the seventh rank: promoting wins when the queening square
// is free and the new piece cannot be taken. Stalemates after promotion are not looked at.
bool PromotionSeed(uint32_t index) {
  int wk = WhiteKingOf(index), bk = BlackKingOf(index), p = PawnOf(index);
  if (p < A7) return false;
  int queening = p + 8;
  if (wk == queening || bk == queening) return false;
  return (geometry.king[wk] & Bit(queening)) || !(geometry.king[bk] & Bit(queening));
}

// The white-to-move positions that reach the black-to-move position `index` in one move.
void MarkPredecessors(uint32_t* won, uint32_t index) {
  int wk = WhiteKingOf(index), bk = BlackKingOf(index), p = PawnOf(index);
  for (Bitboard from = WhiteKingSteps(wk, bk, p); from; from &= from - 1)
    SetBit(won, MakeIndex(0, LowestSquare(from), bk, p));
  Bitboard kings = Bit(wk) | Bit(bk);
  // The pawn came one step from the rank below (never from the first rank), or two from the
  // second rank when it stands on the fourth.
  if (p >= A3 && !(kings & Bit(p - 8)) && !(geometry.pawnAttacks[p - 8] & Bit(bk)))
    SetBit(won, MakeIndex(0, wk, bk, p - 8));
  if ((Bit(p) & Rank4) && !(kings & (Bit(p - 8) | Bit(p - 16))) &&
      !(geometry.pawnAttacks[p - 16] & Bit(bk)))
    SetBit(won, MakeIndex(0, wk, bk, p - 16));
}

// One pass over the black-to-move positions; true when it marked anything.
bool RetrogradePass(uint32_t* won, const uint32_t* valid) {
  bool changed = false;
  for (uint32_t index = 1; index < KpkPositionCount; index += 2) {
    if (!TestBit(valid, index) || TestBit(won, index)) continue;
    int wk = WhiteKingOf(index), bk = BlackKingOf(index), p = PawnOf(index);
    Bitboard steps = BlackKingSteps(wk, bk, p);
    if (!steps || (steps & Bit(p))) continue;
    bool allLost = true;
    for (; steps && allLost; steps &= steps - 1)
      allLost = TestBit(won, MakeIndex(0, wk, LowestSquare(steps), p));
    if (!allLost) continue;
    SetBit(won, index);
    MarkPredecessors(won, index);
    changed = true;
  }
  return changed;
}

}  // namespace

KpkBitbase BuildKpkBitbase() {
  DestroyKpkBitbase();
  uint32_t* won = new uint32_t[KpkWordCount]();
  uint32_t* valid = new uint32_t[KpkWordCount]();
  for (uint32_t index = 1; index < KpkPositionCount; ++index) {
    if (!IsValid(index)) continue;
    SetBit(valid, index);
    if (SideOf(index) == 0 && PromotionSeed(index)) SetBit(won, index);
  }
  while (RetrogradePass(won, valid)) {
  }
  // King steps back into a pawn check mark white-to-move non-positions; clear them so that
  // the table says "won" only of positions that can occur.
  for (uint32_t w = 0; w < KpkWordCount; ++w) won[w] &= valid[w];
  delete[] valid;
  kpkBitbase.wordCount = KpkWordCount;
  kpkBitbase.won = won;
  return kpkBitbase;
}

void DestroyKpkBitbase() {
  delete[] kpkBitbase.won;
  kpkBitbase = KpkBitbase{};
}

bool KpkWon(uint32_t index) {
  if (!kpkBitbase.won || index >= kpkBitbase.wordCount * 32) return true;
  return TestBit(kpkBitbase.won, index);
}

uint32_t KpkIndex(int pawn, int whiteKing, int blackKing, int sideToMove) {
  if (FileOf(pawn) > FileOf(D1)) {
    pawn ^= 7;
    whiteKing ^= 7;
    blackKing ^= 7;
  }
  return MakeIndex(sideToMove, whiteKing, blackKing, pawn);
}

