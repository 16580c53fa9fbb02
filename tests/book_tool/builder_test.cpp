// The builder's tree against the engine's loader (round trip) and against another program's
// book built from the same games (independent check).

#include "book_tool_support.h"

namespace {

enum class Source { Eco, GnuBook, RandomGames };

// The source's tallies, or false with the reason to skip.
bool TallySource(Source source, int maxPly, Tallies& tallies, std::string& skip) {
  std::string error;
  if (source == Source::RandomGames)
    return TallyPgn(MakeRandomGames(100, 120, 99).pgn, "random", maxPly, tallies, stderr, error);
  const std::string& path = source == Source::Eco ? EcoPgn : GnuBook;
  if (!std::filesystem::exists(path)) {
    skip = path + " is missing: install Debian's " + (source == Source::Eco ? "pgn-extract" : "gnuchess-book") +
           " (scripts/test.sh does)";
    return false;
  }
  const std::string bytes = ReadText(path);
  if (source == Source::Eco) return TallyPgn(bytes, path, maxPly, tallies, stderr, error);
  std::vector<PolyglotEntry> entries;
  EXPECT_TRUE(ReadPolyglotEntries(bytes, entries, error)) << error;
  EXPECT_EQ(TallyPolyglot(entries, maxPly, tallies), 0) << "entries of the book that name no legal move";
  return true;
}

struct RoundTripCase {
  const char* name;
  Source source;
  BuildOptions options;
};

void PrintTo(const RoundTripCase& row, std::ostream* out) { *out << row.name; }

class BookRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(BookRoundTrip, LoaderSeesTheBuildersTree) {
  InitTablesOnce();
  const RoundTripCase& row = GetParam();
  Tallies tallies;
  std::string skip;
  if (!TallySource(row.source, row.options.maxPly, tallies, skip)) GTEST_SKIP() << skip;
  const BookTree tree = BuildTree(tallies, row.options);
  const std::string path = TempFolder() + "/book.boo";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, EncodeBook(tree), error)) << error;
  const Book book = LoadBook(path.c_str());
  ASSERT_TRUE(book.loaded) << book.errorText;
  EXPECT_EQ(book.maxPly, row.options.maxPly);
  EXPECT_EQ(book.minGames, row.options.minGames);
  ExpectSameGraph(tree, TreeOfLoadedBook(book));
  if (row.source != Source::RandomGames) {
    EXPECT_GT(Transpositions(tree), 0);
  }

  // Against the same tallies kept at full width: the same moves, every weight in 1..limit,
  // and each position's shares within one step of the width.
  BuildOptions wideOptions = row.options;
  wideOptions.width = 16;
  const BookTree wide = BuildTree(tallies, wideOptions);
  ASSERT_EQ(wide.nodes.size(), tree.nodes.size());
  const double limit = double((1u << row.options.width) - 1);
  for (size_t n = 0; n < tree.nodes.size(); ++n) {
    const auto& narrow = tree.nodes[n].edges;
    const auto& full = wide.nodes[n].edges;
    ASSERT_EQ(narrow.size(), full.size());
    uint32_t largest = 0;
    for (const TreeEdge& edge : full) largest = std::max(largest, edge.weight);
    for (size_t e = 0; e < narrow.size(); ++e) {
      ASSERT_GE(narrow[e].weight, 1u);
      ASSERT_LE(narrow[e].weight, limit);
      if (largest <= limit) ASSERT_EQ(narrow[e].weight, full[e].weight);
      else ASSERT_NEAR(narrow[e].weight / limit, full[e].weight / double(largest), 1.0 / limit);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, BookRoundTrip,
    testing::Values(RoundTripCase{"eco_games", Source::Eco, {20, 1, 16, WeightKind::Games}},
                    RoundTripCase{"eco_score_width4_min2", Source::Eco, {12, 2, 4, WeightKind::Score}},
                    RoundTripCase{"gnubook_games", Source::GnuBook, {20, 1, 16, WeightKind::Games}},
                    RoundTripCase{"gnubook_width8_min5", Source::GnuBook, {10, 5, 8, WeightKind::Games}},
                    RoundTripCase{"random_score", Source::RandomGames, {120, 1, 16, WeightKind::Score}},
                    RoundTripCase{"random_width1", Source::RandomGames, {40, 1, 1, WeightKind::Games}}),
    [](const testing::TestParamInfo<RoundTripCase>& param) { return std::string(param.param.name); });

struct PolyglotCase {
  const char* name;
  bool eco;  // else random games with results
  BuildOptions options;
};

void PrintTo(const PolyglotCase& row, std::ostream* out) { *out << row.name; }

class AgainstPolyglot : public testing::TestWithParam<PolyglotCase> {};

// The other program's book holds, per position, the moves played and their games (eco.pgn
// has no results, which it counts as draws: one point a game) or points (win 2, draw 1).
// Read back through our polyglot reader, it must give our tree exactly.
TEST_P(AgainstPolyglot, SameMovesAndCountsAtEveryPosition) {
  InitTablesOnce();
  const PolyglotCase& row = GetParam();
  if (!std::filesystem::exists(PolyglotProgram))
    GTEST_SKIP() << PolyglotProgram << " is missing: install Debian's polyglot (scripts/test.sh does)";
  const std::string folder = TempFolder();
  std::string pgn = folder + "/games.pgn";
  if (row.eco) {
    if (!std::filesystem::exists(EcoPgn)) GTEST_SKIP() << EcoPgn << " is missing: install Debian's pgn-extract";
    pgn = EcoPgn;
  } else {
    WriteText(pgn, MakeRandomGames(150, 60, 2024).pgn);
  }
  const std::string bin = folder + "/theirs.bin";
  const std::string command = PolyglotProgram + " make-book -pgn " + pgn + " -bin " + bin + " -max-ply " +
                              std::to_string(row.options.maxPly) + " -min-game " +
                              std::to_string(row.options.minGames) + " >" + folder + "/log 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(folder + "/log");

  Tallies ours, theirs;
  std::string error;
  ASSERT_TRUE(TallyPgn(ReadText(pgn), pgn, row.options.maxPly, ours, stderr, error)) << error;
  std::vector<PolyglotEntry> entries;
  ASSERT_TRUE(ReadPolyglotEntries(ReadText(bin), entries, error)) << error;
  EXPECT_EQ(TallyPolyglot(entries, row.options.maxPly, theirs), 0);
  BuildOptions asWritten = row.options;
  asWritten.minGames = 1;  // their file is filtered already and holds points, not games
  const BookTree ourTree = BuildTree(ours, row.options);
  ExpectSameGraph(ourTree, BuildTree(theirs, asWritten));
  EXPECT_GT(ourTree.EdgeCount(), 500u);
}

INSTANTIATE_TEST_SUITE_P(
    Games, AgainstPolyglot,
    testing::Values(PolyglotCase{"eco_16_plies", true, {16, 1, 16, WeightKind::Games}},
                    PolyglotCase{"eco_min_3_games", true, {16, 3, 16, WeightKind::Games}},
                    PolyglotCase{"random_games_score", false, {60, 1, 16, WeightKind::Score}}),
    [](const testing::TestParamInfo<PolyglotCase>& param) { return std::string(param.param.name); });

}  // namespace
