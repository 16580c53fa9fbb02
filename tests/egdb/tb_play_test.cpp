// The engine with generated tables, played through the protocol: from won positions it
// mates in exactly the number of moves the tables give, against a defender that always
// takes the tables' longest defence.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "board/board.h"
#include "egdb/egdb.h"
#include "frontend/engine_process.h"
#include "notation/notation.h"

namespace {

using namespace std::string_literals;

constexpr size_t OracleCache = 1 << 20;
constexpr int MateBase = 32001;  // mate in n for the side to move scores 32001 - 2n

class TablebasePlay : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    InitTables();
    tables_ = EngineProcess::MakeScratchDirectory();
    engineDir_ = EngineProcess::MakeScratchDirectory();
    const std::string command =
        std::string(SKARNE_TBGEN) + " -o " + tables_ + " kqk krk kbnk 2>/dev/null";
    generated_ = std::system(command.c_str()) == 0;
    std::ofstream(engineDir_ + "/skarne.ini") << "HashSize=16Mb\nEGTBPath=" << tables_ << "\n";
  }
  static void TearDownTestSuite() {
    TbFreeState(oracle_);
    std::filesystem::remove_all(tables_);
    std::filesystem::remove_all(engineDir_);
  }

  static void Play(Position& pos, const Move& move) {
    pos.cacheFlags = 0;
    MakeMove(pos, move);
  }

  // The defender's move that puts the mate furthest off; false when it has no legal move.
  static bool LongestDefence(const Position& pos, Move& defence) {
    Position list = pos, trial, child;
    list.cacheFlags = 0;
    GenerateLegalMoves(list);
    int longest = MateBase;
    for (int i = 1; i <= list.moveCount; ++i) {
      const Move& m = list.moveList[i];
      if (!MoveIsLegal(list, m, trial)) continue;
      child = pos;
      Play(child, m);
      int score = 0;
      if (!TbProbe(oracle_, child, score, 0)) score = 0;  // then the test fails on the count
      if (score < longest) {
        longest = score;
        defence = m;
      }
    }
    return longest < MateBase;
  }

  // The engine's move from the position, with its clock at `seconds`.
  static std::optional<Move> EngineMove(Position& pos, const std::string& fen, int seconds) {
    EngineProcess engine(TablebasePlay::engineDir_);
    const std::string clock = std::to_string(seconds * 100);
    for (const std::string& command : {"xboard"s, "protover 2"s, "new"s, "force"s,
                                       "setboard "s + fen, "time "s + clock, "otim "s + clock, "go"s})
      engine.Send(command);
    const auto line = engine.ReadUntil("move ");
    Move move;
    std::string text = line ? line->substr(5) : "";
    if (!line || !ParseMoveText(pos, text, move)) return std::nullopt;
    return move;
  }

  static inline std::string tables_, engineDir_;
  static inline bool generated_ = false;
  static inline TbState oracle_;
};

// The winning side mates in exactly the tables' number of moves.
void MatesAgainstTheLongestDefence() {
  const char* const starts[] = {
      "8/8/8/3k4/8/8/8/1Q1K4 w - - 0 1",
      "8/8/8/3k4/8/8/8/1R1K4 w - - 0 1",
      "1r1k4/8/8/8/3K4/8/8/8 b - - 0 1",  // the tables read with colours exchanged
      "8/8/8/3k4/8/8/8/KBN5 w - - 0 1",
  };
  for (const char* fen : starts) {
    SCOPED_TRACE(fen);
    Position pos;
    ASSERT_TRUE(SetFromFen(pos, fen));
    const int winner = pos.sideToMove;
    int score = 0;
    ASSERT_TRUE(TbProbe(TablebasePlay::oracle_, pos, score, 0));
    ASSERT_GT(score, 0);
    const int mateIn = (MateBase - score) / 2;

    EngineProcess engine(TablebasePlay::engineDir_);
    for (const char* command : {"xboard", "protover 2"}) engine.Send(command);
    ASSERT_TRUE(engine.ReadUntil("feature done=1"));
    for (const std::string& command : {"new"s, "force"s, "setboard "s + fen, "go"s})
      engine.Send(command);
    int moves = 0;
    for (Move defence;;) {
      const auto line = engine.ReadUntil("move ");
      ASSERT_TRUE(line) << "after " << moves << " moves";
      std::string text = line->substr(5);
      Move move;
      ASSERT_TRUE(ParseMoveText(pos, text, move)) << text;
      TablebasePlay::Play(pos, move);
      ++moves;
      if (!TablebasePlay::LongestDefence(pos, defence)) break;
      ASSERT_LT(moves, mateIn) << "no mate yet";
      TablebasePlay::Play(pos, defence);
      engine.Send("usermove " + MoveText(defence));
    }
    EXPECT_EQ(moves, mateIn);
    EXPECT_TRUE(SquareAttackedBy(pos, KingSquare(pos, winner ^ 1), winner)) << "stalemate";
    EXPECT_TRUE(engine.ReadUntil(winner == White ? "1-0" : "0-1"));
  }
}

// The defending side: a lost position is answered by the longest defence, and a drawn one in
// which a single move keeps the draw (taking the knight) by that move, even with time to
// search, and whichever colour the tables read.
void DefendsByTheTables() {
  const struct {
    const char* fen;
    int seconds;
  } rows[] = {
      {"8/8/8/3k4/8/8/8/1Q1K4 b - - 0 1", 300},
      {"8/8/8/3k4/8/8/8/1R1K4 b - - 0 1", 1},
      {"7B/8/8/3k4/4N3/8/8/K7 b - - 0 1", 300},
      {"k7/8/8/4n3/3K4/8/8/7b w - - 0 1", 300},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fen);
    Position pos, child;
    ASSERT_TRUE(SetFromFen(pos, row.fen));
    int rootScore = 0, score = 0;
    ASSERT_TRUE(TbProbe(TablebasePlay::oracle_, pos, rootScore, 0));
    const auto move = TablebasePlay::EngineMove(pos, row.fen, row.seconds);
    ASSERT_TRUE(move);
    child = pos;
    TablebasePlay::Play(child, *move);
    ASSERT_TRUE(TbProbe(TablebasePlay::oracle_, child, score, 0));
    EXPECT_EQ(score + rootScore, rootScore ? 1 : 0);  // one ply on: a mate one move nearer
  }
}

// One test: the tables are generated once for both sides of the play.
TEST_F(TablebasePlay, PlaysByTheTables) {
  ASSERT_TRUE(generated_);
  ASSERT_EQ(TbInit(oracle_, tables_, OracleCache), 4);
  MatesAgainstTheLongestDefence();
  DefendsByTheTables();
}

}  // namespace
