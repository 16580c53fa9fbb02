// The book file: short and damaged files, the tree codes replayed from the start position,
// and the packed vectors.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "book_test_support.h"

// The largest single allocation since the last reset: a loader that trusts a file's counts
// asks for gigabytes before it finds the file too short. Such a request is refused, so
// that the test fails instead of the machine running out of memory.
std::atomic<size_t> largestAllocation{0};

__attribute__((noinline)) void* operator new(size_t size) {
  for (size_t seen = largestAllocation; size > seen;)
    if (largestAllocation.compare_exchange_weak(seen, size)) break;
  void* p = size > (size_t(1) << 30) ? nullptr : std::malloc(size ? size : 1);
  return p ? p : throw std::bad_alloc();
}
// Out of line, so that the compiler does not pair this malloc and free with new and delete.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

class BookFile : public ::testing::Test {
 protected:
  void SetUp() override { InitTables(); }
};

TEST_F(BookFile, ShortAndDamagedFilesNameTheirFirstError) {
  const BookFields good = LineBook({"c2c3"});
  auto with = [&](auto change) {
    BookFields fields = good;
    change(fields);
    return fields.Bytes();
  };
  // Bytes: signature 4, max_ply 1, min_games 1, weights count 4, weight width 1, ...
  const std::pair<std::string, const char*> cases[] = {
      {"", "Fail reading signature"},
      {with([](BookFields& f) { f.cut = 3; }), "Fail reading signature"},
      {with([](BookFields& f) { f.signature = 0xb00ee150; }), "Invalid signature"},
      {with([](BookFields& f) { f.cut = 4; }), "Fail reading max_ply"},
      {with([](BookFields& f) { f.cut = 5; }), "Fail reading min_games"},
      {with([](BookFields& f) { f.cut = 9; }), "Fail reading weights vector"},
      {with([](BookFields& f) { f.weightWidth = 17; }), "Fail reading weights vector"},
      {with([](BookFields& f) { f.weightCount = 2, f.cut = 14; }), "Fail reading weights vector"},
      // 20 bytes that claim four billion weights, or as many taking no bits at all.
      {with([](BookFields& f) { f.weightCount = 4000000000u, f.weights = f.codes = {}, f.padding = 4; }),
       "Fail reading weights vector"},
      {with([](BookFields& f) { f.weightCount = 4000000000u, f.weightWidth = 0, f.codes = {}; }),
       "Fail reading weights vector"},
      {with([](BookFields& f) { f.codeWidth = 9; }), "Fail reading tree vector"},
      {with([](BookFields& f) { f.codeCount = 3; }), "Fail reading tree vector"},
      {with([](BookFields& f) { f.codeCount = 4000000000u, f.codes = {}, f.padding = 4; }),
       "Fail reading tree vector"},
      {with([](BookFields& f) { f.weights = {}, f.codes = {}; }), "Empty weights vector"},
      {good.Bytes(), ""},
  };
  for (const auto& [bytes, error] : cases) {
    SCOPED_TRACE(std::string(error) + " from " + std::to_string(bytes.size()) + " bytes");
    largestAllocation = 0;
    const Book book = LoadBytes(bytes);
    EXPECT_STREQ(book.errorText, error);
    EXPECT_EQ(book.loaded, !*error);
    if (*error) {
      EXPECT_LT(largestAllocation, 1u << 16);
    }
  }
  // A path that is no readable file fails like a missing one.
  const ScratchDirectory directory;
  for (std::string path : {directory.path + "/missing.boo", directory.path})
    EXPECT_STREQ(LoadBook(path.c_str()).errorText, "Fail reading signature") << path;
}

