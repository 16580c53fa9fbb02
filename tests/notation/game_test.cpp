#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "game_test_util.h"
#include "notation/notation.h"

namespace {

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    NewGame();
  }
};

void PlayLine(const std::vector<std::string>& line) {
  for (const std::string& text : line) ASSERT_TRUE(PlayText(text)) << text;
}

TEST_F(GameTest, NewGameStartsAFreshRecord) {
  ASSERT_TRUE(SetupGame("4k3/8/8/8/8/8/4P3/4K3 b - -"));
  ASSERT_TRUE(PlayText("e8d8"));
  NewGame();
  const GameRecord& g = gameRecord;
  EXPECT_TRUE(g.startFen.empty());
  EXPECT_EQ(g.moveNumber, 1);
  EXPECT_EQ(g.gameKeyIndex, 0);
  EXPECT_EQ(g.gameKeys[0], g.gamePosition.hashKey);
  EXPECT_EQ(g.gamePosition.sideToMove, White);
  EXPECT_GE(g.timeReserve, 1.0);
  EXPECT_EQ(CheckGameEnd(), NoGameEnd);
}

TEST_F(GameTest, MoveNumberCountsFullMovesFromTheSetUp) {
  // A text's own move number is ignored: every set-up starts at move 1.
  ASSERT_TRUE(SetupGame("4k3/8/8/8/8/8/4P3/4K3 b - - 12 40"));
  EXPECT_EQ(gameRecord.moveNumber, 1);
  ASSERT_TRUE(PlayText("e8d8"));
  EXPECT_EQ(gameRecord.moveNumber, 2);  // black moved: a new full move begins
  ASSERT_TRUE(PlayText("e2e4"));
  EXPECT_EQ(gameRecord.moveNumber, 2);
  ASSERT_TRUE(PlayText("d8e8"));
  EXPECT_EQ(gameRecord.moveNumber, 3);
  // The entries sit under the full move at the time of each move.
  EXPECT_EQ(MoveText(gameRecord.gameMoves[Black][1].move), "e8d8");
  EXPECT_EQ(MoveText(gameRecord.gameMoves[White][2].move), "e2e4");
  EXPECT_EQ(MoveText(gameRecord.gameMoves[Black][2].move), "d8e8");
  EXPECT_EQ(gameRecord.gameMoves[White][2].mover, WhitePawn);
}

TEST_F(GameTest, EntriesKeepTheMoverAndTheCapturedMan) {
  PlayLine({"e2e4", "d7d5", "e4d5", "d8d5"});
  const GameMoveEntry& pawnTakes = gameRecord.gameMoves[White][2];
  EXPECT_EQ(pawnTakes.mover, WhitePawn);
  EXPECT_EQ(pawnTakes.captured, BlackPawn);
  const GameMoveEntry& queenTakes = gameRecord.gameMoves[Black][2];
  EXPECT_EQ(queenTakes.mover, BlackQueen);
  EXPECT_EQ(queenTakes.captured, WhitePawn);
  // The recapture restarted the key history.
  EXPECT_EQ(gameRecord.gameKeyIndex, 0);
  EXPECT_EQ(gameRecord.gameKeys[0], gameRecord.gamePosition.hashKey);
}

TEST_F(GameTest, FailedSetupChangesNothing) {
  const char* fen = "4k3/8/8/8/8/8/4P3/4K3 b - -";
  ASSERT_TRUE(SetupGame(fen));
  ASSERT_TRUE(PlayText("e8d8"));
  ASSERT_TRUE(PlayText("e2e4"));
  GameSnapshot before = TakeSnapshot();
  EXPECT_FALSE(SetupGame("8/8/8/8/8/8/8/8/8 w - -"));  // nine ranks
  EXPECT_FALSE(SetupGame("4k3/8/8/8/8/8/8/4K3"));       // no side to move
  EXPECT_EQ(gameRecord.startFen, fen);
  ExpectSnapshot(before);
  // The takeback still replays from the accepted text.
  TakeBack();
  EXPECT_EQ(gameRecord.gamePosition.board[MakeSquare(4, 1)], WhitePawn);
  EXPECT_EQ(gameRecord.gamePosition.board[MakeSquare(3, 7)], BlackKing);
  EXPECT_EQ(gameRecord.moveNumber, 2);
}

