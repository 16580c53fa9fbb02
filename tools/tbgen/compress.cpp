#include "tools/tbgen/compress.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <queue>

#include "egdb/tb_decode.h"

namespace tbgen {
namespace {

// Our banner: printable, padded to 62 characters, then CR LF.
constexpr char Banner[] = "Skarne endgame table, blocks coded by skarne-tbgen";

struct Symbol {
  uint16_t code;        // main alphabet
  uint8_t extraBits;    // length bits that follow a match symbol
  uint32_t extra;
};

// The codes of a canonical code: shorter codes first, equal lengths by ascending symbol.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  std::vector<uint32_t> codes(lengths.size(), 0);
  uint32_t code = 0;
  int previous = 0;
  for (int l = 1; l <= TbLongestCode; ++l) {
    for (size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] != l) continue;
      code <<= (l - previous);
      previous = l;
      codes[s] = code++;
    }
  }
  return codes;
}

bool IsSingle(const std::vector<uint8_t>& lengths) {
  return std::count_if(lengths.begin(), lengths.end(), [](uint8_t l) { return l != 0; }) == 1;
}

// The 24 distances that most often start a match of three bytes or more within a block,
// found through hash chains; unused places take the smallest distances left.
std::array<int, TbDistanceCount> ChooseDistances(const uint8_t* data, size_t size, int blockBytes) {
  std::vector<uint64_t> count(size_t(blockBytes), 0);
  constexpr int HashBits = 15, Chain = 32;
  std::vector<int32_t> head(size_t(1) << HashBits);
  std::vector<int32_t> previous(static_cast<size_t>(blockBytes));
  for (size_t start = 0; start < size; start += size_t(blockBytes)) {
    const size_t n = std::min(size - start, size_t(blockBytes));
    const uint8_t* b = data + start;
    std::fill(head.begin(), head.end(), -1);
    // A greedy parse free to use any distance: each distance scores the bytes its
    // matches cover.
    auto insert = [&](size_t i) {
      if (i + 3 > n) return;
      const uint32_t h = ((uint32_t(b[i]) << 16 | uint32_t(b[i + 1]) << 8 | b[i + 2]) * 2654435761u) >> (32 - HashBits);
      previous[i] = head[h];
      head[h] = int32_t(i);
    };
    for (size_t i = 0; i < n;) {
      size_t best = 0, bestDistance = 0;
      if (i + 3 <= n) {
        const uint32_t h = ((uint32_t(b[i]) << 16 | uint32_t(b[i + 1]) << 8 | b[i + 2]) * 2654435761u) >> (32 - HashBits);
        int steps = 0;
        for (int32_t j = head[h]; j >= 0 && steps < Chain; j = previous[size_t(j)], ++steps) {
          size_t length = 0;
          while (i + length < n && b[size_t(j) + length] == b[i + length]) ++length;
          if (length > best) best = length, bestDistance = i - size_t(j);
        }
      }
      if (best >= 3) {
        count[bestDistance] += best;
        for (size_t k = 0; k < best; ++k) insert(i + k);
        i += best;
      } else {
        insert(i++);
      }
    }
  }
  std::vector<int> order;
  for (int d = 1; d < blockBytes; ++d) order.push_back(d);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return count[size_t(a)] > count[size_t(b)]; });
  std::array<int, TbDistanceCount> chosen{};
  for (int i = 0; i < TbDistanceCount; ++i) chosen[size_t(i)] = order[size_t(i)];
  return chosen;
}

// A match of length: its length code L (0..31) and the extra bits after it.
void MatchLength(size_t length, int& l, uint8_t& bits, uint32_t& extra) {
  if (length <= 15) {
    l = int(length) - 1, bits = 0, extra = 0;
    return;
  }
  const int m = std::bit_width(uint32_t(length - 14)) - 1;
  l = m + 14, bits = uint8_t(m), extra = uint32_t(length - 14 - (size_t(1) << m));
}

// The longest match at i over the file's distances (length 0 when none).
size_t LongestMatch(const uint8_t* b, size_t n, size_t i, const std::array<int, TbDistanceCount>& distance,
                    int& index) {
  size_t best = 0;
  for (int k = 0; k < TbDistanceCount; ++k) {
    const size_t d = size_t(distance[size_t(k)]);
    if (d > i) continue;
    size_t length = 0;
    while (i + length < n && b[i + length] == b[i + length - d]) ++length;
    if (length > best) best = length, index = k;
  }
  return best;
}

