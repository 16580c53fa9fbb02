// The transposition table against a second implementation written from the rules with named
// fields, and the budget split against hand-computed figures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <random>
#include <unistd.h>
#include <vector>

#include "search/search.h"

namespace {

TEST(HashBudget, SplitsMatchTheHandComputedFigures) {
  const struct { int64_t bytes; uint64_t pawnEntries, mainCount, alwaysCount; } cases[] = {
      // Anything up to 0x20400 leaves 1024 bytes: 1024 x 0.15 / 16 = 9.6 -> 9 -> 8 pawn entries;
      // (1024 - 128) / 16 = 56 entries; 3 x 56 / 4 = 42, even, so 41 (a prime).
      {0, 8, 41, 15},
      {0x20400, 8, 41, 15},
      // 64 MB: 67108864 - 131072 = 66977792; x 0.15 / 16 = 627916.8 -> 524288 pawn entries (8 MB);
      // (66977792 - 8388608) / 16 = 3661824; 3/4 is 2746368, even, so 2746367, and the largest
      // prime at or below it is 2746339.
      {0x4000000, 524288, 2746339, 3661824 - 2746339},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const HashSplit s = SplitHashBudget(c.bytes);
    EXPECT_EQ(s.pawnEntries, c.pawnEntries);
    EXPECT_EQ(s.mainCount, c.mainCount);
    EXPECT_EQ(s.alwaysCount, c.alwaysCount);
    EXPECT_EQ(s.ttEntries, c.mainCount + c.alwaysCount);
  }
  // 8 GiB must not wrap through 32 bits: the split grows with the budget.
  const HashSplit four = SplitHashBudget(int64_t(4) << 30), eight = SplitHashBudget(int64_t(8) << 30);
  EXPECT_GT(eight.ttEntries, four.ttEntries + (uint64_t(1) << 27));
  EXPECT_EQ(eight.pawnEntries, 2 * four.pawnEntries);
}

int attempts = 0;
uint64_t firstRequest = 0;
// Memory for at most 100000 entries; larger requests fail as an exhausted machine would.
HashEntry* ScarceEntries(uint64_t count) {
  if (attempts++ == 0) firstRequest = count;
  return count > 100000 ? nullptr : static_cast<HashEntry*>(std::calloc(count, sizeof(HashEntry)));
}

TEST(HashBudget, AnUnobtainableBudgetFallsBackToHalvesThatWork) {
  const auto saved = allocateHashEntries;
  allocateHashEntries = ScarceEntries;
  // 64 MB down to 2 MB (106496 entries besides 16384 pawn entries) fail; 1 MB leaves 917504
  // bytes: 8192 pawn entries and 49152 others, which fit.
  attempts = 0;
  EXPECT_EQ(AllocateHashMemory(0x4000000), 0x100000);
  EXPECT_EQ(attempts, 7);
  // The largest budget the setting can give overflows nothing and first asks for no more than
  // the machine holds.
  attempts = 0;
  const int64_t used = AllocateHashMemory(std::numeric_limits<int64_t>::max());
  allocateHashEntries = saved;
  EXPECT_LE(firstRequest * 16, uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE)));
  EXPECT_LE(SplitHashBudget(used).ttEntries, 100000u);
  uint16_t move = 0;
  bool threat = false;
  StoreHash(5, 6, 12, -33, 4, BoundUpper, 0, 0);
  EXPECT_EQ(ProbeHash(5, 6, 12, -20, 20, move, threat, 0), -33);
  EXPECT_EQ(move, 4);
  FreeHashMemory();
}

// The table from the rules alone, with named fields instead of packed words.
struct ModelEntry {
  uint32_t keyLow = 0, keyHigh = 0, kind = 0, age = 0, effort = 0, move = 0, depth = 0;  // kind 0 exact, 1 upper, 2 lower
  bool threat = false;
  int16_t score = 0;
  HashEntry Packed() const {
    return {keyLow, keyHigh, kind << 30 | uint32_t(threat) << 29 | age << 24 | effort,
            move | depth << 8 | uint32_t(uint16_t(score)) << 16};
  }
};

struct ModelTable {
  std::vector<ModelEntry> main, always;
  uint32_t age = 0;
  // How often each rule decided, so that the run is known to reach them all.
  int overwritten = 0, keptOtherBound = 0, replaced = 0, refused = 0, mateAnyDepth = 0, avoidNull = 0, cutoffs = 0;

