#include "search/transposition_table.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "board/large_table.h"
#include "eval/eval.h"
#include "search/search_state.h"

TranspositionTable transpositionTable;

namespace {

// Entries beyond this would not be addressable with 32-bit slot counts.
constexpr uint64_t MostEntries = 0xFFFFFFFFull;

// The evaluation cache is small and fixed: outside the budget, and without it the search
// only evaluates more often. It pays only while it stays in the processor's cache (128 KB):
// at 4 MB it saved instructions but lost more time to misses. It is cleared with the table:
// its entries are exact, but a new game is where the tables behind the evaluation may have
// been rebuilt.
constexpr size_t EvalCacheEntries = size_t(1) << 13;

HashEntry* entryBlock = nullptr;

// Cleared at once: a stale pattern in fresh memory could pass for a stored key.
HashEntry* NewHashEntries(uint64_t count) {
  return static_cast<HashEntry*>(AllocateZeroedTable(count * sizeof(HashEntry)));
}

constexpr uint32_t BoundMask = 0xC0000000;
constexpr uint32_t AgeMask = 0x0F000000;
constexpr uint32_t EffortMask = 0x00FFFFFF;

int32_t EntryDepth(const HashEntry& e) { return (e.data >> 8) & 0xFF; }
int32_t EntryScore(const HashEntry& e) { return int16_t(e.data >> 16); }
uint16_t EntryMove(const HashEntry& e) { return uint16_t(e.data & 0xFF); }
bool KeyMatches(const HashEntry& e, uint32_t keyLow, uint32_t keyHigh) {
  return e.keyLow == keyLow && e.keyHigh == keyHigh;
}

// The four main slots: i, i + step, i + 2 step, i + 3 step, modulo mainCount.
struct Slots {
  uint32_t main[4];
  uint32_t always;
};

Slots SlotsOf(uint32_t keyLow, uint32_t keyHigh) {
  const TranspositionTable& tt = transpositionTable;
  Slots slots;
  slots.always = keyHigh % tt.alwaysCount;
  // always < alwaysCount <= 2^32 - 1, so always + 1 fits: a 32-bit division, the cheaper.
  uint64_t step = (slots.always + 1) % tt.mainCount;
  uint64_t slot = keyLow % tt.mainCount;
  for (int k = 0; k < 4; ++k) {
    slots.main[k] = uint32_t(slot);
    slot += step;
    if (slot >= tt.mainCount) slot -= tt.mainCount;
  }
  return slots;
}

int16_t ScoreToStore(int32_t score, uint32_t bound, int32_t ply) {
  uint32_t kind = bound & BoundMask;
  if (kind == BoundExact) {
    if (score >= MateScoreBound) return int16_t(score + ply);
    if (score <= -MateScoreBound) return int16_t(score - ply);
  } else if (kind == BoundLower) {
    if (score > MateScoreBound) return MateScoreBound;
  } else if (kind == BoundUpper) {
    if (score < -MateScoreBound) return -MateScoreBound;
  }
  return int16_t(score);
}

int32_t ScoreFromStore(int32_t stored, int32_t ply) {
  if (stored >= MateScoreBound) return stored - ply;
  if (stored <= -MateScoreBound) return stored + ply;
  return stored;
}

uint32_t PackData(uint16_t moveIndex, int32_t depth, int16_t score) {
  // Depths beyond one byte would wrap into shallow ones; they are held at the top.
  uint32_t d = depth < 0 ? 0 : depth > 255 ? 255 : uint32_t(depth);
  return uint32_t(moveIndex & 0xFF) | d << 8 | uint32_t(uint16_t(score)) << 16;
}

// For odd n: the largest number not above n that passes the table's primality test
// (every number below 9 passes, so 1 is the smallest answer).
int64_t LargestPrimeAtMost(int64_t n) {
  for (;; n -= 2) {
    if (n < 9) return n;
    if (n % 3 == 0) continue;
    bool prime = true;
    for (int64_t d = 5; d * d <= n; d += 2) {
      if (n % d == 0) {
        prime = false;
        break;
      }
    }
    if (prime) return n;
  }
}

int64_t PhysicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::numeric_limits<int64_t>::max();
  return int64_t(pages) * pageSize;
}

}  // namespace

