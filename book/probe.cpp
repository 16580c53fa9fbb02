// Following the game through the book and choosing among a node's moves by weight.

#include "board/board.h"
#include "book/book.h"

Book engineBook;
RandomState bookRandom;

namespace {

// Whether the cursor names a node of a usable book.
bool Following(const Book& book) {
  return book.loaded && book.cursor >= 0 && uint32_t(book.cursor) < book.nodeCount();
}

}  // namespace

int BookProbe(const Book& book, RandomState& generator) {
  if (!Following(book)) return -1;
  const int32_t first = book.head.Get(uint32_t(book.cursor));
  // A position the walk reached twice gathers the edges of both visits, so the sum is kept
  // wide; one beyond the generator's range is not drawn from.
  uint64_t total = 0;
  for (int32_t e = first; e >= 0; e = book.next.Get(uint32_t(e))) total += book.weights[uint32_t(e)];
  if (total == 0 || total > uint64_t(RandomModulus)) return -1;
  const uint64_t r = uint64_t(RandomBelow(generator, int32_t(total)));
  uint64_t sum = 0;
  for (int32_t e = first; e >= 0; e = book.next.Get(uint32_t(e))) {
    sum += book.weights[uint32_t(e)];
    if (r < sum) return book.moveIndex.Get(uint32_t(e));
  }
  return -1;  // not reached: r < total
}

bool BookAdvance(Book& book, int index) {
  if (!Following(book)) return false;
  for (int32_t e = book.head.Get(uint32_t(book.cursor)); e >= 0; e = book.next.Get(uint32_t(e))) {
    if (book.moveIndex.Get(uint32_t(e)) == index) {
      book.cursor = book.child.Get(uint32_t(e));
      return true;
    }
  }
  book.cursor = -1;
  return false;
}

int MoveIndexOf(const Position& position, const Move& move) {
  Position listing;
  CopyPlayState(listing, position);
  GenerateLegalMoves(listing);
  for (int i = listing.moveCount; i >= 1; --i) {
    const Move& m = listing.moveList[i];
    if (m.from == move.from && m.to == move.to && m.flags == move.flags) return i;
  }
  return -1;
}

void BookGameStarted(Book& book, bool fromSetUp) { book.cursor = fromSetUp ? -1 : 0; }

void BookMovePlayed(Book& book, const Position& before, const Move& move) {
  if (Following(book)) BookAdvance(book, MoveIndexOf(before, move));
}

void BookMoveTakenBack(Book& book) { book.cursor = -1; }
