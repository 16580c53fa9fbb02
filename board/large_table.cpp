#include "board/large_table.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

void* AllocateZeroedTable(size_t bytes) {
  constexpr size_t HugePage = size_t(2) << 20;
  if (bytes < HugePage) return std::calloc(1, bytes == 0 ? 1 : bytes);
  if (bytes > SIZE_MAX - HugePage) return nullptr;
  const size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
  void* table = std::aligned_alloc(HugePage, rounded);
  if (!table) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(table, rounded, MADV_HUGEPAGE);  // advice only: small pages work too
#endif
  // Touched here rather than during the first search: with large pages that is a few
  // faults of 2 MB instead of one per 4 KB probed.
  std::memset(table, 0, bytes);
  return table;
}
