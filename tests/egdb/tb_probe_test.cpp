// Table registration, the block cache and the probe over small files written here: whole
// files filled with one value byte show which file and side a probe reads without relying
// on the numbering; single bytes at chosen offsets show the block and cache rules.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "egdb/tb_cache.h"
#include "egdb/tb_index.h"
#include "egdb/tb_registry.h"
#include "tb_scratch.h"
#include "notation/fen.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t DefaultCache = 16384;
const int kqk = TbTableNumber("kqk");  // 25629 bytes with white to move (blocks 0..3)

class Tablebases : public TbScratch {
 protected:
  std::string Dir(const std::string& name) { return fs::create_directories(root_ + "/" + name), root_ + "/" + name; }
  // The table's file for the side, of its expected size unless told otherwise, every byte
  // `fill` but the ones given.
  static void Write(const std::string& dir, const char* table, int side, int8_t fill,
                    const std::map<uint32_t, int8_t>& bytes = {}, size_t size = 0) {
    std::string data(size ? size : size_t(TbExpectedSize(TbTableNumber(table), side)), char(fill));
    for (auto [index, value] : bytes) data[index] = char(value);
    std::ofstream(dir + "/" + table + (side ? ".nbb" : ".nbw"), std::ios::binary) << data;
  }
  static std::string Path(const char* table, int side) {
    const char* path = tbRegistry.descriptors[TbTableNumber(table)].path[side];
    return path ? path : "";
  }
  static std::vector<int> CachedBlocks() {
    TbCachedBlock blocks[16];
    std::vector<int> list;
    for (int i = 0, n = TbCachedBlocks(blocks, 16); i < n; ++i) list.push_back(blocks[i].block);
    return list;
  }
  void RegisterKqk(size_t cacheBytes, const std::map<uint32_t, int8_t>& bytes = {}) {
    dir_ = Dir("kqk");
    for (int side : {0, 1}) Write(dir_, "kqk", side, 0, bytes);
    ASSERT_EQ(TbInit(state_, dir_, cacheBytes), 3);
  }
  struct Row { const char* fen; int ply; std::optional<int> score; };
  void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.fen);
      Position pos;
      ASSERT_TRUE(SetFromFen(pos, row.fen));
      int score = 0;
      const bool found = TbProbe(state_, pos, score, row.ply);
      EXPECT_EQ(found ? std::optional<int>(score) : std::nullopt, row.score);
    }
  }

  std::string dir_;
};

TEST_F(Tablebases, PathListOrderSeparatorsAndCompressedNames) {
  const std::string a = Dir("a"), b = Dir("b"), c = Dir("c");
  for (const std::string& dir : {a, b}) Write(dir, "kqkr", 0, 0);
  Write(b, "kqkr", 1, 0);
  Write(c, "kqk", 0, 0);

  EXPECT_EQ(TbInit(state_, a + ":" + b + ";" + c, DefaultCache), 4);
  EXPECT_EQ(state_.error, TbFine);
  EXPECT_EQ(Path("kqkr", 0), a + "/kqkr.nbw");  // the first directory wins
  EXPECT_EQ(Path("kqkr", 1), b + "/kqkr.nbb");
  EXPECT_EQ(Path("kqk", 0), c + "/kqk.nbw");

  const fs::path before = fs::current_path();  // an empty piece is the current directory
  fs::current_path(c);
  EXPECT_EQ(TbInit(state_, "/nowhere,", DefaultCache), 3);
  EXPECT_EQ(Path("kqk", 0), "kqk.nbw");
  fs::current_path(before);

  EXPECT_EQ(TbInit(state_, Dir("empty"), DefaultCache), 0);
  EXPECT_EQ(state_.error, TbNoTableFound);
  EXPECT_EQ(Path("kqkr", 0), "");
}

// Fatal: the message on standard output (sent to the death test's stderr here), status 1.
TEST_F(Tablebases, FileOfTheWrongSizeEndsTheRun) {
  const std::string dir = Dir("bad");
  Write(dir, "kqkr", 0, 0, {}, 1000);
  EXPECT_EXIT(
      {
        dup2(2, 1);
        TbInit(state_, dir, DefaultCache);
      },
      ::testing::ExitedWithCode(1), "^\\*\\*\\* " + dir + "/kqkr\\.nbw corrupted\n$");
}

