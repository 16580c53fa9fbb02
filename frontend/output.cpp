#include "frontend/output.h"

#include <cstdio>
#include <mutex>

#include "frontend/signals.h"

namespace {
std::mutex outputMutex;
}

const char* const resultText[7] = {
    "",
    "0-1 {Skarne says 'Black mates'}",
    "1-0 {Skarne says 'White mates'}",
    "1/2-1/2 {Skarne says 'Draw by repetition'}",
    "1/2-1/2 {Skarne says 'Stalemate'}",
    "1/2-1/2 {Skarne says '50 moves'}",
    "1/2-1/2 {Skarne says 'insufficient material'}",
};

void SendLine(std::string_view text) {
  std::lock_guard<std::mutex> lock(outputMutex);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  if (std::ferror(stdout)) EndOnLostOutput();
}
