// The search below the root and the quiescence search: mates against a plain full-width
// solver, draws on the path and in the game, the table, the null move, extensions and
// futility, and invariants over random games.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "notation/notation.h"
#include "search/search.h"
#include "search/search_state.h"

namespace {

SearchState& S = searchState;

struct Recorded {
  SearchEvent event;
  SearchEventData data;
  bool underNullMove;
  Move move;  // ChildSearch: the move, read while its node still holds the list
};
std::vector<Recorded> recorded;
int invariantFailures = 0;

int32_t SideMaterial(const Position& pos) {
  return pos.sideToMove == White ? pos.whiteMaterial : pos.blackMaterial;
}

bool PawnOnSixth(const Position& pos) {
  return pos.sideToMove == White ? (pos.whitePawns & 0x0000FF0000000000ull) != 0
                                 : (pos.blackPawns & 0x0000000000FF0000ull) != 0;
}

// Records every event and checks the conditions that must hold whenever it happens.
void Watch(SearchEvent event, const SearchEventData& data) {
  const Position& node = S.plyStack[data.ply];
  recorded.push_back({event, data, S.nullMoveActive,
                      event == SearchEvent::ChildSearch ? node.moveList[data.moveIndex] : NoMove});
  bool sound = true;
  switch (event) {
    case SearchEvent::NullMove:
      sound = !S.inCheck[data.ply] && !S.nullMoveActive && data.depth < (SideMaterial(node) >> 6);
      break;
    case SearchEvent::FutilityCut:
      sound = node.checkingMoveCount == 0 && CountBits(node.occupied) > 5 && !PawnOnSixth(node);
      break;
    case SearchEvent::ChildSearch:
      // The largest extension is 12 (a pawn ending); halved from halvingPly on.
      sound = data.extension >= 0 && data.extension <= (data.ply >= S.halvingPly ? 6 : 12);
      break;
  }
  if (!sound) ++invariantFailures;
}

Move Parse(Position& pos, const char* text) {
  std::string t = text;
  Move m = NoMove;
  EXPECT_TRUE(ParseMoveText(pos, t, m)) << text;
  pos.cacheFlags = 0;
  return m;
}

// Forced mate for the side to move within n moves, by plain full-width minimax. It shares
// only the move generator and make move with the search, so it checks the search's mate
// distances independently.
bool ForcesMate(const Position& pos, int n) {
  Position work = pos;
  work.cacheFlags = 0;
  GenerateMoves(work);
  for (int i = 1; i <= work.moveCount; ++i) {
    Position child = work;
    child.cacheFlags = 0;
    MakeMove(child, work.moveList[i]);
    GenerateMoves(child);
    if (child.moveCount == 0) {
      if (SideToMoveInCheck(child)) return true;
      continue;
    }
    if (n == 1) continue;
    bool everyReplyLoses = true;
    for (int j = 1; j <= child.moveCount && everyReplyLoses; ++j) {
      Position reply = child;
      reply.cacheFlags = 0;
      MakeMove(reply, child.moveList[j]);
      everyReplyLoses = ForcesMate(reply, n - 1);
    }
    if (everyReplyLoses) return true;
  }
  return false;
}

int MateDistanceInMoves(const Position& pos, int most) {
  for (int n = 1; n <= most; ++n)
    if (ForcesMate(pos, n)) return n;
  return 0;
}

class SearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    InitEndgameTables();
    BuildKingTables();
    AllocateHashMemory(8 << 20);
  }
  void SetUp() override {
    postThinking = false;
    depthLimit = 0;
    stopSearch = false;
    ClearHash();
    recorded.clear();
    invariantFailures = 0;
    searchWatcher = Watch;
  }
  void TearDown() override {
    searchWatcher = nullptr;
    depthLimit = 0;
    EXPECT_EQ(invariantFailures, 0);
  }

  // The game is `fen` and `gameMoves`; the search path continues from the game position
  // with `pathMoves`, set up as the search itself would have (path keys of the plies
  // before the last, check flags, capture squares). Search then runs at the path's end.
  void PreparePath(const char* fen, const std::vector<const char*>& gameMoves,
                   const std::vector<const char*>& pathMoves, int iteration = 4,
                   uint32_t fiftyCounter = 0) {
    ASSERT_TRUE(SetupGame(fen)) << fen;
    // Set-ups start the count at 0 whatever the text says.
    gameRecord.gamePosition.fiftyCounter = fiftyCounter;
    for (const char* text : gameMoves) {
      Position scratch = gameRecord.gamePosition;
      PlayGameMove(Parse(scratch, text));
    }
    Position& root = S.plyStack[0];
    root = gameRecord.gamePosition;
    root.cacheFlags = 0;
    S.rootBalance = int32_t(root.whiteMaterial) - int32_t(root.blackMaterial);
    BuildRepetitionIndex();
    ClearPathTable();
    std::fill(std::begin(S.movesReady), std::end(S.movesReady), false);
    S.nullMoveActive = false;
    S.nodeCount = 1;
    S.iterationDepth = iteration;
    S.halvingPly = 2 * iteration;
    S.inCheck[0] = SideToMoveInCheck(root);
    int ply = 0;
    for (const char* text : pathMoves) {
      Position& parent = S.plyStack[ply];
      InsertPathKey(parent.hashKey);
      const Move m = Parse(parent, text);
      Position& child = S.plyStack[ply + 1];
      CopyBoardState(child, parent);
      MakeMove(child, m);
      S.captureSquare[ply] = parent.board[m.to] != Empty ? int8_t(m.to)
                                                         : int8_t(ply == 0 ? -MaxPly : -ply);
      ++ply;
      S.inCheck[ply] = SideToMoveInCheck(child);
    }
    S.searchPly = ply;
  }

  static int32_t SearchHere(int32_t depth, int32_t alpha = -ScoreBound,
                            int32_t beta = ScoreBound) {
    return Search(depth, alpha, beta, 1);
  }

  static int CountEvents(SearchEvent event, int ply) {
    return int(std::count_if(recorded.begin(), recorded.end(), [&](const Recorded& r) {
      return r.event == event && r.data.ply == ply;
    }));
  }
};