// Parse of one block with the file's distances: the longest match, unless the next byte
// starts a longer one (then a literal first).
// With the code lengths of an earlier parse (cost), a match is taken only when its bits
// cost less than its bytes as literals.
std::vector<Symbol> Parse(const uint8_t* b, size_t n, const std::array<int, TbDistanceCount>& distance,
                          bool matches, const std::vector<uint8_t>* cost = nullptr) {
  auto bits = [&](int symbol) { return !cost ? 8 : (*cost)[size_t(symbol)] ? (*cost)[size_t(symbol)] : 16; };
  std::vector<Symbol> out;
  size_t i = 0;
  while (i < n) {
    int index = 0, nextIndex = 0;
    const size_t best = matches ? LongestMatch(b, n, i, distance, index) : 0;
    const bool later = best >= 2 && best < 64 && i + 1 < n &&
                       LongestMatch(b, n, i + 1, distance, nextIndex) > best + 1;
    int l = 0;
    Symbol s{};
    if (best >= 2) {
      MatchLength(best, l, s.extraBits, s.extra);
      s.code = uint16_t(256 + index * 32 + l);
    }
    bool worth = best >= 2;
    if (worth && cost && best < 32) {
      int literals = 0;
      for (size_t k = 0; k < best; ++k) literals += bits(b[i + k]);
      worth = bits(s.code) + s.extraBits < literals;
    }
    if (worth && !later) {
      out.push_back(s);
      i += best;
    } else {
      out.push_back({b[i], 0, 0});
      ++i;
    }
  }
  return out;
}

void PutCode(BitWriter& out, const std::vector<uint8_t>& lengths, const std::vector<uint32_t>& codes,
             bool single, int symbol) {
  if (!single) out.Put(codes[size_t(symbol)], lengths[size_t(symbol)]);
}

void WriteShortLengths(BitWriter& out, const uint8_t* lengths, int n) {
  const uint8_t top = *std::max_element(lengths, lengths + n);
  if (top == 0) {
    out.Put(1, 1);
    return;
  }
  out.Put(0, 1);
  const int width = std::bit_width(unsigned(top));
  out.Put(uint32_t(width), 5);
  for (int i = 0; i < n;) {
    out.Put(lengths[i], width);
    if (lengths[i++] != 0) continue;
    int zeros = 0;
    while (zeros < 15 && i + zeros < n && lengths[i + zeros] == 0) ++zeros;
    out.Put(uint32_t(zeros), 4);
    i += zeros;
  }
}

void BuildHeap(std::vector<uint64_t>& f, std::vector<uint8_t>& depth) {
  // Huffman tree over the used symbols; depth of each leaf.
  const size_t n = f.size();
  std::vector<int> parent;
  using Item = std::pair<uint64_t, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
  for (size_t s = 0; s < n; ++s)
    if (f[s]) queue.push({f[s], int(s)});
  parent.assign(n, -1);
  while (queue.size() > 1) {
    const Item a = queue.top();
    queue.pop();
    const Item b = queue.top();
    queue.pop();
    const int node = int(parent.size());
    parent.push_back(-1);
    parent[size_t(a.second)] = node;
    parent[size_t(b.second)] = node;
    queue.push({a.first + b.first, node});
  }
  depth.assign(n, 0);
  for (size_t s = 0; s < n; ++s) {
    if (!f[s]) continue;
    int d = 0;
    for (int p = parent[s]; p >= 0; p = parent[size_t(p)]) ++d;
    depth[s] = uint8_t(std::min(d, 255));
  }
}

}  // namespace

void BitWriter::Put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    pending_ = pending_ << 1 | ((value >> i) & 1);
    if (++count_ == 8) {
      bytes_.push_back(uint8_t(pending_));
      pending_ = 0, count_ = 0;
    }
  }
}

void BitWriter::Align() {
  if (count_) Put(0, 8 - count_);
}