TEST_F(Tablebases, StoredBytesMapToValuesAcrossBlockEdges) {
  RegisterKqk(4 * TbSlotBytes, {{0, 1}, {1, 126}, {2, -1}, {3, -126}, {4, -127}, {5, -128},
                                {6, 127}, {8191, 42}, {8192, -42}, {25628, 100}});
  // 127 is no information; -127 and -128 are a loss and a win beyond the counted ones; the
  // end of the file and beyond answer nothing without harm to the table.
  const std::map<uint32_t, int32_t> values = {
      {0, 32641},     {1, 32766},      {2, -32641},    {3, -32766},       {4, -32640},
      {5, 32640},     {6, 32767},      {7, 0},         {8191, 32682},     {8192, -32682},
      {25628, 32740}, {25629, 32767},  {0xFFFFFFFF, 32767}};
  for (auto [index, value] : values) EXPECT_EQ(TbReadValue(kqk, 0, index), value) << index;
  EXPECT_EQ(CachedBlocks(), (std::vector<int>{3, 1, 0}));
  EXPECT_EQ(TbReadValue(kqk, 0, 0), 32641);
}

TEST_F(Tablebases, LeastRecentlyUsedBlockGoesFirst) {
  RegisterKqk(2 * TbSlotBytes);
  for (uint32_t block : {0, 1, 0, 2}) TbReadValue(kqk, 0, block * TbBlockBytes);
  EXPECT_EQ(CachedBlocks(), (std::vector<int>{2, 0}));  // block 1 went
  TbReadValue(kqk, 1, 0);  // the other side's block 0 is another block
  EXPECT_EQ(CachedBlocks(), (std::vector<int>{0, 2}));
  EXPECT_EQ(TbCacheStatistics().hits, 1u);
  EXPECT_EQ(TbCacheStatistics().reads, 4u);
}

TEST_F(Tablebases, TooSmallCachesAnswerNothing) {
  const struct { size_t bytes; int error, slots; } rows[] = {
      {31, TbCacheSizeRejected, 0}, {32, TbFine, 0}, {TbSlotBytes - 1, TbFine, 0}, {TbSlotBytes, TbFine, 1},
      {DefaultCache, TbFine, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes);
    RegisterKqk(row.bytes, {{5, 9}});
    EXPECT_EQ(state_.error, row.error);
    EXPECT_EQ(TbCacheSlotCount(), row.slots);
    EXPECT_EQ(TbReadValue(kqk, 0, 5), row.slots ? 32649 : TbNoInformation);
  }
}

TEST_F(Tablebases, FileCutShortAfterRegistrationDisablesOnlyThatSide) {
  RegisterKqk(4 * TbSlotBytes, {{9000, 7}});
  EXPECT_EQ(TbReadValue(kqk, 0, 9000), 32647);
  EXPECT_NE(tbRegistry.descriptors[kqk].file[0], nullptr);  // opened by the read
  TbCloseFiles();
  EXPECT_EQ(tbRegistry.descriptors[kqk].file[0], nullptr);
  fs::resize_file(dir_ + "/kqk.nbw", 2 * TbBlockBytes + 100);
  EXPECT_EQ(TbReadValue(kqk, 0, 20000), TbNoInformation);  // block 2 is short now
  EXPECT_EQ(TbReadValue(kqk, 0, 9000), TbNoInformation);   // the side is disabled
  EXPECT_EQ(Path("kqk", 0), "");
  EXPECT_EQ(TbReadValue(kqk, 1, 9000), 32647);
  EXPECT_EQ(TbReadValue(kqk, 1, 20000), 0);
}

