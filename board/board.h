#pragma once
// What the rest of the engine may use of the board: the data model, the tables, make move
// and the random generator.

#include "board/make_move.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"
#include "board/types.h"
