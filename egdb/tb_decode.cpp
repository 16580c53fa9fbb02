#include "egdb/tb_decode.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "egdb/tb_registry.h"

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> CrcTable = MakeCrcTable();

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The bit window: 32 bits whose top ones are next, count = bits held beyond 16. Bytes past
// the end read as zero; a stream that consumed more bits than it has is broken.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t bytes) : data_(data), bytes_(bytes) {
    window_ = uint32_t(Next()) << 24;
    window_ |= uint32_t(Next()) << 16;
    window_ |= uint32_t(Next()) << 8;
    window_ |= Next();
  }
  // n at most 16.
  uint32_t Read(int n) {
    if (n == 0) return 0;
    const uint32_t value = window_ >> (32 - n);
    Skip(n);
    return value;
  }
  uint32_t Peek13() const { return window_ >> (32 - TbFirstLevelBits); }
  void Skip(int n) {
    window_ <<= n;
    count_ -= n;
    consumed_ += uint64_t(n);
    if (count_ <= 0) {
      const uint32_t two = uint32_t(Next()) << 8;
      window_ |= (two | Next()) << -count_;
      count_ += 16;
    }
  }
  bool Overrun() const { return consumed_ > uint64_t(bytes_) * 8; }

 private:
  uint8_t Next() { return position_ < bytes_ ? data_[position_++] : (++position_, 0); }
  const uint8_t* data_;
  size_t bytes_;
  size_t position_ = 0;
  uint32_t window_ = 0;
  int count_ = 16;
  uint64_t consumed_ = 0;
};

// A canonical code of at most 31-bit lengths, decoded bit by bit: small alphabets only
// (the two codes that describe the main code's lengths).
struct SmallCode {
  int count[TbLongestCode + 1] = {};
  std::vector<int> symbols;  // by length, then symbol
  int single = -1;
  bool empty = true;
};

// Lengths above 31, an incomplete or over-full code, or a lone symbol of length other than
// 1 make a code broken. Fills count[] (per length) and the used symbols in canonical order.
bool CheckLengths(const uint8_t* lengths, int n, int count[TbLongestCode + 1],
                  std::vector<int>& order, int& single, bool& empty) {
  std::fill(count, count + TbLongestCode + 1, 0);
  int used = 0, last = -1;
  for (int s = 0; s < n; ++s) {
    if (lengths[s] > TbLongestCode) return false;
    if (lengths[s]) ++count[lengths[s]], ++used, last = s;
  }
  empty = used == 0;
  single = -1;
  order.clear();
  if (used == 0) return true;
  if (used == 1) {
    single = last;
    return lengths[last] == 1;
  }
  uint64_t kraft = 0;
  for (int l = 1; l <= TbLongestCode; ++l) kraft += uint64_t(count[l]) << (TbLongestCode - l);
  if (kraft != uint64_t(1) << TbLongestCode) return false;
  // Canonical order (by length, then symbol) in one pass: each length's run starts after
  // the shorter ones.
  int next[TbLongestCode + 1] = {};
  for (int l = 2; l <= TbLongestCode; ++l) next[l] = next[l - 1] + count[l - 1];
  order.resize(size_t(used));
  for (int s = 0; s < n; ++s)
    if (lengths[s]) order[size_t(next[lengths[s]]++)] = s;
  return true;
}

bool BuildSmallCode(const uint8_t* lengths, int n, SmallCode& code) {
  return CheckLengths(lengths, n, code.count, code.symbols, code.single, code.empty);
}

// -1 when the code is empty or the stream ends inside a code.
int DecodeSmall(const SmallCode& code, BitReader& in) {
  if (code.empty) return -1;
  if (code.single >= 0) return code.single;
  int first = 0, index = 0, value = 0;
  for (int l = 1; l <= TbLongestCode; ++l) {
    value |= int(in.Read(1));
    const int n = code.count[l];
    if (value - first < n) return code.symbols[size_t(index + value - first)];
    index += n;
    first = (first + n) << 1;
    value <<= 1;
    if (in.Overrun()) return -1;
  }
  return -1;
}