struct MateCase {
  const char* fen;
  int moves;  // the mate in moves of the side to move
};

// Mates the think tests do not have yet: black's mate in two, mates in three for both.
TEST_F(SearchTest, MatesInTwoAndThreeScoreByTheirDistance) {
  const MateCase cases[] = {
      // The colour-flipped twin of the think tests' mate in two: Ra3, bxa3 b2 mate.
      {"r7/8/8/8/8/1p6/PP6/KBk5 b - - 0 1", 2},
      // Two rooks: Rb6+, Ra7+ and Rb8 mate, the king never reaching either rook.
      {"8/8/6k1/R7/8/8/8/KR6 w - - 0 1", 3},
      {"kr6/8/8/8/r7/6K1/8/8 b - - 0 1", 3},
  };
  for (const MateCase& c : cases) {
    SCOPED_TRACE(c.fen);
    ASSERT_TRUE(SetupGame(c.fen));
    ASSERT_EQ(MateDistanceInMoves(gameRecord.gamePosition, c.moves), c.moves);
    depthLimit = 2 * c.moves;
    Move move = NoMove;
    Think(move, false);
    // A mate in n moves is 2n - 1 plies away and scores 32000 - (2n - 1).
    EXPECT_EQ(lastScore, MateScore - (2 * c.moves - 1));
    // The move played keeps the mate: the opponent is mated within n - 1 more moves.
    Position after = gameRecord.gamePosition;
    after.cacheFlags = 0;
    MakeMove(after, move);
    GenerateMoves(after);
    bool everyReplyLoses = after.moveCount > 0;
    for (int j = 1; j <= after.moveCount && everyReplyLoses; ++j) {
      Position reply = after;
      reply.cacheFlags = 0;
      MakeMove(reply, after.moveList[j]);
      everyReplyLoses = ForcesMate(reply, c.moves - 1);
    }
    EXPECT_TRUE(everyReplyLoses) << MoveText(move);
  }
}

