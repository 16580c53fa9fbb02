#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "eval/eval.h"
#include "search/search.h"

namespace {

// Keys whose slots we can steer: the main slot is keyLow mod mainCount and the always
// slot keyHigh mod alwaysCount.
struct Key {
  uint32_t low;
  uint32_t high;
};

class HashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(AllocateHashMemory(1 << 20), 0);
    ClearHash();
  }
  void TearDown() override { FreeHashMemory(); }

  static int32_t Probe(Key k, int32_t depth, int32_t alpha, int32_t beta, int32_t ply,
                       uint16_t* moveIndex = nullptr, bool* threat = nullptr) {
    uint16_t m = 0;
    bool t = false;
    int32_t r = ProbeHash(k.low, k.high, depth, alpha, beta, m, t, ply);
    if (moveIndex) *moveIndex = m;
    if (threat) *threat = t;
    return r;
  }
};

TEST(HashBudget, SplitsMatchTheHandComputedFigures) {
  struct Case {
    int64_t bytes;
    uint64_t pawnEntries, mainCount, alwaysCount;
  } cases[] = {
      // Anything below 0x20400 leaves 1024 bytes: 1024 * 0.15 / 16 = 9.6 -> 9 -> 8 pawn
      // entries; (1024 - 128) / 16 = 56 entries; 3 * 56 / 4 = 42, even, so 41 (prime).
      {0, 8, 41, 15},
      {1000, 8, 41, 15},
      {0x20400, 8, 41, 15},
      // 64 MB: 67108864 - 131072 = 66977792; * 0.15 / 16 = 627916.8 -> 524288 pawn
      // entries (8 MB); (66977792 - 8388608) / 16 = 3661824; 3/4 of it is 2746368, even,
      // so 2746367, and the largest prime at or below it is 2746339.
      {0x4000000, 524288, 2746339, 3661824 - 2746339},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    HashSplit s = SplitHashBudget(c.bytes);
    EXPECT_EQ(s.pawnEntries, c.pawnEntries);
    EXPECT_EQ(s.mainCount, c.mainCount);
    EXPECT_EQ(s.alwaysCount, c.alwaysCount);
    EXPECT_EQ(s.ttEntries, c.mainCount + c.alwaysCount);
  }
}

TEST(HashBudget, BudgetsBeyondTwoGibibytesGrowTheTables) {
  // 8 GiB must not wrap through 32 bits: the split grows with the budget.
  HashSplit four = SplitHashBudget(int64_t(4) << 30);
  HashSplit eight = SplitHashBudget(int64_t(8) << 30);
  EXPECT_GT(four.ttEntries, uint64_t(1) << 27);
  EXPECT_GT(eight.ttEntries, four.ttEntries + (uint64_t(1) << 27));
  EXPECT_EQ(eight.pawnEntries, 2 * four.pawnEntries);
  EXPECT_EQ(uint64_t(eight.mainCount) + eight.alwaysCount, eight.ttEntries);
  EXPECT_GT(eight.mainCount, eight.alwaysCount);
}

TEST(HashBudget, AllocationBuildsBothTables) {
  ASSERT_EQ(AllocateHashMemory(0x4000000), 0x4000000);
  EXPECT_EQ(transpositionTable.mainCount, 2746339u);
  EXPECT_EQ(transpositionTable.alwaysCount, 915485u);
  EXPECT_EQ(PawnTableEntries(), 524288u);
  EXPECT_EQ(AllocateHashMemory(10), SmallestHashBudget);
  EXPECT_EQ(transpositionTable.mainCount, 41u);
  EXPECT_EQ(PawnTableEntries(), 8u);
  FreeHashMemory();
}

uint64_t attemptedEntries[64];
int attempts = 0;
// Memory for at most 100000 entries; larger requests fail as an exhausted machine would.
HashEntry* ScarceEntries(uint64_t count) {
  attemptedEntries[attempts++ & 63] = count;
  return count > 100000 ? nullptr : static_cast<HashEntry*>(std::calloc(count, sizeof(HashEntry)));
}

