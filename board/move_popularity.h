#pragma once

#include <cstdint>

// How often each (from, to) pair was played by the white king, pawn, knight, bishop, rook
// and queen, scaled so that each table's largest entry is 255.
extern const uint8_t whiteMovePopularity[6][4096];
