// Invariants over many positions: a position and its colour-flipped mirror score the same
// for the side to move, the hash and the attack cache never change a score, and the
// evaluation allocates nothing.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "eval/eval.h"
#include "eval/pawns.h"
#include "eval_test_util.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int32_t Wide = 32001;

// Plays random moves: every man's attacked squares (pawns: pushes and captures), queen
// promotions, no castling or en passant; a move that leaves the mover's king attacked is
// taken back. Ends early when no move is found.
class RandomGames {
 public:
  explicit RandomGames(uint64_t seed) : rng_(seed) {}

  std::vector<Position> Play(int games, int plies, int keepEvery) {
    std::vector<Position> kept;
    for (int g = 0; g < games; ++g) {
      Position pos{};
      SetStartPosition(pos);
      for (int ply = 0; ply < plies; ++ply) {
        if (!RandomMove(pos)) break;
        if (ply % keepEvery == keepEvery - 1) kept.push_back(pos);
      }
    }
    return kept;
  }

 private:
  bool RandomMove(Position& pos) {
    Move moves[256];
    int count = 0;
    const bool white = pos.sideToMove == White;
    ComputeWhiteAttacks(pos);
    ComputeBlackAttacks(pos);
    const Bitboard own = white ? pos.whitePieces : pos.blackPieces;
    const Bitboard enemy = white ? pos.blackPieces : pos.whitePieces;
    const Bitboard enemyKing = Bit(white ? pos.blackKing : pos.whiteKing);
    for (Bitboard set = own; set;) {
      int from = PopLowest(set);
      int kind = KindOf(pos.board[from]);
      Bitboard targets;
      if (kind == WhitePawn) {
        int step = white ? 8 : -8;
        targets = (white ? whitePawnCaptures[from] : blackPawnCaptures[from]) & enemy;
        if (!(pos.occupied & Bit(from + step))) targets |= Bit(from + step);
      } else {
        targets = pos.attacksFrom[from] & ~own;
      }
      targets &= ~enemyKing;
      for (; targets && count < 256;) {
        int to = PopLowest(targets);
        int8_t flags = (kind == WhitePawn && (RankOf(to) == 0 || RankOf(to) == 7)) ? FlagPromoteQueen : 0;
        moves[count++] = Move{0, int8_t(from), int8_t(to), flags, 0};
      }
    }
    while (count > 0) {
      int i = int(rng_() % count);
      Position next = pos;
      MakeMove(next, moves[i]);
      next.cacheFlags = 0;
      int moverKing = white ? next.whiteKing : next.blackKing;
      if (!SquareAttackedBy(next, moverKing, next.sideToMove)) {
        pos = next;
        return true;
      }
      moves[i] = moves[--count];
    }
    return false;
  }

  std::mt19937_64 rng_;
};

std::vector<Position> WacPositions() {
  std::vector<Position> positions;
  std::ifstream file(std::string(SKARNE_SHARED_DATA) + "/epd/wac.epd");
  std::string line;
  while (std::getline(file, line)) {
    std::string fen;
    int fields = 0;
    for (size_t i = 0; i < line.size() && fields < 4; ++i) {
      if (line[i] == ' ' && ++fields == 4) break;
      fen += line[i];
    }
    Position pos{};
    if (SetFromFen(pos, fen)) positions.push_back(pos);
  }
  return positions;
}

class SymmetryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    BuildKingTables();
    ASSERT_TRUE(AllocatePawnTable(1 << 14));
    positions_ = new std::vector<Position>(RandomGames(2026).Play(60, 200, 4));
    for (const Position& pos : WacPositions()) positions_->push_back(pos);
  }
  static void TearDownTestSuite() {
    delete positions_;
    FreePawnTable();
  }
  static std::vector<Position>* positions_;
};
std::vector<Position>* SymmetryTest::positions_ = nullptr;

TEST_F(SymmetryTest, EnoughPositions) { EXPECT_GT(positions_->size(), 2500u); }

TEST_F(SymmetryTest, MirroredPositionsScoreTheSame) {
  std::mt19937 rng(5);
  int checked = 0;
  for (const Position& original : *positions_) {
    Position pos = original, mirror = ColourFlipped(original);
    SCOPED_TRACE(testing::Message() << "position " << checked);
    ASSERT_EQ(Evaluate(-Wide, Wide, pos), Evaluate(-Wide, Wide, mirror));
    // Narrow windows take the early exit on both sides alike.
    int32_t alpha = int32_t(rng() % 2001) - 1000;
    Position a = original, b = ColourFlipped(original);
    ASSERT_EQ(Evaluate(alpha, alpha + 1, a), Evaluate(alpha, alpha + 1, b));
    ++checked;
  }
}

TEST_F(SymmetryTest, PawnHashAndAttackCacheDoNotChangeScores) {
  for (const Position& original : *positions_) {
    Position cold = original;
    int32_t first = Evaluate(-Wide, Wide, cold);
    // Second time: cache valid and the pawn entry warm.
    ASSERT_EQ(Evaluate(-Wide, Wide, cold), first);
    Position again = original;
    ASSERT_EQ(Evaluate(-Wide, Wide, again), first);
    Bitboard passed = 0;
    int32_t direct = ComputePawnStructure(original.whitePawns, original.blackPawns, passed);
    Position hashed = original;
    ASSERT_EQ(EvaluatePawns(hashed), direct);
    ASSERT_EQ(hashed.passedPawns, passed);
  }
}

TEST_F(SymmetryTest, EvaluateAllocatesNothing) {
  std::vector<Position> copies(*positions_);
  long before = allocations.load();
  int64_t sum = 0;
  for (Position& pos : copies) sum += Evaluate(-Wide, Wide, pos);
  EXPECT_EQ(allocations.load(), before);
  EXPECT_NE(sum, 0);
}

}  // namespace