TEST(HashBudget, AnUnobtainableBudgetFallsBackToHalves) {
  auto saved = allocateHashEntries;
  allocateHashEntries = ScarceEntries;
  attempts = 0;
  // 64 MB would need 3661824 entries; 32, 16, 8, 4 MB fail too; 2 MB gives
  // 2 MB leaves 1966080 bytes: 16384 pawn entries and 106496 others, still too many;
  // 1 MB leaves 917504 bytes: 8192 pawn entries and 49152 others, which fit.
  int64_t used = AllocateHashMemory(0x4000000);
  allocateHashEntries = saved;
  EXPECT_EQ(used, 0x100000);
  EXPECT_EQ(attempts, 7);
  EXPECT_EQ(uint64_t(transpositionTable.mainCount) + transpositionTable.alwaysCount,
            SplitHashBudget(0x100000).ttEntries);
  // The table works after the fallback.
  uint16_t move = 0;
  bool threat = false;
  StoreHash(3, 4, 8, 21, 2, BoundExact, 0, 0);
  EXPECT_EQ(ProbeHash(3, 4, 8, -50, 50, move, threat, 0), 21);
  FreeHashMemory();
}

TEST(HashBudget, AnAbsurdBudgetNeverAsksForMoreThanTheMachineHolds) {
  auto saved = allocateHashEntries;
  allocateHashEntries = ScarceEntries;
  attempts = 0;
  // The largest budget the setting can give: no overflow on the way, the first request is
  // already within physical memory, and halving ends at a table that works.
  int64_t used = AllocateHashMemory(std::numeric_limits<int64_t>::max());
  allocateHashEntries = saved;
  ASSERT_GT(attempts, 0);
  EXPECT_LE(attemptedEntries[0] * 16, uint64_t(PhysicalMemoryBytes()));
  EXPECT_GE(used, SmallestHashBudget);
  EXPECT_LE(SplitHashBudget(used).ttEntries, 100000u);
  uint16_t move = 0;
  bool threat = false;
  StoreHash(5, 6, 12, -33, 4, BoundUpper, 0, 0);
  EXPECT_EQ(ProbeHash(5, 6, 12, -20, 20, move, threat, 0), -33);
  EXPECT_EQ(move, 4);
  FreeHashMemory();
}

TEST(LargestPrime, AgreesWithASieve) {
  constexpr int Limit = 200000;
  std::vector<bool> composite(Limit + 1, false);
  for (int i = 2; i * i <= Limit; ++i)
    if (!composite[i])
      for (int j = i * i; j <= Limit; j += i) composite[j] = true;
  // Below 9 every odd number is accepted (1 included), so the sieve's answer only holds
  // from 9 on; 9 itself is rejected as a multiple of 3 and gives 7.
  int largest = 7;
  for (int n = 9; n <= Limit; n += 2) {
    if (!composite[n]) largest = n;
    ASSERT_EQ(LargestPrimeAtMost(n), largest) << n;
  }
  for (int n = 1; n < 9; n += 2) EXPECT_EQ(LargestPrimeAtMost(n), n);
}

TEST_F(HashTest, ExactScoresRoundTripAndMateScoresFollowThePly) {
  struct Case {
    int32_t score;
    int32_t storePly, probePly, expected;
  } cases[] = {
      {123, 5, 9, 123},
      {-4000, 3, 1, -4000},
      // A mate score 31987 at a node of ply 10 is stored as 31987 + 10 = 31997 (mate three
      // plies below that node); the same node met at ply 4 gets 31997 - 4 = 31993.
      {31987, 10, 4, 31993},
      {-31987, 10, 4, -31993},
      {31952, 2, 7, 31952 + 2 - 7},
  };
  uint32_t low = 1000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.score);
    Key k{++low, 77};
    StoreHash(k.low, k.high, 16, int16_t(c.score), 3, BoundExact, c.storePly, 0);
    uint16_t move = 0;
    EXPECT_EQ(Probe(k, 16, -ScoreBound, ScoreBound, c.probePly, &move), c.expected);
    EXPECT_EQ(move, 3);
  }
}

TEST_F(HashTest, BoundsAreCappedAndAnswerOnlyOutsideTheWindow) {
  Key lower{5000, 1};
  StoreHash(lower.low, lower.high, 12, 31990, 0, BoundLower, 3, 0);
  EXPECT_EQ(Probe(lower, 12, 0, 100, 9), 31952);         // capped, returned as stored
  EXPECT_EQ(Probe(lower, 12, 0, 31960, 9), NoCutoff);    // 31952 does not reach beta
  EXPECT_EQ(Probe(lower, 16, 0, 100, 9), NoCutoff);      // too shallow, a lower bound
  Key upper{6000, 2};
  StoreHash(upper.low, upper.high, 12, -31990, 0, BoundUpper, 3, 0);
  EXPECT_EQ(Probe(upper, 12, -100, 0, 9), -31952);
  EXPECT_EQ(Probe(upper, 12, -31960, 0, 9), NoCutoff);
}

