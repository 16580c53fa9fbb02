#pragma once
// Shared by the search tests: the tables the start-up builds, a game set up from FEN with
// moves played into it, and Think under a depth limit.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "notation/notation.h"
#include "search/search.h"

inline void InitSearchTables() {
  static const bool built = (InitTables(), InitEndgameTables(), BuildKingTables(), BuildKpkBitbase(), true);
  if (built && transpositionTable.mainEntries == nullptr) AllocateHashMemory(16 << 20);
  postThinking = stopSearch = false;
}

inline Move ParsedMove(const Position& pos, const char* text) {
  Position scratch = pos;
  std::string t = text;
  Move m = NoMove;
  EXPECT_TRUE(ParseMoveText(scratch, t, m)) << text;
  return m;
}

// The game: `fen`, then `moves` in coordinate text.
inline void SetUpGame(const char* fen, const std::vector<const char*>& moves = {}) {
  ASSERT_TRUE(SetupGame(fen)) << fen;
  for (const char* text : moves) PlayGameMove(ParsedMove(gameRecord.gamePosition, text));
}

// Think on the game position to the "sd" limit `depth`.
inline Move ThinkToDepth(int depth) {
  depthLimit = depth;
  Move move = NoMove;
  Think(move, false);
  depthLimit = 0;
  return move;
}