// Lengths of n <= 128 symbols: a flag for all zero, else a width w and lengths of w bits,
// each zero followed by a 4-bit count of further zeros.
bool ReadShortLengths(BitReader& in, uint8_t* lengths, int n) {
  std::fill(lengths, lengths + n, 0);
  if (in.Read(1)) return true;
  const int width = int(in.Read(5));
  if (width > 16) return false;
  int filled = 0;
  while (filled < n) {
    const uint32_t length = in.Read(width);
    if (length > uint32_t(TbLongestCode)) return false;
    lengths[filled++] = uint8_t(length);
    if (length == 0) {
      const int zeros = int(in.Read(4));
      if (filled + zeros > n) return false;
      filled += zeros;
    }
    if (in.Overrun()) return false;
  }
  return true;
}

// Lengths of any n: up to 128 directly; above, 128 lengths for two codes (A: a length, or
// a repeated length; B: how often) and then A's symbols until n lengths are set.
bool ReadLengths(BitReader& in, uint8_t* lengths, int n) {
  if (n <= 128) return ReadShortLengths(in, lengths, n);
  std::fill(lengths, lengths + n, 0);
  if (in.Read(1)) return true;
  uint8_t small[128];
  if (!ReadShortLengths(in, small, 128)) return false;
  SmallCode a, b;
  if (!BuildSmallCode(small, 64, a) || !BuildSmallCode(small + 64, 64, b)) return false;
  int filled = 0;
  while (filled < n) {
    const int s = DecodeSmall(a, in);
    if (s < 0) return false;
    if (s < 32) {
      lengths[filled++] = uint8_t(s);
      continue;
    }
    const int c = DecodeSmall(b, in);
    if (c < 0) return false;
    int64_t run;
    if (c < 32) {
      run = c + 2;
    } else {
      const int bits = c - 32;
      if (bits > 16) return false;  // such a run passes any alphabet
      run = (int64_t(1) << bits) + in.Read(bits) + 33;
    }
    if (filled + run > n) return false;
    std::fill(lengths + filled, lengths + filled + run, uint8_t(s - 32));
    filled += int(run);
    if (in.Overrun()) return false;
  }
  return !in.Overrun();
}

// The main code's first-level table and, for codes over 13 bits, the tree below it. -1
// marks an unset child: node 0, the only node whose complement it is, is a first-level
// root and never a child.
bool BuildMainCode(const uint8_t* lengths, TbDecoder& d) {
  int count[TbLongestCode + 1];
  std::vector<int> order;
  if (!CheckLengths(lengths, TbMainSymbols, count, order, d.singleSymbol, d.emptyCode))
    return false;
  std::fill(std::begin(d.firstLevel), std::end(d.firstLevel), int16_t(0));
  d.tree.clear();
  uint32_t code = 0;
  int length = 0;
  for (int s : order) {
    const int l = lengths[s];
    code <<= (l - length);
    length = l;
    if (l <= TbFirstLevelBits) {
      const uint32_t start = code << (TbFirstLevelBits - l);
      const int16_t entry = int16_t(s | l << 10);
      std::fill(d.firstLevel + start, d.firstLevel + start + (1u << (TbFirstLevelBits - l)),
                entry);
    } else {
      const uint32_t prefix = code >> (l - TbFirstLevelBits);
      int16_t& entry = d.firstLevel[prefix];
      if (entry == 0) {  // no code of 13 bits or fewer is 0 with length 0: free
        d.tree.push_back(-1), d.tree.push_back(-1);
        entry = int16_t(~int(d.tree.size() / 2 - 1));
      }
      int node = ~int(entry);
      for (int bit = l - TbFirstLevelBits - 1; bit >= 0; --bit) {
        const size_t child = size_t(node) * 2 + ((code >> bit) & 1);
        if (bit == 0) {
          d.tree[child] = s;
        } else {
          if (d.tree[child] == -1) {
            d.tree.push_back(-1), d.tree.push_back(-1);
            d.tree[child] = ~int32_t(d.tree.size() / 2 - 1);
          }
          node = ~d.tree[child];
        }
      }
    }
    ++code;
  }
  return true;
}

uint8_t* decodeBlock = nullptr;

}  // namespace

uint32_t TbCrc32(const uint8_t* data, size_t bytes, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < bytes; ++i) crc = CrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

bool TbReadCodeLengths(const uint8_t* bytes, size_t size, uint8_t* lengths, int n) {
  BitReader in(bytes, size);
  return ReadLengths(in, lengths, n) && !in.Overrun();
}

