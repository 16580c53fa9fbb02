// The settings file, read as the start-up reads it. A "Book" key loads whatever file it
// names; a "HashSize" key asks for its table from an allocator that refuses anything over
// 1 MiB, as a machine short of memory would, so that the engine's retry with less runs.

#include <string>

#include "board/board.h"
#include "book/book.h"
#include "frontend/configuration.h"
#include "fuzz/fuzz_support.h"
#include "search/search.h"

namespace {

constexpr uint64_t LargestBlock = 1 << 20;
HashEntry* (*systemAllocator)(uint64_t) = nullptr;

HashEntry* ScarceMemory(uint64_t count) {
  return count * sizeof(HashEntry) > LargestBlock ? nullptr : systemAllocator(count);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitTables();
  InScratchDirectory scratch;
  CopyWholeFile(SKARNE_FUZZ_SOURCE "/corpus/book/two-lines.boo", "fuzz.boo");
  systemAllocator = allocateHashEntries;
  allocateHashEntries = ScarceMemory;
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
