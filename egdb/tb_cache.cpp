#include "egdb/tb_cache.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>

#include "egdb/tb_decode.h"
#include "egdb/tb_registry.h"

namespace {

// Slot header, at the start of each slot of the buffer. Links are slot numbers, TbNoSlot
// at either end of a list; the block follows the header.
struct SlotHeader {
  int16_t table;
  int16_t side;
  int32_t block;
  int32_t lruPrevious, lruNext;        // towards the most / the least recently used
  int32_t bucketPrevious, bucketNext;  // within the table side's bucket (block & 31)
  int32_t unused[2];  // pads the header to its 32 bytes
};
static_assert(sizeof(SlotHeader) == TbSlotHeaderBytes);

// Seven kppkp positions with black to move answer a fixed loss whatever the file holds:
// -32639 lies above the slowest loss a byte can store (-32641), so the search sees these
// losses as further off than any stored one.
constexpr uint32_t KppkpCorrected[] = {56802428, 56811076, 56849992, 56858640,
                                       59592489, 67775659, 71071628};
constexpr int32_t KppkpCorrectedValue = -32639;

struct Cache {
  uint8_t* buffer = nullptr;
  int32_t slotCount = 0;
  int32_t mostRecent = TbNoSlot;
  int32_t leastRecent = TbNoSlot;
  int32_t freeList = TbNoSlot;  // chained through lruNext
  int32_t neverUsed = 0;        // slots from here on have not been touched yet
  TbCacheCounts counts;
} cache;

SlotHeader& Header(int32_t slot) {
  return *reinterpret_cast<SlotHeader*>(cache.buffer + size_t(slot) * TbSlotBytes);
}
int8_t* Data(int32_t slot) {
  return reinterpret_cast<int8_t*>(cache.buffer + size_t(slot) * TbSlotBytes +
                                         TbSlotHeaderBytes);
}
int32_t* BucketHead(int table, int side, int32_t block) {
  return &tbRegistry.descriptors[table].buckets[side][block & (TbBucketCount - 1)];
}

void UnlinkRecent(int32_t slot) {
  SlotHeader& h = Header(slot);
  if (h.lruPrevious != TbNoSlot) Header(h.lruPrevious).lruNext = h.lruNext;
  else cache.mostRecent = h.lruNext;
  if (h.lruNext != TbNoSlot) Header(h.lruNext).lruPrevious = h.lruPrevious;
  else cache.leastRecent = h.lruPrevious;
}

void LinkMostRecent(int32_t slot) {
  SlotHeader& h = Header(slot);
  h.lruPrevious = TbNoSlot;
  h.lruNext = cache.mostRecent;
  if (cache.mostRecent != TbNoSlot) Header(cache.mostRecent).lruPrevious = slot;
  else cache.leastRecent = slot;
  cache.mostRecent = slot;
}

void UnlinkBucket(int32_t slot) {
  SlotHeader& h = Header(slot);
  if (h.bucketPrevious != TbNoSlot) Header(h.bucketPrevious).bucketNext = h.bucketNext;
  else *BucketHead(h.table, h.side, h.block) = h.bucketNext;
  if (h.bucketNext != TbNoSlot) Header(h.bucketNext).bucketPrevious = h.bucketPrevious;
}

void LinkBucketFront(int32_t slot) {
  SlotHeader& h = Header(slot);
  int32_t* head = BucketHead(h.table, h.side, h.block);
  h.bucketPrevious = TbNoSlot;
  h.bucketNext = *head;
  if (*head != TbNoSlot) Header(*head).bucketPrevious = slot;
  *head = slot;
}

void PushFree(int32_t slot) {
  Header(slot).lruNext = cache.freeList;
  cache.freeList = slot;
}

// A free slot, or else the least recently used one taken out of its lists. Untouched
// slots count as free: a large cache costs memory only as it fills.
int32_t TakeSlot() {
  int32_t slot = cache.freeList;
  if (slot != TbNoSlot) {
    cache.freeList = Header(slot).lruNext;
    return slot;
  }
  if (cache.neverUsed < cache.slotCount) {
    slot = cache.neverUsed++;
    new (cache.buffer + size_t(slot) * TbSlotBytes) SlotHeader{};
    return slot;
  }
  slot = cache.leastRecent;
  UnlinkRecent(slot);
  UnlinkBucket(slot);
  return slot;
}

int32_t FindSlot(int table, int side, int32_t block) {
  for (int32_t slot = *BucketHead(table, side, block); slot != TbNoSlot;
       slot = Header(slot).bucketNext) {
    const SlotHeader& h = Header(slot);
    if (h.table == table && h.side == side && h.block == block) return slot;
  }
  return TbNoSlot;
}

// A failed open may be the process's file limit: the other tables' handles go, then
// one more try.
bool OpenFile(TbDescriptor& d, int side) {
  if (d.file[side]) return true;
  d.file[side] = std::fopen(d.path[side], "rb");
  if (!d.file[side]) {
    TbCloseFiles();
    d.file[side] = std::fopen(d.path[side], "rb");
  }
  return d.file[side] != nullptr;
}

// A compressed file's block through its directory; a plain file's block: the bytes up to
// the registered end of the file. Fewer means the file changed
// since registration (cut short, or unreadable): a failure.
bool ReadBlock(int table, int side, int32_t block, int8_t* out) {
  TbDescriptor& d = tbRegistry.descriptors[table];
  if (!OpenFile(d, side)) return false;
  if (d.decoder[side]) return TbReadCompressedBlock(*d.decoder[side], d.file[side], uint32_t(block), out);
  const int64_t offset = int64_t(block) * TbBlockBytes;
  const size_t wanted = size_t(std::min<int64_t>(TbBlockBytes, d.length[side] - offset));
  if (std::fseek(d.file[side], long(offset), SEEK_SET) != 0) return false;
  return std::fread(out, 1, wanted, d.file[side]) == wanted;
}

}  // namespace

