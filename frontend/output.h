#pragma once
// The output channel: every line the engine says goes out whole, under one lock, flushed.

#include <string_view>

void SendLine(std::string_view text);

// Result lines by game-end code (0: no end, never sent).
extern const char* const resultText[7];
