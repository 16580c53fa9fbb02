// Game control: the resignation and draw-offer rules in process, and the search thread as an
// interface sees it through the engine's pipes (thinking, moving at once, pondering, stops).

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "engine_process.h"
#include "frontend/frontend.h"
#include "notation/notation.h"
#include "search/search.h"

namespace {

// ---- The two rules, driven directly.

struct ResignCase {
  const char* fen;
  double opponentSeconds;
  int32_t score;
  bool resigns;
};

TEST(GameControl, ResignsOnlyWithTimeScoreAndMaterialAllAgainstIt) {
  InitTables();
  // Queen and rook against a bare king: balance 0 - (900 + 500) = -1400 for white.
  const char* whiteLost = "4k3/8/8/8/8/8/qr6/7K w - -";
  const char* blackLost = "7k/QR6/8/8/8/8/8/4K3 b - -";
  // A lone queen: balance exactly -900, which is not below -900.
  const char* queenDown = "4k3/8/8/8/8/8/q7/7K w - -";
  const ResignCase cases[] = {
      {whiteLost, 60.01, -901, true},
      {blackLost, 60.01, -901, true},
      {whiteLost, 60.0, -5000, false},    // exactly a minute left to the opponent
      {whiteLost, 3600.0, -900, false},   // the score must lie below -900
      {whiteLost, 3600.0, 31990, false},  // down material but mating
      {queenDown, 3600.0, -5000, false},
      // The balance counts for the side to move: the same material is fine for black.
      {"4k3/8/8/8/8/8/qr6/7K b - -", 3600.0, -5000, false},
  };
  for (const ResignCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " otim " + std::to_string(c.opponentSeconds) + " score " +
                 std::to_string(c.score));
    ASSERT_TRUE(SetFromFen(gameRecord.gamePosition, c.fen));
    opponentTime = c.opponentSeconds;
    lastScore = c.score;
    EXPECT_EQ(ShouldResign(), c.resigns);
  }
  opponentTime = 0.0;
  lastScore = 0;
}

struct DrawCase {
  const char* fen;
  int32_t score;
  bool offers;
};

TEST(GameControl, DrawOffersFollowMaterialAndScoreOncePerGame) {
  InitTables();
  // Material: pawn 100, knight 295, bishop 300, rook 500.
  const DrawCase cases[] = {
      {"4k3/r7/8/8/8/8/R7/4K3 w - -", 0, true},     // a lone rook each
      {"4k3/r7/8/8/8/8/R7/4K3 w - -", 99, true},    // the score bounds are inclusive
      {"4k3/r7/8/8/8/8/R7/4K3 w - -", -99, true},
      {"4k3/r7/8/8/8/8/R7/4K3 w - -", 100, false},
      {"4k3/r7/8/8/8/8/R7/4K3 w - -", -100, false},
      {"4k3/8/2n5/8/8/2N5/8/4K3 b - -", 0, true},   // 295 against 295
      {"4k3/8/2b5/8/8/2N5/8/4K3 w - -", 0, true},   // 295 against 300: 5 apart
      {"4k3/8/2r5/8/8/2B5/8/4K3 w - -", 0, false},  // 300 against 500
      {"4k3/8/8/8/8/8/PPPPP3/r3K3 w - -", 0, false},  // 500 in pawns is no lone rook
      {"4k3/8/2n5/8/8/2N5/P7/4K3 w - -", 0, false},   // 395: a pawn is left
      {"4k3/8/8/8/8/2N5/8/4K3 w - -", 0, false},      // black has no material
  };
  for (const DrawCase& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " score " + std::to_string(c.score));
    ASSERT_TRUE(SetFromFen(gameRecord.gamePosition, c.fen));
    lastScore = c.score;
    drawOfferAllowed = true;
    testing::internal::CaptureStdout();
    MaybeOfferDraw();
    MaybeOfferDraw();  // the first offer uses up the game's one offer
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said, c.offers ? "offer draw\n" : "");
    EXPECT_EQ(drawOfferAllowed, !c.offers);
  }
  // Without the game's allowance nothing is said even where an offer would be made.
  ASSERT_TRUE(SetFromFen(gameRecord.gamePosition, "4k3/r7/8/8/8/8/R7/4K3 w - -"));
  lastScore = 0;
  drawOfferAllowed = false;
  testing::internal::CaptureStdout();
  MaybeOfferDraw();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---- The search thread through the pipes.