TbHeaderFault TbParseHeader(const uint8_t* h, size_t headerBytes, int64_t fileBytes,
                            TbDecoder& d) {
  if (headerBytes < TbHeaderBytes) return TbHeaderReadError;
  for (int i = 0; i < TbBannerBytes - 2; ++i)
    if (h[i] < 0x20 || h[i] > 0x7E) return TbHeaderBadBanner;
  if (h[TbBannerBytes - 2] != '\r' || h[TbBannerBytes - 1] != '\n') return TbHeaderBadBanner;
  const uint32_t length = BigEndian32(h + 64);
  if (length <= 83 || length > headerBytes || int64_t(length) > fileBytes) return TbHeaderBroken;
  if (BigEndian32(h + 76) != TbFormatWord) return TbHeaderBadFormatWord;
  if (h[71] != TbDistanceCount) return TbHeaderBadDistanceCount;
  const int shift = h[70];
  if (shift > 16 || shift < 1) return TbHeaderBadShift;
  if (TbCrc32(h, length - 4) != BigEndian32(h + length - 4)) return TbHeaderBroken;

  const uint32_t blocks = BigEndian32(h + 72);
  const uint64_t directoryBits = (uint64_t(blocks) + 1 + TbDistanceCount) * uint64_t(shift);
  const uint64_t fixedEnd = TbHeaderBytes + uint64_t(blocks) * 8 + (directoryBits + 7) / 8;
  if (blocks == 0 || fixedEnd > length - 4) return TbHeaderBroken;

  d.shift = shift;
  d.blockBytes = int32_t(1) << shift;
  d.blockCount = blocks;
  d.checkBlocks = true;
  d.guard = TbDirectoryGuard;
  d.blockCrc.resize(blocks);
  d.offsets.resize(size_t(blocks) + 1);
  for (uint32_t i = 0; i < blocks; ++i) d.blockCrc[i] = BigEndian32(h + TbHeaderBytes + 8 * i + 4);

  // The k-bit fields: block lengths, the last block's plain length, the 24 distances.
  const uint8_t* bits = h + TbHeaderBytes + size_t(blocks) * 8;
  uint64_t bit = 0;
  auto field = [&]() {
    uint32_t v = 0;
    for (int i = 0; i < shift; ++i, ++bit) v = v << 1 | ((bits[bit >> 3] >> (7 - (bit & 7))) & 1);
    return v;
  };
  int64_t offset = length;
  int32_t largest = 0;
  for (uint32_t i = 0; i < blocks; ++i) {
    uint32_t c = field();
    if (c == 0) c = uint32_t(d.blockBytes);
    d.offsets[i] = offset;
    offset += c;
    largest = std::max(largest, int32_t(c));
  }
  d.offsets[blocks] = offset;
  if (offset > fileBytes) return TbHeaderBroken;
  d.largestCompressed = largest + 32;
  uint32_t last = field();
  d.lastBlockBytes = int32_t(last == 0 ? uint32_t(d.blockBytes) : last);
  for (int i = 0; i < TbDistanceCount; ++i) d.distance[i] = -int32_t(field());

  BitReader in(h + fixedEnd, length - 4 - fixedEnd);
  uint8_t lengths[TbMainSymbols];
  if (!ReadLengths(in, lengths, TbMainSymbols) || !BuildMainCode(lengths, d) || in.Overrun())
    return TbHeaderBroken;
  return TbHeaderFine;
}

TbHeaderFault TbReadHeader(std::FILE* file, int64_t fileBytes, TbDecoder& d) {
  uint8_t fixed[TbHeaderBytes];
  if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(fixed, 1, sizeof fixed, file) != sizeof fixed)
    return TbHeaderReadError;
  const uint32_t length = BigEndian32(fixed + 64);
  if (length <= 83 || int64_t(length) > fileBytes) {
    // Still tell the banner and format faults apart from a bad length.
    const TbHeaderFault early = TbParseHeader(fixed, sizeof fixed, fileBytes, d);
    return early == TbHeaderReadError ? TbHeaderBroken : early;
  }
  uint8_t* header = static_cast<uint8_t*>(std::malloc(length));
  if (!header) return TbHeaderOutOfMemory;
  std::memcpy(header, fixed, sizeof fixed);
  TbHeaderFault fault = TbHeaderReadError;
  if (std::fread(header + sizeof fixed, 1, length - sizeof fixed, file) == length - sizeof fixed)
    fault = TbParseHeader(header, length, fileBytes, d);
  std::free(header);
  return fault;
}

void* (*allocateDecodeBlock)(size_t bytes) = std::malloc;