  // The always slot first, then four main slots by double hashing.
  std::vector<ModelEntry*> Slots(uint32_t lo, uint32_t hi) {
    std::vector<ModelEntry*> slots{&always[hi % always.size()]};
    const uint64_t m = main.size(), step = hi % always.size() + 1;
    for (uint64_t k = 0; k < 4; ++k) slots.push_back(&main[(lo % m + k * step) % m]);
    return slots;
  }

  int32_t Probe(uint32_t lo, uint32_t hi, int32_t depth, int32_t alpha, int32_t beta, uint16_t& moveIndex,
                bool& threat, int32_t ply) {
    moveIndex = 0;
    int32_t result = NoCutoff, bestDepth = -1;
    const std::vector<ModelEntry*> slots = Slots(lo, hi);
    for (size_t k = 0; k < slots.size(); ++k) {
      ModelEntry& e = *slots[k];
      if (e.keyLow != lo || e.keyHigh != hi) continue;
      const int32_t d = int32_t(e.depth);
      if (k == 0 || d > bestDepth) moveIndex = uint16_t(e.move);
      if (k > 0) bestDepth = std::max(bestDepth, d), e.age = age;  // found again: refreshed
      threat |= e.threat;
      if (d < depth) {
        if (e.score == MateInOneScore && e.kind == 0) return ++mateAnyDepth, MateInOneScore - ply;
        // A stored search at least as deep as the null move's answers it: it would fail.
        if (d >= depth - (depth < 25 ? 8 : 12) && e.kind != 2 && e.score < beta) result = AvoidNullMove, ++avoidNull;
        continue;
      }
      if ((e.kind == 2 && e.score >= beta) || (e.kind == 1 && e.score <= alpha)) return ++cutoffs, e.score;
      if (e.kind == 0) {
        ++cutoffs;
        return e.score >= MateScoreBound ? e.score - ply : e.score <= -MateScoreBound ? e.score + ply : e.score;
      }
    }
    return result;
  }

  void Store(uint32_t lo, uint32_t hi, int32_t depth, int16_t score, uint16_t move, uint32_t bound, int32_t ply,
             int32_t nodes) {
    const uint32_t kind = bound >> 30;
    int32_t s = score;
    if (kind == 0 && s >= MateScoreBound) s += ply;  // mates stored relative to the node
    else if (kind == 0 && s <= -MateScoreBound) s -= ply;
    else if (kind == 2) s = std::min(s, MateScoreBound);  // bounds beyond a mate are capped
    else if (kind == 1) s = std::max(s, -MateScoreBound);
    const ModelEntry fresh{lo, hi, kind, age, uint32_t(nodes) / 256, move, uint32_t(depth), (bound & MateThreatBit) != 0,
                           int16_t(s)};
    const std::vector<ModelEntry*> slots = Slots(lo, hi);
    ModelEntry *target = nullptr, *least = nullptr;
    uint64_t leastWorth = 0;
    for (size_t k = 1; k < slots.size(); ++k) {
      ModelEntry* e = slots[k];
      if (e->keyLow == lo && e->keyHigh == hi) {
        // The same key: an exact result or the same bound kind overwrites; another bound
        // kind leaves the entry but gives it the new move.
        if (kind == 0 || e->kind == kind) {
          target = e, ++overwritten;
          break;
        }
        e->move = move, ++keptOtherBound;
      }
      const uint64_t worth = e->effort + (e->age == age ? uint64_t(e->depth) << 24 : 0);  // stale: no depth
      if (!least || worth < leastWorth) least = e, leastWorth = worth;
    }
    if (!target && (uint64_t(depth) << 24) + fresh.effort > leastWorth) target = least, ++replaced;
    else if (!target) ++refused;
    if (target) *target = fresh;
    *slots[0] = fresh;
    slots[0]->effort = 0;  // the always slot keeps no effort
  }

  uint16_t MoveOf(uint32_t lo, uint32_t hi) {
    int32_t best = -1;
    uint16_t move = 0;
    for (const ModelEntry* e : Slots(lo, hi))
      if (e->keyLow == lo && e->keyHigh == hi && int32_t(e->depth) > best) best = int32_t(e->depth), move = uint16_t(e->move);
    return move;
  }
};