TEST_F(HashTest, MateInOneHoldsAtAnyDepth) {
  // A node at ply 6 whose side to move mates at once scores 31999 - 6, stored as 31999.
  Key k{7000, 3};
  StoreHash(k.low, k.high, 4, int16_t(MateInOneScore - 6), 0, BoundExact, 6, 0);
  for (int depth : {4, 8, 40, 200})
    for (int ply : {0, 1, 13, 47}) {
      SCOPED_TRACE(depth * 100 + ply);
      EXPECT_EQ(Probe(k, depth, -ScoreBound, ScoreBound, ply), MateInOneScore - ply);
    }
}

TEST_F(HashTest, ShallowEntriesAdviseAgainstANullMove) {
  Key k{8000, 4};
  StoreHash(k.low, k.high, 10, 50, 0, BoundUpper, 2, 0);
  // Depth 16 < 25: R = 8, 10 >= 16 - 8 and 50 < beta.
  EXPECT_EQ(Probe(k, 16, -300, 100, 2), AvoidNullMove);
  EXPECT_EQ(Probe(k, 16, -300, 40, 2), NoCutoff);    // the score reaches beta
  EXPECT_EQ(Probe(k, 19, -300, 100, 2), NoCutoff);   // 10 < 19 - 8
  // Depth 25 uses R = 12: 10 < 13.
  EXPECT_EQ(Probe(k, 25, -300, 100, 2), NoCutoff);
  Key l{8100, 4};
  StoreHash(l.low, l.high, 10, 50, 0, BoundLower, 2, 0);
  EXPECT_EQ(Probe(l, 16, -300, 100, 2), NoCutoff);   // lower bounds never advise so
}

TEST_F(HashTest, BoundStoreKeepsAnExactEntryButTakesItsMove) {
  Key k{9000, 5};
  StoreHash(k.low, k.high, 20, 77, 4, BoundExact, 1, 100000);
  StoreHash(k.low, k.high, 24, -500, 9, BoundUpper, 1, 100000);
  // The exact entry keeps its score but takes move 9; the upper bound, worth more than an
  // empty slot, is written beside it and into the always slot, which answers first when
  // its bound lies below alpha.
  uint16_t move = 0;
  EXPECT_EQ(Probe(k, 20, -100, 100, 1, &move), -500);
  EXPECT_EQ(move, 9);
  // With a window the upper bound cannot answer, the exact main entry does.
  EXPECT_EQ(Probe(k, 20, -600, 100, 1, &move), 77);
  // The same bound kind on the key overwrites.
  StoreHash(k.low, k.high, 28, 10, 2, BoundExact, 1, 100000);
  EXPECT_EQ(Probe(k, 28, -600, 100, 1, &move), 10);
  EXPECT_EQ(move, 2);
}

TEST_F(HashTest, MateThreatIsReportedAndHashMoveIsTheDeepest) {
  Key k{10000, 6};
  StoreHash(k.low, k.high, 8, 0, 5, BoundLower | MateThreatBit, 0, 0);
  bool threat = false;
  uint16_t move = 0;
  Probe(k, 40, -ScoreBound, ScoreBound, 0, &move, &threat);
  EXPECT_TRUE(threat);
  EXPECT_EQ(move, 5);
  EXPECT_EQ(HashMoveIndex(k.low, k.high), 5);
  EXPECT_EQ(HashMoveIndex(k.low + 1, k.high), 0);
}