TEST_F(SearchTest, MateAndStalemateAtTheNodeInBothSearches) {
  // Back-rank mate after Ra8: black at ply 1 is mated, 1 - 32000.
  PreparePath("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", {}, {"a1a8"});
  EXPECT_EQ(SearchHere(8), 1 - MateScore);
  EXPECT_EQ(Quiesce(-ScoreBound, ScoreBound), 1 - MateScore);
  // Two pawn moves first (neither gives the king air): the mate is at ply 3, 3 - 32000.
  PreparePath("6k1/1p3ppp/8/8/8/8/7P/R5K1 w - - 0 1", {}, {"h2h3", "b7b6", "a1a8"});
  EXPECT_EQ(SearchHere(8), 3 - MateScore);
  EXPECT_EQ(Quiesce(-ScoreBound, ScoreBound), 3 - MateScore);
  // Qb6 stalemates the king on a8 (a7, b7, b8 covered, no check): 0 despite the queen.
  PreparePath("k7/2K5/8/1Q6/8/8/8/8 w - - 0 1", {}, {"b5b6"});
  EXPECT_EQ(SearchHere(8), 0);
}

TEST_F(SearchTest, RepetitionOnThePathScoresZeroDespiteTheMaterial) {
  // White is a queen up. Four knight moves return to the root position at ply 4.
  const char* fen = "4k1n1/8/8/8/8/8/8/3QK1N1 w - - 0 1";
  const std::vector<const char*> back = {"g1f3", "g8f6", "f3g1", "f6g8"};
  PreparePath(fen, {}, back);
  EXPECT_EQ(SearchHere(8), 0);
  // Its path slot taken by another key, the position is found among the earlier plies.
  PreparePath(fen, {}, back);
  const uint64_t key = S.plyStack[4].hashKey;
  S.pathTable[uint32_t(key) % PathSlots] = key ^ 0x100000000ull;
  EXPECT_EQ(SearchHere(8), 0);
  // A path that does not come back keeps the queen.
  PreparePath(fen, {}, {"g1f3", "g8f6", "f3g1", "f6h5"});
  EXPECT_GT(SearchHere(8), 500);
}

