#include "egdb/tb_registry.h"

#include <cstdarg>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "egdb/tb_decode.h"

TbRegistry tbRegistry;

namespace {

// Material trie: ten levels, one per count (white p n b r q, black p n b r q). A node with
// maximum n has n + 1 children, the child for count c having maximum n - c, so no path
// holds more than three men besides the kings. The children of a node are consecutive,
// nodes below the tenth count and leaf values at it.
struct TrieNode {
  int maximum;
  int first;
};
constexpr int TrieLevels = 10;
constexpr int TrieRootMaximum = 3;
std::vector<TrieNode> trieNodes;
std::vector<int> trieLeaves;

void FillTrieNode(int node, int level, int maximum) {
  trieNodes[node].maximum = maximum;
  if (level == TrieLevels - 1) {
    trieNodes[node].first = int(trieLeaves.size());
    trieLeaves.resize(trieLeaves.size() + maximum + 1, 0);
    return;
  }
  const int first = int(trieNodes.size());
  trieNodes[node].first = first;
  trieNodes.resize(trieNodes.size() + maximum + 1);
  for (int c = 0; c <= maximum; ++c) FillTrieNode(first + c, level + 1, maximum - c);
}

// The leaf of the material, or null when a count exceeds its node's maximum.
int* TrieLeaf(const int counts[10]) {
  int node = 0;
  for (int level = 0; level < TrieLevels; ++level) {
    const TrieNode& n = trieNodes[node];
    if (counts[level] < 0 || counts[level] > n.maximum) return nullptr;
    if (level == TrieLevels - 1) return &trieLeaves[n.first + counts[level]];
    node = n.first + counts[level];
  }
  return nullptr;
}

// "kqkr": the men after the first 'k' count for the side named first (slots 0..4), those
// after the second 'k' for the other side (slots 5..9).
void MaterialOfName(const char* name, int counts[10], bool exchanged) {
  std::fill(counts, counts + 10, 0);
  static constexpr char Men[] = "pnbrq";
  int kings = 0;
  for (const char* c = name; *c; ++c) {
    if (*c == 'k') {
      ++kings;
      continue;
    }
    const char* man = std::strchr(Men, *c);
    if (!man) continue;
    const bool firstSide = (kings == 1) != exchanged;
    ++counts[(firstSide ? 0 : 5) + int(man - Men)];
  }
}

void StoreInTrie(const char* name, bool exchanged, int value, const char* fileName) {
  int counts[10];
  MaterialOfName(name, counts, exchanged);
  int* leaf = TrieLeaf(counts);
  if (!leaf) TbFatal("*** Unable to register %s\n", fileName);
  *leaf = value;
}

// The first compressed name of the plain one that opens, with that name.
std::FILE* OpenCompressed(const std::string& plain, std::string& opened) {
  const std::array<std::string, 4> names = TbFileNames(plain);
  for (auto name = names.begin() + 1; name != names.end(); ++name) {
    if (name->size() > size_t(TbNameLimit)) continue;
    if (std::FILE* file = std::fopen(name->c_str(), "rb")) {
      opened = *name;
      return file;
    }
  }
  return nullptr;
}

// Held by owners, so that a fault that leaves by a replaced TbFatal (tbFatalEnd) leaks
// neither a handle nor a directory.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// Reads the header and block directory of a compressed file; every fault ends the process
// with its message.
std::unique_ptr<TbDecoder> ReadCompressed(std::FILE* file, int table, int side, const std::string& name) {
  if (std::fseek(file, 0, SEEK_END) != 0) TbFatal("*** Seek in %s failed\n", name.c_str());
  const long fileBytes = std::ftell(file);
  if (fileBytes < 0) TbFatal("*** Seek in %s failed\n", name.c_str());
  std::unique_ptr<TbDecoder> decoder(new (std::nothrow) TbDecoder);
  if (!decoder) TbFatal("*** Unable to read %s - out of memory\n", name.c_str());
  const TbHeaderFault fault = TbReadHeader(file, fileBytes, *decoder);
  switch (fault) {
    case TbHeaderFine: break;
    case TbHeaderReadError: TbFatal("*** Unable to read %s - read error\n", name.c_str());
    case TbHeaderOutOfMemory: TbFatal("*** Unable to read %s - out of memory\n", name.c_str());
    case TbHeaderBroken: TbFatal("*** Unable to read %s - file broken\n", name.c_str());
    default: TbFatal("*** Unable to read %s - error %d\n", name.c_str(), int(fault));
  }
  if (decoder->shift != TbCompressedShift)
    TbFatal("*** %s: Unsupported block size %d\n", name.c_str(), decoder->blockBytes);
  const int32_t expected = TbExpectedSize(table, side);
  if (expected != 0 && TbDecodedBytes(*decoder) != expected) TbFatal("*** %s corrupted\n", name.c_str());
  tbRegistry.allocatedBytes += int64_t(sizeof(TbDecoder)) +
                               int64_t(decoder->offsets.size() * 12 + decoder->tree.size() * 4);
  return decoder;
}

// The length of a plain table file, checked against the size its table must have.
int64_t CheckedLength(std::FILE* file, int table, int side, const std::string& name) {
  if (std::fseek(file, 0, SEEK_END) != 0) TbFatal("*** Seek in %s failed\n", name.c_str());
  const long length = std::ftell(file);
  if (length < 0) TbFatal("*** Seek in %s failed\n", name.c_str());
  const int32_t expected = TbExpectedSize(table, side);
  if (expected != 0 && length != expected) TbFatal("*** %s corrupted\n", name.c_str());
  return length;
}

char* CopyName(const std::string& name) {
  char* copy = static_cast<char*>(TbAllocate(name.size() + 1));
  std::memcpy(copy, name.c_str(), name.size() + 1);
  return copy;
}

}  // namespace

