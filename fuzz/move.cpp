// Move text against a position: the first line is a FEN text (the start position when it
// is not a playable one), every further line a move for the game position. An accepted
// move is played, so a line of inputs is a game; it must print as the text that named it.

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board/board.h"
#include "notation/notation.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitTables();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t newline = input.find('\n');
  if (!SetupGame(input.substr(0, newline))) NewGame();
  while (newline != std::string_view::npos) {
    input.remove_prefix(newline + 1);
    newline = input.find('\n');
    std::string text(input.substr(0, newline));
    const std::string asSent = text;
    Move move;
    if (!ParseMoveText(gameRecord.gamePosition, text, move)) continue;
    // Accepted text has the squares, and a promotion letter only on a promotion.
    const std::string printed = MoveText(move);
    for (size_t i = 0; i < asSent.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(asSent[i])) != printed[i]) std::abort();
    if (printed.size() < asSent.size() || printed.size() > 5) std::abort();
    PlayGameMove(move);
    if (CheckGameEnd() != NoGameEnd) NewGame();
  }
  return 0;
}