HashEntry* (*allocateHashEntries)(uint64_t count) = NewHashEntries;

// Of what the path table leaves, 15 % goes to the pawn table (rounded down to a power of
// two entries); of the rest, the main part takes three quarters (a prime count, for double
// hashing) and the always-replace part the others.
HashSplit SplitHashBudget(int64_t bytes) {
  constexpr double PawnShare = 0.15;
  constexpr uint64_t EntryBytes = sizeof(HashEntry);  // pawn entries are as large
  HashSplit split{};
  uint64_t total = uint64_t(bytes < SmallestHashBudget ? SmallestHashBudget : bytes) -
                   uint64_t(PathTableBytes);
  uint64_t pawnEntries = uint64_t(double(total) * PawnShare / EntryBytes);
  split.pawnEntries = pawnEntries ? uint64_t(1) << (63 - __builtin_clzll(pawnEntries)) : 0;
  uint64_t n = (total - EntryBytes * split.pawnEntries) / EntryBytes;
  if (n > MostEntries) n = MostEntries;
  uint64_t m = 3 * n / 4;
  if (m % 2 == 0) m -= 1;
  split.ttEntries = n;
  split.mainCount = uint32_t(LargestPrimeAtMost(int64_t(m)));
  split.alwaysCount = uint32_t(n - split.mainCount);
  return split;
}

namespace {

// The tables whose sizes follow the budget; the evaluation cache has a fixed size and is
// kept across budgets.
void FreeBudgetTables() {
  std::free(entryBlock);
  entryBlock = nullptr;
  transpositionTable = TranspositionTable{};
  FreePawnTable();
}

}  // namespace

void FreeHashMemory() {
  FreeBudgetTables();
  FreeEvalCache();
}

int64_t AllocateHashMemory(int64_t bytes) {
  FreeBudgetTables();
  if (bytes < SmallestHashBudget) bytes = SmallestHashBudget;
  // The system may promise more than the machine holds and fail only when the table is
  // first touched, where no retry can catch it; such budgets are halved before asking.
  const int64_t physical = PhysicalMemoryBytes();
  while (bytes > physical && bytes / 2 >= SmallestHashBudget) bytes /= 2;
  for (;;) {
    HashSplit split = SplitHashBudget(bytes);
    HashEntry* block = allocateHashEntries(split.ttEntries);
    if (block && AllocatePawnTable(split.pawnEntries)) {
      entryBlock = block;
      TranspositionTable& tt = transpositionTable;
      tt.mainEntries = block;
      tt.alwaysEntries = block + split.mainCount;
      tt.mainCount = split.mainCount;
      tt.alwaysCount = split.alwaysCount;
      tt.age = 0;
      AllocateEvalCache(EvalCacheEntries);
      return bytes;
    }
    std::free(block);
    if (bytes == SmallestHashBudget) return 0;
    bytes = bytes / 2 < SmallestHashBudget ? SmallestHashBudget : bytes / 2;
  }
}

void ClearHash() {
  TranspositionTable& tt = transpositionTable;
  if (!tt.mainEntries) return;
  uint64_t count = uint64_t(tt.mainCount) + tt.alwaysCount;
  for (uint64_t i = 0; i < count; ++i) entryBlock[i] = HashEntry{0, 0, 0, 0};
  tt.age = 0;
  ClearEvalCache();
}

void AdvanceHashAge() {
  TranspositionTable& tt = transpositionTable;
  tt.age += 0x01000000;
  if (tt.age == 0x10000000) tt.age = 0;
}

