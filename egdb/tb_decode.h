#pragma once
// Compressed table files: an 80-byte header, a directory of blocks and one Huffman code
// for the whole file, then blocks of at most 8192 plain bytes, each either stored as it is
// or an LZ77 stream whose matches reach back by one of 24 distances the file chooses.
// Multi-byte fields are big-endian; bit streams are read most significant bit first.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

constexpr int TbHeaderBytes = 80;          // banner, lengths, counts, format word
constexpr int TbBannerBytes = 64;          // printable ASCII ending in CR LF
constexpr int TbDistanceCount = 24;
constexpr uint32_t TbFormatWord = 0x004001F5;
constexpr int TbCompressedShift = 13;      // the only block size read: 8192
constexpr int TbMainSymbols = 1024;        // 256 literals, then 24 distances x 32 lengths
constexpr int TbFirstLevelBits = 13;
constexpr int TbLongestCode = 31;
constexpr size_t TbDecodeBlockBytes = 8256;   // 64-byte control area, then one block
constexpr size_t TbDecodeControlBytes = 64;
constexpr uint32_t TbDecodeBlockGuard = 0x79A3F29D;
constexpr uint32_t TbDirectoryGuard = 0x5ABC947F;
constexpr int TbDecodeBlockErrorCode = 211973;

// CRC-32 (reflected polynomial 0xEDB88320), continued from crc for a running sum.
uint32_t TbCrc32(const uint8_t* data, size_t bytes, uint32_t crc = 0);

// The block directory of one compressed file side.
struct TbDecoder {
  int16_t firstLevel[1 << TbFirstLevelBits];  // >= 0: symbol | length << 10; < 0: ~tree node
  std::vector<int32_t> tree;   // pairs of children: >= 0 a symbol, < 0 ~node
  int singleSymbol = -1;       // the code's only symbol (decoded without a bit), else -1
  bool emptyCode = true;       // no symbol at all: every block must be stored
  int32_t distance[TbDistanceCount];  // negated: offsets back from the output position
  int32_t blockBytes = 0;
  int shift = 0;
  uint32_t blockCount = 0;
  int32_t lastBlockBytes = 0;
  int32_t largestCompressed = 0;  // largest compressed block + 32
  bool checkBlocks = true;
  std::vector<int64_t> offsets;   // blockCount + 1: where each block starts, then the end
  std::vector<uint32_t> blockCrc;
  uint32_t guard = TbDirectoryGuard;
};

// Header faults, in the words registration prints after "*** Unable to read NAME - ".
enum TbHeaderFault {
  TbHeaderFine = 0,
  TbHeaderReadError = -1,
  TbHeaderOutOfMemory = -2,
  TbHeaderBroken = -3,
  TbHeaderBadBanner = 1,        // printed as "error 1": not a file of this format
  TbHeaderBadFormatWord = 2,
  TbHeaderBadDistanceCount = 3,
  TbHeaderBadShift = 4,         // log2 of the block size above 16
};

// Reads and checks the header and directory of an open file of fileBytes bytes into
// decoder. The block size is not checked here (decoder.shift tells it).
TbHeaderFault TbReadHeader(std::FILE* file, int64_t fileBytes, TbDecoder& decoder);
// The same over a header already in memory (header bytes, the file's length).
TbHeaderFault TbParseHeader(const uint8_t* header, size_t headerBytes, int64_t fileBytes,
                            TbDecoder& decoder);

// A code description on its own: n code lengths read from the bytes; false when broken.
bool TbReadCodeLengths(const uint8_t* bytes, size_t size, uint8_t* lengths, int n);

// Plain bytes the file holds.
inline int64_t TbDecodedBytes(const TbDecoder& d) {
  return int64_t(d.blockCount - 1) * d.blockBytes + d.lastBlockBytes;
}

// The shared decode block: allocated once a compressed file is registered (failure is
// fatal), released with the registrations.
void TbAllocateDecodeBlock();
// How it is obtained (malloc; released with free; nullptr when unavailable), replaceable so
// that the failure can be exercised.
extern void* (*allocateDecodeBlock)(size_t bytes);
void TbReleaseDecodeBlock();
bool TbHasDecodeBlock();

// Reads block blockNumber of the file into out (room for 8192 bytes): stored blocks are
// copied, others decoded. False on any fault (short read, CRC, a broken stream); out may
// then hold garbage but nothing outside it was written.
bool TbReadCompressedBlock(const TbDecoder& d, std::FILE* file, uint32_t blockNumber, int8_t* out);

// Decodes the compressed block now in the shared decode block (size bytes) into out,
// producing exactly the block's plain length.
bool DecodeBlock(const TbDecoder& d, uint32_t blockNumber, int8_t* out);
// The same from any buffer, for the encoder's own check.
bool TbDecodeBytes(const TbDecoder& d, const uint8_t* in, size_t inBytes, uint8_t* out,
                   size_t outBytes);
