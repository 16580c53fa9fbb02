// Invariants over random games: the two generators agree, the attack caches agree with the
// direct attack test and, taken over from a parent position, with a fresh computation, the
// capture generator and the mate tests with the full list, and make move keeps every
// redundant view equal to a fresh computation. The move list's ordering scores and the
// corrections of QuietMovePenalty are checked against a deliberately plain second version of
// their rules (rays walked square by square, the exchange as max(0, V - reply)) that shares
// nothing with the generators but the value tables.

#include <algorithm>
#include <tuple>
#include <vector>

#include "movegen_test_support.h"

namespace {

using MoveKey = std::tuple<int, int, int>;

Move MoveOf(const MoveKey& key) {
  auto [from, to, flags] = key;
  return Move{0, static_cast<int8_t>(from), static_cast<int8_t>(to), static_cast<int8_t>(flags), 0};
}

// The moves of the list that pass `keep`, sorted.
template <typename Keep>
std::vector<MoveKey> Listed(const Position& pos, Keep keep) {
  std::vector<MoveKey> keys;
  for (int i = 1; i <= pos.moveCount; ++i)
    if (keep(pos.moveList[i])) keys.emplace_back(pos.moveList[i].from, pos.moveList[i].to, pos.moveList[i].flags);
  std::sort(keys.begin(), keys.end());
  return keys;
}

void CheckPosition(Position pos, const std::vector<MoveKey>& legal) {
  Position trial{};
  // The attack caches against the direct test.
  Bitboard white = ComputeWhiteAttacks(pos), black = ComputeBlackAttacks(pos);
  for (int sq = 0; sq < 64; ++sq) {
    ASSERT_EQ((white >> sq) & 1, SquareAttackedBy(pos, sq, White) ? 1u : 0u) << "square " << sq;
    ASSERT_EQ((black >> sq) & 1, SquareAttackedBy(pos, sq, Black) ? 1u : 0u) << "square " << sq;
  }
  // The unscored generator, filtered, against the search's generator; it overwrote the
  // list, so GenerateMoves must build it again (as after GenerateCaptures, in CheckScores).
  GenerateLegalMoves(pos);
  ASSERT_EQ(Listed(pos, [&](const Move& m) { return MoveIsLegal(pos, m, trial); }), legal);
  GenerateMoves(pos);
  ASSERT_EQ(Listed(pos, [](const Move&) { return true; }), legal);
  // Captures: every legal capture except en passant and under-promotions, and every quiet
  // queen promotion.
  std::vector<MoveKey> captures;
  for (const MoveKey& key : legal)
    if ((pos.board[std::get<1>(key)] != Empty && std::get<2>(key) == 0) || std::get<2>(key) == FlagPromoteQueen)
      captures.push_back(key);
  GenerateCaptures(pos);
  ASSERT_EQ(Listed(pos, [&](const Move& m) { return MoveIsLegal(pos, m, trial); }), captures);
  // Mated: in check with no legal move. Mate in one: some quiet legal move onto an empty
  // square mates, found by playing each.
  const bool inCheck = SquareAttackedBy(pos, KingSquare(pos, pos.sideToMove), pos.sideToMove ^ 1);
  pos.cacheFlags = 0;
  ASSERT_EQ(IsMated(pos), inCheck && legal.empty());
  bool quietMate = false;
  for (const MoveKey& key : legal)
    if (std::get<2>(key) == 0 && pos.board[std::get<1>(key)] == Empty) quietMate |= MoveMates(pos, trial, MoveOf(key));
  pos.cacheFlags = 0;
  ASSERT_EQ(HasMateInOne(pos, trial), quietMate);
}

// The child of `parent` by `move` (by the pass when null), its attack sets computed afresh
// and again with the parent as their source: every set must be the same.
void CheckTakenOverAttacks(const Position& parent, const Move* move) {
  Position fresh{}, derived{};
  CopyPlayState(fresh, parent);
  if (move) MakeMove(fresh, *move);
  else MakeNullMove(fresh);
  CopyPlayState(derived, fresh);
  derived.attackSource = &parent;
  ASSERT_EQ(ComputeWhiteAttacks(derived), ComputeWhiteAttacks(fresh));
  ASSERT_EQ(ComputeBlackAttacks(derived), ComputeBlackAttacks(fresh));
  for (int sq = 0; sq < 64; ++sq) {
    if (fresh.board[sq] != Empty) {
      ASSERT_EQ(derived.attacksFrom[sq], fresh.attacksFrom[sq]) << "square " << sq;
    }
  }
}

// Least valuable man of `side` on `occupied` attacking `target`: pawn, knight, bishop, rook,
// queen, king, the lowest square within a kind; -1 when there is none.
int SlowLeastValuableAttacker(const Position& pos, int target, int side, Bitboard occupied) {
  for (int kind : {WhitePawn, WhiteKnight, WhiteBishop, WhiteRook, WhiteQueen, WhiteKing})
    for (int sq = 0; sq < 64; ++sq)
      if ((occupied & Bit(sq)) && pos.board[sq] == kind + 6 * side && SlowAttacks(pos.board[sq], sq, target, occupied)) return sq;
  return -1;
}

int32_t SlowSeeGain(const Position& pos, int target, Bitboard occupied, int32_t victimValue, int side) {
  const int attacker = SlowLeastValuableAttacker(pos, target, side, occupied);
  if (attacker < 0) return 0;
  return std::max(0, victimValue - SlowSeeGain(pos, target, occupied & ~Bit(attacker),
                                               exchangeValue[pos.board[attacker]], side ^ 1));
}

// What the man on `from` loses when the enemy takes it on `target` and the exchange goes on.
int32_t SlowLoss(const Position& pos, int from, int target, Bitboard occupied) {
  const int attacker = SlowLeastValuableAttacker(pos, target, pos.sideToMove ^ 1, occupied);
  if (attacker < 0) return 0;
  return exchangeValue[pos.board[from]] -
         SlowSeeGain(pos, target, occupied & ~Bit(attacker), exchangeValue[pos.board[attacker]], pos.sideToMove);
}

struct Unions { Bitboard own = 0, enemy = 0; };

int32_t ExpectedScore(const Position& pos, const Move& move, const Unions& attacks) {
  const int us = pos.sideToMove, from = move.from, to = move.to, code = pos.board[from], victim = pos.board[to];
  const bool attackedTo = attacks.enemy & Bit(to);
  const int32_t popularity = movePopularity[code][from * 64 + to];
  if (move.flags == FlagEnPassant) return 10000;
  if (move.flags == FlagCastle) return 1000;
  if (IsPromotion(move)) {
    const int promoted = (move.flags & 3) + WhiteKnight + 6 * us;
    return exchangeValue[promoted] - 100 + exchangeValue[victim] - (attackedTo ? exchangeValue[promoted] / 2 : 0);
  }
  if (KindOf(code) == WhitePawn) {
    const Bitboard mask = us == White ? whitePassedMask[to] : blackPassedMask[to];
    const bool free = !(mask & (us == White ? pos.blackPawns : pos.whitePawns));
    return popularity + exchangeValue[victim] + (free ? (us == White ? pushBonusWhite : pushBonusBlack)[RankOf(to)] : 0);
  }
  if (KindOf(code) == WhiteKing) return popularity + exchangeValue[victim];
  // A man under attack earns a quarter of what staying would lose.
  int32_t escape = 0;
  if (attacks.enemy & Bit(from)) {
    const int32_t loss = (attacks.own & Bit(from)) ? SlowLoss(pos, from, from, pos.occupied) : exchangeValue[code];
    escape = loss >= 1 ? loss / 4 : 0;
  }
  int32_t score = escape + exchangeValue[victim] + popularity;
  if (victim != Empty && attackedTo) score -= SlowSeeGain(pos, to, pos.occupied & ~Bit(from), exchangeValue[code], us ^ 1);
  return score;
}

int32_t ExpectedPenalty(const Position& pos, const Move& move, const Unions& attacks) {
  if (move.flags != 0 || !(attacks.enemy & Bit(move.to))) return 0;
  return std::max(0, SlowLoss(pos, move.from, move.to, pos.occupied & ~Bit(move.from)));
}

// Every score of the move list and every correction against the plain rules.
void CheckScores(Position pos, int& exchanges) {
  Unions attacks;
  for (int sq = 0; sq < 64; ++sq) {
    if (SquareAttackedBy(pos, sq, pos.sideToMove)) attacks.own |= Bit(sq);
    if (SquareAttackedBy(pos, sq, pos.sideToMove ^ 1)) attacks.enemy |= Bit(sq);
  }
  GenerateMoves(pos);
  int indices[256];
  int32_t scores[256] = {};
  for (int i = 1; i <= pos.moveCount; ++i) indices[i] = i;
  QuietMovePenalty(pos, pos.moveCount, indices, scores);
  for (int i = 1; i <= pos.moveCount; ++i) {
    ASSERT_EQ(pos.moveList[i].score, ExpectedScore(pos, pos.moveList[i], attacks)) << MoveText(pos.moveList[i]);
    ASSERT_EQ(-scores[i], ExpectedPenalty(pos, pos.moveList[i], attacks)) << MoveText(pos.moveList[i]);
    exchanges += scores[i] != 0;
  }
}

class RandomGames : public testing::TestWithParam<const char*> {};

TEST_P(RandomGames, InvariantsAndScoresHold) {
  RandomState random;
  RandomSeed(random, 7919);
  int positions = 0, exchanges = 0;
  for (int game = 0; game < 40; ++game) {
    Position pos = FromFen(GetParam());
    for (int ply = 0; ply < 160 && pos.fiftyCounter < 100; ++ply, ++positions) {
      SCOPED_TRACE("game " + std::to_string(game) + " ply " + std::to_string(ply));
      pos.cacheFlags = 0;
      GenerateMoves(pos);
      std::vector<MoveKey> legal = Listed(pos, [](const Move&) { return true; });
      ASSERT_TRUE(std::adjacent_find(legal.begin(), legal.end()) == legal.end()) << "duplicate move";
      CheckPosition(pos, legal);
      CheckScores(pos, exchanges);
      Position parent = pos;
      parent.cacheFlags = 0;
      ComputeWhiteAttacks(parent);
      ComputeBlackAttacks(parent);
      CheckTakenOverAttacks(parent, nullptr);
      for (const MoveKey& key : legal) {
        const Move child = MoveOf(key);
        CheckTakenOverAttacks(parent, &child);
      }
      Position passed = pos;  // the null move: the turn passes, an en-passant chance lapses
      MakeNullMove(passed);
      ASSERT_TRUE(PositionIsConsistent(passed) && passed.sideToMove != pos.sideToMove && passed.epFile == NoEnPassant);
      if (legal.empty()) break;
      const Move move = MoveOf(legal[RandomBelow(random, static_cast<int32_t>(legal.size()))]);
      Position light{};
      CopyPlayState(light, pos);
      MakeMoveLight(light, move);
      MakeMove(pos, move);
      ASSERT_TRUE(PositionIsConsistent(pos)) << MoveText(move);
      ASSERT_TRUE(std::equal(pos.board, pos.board + 64, light.board));
      ASSERT_EQ(pos.occupiedDiagB, light.occupiedDiagB);
      ASSERT_EQ(pos.pawnKey, light.pawnKey);
    }
  }
  EXPECT_GT(positions, 3000);
  EXPECT_GT(exchanges, 100);  // the exchange paths were really exercised
}

INSTANTIATE_TEST_SUITE_P(FromSeveralStarts, RandomGames,
                         testing::Values(StartFen,
                                         "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                                         "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
                                         "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
                                         "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"));

}  // namespace
