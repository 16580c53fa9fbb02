#pragma once

#include <string_view>

#include "board/position.h"

inline constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Reads a position text. On refusal the position is left exactly as it was.
bool SetFromFen(Position& pos, std::string_view text);
void SetStartPosition(Position& pos);
