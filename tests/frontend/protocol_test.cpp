// The protocol as a GUI drives it, through the engine's pipes, and the draw-offer rule in
// process.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine_process.h"
#include "frontend/frontend.h"
#include "search/search.h"

namespace {

using std::chrono::steady_clock;

const char* const BlackMates = "0-1 {Skarne says 'Black mates'}\n";
const char* const Castles = "r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R b KQkq - 4 8";
// Generous bounds: the same tests run under the sanitizers on a shared machine.
constexpr int MoveTimeoutMs = 30000;

// "depth score centiseconds nodes" and the principal variation.
bool IsThinkingLine(const std::string& line) {
  static const std::regex pattern(R"(^\d+ -?\d+ \d+ \d+( [a-h][1-8][a-h][1-8][qrbn]?)*$)");
  return std::regex_match(line, pattern);
}

class Protocol : public ::testing::Test {
 protected:
  void SetUp() override { InitTables(); }
  void Send(const std::string& script) { engine.SendScript(script); }
  // The first line that is not a thinking line; the thinking lines go to `thinking`.
  std::optional<std::string> NextReply(int timeoutMs = MoveTimeoutMs) {
    while (auto line = engine.ReadLine(timeoutMs)) {
      if (!IsThinkingLine(*line)) return line;
      thinking.push_back(*line);
    }
    return std::nullopt;
  }
  std::string NextMove() {
    const std::string reply = NextReply().value_or("<nothing>");
    EXPECT_EQ(reply.rfind("move ", 0), 0u) << "expected a move line, got " << reply;
    return reply.rfind("move ", 0) == 0 ? reply.substr(5) : "";
  }
  // Sends the commands and a ping; the other lines before the pong.
  std::string Exchange(const std::string& script = "") {
    Send(script);
    engine.Send("ping 77");
    std::string seen;
    while (auto line = NextReply(2000)) {
      if (*line == "pong 77") return seen;
      seen += *line + "\n";
    }
    return seen + "<no pong>";
  }
  // A search or ponder search is running.
  bool SeesThinking() { return IsThinkingLine(engine.ReadLine(10000).value_or("")); }
  bool StaysQuiet() {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    return Exchange().empty() && !engine.ReadLine(300);
  }

