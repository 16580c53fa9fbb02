// The command table and the protocol as an interface sees it through the engine's pipes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_process.h"
#include "frontend/commands.h"

namespace {

const std::string FeatureLine =
    "feature ping=1 setboard=1 playother=0 san=0 usermove=1 time=1 draw=0 sigint=0 reuse=1 "
    "analyze=0 myname=\"Skarne 1.52\" colors=0 ics=0 name=0 pause=0 done=0";

TEST(CommandTable, EveryNameSitsAtItsHomeSlotAndIsFound) {
  struct Expected {
    const char* name;
    int slot;
  };
  // Slots from h = (h * 256 + c) mod 129, worked out by hand for the protocol's names.
  const Expected table[CommandCount] = {
      {"quit", 115}, {"ping", 52},      {"usermove", 88}, {"go", 34},      {"time", 20},    {"otim", 120},
      {"force", 71}, {"level", 8},      {"new", 99},      {"result", 125}, {"setboard", 66}, {"post", 79},
      {"nopost", 12}, {"accepted", 90}, {"easy", 116},    {"hard", 73},    {"protover", 48}, {"?", 63},
      {"undo", 60},  {"remove", 114},   {"sd", 128},
  };
  for (int i = 0; i < CommandCount; ++i) {
    SCOPED_TRACE(table[i].name);
    EXPECT_STREQ(commandTable[i].name, table[i].name);
    EXPECT_EQ(CommandHash(table[i].name), table[i].slot);
    EXPECT_EQ(LookupCommand(table[i].name), i);
  }
}

TEST(CommandTable, NearMissesAndHighBytesAreUnknown) {
  for (const char* word : {"Ping", "pin", "pings", "", "QUIT", "usermove ", "s", "??"}) {
    EXPECT_EQ(LookupCommand(word), -1) << word;
  }
  EXPECT_EQ(CommandHash(""), 0);
  // Bytes of 0x80 and above would give a negative remainder: no slot at all.
  for (int byte = 0x80; byte < 0x100; ++byte) {
    std::string word = "png";
    word[1] = static_cast<char>(byte);
    EXPECT_EQ(CommandHash(word), -1);
    EXPECT_EQ(LookupCommand(word), -1);
  }
}

TEST(Protocol, AnythingButTheGreetingEndsSilently) {
  for (const char* first : {"xboard \n", "XBOARD\n", "uci\n", ""}) {
    SCOPED_TRACE(first);
    EngineProcess engine;
    engine.SendRaw(first);
    engine.Send("protover 2");
    engine.CloseInput();
    EXPECT_EQ(engine.ReadLine(2000), std::nullopt);
    EXPECT_EQ(engine.WaitExit(), 0);
  }
}

TEST(Protocol, HandshakeSendsTheFeatureLinesExactlyOnce) {
  EngineProcess engine;
  engine.Send("xboard");
  engine.Send("ping 1");  // commands before protover get their answers, but no feature line
  engine.Send("protover 1");
  engine.Send("protover 2");
  engine.Send("protover 2");
  engine.Send("ping 2");
  EXPECT_EQ(engine.ReadLine(), "pong 1");
  EXPECT_EQ(engine.ReadLine(), FeatureLine);
  EXPECT_EQ(engine.ReadLine(), "feature done=1");
  EXPECT_EQ(engine.ReadLine(), "pong 2");
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(), 0);
}

TEST(Protocol, RepliesToPingAndUnknownCommands) {
  EngineProcess engine;
  engine.Send("xboard");
  engine.Send("protover 2");
  ASSERT_TRUE(engine.ReadUntil("feature done=1"));
  engine.Send("ping 42");
  EXPECT_EQ(engine.ReadLine(), "pong 42");
  engine.Send("ping");
  EXPECT_EQ(engine.ReadLine(), "pong ");
  engine.Send("foo bar");
  EXPECT_EQ(engine.ReadLine(), "Error (unknown command): foo");
  engine.Send("");
  EXPECT_EQ(engine.ReadLine(), "Error (unknown command): ");
  engine.Send(" ping 3");
  EXPECT_EQ(engine.ReadLine(), "Error (unknown command): ");
  engine.Send("ping\t4");  // a tab is no separator
  EXPECT_EQ(engine.ReadLine(), "Error (unknown command): ping\t4");
  engine.Send("p\xe9ng 5");
  EXPECT_EQ(engine.ReadLine(), "Error (unknown command): p\xe9ng");
  engine.Send("post");
  engine.Send("nopost");
  engine.Send("accepted ping");
  engine.Send("easy");
  engine.Send("hard");
  engine.Send("sd 4");
  engine.Send("time 1e400");
  engine.Send("otim nan");
  engine.Send("time -5");
  engine.Send("ping 6");
  EXPECT_EQ(engine.ReadLine(), "pong 6");
  engine.CloseInput();  // end of input ends the loop like "quit"
  EXPECT_EQ(engine.WaitExit(), 0);
}

TEST(Protocol, OverlongTextIsCutToItsBuffers) {
  EngineProcess engine;
  engine.Send("xboard");
  // The pong line lives in 256 bytes: "pong " and 250 characters.
  engine.Send("ping " + std::string(600, 'x'));
  auto pong = engine.ReadLine();
  ASSERT_TRUE(pong);
  EXPECT_EQ(*pong, "pong " + std::string(250, 'x'));
  // A 3000-character word arrives in pieces of 1023; each reply fits 1024 bytes.
  engine.Send(std::string(3000, 'w'));
  size_t total = 0;
  for (int piece = 0; piece < 3; ++piece) {
    auto reply = engine.ReadLine();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->rfind("Error (unknown command): ", 0), 0u);
    EXPECT_LE(reply->size(), 1023u);
    total += reply->size() - 25;
  }
  EXPECT_LE(total, 3000u);
  engine.Send("ping 7");
  EXPECT_EQ(engine.ReadUntil("pong 7").has_value(), true);
  // The refusal of a move lives in 32 bytes: "Illegal move: " and 17 characters.
  engine.Send("usermove " + std::string(40, 'e'));
  EXPECT_EQ(engine.ReadLine(), "Illegal move: " + std::string(17, 'e'));
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(), 0);
}

