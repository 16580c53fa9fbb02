#pragma once
// Shared helpers of the evaluation tests: positions from FEN and their colour-flipped mirrors.

#include <gtest/gtest.h>

#include <string>

#include "board/board.h"
#include "notation/fen.h"

inline Position PositionFromFen(const std::string& fen) {
  Position pos{};
  EXPECT_TRUE(SetFromFen(pos, fen)) << fen;
  return pos;
}

// Board flipped rank-wise, colours and side to move exchanged, castling rights exchanged.
inline Position ColourFlipped(const Position& pos) {
  Position flipped{};
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq ^ 56];
    flipped.board[sq] = int8_t(code == Empty ? Empty : code > 6 ? code - 6 : code + 6);
  }
  int c = pos.castling;
  flipped.castling = int8_t((c & CastleWhiteQueen ? CastleBlackQueen : 0) | (c & CastleWhiteKing ? CastleBlackKing : 0) |
                            (c & CastleBlackQueen ? CastleWhiteQueen : 0) | (c & CastleBlackKing ? CastleWhiteKing : 0));
  flipped.epFile = pos.epFile;
  flipped.sideToMove = uint8_t(pos.sideToMove ^ 1);
  DeriveState(flipped);
  return flipped;
}

inline int SquareOf(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }
