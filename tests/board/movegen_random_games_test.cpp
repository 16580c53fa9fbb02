// Invariants over random games: the two generators agree, the attack caches agree with the
// direct attack test, the capture generator and the mate tests agree with the full list,
// and make move keeps every redundant view equal to a fresh computation.

#include <algorithm>
#include <tuple>

#include "movegen_test_support.h"

namespace {

using MoveKey = std::tuple<int, int, int>;

MoveKey KeyOf(const Move& move) { return {move.from, move.to, move.flags}; }

std::vector<MoveKey> SearchMoves(Position pos) {
  pos.cacheFlags = 0;
  GenerateMoves(pos);
  std::vector<MoveKey> keys;
  for (int i = 1; i <= pos.moveCount; ++i) keys.push_back(KeyOf(pos.moveList[i]));
  std::sort(keys.begin(), keys.end());
  return keys;
}

std::vector<MoveKey> FilteredLegalMoves(Position pos) {
  GenerateLegalMoves(pos);
  std::vector<MoveKey> keys;
  Position trial{};
  for (int i = 1; i <= pos.moveCount; ++i) {
    CopyPlayState(trial, pos);
    MakeMoveLight(trial, pos.moveList[i]);
    if (MoverKingSafe(trial)) keys.push_back(KeyOf(pos.moveList[i]));
    EXPECT_EQ(MoverKingSafe(trial), MoveIsLegal(pos, pos.moveList[i])) << MoveName(pos.moveList[i]);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

// What GenerateCaptures must list once its pseudo-legal moves are filtered: every legal
// capture except en passant and under-promotions, and every quiet queen promotion.
std::vector<MoveKey> ExpectedCaptures(const Position& pos, const std::vector<MoveKey>& legal) {
  std::vector<MoveKey> keys;
  for (auto [from, to, flags] : legal) {
    bool capture = pos.board[to] != Empty;
    if ((capture && flags == 0) || flags == FlagPromoteQueen) keys.emplace_back(from, to, flags);
  }
  return keys;
}

std::vector<MoveKey> FilteredCaptures(Position pos) {
  GenerateCaptures(pos);
  std::vector<MoveKey> keys;
  for (int i = 1; i <= pos.moveCount; ++i)
    if (MoveIsLegal(pos, pos.moveList[i])) keys.push_back(KeyOf(pos.moveList[i]));
  std::sort(keys.begin(), keys.end());
  return keys;
}

// A quiet mate in one found the slow way: every legal single step or piece move onto an
// empty square, played and tested.
bool BruteForceQuietMate(Position& pos, const std::vector<MoveKey>& legal) {
  Position trial{};
  for (auto [from, to, flags] : legal) {
    if (flags != 0 || pos.board[to] != Empty) continue;
    Move move{0, static_cast<int8_t>(from), static_cast<int8_t>(to), 0, 0};
    if (MoveMates(pos, trial, move)) return true;
  }
  return false;
}

void CheckAttackCaches(Position pos) {
  pos.cacheFlags = 0;
  Bitboard white = ComputeWhiteAttacks(pos), black = ComputeBlackAttacks(pos);
  for (int sq = 0; sq < 64; ++sq) {
    ASSERT_EQ((white >> sq) & 1, SquareAttackedBy(pos, sq, White) ? 1u : 0u) << "square " << sq;
    ASSERT_EQ((black >> sq) & 1, SquareAttackedBy(pos, sq, Black) ? 1u : 0u) << "square " << sq;
  }
}

class RandomGames : public testing::TestWithParam<const char*> {};

TEST_P(RandomGames, GeneratorsCachesAndMakeMoveAgree) {
  RandomState random;
  RandomSeed(random, 7919);
  int positions = 0;
  for (int game = 0; game < 40; ++game) {
    Position pos = FromFen(GetParam());
    for (int ply = 0; ply < 160 && pos.fiftyCounter < 100; ++ply, ++positions) {
      SCOPED_TRACE("game " + std::to_string(game) + " ply " + std::to_string(ply));
      CheckAttackCaches(pos);
      std::vector<MoveKey> legal = SearchMoves(pos);
      ASSERT_EQ(legal, FilteredLegalMoves(pos));
      ASSERT_TRUE(std::adjacent_find(legal.begin(), legal.end()) == legal.end()) << "duplicate move";
      ASSERT_EQ(FilteredCaptures(pos), ExpectedCaptures(pos, legal));
      bool inCheck = SquareAttackedBy(pos, KingSquare(pos, pos.sideToMove), pos.sideToMove ^ 1);
      Position copy = pos;
      copy.cacheFlags = 0;
      ASSERT_EQ(IsMated(copy), inCheck && legal.empty());
      copy.cacheFlags = 0;
      Position trial{};
      ASSERT_EQ(HasMateInOne(copy, trial), BruteForceQuietMate(copy, legal));
      if (legal.empty()) break;

      auto [from, to, flags] = legal[RandomBelow(random, static_cast<int32_t>(legal.size()))];
      Move move{0, static_cast<int8_t>(from), static_cast<int8_t>(to), static_cast<int8_t>(flags), 0};
      Position light{};
      CopyPlayState(light, pos);
      MakeMoveLight(light, move);
      MakeMove(pos, move);
      pos.cacheFlags = 0;
      ASSERT_TRUE(PositionIsConsistent(pos)) << MoveName(move);
      ASSERT_EQ(pos.hashKey, ComputeHashKey(pos));
      ASSERT_TRUE(std::equal(pos.board, pos.board + 64, light.board));
      ASSERT_EQ(pos.occupiedDiagB, light.occupiedDiagB);
      ASSERT_EQ(pos.pawnKey, light.pawnKey);
    }
  }
  EXPECT_GT(positions, 3000);
}

INSTANTIATE_TEST_SUITE_P(FromSeveralStarts, RandomGames,
                         testing::Values("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                                         "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                                         "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
                                         "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"));

}  // namespace
