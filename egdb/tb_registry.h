#pragma once
// Which table files were found where: the run-time half of the table list (the fixed half,
// names and sizes, is tb_tables.h), the material lookup, the open handles and the running
// total of tablebase memory.

#include <cstdint>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "egdb/tb_probe.h"
#include "egdb/tb_tables.h"

constexpr int TbBucketCount = 32;
constexpr int32_t TbNoSlot = -1;
constexpr int TbNameLimit = 255;  // longest file name tried, terminator excluded

// Directory of a compressed file's blocks (tb_decode.h).
struct TbDecoder;

// One table, both sides to move (index 0 white, 1 black). A symmetric table uses side 0
// for both.
struct TbDescriptor {
  char* path[2] = {};           // owned; null: no file, or disabled after a read failure
  std::FILE* file[2] = {};      // opened by the first read, closed by TbCloseFiles
  TbDecoder* decoder[2] = {};   // null for a plain file
  int32_t* buckets[2] = {};     // owned: TbBucketCount cache slot numbers, TbNoSlot = empty
  const int8_t* memory[2] = {}; // the whole table in memory, read in place when set
  int64_t length[2] = {};       // plain bytes the file holds (compressed: once decoded)
};

struct TbRegistry {
  TbDescriptor descriptors[TbTableCount];
  int64_t allocatedBytes = 0;  // what registration and the cache took, reset by TbInit
  int compressedOpened = 0;    // compressed files registered, reset by TbInit
};
extern TbRegistry tbRegistry;

// Prints one "***" line on standard output and ends the process with status 1.
[[noreturn]] void TbFatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// How TbFatal ends the process once its line is out: exit(1). Replaceable so that a harness
// feeding damaged files can carry on with the next one; a replacement must leave by a throw
// (registration releases what it holds on the way out) and never return: if it does, the
// process still ends.
extern void (*tbFatalEnd)();

// Tablebase memory: counted in the running total; a failure is fatal.
void* TbAllocate(size_t bytes);
void TbRelease(void* memory);

// Builds the material trie; once per process, later calls do nothing.
void TbBuildTrie();

// The names a table side's file is tried under, in order, from its plain name ("kqkr.nbw",
// a folder before it or not): that name, then the compressed "kqkr.nbw.emd", "kqkr_nbw.emd"
// and "kqkr__nbw.emd" (the eight characters from the '_' moved one place on, so the '_' is
// doubled; the name ends right after them).
std::array<std::string, 4> TbFileNames(const std::string& plain);

// Registers the file of one table and side found in the directory (empty: the current
// one), the plain name first. True when that side already had a file or now has one.
// Registration faults end the process with their "***" message.
bool TbRegister(std::string_view directory, int table, int side);

// Counts: white pawns, knights, bishops, rooks, queens, then black's. The table that holds
// this material: +t as stored, -t with colours exchanged, 0 none.
int TbLookup(const int counts[10]);

// Forgets every registration (paths, bucket arrays, decoders); files are closed.
void TbForgetRegistrations();

// Disables one table side for the rest of the run after a read failure.
void TbDisableSide(int table, int side);