std::vector<uint8_t> CodeLengths(const std::vector<uint64_t>& frequency, int limit) {
  std::vector<uint64_t> f = frequency;
  std::vector<uint8_t> depth(f.size(), 0);
  const auto used = std::count_if(f.begin(), f.end(), [](uint64_t x) { return x != 0; });
  if (used == 0) return depth;
  if (used == 1) {
    for (size_t s = 0; s < f.size(); ++s) depth[s] = f[s] ? 1 : 0;
    return depth;
  }
  // Too deep a tree comes from very uneven counts: flatten them until it fits.
  for (;;) {
    BuildHeap(f, depth);
    if (*std::max_element(depth.begin(), depth.end()) <= limit) return depth;
    for (uint64_t& x : f)
      if (x) x = (x >> 1) | 1;
  }
}

void WriteCodeLengths(BitWriter& out, const uint8_t* lengths, int n) {
  if (n <= 128) {
    WriteShortLengths(out, lengths, n);
    return;
  }
  if (std::all_of(lengths, lengths + n, [](uint8_t l) { return l == 0; })) {
    out.Put(1, 1);
    return;
  }
  out.Put(0, 1);
  // Runs of two or more equal lengths become a repeat symbol of code A and a count of
  // code B (2..33 directly, more as a power of two plus extra bits).
  struct Item {
    int a, b, bits;
    uint32_t extra;
  };
  std::vector<Item> items;
  for (int i = 0; i < n;) {
    int run = 1;
    while (i + run < n && lengths[i + run] == lengths[i]) ++run;
    if (run >= 2) {
      Item item{32 + lengths[i], 0, 0, 0};
      if (run <= 33) {
        item.b = run - 2;
      } else {
        const int m = std::bit_width(unsigned(run - 33)) - 1;
        item.b = 32 + m, item.bits = m, item.extra = uint32_t(run - 33 - (1 << m));
      }
      items.push_back(item);
    } else {
      items.push_back({lengths[i], -1, 0, 0});
    }
    i += run;
  }
  std::vector<uint64_t> fa(64, 0), fb(64, 0);
  for (const Item& item : items) {
    ++fa[size_t(item.a)];
    if (item.b >= 0) ++fb[size_t(item.b)];
  }
  const std::vector<uint8_t> la = CodeLengths(fa), lb = CodeLengths(fb);
  uint8_t both[128];
  std::copy(la.begin(), la.end(), both);
  std::copy(lb.begin(), lb.end(), both + 64);
  WriteShortLengths(out, both, 128);
  const std::vector<uint32_t> ca = CanonicalCodes(la), cb = CanonicalCodes(lb);
  const bool singleA = IsSingle(la), singleB = IsSingle(lb);
  for (const Item& item : items) {
    PutCode(out, la, ca, singleA, item.a);
    if (item.b < 0) continue;
    PutCode(out, lb, cb, singleB, item.b);
    out.Put(item.extra, item.bits);
  }
}

