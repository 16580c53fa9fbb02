// Compressed table files: files of unusual code shapes written by the encoder from chosen
// bytes (their code-length descriptions take both the short and the run-length form), under
// each of the three compressed names, read back through the registry and the block cache
// exactly as the plain bytes; and broken files, each of which must end registration with its
// message or disable only its own table side. Generated tables read from both forms are
// .ci/run's part (skarne-tb verify over every three- and four-man table); damaged headers
// and blocks reaching the parser and decoder are the tablebase fuzz target's.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "egdb/tb_cache.h"
#include "egdb/tb_decode.h"
#include "egdb/tb_registry.h"
#include "tb_scratch.h"
#include "tools/tbgen/compress.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t Cache = 4 * 8260;
using Bytes = std::vector<uint8_t>;

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              std::streamsize(bytes.size()));
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}
// Rewrites the header's CRC after a deliberate change to the header.
void ResealHeader(Bytes& b) {
  const uint32_t length = uint32_t(b[64]) << 24 | uint32_t(b[65]) << 16 | uint32_t(b[66]) << 8 | b[67];
  Put32(b, length - 4, TbCrc32(b.data(), length - 4));
}

class Compressed : public TbScratch {
 protected:
  // Every value of the side read through the cache equals the plain byte's value.
  void ExpectReadsAs(int table, int side, const Bytes& plain) {
    for (uint32_t i = 0; i < plain.size(); ++i) {
      if (TbReadValue(table, side, i) != TbMapValue(int8_t(plain[i]))) {
        ADD_FAILURE() << TbTableName(table) << " side " << side << " index " << i;
        return;
      }
    }
    EXPECT_EQ(TbReadValue(table, side, uint32_t(plain.size())), TbNoInformation);
  }
};

// Bytes of kqk's white-to-move file (25629: three full blocks and a short last one).
const int kqk = TbTableNumber("kqk");
const size_t kqkBytes = size_t(TbExpectedSize(kqk, 0));

// Every byte value equally often, in shuffled runs of 256: no code beats 8 bits a byte.
Bytes Noise(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes b;
  while (b.size() < n) {
    Bytes run(256);
    for (int i = 0; i < 256; ++i) run[size_t(i)] = uint8_t(i);
    std::shuffle(run.begin(), run.end(), random);
    b.insert(b.end(), run.begin(), run.end());
  }
  b.resize(n);
  return b;
}

// Bytes the encoder turns into unusual codes; each is read back whole and its code has the
// shape named.
TEST_F(Compressed, CodeShapesStoredAndShortBlocks) {
  Bytes fibonacci;  // symbol counts 1, 1, 2, 3, 5, ...: codes far longer than 13 bits
  for (int s = 0, a = 1, b = 1; s < 22; ++s, std::swap(a, b), b += a)
    fibonacci.insert(fibonacci.end(), size_t(a), uint8_t(s));
  std::shuffle(fibonacci.begin(), fibonacci.end(), std::mt19937(5));
  fibonacci.resize(kqkBytes, 0);
  Bytes mixed(kqkBytes, 3);
  const Bytes noise = Noise(8192, 7);
  std::copy(noise.begin(), noise.end(), mixed.begin() + 8192);

  const struct {
    const char* name;
    Bytes bytes;
    bool matches, emptyCode, singleSymbol, longCodes;
    int storedBlocks;
  } cases[] = {
      {"noise: every block stored, empty code", Noise(kqkBytes, 1), true, true, false, false, 4},
      {"zeros, literals only: one symbol", Bytes(kqkBytes, 0), false, false, true, false, 0},
      {"fibonacci counts", fibonacci, false, false, false, true, 0},
      {"one stored block among coded ones", mixed, true, false, false, false, 1},
  };
  const char* const names[] = {".nbw.emd", "_nbw.emd", "__nbw.emd"};  // in the order tried
  size_t n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tbgen::CompressOptions options;
    options.matches = c.matches;
    const Bytes packed = tbgen::CompressBytes(c.bytes.data(), c.bytes.size(), options);
    TbDecoder d;
    ASSERT_EQ(TbParseHeader(packed.data(), packed.size(), int64_t(packed.size()), d), TbHeaderFine);
    EXPECT_EQ(d.emptyCode, c.emptyCode);
    EXPECT_EQ(d.singleSymbol >= 0, c.singleSymbol);
    EXPECT_EQ(!d.tree.empty(), c.longCodes);
    EXPECT_EQ(d.lastBlockBytes, int32_t(kqkBytes - 3 * 8192));
    int stored = 0;
    for (uint32_t i = 0; i < d.blockCount; ++i) {
      const int64_t plain = i + 1 == d.blockCount ? d.lastBlockBytes : 8192;
      stored += d.offsets[i + 1] - d.offsets[i] == plain;
    }
    EXPECT_EQ(stored, c.storedBlocks);
    const std::string name = root_ + "/kqk" + names[n++ % 3];
    WriteFile(name, packed);
    ASSERT_EQ(TbInit(state_, root_, Cache), 3);
    EXPECT_EQ(tbRegistry.descriptors[kqk].path[0], name);
    ExpectReadsAs(kqk, 0, c.bytes);
    fs::remove(name);
  }
}