// "depth score centiseconds nodes" and the principal variation.
bool IsThinkingLine(const std::string& line) {
  static const std::regex pattern(R"(^\d+ -?\d+ \d+ \d+( [a-h][1-8][a-h][1-8][qrbn]?)*$)");
  return std::regex_match(line, pattern);
}

int ThinkingDepth(const std::string& line) { return std::stoi(line); }

// The position after the moves, checking that each is legal; false at the first that is not.
bool Replay(const std::string& fen, const std::vector<std::string>& moves, Position& pos) {
  if (!SetFromFen(pos, fen)) return false;
  for (std::string text : moves) {
    Move move;
    if (!ParseMoveText(pos, text, move)) return false;
    MakeMove(pos, move);
    pos.cacheFlags = 0;
  }
  return true;
}

bool IsLegal(const std::string& fen, const std::vector<std::string>& moves, const std::string& next) {
  Position pos;
  if (!Replay(fen, moves, pos)) return false;
  std::string text = next;
  Move move;
  return ParseMoveText(pos, text, move);
}

// Generous bounds: the same tests run under the sanitizers on a shared machine.
constexpr int MoveTimeoutMs = 30000;
constexpr int PromptMs = 2000;

class GameSearchThread : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    engine.Send("xboard");
    engine.Send("protover 2");
    ASSERT_TRUE(engine.ReadUntil("feature done=1"));
  }

  // Reads up to the first line that is not a thinking line; the thinking lines before it
  // are kept in `thinking`.
  std::optional<std::string> NextReply(int timeoutMs = MoveTimeoutMs) {
    while (auto line = engine.ReadLine(timeoutMs)) {
      if (!IsThinkingLine(*line)) return line;
      thinking.push_back(*line);
    }
    return std::nullopt;
  }

  // The move text of the next reply, which must be a move line.
  std::string NextMove() {
    auto reply = NextReply();
    if (!reply || reply->rfind("move ", 0) != 0) {
      ADD_FAILURE() << "expected a move line, got " << reply.value_or("<nothing>");
      return "";
    }
    return reply->substr(5);
  }

  // Sends a ping and returns the non-thinking lines before its pong.
  std::string Exchange(const std::vector<std::string>& commands, int timeoutMs = PromptMs) {
    for (const auto& command : commands) engine.Send(command);
    engine.Send("ping 77");
    std::string seen;
    while (auto line = engine.ReadLine(timeoutMs)) {
      if (*line == "pong 77") return seen;
      if (!IsThinkingLine(*line)) seen += *line + "\n";
    }
    return seen + "<no pong>";
  }

  // Waits for a thinking line: the search (or ponder search) is running.
  bool SeesThinking(int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      auto line = engine.ReadLine(timeoutMs);
      if (!line) return false;
      if (IsThinkingLine(*line)) return true;
      ADD_FAILURE() << "unexpected line while waiting for thinking: " << *line;
    }
    return false;
  }

  static void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  EngineProcess engine;
  std::vector<std::string> thinking;
};

const std::string StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST_F(GameSearchThread, GoGivesExactlyOneLegalMoveWithinTheDepthLimit) {
  const char* positions[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R b KQkq - 4 8",  // both may castle
      "k7/8/8/8/8/8/1r5p/K7 w - - 0 1",  // the only move takes the rook
      "8/4P2k/8/8/8/8/8/K7 w - - 0 1",  // promotion
      "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",  // en passant
  };
  engine.Send("post");
  engine.Send("sd 3");
  for (const char* fen : positions) {
    SCOPED_TRACE(fen);
    thinking.clear();
    engine.Send(std::string("setboard ") + fen);
    engine.Send("go");
    std::string move = NextMove();
    EXPECT_TRUE(IsLegal(fen, {}, move)) << move;
    for (const std::string& line : thinking) EXPECT_LE(ThinkingDepth(line), 3) << line;
    // No second move and, without "hard", no pondering after it.
    EXPECT_EQ(Exchange({}), "");
  }
  // The same search without the limit goes deeper than 3 when given the time, so the limit
  // above was what held it back.
  thinking.clear();
  engine.Send("sd 0");
  engine.Send("time 360000");
  engine.Send("otim 360000");
  engine.Send(std::string("setboard ") + positions[1]);
  engine.Send("go");
  bool deeper = false;
  while (!deeper) {
    auto line = engine.ReadLine(MoveTimeoutMs);
    ASSERT_TRUE(line);
    ASSERT_TRUE(IsThinkingLine(*line)) << *line;
    deeper = ThinkingDepth(*line) > 3;
  }
  engine.Send("?");
  EXPECT_TRUE(IsLegal(positions[1], {}, NextMove()));
}

TEST_F(GameSearchThread, MoveNowPlaysAtOnceAndDoesNotPonder) {
  engine.Send("new");
  engine.Send("post");
  engine.Send("hard");
  engine.Send("time 360000");
  engine.Send("otim 360000");
  engine.Send("go");
  ASSERT_TRUE(SeesThinking());
  auto sent = std::chrono::steady_clock::now();
  engine.Send("?");
  auto reply = NextReply(PromptMs);
  auto waited = std::chrono::steady_clock::now() - sent;
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->rfind("move ", 0), 0u) << *reply;
  EXPECT_LT(waited, std::chrono::milliseconds(PromptMs));
  EXPECT_TRUE(IsLegal(StartFen, {}, reply->substr(5)));
  // The stop kept the finishing thread from pondering although "hard" is on.
  Pause(400);
  EXPECT_EQ(Exchange({}), "");
  auto stray = engine.ReadLine(300);
  EXPECT_FALSE(stray) << *stray;
}

TEST_F(GameSearchThread, ForceWhileThinkingPlaysTheBestMoveThenOnlyRecords) {
  engine.Send("new");
  engine.Send("nopost");
  engine.Send("time 360000");
  engine.Send("otim 360000");
  engine.Send("go");
  Pause(200);
  engine.Send("force");
  std::vector<std::string> moves{NextMove()};
  ASSERT_TRUE(IsLegal(StartFen, {}, moves[0])) << moves[0];
  moves.push_back("e7e5");  // legal after any first move of white
  std::string white;
  for (const char* candidate : {"g1f3", "b1c3", "a2a3", "h2h3"}) {
    if (!IsLegal(StartFen, moves, candidate)) continue;
    white = candidate;
    break;
  }
  moves.push_back(white);
  // Recorded without a reply.
  EXPECT_EQ(Exchange({"usermove e7e5", "usermove " + white}), "");
  // The engine takes up black from the recorded game.
  engine.Send("sd 2");
  engine.Send("go");
  std::string reply = NextMove();
  EXPECT_TRUE(IsLegal(StartFen, moves, reply)) << reply;
}

TEST_F(GameSearchThread, MateByTheEngineEndsTheGameWithoutPondering) {
  engine.Send("post");
  engine.Send("hard");
  engine.Send("time 360000");
  engine.Send("otim 360000");
  engine.Send("setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - -");
  engine.Send("go");
  EXPECT_EQ(NextReply(), "move a1a8");
  EXPECT_EQ(NextReply(PromptMs), "1-0 {Skarne says 'White mates'}");
  Pause(400);
  EXPECT_EQ(Exchange({}), "");
  EXPECT_FALSE(engine.ReadLine(300));
}

TEST_F(GameSearchThread, PonderingAnswersPingsAndAUserMoveStopsIt) {
  engine.Send("new");
  engine.Send("post");
  engine.Send("hard");
  engine.Send("time 3000");
  engine.Send("otim 3000");
  engine.Send("go");
  std::vector<std::string> moves{NextMove()};
  ASSERT_TRUE(IsLegal(StartFen, {}, moves[0]));
  ASSERT_TRUE(SeesThinking()) << "no pondering after the move";
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    auto sent = std::chrono::steady_clock::now();
    // Commands without a stop run beside the ponder search.
    EXPECT_EQ(Exchange({"post", "sd 0", "hard"}), "");
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(PromptMs));
  }
  engine.Send("time 3000");
  engine.Send("otim 3000");
  engine.Send("usermove e7e5");  // legal after any first move of white
  moves.push_back("e7e5");
  // The ponder search ends silently; the only reply is the next move.
  std::string reply = NextMove();
  EXPECT_TRUE(IsLegal(StartFen, moves, reply)) << reply;
  // ... after which pondering starts again.
  EXPECT_TRUE(SeesThinking());
  EXPECT_EQ(Exchange({"force"}), "");
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(10000), 0);
}

TEST_F(GameSearchThread, RefusedUserMoveResumesPonderingOnlyWhenHard) {
  for (bool hard : {true, false}) {
    SCOPED_TRACE(hard ? "hard" : "easy");
    engine.Send("new");
    engine.Send("post");
    engine.Send(hard ? "hard" : "easy");
    engine.Send("time 3000");
    engine.Send("otim 3000");
    engine.Send("go");
    ASSERT_FALSE(NextMove().empty());
    if (hard) {
      ASSERT_TRUE(SeesThinking());
    }
    engine.Send("usermove e2e5");
    EXPECT_EQ(NextReply(PromptMs), "Illegal move: e2e5");
    if (hard) {
      EXPECT_TRUE(SeesThinking()) << "pondering did not resume";
    } else {
      Pause(400);
      auto stray = engine.ReadLine(300);
      EXPECT_FALSE(stray) << *stray;
    }
    EXPECT_EQ(Exchange({"force"}), "");
  }
}

