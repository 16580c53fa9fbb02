// skarne-uci as a UCI client drives it, through its pipes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine_process.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

struct UciSession {
  UciSession() : engine({}, SKARNE_UCI_BINARY) { InitTables(); }
  void Send(const std::string& script) { engine.SendScript(script); }
  // The next line that is neither a search's info line (checked, and kept in `info`) nor an
  // info string.
  std::string NextReply() {
    static const std::regex search(
        R"(^info depth \d+ score (cp|mate) -?\d+ nodes \d+( nps \d+)? time \d+( pv( [a-h][1-8][a-h][1-8][qrbn]?)+)?$)");
    while (auto line = engine.ReadLine(30000)) {
      if (line->rfind("info string ", 0) == 0) continue;
      if (line->rfind("info", 0) != 0) return *line;
      EXPECT_TRUE(std::regex_match(*line, search)) << *line;
      info.push_back(*line);
    }
    return "<nothing>";
  }
  // The moves of the next "bestmove" line: the move, and the expected reply if any.
  Commands BestMoves() {
    static const std::regex bestmove(R"(^bestmove (\S+)(?: ponder (\S+))?$)");
    std::smatch m;
    const std::string line = NextReply();
    if (!std::regex_match(line, m, bestmove)) return {"<" + line + ">"};
    return m[2].matched ? Commands{m[1], m[2]} : Commands{m[1]};
  }
  // Nothing but info lines came before the answer to "isready": no bestmove.
  bool Ready() {
    engine.Send("isready");
    return NextReply() == "readyok";
  }

  EngineProcess engine;
  Commands info;
};

TEST(GameControl, UciBestMovesFollowTheOptionsPositionsAndLimits) {
  UciSession uci;
  uci.Send("uci");
  EXPECT_EQ(uci.NextReply(), "id name Skarne 1.52");
  EXPECT_EQ(uci.NextReply().rfind("id author ", 0), 0u);
  for (const char* option : {"Hash", "Ponder", "Book", "EGTBPath", "EGTBCacheSize", "Learn"})
    EXPECT_EQ(uci.NextReply().rfind("option name " + std::string(option) + " type ", 0), 0u) << option;
  EXPECT_EQ(uci.NextReply(), "uciok");
  // Values with blanks, a book that is not there, unknown commands.
  uci.Send("setoption name Hash value 8, setoption name Learn value false, setoption name Ponder value true, "
           "setoption name Book value no such book.boo, setoption name EGTBPath value <empty>, debug on, frobnicate");
  EXPECT_TRUE(uci.Ready());

  const std::string castles = "r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R b KQkq - 4 8";
  const std::string mateInOne = "6k1/5ppp/8/8/8/8/8/R6K w - -";
  const struct { std::string position, fen; Commands moves; std::string go, reply; } steps[] = {
      {"startpos", StartFen, {}, "depth 4", "*"},
      {"startpos moves e2e4 e7e5 g1f3", StartFen, {"e2e4", "e7e5", "g1f3"}, "movetime 300", "*"},
      // The client's guess at the reply was wrong: the engine takes its move back.
      {"startpos moves e2e4 c7c5", StartFen, {"e2e4", "c7c5"}, "wtime 2000 btime 2000 winc 50 binc 50", "*"},
      {"fen " + castles + " moves e8g8", castles, {"e8g8"}, "wtime 3000 btime 100 movestogo 40", "*"},
      {"fen " + mateInOne, mateInOne, {}, "depth 6", "a1a8"},  // deep enough for info lines
      {"fen " + mateInOne + " moves a1a8", mateInOne, {"a1a8"}, "depth 3", "0000"}, {"fen " + castles, castles, {}, "mate 2", "*"},
      {"startpos", StartFen, {}, "nodes 5000", "*"},  // no node limit: a short search
      {"startpos moves e2e4 e2e4 e7e5", StartFen, {"e2e4"}, "depth 2", "*"},  // up to the illegal move
      {"fen 8/8/8/8/8/8/8/8 w - -", "", {}, "depth 2", "0000"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.position + ", " + step.go);
    const auto sent = steady_clock::now();
    uci.Send("position " + step.position + ", go " + step.go);
    const Commands best = uci.BestMoves();
    const auto took = steady_clock::now() - sent;
    Commands line = step.moves;
    line.insert(line.end(), best.begin(), best.end());
    EXPECT_TRUE(step.reply == "*" ? IsLegal(step.fen, line) : best[0] == step.reply) << best[0];
    if (step.go == "movetime 300") {
      EXPECT_GE(took, milliseconds(250));
      EXPECT_LE(took, milliseconds(300) + Prompt / 2);
    }
  }
  EXPECT_TRUE(std::any_of(uci.info.begin(), uci.info.end(),
                          [](const std::string& l) { return l.find(" score mate 1 ") != std::string::npos; }));
}

TEST(GameControl, UciEndlessSearchesAnswerOnlyWhenTold) {
  UciSession uci;
  uci.Send("uci, ucinewgame, position fen 6k1/5ppp/8/8/8/8/8/R6K w - -, go infinite");
  EXPECT_EQ(uci.engine.ReadUntil("uciok"), "uciok");
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_TRUE(uci.Ready());
  auto sent = steady_clock::now();
  uci.Send("stop");
  EXPECT_EQ(uci.BestMoves()[0], "a1a8");
  EXPECT_LT(steady_clock::now() - sent, Prompt);
  // Pondering ends with "ponderhit", which starts the timed search, or with "stop".
  for (const char* end : {"ponderhit", "stop"}) {
    SCOPED_TRACE(end);
    uci.Send("position startpos moves e2e4 e7e5, go ponder wtime 3000 btime 3000");
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_TRUE(uci.Ready());
    sent = steady_clock::now();
    uci.Send(end);
    Commands line{"e2e4", "e7e5"}, best = uci.BestMoves();
    line.insert(line.end(), best.begin(), best.end());
    EXPECT_TRUE(IsLegal(StartFen, line));
    EXPECT_LT(steady_clock::now() - sent, Prompt);
  }
  // "quit" ends a long search and the process.
  uci.Send("position startpos, go wtime 3600000 btime 3600000, quit");
  sent = steady_clock::now();
  EXPECT_EQ(uci.engine.WaitExit(), 0);
  EXPECT_LT(steady_clock::now() - sent, Prompt);
}

}  // namespace
