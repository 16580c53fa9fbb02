// The game record: set-ups, take-backs against the positions seen on the way, the end of the
// game by the board and by repetition, and random games played through the record.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "board/board.h"
#include "notation/notation.h"

namespace {

// What a take-back must restore: the position's identity and the record's counters.
struct Snapshot {
  uint64_t hashKey;
  std::vector<int8_t> board;
  int castling, epFile, sideToMove, fiftyCounter, moveNumber;
  std::vector<uint64_t> keys;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take() {
  const GameRecord& g = gameRecord;
  const Position& p = g.gamePosition;
  return {p.hashKey, {p.board, p.board + 64}, p.castling, p.epFile, p.sideToMove, int(p.fiftyCounter), g.moveNumber,
          {g.gameKeys, g.gameKeys + g.gameKeyIndex + 1}};
}

bool Play(std::string text) {
  Move move;
  return ParseMoveText(gameRecord.gamePosition, text, move) && (PlayGameMove(move), true);
}

// The position as text for the reader to read back; each empty square is a '1'.
std::string WriteFen(const Position& pos) {
  std::string text, rights;
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0; file < 8; ++file) {
      const int code = pos.board[MakeSquare(file, rank)];
      text += code == Empty ? '1' : PieceLetters[code];
    }
    text += rank ? "/" : pos.sideToMove == White ? " w " : " b ";
  }
  for (int i = 0; i < 4; ++i) rights += pos.castling & (1 << i) ? std::string(1, "QKqk"[i]) : "";
  text += rights.empty() ? "-" : rights;
  if (pos.epFile == NoEnPassant) return text + " -";
  return text + ' ' + static_cast<char>('a' + pos.epFile) + (pos.sideToMove == White ? '6' : '3');
}

class GameTest : public testing::Test {
  void SetUp() override { InitTables(), NewGame(); }
};

// Full move 1 of a game set up with black to move has no white half; a stale white entry
// from an earlier game must never be replayed. A refused set-up changes nothing.
TEST_F(GameTest, TakeBackAcrossASetUpWithBlackToMove) {
  gameRecord.gameMoves[White][1].move = Move{0, E2, E4, FlagDoubleStep, 0};
  const char* fen = "4k3/8/8/8/8/8/4P3/4K3 b - - 12 40";  // the text's move number is ignored
  const auto takeBack = [](int halfMoves) { while (halfMoves-- > 0) TakeBack(); return Take(); };
  ASSERT_TRUE(SetupGame(fen));
  const Snapshot setUp = Take();
  EXPECT_TRUE(takeBack(1) == setUp);
  ASSERT_TRUE(Play("e8d8"));
  const Snapshot afterFirst = Take();
  EXPECT_TRUE(takeBack(1) == setUp);
  ASSERT_TRUE(Play("e8d8") && Play("e2e4") && Play("d8e8"));
  EXPECT_EQ(gameRecord.moveNumber, 3);
  const Snapshot before = Take();
  EXPECT_FALSE(SetupGame("8/8/8/8/8/8/8/8/8 w - -"));
  EXPECT_FALSE(SetupGame("4k3/8/8/8/8/8/8/4K3"));
  EXPECT_EQ(gameRecord.startFen, fen);
  EXPECT_TRUE(Take() == before);
  EXPECT_TRUE(takeBack(2) == afterFirst);
  EXPECT_TRUE(takeBack(2) == setUp);
}