// Side by side on the smallest budget (41 main slots, 15 always slots) so that keys collide
// all the time; the packed entries are compared word by word every thousand steps.
TEST(HashModel, RandomStoresAndProbesAgreeWithASecondImplementation) {
  ASSERT_EQ(AllocateHashMemory(0), SmallestHashBudget);
  ClearHash();
  const TranspositionTable& tt = transpositionTable;
  ASSERT_EQ(tt.mainCount, 41u);
  ModelTable model{std::vector<ModelEntry>(tt.mainCount), std::vector<ModelEntry>(tt.alwaysCount)};
  std::mt19937 rng(4404);
  auto below = [&](uint32_t n) { return uint32_t(rng() % n); };
  std::vector<std::pair<uint32_t, uint32_t>> keys;
  for (int i = 0; i < 60; ++i) keys.emplace_back(uint32_t(rng() | 1), uint32_t(rng()));
  // Scores near the window edges, mate scores of both signs and the mate in one.
  auto randomScore = [&](int32_t ply) -> int32_t {
    switch (below(5)) {
      case 0: return int32_t(below(801)) - 400;
      case 1: return MateScoreBound + int32_t(below(47)) - ply;
      case 2: return -MateScoreBound - int32_t(below(47)) + ply;
      case 3: return MateInOneScore - ply;
      default: return int32_t(below(41)) - 20;
    }
  };
  for (int step = 0; step < 200000; ++step) {
    SCOPED_TRACE(step);
    const auto [lo, hi] = keys[below(uint32_t(keys.size()))];
    const uint32_t op = below(100);
    const int32_t ply = int32_t(below(48)), depth = int32_t(below(64));
    if (op < 45) {
      const uint32_t bound = below(3) << 30 | (below(8) == 0 ? MateThreatBit : 0);
      const int16_t score = int16_t(randomScore(ply));
      const uint16_t move = uint16_t(below(256));
      const int32_t nodes = int32_t(below(1u << 20));
      StoreHash(lo, hi, depth, score, move, bound, ply, nodes);
      model.Store(lo, hi, depth, score, move, bound, ply, nodes);
    } else if (op < 90) {
      const int32_t alpha = randomScore(ply), beta = alpha + 1 + int32_t(below(3) == 0 ? 0 : below(300));
      uint16_t move = 999, modelMove = 999;
      bool threat = false, modelThreat = false;
      ASSERT_EQ(ProbeHash(lo, hi, depth, alpha, beta, move, threat, ply),
                model.Probe(lo, hi, depth, alpha, beta, modelMove, modelThreat, ply));
      ASSERT_EQ(move, modelMove);
      ASSERT_EQ(threat, modelThreat);
    } else if (op < 98) {
      ASSERT_EQ(HashMoveIndex(lo, hi), model.MoveOf(lo, hi));
    } else if (below(10) == 0) {
      AdvanceHashAge();
      model.age = (model.age + 1) & 15;  // sixteen ages, then it wraps
      ASSERT_EQ(tt.age, model.age << 24);
    }
    if (step % 997 != 0) continue;
    for (uint32_t i = 0; i < tt.mainCount + tt.alwaysCount; ++i) {
      const bool inMain = i < tt.mainCount;
      const HashEntry a = inMain ? tt.mainEntries[i] : tt.alwaysEntries[i - tt.mainCount];
      const HashEntry b = (inMain ? model.main[i] : model.always[i - tt.mainCount]).Packed();
      ASSERT_TRUE(a.keyLow == b.keyLow && a.keyHigh == b.keyHigh && a.info == b.info && a.data == b.data) << i;
    }
  }
  for (int count : {model.overwritten, model.keptOtherBound, model.replaced, model.refused, model.mateAnyDepth,
                    model.avoidNull, model.cutoffs})
    EXPECT_GT(count, 200);
  ClearHash();
  EXPECT_EQ(tt.age, 0u);
  uint16_t move = 0;
  bool threat = false;
  EXPECT_EQ(ProbeHash(keys[0].first, keys[0].second, 0, -1, 1, move, threat, 0), NoCutoff) << "cleared";
  FreeHashMemory();
}

}  // namespace