TEST_F(Tablebases, ProbeFilesSidesAndScores) {
  const std::string dir = Dir("probe");
  Write(dir, "kqkr", 0, 100);  // white to move in the table: the queen's side moves
  Write(dir, "kqkr", 1, 50);
  Write(dir, "kqk", 0, 126);  // no black-to-move file
  Write(dir, "krk", 0, -126);
  Write(dir, "krk", 1, 127);
  Write(dir, "krkr", 0, -3);
  ASSERT_EQ(TbInit(state_, dir, DefaultCache), 4);
  // A win of stored byte b scores 2(b + 32640) - 33533 - ply; a loss 2(b - 32640) + 33532 + ply.
  Check({
      {"8/8/8/3k4/8/8/8/3K4 w - - 0 1", 0, 0},               // bare kings
      {"8/8/8/3k4/8/8/8/1Q1K4 w - - 0 1", 0, 31999},         // kqk, b = 126
      {"8/8/8/3k4/8/8/8/1Q1K4 w - - 0 1", 1, 31998},         // one ply on
      {"8/8/8/3k4/8/8/8/1Q1K4 b - - 0 1", 0, std::nullopt},  // no kqk.nbb
      {"8/8/8/3k4/8/8/8/1R1K4 w - - 0 1", 0, -32000},        // krk, b = -126
      {"8/8/8/3k4/8/8/8/1R1K4 w - - 0 1", 1, -31999},
      {"8/8/8/3k4/8/8/8/1R1K4 b - - 0 1", 0, std::nullopt},  // 127: no information
      {"4k3/8/8/8/8/8/8/R3K3 w Q - 0 1", 0, std::nullopt},   // a castling right
      {"8/8/3q4/3k4/8/8/8/1R1K4 b - - 0 1", 0, 31947},       // kqkr.nbw, colours exchanged
      {"8/8/3q4/3k4/8/8/8/1R1K4 w - - 0 1", 0, 31847},       // kqkr.nbb, colours exchanged
      {"8/8/3r4/3k4/8/8/8/1Q1K4 w - - 0 1", 0, 31947},
      {"8/8/3r4/3k4/8/8/8/1R1K4 w - - 0 1", 0, -31754},      // krkr, b = -3
      {"8/8/3r4/3k4/8/8/8/1R1K4 b - - 0 1", 0, -31754},      // the same file for black
      {"8/8/3n4/3k4/8/8/8/1R1K4 w - - 0 1", 0, std::nullopt},   // no krkn
      {"8/8/3r4/3k4/8/8/8/RR1K4 w - - 0 1", 0, std::nullopt},   // five men, limit 4
  });
  Write(Dir("three"), "kqk", 0, 1);  // with three-man tables only, four men are refused
  ASSERT_EQ(TbInit(state_, Dir("three"), DefaultCache), 3);
  Check({{"8/8/8/3k4/8/8/8/1Q1K4 w - - 0 1", 0, 31749},
         {"8/8/3q4/3k4/8/8/8/1Q1K4 w - - 0 1", 0, std::nullopt}});
}

// The en passant square handed to the numbering is the one behind the pawn that has just
// made its double step, whichever colours the table reads: e3 after e2-e4, d6 after d7-d5.
// kpkp's men are the same both ways, so the exchanged entry, stored last, is the one the
// material finds: black's men are the table's white, the side to move is the other one.
TEST_F(Tablebases, EnPassantSquareFollowsTheSideToMove) {
  TbBuildIndexTables();
  const int kpkp = TbTableNumber("kpkp");
  auto list = [](int king, int pawn) { std::vector<int> l(16, 0); l[0] = pawn, l[15] = king; return l; };
  // Squares: e1 4, e8 60, e4 28, d4 27, e3 20, e5 36, d5 35, d6 43.
  const auto w1 = list(4, 28), b1 = list(60, 27), w2 = list(4, 36), b2 = list(60, 35);
  const std::string dir = Dir("ep");
  Write(dir, "kpkp", 0, 0, {{TbIndex(kpkp, 0, b1.data(), w1.data(), 20, true), 10}});
  Write(dir, "kpkp", 1, 0, {{TbIndex(kpkp, 1, b2.data(), w2.data(), 43, true), 20}});
  ASSERT_EQ(TbInit(state_, dir, DefaultCache), 4);
  Check({{"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", 0, 2 * (10 + TbValueBase) - 33533},
         {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", 0, 2 * (20 + TbValueBase) - 33533}});
}

}  // namespace
