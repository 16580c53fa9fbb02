#pragma once
// Pawn hash internals, shared by the pawn evaluation and its tests.

#include <cstddef>
#include <cstdint>

#include "board/types.h"

// One entry, 16 bytes:
//   key   u64  the full pawnKey
//   data  u64  bits 0..15   pawn score + 32768
//              bits 16..63  passedPawns << 8: the passed bits of a2..h7 (pawns never
//                           stand on ranks 1 or 8, so nothing is lost)
struct PawnEntry {
  uint64_t key;
  uint64_t data;
};
static_assert(sizeof(PawnEntry) == 16);

struct PawnTable {
  PawnEntry* entries = nullptr;
  PawnEntry* lastSlot = nullptr;
  uint64_t mask = 0;
};
extern PawnTable pawnTable;

constexpr uint64_t PackPawnData(int32_t score, Bitboard passed) {
  return (passed << 8 & ~uint64_t{0xFFFF}) | uint16_t(score + 32768);
}
constexpr int32_t UnpackPawnScore(uint64_t data) { return int32_t(data & 0xFFFF) - 32768; }
constexpr Bitboard UnpackPassedPawns(uint64_t data) { return (data & ~uint64_t{0xFFFF}) >> 8; }

// The structure computed from scratch, without touching the hash.
int32_t ComputePawnStructure(const Bitboard whitePawns, const Bitboard blackPawns, Bitboard& passed);
