#pragma once
// Values of table files, one signed byte per position, read in blocks of 8192 bytes through
// an LRU cache of fixed slots that lives in a buffer the tablebase state owns.

#include <cstddef>
#include <cstdint>

constexpr int TbBlockShift = 13;
constexpr int32_t TbBlockBytes = 1 << TbBlockShift;
// A slot: a 32-byte header, then the block (the area is kept at 8228 bytes, room for a
// decoder's overrun past the block's end).
constexpr size_t TbSlotHeaderBytes = 32;
constexpr size_t TbSlotBytes = 8260;
constexpr size_t TbSmallestCache = 32;
// Slot numbers are 32 bits: a larger cache cannot be used (nor, on any machine Skarne
// runs on, allocated).
constexpr size_t TbLargestCache = size_t(INT32_MAX) * TbSlotBytes;

// Read values: 0 draw; above 0 the side to move wins, below 0 it loses, the magnitude
// growing with the speed of the result; TbNoInformation for none (unknown, or a failure).
constexpr int32_t TbNoInformation = 32767;
constexpr int32_t TbValueBase = 32640;

// The value of stored byte b: 1..126 wins and -1..-126 losses offset by TbValueBase, 127
// no information, -127 a loss and -128 a win.
constexpr int32_t TbMapValue(int8_t b) {
  if (b == 0) return 0;
  if (b == 127) return TbNoInformation;
  if (b == -128) return TbValueBase;
  if (b == -127) return -TbValueBase;
  return b > 0 ? b + TbValueBase : b - TbValueBase;
}

// Value of the position with this index in the file of the table and side. An index at or
// past the file's end answers TbNoInformation; a failed read answers it too and disables
// that table side for the rest of the run.
int32_t TbReadValue(int table, int side, uint32_t index);

// Hands the cache its buffer: bytes / TbSlotBytes slots (null or too small: none), all
// free, every bucket of every registered side empty.
void TbResetCache(uint8_t* buffer, size_t bytes);

// Slots of the cache, and the blocks they hold from most to least recently used (table,
// side, block), for tests and the bench.
int TbCacheSlotCount();
struct TbCachedBlock {
  int table, side, block;
};
int TbCachedBlocks(TbCachedBlock* blocks, int limit);
// Block look-ups since the cache was last reset: found in a slot, or read from a file.
struct TbCacheCounts {
  uint64_t hits = 0, reads = 0;
};
TbCacheCounts TbCacheStatistics();
