// skarne-uci as a UCI client drives it, through its pipes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "engine_process.h"
#include "move_check.h"
#include "notation/notation.h"

namespace {

using Commands = std::vector<std::string>;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Generous bounds: the same tests run under the sanitizers on a shared machine.
constexpr auto Prompt = milliseconds(2000);

bool IsInfoLine(const std::string& line) {
  static const std::regex pattern(
      R"(^info depth \d+ score (cp|mate) -?\d+ nodes \d+( nps \d+)? time \d+( pv( [a-h][1-8][a-h][1-8][qrbn]?)+)?$)");
  return std::regex_match(line, pattern);
}

class UciSession {
 public:
  UciSession() : engine({}, SKARNE_UCI_BINARY) { InitTables(); }
  // Commands separated by ", ".
  void Send(const std::string& script) {
    for (size_t at = 0, end = 0; end < script.size(); at = end + 2) {
      end = std::min(script.find(", ", at), script.size());
      engine.Send(script.substr(at, end - at));
    }
  }
  // The next line that is not a search's info line; those are checked and kept in `info`.
  std::string NextReply(int timeoutMs = 30000) {
    while (auto line = engine.ReadLine(timeoutMs)) {
      if (line->rfind("info depth", 0) != 0) return *line;
      EXPECT_TRUE(IsInfoLine(*line)) << *line;
      info.push_back(*line);
    }
    return "<nothing>";
  }
  // Asks whether the engine is ready; true when nothing but info lines came before.
  bool OnlyInfoBeforeReady() {
    engine.Send("isready");
    const std::string reply = NextReply();
    EXPECT_EQ(reply, "readyok");
    return reply == "readyok";
  }

