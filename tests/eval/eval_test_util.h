#pragma once
// Shared by the evaluation tests: the tables every test needs and colour-flipped mirrors of
// positions (read from FEN with FromFen).

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/movegen_test_support.h"
#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "eval/eval.h"

inline void InitEvalTables() {
  InitTables();
  InitEndgameTables();
  BuildKingTables();
  if (PawnTableEntries() == 0) AllocatePawnTable(1 << 12);
  if (kpkBitbase.won == nullptr) BuildKpkBitbase();
}

// Board turned rank-wise with the colours, the side to move and the castling rights exchanged.
inline Position ColourFlipped(const Position& pos) {
  Position flipped{};
  for (int sq = 0; sq < 64; ++sq) {
    const int code = pos.board[sq ^ 56];
    flipped.board[sq] = int8_t(code == Empty ? Empty : code > 6 ? code - 6 : code + 6);
  }
  const int c = pos.castling & 15;  // white's two bits swap with black's two
  flipped.castling = int8_t((c & 3) << 2 | (c >> 2));
  flipped.epFile = pos.epFile;
  flipped.sideToMove = uint8_t(pos.sideToMove ^ 1);
  DeriveState(flipped);
  return flipped;
}
