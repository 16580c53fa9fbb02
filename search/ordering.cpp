#include "board/board.h"
#include "search/search.h"

CheckList checkList;

namespace {

// Squares from which each kind of the side to move would attack the enemy king.
struct CheckSquares {
  Bitboard byKind[7];  // indexed by KindOf(code); the king gives no direct check
};

CheckSquares ComputeCheckSquares(const Position& pos, int enemyKing) {
  CheckSquares c{};
  c.byKind[KindOf(WhitePawn)] =
      pos.sideToMove == White ? blackPawnCaptures[enemyKing] : whitePawnCaptures[enemyKing];
  c.byKind[KindOf(WhiteKnight)] = knightAttacks[enemyKing];
  c.byKind[KindOf(WhiteBishop)] = BishopAttacks(pos, enemyKing);
  c.byKind[KindOf(WhiteRook)] = RookAttacks(pos, enemyKing);
  c.byKind[KindOf(WhiteQueen)] = c.byKind[KindOf(WhiteBishop)] | c.byKind[KindOf(WhiteRook)];
  return c;
}

// Own men that would uncover a check by leaving their line to the enemy king; per man, the
// line it must leave (the squares between plus the slider's square).
struct Discoveries {
  Bitboard candidates = 0;
  Bitboard lineOf[64];
};

void AddLineCandidates(const Position& pos, Bitboard sliders, int enemyKing, Bitboard own,
                       Discoveries& d) {
  while (sliders) {
    int s = PopLowest(sliders);
    Bitboard between = lineFrom[s][enemyKing] & ~squareBit[s];
    Bitboard men = between & pos.occupied;
    if (men && (men & (men - 1)) == 0 && (men & own)) {
      int c = LowestSquare(men);
      d.candidates |= men;
      d.lineOf[c] = lineFrom[s][enemyKing];
    }
  }
}

}  // namespace

void OrderChecks(Position& pos, CheckList& list) {
  list.count = 0;
  if (pos.cacheFlags & CacheOrdered) return;
  pos.cacheFlags |= CacheOrdered;
  GenerateMoves(pos);

  const bool white = pos.sideToMove == White;
  const int enemyKing = white ? pos.blackKing : pos.whiteKing;
  const Bitboard own = white ? pos.whitePieces : pos.blackPieces;
  const CheckSquares checks = ComputeCheckSquares(pos, enemyKing);

  Discoveries d;
  Bitboard diagonal = white ? pos.whiteBishops | pos.whiteQueens : pos.blackBishops | pos.blackQueens;
  Bitboard straight = white ? pos.whiteRooks | pos.whiteQueens : pos.blackRooks | pos.blackQueens;
  AddLineCandidates(pos, diagonal & bishopRays[enemyKing], enemyKing, own, d);
  AddLineCandidates(pos, straight & rookRays[enemyKing], enemyKing, own, d);

  for (int i = pos.moveCount; i >= 1; --i) {
    Move& m = pos.moveList[i];
    bool direct = (checks.byKind[KindOf(pos.board[m.from])] >> m.to) & 1;
    bool discovered = d.candidates && ((d.candidates >> m.from) & 1) &&
                      !((d.lineOf[int(m.from)] >> m.to) & 1);
    if (direct || discovered) {
      list.moves[++list.count] = m;
      if (direct && discovered) m.score += 20000;
      else if (discovered) m.score += 10000;
      else if (m.score > 0) m.score += 10000;
    }
    if (pos.board[m.to] != Empty || IsPromotion(m) || m.flags == FlagEnPassant) m.score += 200000;
  }
  pos.checkingMoveCount = list.count;
}
