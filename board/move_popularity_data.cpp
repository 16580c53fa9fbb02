// Placeholder until the generated tables arrive.
#include "board/move_popularity.h"

const uint8_t whiteMovePopularity[6][4096] = {};
