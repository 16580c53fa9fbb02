// Reading the book file and replaying its tree from the start position.
//
// The file is a stream of bits: bytes in file order, each from its lowest bit up, a field's
// first bit being its least significant. Fields follow each other with no padding:
//   signature 32 (0xb00ee151) | max_ply 8 | min_games 8
//   weights count W 32 | weight width 8 (0..16) | W weights
//   tree count T 32 | code width 8 (0..8) | T codes
// The tree is a depth-first walk from the start position. A code c > 0 at ply p takes entry
// last[p] + c of the position's GenerateLegalMoves list as the next child and descends; a 0
// closes the node and climbs back. The root's list has no closing 0. Every descent is an
// edge, numbered in code order, which is also the order of the weights.

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <numeric>

#include "board/board.h"
#include "book/book.h"
#include "notation/fen.h"

namespace {

constexpr uint32_t BookSignature = 0xb00ee151;
constexpr uint32_t MaxWeightWidth = 16;
constexpr uint32_t MaxCodeWidth = 8;
constexpr int32_t EmptySlot = 0x7f7f7f7f;

class BitReader {
 public:
  explicit BitReader(std::FILE* file) : file_(file) {
    // Where the size cannot be told (a directory), the first read fails anyway.
    if (std::fseek(file, 0, SEEK_END) == 0) bitsLeft_ = uint64_t(std::max(0L, std::ftell(file))) * 8;
    std::rewind(file);
  }

  // Up to 32 bits; false at the end of the file. Reading 0 bits succeeds with 0.
  bool Read(uint32_t n, uint32_t& value) {
    while (pendingBits_ < n) {
      const int c = std::getc(file_);
      if (c == EOF) return false;
      pending_ |= uint64_t(c) << pendingBits_;
      pendingBits_ += 8;
    }
    value = uint32_t(pending_ & ((uint64_t(1) << n) - 1));
    pending_ >>= n;
    pendingBits_ -= n;
    bitsLeft_ -= std::min<uint64_t>(bitsLeft_, n);
    return true;
  }

  uint64_t BitsLeft() const { return bitsLeft_; }

 private:
  std::FILE* file_;
  uint64_t bitsLeft_ = 0;
  uint64_t pending_ = 0;  // read from the file, not yet handed out
  uint32_t pendingBits_ = 0;
};

// Count, width and the values. The count is checked against the rest of the file before
// anything is allocated, so a short file cannot claim billions of values. A value of
// width 0 is counted as one bit there: such a vector takes no room in the file, but its
// entries still cost memory.
template <typename T>
bool ReadVector(BitReader& bits, uint32_t maxWidth, std::vector<T>& values) {
  uint32_t count = 0, width = 0;
  if (!bits.Read(32, count) || !bits.Read(8, width) || width > maxWidth) return false;
  if (uint64_t(count) * std::max<uint32_t>(width, 1) > bits.BitsLeft()) return false;
  values.resize(count);
  for (T& value : values) {
    uint32_t read = 0;
    if (!bits.Read(width, read)) return false;
    value = T(read);
  }
  return true;
}

__attribute__((format(printf, 2, 3))) void SetError(Book& book, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(book.errorText, sizeof book.errorText, format, arguments);
  va_end(arguments);
}

// Nodes by position key, open addressing: the probe starts at key mod capacity and steps by
// key mod (capacity - 1) + 1. That step may share a factor with the (even) capacity and
// come back round before it meets a free slot; the rest of the table is then searched slot
// by slot, which insertions and look-ups do alike.
class NodeMap {
 public:
  explicit NodeMap(uint64_t capacity) : keys_(capacity), nodes_(capacity, EmptySlot) {}

  // The node of the key; a key met for the first time becomes node `count`, which grows.
  int32_t NodeOf(uint64_t key, int32_t& count) {
    const uint64_t capacity = keys_.size();
    const uint64_t step = key % (capacity - 1) + 1;
    const uint64_t cycle = capacity / std::gcd(capacity, step);
    uint64_t slot = key % capacity;
    for (uint64_t i = 0; i < cycle + capacity; ++i) {
      if (nodes_[slot] == EmptySlot) {
        keys_[slot] = key;
        nodes_[slot] = count;
        return count++;
      }
      if (keys_[slot] == key) return nodes_[slot];
      slot = (slot + (i + 1 < cycle ? step : 1)) % capacity;
    }
    // Full: with one weight the two slots hold the root and its first child when a second
    // edge, which then fails with "o >= nWeights", looks its position up. Its node is
    // numbered but never looked up again.
    return count++;
  }