// Fills the four main slots of a key family that share keyLow mod mainCount and always
// slot, so that replacement decisions become visible.
TEST_F(HashTest, ReplacementByWorthAndTheAlwaysSlot) {
  const uint32_t m = transpositionTable.mainCount;
  const uint32_t a = transpositionTable.alwaysCount;
  // Same keyHigh -> same always slot and step; keyLow differs by multiples of mainCount
  // -> same first main slot. The four slots are then shared by all of them.
  auto key = [&](uint32_t i) { return Key{17 + i * m, 3 * a + 11}; };
  // Four entries of depths 40, 36, 32, 28 fill the four slots (each takes the least
  // worthy slot: an empty slot is worth 0).
  for (uint32_t i = 0; i < 4; ++i)
    StoreHash(key(i).low, key(i).high, 40 - 4 * int(i), 0, uint16_t(i + 1), BoundExact, 0, 0);
  for (uint32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    uint16_t move = 0;
    EXPECT_EQ(Probe(key(i), 4, -1, 1, 0, &move), 0);
  }
  // A shallower entry (depth 8) cannot displace any of them but lands in the always slot.
  StoreHash(key(4).low, key(4).high, 8, 33, 7, BoundExact, 0, 0);
  EXPECT_EQ(Probe(key(4), 8, -100, 100, 0), 33);
  // A new store of another key evicts it from the always slot: key 4 is gone entirely.
  StoreHash(key(5).low, key(5).high, 8, 44, 7, BoundExact, 0, 0);
  EXPECT_EQ(Probe(key(4), 8, -100, 100, 0), NoCutoff);
  // A depth-30 entry is worth more than the depth-28 one and replaces exactly it.
  StoreHash(key(6).low, key(6).high, 30, 66, 1, BoundExact, 0, 0);
  StoreHash(key(7).low, key(7).high, 4, 1, 1, BoundExact, 0, 0);  // flush the always slot
  EXPECT_EQ(Probe(key(3), 4, -100, 100, 0), NoCutoff);
  EXPECT_EQ(Probe(key(6), 4, -100, 100, 0), 66);
  for (uint32_t i : {0u, 1u, 2u}) EXPECT_NE(Probe(key(i), 4, -100, 100, 0), NoCutoff);
}

TEST_F(HashTest, StaleEntriesLoseTheirDepthUnlessRefreshed) {
  const uint32_t m = transpositionTable.mainCount;
  const uint32_t a = transpositionTable.alwaysCount;
  auto key = [&](uint32_t i) { return Key{29 + i * m, 5 * a + 2}; };
  for (uint32_t i = 0; i < 4; ++i)
    StoreHash(key(i).low, key(i).high, 40, 0, 1, BoundExact, 0, 0);
  AdvanceHashAge();
  // Entry 2 is found in the new search: its age is refreshed and it keeps its depth term.
  EXPECT_EQ(Probe(key(2), 40, -1, 1, 0), 0);
  // Three shallow stores now replace the three stale entries (worth 0) one after another,
  // never the refreshed one, although its depth is the largest of all.
  for (uint32_t i = 10; i < 13; ++i)
    StoreHash(key(i).low, key(i).high, 4, 5, 1, BoundExact, 0, 0);
  StoreHash(1, 1, 4, 0, 0, BoundExact, 0, 0);  // flush the shared always slot
  EXPECT_EQ(Probe(key(2), 40, -1, 1, 0), 0);
  for (uint32_t i : {0u, 1u, 3u}) EXPECT_EQ(Probe(key(i), 40, -1, 1, 0), NoCutoff) << i;
  for (uint32_t i = 10; i < 13; ++i) EXPECT_EQ(Probe(key(i), 4, -100, 100, 0), 5) << i;
}

TEST_F(HashTest, AgeWrapsAfterSixteenSearchesAndClearEmpties) {
  for (int i = 0; i < 15; ++i) AdvanceHashAge();
  EXPECT_EQ(transpositionTable.age, 0x0F000000u);
  AdvanceHashAge();
  EXPECT_EQ(transpositionTable.age, 0u);
  AdvanceHashAge();
  StoreHash(42, 43, 8, 9, 1, BoundExact, 0, 0);
  ClearHash();
  EXPECT_EQ(transpositionTable.age, 0u);
  EXPECT_EQ(Probe(Key{42, 43}, 8, -100, 100, 0), NoCutoff);
}

}  // namespace

namespace {

// A second implementation of the table, written from the rules alone with named fields
// instead of packed words, run side by side with the real one on the smallest budget
// (41 main slots, 15 always slots) so that keys collide all the time.
struct ModelEntry {
  uint32_t keyLow = 0, keyHigh = 0;
  uint32_t boundKind = 0;  // 0 exact, 1 upper, 2 lower
  bool threat = false;
  uint32_t age = 0;  // 0..15
  uint32_t effort = 0;
  uint32_t move = 0, depth = 0;
  int16_t score = 0;

  HashEntry Packed() const {
    return HashEntry{keyLow, keyHigh,
                     boundKind << 30 | uint32_t(threat) << 29 | age << 24 | effort,
                     move | depth << 8 | uint32_t(uint16_t(score)) << 16};
  }
};

struct ModelTable {
  std::vector<ModelEntry> main, always;
  uint32_t age = 0;
  // How often each rule decided something, so that the run is known to reach them.
  int overwrittenMatch = 0, keptOtherBound = 0, replacedByWorth = 0, refused = 0;
  int mateAtAnyDepth = 0, avoidedNull = 0, cutoffs = 0;