  EngineProcess engine;
  Commands thinking;
};

class GameSession : public Protocol {
 protected:
  void SetUp() override {
    Protocol::SetUp();
    Send("xboard, protover 2");
    ASSERT_EQ(NextReply(5000).value_or("").rfind("feature ping=1 ", 0), 0u);
    ASSERT_EQ(NextReply(5000), "feature done=1");
  }
};
class GameSearchThread : public GameSession {};

TEST_F(Protocol, AnythingButTheGreetingEndsSilently) {
  for (const char* first : {"xboard ", "XBOARD", "protover 2", ""}) {
    SCOPED_TRACE(first);
    EngineProcess other;
    if (*first) other.Send(std::string(first) + "\nprotover 2");
    other.CloseInput();
    EXPECT_EQ(other.ReadLine(2000), std::nullopt);
    EXPECT_EQ(other.WaitExit(), 0);
  }
}

TEST_F(Protocol, FeatureLinesComeOnceAtTheFirstProtoverOfTwo) {
  // Before the start-up the game commands do nothing.
  Send("xboard, ping 1, protover 1, new, setboard 4k3/8/8/8/8/8/8/4K3 w - -, undo, remove, go, e2e4");
  engine.Send("protover 2");
  EXPECT_EQ(engine.ReadLine(), "pong 1");
  EXPECT_EQ(engine.ReadLine(), "Illegal move: e2e4");
  EXPECT_EQ(engine.ReadLine(),
            "feature ping=1 setboard=1 playother=0 san=0 usermove=1 time=1 draw=0 sigint=0 reuse=1 "
            "analyze=0 myname=\"Skarne 1.52\" colors=0 ics=0 name=0 pause=0 done=0");
  EXPECT_EQ(engine.ReadLine(), "feature done=1");
  // A second start-up would find no settings file and end the engine.
  const auto settings = std::filesystem::path(engine.Directory()) / "skarne.ini";
  std::filesystem::remove(settings);
  EXPECT_EQ(Exchange("protover 2, protover 3"), "");
  EXPECT_FALSE(std::filesystem::exists(settings));
}

TEST_F(GameSession, RepliesToPingsAndUnknownCommands) {
  const std::string unknown = "Error (unknown command): ";
  const struct { std::string sent, reply; } cases[] = {
      {"ping 42", "pong 42"}, {"ping", "pong "}, {"foo bar", unknown + "foo"}, {"", unknown}, {" ping 3", unknown},
      {"ping\t4", unknown + "ping\t4"},  // a tab is no separator
      {"Ping 5", unknown + "Ping"}, {"p\xe9ng 6", unknown + "p\xe9ng"},
      // Replies live in fixed buffers: 256 bytes for a pong, 32 for a refused move.
      {"ping " + std::string(600, 'x'), "pong " + std::string(250, 'x')},
      {"usermove " + std::string(40, 'e'), "Illegal move: " + std::string(17, 'e')},
  };
  for (const auto& c : cases) {
    engine.Send(c.sent);
    EXPECT_EQ(engine.ReadLine(), c.reply);
  }
  EXPECT_EQ(Exchange("post, nopost, accepted ping, easy, hard, sd 4, time 1e400, otim nan, level 4"), "");
  // What clients send for information only, and analysis commands outside analysis.
  EXPECT_EQ(Exchange("rating 1900 2000, computer, name bot, random, ics -, hint, bk, ., exit, st 1e400, st x"), "");
}

TEST_F(GameSession, ScriptedGamesGiveTheirReplies) {
  const char* const Repetition = "1/2-1/2 {Skarne says 'Draw by repetition'}\n";
  const char* const Refused = "tellusererror Illegal position\nIllegal move: e2e4\n";
  const struct { const char *script, *replies; } steps[] = {
      {"e2e4", "Illegal move: e2e4\n"},  // no game before "new"
      {"new, force, f2f3, e7e5, g2g4, d8h4", BlackMates},
      {"a2a3, go", "Illegal move: a2a3\n"},  // the game is over
      {"new, force, E2E5, usermove O-O, e2e4q, E2E4",
       "Illegal move: e2e5\nIllegal move: O-O\nIllegal move: e2e4q\n"},
      {"new, force, f2f3, e7e5, g2g4, undo, g2g4, d8h4", BlackMates},  // the mate again
      // A takeback from a finished game continues it.
      {"undo, d8h4", BlackMates}, {"remove, g2g4, d8h4", BlackMates},
      {"remove, remove, remove, f2f3, e7e5, g2g4, d8h4", BlackMates},
      // A refused set-up has no game to take back into.
      {"new, force, e2e4, setboard 8/8/8/8/8/8/8/8 w - -, undo, e2e4", Refused},
      {"new, force, e2e4, e7e5, remove, e2e4, e7e5", ""},
      {"new, force, remove, undo, e2e5", "Illegal move: e2e5\n"},  // still the start position
      // The start position stands for the third time after the eighth half-move, not before.
      {"new, force, g1f3, g8f6, f3g1, f6g8, g1f3, g8f6, f3g1, f6g8", Repetition}, {"undo, f6g8", Repetition},
      {"setboard 4k3/8/8/8/8/8/3r4/4K3 w - -, force, e1d2", "1/2-1/2 {Skarne says 'insufficient material'}\n"},
      // A refused set-up leaves no game; a stalemate set-up is announced at once.
      {"setboard 8/8/8/8/8/8/8/8 w - -, e2e4", Refused},
      {"setboard 7k/5Q2/6K1/8/8/8/8/8 b - -", "1/2-1/2 {Skarne says 'Stalemate'}\n"},
      {"setboard 4k3/8/8/8/8/8/4P3/4K3 w - -, force, e2e4, result 1-0, e8d8", "Illegal move: e8d8\n"},
  };
  for (const auto& step : steps) EXPECT_EQ(Exchange(step.script), step.replies) << step.script;
}

TEST_F(GameSearchThread, GoPlaysOneLegalMoveWithinTheDepthLimit) {
  // Both may castle; the only move takes the rook; promotion; en passant.
  const char* positions[] = {StartFen, Castles, "k7/8/8/8/8/8/1r5p/K7 w - - 0 1", "8/4P2k/8/8/8/8/8/K7 w - - 0 1",
                             "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1"};
  // Thinking lines come from depth 5 on (or after 50 ms). Without a clock each move may
  // take 2 s, in which the search would go deeper than 5.
  Send("post, sd 5");
  for (const char* fen : positions) {
    SCOPED_TRACE(fen);
    Send("setboard " + std::string(fen) + ", go");
    EXPECT_TRUE(IsLegal(fen, {NextMove()}));
    EXPECT_EQ(Exchange("force"), "");  // one move, nothing after it
  }
  EXPECT_FALSE(thinking.empty());
  for (const auto& line : thinking) EXPECT_LE(std::stoi(line), 5) << line;
}

TEST_F(GameSearchThread, MoveNowForceAndEndOfInputStopTheSearch) {
  Commands moves;
  for (const char* stop : {"?", "force"}) {
    SCOPED_TRACE(stop);
    Send("new, post, hard, time 360000, otim 360000, go");
    ASSERT_TRUE(SeesThinking());
    auto sent = steady_clock::now();
    engine.Send(stop);
    moves = {NextMove(), "e7e5"};
    EXPECT_LT(steady_clock::now() - sent, Prompt);
    EXPECT_TRUE(IsLegal(StartFen, moves));
    EXPECT_TRUE(StaysQuiet());  // the stop kept the finished search from pondering
  }
  // After "force" the moves are only recorded; "go" takes up the side to move. The end of
  // the input stops the search, which still sends its move.
  moves.push_back(IsLegal(StartFen, {moves[0], "e7e5", "b1c3"}) ? "b1c3" : "g1f3");
  EXPECT_EQ(Exchange("e7e5, " + moves[2]), "");
  Send("time 360000, go");
  ASSERT_TRUE(SeesThinking());
  engine.CloseInput();
  EXPECT_EQ(engine.WaitExit(), 0);
  moves.push_back(NextMove());
  EXPECT_TRUE(IsLegal(StartFen, moves));
}

TEST_F(GameSearchThread, PonderingAnswersPingsAndAUserMoveStopsIt) {
  Send("new, post, hard, level 40 5 0, time 3000, otim 3000, go");
  Commands moves{NextMove(), "e7e5"};
  ASSERT_TRUE(SeesThinking()) << "no pondering after the move";
  auto sent = steady_clock::now();
  EXPECT_EQ(Exchange("post, sd 0, hard"), "");  // no stop: they run beside the search
  EXPECT_LT(steady_clock::now() - sent, Prompt);
  // The ponder search ends silently; the reply is the next move, and pondering goes on.
  Send("time 3000, otim 3000, e7e5");
  moves.push_back(NextMove());
  EXPECT_TRUE(IsLegal(StartFen, moves));
  EXPECT_TRUE(SeesThinking());
  // A refused move resumes pondering only when pondering is on.
  for (const char* ponder : {"hard", "easy"}) {
    SCOPED_TRACE(ponder);
    Send(std::string(ponder) + ", e2e5");
    EXPECT_EQ(NextReply(2000), "Illegal move: e2e5");
    EXPECT_TRUE(ponder[0] == 'h' ? SeesThinking() : StaysQuiet());
  }
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(), 0);
}

