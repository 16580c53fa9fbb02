#pragma once
// Endgame tables as the engine uses them: set up from the "EGTBPath" directories, and
// asked for the exact value of a position with few men.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "board/position.h"

// Error codes of TbState.
constexpr int TbFine = 0;
constexpr int TbCacheAllocationFailed = 1;
constexpr int TbCacheSizeRejected = 2;  // below 32 bytes
constexpr int TbNoTableFound = 3;

struct TbState {
  uint8_t* cacheBuffer = nullptr;  // owned; the block cache's slots
  size_t cacheBytes = 0;
  int pieceLimit = 0;  // men (kings included) of the largest table found; 0: none
  int error = TbFine;
};

// The engine's tables, as the settings created them.
extern TbState engineTablebases;

// Registers every table found in the directories of pathList (split at ',', ';' and ':';
// an empty piece is the current directory; the first directory holding a table wins) and
// gives the state a cache of cacheBytes. Returns the piece limit: 5, 4 or 3 for the largest
// table found, 0 for none. Registration faults end the process with a "***" line.
int TbInit(TbState& state, std::string_view pathList, size_t cacheBytes);

// Replaces the state's cache with one of the given size (all files are closed). False when
// the size is rejected or cannot be allocated; the state then has no cache (and its error
// says why) until the next call.
bool TbSetCacheSize(TbState& state, size_t bytes);

// How TbSetCacheSize obtains the cache (from malloc: it is released with free; nullptr when
// unavailable); replaceable so that a settings file asking for more than the machine has can
// be exercised without exhausting it.
extern void* (*allocateTablebaseCache)(size_t bytes);

// Releases the cache and every registration.
void TbFreeState(TbState& state);

// The position's value from the side to move's view as a search score at this ply: mates
// by the side to move score 31999 - ply for the fastest, down to 31749 - ply; being mated
// scores the negatives shifted by one, a draw 0. False without an answer: too many men, a
// castling right left, no table or file for the material and side, or no information.
bool TbProbe(const TbState& state, const Position& pos, int& score, int ply);

// Closes every open table file (the tables stay registered and reopen on their next read).
void TbCloseFiles();
