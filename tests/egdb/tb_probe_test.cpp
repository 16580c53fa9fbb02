// Table registration, the block cache and the probe over small files written here: whole
// files filled with one value byte show which file and side a probe reads without relying
// on the numbering; single bytes at chosen offsets show the block and cache rules.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "notation/fen.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t DefaultCache = 16384;

class TablebaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    std::string pattern = (fs::temp_directory_path() / "skarne-tb-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    TbFreeState(state_);
    fs::remove_all(root_);
  }

  std::string Dir(const std::string& name) {
    fs::create_directories(root_ / name);
    return (root_ / name).string();
  }

  // The table's file for the side, of its expected size unless told otherwise, every byte
  // `fill` except the ones given.
  static void WriteTable(const std::string& dir, const char* table, int side, int8_t fill,
                         const std::map<uint32_t, int8_t>& bytes = {},
                         std::optional<size_t> size = std::nullopt) {
    const int t = TbTableNumber(table);
    std::string data(size.value_or(size_t(TbExpectedSize(t, side))), char(fill));
    for (auto [index, value] : bytes) data[index] = char(value);
    std::ofstream(dir + "/" + table + (side == 0 ? ".nbw" : ".nbb"), std::ios::binary) << data;
  }

  std::optional<int> Probe(const char* fen, int ply = 0) {
    Position pos;
    EXPECT_TRUE(SetFromFen(pos, fen)) << fen;
    int score = 0;
    if (!TbProbe(state_, pos, score, ply)) return std::nullopt;
    return score;
  }

  fs::path root_;
  TbState state_;
};

std::string RegisteredPath(const char* table, int side) {
  const char* path = tbRegistry.descriptors[TbTableNumber(table)].path[side];
  return path ? path : "";
}

// ---- Registration

TEST_F(TablebaseTest, PathListOrderSeparatorsAndCompressedNames) {
  const std::string a = Dir("a"), b = Dir("b"), c = Dir("c");
  for (const std::string& dir : {a, b}) WriteTable(dir, "kqkr", 0, 0);
  WriteTable(b, "kqkr", 1, 0);
  WriteTable(c, "kqk", 0, 0);
  std::ofstream(c + "/krk_nbw.emd") << "compressed";
  std::ofstream(c + "/krk.nbb.emd") << "compressed";
  std::ofstream(c + "/kbk__nbw.emd") << "compressed";

  EXPECT_EQ(TbInit(state_, a + ":" + b + ";" + c, DefaultCache), 4);
  EXPECT_EQ(state_.error, TbFine);
  EXPECT_EQ(RegisteredPath("kqkr", 0), a + "/kqkr.nbw");  // the first directory wins
  EXPECT_EQ(RegisteredPath("kqkr", 1), b + "/kqkr.nbb");
  EXPECT_EQ(RegisteredPath("kqk", 0), c + "/kqk.nbw");
  // Compressed files are found by all three names and left unread for now.
  EXPECT_EQ(tbRegistry.compressedSkipped, 3);
  EXPECT_EQ(RegisteredPath("krk", 0), "");
  EXPECT_EQ(RegisteredPath("kbk", 0), "");

  // An empty piece is the current directory.
  const fs::path before = fs::current_path();
  fs::current_path(c);
  EXPECT_EQ(TbInit(state_, "/nowhere,", DefaultCache), 3);
  EXPECT_EQ(RegisteredPath("kqk", 0), "kqk.nbw");
  fs::current_path(before);

  EXPECT_EQ(TbInit(state_, Dir("empty"), DefaultCache), 0);
  EXPECT_EQ(state_.error, TbNoTableFound);
  EXPECT_EQ(RegisteredPath("kqkr", 0), "");
}

