// The settings file, read as the start-up reads it. A "Book" key loads whatever file it
// names; "HashSize" and "EGTBCacheSize" ask for their tables from allocators that refuse
// anything over 256 KiB (room for the smallest hash budget), as a machine short of memory
// would, so that the engine's answers to a refusal run without each input clearing
// megabytes.

#include <cstdlib>
#include <string>

#include "board/board.h"
#include "book/book.h"
#include "egdb/tb_probe.h"
#include "frontend/configuration.h"
#include "fuzz/fuzz_support.h"
#include "search/search.h"

namespace {

constexpr uint64_t LargestBlock = 1 << 18;
HashEntry* (*systemAllocator)(uint64_t) = nullptr;

HashEntry* ScarceMemory(uint64_t count) {
  return count * sizeof(HashEntry) > LargestBlock ? nullptr : systemAllocator(count);
}

void* ScarceCache(size_t bytes) { return bytes > LargestBlock ? nullptr : std::malloc(bytes); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitTables();
  InScratchDirectory scratch;
  CopyWholeFile(SKARNE_FUZZ_SOURCE "/corpus/book/two-lines.boo", "fuzz.boo");
  systemAllocator = allocateHashEntries;
  allocateHashEntries = ScarceMemory;
  allocateTablebaseCache = ScarceCache;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratchDirectory scratch;
  WriteWholeFile("input.ini", data, size);
  configuration = Configuration{};
  ReadConfiguration("input.ini");
  engineBook = Book{};
  FreeHashMemory();
  return 0;
}