void TbAllocateDecodeBlock() {
  if (decodeBlock) return;
  decodeBlock = static_cast<uint8_t*>(allocateDecodeBlock(TbDecodeBlockBytes));
  if (!decodeBlock) TbFatal("*** Cannot allocate decode block: error code %d\n", TbDecodeBlockErrorCode);
  tbRegistry.allocatedBytes += int64_t(TbDecodeBlockBytes);
  std::memset(decodeBlock, 0, TbDecodeControlBytes);
  std::memcpy(decodeBlock, &TbDecodeBlockGuard, sizeof TbDecodeBlockGuard);
}

void TbReleaseDecodeBlock() {
  std::free(decodeBlock);
  decodeBlock = nullptr;
}

bool TbHasDecodeBlock() { return decodeBlock != nullptr; }

bool TbDecodeBytes(const TbDecoder& d, const uint8_t* input, size_t inBytes, uint8_t* out,
                   size_t outBytes) {
  if (d.emptyCode) return false;
  BitReader in(input, inBytes);
  size_t produced = 0;
  while (produced < outBytes) {
    int symbol;
    if (d.singleSymbol >= 0) {
      symbol = d.singleSymbol;
    } else {
      const int entry = d.firstLevel[in.Peek13()];
      if (entry >= 0) {
        symbol = entry & 1023;
        in.Skip(entry >> 10);
      } else {
        in.Skip(TbFirstLevelBits);
        int node = ~entry;
        for (;;) {
          const int32_t child = d.tree[size_t(node) * 2 + in.Read(1)];
          if (child >= 0) {
            symbol = child;
            break;
          }
          if (child == -1) return false;
          node = ~child;
        }
      }
    }
    if (in.Overrun()) return false;
    if (symbol < 256) {
      out[produced++] = uint8_t(symbol);
      continue;
    }
    const int c = symbol - 256;
    const size_t back = size_t(-d.distance[c >> 5]);
    const int l = c & 31;
    size_t length;
    if (l < 15) {
      length = size_t(l) + 1;
    } else {
      const int m = l - 14;
      uint32_t extra = m == 17 ? in.Read(16) << 1 | in.Read(1) : in.Read(m);
      length = (size_t(1) << m) + 14 + extra;
    }
    if (in.Overrun() || back == 0 || back > produced || length > outBytes - produced) return false;
    for (size_t i = 0; i < length; ++i, ++produced) out[produced] = out[produced - back];
  }
  return !in.Overrun();
}

bool DecodeBlock(const TbDecoder& d, uint32_t blockNumber, int8_t* out) {
  if (!decodeBlock || d.guard != TbDirectoryGuard || blockNumber >= d.blockCount) return false;
  uint32_t guard;
  std::memcpy(&guard, decodeBlock, sizeof guard);
  if (guard != TbDecodeBlockGuard) return false;
  const int64_t size = d.offsets[blockNumber + 1] - d.offsets[blockNumber];
  const size_t plain = blockNumber + 1 == d.blockCount ? size_t(d.lastBlockBytes) : size_t(d.blockBytes);
  if (size <= 0 || size > int64_t(TbDecodeBlockBytes - TbDecodeControlBytes) ||
      plain > size_t(TbDecodeBlockBytes - TbDecodeControlBytes))
    return false;
  return TbDecodeBytes(d, decodeBlock + TbDecodeControlBytes, size_t(size),
                       reinterpret_cast<uint8_t*>(out), plain);
}

bool TbReadCompressedBlock(const TbDecoder& d, std::FILE* file, uint32_t blockNumber, int8_t* out) {
  if (!decodeBlock || d.guard != TbDirectoryGuard || blockNumber >= d.blockCount) return false;
  const int64_t size = d.offsets[blockNumber + 1] - d.offsets[blockNumber];
  const int64_t plain = blockNumber + 1 == d.blockCount ? d.lastBlockBytes : d.blockBytes;
  const int64_t room = int64_t(TbDecodeBlockBytes - TbDecodeControlBytes);
  if (size <= 0 || size > room || plain > room) return false;
  uint8_t* in = decodeBlock + TbDecodeControlBytes;
  if (std::fseek(file, long(d.offsets[blockNumber]), SEEK_SET) != 0) return false;
  if (std::fread(in, 1, size_t(size), file) != size_t(size)) return false;
  if (d.checkBlocks && TbCrc32(in, size_t(size)) != d.blockCrc[blockNumber]) return false;
  if (size == plain) {
    std::memcpy(out, in, size_t(size));
    return true;
  }
  return DecodeBlock(d, blockNumber, out);
}