int32_t TbReadValue(int table, int side, uint32_t index) {
  static const int kppkp = TbTableNumber("kppkp");
  if (table == kppkp && side == 1) {
    for (uint32_t corrected : KppkpCorrected)
      if (index == corrected) return KppkpCorrectedValue;
  }
  if (TbIsSymmetric(table)) side = 0;
  TbDescriptor& d = tbRegistry.descriptors[table];
  if (d.memory[side]) {
    return int64_t(index) < d.length[side] ? TbMapValue(d.memory[side][index]) : TbNoInformation;
  }
  if (cache.slotCount == 0 || !d.buckets[side] || !d.path[side]) return TbNoInformation;
  if (int64_t(index) >= d.length[side]) return TbNoInformation;

  const int32_t block = int32_t(index >> TbBlockShift);
  const uint32_t offset = index & (TbBlockBytes - 1);
  int32_t slot = FindSlot(table, side, block);
  if (slot != TbNoSlot) {
    ++cache.counts.hits;
    UnlinkRecent(slot);
    LinkMostRecent(slot);
    UnlinkBucket(slot);
    LinkBucketFront(slot);
    return TbMapValue(Data(slot)[offset]);
  }

  ++cache.counts.reads;
  slot = TakeSlot();
  SlotHeader& h = Header(slot);
  h.table = int16_t(table);
  h.side = int16_t(side);
  h.block = block;
  if (!ReadBlock(table, side, block, Data(slot))) {
    TbDisableSide(table, side);
    PushFree(slot);
    return TbNoInformation;
  }
  LinkMostRecent(slot);
  LinkBucketFront(slot);
  return TbMapValue(Data(slot)[offset]);
}

void TbResetCache(uint8_t* buffer, size_t bytes) {
  TbCloseFiles();
  cache = Cache{};
  if (buffer && bytes >= TbSmallestCache) {
    cache.buffer = buffer;
    cache.slotCount = int32_t(bytes / TbSlotBytes);
  }
  for (TbDescriptor& d : tbRegistry.descriptors) {
    for (int32_t* buckets : d.buckets) {
      if (buckets) std::fill(buckets, buckets + TbBucketCount, TbNoSlot);
    }
  }
}

int TbCacheSlotCount() { return cache.slotCount; }
TbCacheCounts TbCacheStatistics() { return cache.counts; }

int TbCachedBlocks(TbCachedBlock* blocks, int limit) {
  int n = 0;
  for (int32_t slot = cache.mostRecent; slot != TbNoSlot && n < limit; slot = Header(slot).lruNext) {
    const SlotHeader& h = Header(slot);
    blocks[n++] = {h.table, h.side, h.block};
  }
  return n;
}
