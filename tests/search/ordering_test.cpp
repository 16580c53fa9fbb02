// The check detection and ordering bonuses of OrderChecks against the moves played out and
// judged by walking the board square by square: no attack tables.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "board/movegen_test_support.h"
#include "search/search_state.h"
#include "search_test_support.h"

namespace {

// The men on the board array.
Bitboard Occupied(const int8_t* board) {
  Bitboard occupied = 0;
  for (int sq = 0; sq < 64; ++sq) occupied |= board[sq] != Empty ? Bit(sq) : 0;
  return occupied;
}

// Does a man of `colour` (a slider, if asked) other than the one on `except` attack `target`?
bool AnyAttacks(const int8_t* board, int colour, int target, int except, bool slidersOnly) {
  const Bitboard occupied = Occupied(board);
  for (int sq = 0; sq < 64; ++sq) {
    const int code = board[sq];
    if (sq != except && code != Empty && (code > 6) == (colour == Black) &&
        (!slidersOnly || KindOf(code) >= KindOf(WhiteBishop)) && SlowAttacks(code, sq, target, occupied))
      return true;
  }
  return false;
}

// Random games in which a checking move is preferred half of the time, so that discovered and
// double checks come up often. In every position each bonus and the list of checking moves
// must be what the board walk says.
TEST(OrderChecks, AgreeWithMovesPlayedOutOverRandomGames) {
  InitSearchTables();
  std::mt19937 rng(4505);
  int positions = 0, checks = 0, discovered = 0, unlistedChecks = 0;
  for (const char* fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                          "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
                          "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
                          "4k3/1P4P1/8/3q4/8/2B5/1R4K1/8 w - - 0 1"})
    for (int game = 0; game < 12; ++game) {
      Position pos{};
      ASSERT_TRUE(SetFromFen(pos, fen));
      for (int ply = 0; ply < 120 && pos.fiftyCounter < 100; ++ply, ++positions) {
        SCOPED_TRACE(testing::Message() << fen << " game " << game << " ply " << ply);
        Position base = pos, ordered = pos, trial;
        GenerateMoves(base);
        checkList.count = 999;
        OrderChecks(ordered, checkList);
        ASSERT_EQ(ordered.moveCount, base.moveCount);
        const int mover = pos.sideToMove, enemyKing = KingSquare(pos, mover ^ 1);
        std::vector<Move> listed, legal, checking;
        for (int i = base.moveCount; i >= 1; --i) {
          const Move& m = base.moveList[i];
          SCOPED_TRACE(MoveText(m));
          ASSERT_TRUE(SameMove(m, ordered.moveList[i]));
          Position after = pos;
          MakeMove(after, m);
          // The castling rook is never looked at; a promoting pawn checks as a pawn; the pawn
          // taken en passant is put back, as the ordering does not look at its square.
          int8_t board[64];
          std::copy(after.board, after.board + 64, board);
          const int beside = m.from / 8 * 8 + m.to % 8;
          if (m.flags == FlagEnPassant) board[beside] = pos.board[beside];
          const int kind = IsPromotion(m) ? KindOf(WhitePawn) : KindOf(pos.board[m.from]);
          const bool direct = m.flags != FlagCastle && SlowAttacks(kind + 6 * mover, m.to, enemyKing, Occupied(board));
          const bool uncovered = m.flags != FlagCastle && AnyAttacks(board, mover, enemyKing, m.to, true);
          int32_t bonus = direct && uncovered ? 20000 : uncovered || (direct && m.score > 0) ? 10000 : 0;
          if (pos.board[m.to] != Empty || IsPromotion(m) || m.flags == FlagEnPassant) bonus += 200000;
          ASSERT_EQ(ordered.moveList[i].score - m.score, bonus) << "direct " << direct << " uncovered " << uncovered;
          if (direct || uncovered) listed.push_back(m);
          if (!MoveIsLegal(pos, m, trial)) continue;
          const bool givesCheck = AnyAttacks(after.board, mover, enemyKing, -1, false);
          ASSERT_EQ(ChildInCheck(after, ordered.moveList[i]), givesCheck) << "the move's check mark";
          // Whatever is listed checks; the only checks left unlisted on purpose are castling,
          // promotions and lines opened by an en-passant capture.
          ASSERT_TRUE(givesCheck || !(direct || uncovered)) << "listed, yet no check";
          ASSERT_TRUE(!givesCheck || direct || uncovered || m.flags == FlagCastle || IsPromotion(m) ||
                      m.flags == FlagEnPassant)
              << "a check the ordering missed";
          checks += direct || uncovered;
          discovered += uncovered;
          unlistedChecks += givesCheck && !(direct || uncovered);
          legal.push_back(m);
          if (givesCheck) checking.push_back(m);
        }
        ASSERT_EQ(checkList.count, listed.size());
        ASSERT_EQ(ordered.checkingMoveCount, int32_t(listed.size()));
        for (size_t k = 0; k < listed.size(); ++k)
          ASSERT_TRUE(SameMove(checkList.moves[k + 1], listed[k]) && checkList.moves[k + 1].score == listed[k].score);
        // Once per position: a second call lists nothing and changes no score.
        Position again = ordered;
        OrderChecks(again, checkList);
        ASSERT_EQ(checkList.count, 0);
        for (int i = 1; i <= again.moveCount; ++i) ASSERT_EQ(again.moveList[i].score, ordered.moveList[i].score);
        if (legal.empty()) break;
        const std::vector<Move>& pool = !checking.empty() && rng() % 2 ? checking : legal;
        MakeMove(pos, pool[rng() % pool.size()]);
        pos.cacheFlags = 0;
      }
    }
  EXPECT_GT(positions, 3000);
  EXPECT_GT(checks, 1000);
  EXPECT_GT(discovered, 50);
  EXPECT_GT(unlistedChecks, 0);
}

}  // namespace
