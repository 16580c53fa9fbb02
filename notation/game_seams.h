#pragma once
// The game record's calls into the subsystems above and beside it. Each seam names the
// owner that fills it; where that owner does not exist yet the game simply has no such
// state, so doing nothing is the whole behaviour, not a stand-in for it.

#include "board/position.h"
#include "search/search.h"

// Search: its hashClearedThisGame flag (the table itself is cleared with ClearHash).
inline void MarkHashClearedThisGame() { hashClearedThisGame = true; }

// Move ordering (search): killers stay aligned with the game's plies.
inline void ResetKillerMoves() { ResetKillers(); }
inline void ShiftKillerMoves() { ShiftKillers(); }

// Opening book (book): advance the cursor by a move played, restart it at the root for a
// new game, mark it lost after a set-up or a takeback.
inline void AdvanceBookCursor(const Position&, const Move&) {}
inline void RestartBookCursor() {}
inline void LoseBookCursor() {}

// Position learning (learn): the per-game learning state.
inline void StartGameLearning() {}
inline void DisableGameLearning() {}
inline void EndGameLearningAfterTakeBack() {}

// Endgame databases (egdb): TbCloseFiles after every game-end check.
inline void CloseTablebaseFiles() {}