TEST_F(BookFile, TreeCodesReplayFromTheStartPosition) {
  const char* const TooFar = "last[ply] > p[ply].moves.n (ply = 0, last[ply] = 21, p[ply].moves.n = 20)";
  // Knights out and back: 255 plies through four positions, then one ply too many.
  std::string knights = "g1f3 g8f6 f3g1 f6g8";
  while (knights.size() < 256 * 5) knights += ' ' + knights.substr(0, 19);
  const std::vector<uint32_t> deepest = LineCodes({knights.substr(0, 255 * 5 - 1)});
  const std::vector<uint32_t> tooDeep = LineCodes({knights.substr(0, 256 * 5 - 1)});
  // Rows: max_ply, weights count, code width, codes; the error ("" when the book loads),
  // nodes and edges decoded (after an error too), and the root's move indices in list order.
  const struct {
    uint32_t maxPly, weightCount, codeWidth;
    std::vector<uint32_t> codes;
    std::string error;
    uint32_t nodes, edges;
    std::string rootMoves;
  } cases[] = {
      {1, 1, 8, {}, "", 1, 0, ""},  // the root alone
      {1, 1, 8, {5, 0}, "", 2, 1, "5"},
      {1, 3, 8, {1, 0, 1, 0, 18, 0}, "", 4, 3, "20 2 1"},
      {2, 2, 8, {5, 1, 0, 0}, "", 3, 2, "5"},
      {1, 2, 8, {5, 3, 0, 0}, "Ply too big (ply = 1, i = 1)", 2, 1, "5"},
      {2, 2, 8, {5, 0, 0}, "stack underflow", 2, 1, "5"},
      {2, 2, 8, {5, 3}, "ply != 0", 3, 2, "5"},
      {1, 1, 8, {21}, TooFar, 1, 0, ""},
      {1, 2, 8, {5, 0, 16}, TooFar, 2, 1, "5"},
      // One weight gives the node map two slots, both taken when the second edge looks its
      // position up: the error must come, not an endless probe.
      {1, 1, 8, {5, 0, 3, 0}, "o >= nWeights (o = 1, nWeights = 1)", 3, 1, "5"},
      {1, 1, 0, {0, 0}, "stack underflow", 1, 0, ""},
      {255, 255, 8, deepest, "", 4, 255, "19 19 19 19 19 19 19 19"},  // one edge per visit
      {255, 256, 8, tooDeep, "Ply too big (ply = 255, i = 255)", 4, 255, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.codes) + " max_ply " + std::to_string(c.maxPly));
    BookFields fields;
    fields.maxPly = c.maxPly;
    fields.weights.assign(c.weightCount, 1);
    fields.codeWidth = c.codeWidth;
    fields.codes = c.codes;
    fields.padding = 1;  // ignored after the codes; room for the zero-width ones
    const Book book = LoadBytes(fields.Bytes());
    EXPECT_EQ(book.errorText, c.error);
    EXPECT_EQ(book.loaded, c.error.empty());
    EXPECT_EQ(book.nodeCount(), c.nodes);
    EXPECT_EQ(book.edgeCount(), c.edges);
    std::string rootMoves;
    for (int32_t e = book.head.Get(0); e >= 0 && rootMoves.size() < c.rootMoves.size(); e = book.next.Get(e)) {
      if (!rootMoves.empty()) rootMoves += ' ';
      rootMoves += std::to_string(book.moveIndex.Get(e));
    }
    EXPECT_EQ(rootMoves, c.rootMoves);
  }
}

// Whatever a damaged file says, the loader and the probe stay inside their arrays (the
// sanitizer build checks every access): bytes of a good book changed at random, and random
// walks through whatever still loads.
TEST_F(BookFile, DamagedBooksKeepInsideTheirVectors) {
  BookFields fields = LineBook({"c2c4 d7d5 d2d4 e7e6", "d2d4 d7d5 c2c4", "e2e4 e7e5 g1f3 b8c6"}, 6);
  const std::string good = fields.Bytes();
  std::mt19937 random(17);
  RandomState generator;
  RandomSeed(generator, 99);
  int loaded = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::string bytes = good;
    for (int changes = 1 + int(random() % 3); changes > 0; --changes)
      bytes[random() % bytes.size()] = char(random());
    Book book = LoadBytes(bytes);
    loaded += book.loaded;
    for (int walk = 0; walk < 20 && book.loaded; ++walk) {
      book.cursor = 0;
      for (int step = 0, index; step < 300 && (index = BookProbe(book, generator)) >= 0; ++step) {
        ASSERT_TRUE(index >= 1 && index <= 255 && BookAdvance(book, index));
        ASSERT_LT(uint32_t(book.cursor), book.nodeCount());
      }
    }
  }
  EXPECT_GT(loaded, 100);  // the codes and weights are most of the bytes
}

TEST(PackedVector, HoldsEachValueInTheNarrowestWidth) {
  std::vector<int32_t> spread(1000);
  std::mt19937 random(5);
  for (int32_t& v : spread) v = int32_t(random() % 30001) - 15000;  // a range of 15 bits
  const std::pair<std::vector<int32_t>, uint32_t> cases[] = {
      {{}, 1}, {{7, 7}, 1}, {{-1, 5, 0}, 3}, {{-1, 255}, 9}, {{INT32_MIN, INT32_MAX, 0}, 32}, {spread, 15},
  };
  for (const auto& [values, width] : cases) {
    const PackedVector packed = PackValues(values);
    EXPECT_EQ(packed.size(), values.size());
    EXPECT_EQ(packed.width, width);
    EXPECT_EQ(packed.words.size(), values.size() * width / 32 + 2);
    for (uint32_t i = 0; i < values.size(); ++i) ASSERT_EQ(packed.Get(i), values[i]) << i;
  }
}

}  // namespace