TEST(Protocol, GameCommandsBeforeTheHandshakeTouchNothing) {
  EngineProcess engine;
  engine.Send("xboard");
  for (const char* command : {"new", "setboard 4k3/8/8/8/8/8/8/4K3 w - -", "undo", "remove", "go"})
    engine.Send(command);
  engine.Send("usermove e2e4");
  EXPECT_EQ(engine.ReadLine(), "Illegal move: e2e4");
  engine.Send("protover 2");
  ASSERT_TRUE(engine.ReadUntil("feature done=1"));
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(), 0);
}

class GameSession : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.Send("xboard");
    engine.Send("protover 2");
    ASSERT_TRUE(engine.ReadUntil("feature done=1"));
  }
  // Sends the commands, then a ping, and returns the lines before the pong.
  std::string Exchange(const std::vector<std::string>& commands) {
    for (const auto& command : commands) engine.Send(command);
    engine.Send("ping 99");
    return engine.ReadUntil("pong 99").value_or("<no pong>");
  }
  EngineProcess engine;
};

TEST_F(GameSession, UserMovesBeforeNewAreRefused) {
  EXPECT_EQ(Exchange({"usermove e2e4"}), "Illegal move: e2e4\n");
}

TEST_F(GameSession, FoolsMateInForceModeAnnouncesTheResult) {
  EXPECT_EQ(Exchange({"new", "force", "usermove f2f3", "usermove e7e5", "usermove g2g4", "usermove d8h4"}),
            "0-1 {Skarne says 'Black mates'}\n");
  // The game is over: further moves are refused.
  EXPECT_EQ(Exchange({"usermove a2a3"}), "Illegal move: a2a3\n");
}

TEST_F(GameSession, IllegalAndMalformedMovesAreRefusedInLowerCase) {
  EXPECT_EQ(Exchange({"new", "force", "usermove E2E5", "usermove O-O", "usermove e2e4q", "usermove E2E4"}),
            "Illegal move: e2e5\nIllegal move: O-O\nIllegal move: e2e4q\n");
}

TEST_F(GameSession, RefusedSetboardEndsTheGame) {
  EXPECT_EQ(Exchange({"new", "force", "setboard 8/8/8/8/8/8/8/8 w - -", "usermove e2e4"}),
            "tellusererror Illegal position\nIllegal move: e2e4\n");
  // A good set-up starts a game again; a stalemate set-up is announced at once.
  EXPECT_EQ(Exchange({"setboard 7k/5Q2/6K1/8/8/8/8/8 b - -"}), "1/2-1/2 {Skarne says 'Stalemate'}\n");
  EXPECT_EQ(Exchange({"setboard 4k3/8/8/8/8/8/4P3/4K3 w - -", "force", "usermove e2e4"}), "");
}

TEST_F(GameSession, UndoAndRemoveTakeMovesBack) {
  // After taking back the mating move the same mate can be played again.
  EXPECT_EQ(Exchange({"new", "force", "usermove f2f3", "usermove e7e5", "usermove g2g4", "undo",
                      "usermove g2g4", "usermove d8h4"}),
            "0-1 {Skarne says 'Black mates'}\n");
  EXPECT_EQ(Exchange({"new", "force", "usermove e2e4", "usermove e7e5", "remove", "usermove e2e4",
                      "usermove e7e5"}),
            "");
  // Removing more moves than were played leaves the start position.
  EXPECT_EQ(Exchange({"new", "force", "remove", "undo", "usermove e2e5"}), "Illegal move: e2e5\n");
}

TEST_F(GameSession, RepetitionAndInsufficientMaterialEndTheGame) {
  EXPECT_EQ(Exchange({"new", "force", "usermove g1f3", "usermove g8f6", "usermove f3g1", "usermove f6g8",
                      "usermove g1f3", "usermove g8f6", "usermove f3g1", "usermove f6g8"}),
            "1/2-1/2 {Skarne says 'Draw by repetition'}\n");
  EXPECT_EQ(Exchange({"setboard 4k3/8/8/8/8/8/3r4/4K3 w - -", "force", "usermove e1d2"}),
            "1/2-1/2 {Skarne says 'insufficient material'}\n");
}

}  // namespace

namespace {

TEST_F(GameSession, GoAndUserMovesMakeTheEngineMove) {
  engine.Send("new");
  engine.Send("nopost");
  engine.Send("sd 3");
  engine.Send("go");
  auto reply = engine.ReadLine(20000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->rfind("move ", 0), 0u) << *reply;
  // The engine played white's move; a black reply outside force mode makes it move again.
  engine.Send("usermove e7e5");
  reply = engine.ReadLine(20000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->rfind("move ", 0), 0u) << *reply;
  EXPECT_EQ(Exchange({}), "");
}

TEST_F(GameSession, EngineMateEndsTheGameWithTheResultLine) {
  engine.Send("setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - -");
  engine.Send("nopost");
  engine.Send("sd 3");
  engine.Send("go");
  EXPECT_EQ(engine.ReadLine(20000), "move a1a8");
  EXPECT_EQ(engine.ReadLine(), "1-0 {Skarne says 'White mates'}");
  EXPECT_EQ(Exchange({"usermove g8h8"}), "Illegal move: g8h8\n");
}

}  // namespace
