// dump and probe: a book file as the engine sees it, read through the engine's loader.

#include <algorithm>

#include "board/board.h"
#include "book/book.h"
#include "notation/fen.h"
#include "notation/move_text.h"
#include "tools/book/book_tool.h"

namespace {

struct EdgeView {
  int moveIndex;
  uint32_t weight;
  int child;
};

// A node's edges, heaviest first, and their total weight.
std::vector<EdgeView> EdgesOf(const Book& book, int node, uint64_t& total) {
  std::vector<EdgeView> edges;
  total = 0;
  for (int32_t e = book.head.Get(uint32_t(node)); e >= 0; e = book.next.Get(uint32_t(e))) {
    edges.push_back({book.moveIndex.Get(uint32_t(e)), book.weights[uint32_t(e)], book.child.Get(uint32_t(e))});
    total += book.weights[uint32_t(e)];
  }
  std::sort(edges.begin(), edges.end(), [](const EdgeView& a, const EdgeView& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.moveIndex < b.moveIndex;
  });
  return edges;
}

double Share(uint32_t weight, uint64_t total) { return total ? 100.0 * weight / double(total) : 0.0; }

bool Loaded(const Book& book, const char* path, std::FILE* out) {
  if (book.loaded) return true;
  std::fprintf(out, "%s: not loaded: %s\n", path, book.errorText);
  return false;
}

struct Dumper {
  Dumper(const Book& loaded, int plies, std::FILE* file)
      : book(loaded), depth(plies), out(file), shown(loaded.nodeCount()) {}
  const Book& book;
  int depth;
  std::FILE* out;
  std::vector<bool> shown;

  void Node(int node, const Position& pos, int ply) {
    uint64_t total;
    const std::vector<EdgeView> edges = EdgesOf(book, node, total);
    Position listing, child;
    CopyPlayState(listing, pos);
    GenerateLegalMoves(listing);
    for (const EdgeView& edge : edges) {
      const Move& move = listing.moveList[edge.moveIndex];
      const int number = ply / 2 + 1;
      std::fprintf(out, "%*s%d%s %s  %u  %.1f%%", 2 * ply, "", number, ply % 2 ? "..." : ".",
                   SanText(pos, move).c_str(), edge.weight, Share(edge.weight, total));
      const bool hasChildren = book.head.Get(uint32_t(edge.child)) >= 0;
      if (hasChildren && shown[edge.child]) {
        std::fprintf(out, "  (transposition, continued above)\n");
        continue;
      }
      std::fprintf(out, "\n");
      if (!hasChildren || ply + 1 >= depth) continue;
      shown[edge.child] = true;
      CopyPlayState(child, pos);
      MakeMove(child, move);
      Node(edge.child, child, ply + 1);
    }
  }
};

}  // namespace

int DumpBook(const char* path, int depth, std::FILE* out) {
  const Book book = LoadBook(path);
  if (!Loaded(book, path, out)) return 1;
  std::fprintf(out, "%s: max ply %d, min games %d, %u positions, %u moves\n", path, book.maxPly, book.minGames,
               book.nodeCount(), book.edgeCount());
  Position start{};
  SetStartPosition(start);
  Dumper dumper(book, depth, out);
  if (depth > 0) dumper.Node(0, start, 0);
  return 0;
}

int ProbeBook(const char* path, const std::vector<std::string>& moves, std::FILE* out) {
  Book book = LoadBook(path);
  if (!Loaded(book, path, out)) return 1;
  Position pos{};
  SetStartPosition(pos);
  book.cursor = 0;
  bool inBook = true;
  for (std::string text : moves) {
    Move move;
    if (!ParseMoveText(pos, text, move)) {
      std::fprintf(out, "not a legal move here: %s\n", text.c_str());
      return 2;
    }
    inBook = inBook && BookAdvance(book, MoveIndexOf(pos, move));
    MakeMove(pos, move);
    pos.cacheFlags = 0;
  }
  if (!inBook || book.head.Get(uint32_t(book.cursor)) < 0) {
    std::fprintf(out, "no book moves\n");
    return 1;
  }
  uint64_t total;
  const std::vector<EdgeView> edges = EdgesOf(book, book.cursor, total);
  Position listing;
  CopyPlayState(listing, pos);
  GenerateLegalMoves(listing);
  for (const EdgeView& edge : edges) {
    const Move& move = listing.moveList[edge.moveIndex];
    std::fprintf(out, "%s  %s  %u  %.1f%%\n", MoveText(move).c_str(), SanText(pos, move).c_str(), edge.weight,
                 Share(edge.weight, total));
  }
  return 0;
}
