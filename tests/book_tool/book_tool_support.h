#pragma once
// Shared by the book tool's tests: real inputs from Debian packages, random games written as
// PGN, and a comparison of two book graphs.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "board/board.h"
#include "book/book.h"
#include "frontend/engine_process.h"  // scratch folders, whole files
#include "notation/fen.h"
#include "notation/move_text.h"
#include "tools/book/book_tool.h"

inline const std::string EcoPgn = "/usr/share/pgn-extract/eco.pgn";       // pgn-extract
inline const std::string GnuBook = "/usr/share/games/gnuchess/book.bin";  // gnuchess-book
inline const std::string PolyglotProgram = "/usr/games/polyglot";         // polyglot

inline void InitTablesOnce() { static const bool done = (InitTables(), true); (void)done; }

// Whether a Debian package's file is there; else notes it for the test's skip message.
inline bool Installed(const std::string& path, std::string& skipped) {
  if (std::filesystem::exists(path)) return true;
  skipped += path + " is missing (scripts/test.sh installs it from Debian); ";
  return false;
}

// Random legal games with random results, as PGN: they reach promotions, en passant,
// castling and ambiguous men that real openings seldom do.
inline std::string RandomGamesPgn(int count, int plies, int32_t seed) {
  static const char* results[] = {"1-0", "0-1", "1/2-1/2", "*"};
  RandomState random;
  RandomSeed(random, seed);
  std::string pgn;
  Position pos, trial;
  for (int g = 0; g < count; ++g) {
    SetStartPosition(pos);
    const std::string result = results[RandomBelow(random, 4)];
    pgn += "[Result \"" + result + "\"]\n\n";
    for (int ply = 0; ply < plies; ++ply) {
      GenerateLegalMoves(pos);
      std::vector<Move> legal;
      for (int i = 1; i <= pos.moveCount; ++i)
        if (MoveIsLegal(pos, pos.moveList[i], trial)) legal.push_back(pos.moveList[i]);
      if (legal.empty()) break;
      const Move move = legal[size_t(RandomBelow(random, int32_t(legal.size())))];
      pgn += (ply % 2 ? "" : std::to_string(ply / 2 + 1) + ". ") + SanText(pos, move) + (ply % 10 == 9 ? "\n" : " ");
      MakeMove(pos, move);
      pos.cacheFlags = 0;
    }
    pgn += result + "\n\n";
  }
  return pgn;
}

// Walks both graphs from their roots in step: the same moves with the same weights at every
// position, and a one-to-one node map, so transpositions must match too.
inline void ExpectSameGraph(const BookTree& expected, const BookTree& actual) {
  ASSERT_EQ(expected.nodes.size(), actual.nodes.size());
  std::vector<int> map(expected.nodes.size(), -1), back(actual.nodes.size(), -1), queue{0};
  map[0] = back[0] = 0;
  for (size_t q = 0; q < queue.size(); ++q) {
    const int a = queue[q], b = map[size_t(a)];
    const auto &edgesA = expected.nodes[size_t(a)].edges, &edgesB = actual.nodes[size_t(b)].edges;
    ASSERT_EQ(edgesA.size(), edgesB.size()) << "nodes " << a << "/" << b;
    for (size_t i = 0; i < edgesA.size(); ++i) {
      const TreeEdge &x = edgesA[i], &y = edgesB[i];
      ASSERT_TRUE(x.moveIndex == y.moveIndex && x.weight == y.weight) << "nodes " << a << "/" << b << " edge " << i;
      if (map[size_t(x.child)] < 0 && back[size_t(y.child)] < 0) {
        map[size_t(x.child)] = y.child;
        back[size_t(y.child)] = x.child;
        queue.push_back(x.child);
      }
      ASSERT_EQ(map[size_t(x.child)], y.child) << "nodes " << a << "/" << b << " edge " << i;
    }
  }
  EXPECT_EQ(queue.size(), expected.nodes.size()) << "nodes the walk does not reach";
}
