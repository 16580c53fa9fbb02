#pragma once
// Checks of the moves an engine process sends.

#include <string>
#include <vector>

#include "board/board.h"
#include "notation/notation.h"

// Whether the moves, played in turn from the position, are all legal.
inline bool IsLegal(const std::string& fen, const std::vector<std::string>& moves) {
  Position pos;
  if (!SetFromFen(pos, fen)) return false;
  for (std::string text : moves) {
    Move move;
    if (!ParseMoveText(pos, text, move)) return false;
    MakeMove(pos, move);
    pos.cacheFlags = 0;
  }
  return true;
}
