// Book files into LoadBook, then what a game does with a loaded book: the weighted choice
// at the cursor, the move played and the cursor following it, for up to 40 plies.

#include <cstdlib>

#include "board/board.h"
#include "book/book.h"
#include "fuzz/fuzz_support.h"
#include "notation/notation.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitTables();
  InScratchDirectory scratch;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratchDirectory scratch;
  WriteWholeFile("input.boo", data, size);
  Book book = LoadBook("input.boo");
  if (!book.loaded) return 0;
  if (book.edgeCount() > book.weights.size()) std::abort();
  RandomState random;
  RandomSeed(random, int32_t(size) + 1);
  Position pos;
  SetStartPosition(pos);
  BookGameStarted(book, false);
  for (int ply = 0; ply < 40; ++ply) {
    const int index = BookProbe(book, random);
    if (index < 0) break;
    Position listing = pos;
    listing.cacheFlags = 0;
    GenerateLegalMoves(listing);
    // Positions whose keys coincide share a node, so the index may not fit this one: the
    // engine then searches, as here the walk stops.
    Position trial;
    if (index < 1 || index > listing.moveCount || !MoveIsLegal(listing, listing.moveList[index], trial)) break;
    const Move move = listing.moveList[index];
    BookMovePlayed(book, pos, move);
    CopyPlayState(trial, pos);
    MakeMove(trial, move);
    pos = trial;
  }
  return 0;
}