TEST_F(GameSearchThread, ResignsMatesAndOffersDrawsAsTheRulesSay) {
  const struct { const char *fen, *otim, *reply; } games[] = {  // "move *": any legal move
      // Resigning needs a lost score, over 900 of material behind and the opponent's time above a minute.
      {"4k3/8/8/8/8/8/qr6/7K w - -", "6001", "resign\n"}, {"7k/QR6/8/8/8/8/8/4K3 b - -", "6001", "resign\n"},
      {"4k3/8/8/8/8/8/qr6/7K w - -", "6000", "move *\n"},
      {"7K/8/6k1/8/8/8/8/q7 w - -", "6001", "move h8g8\n"},  // mated, but a queen is only 900
      // Four knights and three pawns against a rook, but mate in one.
      {"6k1/5ppp/8/8/8/1nnnn3/8/R6K w - -", "6001", "move a1a8\n1-0 {Skarne says 'White mates'}\n"},
      // A knight each, where no move makes either worth more than 300: any move offers a draw.
      // Each game has its offer; a capture that ends the game in a draw still makes it.
      {"4k1n1/8/8/8/8/8/8/N3K3 w - -", "6001", "move *\noffer draw\n"},
      {"4k3/b7/8/6n1/8/8/3B4/4K3 w - -", "6001",
       "move d2g5\n1/2-1/2 {Skarne says 'insufficient material'}\noffer draw\n"},
  };
  Send("post, nopost, sd 5");  // with "post", depth 5 would show thinking lines
  for (const auto& g : games) {
    SCOPED_TRACE(std::string(g.fen) + " otim " + g.otim);
    Send("setboard " + std::string(g.fen) + ", time 360000, otim " + g.otim + ", go");
    // "force" waits for the search thread, and so for all it says after its move.
    std::string replies = NextReply().value_or("") + "\n";
    replies += Exchange("force");
    if (replies.rfind("move ", 0) == 0) {
      const std::string move = replies.substr(5, replies.find('\n') - 5);
      EXPECT_TRUE(IsLegal(g.fen, {move})) << replies;
      if (std::string(g.reply).find('*') != std::string::npos) replies.replace(5, move.size(), "*");
    } else {
      EXPECT_EQ(Exchange("a1a2"), "Illegal move: a1a2\n");  // the game is over
    }
    EXPECT_EQ(replies, g.reply);
  }
  EXPECT_TRUE(thinking.empty());
}