// Full move 1 of a game set up with black to move has no white half. A stale white entry 1
// from an earlier game must never be replayed.
TEST_F(GameTest, TakeBackAcrossASetUpWithBlackToMove) {
  const char* fen = "4k3/8/8/8/8/8/4P3/4K3 b - -";
  gameRecord.gameMoves[White][1].move = Move{0, 12, 28, FlagDoubleStep, 0};  // e2e4, stale
  ASSERT_TRUE(SetupGame(fen));
  const GameSnapshot setUp = TakeSnapshot();

  TakeBack();  // nothing played yet: unchanged
  ExpectSnapshot(setUp);

  ASSERT_TRUE(PlayText("e8d8"));
  const GameSnapshot afterFirst = TakeSnapshot();
  TakeBack();  // "undo" of black's first move gives the set-up position
  ExpectSnapshot(setUp);
  EXPECT_EQ(gameRecord.gamePosition.sideToMove, Black);

  PlayLine({"e8d8", "e2e4", "d8e8"});
  TakeBack();  // "remove": two half-moves
  TakeBack();
  ExpectSnapshot(afterFirst);
  TakeBack();
  ExpectSnapshot(setUp);
  TakeBack();
  ExpectSnapshot(setUp);
}

TEST_F(GameTest, UndoAndRemoveFromTheStartPosition) {
  const GameSnapshot start = TakeSnapshot();
  TakeBack();
  ExpectSnapshot(start);
  std::vector<GameSnapshot> seen{start};
  for (const char* text : {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "g8f6", "e1g1"}) {
    ASSERT_TRUE(PlayText(text));
    seen.push_back(TakeSnapshot());
  }
  TakeBack();  // undo
  ExpectSnapshot(seen[6]);
  EXPECT_EQ(gameRecord.moveNumber, 4);
  TakeBack();  // remove
  TakeBack();
  ExpectSnapshot(seen[4]);
  EXPECT_EQ(gameRecord.moveNumber, 3);
  EXPECT_EQ(gameRecord.gamePosition.sideToMove, White);
}

struct EndCase {
  const char* name;
  const char* fen;
  uint32_t fiftyCounter;
  GameEndCode expected;
};