TEST_F(SearchTest, GamePositionCountsAsRepeatedOnlyAfterTwoOccurrences) {
  const char* fen = "4k1n1/8/8/8/8/8/8/3QK1N1 w - - 0 1";
  // The root position occurred once before the root: reaching it again is no draw.
  PreparePath(fen, {"g1f3", "g8f6"}, {"f3g1", "f6g8"});
  EXPECT_GT(SearchHere(8), 500);
  // After it occurred twice in the game, reaching it a third time in the search is.
  PreparePath(fen, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"}, {"f3g1", "f6g8"});
  EXPECT_EQ(SearchHere(8), 0);
}

TEST_F(SearchTest, FiftyMoveRuleSparesOnlyTheMatedSide) {
  // Ra8 is the hundredth half-move without capture or pawn move.
  const char* fen = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";
  PreparePath(fen, {}, {"a1a8"}, 4, 99);
  EXPECT_EQ(SearchHere(8), 1 - MateScore);
  // Any other move ends the game drawn, a rook up or not.
  PreparePath(fen, {}, {"a1a2"}, 4, 99);
  EXPECT_EQ(SearchHere(8), 0);
  PreparePath(fen, {}, {"a1a2"}, 4, 90);
  EXPECT_LT(SearchHere(8), -50);
  // Through Think: the root move mates and is scored by the mating-check convention.
  ASSERT_TRUE(SetupGame(fen));
  gameRecord.gamePosition.fiftyCounter = 99;
  depthLimit = 3;
  Move move = NoMove;
  Think(move, false);
  EXPECT_EQ(MoveText(move), "a1a8");
  EXPECT_EQ(lastScore, MateInOneScore);
}

TEST_F(SearchTest, MateInOneStoredAtOnePlyIsProbedRightAtAnother) {
  // After b6, white at ply 1 mates with Ra8: 31999 - 1, stored with depth one ply.
  PreparePath("6k1/1p3ppp/8/8/8/8/8/R5K1 b - - 0 1", {}, {"b7b6"});
  EXPECT_EQ(SearchHere(8), MateInOneScore - 1);
  const uint64_t key = S.plyStack[1].hashKey;
  uint16_t moveIndex = 0;
  bool threat = false;
  // Found again at any depth; at ply 3 the mate is two plies further from the root.
  EXPECT_EQ(ProbeHash(uint32_t(key), uint32_t(key >> 32), 40, -ScoreBound, ScoreBound,
                      moveIndex, threat, 1),
            MateInOneScore - 1);
  EXPECT_EQ(ProbeHash(uint32_t(key), uint32_t(key >> 32), 40, -ScoreBound, ScoreBound,
                      moveIndex, threat, 3),
            MateInOneScore - 3);
}

TEST_F(SearchTest, HashMoveIsSearchedFirst) {
  const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
  auto firstChildAtPlyOne = [] {
    for (const Recorded& r : recorded)
      if (r.event == SearchEvent::ChildSearch && r.data.ply == 1) return r.data.moveIndex;
    return 0;
  };
  PreparePath(fen, {}, {"f1c4"});
  SearchHere(8);
  const int natural = firstChildAtPlyOne();
  ASSERT_NE(natural, 0);
  const int count = S.plyStack[1].moveCount;
  ASSERT_GT(count, 2);
  for (int hashMove : {1, count, count / 2}) {
    if (hashMove == natural) continue;
    SCOPED_TRACE(hashMove);
    ClearHash();
    recorded.clear();
    PreparePath(fen, {}, {"f1c4"});
    const uint64_t key = S.plyStack[1].hashKey;
    // Shallower than the search and only an upper bound: it gives a move, no cutoff.
    StoreHash(uint32_t(key), uint32_t(key >> 32), 4, 0, uint16_t(hashMove), BoundUpper, 1, 0);
    SearchHere(8);
    EXPECT_EQ(firstChildAtPlyOne(), hashMove);
  }
}

TEST_F(SearchTest, NullMoveNeverInCheckAndOnlyWithEnoughMaterial) {
  struct Case {
    const char* fen;
    const char* move;
    int depth;
    bool passes;
  };
  const Case cases[] = {
      // Bb5+ puts black in check: no pass; Bc4 does not.
      {"rnbqkbnr/ppp2ppp/3p4/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 3", "f1b5", 6, false},
      {"rnbqkbnr/ppp2ppp/3p4/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 3", "f1c4", 6, true},
      // A lone rook is 500: 500 / 64 = 7, so depths up to 6 quarter plies pass, 7 does not.
      {"4k3/p7/8/8/8/8/8/R3K3 b - - 0 1", "a7a6", 6, true},
      {"4k3/p7/8/8/8/8/8/R3K3 b - - 0 1", "a7a6", 7, false},
      // A bare king (material 0) never passes.
      {"4k3/8/8/8/8/8/1P6/R3K3 w - - 0 1", "a1a2", 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " " + c.move + " depth " + std::to_string(c.depth));
    recorded.clear();
    ClearHash();
    PreparePath(c.fen, {}, {c.move});
    SearchHere(c.depth);
    EXPECT_EQ(CountEvents(SearchEvent::NullMove, 1) > 0, c.passes);
  }
}

TEST_F(SearchTest, NullMovesAreNeverNestedAndNodesBelowThemAreSearched) {
  // A middlegame searched deep enough for null moves with real subtrees below them; the
  // watcher fails the test for any pass in check, under another pass or without material.
  ASSERT_TRUE(SetupGame("r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9"));
  depthLimit = 6;
  Move move = NoMove;
  Think(move, false);
  int passes = 0, belowPass = 0;
  for (const Recorded& r : recorded) {
    if (r.event == SearchEvent::NullMove) ++passes;
    if (r.event == SearchEvent::ChildSearch && r.underNullMove) ++belowPass;
  }
  EXPECT_GT(passes, 0);
  EXPECT_GT(belowPass, 0);
}

TEST_F(SearchTest, ExtensionsAreHalvedFromTheHalvingPly) {
  // After d6, white at ply 1 has the check Bb5+ (4 quarter plies, 2 when halved) and
  // no move that earns another extension.
  const char* fen = "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2";
  struct Case {
    int iteration;  // halvingPly = 2 * iteration
    int checkExtension;
  };
  for (const Case c : {Case{5, 4}, Case{1, 4}, Case{0, 2}}) {
    SCOPED_TRACE(c.iteration);
    recorded.clear();
    ClearHash();
    PreparePath(fen, {}, {"d7d6"}, c.iteration);
    Position& node = S.plyStack[1];
    const Move check = Parse(node, "f1b5");
    SearchHere(8);
    bool seen = false;
    for (const Recorded& r : recorded) {
      if (r.event != SearchEvent::ChildSearch || r.data.ply != 1) continue;
      const Move& m = r.move;
      if (m.from == check.from && m.to == check.to) {
        seen = true;
        EXPECT_EQ(r.data.extension, c.checkExtension);
      } else {
        EXPECT_EQ(r.data.extension, 0) << MoveText(m);
      }
    }
    EXPECT_TRUE(seen);
  }
}

TEST_F(SearchTest, CaptureBelowANullMoveIsNoRecapture) {
  // White at ply 1 passes (depth 12 leaves a real search below); black's Nxf4 at ply 2
  // would count as a recapture if the ply-1 capture square still held f4 from an
  // earlier node, as if white had just captured there.
  PreparePath("4k3/pp3ppp/8/3n4/5P2/8/PP4PP/R3K3 b - - 0 1", {}, {"a7a6"});
  S.captureSquare[1] = 29;  // f4, left by some earlier node at this ply
  SearchHere(12);
  int seen = 0;
  for (const Recorded& r : recorded) {
    if (r.event != SearchEvent::ChildSearch || r.data.ply != 2 || !r.underNullMove) continue;
    if (r.move.from != 35 || r.move.to != 29) continue;  // d5xf4
    ++seen;
    EXPECT_EQ(r.data.extension, 0);
  }
  EXPECT_GT(seen, 0);
}

TEST_F(SearchTest, FutilityNeverWithACheckASixthRankPawnOrFewMen) {
  struct Case {
    const char* fen;  // the node itself: the path is one quiet king move to it
    const char* move;
    bool cuts;
  };
  const Case cases[] = {
      // Level material, far below alpha = 3000, frontier depth: the quiet moves go.
      {"r3k3/pppp4/8/8/8/8/PPPP4/R3K3 b - - 0 1", "e8f8", true},
      // Rh8+ is available: no cut.
      {"r3k3/pppp4/8/8/8/8/PPPP4/4K2R b - - 0 1", "e8f8", false},
      // A white pawn on h6 (the sixth rank) may be about to promote: no cut.
      {"r3k3/ppp5/7P/8/8/8/PPP5/R3K3 b - - 0 1", "e8f8", false},
      // Five men are too few to trust the material: no cut.
      {"4k3/8/8/8/8/8/PPP5/4K3 b - - 0 1", "e8f8", false},
      // The same for black: a black pawn on b3 is on black's sixth rank.
      {"r3k3/pppp4/8/8/8/8/PPPP4/R3K3 w - - 0 1", "e1f1", true},
      {"r3k3/ppp5/8/8/8/1p6/PPP5/R3K3 w - - 0 1", "e1f1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    recorded.clear();
    ClearHash();
    PreparePath(c.fen, {}, {c.move});
    SearchHere(OnePly, 3000, 3001);
    EXPECT_EQ(CountEvents(SearchEvent::FutilityCut, 1) > 0, c.cuts);
  }
}

TEST_F(SearchTest, QuiescenceLooksForAQuietMateOnlyAtItsEntryPly) {
  // After b6, white at ply 1 has Ra8 mate and no capture.
  PreparePath("6k1/1p3ppp/8/8/8/8/8/R5K1 b - - 0 1", {}, {"b7b6"});
  S.quiescenceEntryPly = 1;
  EXPECT_EQ(Quiesce(-ScoreBound, ScoreBound), MateInOneScore - 1);
  // Entered one ply higher, the node without captures stands pat on its evaluation.
  S.quiescenceEntryPly = 0;
  const int32_t standPat = Quiesce(-ScoreBound, ScoreBound);
  Position copy = S.plyStack[1];
  copy.cacheFlags = 0;
  EXPECT_EQ(standPat, Evaluate(-ScoreBound, ScoreBound, copy));
  // A stand-pat score at or above beta comes back unchanged (fail-soft).
  EXPECT_EQ(Quiesce(-ScoreBound, standPat - 50), standPat);
}

TEST_F(SearchTest, QuiescenceInCheckBehindTakesTheRepeatingEvasion) {
  // After Ra1+ white's only evasion is Kg2 (g1 is on the rook's rank, h2 is its own pawn).
  const char* fen = "k7/1p6/8/8/8/P7/r6P/7K b - - 0 1";
  PreparePath(fen, {}, {"a2a1"}, 4, 10);
  ASSERT_TRUE(S.inCheck[1]);
  Position& node = S.plyStack[1];
  Position after;
  CopyBoardState(after, node);
  MakeMove(after, Parse(node, "h1g2"));
  // Pretend that the position after Kg2 is already on the path.
  const int32_t alpha = -100, beta = 100;
  PreparePath(fen, {}, {"a2a1"}, 4, 10);
  InsertPathKey(after.hashKey);
  S.quiescenceEntryPly = 0;  // plain mode: the rook up for black is seen
  EXPECT_EQ(Quiesce(alpha, beta), alpha);
  PreparePath(fen, {}, {"a2a1"}, 4, 10);
  InsertPathKey(after.hashKey);
  S.quiescenceEntryPly = 1;  // repetition-aware at the entry ply with alpha below 0
  EXPECT_EQ(Quiesce(alpha, beta), 0);
}

// Think over positions of random games: the game position is left byte for byte as it
// was, the score stays within the mate bounds, the move is legal, and the search leaves
// its path state clean.
TEST_F(SearchTest, RandomGamesKeepTheSearchStateSound) {
  std::mt19937 random(20261207);
  int searches = 0;
  for (int game = 0; game < 5; ++game) {
    SCOPED_TRACE(game);
    NewGame();
    for (int ply = 0; ply < 48; ++ply) {
      Position probe = gameRecord.gamePosition;
      probe.cacheFlags = 0;
      GenerateMoves(probe);
      if (probe.moveCount == 0) break;
      if (ply % 6 == 5) {
        Position before;
        std::memcpy(&before, &gameRecord.gamePosition, sizeof before);
        depthLimit = 3 + ply % 2;
        recorded.clear();
        Move move = NoMove;
        Think(move, false);
        ++searches;
        EXPECT_EQ(std::memcmp(&before, &gameRecord.gamePosition, sizeof before), 0);
        EXPECT_LE(lastScore, MateScore);
        EXPECT_GE(lastScore, -MateScore);
        bool legal = false;
        for (int i = 1; i <= probe.moveCount; ++i)
          legal |= probe.moveList[i].from == move.from && probe.moveList[i].to == move.to &&
                   probe.moveList[i].flags == move.flags;
        EXPECT_TRUE(legal) << MoveText(move);
        EXPECT_EQ(S.searchPly, 0);
        EXPECT_FALSE(S.nullMoveActive);
        EXPECT_EQ(std::count(std::begin(S.movesReady), std::end(S.movesReady), true), 0);
        EXPECT_EQ(S.pathTable[0], 1u);
        EXPECT_EQ(std::count(S.pathTable + 1, S.pathTable + PathSlots, 0ull), PathSlots - 1)
            << "path keys left behind";
      }
      PlayGameMove(probe.moveList[1 + random() % probe.moveCount]);
    }
  }
  EXPECT_GE(searches, 30);
}

}  // namespace