struct ResignGame {
  const char* fen;
  const char* otim;
  const char* reply;
};

TEST_F(GameSearchThread, ResignsInsteadOfMovingOnlyWhenLost) {
  const ResignGame games[] = {
      {"4k3/8/8/8/8/8/qr6/7K w - -", "6001", "resign"},
      {"7k/QR6/8/8/8/8/8/4K3 b - -", "6001", "resign"},
      {"4k3/8/8/8/8/8/qr6/7K w - -", "6000", "move "},  // 60.0 s exactly
      // Four knights and three pawns against a rook (balance 500 - 1480) but mate in one.
      {"6k1/5ppp/8/8/8/1nnnn3/8/R6K w - -", "6001", "move a1a8"},
  };
  engine.Send("nopost");
  engine.Send("sd 4");
  for (const ResignGame& g : games) {
    SCOPED_TRACE(std::string(g.fen) + " otim " + g.otim);
    engine.Send(std::string("setboard ") + g.fen);
    engine.Send("time 360000");
    engine.Send(std::string("otim ") + g.otim);
    engine.Send("go");
    auto reply = NextReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->rfind(g.reply, 0), 0u) << *reply;
    if (std::string(g.reply) == "resign") {
      // Resigning ends the game: the move was neither sent nor played.
      EXPECT_EQ(Exchange({"usermove a1a2"}), "Illegal move: a1a2\n");
    } else {
      EXPECT_TRUE(IsLegal(g.fen, {}, reply->substr(5))) << *reply;
      Exchange({});
    }
  }
}

TEST_F(GameSearchThread, OffersADrawOncePerGameAndAgainAfterNew) {
  // A knight each, on squares from which no move makes either worth more than 300: the
  // recognized draw scores every move 0, so any first move must still allow the offer.
  const std::string fen = "4k1n1/8/8/8/8/8/8/N3K3 w - -";
  engine.Send("nopost");
  engine.Send("sd 6");  // deep enough for a score near the draw
  for (int game = 0; game < 2; ++game) {
    SCOPED_TRACE(game);
    if (game > 0) engine.Send("new");
    engine.Send("setboard " + fen);
    engine.Send("go");
    std::string first = NextMove();
    ASSERT_TRUE(IsLegal(fen, {}, first));
    EXPECT_EQ(NextReply(PromptMs), "offer draw");
    // The king steps aside; no knight reaches d8 in one move. No second offer follows.
    engine.Send("usermove e8d8");
    std::string second = NextMove();
    EXPECT_TRUE(IsLegal(fen, {first, "e8d8"}, second)) << second;
    EXPECT_EQ(Exchange({}), "");
  }
}

TEST_F(GameSearchThread, ACaptureThatEndsTheGameStillOffersTheDraw) {
  // Bishop takes the loose knight, leaving a bishop each on dark squares: the game ends
  // drawn, and the offer follows the result line since the score is a draw.
  engine.Send("nopost");
  engine.Send("sd 6");
  engine.Send("setboard 4k3/b7/8/6n1/8/8/3B4/4K3 w - -");
  engine.Send("go");
  EXPECT_EQ(NextReply(), "move d2g5");
  EXPECT_EQ(NextReply(PromptMs), "1/2-1/2 {Skarne says 'insufficient material'}");
  EXPECT_EQ(NextReply(PromptMs), "offer draw");
  EXPECT_EQ(Exchange({"usermove a7b6"}), "Illegal move: a7b6\n");
}

TEST_F(GameSearchThread, EndOfInputWhileThinkingEndsCleanly) {
  engine.Send("new");
  engine.Send("post");
  engine.Send("time 360000");
  engine.Send("otim 360000");
  engine.Send("go");
  ASSERT_TRUE(SeesThinking());
  engine.CloseInput();
  EXPECT_EQ(engine.WaitExit(10000), 0);
  // The stopped search still sent its move before the process ended.
  std::string move = NextMove();
  EXPECT_TRUE(IsLegal(StartFen, {}, move)) << move;
}

}  // namespace