// A compressed kqk (white to move) beside plain files of kqk black to move and krk.
class BrokenFiles : public Compressed {
 protected:
  void SetUp() override {
    Compressed::SetUp();
    std::mt19937 random(3);
    plain_.resize(kqkBytes);
    for (size_t i = 0; i < plain_.size(); ++i) plain_[i] = i % 97 < 60 ? 0 : uint8_t(random()) % 5;
    packed_ = tbgen::CompressBytes(plain_.data(), plain_.size());
    WriteFile(root_ + "/kqk.nbb", Bytes(size_t(TbExpectedSize(kqk, 1)), 2));
    WriteFile(root_ + "/krk.nbw", Bytes(size_t(TbExpectedSize(TbTableNumber("krk"), 0)), 1));
    name_ = root_ + "/kqk.nbw.emd";
  }
  void ExpectFatal(const Bytes& file, const std::string& message, bool noMemory = false) {
    WriteFile(name_, file);
    EXPECT_EXIT(
        {
          dup2(2, 1);
          if (noMemory) allocateDecodeBlock = [](size_t) -> void* { return nullptr; };
          TbInit(state_, root_, Cache);
        },
        ::testing::ExitedWithCode(1), "^\\*\\*\\* " + message + "\n$");
  }
  uint32_t BlockOffset(uint32_t block) {
    TbDecoder d;
    EXPECT_EQ(TbParseHeader(packed_.data(), packed_.size(), int64_t(packed_.size()), d), TbHeaderFine);
    return uint32_t(d.offsets[block]);
  }
  Bytes plain_, packed_;
  std::string name_;
};

TEST_F(BrokenFiles, HeaderFaultsEndRegistrationWithTheirMessage) {
  const std::string unable = "Unable to read " + name_ + " - ";
  auto changed = [&](size_t at, uint32_t word, bool reseal) {  // a header word rewritten
    Bytes b = packed_;
    Put32(b, at, word);
    if (reseal) ResealHeader(b);
    return b;
  };
  Bytes banner = packed_, headerCrc = packed_;
  banner[5] = 0x07;
  ResealHeader(banner);
  headerCrc[90] ^= 0x10;
  const Bytes other(plain_.begin(), plain_.end() - 1);
  tbgen::CompressOptions small;
  small.shift = 12;
  const std::pair<Bytes, std::string> cases[] = {
      {changed(64, 83, false), unable + "file broken"},  // header length short
      {changed(72, 0x00100000, true), unable + "file broken"},  // too many blocks
      {changed(72, 3, true), unable + "file broken"},  // too few: block lengths no longer where they were
      {headerCrc, unable + "file broken"},
      {Bytes(packed_.begin(), packed_.end() - 1), unable + "file broken"},
      {Bytes(packed_.begin(), packed_.begin() + 60), unable + "read error"},
      {banner, unable + "error 1"},
      {tbgen::CompressBytes(plain_.data(), plain_.size(), small), name_ + ": Unsupported block size 4096"},
      {tbgen::CompressBytes(other.data(), other.size()), name_ + " corrupted"},
  };
  for (const auto& [file, message] : cases) ExpectFatal(file, message);
  ExpectFatal(packed_, "Cannot allocate decode block: error code 211973", true);
}

// Faults found when a block is read disable that side alone.
TEST_F(BrokenFiles, BlockFaultsDisableTheSide) {
  const int krk = TbTableNumber("krk");
  Bytes flipped = packed_;
  flipped[BlockOffset(1) + 3] ^= 0x04;
  // The bytes left when the file shrinks after TbInit, or 0.
  const struct { const char* name; Bytes file; size_t cutAfterRegistration; } cases[] = {
      {"flipped bit in block 1", flipped, 0}, {"cut short after registration", packed_, BlockOffset(1) + 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(name_, c.file);
    ASSERT_EQ(TbInit(state_, root_, Cache), 3);
    if (c.cutAfterRegistration) fs::resize_file(name_, c.cutAfterRegistration);
    EXPECT_EQ(TbReadValue(kqk, 0, 5), TbMapValue(int8_t(plain_[5])));  // block 0 is sound
    EXPECT_EQ(TbReadValue(kqk, 0, 8192 + 5), TbNoInformation);
    EXPECT_EQ(tbRegistry.descriptors[kqk].path[0], nullptr);
    EXPECT_EQ(TbReadValue(kqk, 0, 5), TbNoInformation);  // disabled for the rest of the run
    EXPECT_EQ(TbReadValue(kqk, 1, 100), TbMapValue(2));
    EXPECT_EQ(TbReadValue(krk, 0, 100), TbMapValue(1));
  }
}

}  // namespace