TEST_F(GameSearchThread, FixedMoveTimeHoldsWhileInformationalCommandsArrive) {
  // "st" gives each move its time whatever the clock says; lines sent for information only
  // neither answer nor stop the search.
  Send("new, nopost, rating 1900 2000, computer, level 40 5 0, st 0.6, time 30000, otim 30000");
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(Exchange("new"), "");  // clearing the hash table is no part of the move's time
    const auto sent = steady_clock::now();
    Send("go, rating 2000 1900, computer, name bot, random, ics -, hint, bk, .");
    EXPECT_TRUE(IsLegal(StartFen, {NextMove()}));
    const auto took = steady_clock::now() - sent;
    EXPECT_GE(took, std::chrono::milliseconds(550));
    EXPECT_LE(took, std::chrono::milliseconds(600) + Prompt / 2);
  }
  // The next "level" plans by the clock again: one second left, all of it the reserve.
  EXPECT_EQ(Exchange("st 5, level 0 1 0, time 100, otim 100, new"), "");
  const auto sent = steady_clock::now();
  Send("go");
  EXPECT_TRUE(IsLegal(StartFen, {NextMove()}));
  EXPECT_LT(steady_clock::now() - sent, Prompt);
}

TEST_F(GameSearchThread, PongComesAfterTheWholeTurn) {
  // A ping sent on seeing the move is answered after the result line or draw offer that
  // follows from the move.
  const struct { const char *fen, *after; } turns[] = {
      {"6k1/5ppp/8/8/8/8/8/R6K w - -", "1-0 {Skarne says 'White mates'}"}, {"4k1n1/8/8/8/8/8/8/N3K3 w - -", "offer draw"},
  };
  Send("nopost, sd 2");
  for (int round = 0; round < 60; ++round) {
    const auto& turn = turns[round % 2];
    Send("setboard " + std::string(turn.fen) + ", go");
    ASSERT_EQ(NextReply().value_or("").rfind("move ", 0), 0u);
    engine.Send("ping " + std::to_string(round));
    ASSERT_EQ(NextReply(), turn.after) << "round " << round;
    ASSERT_EQ(NextReply(), "pong " + std::to_string(round));
  }
}

