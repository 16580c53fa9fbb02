// Compressed table files: tables that skarne-tbgen generates and compresses read back
// through the registry and the block cache exactly as the plain files; files of unusual
// code shapes written by the encoder from chosen bytes; and broken files, each of which
// must end registration with its message or disable only its own table side.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
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

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
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

TEST_F(Compressed, GeneratedTablesProbeAsTheirPlainFiles) {
  const std::string command = std::string(SKARNE_TBGEN) + " -o " + root_ +
                              " --compress kqk krk kbk knk kpk kqkr kbnk knkn 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string packed = root_ + "/packed";
  fs::create_directories(packed);
  uint64_t plainTotal = 0, packedTotal = 0;
  std::vector<std::tuple<int, int, std::string>> sides;  // table, side, the name it has in turn
  for (const auto& entry : fs::directory_iterator(root_)) {
    std::string name = entry.path().filename().string();
    if (name.size() < 4 || name.substr(name.size() - 4) != ".emd") continue;
    packedTotal += fs::file_size(entry.path());
    plainTotal += fs::file_size(root_ + "/" + name.substr(0, name.size() - 4));
    const size_t dot = name.size() - 8;  // kqkr.nbw.emd, kqkr_nbw.emd, kqkr__nbw.emd
    if (sides.size() % 3) name.replace(dot, 1, sides.size() % 3 == 1 ? "_" : "__");
    fs::rename(entry.path(), packed + "/" + name);
    sides.push_back({TbTableNumber(name.substr(0, name.find_first_of("._")).c_str()), name[name.size() - 5] == 'b', name});
  }
  ASSERT_EQ(sides.size(), 15u);
  std::printf("compressed %llu of %llu bytes (%.1f%%)\n", (unsigned long long)packedTotal,
              (unsigned long long)plainTotal, 100.0 * double(packedTotal) / double(plainTotal));
  EXPECT_LE(packedTotal * 3, plainTotal);

  EXPECT_EQ(TbInit(state_, packed, Cache), 4);
  for (auto [table, side, name] : sides) {
    EXPECT_EQ(tbRegistry.descriptors[table].path[side], packed + "/" + name);
    ExpectReadsAs(table, side, ReadFile(root_ + "/" + TbTableName(table) + (side ? ".nbb" : ".nbw")));
  }
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
    WriteFile(root_ + "/kqk_nbw.emd", packed);  // the second compressed name
    ASSERT_EQ(TbInit(state_, root_, Cache), 3);
    ExpectReadsAs(kqk, 0, c.bytes);
  }
}

// Code lengths through the description format: n up to 128 and above, runs of equal
// lengths both short (2..33) and long (a power of two and extra bits).
TEST(CodeLengths, DescriptionsReadBack) {
  auto lengths = [](int n, auto f) {
    std::vector<uint8_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[size_t(i)] = uint8_t(f(i));
    return v;
  };
  const std::vector<uint8_t> cases[] = {
      lengths(1024, [](int) { return 0; }),
      lengths(1024, [](int i) { return i == 700 ? 1 : 0; }),
      lengths(1024, [](int i) { return i < 256 ? 8 + (i % 7 == 0) : i % 40 == 0 ? 31 : 0; }),
      lengths(1024, [](int i) { return (i / 5) % 31; }),
      lengths(200, [](int i) { return i % 3 ? 0 : i % 31; }),
      lengths(128, [](int i) { return i > 90 ? 5 : 0; }),
      lengths(7, [](int i) { return i + 1; }),
  };
  for (const auto& want : cases) {
    tbgen::BitWriter out;
    tbgen::WriteCodeLengths(out, want.data(), int(want.size()));
    const Bytes& bytes = out.Bytes();
    std::vector<uint8_t> got(want.size(), 99);
    ASSERT_TRUE(TbReadCodeLengths(bytes.data(), bytes.size(), got.data(), int(got.size())));
    EXPECT_EQ(got, want);
    if (bytes.size() > 1) {  // the description cut short is broken, never read past
      EXPECT_FALSE(TbReadCodeLengths(bytes.data(), bytes.size() / 2, got.data(), int(got.size())));
    }
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

// Every single-byte change to the directory and code description (header CRC resealed so
// the parse goes on) and to the blocks is refused or decodes within the buffers; the
// sanitizer build proves nothing is read or written outside them.
TEST(CorruptHeaders, ParsedOrRefusedWithinTheBuffers) {
  Bytes plain(20000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = uint8_t((i * 7 / 64) % 11 == 0 ? 127 : i % 5);
  const Bytes packed = tbgen::CompressBytes(plain.data(), plain.size());
  const size_t header = size_t(packed[64]) << 24 | size_t(packed[65]) << 16 | size_t(packed[66]) << 8 | packed[67];
  Bytes out(8192);
  int refused = 0;
  for (size_t at = 72; at < packed.size(); ++at) {
    Bytes b = packed;
    b[at] ^= uint8_t(0x5A);
    if (at < header - 4) ResealHeader(b);
    TbDecoder d;
    if (TbParseHeader(b.data(), header, int64_t(b.size()), d) != TbHeaderFine) {
      ++refused;
      continue;
    }
    for (uint32_t i = 0; i < d.blockCount; ++i) {
      const int64_t c = d.offsets[i + 1] - d.offsets[i];
      const size_t u = i + 1 == d.blockCount ? size_t(d.lastBlockBytes) : size_t(d.blockBytes);
      if (c > 0 && d.offsets[i + 1] <= int64_t(b.size()) && u <= out.size())
        TbDecodeBytes(d, b.data() + d.offsets[i], size_t(c), out.data(), u);
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