std::vector<uint8_t> CompressBytes(const uint8_t* data, size_t size, const CompressOptions& options) {
  if (size == 0) return {};
  const int shift = options.shift;
  const size_t blockBytes = size_t(1) << shift;
  const uint32_t blocks = uint32_t((size + blockBytes - 1) / blockBytes);
  const auto distance = ChooseDistances(data, size, int(blockBytes));

  std::vector<std::vector<Symbol>> parsed(blocks);
  std::vector<uint64_t> frequency(TbMainSymbols, 0);
  for (uint32_t i = 0; i < blocks; ++i) {
    const size_t n = std::min(blockBytes, size - i * blockBytes);
    parsed[i] = Parse(data + i * blockBytes, n, distance, options.matches);
    for (const Symbol& s : parsed[i]) ++frequency[s.code];
  }
  if (options.matches) {  // once more, weighing matches against literals by their bits
    const std::vector<uint8_t> cost = CodeLengths(frequency);
    std::fill(frequency.begin(), frequency.end(), 0);
    for (uint32_t i = 0; i < blocks; ++i) {
      const size_t n = std::min(blockBytes, size - i * blockBytes);
      parsed[i] = Parse(data + i * blockBytes, n, distance, true, &cost);
      for (const Symbol& s : parsed[i]) ++frequency[s.code];
    }
  }
  std::vector<uint8_t> lengths = CodeLengths(frequency);
  std::vector<uint32_t> codes = CanonicalCodes(lengths);
  const bool single = IsSingle(lengths);

  // Each block coded, or stored when that is not smaller; a block that codes to no bit
  // at all (a one-symbol code without matches) still takes one byte.
  std::vector<std::vector<uint8_t>> body(blocks);
  bool anyCoded = false;
  for (uint32_t i = 0; i < blocks; ++i) {
    const size_t n = std::min(blockBytes, size - i * blockBytes);
    BitWriter out;
    for (const Symbol& s : parsed[i]) {
      PutCode(out, lengths, codes, single, s.code);
      out.Put(s.extra, s.extraBits);
    }
    body[i] = std::move(out.Bytes());
    if (body[i].empty()) body[i].push_back(0);
    if (body[i].size() >= n) body[i].assign(data + i * blockBytes, data + i * blockBytes + n);
    else anyCoded = true;
  }
  if (!anyCoded) std::fill(lengths.begin(), lengths.end(), uint8_t(0));

  std::vector<uint8_t> header(TbHeaderBytes, 0);
  std::memset(header.data(), ' ', TbBannerBytes - 2);
  std::memcpy(header.data(), Banner, sizeof Banner - 1);
  header[TbBannerBytes - 2] = '\r';
  header[TbBannerBytes - 1] = '\n';
  auto put32 = [](uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
  };
  header[70] = uint8_t(shift);
  header[71] = TbDistanceCount;
  put32(&header[72], blocks);
  put32(&header[76], TbFormatWord);
  for (uint32_t i = 0; i < blocks; ++i) {
    uint8_t record[8] = {};
    put32(record + 4, TbCrc32(body[i].data(), body[i].size()));
    header.insert(header.end(), record, record + 8);
  }
  BitWriter fields;
  const uint32_t mask = uint32_t(blockBytes - 1);
  for (uint32_t i = 0; i < blocks; ++i) fields.Put(uint32_t(body[i].size()) & mask, shift);
  fields.Put(uint32_t(size - (blocks - 1) * blockBytes) & mask, shift);
  for (int d : distance) fields.Put(uint32_t(d), shift);
  fields.Align();  // the code description starts on a byte
  WriteCodeLengths(fields, lengths.data(), TbMainSymbols);
  const std::vector<uint8_t>& packed = fields.Bytes();
  header.insert(header.end(), packed.begin(), packed.end());
  put32(&header[64], uint32_t(header.size() + 4));
  uint8_t crc[4];
  put32(crc, TbCrc32(header.data(), header.size()));
  header.insert(header.end(), crc, crc + 4);
  for (const auto& b : body) header.insert(header.end(), b.begin(), b.end());
  return header;
}

bool Verify(const std::vector<uint8_t>& packed, const std::vector<uint8_t>& plain) {
  TbDecoder d;
  if (TbParseHeader(packed.data(), packed.size(), int64_t(packed.size()), d) != TbHeaderFine) return false;
  if (TbDecodedBytes(d) != int64_t(plain.size())) return false;
  std::vector<uint8_t> out(size_t(d.blockBytes));
  for (uint32_t i = 0; i < d.blockCount; ++i) {
    const uint8_t* in = packed.data() + d.offsets[i];
    const size_t c = size_t(d.offsets[i + 1] - d.offsets[i]);
    const size_t u = i + 1 == d.blockCount ? size_t(d.lastBlockBytes) : size_t(d.blockBytes);
    if (TbCrc32(in, c) != d.blockCrc[i]) return false;
    if (c == u) std::memcpy(out.data(), in, c);
    else if (!TbDecodeBytes(d, in, c, out.data(), u)) return false;
    if (std::memcmp(out.data(), plain.data() + size_t(i) * size_t(d.blockBytes), u) != 0) return false;
  }
  return true;
}

bool CompressFile(const std::string& plainPath) {
  std::ifstream in(plainPath, std::ios::binary);
  if (!in) return false;
  const std::vector<uint8_t> plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (plain.empty()) {
    errno = EINVAL;
    return false;
  }
  const std::vector<uint8_t> packed = CompressBytes(plain.data(), plain.size());
  if (!Verify(packed, plain)) {
    errno = EPROTO;
    return false;
  }
  std::ofstream out(plainPath + ".emd", std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(packed.data()), std::streamsize(packed.size()));
  return bool(out.flush());
}

}  // namespace tbgen
