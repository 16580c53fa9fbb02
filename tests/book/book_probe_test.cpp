// Choosing a book move by weight, and the cursor following a game through the book.

#include <gtest/gtest.h>

#include <cmath>

#include "book_test_support.h"

namespace {

class BookProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { InitTables(); }
};

TEST_F(BookProbeTest, DrawsInProportionToTheWeights) {
  constexpr int Probes = 100000;
  // Weights of the root's edges in code order, to the moves of list entries 1, 2, ...
  const std::vector<uint32_t> cases[] = {{3, 1}, {1, 3}, {0, 5, 0}, {65535, 65535, 65535, 1}, {0, 0}};
  for (const auto& weights : cases) {
    SCOPED_TRACE(::testing::PrintToString(weights));
    BookFields fields;
    fields.weights = weights;
    for (size_t k = 0; k < weights.size(); ++k) fields.codes.insert(fields.codes.end(), {1, 0});
    const Book book = LoadBytes(fields.Bytes());
    uint32_t total = 0;
    for (uint32_t w : weights) total += w;
    RandomState generator;
    RandomSeed(generator, 2024);
    std::vector<int> chosen(weights.size() + 1, 0);
    for (int probe = 0; probe < Probes; ++probe) {
      // The same draw on a copy, laid over the edges in list order: the last-coded first.
      RandomState copy = generator;
      int expected = -1;
      if (total > 0) {
        const uint32_t r = uint32_t(RandomBelow(copy, int32_t(total)));
        uint32_t sum = 0;
        for (size_t k = weights.size(); k-- > 0 && expected < 0;)
          if (r < (sum += weights[k])) expected = int(k) + 1;
      }
      const int index = BookProbe(book, generator);
      ASSERT_EQ(index, expected) << "probe " << probe;
      ASSERT_EQ(RandomNext(copy), RandomNext(generator)) << "one draw a probe, none without weight";
      chosen[size_t(std::max(index, 0))]++;
    }
    // Each share within five standard deviations of its weight's share.
    for (size_t k = 0; k < weights.size() && total > 0; ++k) {
      const double p = double(weights[k]) / total;
      EXPECT_NEAR(chosen[k + 1], Probes * p, 5 * std::sqrt(Probes * p * (1 - p)) + 1) << k + 1;
    }
  }
}

TEST_F(BookProbeTest, CursorFollowsTheBookAndLeavesItForGood) {
  Book book = LoadBytes(LineBook({"c2c4 d7d5 d2d4", "d2d4 d7d5 c2c4 e7e6", "e2e4 e7e5 g1f3"}).Bytes());
  ASSERT_TRUE(book.loaded) << book.errorText;
  // The root and a node for each of the ten edges, but the two ways to the Queen's Gambit
  // meet in one.
  EXPECT_EQ(book.edgeCount(), 10u);
  EXPECT_EQ(book.nodeCount(), 10u);
  // Rows: moves from the start; whether each was followed ('+') and the book's next move.
  const struct {
    const char *moves, *followed, *next;
  } cases[] = {
      {"e2e4 e7e5", "++", "g1f3"},
      {"c2c4 d7d5 d2d4", "+++", "e7e6"},  // on along the other line's edge
      {"d2d4 d7d5 c2c4 e7e6", "++++", ""},
      {"e2e4 c7c5 g1f3", "+--", ""},
      // Out at e7e6, then back into a book position: the book is not taken up again.
      {"c2c4 e7e6 d2d4 d7d5", "+---", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moves);
    book.cursor = 0;
    Position position;
    SetStartPosition(position);
    std::istringstream moves(c.moves);
    std::string followed;
    for (std::string text; moves >> text;) {
      Move move = NoMove;
      ASSERT_TRUE(ParseMoveText(position, text, move));
      followed += BookAdvance(book, MoveIndexOf(position, move)) ? '+' : '-';
      EXPECT_EQ(book.cursor < 0, followed.back() == '-');
      position.cacheFlags = 0;
      MakeMove(position, move);
    }
    EXPECT_EQ(followed, c.followed);
    GenerateLegalMoves(position);
    const int index = BookProbe(book, bookRandom);
    EXPECT_EQ(index < 0 ? "" : MoveText(position.moveList[index]), c.next);
  }
  // A book that failed to load names no move and never moves its cursor.
  book.loaded = false;
  book.cursor = 0;
  EXPECT_EQ(BookProbe(book, bookRandom), -1);
  EXPECT_FALSE(BookAdvance(book, 10));
  EXPECT_EQ(book.cursor, 0);
}

}  // namespace