void (*tbFatalEnd)() = [] { std::exit(1); };

void TbFatal(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::fflush(stdout);
  tbFatalEnd();
  std::exit(1);
}

void* TbAllocate(size_t bytes) {
  void* memory = std::malloc(bytes ? bytes : 1);
  if (!memory) TbFatal("*** Cannot allocate %llu bytes of memory\n", (unsigned long long)bytes);
  tbRegistry.allocatedBytes += int64_t(bytes);
  return memory;
}

void TbRelease(void* memory) { std::free(memory); }

void TbBuildTrie() {
  if (!trieNodes.empty()) return;
  trieNodes.resize(1);
  FillTrieNode(0, 0, TrieRootMaximum);
}

std::array<std::string, 4> TbFileNames(const std::string& plain) {
  const size_t dot = plain.size() - 4;
  std::string underscored = plain;
  underscored[dot] = '_';
  underscored += ".emd";
  std::string doubled = underscored;
  doubled.insert(dot, 1, '_');
  return {plain, plain + ".emd", underscored, doubled};
}

bool TbRegister(std::string_view directory, int table, int side) {
  TbDescriptor& d = tbRegistry.descriptors[table];
  if (TbIsSymmetric(table)) side = 0;
  if (d.path[side] || d.memory[side]) return true;

  std::string name(directory);
  if (!name.empty()) name += '/';
  name += TbTableName(table);
  name += side == 0 ? ".nbw" : ".nbb";
  if (name.size() > size_t(TbNameLimit)) return false;  // cut, it would name another file

  std::unique_ptr<TbDecoder> decoder;
  int64_t length;
  if (OwnedFile file{std::fopen(name.c_str(), "rb")}) {
    length = CheckedLength(file.get(), table, side, name);
  } else {
    std::string compressed;
    file.reset(OpenCompressed(name, compressed));
    if (!file) return false;
    ++tbRegistry.compressedOpened;
    decoder = ReadCompressed(file.get(), table, side, compressed);
    file.reset();
    TbAllocateDecodeBlock();
    length = TbDecodedBytes(*decoder);
    name = compressed;
  }

  const char* tableName = TbTableName(table);
  StoreInTrie(tableName, false, table, name.c_str());
  if (!TbIsSymmetric(table)) StoreInTrie(tableName, true, -table, name.c_str());

  d.path[side] = CopyName(name);
  d.buckets[side] = static_cast<int32_t*>(TbAllocate(TbBucketCount * sizeof(int32_t)));
  std::fill(d.buckets[side], d.buckets[side] + TbBucketCount, TbNoSlot);
  d.decoder[side] = decoder.release();
  d.length[side] = length;
  return true;
}

int TbLookup(const int counts[10]) {
  const int* leaf = TrieLeaf(counts);
  return leaf ? *leaf : 0;
}

void TbCloseFiles() {
  for (TbDescriptor& d : tbRegistry.descriptors) {
    for (std::FILE*& file : d.file) {
      if (file) std::fclose(file);
      file = nullptr;
    }
  }
}

void TbForgetRegistrations() {
  TbCloseFiles();
  for (TbDescriptor& d : tbRegistry.descriptors) {
    for (int side = 0; side < 2; ++side) {
      if (!d.memory[side]) {
        TbRelease(d.buckets[side]);
        d.buckets[side] = nullptr;
      }
      TbRelease(d.path[side]);
      d.path[side] = nullptr;
      delete d.decoder[side];
      d.decoder[side] = nullptr;
      d.length[side] = 0;
    }
  }
  TbReleaseDecodeBlock();
}

void TbDisableSide(int table, int side) {
  TbDescriptor& d = tbRegistry.descriptors[table];
  if (d.file[side]) std::fclose(d.file[side]);
  d.file[side] = nullptr;
  TbRelease(d.path[side]);
  d.path[side] = nullptr;
}
