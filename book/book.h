#pragma once
// The opening book: a tree of moves with weights read from a bit stream into bit-packed
// vectors, the weighted choice of a book move, and the cursor that follows the game.

#include <cstdint>
#include <span>
#include <vector>

#include "board/position.h"
#include "board/random.h"

// n integers in n x w bits, w just wide enough for their range (at least 1): value i less
// the smallest sits in bits i*w .. i*w + w - 1 of the words, lowest bit first, and may
// straddle two words. Two spare words let a read always take a word pair.
struct PackedVector {
  std::vector<uint32_t> words = std::vector<uint32_t>(2);
  uint32_t count = 0;
  uint32_t width = 1;
  int32_t offset = 0;

  int32_t Get(uint32_t i) const {
    const uint64_t bit = uint64_t(i) * width;
    const uint64_t pair = words[bit >> 5] | uint64_t(words[(bit >> 5) + 1]) << 32;
    const uint64_t mask = (uint64_t(1) << width) - 1;
    return int32_t(int64_t((pair >> (bit & 31)) & mask) + offset);
  }
  uint32_t size() const { return count; }
};
PackedVector PackValues(std::span<const int32_t> values);

// Edges are numbered in the order of the file's tree codes; a node's edge list runs from
// its last-coded edge back to its first.
struct Book {
  int32_t maxPly = 0;
  int32_t minGames = 0;  // kept with the book; nothing depends on it
  PackedVector next;       // by edge: the node's next edge, -1 at the end of the list
  PackedVector child;      // by edge: the node it leads to
  PackedVector moveIndex;  // by edge: the move's entry in GenerateLegalMoves' list
  PackedVector head;       // by node: the first edge, -1 for a node without children
  std::vector<uint16_t> weights;  // by edge, as read
  int32_t cursor = -1;  // the game position's node; -1 once the game has left the book
  bool loaded = false;  // the whole file was read and decoded: the book may be used
  char errorText[96] = {};  // the first error, for the tools; never sent to the interface

  uint32_t nodeCount() const { return head.size(); }
  uint32_t edgeCount() const { return child.size(); }
};

// Always yields a book; `loaded` tells whether it can be used. Needs InitTables.
Book LoadBook(const char* path);

// An entry 1..moveCount of the game position's GenerateLegalMoves list, drawn in proportion
// to the weights of the cursor node's edges; -1 for none. The cursor stays.
int BookProbe(const Book& book, RandomState& generator);
// Follows the cursor node's edge with this move index; without one the game leaves the book
// (cursor -1) and the answer is false.
bool BookAdvance(Book& book, int index);
// The move's entry in the position's GenerateLegalMoves list, -1 when it has none.
int MoveIndexOf(const Position& position, const Move& move);

// The cursor follows the game: only a game begun with "new" (fromSetUp false) is played
// from the book, and once the game leaves it (a move the book lacks, a set-up, a takeback)
// it never returns, even where it transposes back into book positions.
void BookGameStarted(Book& book, bool fromSetUp);
void BookMovePlayed(Book& book, const Position& before, const Move& move);
void BookMoveTakenBack(Book& book);

// The engine's book, loaded by the "Book" setting, and the generator its choices draw on,
// seeded from the clock when the process starts.
extern Book engineBook;
extern RandomState bookRandom;
