#include "board/board.h"
#include "search/search_state.h"

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

// Ordering bonuses: a double check above a discovered one, and a direct check only when the
// generator scored it above zero; captures and promotions rise above every quiet move.
constexpr int32_t DoubleCheckBonus = 20000;
constexpr int32_t CheckBonus = 10000;
constexpr int32_t CaptureBonus = 200000;

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

  // Own men that uncover a check by leaving their line to the enemy king.
  const Bitboard diagonal = white ? pos.whiteBishops | pos.whiteQueens : pos.blackBishops | pos.blackQueens;
  const Bitboard straight = white ? pos.whiteRooks | pos.whiteQueens : pos.blackRooks | pos.blackQueens;
  Bitboard lineOf[64];
  const Bitboard discoverers = MenOnLinesTo(pos, enemyKing, diagonal, straight, own, lineOf);

  for (int i = pos.moveCount; i >= 1; --i) {
    Move& m = pos.moveList[i];
    bool direct = (checks.byKind[KindOf(pos.board[m.from])] >> m.to) & 1;
    bool discovered = discoverers && ((discoverers >> m.from) & 1) &&
                      !((lineOf[int(m.from)] >> m.to) & 1);
    // Castling moves a second man, en passant empties a second square and a promotion
    // checks as the new man: those are left for the search to test on the board.
    const bool special = m.flags == FlagCastle || m.flags == FlagEnPassant || IsPromotion(m);
    m.spare = special ? CheckNotKnown : direct || discovered ? MoveChecks : MoveDoesNotCheck;
    if (direct || discovered) {
      list.moves[++list.count] = m;
      if (direct && discovered) m.score += DoubleCheckBonus;
      else if (discovered) m.score += CheckBonus;
      else if (m.score > 0) m.score += CheckBonus;
    }
    if (pos.board[m.to] != Empty || IsPromotion(m) || m.flags == FlagEnPassant) m.score += CaptureBonus;
  }
  pos.checkingMoveCount = list.count;
}