// Material: a bishop 300, a knight 250 on a corner up to 315 on d4/e4/d5/e5, a pawn 100.
const EndCase endCases[] = {
    {"fool's mate", "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", 0, BlackMates},
    {"back-rank mate", "R5k1/5ppp/8/8/8/8/8/6K1 b - -", 0, WhiteMates},
    {"stalemate", "7k/5Q2/6K1/8/8/8/8/8 b - -", 0, Stalemate},
    {"mate before fifty moves", "R5k1/5ppp/8/8/8/8/8/6K1 b - -", 100, WhiteMates},
    {"stalemate before fifty moves", "7k/5Q2/6K1/8/8/8/8/8 b - -", 120, Stalemate},
    {"stalemate before material", "k7/8/1K6/8/8/8/7B/8 b - -", 0, Stalemate},
    {"fifty moves before material", "8/8/3k4/8/8/3K4/8/8 w - -", 100, FiftyMoves},
    {"ninety-nine half-moves", "8/8/3k4/8/8/2R5/3K4/8 w - -", 99, NoGameEnd},
    {"fifty moves", "8/8/3k4/8/8/2R5/3K4/8 w - -", 100, FiftyMoves},
    {"bare kings", "8/8/3k4/8/8/3K4/8/8 w - -", 0, InsufficientMaterial},
    {"lone bishop", "8/8/3k4/8/8/3K4/8/2B5 b - -", 0, InsufficientMaterial},
    {"lone black bishop", "8/8/3k4/8/8/3K4/8/2b5 w - -", 0, InsufficientMaterial},
    {"knight on a1 (250)", "8/8/3k4/8/8/3K4/8/N7 w - -", 0, InsufficientMaterial},
    {"knight on c3 (293)", "8/8/3k4/8/8/2NK4/8/8 w - -", 0, InsufficientMaterial},
    {"knight on d4 (315)", "8/8/3k4/8/3N4/3K4/8/8 w - -", 0, NoGameEnd},
    {"knight on e5 (315)", "8/8/3k4/4n3/8/3K4/8/8 w - -", 0, NoGameEnd},
    {"two knights (500 and more)", "8/8/3k4/8/8/3K4/8/NN6 w - -", 0, NoGameEnd},
    {"knight against knight", "n7/8/3k4/8/8/3K4/8/N7 w - -", 0, NoGameEnd},
    {"bishop against knight", "n7/8/3k4/8/8/3K4/8/2B5 w - -", 0, NoGameEnd},
    // c1: rank 0 + file 2 even; f8: rank 7 + file 5 = 12 even; c8: 7 + 2 = 9 odd.
    {"bishops on the same colour", "5b2/8/3k4/8/8/3K4/8/2B5 w - -", 0, InsufficientMaterial},
    {"bishops on different colours", "2b5/8/3k4/8/8/3K4/8/2B5 w - -", 0, NoGameEnd},
    {"pawn", "8/8/3k4/8/8/3K4/4P3/8 w - -", 0, NoGameEnd},
    {"bishop against bishop and pawn", "5b2/4p3/3k4/8/8/3K4/8/2B5 w - -", 0, NoGameEnd},
    {"start", StartFen, 0, NoGameEnd},
};

TEST_F(GameTest, PositionEndCodesAndPrecedence) {
  for (const EndCase& c : endCases) {
    SCOPED_TRACE(c.name);
    Position pos{};
    ASSERT_TRUE(SetFromFen(pos, c.fen));
    pos.fiftyCounter = c.fiftyCounter;
    EXPECT_EQ(PositionEnd(pos), c.expected);
    if (c.fiftyCounter == 0) {
      ASSERT_TRUE(SetupGame(c.fen));
      EXPECT_EQ(CheckGameEnd(), c.expected);
    }
  }
}

// Knights out and back twice. codes[i] is the check at key index i (after i half-moves):
// 0 the start, 1 Nf3, 2 Nf3 Nf6, 3 Ng1, 4 the start again; 5 to 7 repeat 1 to 3; 8 is the
// third occurrence of the start, 9 and 10 the third of 1 and 2.
TEST_F(GameTest, ThirdOccurrenceEndsTheGame) {
  const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  std::vector<GameEndCode> codes{CheckGameEnd()};
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(PlayText(shuffle[i % 4]));
    codes.push_back(CheckGameEnd());
  }
  std::vector<GameEndCode> want(11, NoGameEnd);
  for (int i = 8; i <= 10; ++i) want[i] = DrawByRepetition;
  EXPECT_EQ(codes, want);
}

// After f2-f4 beside the pawn on e4 the key carries (castling 8) XOR (epFile 5) = 13. Once the
// black rook has gone to g8 and back, castling is 0 and epFile 13: 0 XOR 13 = 13 again, so the
// same placement gets the same key although it is a different position.
TEST_F(GameTest, KeyCollisionIsNoRepetition) {
  ASSERT_TRUE(SetupGame("4k2r/8/8/8/4p3/8/5P2/4K1N1 w k -"));
  ASSERT_TRUE(PlayText("f2f4"));
  ASSERT_EQ(gameRecord.gamePosition.epFile, 5);
  ASSERT_EQ(gameRecord.gamePosition.castling & 15, CastleBlackKing);
  const char* cycle[] = {"h8g8", "g1f3", "g8h8", "f3g1"};
  std::vector<GameEndCode> codes{CheckGameEnd()};  // codes[i]: the check at key index i
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(PlayText(cycle[i % 4]));
    codes.push_back(CheckGameEnd());
  }
  // The collision is real: index 0 (after f2-f4) and index 4 share the key.
  ASSERT_EQ(gameRecord.gameKeys[0], gameRecord.gameKeys[4]);
  ASSERT_NE(gameRecord.gameKeyCastling[0], gameRecord.gameKeyCastling[4]);
  // Index 8 is only the second occurrence of index 4, so the game goes on; index 9 is the
  // third occurrence of index 1 (rook on g8, white to move), and so on.
  std::vector<GameEndCode> want(13, NoGameEnd);
  for (int i = 9; i <= 12; ++i) want[i] = DrawByRepetition;
  EXPECT_EQ(codes, want);
}

