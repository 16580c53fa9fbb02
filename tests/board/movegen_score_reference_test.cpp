// The ordering scores of GenerateMoves and the corrections of QuietMovePenalty against a
// second, deliberately plain implementation of their rules: attackers found by walking the
// rays square by square, the exchange evaluated by the recursion max(0, V - reply), the
// attack unions by SquareAttackedBy. The two share nothing but the value tables.

#include <algorithm>
#include <cstdlib>

#include "movegen_test_support.h"

namespace {

bool SlowAttacks(const Position& pos, int from, int target, Bitboard occupied) {
  const int code = pos.board[from];
  const int df = FileOf(target) - FileOf(from), dr = RankOf(target) - RankOf(from);
  const int adf = std::abs(df), adr = std::abs(dr);
  switch (KindOf(code)) {
    case WhiteKing: return (adf | adr) != 0 && adf <= 1 && adr <= 1;
    case WhitePawn: return adf == 1 && dr == (IsWhiteCode(code) ? 1 : -1);
    case WhiteKnight: return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
    default: break;
  }
  const bool diagonal = adf == adr && adf != 0, straight = (adf == 0) != (adr == 0);
  const int kind = KindOf(code);
  if (!((kind == WhiteBishop && diagonal) || (kind == WhiteRook && straight) ||
        (kind == WhiteQueen && (diagonal || straight))))
    return false;
  const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
  for (int f = FileOf(from) + sf, r = RankOf(from) + sr; f != FileOf(target) || r != RankOf(target); f += sf, r += sr)
    if (occupied & Bit(MakeSquare(f, r))) return false;
  return true;
}

// Least valuable man of `side` on `occupied` attacking `target`: pawn, knight, bishop, rook,
// queen, king, the lowest square within a kind; -1 when there is none.
int SlowLeastValuableAttacker(const Position& pos, int target, int side, Bitboard occupied) {
  for (int kind : {WhitePawn, WhiteKnight, WhiteBishop, WhiteRook, WhiteQueen, WhiteKing}) {
    const int code = side == White ? kind : kind + 6;
    for (int sq = 0; sq < 64; ++sq)
      if ((occupied & Bit(sq)) && pos.board[sq] == code && SlowAttacks(pos, sq, target, occupied)) return sq;
  }
  return -1;
}

int32_t SlowSeeGain(const Position& pos, int target, Bitboard occupied, int32_t victimValue, int side) {
  const int attacker = SlowLeastValuableAttacker(pos, target, side, occupied);
  if (attacker < 0) return 0;
  const int32_t reply =
      SlowSeeGain(pos, target, occupied & ~Bit(attacker), exchangeValue[pos.board[attacker]], side ^ 1);
  return std::max(0, victimValue - reply);
}

struct Unions {
  Bitboard own = 0, enemy = 0;
};

int32_t Popularity(const Position& pos, const Move& move) {
  return movePopularity[pos.board[move.from]][move.from * 64 + move.to];
}

int32_t ExpectedScore(const Position& pos, const Move& move, const Unions& attacks) {
  const int us = pos.sideToMove, them = us ^ 1;
  const int from = move.from, to = move.to, code = pos.board[from], victim = pos.board[to];
  const bool attackedTo = attacks.enemy & Bit(to);
  if (move.flags == FlagEnPassant) return 10000;
  if (move.flags == FlagCastle) return 1000;
  if (IsPromotion(move)) {
    const int promoted = (move.flags & 3) + (us == White ? WhiteKnight : BlackKnight);
    return exchangeValue[promoted] - 100 + exchangeValue[victim] - (attackedTo ? exchangeValue[promoted] / 2 : 0);
  }
  if (KindOf(code) == WhitePawn) {
    const Bitboard mask = us == White ? whitePassedMask[to] : blackPassedMask[to];
    const bool free = !(mask & (us == White ? pos.blackPawns : pos.whitePawns));
    const int32_t bonus = us == White ? pushBonusWhite[RankOf(to)] : pushBonusBlack[RankOf(to)];
    return Popularity(pos, move) + exchangeValue[victim] + (free ? bonus : 0);
  }
  if (KindOf(code) == WhiteKing) return Popularity(pos, move) + exchangeValue[victim];
  int32_t escape = 0;
  if ((attacks.enemy & Bit(from)) && !(attacks.own & Bit(from))) {
    escape = exchangeValue[code] / 4;
  } else if (attacks.enemy & Bit(from)) {
    const int attacker = SlowLeastValuableAttacker(pos, from, them, pos.occupied);
    const Bitboard rest = pos.occupied & ~Bit(from) & ~Bit(attacker);
    const int32_t loss = exchangeValue[code] - SlowSeeGain(pos, from, rest, exchangeValue[pos.board[attacker]], us);
    escape = loss >= 1 ? loss / 4 : 0;
  }
  int32_t score = escape + exchangeValue[victim] + Popularity(pos, move);
  if (victim != Empty && attackedTo)
    score -= SlowSeeGain(pos, to, pos.occupied & ~Bit(from), exchangeValue[code], them);
  return score;
}

int32_t ExpectedPenalty(const Position& pos, const Move& move, const Unions& attacks) {
  if (move.flags != 0 || !(attacks.enemy & Bit(move.to))) return 0;
  Bitboard occupied = pos.occupied & ~Bit(move.from);
  const int attacker = SlowLeastValuableAttacker(pos, move.to, pos.sideToMove ^ 1, occupied);
  if (attacker < 0) return 0;
  occupied &= ~Bit(attacker);
  const int32_t loss = exchangeValue[pos.board[move.from]] -
                       SlowSeeGain(pos, move.to, occupied, exchangeValue[pos.board[attacker]], pos.sideToMove);
  return loss >= 1 ? loss : 0;
}

class ScoreReference : public testing::TestWithParam<const char*> {};

TEST_P(ScoreReference, GeneratorAndPenaltyAgreeWithThePlainRules) {
  RandomState random;
  RandomSeed(random, 4242);
  int moves = 0, withExchange = 0;
  for (int game = 0; game < 25; ++game) {
    Position pos = FromFen(GetParam());
    for (int ply = 0; ply < 120; ++ply) {
      SCOPED_TRACE("game " + std::to_string(game) + " ply " + std::to_string(ply));
      pos.cacheFlags = 0;
      GenerateMoves(pos);
      if (pos.moveCount == 0) break;
      Unions attacks;
      for (int sq = 0; sq < 64; ++sq) {
        if (SquareAttackedBy(pos, sq, pos.sideToMove)) attacks.own |= Bit(sq);
        if (SquareAttackedBy(pos, sq, pos.sideToMove ^ 1)) attacks.enemy |= Bit(sq);
      }
      int indices[256];
      int32_t scores[256];
      for (int i = 1; i <= pos.moveCount; ++i) {
        indices[i] = i;
        scores[i] = 0;
      }
      QuietMovePenalty(pos, pos.moveCount, indices, scores);
      for (int i = 1; i <= pos.moveCount; ++i) {
        const Move& move = pos.moveList[i];
        ASSERT_EQ(move.score, ExpectedScore(pos, move, attacks)) << MoveName(move);
        ASSERT_EQ(-scores[i], ExpectedPenalty(pos, move, attacks)) << MoveName(move);
        ++moves;
        if (scores[i] != 0) ++withExchange;
      }
      const Move move = pos.moveList[1 + RandomBelow(random, pos.moveCount)];
      MakeMove(pos, move);
    }
  }
  EXPECT_GT(moves, 20000);
  EXPECT_GT(withExchange, 100);  // the exchange paths were really exercised
}

INSTANTIATE_TEST_SUITE_P(FromSeveralStarts, ScoreReference,
                         testing::Values("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                                         "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                                         "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
                                         "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"));

}  // namespace
