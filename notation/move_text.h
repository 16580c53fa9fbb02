#pragma once
// Coordinate move text, as the protocol sends and expects it: e2e4, e7e8q, castling as the
// king's move (e1g1), en passant as the pawn's move to the empty square.

#include <cstddef>
#include <span>
#include <string>

#include "board/position.h"

// Room MoveText needs: four square characters, a promotion letter and the terminating zero.
inline constexpr size_t MoveTextSize = 6;
// AppendVariation prints at most this many moves of a variation.
inline constexpr int MaxVariationMoves = 49;

// Finds the legal move of the position that the text names. The first, third and fifth
// characters are turned to lower case in place, so a refusal message shows them that way.
// Only the position's moveList and cacheFlags are rewritten, accepted or not.
bool ParseMoveText(Position& pos, std::span<char> text, Move& move);
inline bool ParseMoveText(Position& pos, std::string& text, Move& move) {
  return ParseMoveText(pos, std::span<char>(text.data(), text.size()), move);
}

// Writes at most five characters and a terminating zero into buffer[0..MoveTextSize).
void MoveText(const Move& move, char* buffer);
std::string MoveText(const Move& move);

// Appends " move" for each move of the variation, which ends at an entry whose from is
// NoMoveSquare; at most MaxVariationMoves are printed.
void AppendVariation(std::string& text, const Move* variation);
