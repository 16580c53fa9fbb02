#pragma once
// A plain full-width mate solver for the search and endgame tests. It shares only the move
// generator and make move with the engine, so it judges mates and mate distances on its own.

#include "board/board.h"

inline bool InCheck(const Position& pos) {
  return SquareAttackedBy(pos, KingSquare(pos, pos.sideToMove), pos.sideToMove ^ 1);
}

// Does the side to move mate by force within `moves` of its own moves? Plain minimax.
inline bool ForcesMate(const Position& pos, int moves);

// The move mates, or every reply leaves a mate within moves - 1 more moves.
inline bool MateAfter(const Position& pos, Move move, int moves) {
  Position child = pos;
  child.cacheFlags = 0;
  MakeMove(child, move);
  GenerateMoves(child);
  bool everyReplyLoses = child.moveCount > 0 ? moves > 1 : InCheck(child);
  for (int j = 1; j <= child.moveCount && everyReplyLoses; ++j) {
    Position reply = child;
    reply.cacheFlags = 0;
    MakeMove(reply, child.moveList[j]);
    everyReplyLoses = ForcesMate(reply, moves - 1);
  }
  return everyReplyLoses;
}

inline bool ForcesMate(const Position& pos, int moves) {
  Position work = pos;
  work.cacheFlags = 0;
  GenerateMoves(work);
  for (int i = 1; i <= work.moveCount && moves > 0; ++i)
    if (MateAfter(work, work.moveList[i], moves)) return true;
  return false;
}
