// The engine with generated tables, played through the protocol against a defender that
// always takes the tables' longest defence: every engine move keeps the tables' value, and
// a won position ends in mate after exactly the number of moves the tables give.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "board/board.h"
#include "egdb/egdb.h"
#include "frontend/engine_process.h"
#include "notation/notation.h"

namespace {

using namespace std::string_literals;

constexpr int MateBase = 32001;  // mate in n for the side to move scores 32001 - 2n
TbState oracle;

// The score of the position after the move, for the side then to move; 0 when unknown.
int ScoreAfter(const Position& pos, const Move& move) {
  Position child = pos;
  child.cacheFlags = 0;
  MakeMove(child, move);
  int score = 0;
  return TbProbe(oracle, child, score, 0) ? score : 0;
}

// The defender's move that puts the mate furthest off; false when it has no legal move.
bool LongestDefence(const Position& pos, Move& defence) {
  Position list = pos, trial;
  list.cacheFlags = 0;
  GenerateLegalMoves(list);
  int longest = MateBase;
  for (int i = 1; i <= list.moveCount; ++i) {
    const Move& m = list.moveList[i];
    if (!MoveIsLegal(list, m, trial) || ScoreAfter(pos, m) >= longest) continue;
    longest = ScoreAfter(pos, m);
    defence = m;
  }
  return longest < MateBase;
}

// Four won starts (one with colours exchanged), two lost ones, and two drawn ones in which
// only taking the knight keeps the draw: with five minutes on the clock the quick draw
// rule is off, so that move is found by counting the drawing moves.
TEST(TablebasePlay, KeepsTheTablesValueAndMatesInTheirNumberOfMoves) {
  InitTables();
  const ScratchDirectory tables, engineDir;
  ASSERT_EQ(std::system((ShellQuoted(SKARNE_TBGEN) + " -o " + ShellQuoted(tables.path) + " kqk krk kbnk 2>/dev/null").c_str()), 0);
  std::ofstream(engineDir.path + "/skarne.ini") << "HashSize=16Mb\nEGTBPath=" << tables.path << "\n";
  ASSERT_EQ(TbInit(oracle, tables.path, 1 << 20), 4);
  const char* const starts[] = {
      "8/8/8/3k4/8/8/8/1Q1K4 w - - 0 1",  "8/8/8/3k4/8/8/8/1R1K4 w - - 0 1",
      "1r1k4/8/8/8/3K4/8/8/8 b - - 0 1",  // colours exchanged
      "8/8/8/3k4/8/8/8/KBN5 w - - 0 1",   "8/8/8/3k4/8/8/8/1Q1K4 b - - 0 1",
      "8/8/8/3k4/8/8/8/1R1K4 b - - 0 1",  "7B/8/8/3k4/4N3/8/8/K7 b - - 0 1",
      "k7/8/8/4n3/3K4/8/8/7b w - - 0 1",
  };
  for (const char* fen : starts) {
    SCOPED_TRACE(fen);
    Position pos;
    int rootScore = 0;
    ASSERT_TRUE(SetFromFen(pos, fen));
    ASSERT_TRUE(TbProbe(oracle, pos, rootScore, 0));
    const int mateIn = rootScore > 0 ? (MateBase - rootScore) / 2 : 0;
    const int winner = pos.sideToMove;

    EngineProcess engine(engineDir.path);
    for (const std::string& command : {"xboard"s, "protover 2"s, "new"s, "force"s, "setboard "s + fen,
                                       "time 30000"s, "otim 30000"s, "go"s})
      engine.Send(command);
    int moves = 0;
    for (Move defence;;) {
      const auto line = engine.ReadUntil("move ");
      ASSERT_TRUE(line) << "after " << moves << " moves";
      std::string text = line->substr(5);
      Move move;
      ASSERT_TRUE(ParseMoveText(pos, text, move)) << text;
      if (moves == 0) {  // one ply on: a mate one move nearer, a draw still a draw
        EXPECT_EQ(ScoreAfter(pos, move) + rootScore, rootScore < 0 ? 1 : rootScore > 0 ? -1 : 0);
      }
      pos.cacheFlags = 0;
      MakeMove(pos, move);
      ++moves;
      if (mateIn == 0 || !LongestDefence(pos, defence)) break;
      ASSERT_LT(moves, mateIn) << "no mate yet";
      pos.cacheFlags = 0;
      MakeMove(pos, defence);
      engine.Send("usermove " + MoveText(defence));
    }
    if (mateIn == 0) continue;
    EXPECT_EQ(moves, mateIn);
    EXPECT_TRUE(SquareAttackedBy(pos, KingSquare(pos, winner ^ 1), winner)) << "stalemate";
    EXPECT_TRUE(engine.ReadUntil(winner == White ? "1-0" : "0-1"));
  }
  TbFreeState(oracle);
}

}  // namespace