// A fatal registration fault ends the process with its line and status 1: run it in a child.
std::pair<int, std::string> RunChild(void (*body)(const std::string&), const std::string& dir) {
  int out[2];
  if (pipe(out) != 0) return {-1, ""};
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    body(dir);
    std::fflush(stdout);
    _exit(0);
  }
  close(out[1]);
  std::string text;
  char chunk[256];
  for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, size_t(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST_F(TablebaseTest, FileOfTheWrongSizeEndsTheRun) {
  const std::string dir = Dir("bad");
  WriteTable(dir, "kqkr", 0, 0, {}, 1000);
  auto [status, text] = RunChild(
      [](const std::string& d) {
        TbState state;
        TbInit(state, d, DefaultCache);
      },
      dir);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(text, "*** " + dir + "/kqkr.nbw corrupted\n");
}

// ---- Block cache

struct CacheTest : TablebaseTest {
  // kqk: 25629 bytes with white to move (blocks 0..3), 28644 with black.
  void RegisterKqk(size_t cacheBytes, const std::map<uint32_t, int8_t>& bytes = {}) {
    dir_ = Dir("cache");
    WriteTable(dir_, "kqk", 0, 0, bytes);
    WriteTable(dir_, "kqk", 1, 0, bytes);
    ASSERT_EQ(TbInit(state_, dir_, cacheBytes), 3);
  }
  std::vector<int> CachedBlocks() {
    TbCachedBlock blocks[16];
    const int n = TbCachedBlocks(blocks, 16);
    std::vector<int> list;
    for (int i = 0; i < n; ++i) list.push_back(blocks[i].block);
    return list;
  }
  int kqk = TbTableNumber("kqk");
  std::string dir_;
};

TEST_F(CacheTest, StoredBytesMapToValuesAcrossBlockEdges) {
  const std::map<uint32_t, int8_t> bytes = {{0, 1},      {1, 126},     {2, -1},   {3, -126},
                                            {4, -127},   {5, -128},    {6, 127},  {8191, 42},
                                            {8192, -42}, {25628, 100}};
  RegisterKqk(4 * TbSlotBytes, bytes);
  // 127 is no information; -127 and -128 are a loss and a win beyond the counted ones.
  const std::map<uint32_t, int32_t> values = {
      {0, 32641},  {1, 32766},  {2, -32641},    {3, -32766}, {4, -32640}, {5, 32640},
      {6, 32767},  {7, 0},      {8191, 32682},  {8192, -32682}, {25628, 32740}};
  for (auto [index, value] : values) EXPECT_EQ(TbReadValue(kqk, 0, index), value) << index;
  EXPECT_EQ(CachedBlocks(), (std::vector<int>{3, 1, 0}));
  // At and past the end of the file: no information, and the table side stays usable.
  EXPECT_EQ(TbReadValue(kqk, 0, 25629), TbNoInformation);
  EXPECT_EQ(TbReadValue(kqk, 0, 0xFFFFFFFF), TbNoInformation);
  EXPECT_EQ(TbReadValue(kqk, 0, 0), 32641);
}

TEST_F(CacheTest, LeastRecentlyUsedBlockGoesFirst) {
  RegisterKqk(2 * TbSlotBytes);
  ASSERT_EQ(TbCacheSlotCount(), 2);
  for (uint32_t block : {0, 1, 0, 2}) TbReadValue(kqk, 0, block * TbBlockBytes);
  EXPECT_EQ(CachedBlocks(), (std::vector<int>{2, 0}));  // block 1 was evicted
  EXPECT_EQ(TbCacheStatistics().hits, 1u);
  TbReadValue(kqk, 1, 0);  // the other side's block 0 is another block
  EXPECT_EQ(CachedBlocks(), (std::vector<int>{0, 2}));
  EXPECT_EQ(TbCacheStatistics().reads, 4u);
}

TEST_F(CacheTest, TooSmallCachesAnswerNothing) {
  struct Row {
    size_t bytes;
    bool accepted;
    int slots;
  };
  for (Row row : {Row{31, false, 0}, Row{32, true, 0}, Row{TbSlotBytes - 1, true, 0},
                  Row{TbSlotBytes, true, 1}, Row{DefaultCache, true, 1}}) {
    SCOPED_TRACE(row.bytes);
    RegisterKqk(row.bytes, {{5, 9}});
    EXPECT_EQ(state_.error, row.accepted ? TbFine : TbCacheSizeRejected);
    EXPECT_EQ(TbCacheSlotCount(), row.slots);
    EXPECT_EQ(TbReadValue(kqk, 0, 5), row.slots ? 32649 : TbNoInformation);
  }
}

TEST_F(CacheTest, FileCutShortAfterRegistrationDisablesOnlyThatSide) {
  RegisterKqk(4 * TbSlotBytes, {{9000, 7}});
  EXPECT_EQ(TbReadValue(kqk, 0, 9000), 32647);
  EXPECT_NE(tbRegistry.descriptors[kqk].file[0], nullptr);  // opened by the read
  TbCloseFiles();
  EXPECT_EQ(tbRegistry.descriptors[kqk].file[0], nullptr);
  fs::resize_file(dir_ + "/kqk.nbw", 2 * TbBlockBytes + 100);
  EXPECT_EQ(TbReadValue(kqk, 0, 20000), TbNoInformation);  // block 2 is short now
  EXPECT_EQ(TbReadValue(kqk, 0, 9000), TbNoInformation);   // the side is disabled
  EXPECT_EQ(RegisteredPath("kqk", 0), "");
  EXPECT_EQ(TbReadValue(kqk, 1, 9000), 32647);
  EXPECT_EQ(TbReadValue(kqk, 1, 20000), 0);
}

// ---- Probe

struct ProbeRow {
  const char* fen;
  int ply;
  std::optional<int> score;
};

struct ProbeTest : TablebaseTest {
  void Check(const std::vector<ProbeRow>& rows) {
    for (const ProbeRow& row : rows) {
      SCOPED_TRACE(row.fen);
      EXPECT_EQ(Probe(row.fen, row.ply), row.score);
    }
  }
};

TEST_F(ProbeTest, FilesSidesAndScores) {
  const std::string dir = Dir("probe");
  WriteTable(dir, "kqkr", 0, 100);  // white to move in the table: the queen's side moves
  WriteTable(dir, "kqkr", 1, 50);
  WriteTable(dir, "kqk", 0, 126);  // no black-to-move file
  WriteTable(dir, "krk", 0, -126);
  WriteTable(dir, "krk", 1, 127);
  WriteTable(dir, "krkr", 0, -3);
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
}

TEST_F(ProbeTest, OnlyThreeManTablesRefuseFourMen) {
  const std::string dir = Dir("three");
  WriteTable(dir, "kqk", 0, 1);
  ASSERT_EQ(TbInit(state_, dir, DefaultCache), 3);
  Check({{"8/8/8/3k4/8/8/8/1Q1K4 w - - 0 1", 0, 31749},
         {"8/8/3q4/3k4/8/8/8/1Q1K4 w - - 0 1", 0, std::nullopt}});
}

// The en passant square handed to the numbering is the one behind the pawn that has just
// made its double step, whichever colours the table reads: e3 after e2-e4, d6 after d7-d5.
// kpkp's men are the same both ways, so the exchanged entry, stored last, is the one the
// material finds: black's men are the table's white, the side to move is the other one.
TEST_F(ProbeTest, EnPassantSquareFollowsTheSideToMove) {
  TbBuildIndexTables();
  const int kpkp = TbTableNumber("kpkp");
  auto list = [](int king, int pawn) {
    std::vector<int> l(16, 0);
    l[0] = pawn;
    l[15] = king;
    return l;
  };
  // Squares: e1 4, e8 60, e4 28, d4 27, e3 20, e5 36, d5 35, d6 43.
  const auto w1 = list(4, 28), b1 = list(60, 27), w2 = list(4, 36), b2 = list(60, 35);
  const uint32_t i1 = TbIndex(kpkp, 0, b1.data(), w1.data(), 20, true);
  const uint32_t i2 = TbIndex(kpkp, 1, b2.data(), w2.data(), 43, true);
  const std::string dir = Dir("ep");
  WriteTable(dir, "kpkp", 0, 0, {{i1, 10}});
  WriteTable(dir, "kpkp", 1, 0, {{i2, 20}});
  ASSERT_EQ(TbInit(state_, dir, DefaultCache), 4);
  Check({{"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", 0, 2 * (10 + TbValueBase) - 33533},
         {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", 0, 2 * (20 + TbValueBase) - 33533}});
}

}  // namespace