int32_t ProbeHash(uint32_t keyLow, uint32_t keyHigh, int32_t depth, int32_t alpha,
                  int32_t beta, uint16_t& moveIndex, bool& mateThreat, int32_t ply) {
  TranspositionTable& tt = transpositionTable;
  moveIndex = 0;
  if (!tt.mainEntries) return NoCutoff;
  int32_t result = NoCutoff;
  int32_t bestDepth = -1;
  Slots slots = SlotsOf(keyLow, keyHigh);
  for (int k = -1; k < 4; ++k) {
    HashEntry& e = k < 0 ? tt.alwaysEntries[slots.always] : tt.mainEntries[slots.main[k]];
    if (!KeyMatches(e, keyLow, keyHigh)) continue;
    int32_t entryDepth = EntryDepth(e);
    if (k < 0) {
      moveIndex = EntryMove(e);
    } else {
      if (entryDepth > bestDepth) {
        moveIndex = EntryMove(e);
        bestDepth = entryDepth;
      }
      if ((e.info & AgeMask) != tt.age) e.info = (e.info & ~AgeMask) | tt.age;
    }
    if (e.info & MateThreatBit) mateThreat = true;
    uint32_t bound = e.info & BoundMask;
    int32_t score = EntryScore(e);
    if (entryDepth < depth) {
      if (score == MateInOneScore && bound == BoundExact) return MateInOneScore - ply;
      // Deep enough to stand for the null move's search, and not above beta: the null
      // move would fail.
      if (entryDepth >= depth - NullMoveReduction(depth) && bound != BoundLower && score < beta)
        result = AvoidNullMove;
      continue;
    }
    if (bound == BoundLower) {
      if (score >= beta) return score;
    } else if (bound == BoundUpper) {
      if (score <= alpha) return score;
    } else {
      return ScoreFromStore(score, ply);
    }
  }
  return result;
}

void StoreHash(uint32_t keyLow, uint32_t keyHigh, int32_t depth, int16_t score,
               uint16_t moveIndex, uint32_t bound, int32_t ply, int32_t nodes) {
  TranspositionTable& tt = transpositionTable;
  if (!tt.mainEntries) return;
  int16_t stored = ScoreToStore(score, bound, ply);
  uint32_t effort = (uint32_t(nodes) >> 8) & EffortMask;
  uint32_t data = PackData(moveIndex, depth, stored);
  uint64_t newWorth = uint64_t((data >> 8) & 0xFF) << 24 | effort;
  uint32_t kind = bound & BoundMask;
  Slots slots = SlotsOf(keyLow, keyHigh);

  HashEntry* target = nullptr;
  HashEntry* cheapest = nullptr;
  uint64_t leastWorth = 0;
  for (int k = 0; k < 4; ++k) {
    HashEntry& e = tt.mainEntries[slots.main[k]];
    if (KeyMatches(e, keyLow, keyHigh)) {
      if (kind == BoundExact || (e.info & BoundMask) == kind) {
        target = &e;
        break;
      }
      // A bound never replaces a result of another kind, but its move is the fresher one.
      e.data = (e.data & ~0xFFu) | (moveIndex & 0xFF);
    }
    uint64_t worth = e.info & EffortMask;
    if ((e.info & AgeMask) == tt.age) worth += uint64_t(EntryDepth(e)) << 24;
    if (!cheapest || worth < leastWorth) {
      cheapest = &e;
      leastWorth = worth;
    }
  }
  if (!target && newWorth > leastWorth) target = cheapest;
  if (target) *target = HashEntry{keyLow, keyHigh, bound | tt.age | effort, data};
  tt.alwaysEntries[slots.always] = HashEntry{keyLow, keyHigh, bound | tt.age, data};
}

uint16_t HashMoveIndex(uint32_t keyLow, uint32_t keyHigh) {
  TranspositionTable& tt = transpositionTable;
  if (!tt.mainEntries) return 0;
  Slots slots = SlotsOf(keyLow, keyHigh);
  uint16_t moveIndex = 0;
  int32_t bestDepth = -1;
  for (int k = -1; k < 4; ++k) {
    const HashEntry& e = k < 0 ? tt.alwaysEntries[slots.always] : tt.mainEntries[slots.main[k]];
    if (!KeyMatches(e, keyLow, keyHigh)) continue;
    if (EntryDepth(e) > bestDepth) {
      bestDepth = EntryDepth(e);
      moveIndex = EntryMove(e);
    }
  }
  return moveIndex;
}
