#pragma once

#include "board/position.h"

// Both trust the move: a pseudo-legal move of the side to move. The caller clears
// cacheFlags together with the move.
void MakeMove(Position& pos, const Move& move);
// The same without hashKey and fiftyCounter, for legality trials and the quiescence search.
void MakeMoveLight(Position& pos, const Move& move);
// Passes the turn: only the side, the en-passant file and the key change.
void MakeNullMove(Position& pos);
