#pragma once
// Shared by the book tool's tests: real inputs from Debian packages, random games written
// as PGN, and a comparison of two book graphs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "board/board.h"
#include "book/book.h"
#include "notation/fen.h"
#include "notation/move_text.h"
#include "tools/book/book_tool.h"

inline const std::string EcoPgn = "/usr/share/pgn-extract/eco.pgn";         // pgn-extract
inline const std::string GnuBook = "/usr/share/games/gnuchess/book.bin";    // gnuchess-book
inline const std::string PolyglotProgram = "/usr/games/polyglot";           // polyglot

inline void InitTablesOnce() {
  static const bool done = (InitTables(), true);
  (void)done;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteText(const std::string& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder per test.
inline std::string TempFolder() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("skarne_book_tool_" + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder.string();
}

// Random legal games from the start position, written as PGN with random results: they
// reach promotions, en passant, castling and ambiguous men that real openings seldom do.
struct RandomGames {
  std::vector<std::vector<Move>> games;
  std::string pgn;
};

inline RandomGames MakeRandomGames(int count, int plies, int32_t seed) {
  static const char* results[] = {"1-0", "0-1", "1/2-1/2", "*"};
  RandomState random;
  RandomSeed(random, seed);
  RandomGames out;
  Position pos, trial;
  for (int g = 0; g < count; ++g) {
    SetStartPosition(pos);
    std::vector<Move> moves;
    std::string text;
    for (int ply = 0; ply < plies; ++ply) {
      GenerateLegalMoves(pos);
      std::vector<Move> legal;
      for (int i = 1; i <= pos.moveCount; ++i)
        if (MoveIsLegal(pos, pos.moveList[i], trial)) legal.push_back(pos.moveList[i]);
      if (legal.empty()) break;
      const Move move = legal[size_t(RandomBelow(random, int32_t(legal.size())))];
      if (ply % 2 == 0) text += std::to_string(ply / 2 + 1) + ". ";
      text += SanText(pos, move) + (ply % 10 == 9 ? "\n" : " ");
      moves.push_back(move);
      MakeMove(pos, move);
      pos.cacheFlags = 0;
    }
    const char* result = results[RandomBelow(random, 4)];
    out.pgn += "[Event \"random " + std::to_string(g) + "\"]\n[Result \"" + result + "\"]\n\n" + text + result +
               "\n\n";
    out.games.push_back(std::move(moves));
  }
  return out;
}

// A loaded book in the builder's terms: edges by ascending move index.
inline BookTree TreeOfLoadedBook(const Book& book) {
  BookTree tree;
  tree.nodes.resize(book.nodeCount());
  for (uint32_t node = 0; node < book.nodeCount(); ++node) {
    for (int32_t e = book.head.Get(node); e >= 0; e = book.next.Get(uint32_t(e)))
      tree.nodes[node].edges.push_back({book.moveIndex.Get(uint32_t(e)), book.weights[uint32_t(e)], book.child.Get(uint32_t(e))});
    std::sort(tree.nodes[node].edges.begin(), tree.nodes[node].edges.end(),
              [](const TreeEdge& a, const TreeEdge& b) { return a.moveIndex < b.moveIndex; });
  }
  return tree;
}

// Walks both graphs from their roots in step: the same moves with the same weights at every
// position, and the same positions (a one-to-one node map), transpositions included.
inline void ExpectSameGraph(const BookTree& expected, const BookTree& actual) {
  ASSERT_EQ(expected.nodes.size(), actual.nodes.size());
  std::vector<int> map(expected.nodes.size(), -1), back(actual.nodes.size(), -1);
  std::vector<int> queue{0};
  map[0] = back[0] = 0;
  for (size_t q = 0; q < queue.size(); ++q) {
    const int a = queue[q], b = map[size_t(a)];
    const auto& edgesA = expected.nodes[size_t(a)].edges;
    const auto& edgesB = actual.nodes[size_t(b)].edges;
    ASSERT_EQ(edgesA.size(), edgesB.size()) << "nodes " << a << "/" << b;
    for (size_t i = 0; i < edgesA.size(); ++i) {
      ASSERT_EQ(edgesA[i].moveIndex, edgesB[i].moveIndex) << "nodes " << a << "/" << b;
      ASSERT_EQ(edgesA[i].weight, edgesB[i].weight) << "nodes " << a << "/" << b << " move " << edgesA[i].moveIndex;
      const int childA = edgesA[i].child, childB = edgesB[i].child;
      if (map[size_t(childA)] < 0 && back[size_t(childB)] < 0) {
        map[size_t(childA)] = childB;
        back[size_t(childB)] = childA;
        queue.push_back(childA);
      }
      ASSERT_EQ(map[size_t(childA)], childB) << "nodes " << a << "/" << b << " move " << edgesA[i].moveIndex;
    }
  }
  EXPECT_EQ(queue.size(), expected.nodes.size()) << "nodes the walk does not reach";
}

// Positions reached by more than one edge.
inline int Transpositions(const BookTree& tree) {
  std::vector<int> parents(tree.nodes.size());
  for (const TreeNode& node : tree.nodes)
    for (const TreeEdge& edge : node.edges) ++parents[size_t(edge.child)];
  return int(std::count_if(parents.begin(), parents.end(), [](int n) { return n > 1; }));
}
