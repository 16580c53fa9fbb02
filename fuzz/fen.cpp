// FEN text into the reader. An accepted position must be one the engine can play from:
// each legal move made, printed and read back as the same move, the evaluation and the
// game-end test run on it.

#include <cstdlib>
#include <string>
#include <string_view>

#include "board/board.h"
#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "fuzz/fuzz_support.h"
#include "notation/notation.h"
#include "search/search.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitTables();
  AllocateHashMemory(0);  // the smallest budget; the evaluation needs its pawn table
  InitEndgameTables();
  BuildKingTables();
  BuildKpkBitbase();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!SetupGame(text)) return 0;
  Position& pos = gameRecord.gamePosition;
  CheckGameEnd();
  Evaluate(-ScoreBound, ScoreBound, pos);
  Position listing = pos;
  listing.cacheFlags = 0;
  GenerateLegalMoves(listing);
  for (int i = 1; i <= listing.moveCount; ++i) {
    const Move& move = listing.moveList[i];
    Position child;
    if (!MoveIsLegal(listing, move, child)) continue;
    Evaluate(-ScoreBound, ScoreBound, child);
    std::string moveText = MoveText(move);
    Position reader = pos;
    Move read;
    if (!ParseMoveText(reader, moveText, read) || read.from != move.from || read.to != move.to ||
        read.flags != move.flags)
      std::abort();  // a legal move the engine prints but would refuse, or read as another
  }
  return 0;
}
