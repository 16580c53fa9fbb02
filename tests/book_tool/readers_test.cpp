// The readers: polyglot keys against the format's published vectors, the PGN reader over
// the syntax real files use, and SAN written and read back over random games.

#include "book_tool_support.h"

namespace {

TEST(PolyglotKey, PublishedVectors) {
  InitTablesOnce();
  const struct {
    const char* fen;
    uint64_t key;
  } rows[] = {
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

// One file with the constructs of real PGN; each game's main line in coordinate text.
TEST(PgnReader, SyntaxOfRealFiles) {
  InitTablesOnce();
  const std::string pgn =
      "% an escaped line\n"
      "[Event \"comments, variations, NAGs\"]\n"
      "[Site \"a \\\"quoted\\\" ] value\"]\n"
      "\n"
      "1. e4 {a comment ( with a paren} e5 $1 2.Nf3 (2. f4 exf4 (2... d5 3. exd5)) 2... Nc6!? ; 3. Bb5 a6\n"
      "3. Bc4 ! Bc5 1-0\n"
      "[Event \"promotion without =, disambiguation\"]\n"
      "1. e4 d5 2. exd5 c6 3. dxc6 Nf6 4. cxb7 Nbd7 5. bxa8Q *\n"
      "[Event \"promotion with =\"]\n"
      "1. e4 d5 2. exd5 c6 3. dxc6 Nf6 4. cxb7 Nbd7 5. bxa8=N+ 0-1\n"
      "[Event \"castling with 0 and O\"]\n"
      "1. e4 e5 2. Nf3 Nf6 3. Bc4 Bc5 4. 0-0 O-O 5. d3 d6 1/2-1/2\n"
      "[Event \"check and mate marks\"]\n"
      "1.e4 e5 2.Bc4 Nc6 3.Qh5 Nf6?? 4.Qxf7# 1-0\n"
      "[Event \"set up\"]\n[SetUp \"1\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n1. Kb2 *\n"
      "[Event \"illegal\"]\n[Result \"0-1\"]\n"
      "1. e4 e5\n2. Ke3 Nc6 0-1\n"
      "[Event \"unreadable\"]\n1. e4 xyz *\n"
      "[Event \"ambiguous\"]\n1. Nf3 e5 2. d3 e4 3. Nd2 *\n"
      "[Event \"no result in the moves\"]\n[Result \"1-0\"]\n1. d4 d5\n"
      "[Event \"en passant\"]\n1. e4 Nf6 2. e5 d5 3. exd6 e.p. *\n";
  const struct {
    const char* moves;
    GameResult result;
    const char* error;
    int errorLine;
    bool fromSetUp;
  } expected[] = {
      {"e2e4 e7e5 g1f3 b8c6 f1c4 f8c5", GameResult::WhiteWins, "", 0, false},
      {"e2e4 d7d5 e4d5 c7c6 d5c6 g8f6 c6b7 b8d7 b7a8q", GameResult::Unknown, "", 0, false},
      {"e2e4 d7d5 e4d5 c7c6 d5c6 g8f6 c6b7 b8d7 b7a8n", GameResult::BlackWins, "", 0, false},
      {"e2e4 e7e5 g1f3 g8f6 f1c4 f8c5 e1g1 e8g8 d2d3 d7d6", GameResult::Draw, "", 0, false},
      {"e2e4 e7e5 f1c4 b8c6 d1h5 g8f6 h5f7", GameResult::WhiteWins, "", 0, false},
      {"", GameResult::Unknown, "", 0, true},
      {"e2e4 e7e5", GameResult::BlackWins, "illegal move \"Ke3\"", 22, false},
      {"e2e4", GameResult::Unknown, "unreadable move \"xyz\"", 24, false},
      {"g1f3 e7e5 d2d3 e5e4", GameResult::Unknown, "ambiguous move \"Nd2\"", 26, false},
      {"d2d4 d7d5", GameResult::WhiteWins, "", 0, false},
      {"e2e4 g8f6 e4e5 d7d5 e5d6", GameResult::Unknown, "", 0, false},
  };
  std::vector<PgnGame> games;
  ReadPgnGames(pgn, 255, [&](const PgnGame& game) { games.push_back(game); });
  ASSERT_EQ(games.size(), std::size(expected));
  for (size_t g = 0; g < games.size(); ++g) {
    SCOPED_TRACE("game " + std::to_string(g + 1));
    std::string moves;
    for (const Move& move : games[g].moves) {
      if (!moves.empty()) moves += ' ';
      moves += MoveText(move);
    }
    EXPECT_EQ(moves, expected[g].moves);
    EXPECT_EQ(games[g].result, expected[g].result);
    EXPECT_EQ(games[g].error, expected[g].error);
    EXPECT_EQ(games[g].errorLine, expected[g].errorLine);
    EXPECT_EQ(games[g].fromSetUp, expected[g].fromSetUp);
  }
}

// Our SAN writer and reader agree over random games; the independent check of both against
// another program's PGN reader is in the builder tests.
TEST(San, RandomGamesReadBackAsWritten) {
  InitTablesOnce();
  const RandomGames random = MakeRandomGames(60, 200, 4711);
  std::vector<PgnGame> games;
  ReadPgnGames(random.pgn, 255, [&](const PgnGame& game) { games.push_back(game); });
  ASSERT_EQ(games.size(), random.games.size());
  int promotions = 0, castles = 0, disambiguated = 0;
  for (size_t g = 0; g < games.size(); ++g) {
    EXPECT_EQ(games[g].error, "") << "game " << g;
    ASSERT_EQ(games[g].moves.size(), random.games[g].size()) << "game " << g;
    for (size_t i = 0; i < games[g].moves.size(); ++i) {
      ASSERT_TRUE(SameMove(games[g].moves[i], random.games[g][i])) << "game " << g << " ply " << i;
      promotions += IsPromotion(games[g].moves[i]);
      castles += games[g].moves[i].flags == FlagCastle;
    }
  }
  std::istringstream tokens(random.pgn);
  for (std::string token; tokens >> token;) {  // a piece move that names its origin: "Nbd2", "R1xe4"
    if (!std::strchr("NBRQ", token[0])) continue;
    std::erase_if(token, [](char c) { return c == 'x' || c == '+' || c == '#'; });
    disambiguated += token.size() >= 4;
  }
  // The games must reach what they are here for.
  EXPECT_GT(promotions, 10);
  EXPECT_GT(castles, 2);
  EXPECT_GT(disambiguated, 0);
}

}  // namespace
