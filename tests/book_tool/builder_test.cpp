// The builder's tree against the engine's loader (round trip) and against another program's
// book built from the same games (independent check).

#include "book_tool_support.h"

namespace {

// A loaded book in the builder's terms: edges by ascending move index.
BookTree TreeOfLoadedBook(const Book& book) {
  BookTree tree;
  tree.nodes.resize(book.nodeCount());
  for (uint32_t node = 0; node < book.nodeCount(); ++node) {
    auto& edges = tree.nodes[node].edges;
    for (int32_t e = book.head.Get(node); e >= 0; e = book.next.Get(uint32_t(e)))
      edges.push_back({book.moveIndex.Get(uint32_t(e)), book.weights[uint32_t(e)], book.child.Get(uint32_t(e))});
    std::sort(edges.begin(), edges.end(),
              [](const TreeEdge& a, const TreeEdge& b) { return a.moveIndex < b.moveIndex; });
  }
  return tree;
}

// Polyglot's make-book holds, per position, the moves played and their games (eco.pgn has no
// results, which it counts as draws: one point a game) or points (win 2, draw 1). Read back
// through our polyglot reader, it must give our full-width tree exactly.
void ExpectSameAsMakeBook(const std::string& folder, const std::string& pgn, BuildOptions options,
                          const BookTree& ours) {
  const std::string command = PolyglotProgram + " make-book -pgn " + ShellQuoted(pgn) + " -bin " +
                              ShellQuoted(folder + "/theirs.bin") + " -max-ply " + std::to_string(options.maxPly) +
                              " -min-game " + std::to_string(options.minGames) + " >" + ShellQuoted(folder + "/log") +
                              " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(folder + "/log");
  Tallies theirs;
  std::string error;
  std::vector<PolyglotEntry> entries;
  ASSERT_TRUE(ReadPolyglotEntries(ReadFileBytes(folder + "/theirs.bin"), entries, error)) << error;
  EXPECT_EQ(TallyPolyglot(entries, options.maxPly, theirs), 0);
  options.minGames = 1;  // their file is filtered already and holds points, not games
  ExpectSameGraph(ours, BuildTree(theirs, options));
  EXPECT_GT(ours.EdgeCount(), 500u);
}

TEST(BookBuilder, LoaderAndMakeBookSeeTheBuildersTree) {
  InitTablesOnce();
  const ScratchDirectory scratch;
  const std::string folder = scratch.path, random = folder + "/random.pgn";
  WriteFileBytes(random, RandomGamesPgn(150, 80, 2024));
  const struct { std::string path; BuildOptions options; } rows[] = {{EcoPgn, {16, 3, 6, WeightKind::Games}},
              {GnuBook, {10, 5, 8, WeightKind::Games}},
              {random, {80, 1, 4, WeightKind::Score}}};
  std::string skipped;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    if (!Installed(row.path, skipped)) continue;
    Tallies tallies;
    std::string error, bytes = ReadFileBytes(row.path);
    if (row.path == GnuBook) {
      std::vector<PolyglotEntry> entries;
      ASSERT_TRUE(ReadPolyglotEntries(bytes, entries, error)) << error;
      EXPECT_EQ(TallyPolyglot(entries, row.options.maxPly, tallies), 0) << "entries that name no legal move";
    } else {
      ASSERT_TRUE(TallyPgn(bytes, row.path, row.options.maxPly, tallies, stderr, error)) << error;
    }
    const BookTree tree = BuildTree(tallies, row.options);
    ASSERT_TRUE(WriteFileAtomically(folder + "/book.boo", EncodeBook(tree), error)) << error;
    const Book book = LoadBook((folder + "/book.boo").c_str());
    ASSERT_TRUE(book.loaded) << book.errorText;
    EXPECT_TRUE(book.maxPly == row.options.maxPly && book.minGames == row.options.minGames);
    ExpectSameGraph(tree, TreeOfLoadedBook(book));

    // Against the same tallies at full width: every weight in 1..limit, and each position's
    // shares within one step of the full ones (the same weights where they fit).
    BuildOptions wideOptions = row.options;
    wideOptions.width = 16;
    const BookTree wide = BuildTree(tallies, wideOptions);
    ASSERT_EQ(wide.nodes.size(), tree.nodes.size());
    const double limit = double((1u << row.options.width) - 1);
    for (size_t n = 0; n < tree.nodes.size(); ++n) {
      const auto &narrow = tree.nodes[n].edges, &full = wide.nodes[n].edges;
      ASSERT_EQ(narrow.size(), full.size());
      double largest = limit;
      for (const TreeEdge& edge : full) largest = std::max(largest, double(edge.weight));
      for (size_t e = 0; e < narrow.size(); ++e) {
        ASSERT_TRUE(narrow[e].weight >= 1 && narrow[e].weight <= limit) << narrow[e].weight;
        ASSERT_NEAR(narrow[e].weight / limit, full[e].weight / largest, largest == limit ? 0 : 1.0 / limit);
      }
    }
    if (row.path != GnuBook && Installed(PolyglotProgram, skipped))
      ExpectSameAsMakeBook(folder, row.path, wideOptions, wide);
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

}  // namespace