  EngineProcess engine;
  Commands info;
};

// The moves of a "bestmove" line: the move, and the expected reply when there is one.
Commands BestMoves(const std::string& line) {
  std::istringstream words(line);
  std::string word;
  Commands moves;
  words >> word;
  if (word != "bestmove") return {"<no bestmove: " + line + ">"};
  while (words >> word) {
    if (word != "ponder") moves.push_back(word);
  }
  return moves;
}

TEST(GameControl, UciIdentifiesItselfAndTakesItsOptions) {
  UciSession uci;
  uci.Send("uci");
  EXPECT_EQ(uci.NextReply(), "id name Skarne 1.52");
  EXPECT_EQ(uci.NextReply().rfind("id author ", 0), 0u);
  for (const char* option : {"Hash", "Ponder", "Book", "EGTBPath", "EGTBCacheSize", "Learn"})
    EXPECT_EQ(uci.NextReply().rfind("option name " + std::string(option) + " type ", 0), 0u) << option;
  EXPECT_EQ(uci.NextReply(), "uciok");
  // Options with blanks in their values, a book that is not there, unknown commands.
  uci.Send("setoption name Hash value 8, setoption name Learn value false, setoption name Ponder value true, "
           "setoption name Book value no such book.boo, setoption name EGTBPath value <empty>, "
           "setoption name EGTBCacheSize value 1048576, debug on, frobnicate");
  EXPECT_TRUE(uci.OnlyInfoBeforeReady());
  uci.Send("ucinewgame, position startpos moves e2e4, go depth 3");
  EXPECT_TRUE(IsLegal(StartFen, {"e2e4", BestMoves(uci.NextReply())[0]}));
}

TEST(GameControl, UciBestMovesFollowThePositionsAndLimits) {
  const std::string castles = "r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R b KQkq - 4 8";
  const std::string mateInOne = "6k1/5ppp/8/8/8/8/8/R6K w - -";
  const struct { std::string position, fen; Commands moves; std::string go, reply; } steps[] = {
      {"position startpos", StartFen, {}, "go depth 4", "*"},
      {"position startpos moves e2e4 e7e5 g1f3", StartFen, {"e2e4", "e7e5", "g1f3"}, "go movetime 300", "*"},
      // The client's guess at the reply was wrong: the engine takes its move back.
      {"position startpos moves e2e4 c7c5", StartFen, {"e2e4", "c7c5"}, "go wtime 2000 btime 2000 winc 50 binc 50", "*"},
      {"position fen " + castles + " moves e8g8", castles, {"e8g8"}, "go wtime 3000 btime 100 movestogo 40", "*"},
      {"position fen " + mateInOne, mateInOne, {}, "go depth 6", "a1a8"},  // deep enough to be told
      {"position fen " + mateInOne + " moves a1a8", mateInOne, {"a1a8"}, "go depth 3", "0000"},
      {"position fen " + castles, castles, {}, "go mate 2", "*"},
      {"position startpos", StartFen, {}, "go nodes 5000", "*"},  // no node limit: a short search
      // The moves stop at the first illegal one.
      {"position startpos moves e2e4 e2e4 e7e5", StartFen, {"e2e4"}, "go depth 2", "*"},
      {"position fen 8/8/8/8/8/8/8/8 w - -", "", {}, "go depth 2", "0000"},
  };
  UciSession uci;
  uci.Send("uci, isready");
  EXPECT_EQ(uci.engine.ReadUntil("readyok"), "readyok");
  for (const auto& step : steps) {
    SCOPED_TRACE(step.position + ", " + step.go);
    const auto sent = steady_clock::now();
    uci.Send(step.position + ", " + step.go);
    std::string reply = uci.NextReply();
    while (reply.rfind("info string ", 0) == 0) reply = uci.NextReply();
    const Commands best = BestMoves(reply);
    if (step.reply != "*") {
      EXPECT_EQ(best[0], step.reply);
    }
    if (step.reply != "0000") {
      Commands line = step.moves;
      line.insert(line.end(), best.begin(), best.end());
      EXPECT_TRUE(IsLegal(step.fen, line)) << reply;
    }
    if (step.go == "go movetime 300") {
      EXPECT_GE(steady_clock::now() - sent, milliseconds(250));
      EXPECT_LE(steady_clock::now() - sent, milliseconds(300) + Prompt / 4);
    }
  }
  // A mate is reported in moves.
  EXPECT_NE(std::find_if(uci.info.begin(), uci.info.end(),
                         [](const std::string& l) { return l.find(" score mate 1 ") != std::string::npos; }),
            uci.info.end());
}

TEST(GameControl, UciEndlessSearchesAnswerOnlyWhenTold) {
  UciSession uci;
  uci.Send("uci, ucinewgame, position fen 6k1/5ppp/8/8/8/8/8/R6K w - -, go infinite");
  EXPECT_EQ(uci.engine.ReadUntil("uciok"), "uciok");
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_TRUE(uci.OnlyInfoBeforeReady());
  auto sent = steady_clock::now();
  uci.Send("stop");
  EXPECT_EQ(BestMoves(uci.NextReply())[0], "a1a8");
  EXPECT_LT(steady_clock::now() - sent, Prompt);
  // Pondering ends with "ponderhit", which starts the timed search, or with "stop".
  for (const char* end : {"ponderhit", "stop"}) {
    SCOPED_TRACE(end);
    uci.Send("position startpos moves e2e4 e7e5, go ponder wtime 3000 btime 3000");
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_TRUE(uci.OnlyInfoBeforeReady());
    sent = steady_clock::now();
    uci.Send(end);
    Commands line{"e2e4", "e7e5"};
    for (const auto& move : BestMoves(uci.NextReply())) line.push_back(move);
    EXPECT_TRUE(IsLegal(StartFen, line));
    EXPECT_LT(steady_clock::now() - sent, Prompt);
  }
  // "quit" ends a long search and the process.
  uci.Send("position startpos, go wtime 3600000 btime 3600000");
  std::this_thread::sleep_for(milliseconds(100));
  sent = steady_clock::now();
  uci.Send("quit");
  EXPECT_EQ(uci.engine.WaitExit(), 0);
  EXPECT_LT(steady_clock::now() - sent, Prompt);
}

}  // namespace