TEST_F(GameSearchThread, NewAndSetboardDropTheStoppedSearchsMove) {
  for (const std::string& replace : {std::string("new"), "setboard " + std::string(StartFen)}) {
    SCOPED_TRACE(replace);
    Send("new, post, time 360000, otim 360000, e2e4");
    ASSERT_TRUE(SeesThinking());
    EXPECT_EQ(Exchange(replace), "");  // no move of the old game
    Send("sd 2, go");                  // the new game: the engine plays White
    EXPECT_TRUE(IsLegal(StartFen, {NextMove()}));
    EXPECT_EQ(Exchange("force, sd 0"), "");
  }
}

TEST_F(GameSearchThread, AnalysisFollowsTheGamePositionUntilExit) {
  // No move in reply to a move: the engine analyses. "." asks for nothing and stops nothing.
  const struct { std::string script, fen; Commands moves; } steps[] = {
      {"new, post, analyze", StartFen, {}}, {"e2e4", StartFen, {"e2e4"}}, {"e7e5", StartFen, {"e2e4", "e7e5"}},
      {"undo", StartFen, {"e2e4"}}, {"setboard " + std::string(Castles), Castles, {}}, {"new", StartFen, {}},
      {".", StartFen, {}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.script);
    // Every thinking line after the pong comes from the analysis of the position reached.
    EXPECT_EQ(Exchange(step.script), "");
    auto line = engine.ReadLine(10000).value_or("");
    ASSERT_TRUE(IsThinkingLine(line)) << line;
    std::string skip, first;
    std::istringstream(line) >> skip >> skip >> skip >> skip >> first;
    Commands moves = step.moves;
    moves.push_back(first);
    EXPECT_TRUE(IsLegal(step.fen, moves)) << line;
  }
  EXPECT_EQ(Exchange("exit"), "");
  EXPECT_TRUE(StaysQuiet());
}

TEST(GameControl, DrawOffersFollowMaterialAndScore) {
  InitTables();
  // Pawn 100, knight 295, bishop 300, rook 500; the sides within 29 of each other.
  const char* const rooks = "4k3/r7/8/8/8/8/R7/4K3 w - -";  // a lone rook each
  const struct { const char* fen; int32_t score; bool offers; } cases[] = {
      {rooks, 99, true}, {rooks, -99, true}, {rooks, 100, false}, {rooks, -100, false},  // inclusive bounds
      {"4k3/8/2b5/8/8/2N5/8/4K3 w - -", 0, true}, {"4k3/8/2r5/8/8/2B5/8/4K3 w - -", 0, false},  // 295:300, 300:500
      {"4k3/8/8/8/8/8/PPPPP3/r3K3 w - -", 0, false},  // 500 in pawns is no lone rook
      {"4k3/8/2n5/8/8/2N5/P7/4K3 w - -", 0, false}, {"4k3/8/8/8/8/2N5/8/4K3 w - -", 0, false},  // a pawn; no black
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " " + std::to_string(c.score));
    ASSERT_TRUE(SetFromFen(gameRecord.gamePosition, c.fen));
    lastScore = c.score;
    drawOfferAllowed = true;
    testing::internal::CaptureStdout();
    MaybeOfferDraw();
    MaybeOfferDraw();  // the first offer uses up the game's one offer
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.offers ? "offer draw\n" : "");
  }
}

}  // namespace