// Material: a bishop 300, a knight 250 on a corner up to 315 in the centre, a pawn 100.
TEST_F(GameTest, EndOnTheBoardInOrderOfPrecedence) {
  const std::tuple<const char*, uint32_t, GameEndCode> cases[] = {
      {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", 0, BlackMates},
      {"R5k1/5ppp/8/8/8/8/8/6K1 b - -", 100, WhiteMates}, {"7k/5Q2/6K1/8/8/8/8/8 b - -", 120, Stalemate},
      {"k7/8/1K6/8/8/8/7B/8 b - -", 0, Stalemate}, {"8/8/3k4/8/8/3K4/8/8 w - -", 100, FiftyMoves},
      {"8/8/3k4/8/8/2R5/3K4/8 w - -", 99, NoGameEnd}, {"8/8/3k4/8/8/3K4/8/8 w - -", 0, InsufficientMaterial},
      {"8/8/3k4/8/8/3K4/8/2b5 w - -", 0, InsufficientMaterial}, {"8/8/3k4/8/8/2NK4/8/8 w - -", 0, InsufficientMaterial},
      {"8/8/3k4/4n3/8/3K4/8/8 w - -", 0, NoGameEnd},  // 315 in the centre
      {"8/8/3k4/8/8/3K4/8/NN6 w - -", 0, NoGameEnd}, {"n7/8/3k4/8/8/3K4/8/N7 w - -", 0, NoGameEnd},
      {"5b2/8/3k4/8/8/3K4/8/2B5 w - -", 0, InsufficientMaterial},  // both on dark squares
      {"2b5/8/3k4/8/8/3K4/8/2B5 w - -", 0, NoGameEnd}, {"8/8/3k4/8/8/3K4/4P3/8 w - -", 0, NoGameEnd},
  };
  for (auto [fen, fiftyCounter, expected] : cases) {
    SCOPED_TRACE(fen);
    ASSERT_TRUE(SetupGame(fen));
    gameRecord.gamePosition.fiftyCounter = fiftyCounter;
    EXPECT_EQ(CheckGameEnd(), expected);
  }
}

// CheckGameEnd before the first move and after each: a draw from the half-move where a
// position stands for the third time (the protocol session plays the knights' dance from the
// start). After f2-f4 beside the pawn on e4 the key carries castling 8 XOR en-passant file 5;
// with the rook back on h8 the rights are gone and the file is 13: 0 XOR 13 gives the same
// key (gameKeys[0] and [4]) for a different position, which must not count as an occurrence.
TEST_F(GameTest, ThirdOccurrenceEndsTheGameAndAKeyCollisionIsNoOccurrence) {
  ASSERT_TRUE(SetupGame("4k2r/8/8/8/4p3/8/5P2/4K1N1 w k -"));
  std::vector<GameEndCode> codes{CheckGameEnd()};
  std::istringstream names("f2f4 h8g8 g1f3 g8h8 f3g1 h8g8 g1f3 g8h8 f3g1 h8g8 g1f3 g8h8 f3g1");
  for (std::string name; names >> name; codes.push_back(CheckGameEnd())) ASSERT_TRUE(Play(name)) << name;
  std::vector<GameEndCode> want(10, NoGameEnd);
  want.resize(codes.size(), DrawByRepetition);
  EXPECT_EQ(codes, want);
  EXPECT_EQ(gameRecord.gameKeys[0], gameRecord.gameKeys[4]);
}

// 300 half-moves of rook shuffles: the move arrays grow past their first size, the key history
// stays inside its slots past the fifty-move end, and every half-move comes back.
TEST_F(GameTest, LongGameKeepsRecordingAndTakesBack) {
  ASSERT_TRUE(SetupGame("r3k3/8/8/8/8/8/8/R3K3 w - -"));
  const char* cycle[] = {"a1b1", "a8b8", "b1a1", "b8a8"};
  std::vector<Snapshot> seen{Take()};
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(Play(cycle[i % 4]));
    ASSERT_LT(gameRecord.gameKeyIndex, GameKeyCount);
    ASSERT_EQ(gameRecord.gameKeys[gameRecord.gameKeyIndex], gameRecord.gamePosition.hashKey);
    seen.push_back(Take());
  }
  EXPECT_EQ(CheckGameEnd(), FiftyMoves);
  for (; seen.size() > 1; seen.pop_back()) {
    TakeBack();
    ASSERT_TRUE(Take() == seen[seen.size() - 2]) << seen.size() - 2;
  }
}

// Random legal games from several starts; after each stretch take back a few half-moves and
// compare with the position seen then, and play on so that later entries overwrite old ones.
// On the way every position is written as text and read back, and every legal move's text
// is read back as that move.
TEST_F(GameTest, RandomGamesTakeBackAndReadBackTheirText) {
  std::mt19937 random(20261207);
  for (const char* start : {StartFen, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 b - -"})
    for (int game = 0; game < 8; ++game) {
      SCOPED_TRACE(std::string(start) + " game " + std::to_string(game));
      ASSERT_TRUE(SetupGame(start));
      std::vector<Snapshot> seen{Take()};
      for (int round = 0; round < 4; ++round) {
        for (int ply = 0; ply < 60 && PositionEnd(gameRecord.gamePosition) == NoGameEnd; ++ply) {
          Position pos = gameRecord.gamePosition;
          pos.cacheFlags = 0;
          GenerateMoves(pos);
          Position read{};
          ASSERT_TRUE(SetFromFen(read, WriteFen(pos)) && read.hashKey == pos.hashKey &&
                      read.castling == (pos.castling & 15) && read.epFile == pos.epFile) << WriteFen(pos);
          for (int i = 1; i <= pos.moveCount; ++i) {
            std::string text = MoveText(pos.moveList[i]);
            Move parsed;
            ASSERT_TRUE(ParseMoveText(read, text, parsed) && SameMove(parsed, pos.moveList[i])) << text;
          }
          PlayGameMove(pos.moveList[1 + random() % pos.moveCount]);
          ASSERT_TRUE(PositionIsConsistent(gameRecord.gamePosition));
          ASSERT_EQ(gameRecord.gameKeys[gameRecord.gameKeyIndex], gameRecord.gamePosition.hashKey);
          seen.push_back(Take());
        }
        for (size_t k = 1 + random() % 12; k > 0 && seen.size() > 1; --k, seen.pop_back()) TakeBack();
        ASSERT_TRUE(Take() == seen.back());
      }
    }
}

}  // namespace