 private:
  std::vector<uint64_t> keys_;
  std::vector<int32_t> nodes_;
};

// Replays the codes from the start position and packs the graph, also after an error, from
// what was decoded by then.
class TreeDecoder {
 public:
  TreeDecoder(Book& book, const std::vector<uint8_t>& codes)
      : book_(book),
        codes_(codes),
        weightCount_(uint32_t(book.weights.size())),
        stack_(book.maxPly + 1),
        last_(book.maxPly + 1, 0),
        nodeOf_(book.maxPly + 1, 0),
        next_(weightCount_, -1),
        child_(weightCount_, 0),
        moveIndex_(weightCount_, 0),
        // W + 1 nodes, and one more numbered by the descent that fails with "o >= nWeights".
        head_(uint64_t(weightCount_) + 2, -1),
        nodeMap_(2 * uint64_t(weightCount_)) {}

  void Run() {
    book_.loaded = Walk();
    book_.head = PackValues(std::span(head_.data(), size_t(nodeCount_)));
    book_.next = PackValues(std::span(next_.data(), edgeCount_));
    book_.child = PackValues(std::span(child_.data(), edgeCount_));
    book_.moveIndex = PackValues(std::span(moveIndex_.data(), edgeCount_));
  }

 private:
  bool Walk() {
    SetStartPosition(stack_[0]);
    nodeOf_[0] = nodeMap_.NodeOf(stack_[0].hashKey, nodeCount_);
    int ply = 0;
    for (uint32_t i = 0; i < codes_.size(); ++i) {
      const int code = codes_[i];
      if (code == 0) {
        if (ply == 0) return Fail("stack underflow");
        last_[ply] = 0;
        --ply;
        continue;
      }
      if (ply + 1 > book_.maxPly) return Fail("Ply too big (ply = %d, i = %u)", ply, i);
      if (!Descend(ply, code)) return false;
      ++ply;
    }
    if (ply != 0) return Fail("ply != 0");
    return true;
  }

  bool Descend(int ply, int code) {
    Position& from = stack_[ply];
    if (last_[ply] == 0) GenerateLegalMoves(from);
    const int index = last_[ply] += code;
    if (index > from.moveCount)
      return Fail("last[ply] > p[ply].moves.n (ply = %d, last[ply] = %d, p[ply].moves.n = %d)", ply,
                  index, int(from.moveCount));
    Position& to = stack_[ply + 1];
    CopyPlayState(to, from);
    MakeMove(to, from.moveList[index]);
    const int32_t node = nodeOf_[ply + 1] = nodeMap_.NodeOf(to.hashKey, nodeCount_);
    const uint32_t edge = edgeCount_;
    if (edge >= weightCount_) return Fail("o >= nWeights (o = %u, nWeights = %u)", edge, weightCount_);
    child_[edge] = node;
    moveIndex_[edge] = index;
    next_[edge] = head_[nodeOf_[ply]];
    head_[nodeOf_[ply]] = int32_t(edge);
    ++edgeCount_;
    return true;
  }

  __attribute__((format(printf, 2, 3))) bool Fail(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(book_.errorText, sizeof book_.errorText, format, arguments);
    va_end(arguments);
    return false;
  }

  Book& book_;
  const std::vector<uint8_t>& codes_;
  const uint32_t weightCount_;
  std::vector<Position> stack_;
  std::vector<int32_t> last_, nodeOf_;
  std::vector<int32_t> next_, child_, moveIndex_;  // by edge
  std::vector<int32_t> head_;                      // by node
  NodeMap nodeMap_;
  int32_t nodeCount_ = 0;
  uint32_t edgeCount_ = 0;
};

// The first error text, or null when the header and both vectors were read.
const char* ReadBookFile(const char* path, Book& book, std::vector<uint8_t>& codes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
  if (!file) return "Fail reading signature";
  BitReader bits(file.get());
  uint32_t value = 0;
  if (!bits.Read(32, value)) return "Fail reading signature";
  if (value != BookSignature) return "Invalid signature";
  if (!bits.Read(8, value)) return "Fail reading max_ply";
  book.maxPly = int32_t(value);
  if (!bits.Read(8, value)) return "Fail reading min_games";
  book.minGames = int32_t(value);
  if (!ReadVector(bits, MaxWeightWidth, book.weights)) return "Fail reading weights vector";
  if (!ReadVector(bits, MaxCodeWidth, codes)) return "Fail reading tree vector";
  // The node map has 2W slots and steps modulo 2W - 1: without a weight there is no map.
  if (book.weights.empty()) return "Empty weights vector";
  return nullptr;
}

}  // namespace

Book LoadBook(const char* path) {
  Book book;
  book.cursor = 0;
  std::vector<uint8_t> codes;
  if (const char* error = ReadBookFile(path, book, codes))
    SetError(book, "%s", error);
  else
    TreeDecoder(book, codes).Run();
  return book;
}
