// The readers: polyglot keys against the format's published vectors, and the PGN reader over
// the syntax real files use. SAN written over random games and read back is builder_test's,
// against polyglot's own reader.

#include "book_tool_support.h"

namespace {

TEST(PolyglotKey, PublishedVectors) {
  InitTablesOnce();
  const struct { const char* fen; uint64_t key; } rows[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x463b96181691fc9cull},
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823c9b50fd114196ull},
      {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 0x0756b94461c50fb0ull},
      {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2", 0x662fafb965db29d4ull},
      {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 0x22a48b5a8e47ff78ull},
      {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 0 3", 0x652a607ca3f242c1ull},
      {"rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 0 4", 0x00fdd303c946bdd9ull},
      {"rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3", 0x3c8123ea7b067637ull},
      {"rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 0 4", 0x5c3f9b829b279560ull},
  };
  for (const auto& row : rows) {
    Position pos{};
    ASSERT_TRUE(SetFromFen(pos, row.fen)) << row.fen;
    EXPECT_EQ(PolyglotKey(pos), row.key) << row.fen;
  }
}

// One file with the constructs of real PGN, one game per row: its main line in coordinate
// text, its result, and the first bad move with its line.
TEST(PgnReader, SyntaxOfRealFiles) {
  InitTablesOnce();
  const struct { const char *pgn, *read; } rows[] = {
      {"% an escaped line\n[Site \"a \\\"quoted\\\" ] value\"]\n\n"
       "1. e4 {a comment ( with a paren} e5 $1 2.Nf3 (2. f4 exf4 (2... d5 3. exd5)) 2... Nc6!? ; 3. Bb5 a6\n"
       "3. Bc4 ! Bc5 1-0\n",
       "e2e4 e7e5 g1f3 b8c6 f1c4 f8c5 1-0"},
      {"1. e4 d5 2. exd5 c6 3. dxc6 Nf6 4. cxb7 Nbd7 5. bxa8Q *\n", "e2e4 d7d5 e4d5 c7c6 d5c6 g8f6 c6b7 b8d7 b7a8q *"},
      {"1. e4 d5 2. exd5 c6 3. dxc6 Nf6 4. cxb7 Nbd7 5. bxa8=N+ 0-1\n",
       "e2e4 d7d5 e4d5 c7c6 d5c6 g8f6 c6b7 b8d7 b7a8n 0-1"},
      {"1. e4 e5 2. Nf3 Nf6 3. Bc4 Bc5 4. 0-0 O-O 5. d3 d6 1/2-1/2\n",
       "e2e4 e7e5 g1f3 g8f6 f1c4 f8c5 e1g1 e8g8 d2d3 d7d6 1/2"},
      {"1.e4 e5 2.Bc4 Nc6 3.Qh5 Nf6?? 4.Qxf7# 1-0\n", "e2e4 e7e5 f1c4 b8c6 d1h5 g8f6 h5f7 1-0"},
      {"[SetUp \"1\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n1. Kb2 *\n", "set-up *"},
      {"[Result \"0-1\"]\n1. e4 e5\n2. Ke3 Nc6 0-1\n", "e2e4 e7e5 0-1 illegal move \"Ke3\"@22"},
      {"1. e4 xyz *\n", "e2e4 * unreadable move \"xyz\"@24"},
      {"1. Nf3 e5 2. d3 e4 3. Nd2 *\n", "g1f3 e7e5 d2d3 e5e4 * ambiguous move \"Nd2\"@26"},
      {"[Result \"1-0\"]\n1. d4 d5\n", "d2d4 d7d5 1-0"},
      {"1. e4 Nf6 2. e5 d5 3. exd6 e.p. *\n", "e2e4 g8f6 e4e5 d7d5 e5d6 *"},
  };
  std::string pgn;
  for (const auto& row : rows) pgn += std::string("[Event \"e\"]\n") + row.pgn;
  std::vector<std::string> read;
  ReadPgnGames(pgn, 255, [&](const PgnGame& game) {
    static const char* results[] = {"1-0", "0-1", "1/2", "*"};
    std::string text = game.fromSetUp ? "set-up" : "";
    for (const Move& move : game.moves) text.append(text.empty() ? "" : " ").append(MoveText(move));
    text.append(" ").append(results[int(game.result)]);
    if (game.errorLine) text += " " + game.error + "@" + std::to_string(game.errorLine);
    read.push_back(text);
  });
  ASSERT_EQ(read.size(), std::size(rows));
  for (size_t g = 0; g < read.size(); ++g) EXPECT_EQ(read[g], rows[g].read) << rows[g].pgn;
}

}  // namespace