// A king walk with a white pawn push every tenth full move keeps the fifty-move rule away for
// 320 full moves, past two growths of the move arrays.
TEST_F(GameTest, LongGameKeepsRecordingAndTakesBack) {
  ASSERT_TRUE(SetupGame("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - -"));
  std::vector<std::string> pushes;
  for (char file = 'a'; file <= 'h'; ++file)
    for (char rank = '2'; rank <= '5'; ++rank)
      pushes.push_back(std::string{file, rank, file, static_cast<char>(rank + 1)});

  std::vector<GameSnapshot> seen{TakeSnapshot()};
  bool whiteOnE1 = true, blackOnE8 = true;
  size_t pushIndex = 0;
  for (int full = 1; full <= 320; ++full) {
    if (full % 10 == 0 && pushIndex < pushes.size()) {
      ASSERT_TRUE(PlayText(pushes[pushIndex++])) << full;
    } else {
      ASSERT_TRUE(PlayText(whiteOnE1 ? "e1d1" : "d1e1")) << full;
      whiteOnE1 = !whiteOnE1;
    }
    seen.push_back(TakeSnapshot());
    ASSERT_TRUE(PlayText(blackOnE8 ? "e8d8" : "d8e8")) << full;
    blackOnE8 = !blackOnE8;
    seen.push_back(TakeSnapshot());
    ASSERT_LT(gameRecord.gamePosition.fiftyCounter, 100u);
  }
  EXPECT_EQ(gameRecord.moveNumber, 321);
  EXPECT_GE(gameRecord.gameMoves[White].size(), 321u);
  EXPECT_GE(gameRecord.gameMoves[Black].size(), 321u);

  for (size_t back = seen.size() - 1; back-- > 0;) {
    TakeBack();
    SCOPED_TRACE(back);
    ExpectSnapshot(seen[back]);
    if (::testing::Test::HasFailure()) break;
  }
}

// Beyond the fifty-move end the record must still stay inside its 128 keys.
TEST_F(GameTest, KeyHistoryStaysInBoundsPastTheFiftyMoveEnd) {
  ASSERT_TRUE(SetupGame("r3k3/8/8/8/8/8/8/R3K3 w - -"));
  const char* cycle[] = {"a1b1", "a8b8", "b1a1", "b8a8"};
  for (int i = 0; i < 150; ++i) ASSERT_TRUE(PlayText(cycle[i % 4]));
  EXPECT_EQ(gameRecord.gamePosition.fiftyCounter, 150u);
  EXPECT_LT(gameRecord.gameKeyIndex, GameKeyCount);
  EXPECT_EQ(gameRecord.gameKeys[gameRecord.gameKeyIndex], gameRecord.gamePosition.hashKey);
  EXPECT_EQ(CheckGameEnd(), FiftyMoves);
  for (int i = 0; i < 60; ++i) TakeBack();
  EXPECT_EQ(gameRecord.gamePosition.fiftyCounter, 90u);
  EXPECT_EQ(gameRecord.gameKeyIndex, 90);
  EXPECT_EQ(gameRecord.gameKeys[90], gameRecord.gamePosition.hashKey);
}

}  // namespace
