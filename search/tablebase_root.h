#pragma once
// The endgame tables at the root: a position they know is answered without a search.

#include "board/types.h"

// A move chosen from the tables for the root position (the copy of the game position in
// ply slot 0), true when one was chosen. Moves that lose a drawn position are marked as
// excluded in the root list, so the search that follows skips them.
bool ProbeTablebasesAtRoot(Move& move);
// The search's record of a move chosen without a search: a line of that move alone.
void SetTablebaseResult(const Move& move);
