#pragma once
// The compressed table format written: blocks of 8192 plain bytes, each an LZ77 parse
// whose matches reach back by one of 24 distances chosen for the file, coded with one
// Huffman code for the whole file, or stored as it is when coding would not make it
// smaller. The engine's reader (egdb/tb_decode.h) reads it back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tbgen {

// MSB-first bits, as the reader's window takes them.
class BitWriter {
 public:
  void Put(uint32_t value, int bits);  // bits at most 32
  void Align();                        // pads with zeros to the next byte
  std::vector<uint8_t>& Bytes() { Align(); return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t pending_ = 0;
  int count_ = 0;
};

// Huffman code lengths for the frequencies: at most limit bits, a complete code over two
// or more used symbols, length 1 for a lone symbol, all zero for none.
std::vector<uint8_t> CodeLengths(const std::vector<uint64_t>& frequency, int limit = 31);

// The description of n code lengths in the reader's length format.
void WriteCodeLengths(BitWriter& out, const uint8_t* lengths, int n);

struct CompressOptions {
  int shift = 13;        // log2 of the block size; the engine reads 13 only
  bool matches = true;   // false: literals only
};

// The compressed file for the plain bytes (not empty).
std::vector<uint8_t> CompressBytes(const uint8_t* data, size_t size, const CompressOptions& options = {});

// True when the compressed bytes read back, block by block, as the plain ones.
bool Verify(const std::vector<uint8_t>& packed, const std::vector<uint8_t>& plain);

// Writes plainPath + ".emd" from the plain file, after reading it back; false with errno set on a
// file error (EPROTO: it did not read back).
bool CompressFile(const std::string& plainPath);

}  // namespace tbgen
