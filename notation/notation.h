#pragma once
// What the rest of the engine may use of the notation and the game record: FEN reading,
// coordinate move text, the game record and the game-end tests.

#include "notation/fen.h"
#include "notation/game.h"
#include "notation/move_text.h"