  ModelTable(uint32_t mainCount, uint32_t alwaysCount) : main(mainCount), always(alwaysCount) {}

  bool Matches(const ModelEntry& e, uint32_t lo, uint32_t hi) const {
    return e.keyLow == lo && e.keyHigh == hi;
  }
  std::vector<uint32_t> MainSlots(uint32_t lo, uint32_t hi) const {
    uint64_t m = main.size(), step = hi % always.size() + 1;
    std::vector<uint32_t> slots;
    for (uint64_t k = 0; k < 4; ++k) slots.push_back(uint32_t((lo % m + k * step) % m));
    return slots;
  }

  int32_t Probe(uint32_t lo, uint32_t hi, int32_t depth, int32_t alpha, int32_t beta,
                uint16_t& moveIndex, bool& threat, int32_t ply) {
    moveIndex = 0;
    int32_t result = NoCutoff;
    int32_t bestDepth = -1;
    std::vector<ModelEntry*> visit{&always[hi % always.size()]};
    for (uint32_t s : MainSlots(lo, hi)) visit.push_back(&main[s]);
    for (size_t k = 0; k < visit.size(); ++k) {
      ModelEntry& e = *visit[k];
      if (!Matches(e, lo, hi)) continue;
      int32_t d = int32_t(e.depth);
      if (k == 0) {
        moveIndex = uint16_t(e.move);
      } else {
        if (d > bestDepth) {
          bestDepth = d;
          moveIndex = uint16_t(e.move);
        }
        e.age = age;
      }
      if (e.threat) threat = true;
      if (d < depth) {
        if (e.score == 31999 && e.boundKind == 0) {
          ++mateAtAnyDepth;
          return 31999 - ply;
        }
        int32_t r = depth < 25 ? 8 : 12;
        if (d >= depth - r && e.boundKind != 2 && e.score < beta) {
          result = AvoidNullMove;
          ++avoidedNull;
        }
        continue;
      }
      if (e.boundKind == 2 && e.score >= beta) return ++cutoffs, e.score;
      if (e.boundKind == 1 && e.score <= alpha) return ++cutoffs, e.score;
      if (e.boundKind == 0) {
        ++cutoffs;
        if (e.score >= 31952) return e.score - ply;
        if (e.score <= -31952) return e.score + ply;
        return e.score;
      }
    }
    return result;
  }

  void Store(uint32_t lo, uint32_t hi, int32_t depth, int16_t score, uint16_t moveIndex,
             uint32_t bound, int32_t ply, int32_t nodes) {
    uint32_t kind = bound >> 30;
    int32_t s = score;
    if (kind == 0 && s >= 31952) s += ply;
    else if (kind == 0 && s <= -31952) s -= ply;
    else if (kind == 2 && s > 31952) s = 31952;
    else if (kind == 1 && s < -31952) s = -31952;
    ModelEntry fresh;
    fresh.keyLow = lo;
    fresh.keyHigh = hi;
    fresh.boundKind = kind;
    fresh.threat = (bound & MateThreatBit) != 0;
    fresh.age = age;
    fresh.effort = uint32_t(nodes) / 256;
    fresh.move = moveIndex;
    fresh.depth = uint32_t(depth);
    fresh.score = int16_t(s);
    const uint64_t newWorth = uint64_t(depth) * (1 << 24) + fresh.effort;

    ModelEntry* target = nullptr;
    ModelEntry* least = nullptr;
    uint64_t leastWorth = 0;
    for (uint32_t slot : MainSlots(lo, hi)) {
      ModelEntry& e = main[slot];
      if (Matches(e, lo, hi)) {
        if (kind == 0 || e.boundKind == kind) {
          target = &e;
          ++overwrittenMatch;
          break;
        }
        e.move = moveIndex;
        ++keptOtherBound;
      }
      uint64_t worth = e.effort + (e.age == age ? uint64_t(e.depth) << 24 : 0);
      if (!least || worth < leastWorth) {
        least = &e;
        leastWorth = worth;
      }
    }
    if (!target) {
      if (newWorth > leastWorth) {
        target = least;
        ++replacedByWorth;
      } else {
        ++refused;
      }
    }
    if (target) *target = fresh;
    ModelEntry a = fresh;
    a.effort = 0;
    always[hi % always.size()] = a;
  }

