// How the engine ends when its interface goes away: the pipes closed, SIGTERM or SIGHUP,
// while it thinks or ponders. It must be gone within a second, without a core dump (the
// learn tests send the same signals during the learn file's merge). And a long session
// ended by "quit": in the sanitizer build its exit status carries LeakSanitizer's verdict
// and any invalid access.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "frontend/engine_process.h"

namespace {

using namespace std::chrono_literals;

constexpr int WithinASecond = 1000;
const char* const Thinking = "new\nsd 40\ngo\nping 1";  // no time limit: it thinks until told
const char* const Pondering = "new\nhard\nlevel 40 5 0\ntime 1000\notim 1000\nusermove e2e4";

enum class End { CloseInput, CloseOutputThenStop, CloseOutputThenPing, Term, Hup };

// waitFor: the line that shows the engine busy; status: the exit status, 128 + the signal for a signal.
const struct { const char *name, *session, *waitFor; End end; int status; } Cases[] = {
    {"end of input while thinking", Thinking, "pong 1", End::CloseInput, 0},
    {"end of input while pondering", Pondering, "move ", End::CloseInput, 0},
    {"closed output while thinking, then a move is due", Thinking, "pong 1", End::CloseOutputThenStop, 0},
    {"closed output while pondering, then a ping", Pondering, "move ", End::CloseOutputThenPing, 0},
    {"SIGTERM while thinking", Thinking, "pong 1", End::Term, 128 + SIGTERM},
    {"SIGHUP while thinking", Thinking, "pong 1", End::Hup, 128 + SIGHUP},
    {"SIGTERM while pondering", Pondering, "move ", End::Term, 128 + SIGTERM},
    {"SIGHUP while pondering", Pondering, "move ", End::Hup, 128 + SIGHUP},
};

TEST(EngineEnds, EveryEndWithinASecond) {
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.name);
    EngineProcess engine;
    engine.Send("xboard\nprotover 2\n" + std::string(c.session));
    ASSERT_TRUE(engine.ReadUntil(c.waitFor));
    std::this_thread::sleep_for(200ms);  // well into the search
    switch (c.end) {
      case End::CloseInput: engine.CloseInput(); break;
      case End::CloseOutputThenStop: engine.CloseOutput(), engine.Send("?"); break;
      case End::CloseOutputThenPing: engine.CloseOutput(), engine.Send("ping 2"); break;
      case End::Term: engine.Signal(SIGTERM); break;
      case End::Hup: engine.Signal(SIGHUP); break;
    }
    EXPECT_EQ(engine.WaitExit(WithinASecond), c.status);
    EXPECT_FALSE(engine.CoreDumped());
  }
}

// Fifty moves a side, the engine playing both, pondering through the first twenty, with
// thinking lines on; a game that ends early is followed by a new one.
TEST(EngineEnds, FiftyMoveSessionThenQuit) {
  EngineProcess engine;
  engine.Send("xboard\nprotover 2\nnew\nsd 3\npost\nhard\ngo");
  for (int moves = 0; moves < 100;) {
    const auto line = engine.ReadLine(30000);
    ASSERT_TRUE(line) << "after " << moves << " moves";
    if (line->rfind("move ", 0) == 0) {
      if (++moves == 40) engine.Send("easy");
      engine.Send("go");
    } else if (line->rfind("1-0", 0) == 0 || line->rfind("0-1", 0) == 0 || line->rfind("1/2-1/2", 0) == 0 ||
               *line == "resign") {
      engine.Send("new\nsd 3\ngo");  // "new" clears the depth limit
    }
  }
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(), 0);
}

}  // namespace
