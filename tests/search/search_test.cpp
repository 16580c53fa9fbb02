// The search against a plain full-width mate solver, draws by repetition, stalemate and the
// fifty-move rule in both searches, and invariants of Think over random games. Repetitions
// on the search's own path are NodeTest's; finding material is the tactics suite's.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "search/search_state.h"
#include "mate_solver.h"
#include "search_test_support.h"

namespace {

SearchState& S = searchState;

TEST(Search, MatesScoreByTheirDistanceAsTheSolverFindsThem) {
  InitSearchTables();
  const struct { const char* fen; int moves; } cases[] = {  // moves: the side to move's shortest mate
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - -", 1},  {"r5k1/8/8/8/8/8/5PPP/6K1 b - -", 1},
      {"k7/8/1K6/8/8/8/8/7R w - -", 1},      {"kbK5/pp6/1P6/8/8/8/8/R7 w - -", 2},
      {"r7/8/8/8/8/1p6/PP6/KBk5 b - -", 2},  // the colour-flipped twin: Ra3, bxa3 b2 mate
      // Two rooks: Rb6+, Ra7+ and Rb8 mate, the king never reaching either rook.
      {"8/8/6k1/R7/8/8/8/KR6 w - -", 3},    {"kr6/8/8/8/r7/6K1/8/8 b - -", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    SetUpGame(c.fen);
    ASSERT_FALSE(ForcesMate(gameRecord.gamePosition, c.moves - 1));
    ASSERT_TRUE(ForcesMate(gameRecord.gamePosition, c.moves));
    const Move move = ThinkToDepth(2 * c.moves);
    // A mate in n moves is 2n - 1 plies away and scores 32000 - (2n - 1); a mate in one found
    // at the root scores 31999 by the mating-check test.
    EXPECT_EQ(lastScore, c.moves == 1 ? MateInOneScore : MateScore - (2 * c.moves - 1));
    // The move played keeps the mate: the opponent is mated within n - 1 more moves.
    EXPECT_TRUE(MateAfter(gameRecord.gamePosition, move, c.moves)) << MoveText(move);
  }
}

TEST(Search, ThinkDrawsByRepetitionInTheGame) {
  InitSearchTables();
  const struct {
    const char* fen;
    std::vector<const char*> game;
    const char* move;  // nullptr: any
    int32_t low, high;
    const char* why;
  } cases[] = {
      // The knights' dance: after f6-g8 the start position stands for the third time, a draw
      // though black is a queen down; with it seen only once before, black is lost.
      {"4k1n1/8/8/8/8/8/8/3QK1N1 w - -", {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1"}, "f6g8", 0, 0,
       "a third time in the game"},
      {"4k1n1/8/8/8/8/8/8/3QK1N1 w - -", {"g1f3", "g8f6", "f3g1"}, nullptr, -MateScoreBound, -500,
       "a second time in the game"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    ClearHash();
    SetUpGame(c.fen, c.game);
    const Move move = ThinkToDepth(4);
    if (c.move) {
      EXPECT_EQ(MoveText(move), c.move);
    }
    EXPECT_GE(lastScore, c.low);
    EXPECT_LE(lastScore, c.high);
  }
}

// Search and Quiesce at the end of a path from the game position, the state set up as the
// search itself would have it at that node.
class NodeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitSearchTables(); }
  static void PreparePath(const char* fen, const std::vector<const char*>& game, const std::vector<const char*>& path,
                          uint32_t fifty) {
    SetUpGame(fen);
    gameRecord.gamePosition.fiftyCounter = fifty;  // set-ups start the count at 0
    for (const char* text : game) PlayGameMove(ParsedMove(gameRecord.gamePosition, text));
    ClearHash();
    Position& root = S.plyStack[0];
    root = gameRecord.gamePosition;
    root.cacheFlags = 0;
    S.rootBalance = int32_t(root.whiteMaterial) - int32_t(root.blackMaterial);
    BuildRepetitionIndex();
    ClearPathTable();
    std::fill(std::begin(S.movesReady), std::end(S.movesReady), false);
    S.nullMoveActive = false;
    S.nodeCount = 1;
    S.iterationDepth = 4;
    S.halvingPly = 8;
    S.inCheck[0] = SideToMoveInCheck(root);
    int ply = 0;
    for (const char* text : path) {
      Position &parent = S.plyStack[ply], &child = S.plyStack[ply + 1];
      InsertPathKey(parent.hashKey);
      const Move m = ParsedMove(parent, text);
      CopyPlayState(child, parent);
      MakeMove(child, m);
      S.captureSquare[ply] = int8_t(parent.board[m.to] != Empty ? m.to : ply == 0 ? -MaxPly : -ply);
      S.inCheck[++ply] = SideToMoveInCheck(child);
    }
    S.searchPly = ply;
  }
};

enum Probe { SearchDepth8, QuiesceHere, QuiesceEnteredAPlyEarlier };

TEST_F(NodeTest, MatesStalematesAndDrawsAtTheNode) {
  const char* backRank = "6k1/5ppp/8/8/8/8/8/R5K1 w - -";
  const char* queenUp = "4k1n1/8/8/8/8/8/8/3QK1N1 w - -";
  const std::vector<const char*> dance = {"g1f3", "g8f6", "f3g1", "f6g8"};
  const struct {
    const char* fen;
    std::vector<const char*> game, path;
    uint32_t fifty;
    Probe probe;
    int32_t low, high;  // the score for the side to move at the node
    const char* why;
    int32_t alpha = -ScoreBound, beta = ScoreBound;
  } cases[] = {
      {backRank, {}, {"a1a8"}, 0, SearchDepth8, 1 - MateScore, 1 - MateScore, "mated at ply 1"},
      {backRank, {}, {"a1a8"}, 0, QuiesceHere, 1 - MateScore, 1 - MateScore, "mated at ply 1"},
      {"6k1/1p3ppp/8/8/8/8/7P/R5K1 w - -", {}, {"h2h3", "b7b6", "a1a8"}, 0, SearchDepth8, 3 - MateScore,
       3 - MateScore, "two pawn moves, neither giving air, then mate at ply 3"},
      {"k7/2K5/8/1Q6/8/8/8/8 w - -", {}, {"b5b6"}, 0, SearchDepth8, 0, 0, "Qb6 stalemates the king on a8"},
      {queenUp, {}, dance, 0, SearchDepth8, 0, 0, "four knight moves back to the root: a repetition"},
      {queenUp, {}, {"g1f3", "g8f6", "f3g1", "f6h5"}, 0, SearchDepth8, 501, MateScoreBound, "no repetition"},
      {queenUp, {"g1f3", "g8f6"}, {"f3g1", "f6g8"}, 0, SearchDepth8, 501, MateScoreBound,
       "a position seen once in the game is no draw when reached again"},
      {queenUp, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"}, {"f3g1", "f6g8"}, 0, SearchDepth8, 0, 0,
       "reached a third time"},
      {backRank, {}, {"a1a8"}, 99, SearchDepth8, 1 - MateScore, 1 - MateScore, "the 100th half-move mates"},
      {backRank, {}, {"a1a2"}, 99, SearchDepth8, 0, 0, "the 100th half-move without mate: drawn, a rook up"},
      {backRank, {}, {"a1a2"}, 90, SearchDepth8, -MateScoreBound, -51, "ten half-moves to go: lost"},
      // After b6, white has Ra8 mate and no capture: only the entry ply looks for quiet mates.
      {"6k1/1p3ppp/8/8/8/8/8/R5K1 b - -", {}, {"b7b6"}, 0, QuiesceHere, MateInOneScore - 1, MateInOneScore - 1,
       "a quiet mate at the entry ply"},
      {"6k1/1p3ppp/8/8/8/8/8/R5K1 b - -", {}, {"b7b6"}, 0, QuiesceEnteredAPlyEarlier, -100, 100,
       "stands pat: a rook against four pawns"},
      // Ra2+ Kh1 Ra1+ leaves Kg2, back to the root, as white's only move; behind, at the entry
      // ply, white takes the repetition; entered earlier, it fails low.
      {"k7/1p6/8/8/8/P7/6KP/r7 b - -", {}, {"a1a2", "g2h1", "a2a1"}, 10, QuiesceHere, 0, 0,
       "the repeating evasion", -100, 100},
      {"k7/1p6/8/8/8/P7/6KP/r7 b - -", {}, {"a1a2", "g2h1", "a2a1"}, 10, QuiesceEnteredAPlyEarlier, -100, -100,
       "no repetition test off the entry ply", -100, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    PreparePath(c.fen, c.game, c.path, c.fifty);
    int32_t score;
    if (c.probe == SearchDepth8) {
      score = Search(8, c.alpha, c.beta, FullNode);
    } else {
      S.quiescenceEntryPly = S.searchPly - (c.probe == QuiesceHere ? 0 : 1);
      score = Quiesce(c.alpha, c.beta);
    }
    EXPECT_GE(score, c.low);
    EXPECT_LE(score, c.high);
  }
}

// Think over positions of random games: the game position is left byte for byte as it was,
// the score stays within the mate bounds, the move is legal, and the search leaves its path
// state clean.
TEST(Search, RandomGamesKeepTheSearchStateSound) {
  InitSearchTables();
  std::mt19937 random(20261207);
  int searches = 0;
  for (int game = 0; game < 5; ++game) {
    SCOPED_TRACE(game);
    NewGame();
    for (int ply = 0; ply < 48; ++ply) {
      Position legal = gameRecord.gamePosition;
      legal.cacheFlags = 0;
      GenerateMoves(legal);
      if (legal.moveCount == 0) break;
      if (ply % 6 == 5) {
        Position before;
        std::memcpy(&before, &gameRecord.gamePosition, sizeof before);
        const Move move = ThinkToDepth(3 + ply % 2);
        ++searches;
        EXPECT_EQ(std::memcmp(&before, &gameRecord.gamePosition, sizeof before), 0);
        EXPECT_LE(std::abs(lastScore), MateScore);
        EXPECT_TRUE(std::any_of(legal.moveList + 1, legal.moveList + legal.moveCount + 1,
                                [&](const Move& m) { return SameMove(m, move); }))
            << MoveText(move);
        EXPECT_EQ(S.searchPly, 0);
        EXPECT_FALSE(S.nullMoveActive);
        EXPECT_EQ(std::count(std::begin(S.movesReady), std::end(S.movesReady), true), 0);
        EXPECT_EQ(S.pathTable[0], 1u);
        EXPECT_EQ(std::count(S.pathTable + 1, S.pathTable + PathSlots, 0ull), PathSlots - 1) << "path keys left";
      }
      PlayGameMove(legal.moveList[1 + random() % legal.moveCount]);
    }
  }
  EXPECT_GE(searches, 30);
}

}  // namespace