  uint16_t MoveOf(uint32_t lo, uint32_t hi) const {
    std::vector<const ModelEntry*> visit{&always[hi % always.size()]};
    for (uint32_t s : MainSlots(lo, hi)) visit.push_back(&main[s]);
    int32_t best = -1;
    uint16_t move = 0;
    for (const ModelEntry* e : visit)
      if (Matches(*e, lo, hi) && int32_t(e->depth) > best) {
        best = int32_t(e->depth);
        move = uint16_t(e->move);
      }
    return move;
  }
};

bool SameEntry(const HashEntry& a, const HashEntry& b) {
  return a.keyLow == b.keyLow && a.keyHigh == b.keyHigh && a.info == b.info && a.data == b.data;
}

TEST(HashModel, RandomStoresAndProbesAgreeWithASecondImplementation) {
  ASSERT_EQ(AllocateHashMemory(0), SmallestHashBudget);
  ClearHash();
  const TranspositionTable& tt = transpositionTable;
  ASSERT_EQ(tt.mainCount, 41u);
  ModelTable model(tt.mainCount, tt.alwaysCount);

  std::mt19937 rng(4404);
  auto below = [&](uint32_t n) { return uint32_t(rng() % n); };
  std::vector<Key> keys;
  for (int i = 0; i < 60; ++i) keys.push_back(Key{uint32_t(rng() | 1), uint32_t(rng())});
  // Scores near the window edges, mate scores of both signs and the mate in one.
  auto randomScore = [&](int32_t ply) -> int32_t {
    switch (below(5)) {
      case 0: return int32_t(below(801)) - 400;
      case 1: return 31952 + int32_t(below(47)) - ply;
      case 2: return -31952 - int32_t(below(47)) + ply;
      case 3: return MateInOneScore - ply;
      default: return int32_t(below(41)) - 20;
    }
  };
  const uint32_t bounds[] = {BoundExact, BoundUpper, BoundLower};

  for (int step = 0; step < 200000; ++step) {
    SCOPED_TRACE(step);
    const Key k = keys[below(uint32_t(keys.size()))];
    const uint32_t op = below(100);
    if (op < 45) {
      int32_t ply = int32_t(below(48));
      int32_t depth = int32_t(below(64));
      uint32_t bound = bounds[below(3)] | (below(8) == 0 ? MateThreatBit : 0);
      int16_t score = int16_t(randomScore(ply));
      uint16_t move = uint16_t(below(256));
      int32_t nodes = int32_t(below(1u << 20));
      StoreHash(k.low, k.high, depth, score, move, bound, ply, nodes);
      model.Store(k.low, k.high, depth, score, move, bound, ply, nodes);
    } else if (op < 90) {
      int32_t ply = int32_t(below(48));
      int32_t depth = int32_t(below(64));
      int32_t alpha = randomScore(ply);
      int32_t beta = alpha + 1 + int32_t(below(3) == 0 ? 0 : below(300));
      uint16_t move = 999, modelMove = 999;
      bool threat = false, modelThreat = false;
      int32_t r = ProbeHash(k.low, k.high, depth, alpha, beta, move, threat, ply);
      int32_t expected = model.Probe(k.low, k.high, depth, alpha, beta, modelMove, modelThreat, ply);
      ASSERT_EQ(r, expected);
      ASSERT_EQ(move, modelMove);
      ASSERT_EQ(threat, modelThreat);
    } else if (op < 98) {
      ASSERT_EQ(HashMoveIndex(k.low, k.high), model.MoveOf(k.low, k.high));
    } else if (op < 100 && below(10) == 0) {
      AdvanceHashAge();
      model.age = (model.age + 1) & 15;
      ASSERT_EQ(tt.age, model.age << 24);
    }
    if (step % 997 == 0) {
      for (uint32_t i = 0; i < tt.mainCount; ++i)
        ASSERT_TRUE(SameEntry(tt.mainEntries[i], model.main[i].Packed())) << "main " << i;
      for (uint32_t i = 0; i < tt.alwaysCount; ++i)
        ASSERT_TRUE(SameEntry(tt.alwaysEntries[i], model.always[i].Packed())) << "always " << i;
    }
  }
  // Every rule must have decided a fair number of times for the agreement to mean much.
  for (int count : {model.overwrittenMatch, model.keptOtherBound, model.replacedByWorth,
                    model.refused, model.mateAtAnyDepth, model.avoidedNull, model.cutoffs})
    EXPECT_GT(count, 200);
  FreeHashMemory();
}

}  // namespace
