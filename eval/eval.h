#pragma once
// What the rest of the engine may use of the evaluation: the static score, the pawn
// structure with its hash, the king tables built at start-up and the pawn table's memory.

#include <cstddef>
#include <cstdint>

#include "board/position.h"

// Score of the position for the side to move. Leaves early with alpha or beta when the
// material and pawn balance is far outside the window. Writes the attack cache,
// passedPawns, the pawn-count caches and the pawn hash; allocates nothing.
int32_t Evaluate(int32_t alpha, int32_t beta, Position& pos);

// The evaluation cache, by the full position key: a position evaluated before in the same
// search is answered from it (the attack cache and passedPawns are then left as they were).
// `entries` must be a power of two. Without a cache every call evaluates.
bool AllocateEvalCache(size_t entries);
void ClearEvalCache();
void FreeEvalCache();

// White-positive pawn-structure score; always sets pos.passedPawns. Served from the pawn
// hash when the pawn key is there.
int32_t EvaluatePawns(Position& pos);

// Builds the five king tables below; idempotent. Called by the start-up after the
// endgame tables.
void BuildKingTables();

// 3 on the board edge, 2 on the next ring, 1 on the ring round the centre, 0 on d4-e5.
extern int32_t edgeRing[64];
// Where a king belongs once attacks are no longer a danger: 15 best, down to -15.
extern int32_t kingCentreTable[64];
extern int32_t kingQueensideTable[64];
extern int32_t kingKingsideTable[64];
// King distance to the nearer light corner (h1, a8) and the nearer dark corner (a1, h8).
extern int32_t lightCornerDistance[64];
extern int32_t darkCornerDistance[64];
// Where a king belongs in an ending with these pawns: the queenside or kingside table when
// they all stand on one wing, else the centre table.
const int32_t* KingPlacementTable(Bitboard pawns);

// The pawn hash. `entries` must be a power of two (at least 1); all entries are cleared and
// entry 0 gets key 1, so that the key 0 of a pawnless position never matches a cleared
// entry. Returns false (and leaves no table) when the memory is not available. Without a
// table the pawn structure is computed on every call.
bool AllocatePawnTable(size_t entries);
void FreePawnTable();
size_t PawnTableEntries();
