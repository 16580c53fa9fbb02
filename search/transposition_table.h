#pragma once
// The transposition table and the split of the hash memory budget. Public through
// search/search.h.

#include <cstdint>

// One entry, four 32-bit words:
//   keyLow   low 32 bits of the position's hashKey
//   keyHigh  high 32 bits
//   info     bits 30-31 bound (0 exact, 1 upper, 2 lower), bit 29 mate threat,
//            bits 24-27 age, bits 0-23 effort (nodes / 256; 0 in the always-replace part)
//   data     bits 0-7 move index (0 none), bits 8-15 depth in quarter plies,
//            bits 16-31 score as signed 16 bits, mate scores relative to the node
// An all-zero entry is empty: no position has the key 0 in both words.
struct HashEntry {
  uint32_t keyLow;
  uint32_t keyHigh;
  uint32_t info;
  uint32_t data;
};
static_assert(sizeof(HashEntry) == 16);

struct TranspositionTable {
  HashEntry* mainEntries = nullptr;    // probed at four places by double hashing
  HashEntry* alwaysEntries = nullptr;  // overwritten by every store
  uint32_t mainCount = 0;              // a prime
  uint32_t alwaysCount = 0;
  uint32_t age = 0;                    // already shifted into bits 24-27
};

extern TranspositionTable transpositionTable;

constexpr uint32_t BoundExact = 0x00000000;
constexpr uint32_t BoundUpper = 0x40000000;
constexpr uint32_t BoundLower = 0x80000000;
constexpr uint32_t MateThreatBit = 0x20000000;

// ProbeHash results above any real score.
constexpr int32_t NoCutoff = 0x7FFFFFFF;
constexpr int32_t AvoidNullMove = 0x7FFFFFFE;

// The path table takes a fixed share of the budget: 16384 keys of 8 bytes.
constexpr int64_t PathTableBytes = 0x20000;
constexpr int64_t SmallestHashBudget = 0x20400;

// How a budget divides. Sizes are 64-bit so that budgets beyond 2 GiB neither overflow
// nor wrap to a small table.
struct HashSplit {
  uint64_t pawnEntries;  // power of two, 16 bytes each
  uint64_t ttEntries;    // 16 bytes each
  uint32_t mainCount;
  uint32_t alwaysCount;
};
HashSplit SplitHashBudget(int64_t bytes);

// (Re)builds the pawn table and the transposition table from the budget. A budget above
// the machine's physical memory, or one whose memory is not available, is halved until it
// fits; returns the budget that was used (0 when not even the smallest one could be had:
// the search then runs without tables).
int64_t AllocateHashMemory(int64_t bytes);
// How AllocateHashMemory obtains entry memory (zeroed, from malloc/calloc: it is released
// with free; nullptr when unavailable); replaceable so that the halving retry can be
// exercised without exhausting the machine.
extern HashEntry* (*allocateHashEntries)(uint64_t count);
void FreeHashMemory();
void ClearHash();
void AdvanceHashAge();

int32_t ProbeHash(uint32_t keyLow, uint32_t keyHigh, int32_t depth, int32_t alpha,
                  int32_t beta, uint16_t& moveIndex, bool& mateThreat, int32_t ply);
void StoreHash(uint32_t keyLow, uint32_t keyHigh, int32_t depth, int16_t score,
               uint16_t moveIndex, uint32_t bound, int32_t ply, int32_t nodes);
uint16_t HashMoveIndex(uint32_t keyLow, uint32_t keyHigh);
