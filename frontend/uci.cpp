// skarne-uci: the engine for clients that speak UCI. The game record, the search thread, the
// time planning and the settings are those of the xboard engine; this file reads UCI lines
// and answers in UCI's words.

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "frontend/configuration.h"
#include "frontend/frontend.h"
#include "frontend/handlers.h"
#include "frontend/numbers.h"
#include "frontend/output.h"
#include "frontend/time_control.h"
#include "learn/learn.h"
#include "notation/notation.h"
#include "search/search.h"

namespace {

using Words = std::vector<std::string>;

// What the last "go" asked for. A "ponderhit" turns its ponder search into the timed search
// of the same "go".
struct GoRequest {
  double clockMs[2] = {-1.0, -1.0};  // by side; negative: not given
  double incrementMs[2] = {0.0, 0.0};
  int32_t movesToGo = 0;
  double moveTimeMs = 0.0;
  int32_t depth = 0;
  bool infinite = false;  // also a "go" without any limit
  bool ponder = false;
};
GoRequest request;

// The game as the client last gave it: where it started and its moves so far, so that the
// next "position" of the same game only adds its new moves (keeping the hash table, the book
// cursor and learning), or takes back the ones a missed ponder move put there.
struct ClientGame {
  std::string start = "startpos";  // or the FEN text
  Words moves;
  bool valid = false;         // a "position fen" the engine could not read leaves none
  bool learningOpen = false;  // a game from the start position whose learning is not ended
};
ClientGame client;

constexpr std::string_view StartPosition = "startpos";

Words SplitWords(const std::string& line) {
  std::istringstream in(line);
  Words words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string JoinWords(const Words& words, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to && i < words.size(); ++i) text += (text.empty() ? "" : " ") + words[i];
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// ---- Output

std::string ScoreText(int32_t score) {
  if (score >= MateScoreBound) return "mate " + std::to_string((MateScore - score + 1) / 2);
  if (score <= -MateScoreBound) return "mate -" + std::to_string((MateScore + score + 1) / 2);
  return "cp " + std::to_string(score);
}

// The search's thinking line, "depth score centiseconds nodes" and the variation, as an info
// line.
void SendInfo(const char* line) {
  int depth = 0, score = 0, consumed = 0;
  long long centiseconds = 0;
  unsigned long long nodes = 0;
  if (std::sscanf(line, "%d %d %lld %llu%n", &depth, &score, &centiseconds, &nodes, &consumed) != 4) return;
  const long long ms = centiseconds * 10;
  std::string info = "info depth " + std::to_string(depth) + " score " + ScoreText(score) +
                     " nodes " + std::to_string(nodes);
  if (ms > 0) info += " nps " + std::to_string(nodes * 1000 / static_cast<unsigned long long>(ms));
  info += " time " + std::to_string(ms);
  const char* variation = line + consumed;
  if (*variation) info += std::string(" pv") + variation;
  SendLine(info);
}

// Messages meant for the xboard interface's user ("tellusererror ...") reach a UCI client
// as info strings.
void SendInfoString(const char* line) {
  std::string_view text(line);
  constexpr std::string_view UserError = "tellusererror ";
  if (text.substr(0, UserError.size()) == UserError) text.remove_prefix(UserError.size());
  SendLine("info string " + std::string(text));
}

// The reply the search expects to the move: the hash table's move for the position after
// it, when that is legal there.
bool ExpectedReply(const Move& move, Move& reply) {
  Position after = gameRecord.gamePosition;
  Position trial;
  after.cacheFlags = 0;
  MakeMove(after, move);
  const uint16_t index = HashMoveIndex(uint32_t(after.hashKey), uint32_t(after.hashKey >> 32));
  if (index == 0) return false;
  GenerateMoves(after);
  if (index > after.moveCount) return false;
  reply = after.moveList[index];
  return MoveIsLegal(after, reply, trial);
}

std::string BestMoveLine(const Move& move) {
  if (move.from == NoMoveSquare) return "bestmove 0000";  // no legal move to play
  std::string line = "bestmove " + MoveText(move);
  Move reply;
  if (ExpectedReply(move, reply)) line += " ponder " + MoveText(reply);
  return line;
}

// ---- Searching

// The time planner the search calls: a fixed time, or the xboard engine's planning of the
// clock with the moves to go as the period's moves, counted from its first move.
void PlanClientMove() {
  std::fill(timeLimits, timeLimits + 3, NoTimeLimit);
  if (request.moveTimeMs > 0.0) {
    std::fill(timeLimits, timeLimits + 3, int32_t(std::min(request.moveTimeMs, double(NoTimeLimit))));
    return;
  }
  const int side = gameRecord.gamePosition.sideToMove;
  TimePeriod period;
  period.moves = request.movesToGo > 0 ? request.movesToGo : 0;
  period.incrementSeconds = request.incrementMs[side] / 1000.0;  // in the period's own unit
  TimeControl control;
  control.periods.push_back(period);
  const TimePlan plan = PlanTime(control, 1, request.clockMs[side] / 1000.0, gameRecord.timeReserve);
  std::copy(plan.limits, plan.limits + 3, timeLimits);
}

bool Endless() { return request.infinite || request.ponder; }

void ClientSearchMain() {
  Move move = NoMove;
  const bool endless = Endless();
  Think(move, endless);
  // An endless search answers only when told to, even when it has ended by itself.
  while (endless && !stopSearch) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (searchMoveDropped) return;
  SendLine(BestMoveLine(move));
}

void StartClientSearch() {
  if (!client.valid) {
    SendLine("bestmove 0000");
    return;
  }
  depthLimit = request.depth;
  StartSearchThread(ClientSearchMain);
}

// ---- Commands

// UCI options and the settings keys behind them.
struct OptionKey {
  const char* option;
  const char* key;
};
constexpr OptionKey OptionKeys[] = {
    {"Hash", "HashSize"}, {"Book", "Book"}, {"EGTBPath", "EGTBPath"}, {"EGTBCacheSize", "EGTBCacheSize"}, {"Learn", "Learn"},
};
constexpr int32_t MaxHashMb = 4096;

void SendIdentity() {
  SendLine("id name Skarne " + std::string(EngineVersion));
  SendLine("id author the Skarne developers");
  const int64_t hashMb = configuration.hashSizeGiven ? configuration.hashBytes / 1048576 : DefaultHashBytes / 1048576;
  SendLine("option name Hash type spin default " + std::to_string(std::clamp<int64_t>(hashMb, 1, MaxHashMb)) +
           " min 1 max " + std::to_string(MaxHashMb));
  SendLine("option name Ponder type check default false");
  SendLine("option name Book type string default " +
           (configuration.bookFile.empty() ? std::string("<empty>") : configuration.bookFile));
  SendLine("option name EGTBPath type string default " +
           (configuration.tablebasePaths.empty() ? std::string("<empty>") : configuration.tablebasePaths));
  SendLine("option name EGTBCacheSize type spin default " + std::to_string(configuration.tablebaseCacheBytes) +
           " min 0 max 2147483647");
  SendLine(std::string("option name Learn type check default ") +
           (configuration.learningEnabled ? "true" : "false"));
  SendLine("uciok");
}

// "setoption name NAME value VALUE"; names and values may hold blanks. "Ponder" only tells
// the engine that the client may send "go ponder": there is nothing to keep.
void HandleSetOption(const Words& words) {
  auto valueAt = std::find(words.begin(), words.end(), "value");
  const std::string name = JoinWords(words, 2, size_t(valueAt - words.begin()));
  std::string value = valueAt == words.end() ? "" : JoinWords(words, size_t(valueAt - words.begin()) + 1, words.size());
  if (value == "<empty>") value.clear();
  // Into the settings file's own form: megabytes for the hash, 0 or 1 for learning.
  char setting[16];
  if (SameName(name, "Hash"))
    std::snprintf(setting, sizeof setting, "%dM", std::clamp(ReadInt32(value), 1, MaxHashMb));
  else
    std::snprintf(setting, sizeof setting, "%d", SameName(value, "true"));
  const bool numeric = SameName(name, "Hash") || SameName(name, "Learn");
  StopSearchThread();
  for (const OptionKey& entry : OptionKeys) {
    if (SameName(name, entry.option)) ApplySetting(entry.key, numeric ? setting : value.c_str());
  }
  ConfigureLearning(configuration.learningEnabled, configuration.learnFileName);
}

void EndLearning() {
  if (client.learningOpen) LearningGameEnded();
  client.learningOpen = false;
}

// Sets up the start of a new game; false when the FEN is refused.
bool StartClientGame(const std::string& start) {
  EndLearning();
  client.moves.clear();
  client.start = start;
  client.valid = true;
  if (start == StartPosition) {
    NewGame();
    client.learningOpen = true;
    return true;
  }
  if (SetupGame(start)) return true;
  client.valid = false;
  SendLine("info string Illegal position: " + start);
  return false;
}

void HandleNewGame() {
  StopSearchThread();
  StartClientGame(std::string(StartPosition));
}

// "position startpos|fen FEN [moves M...]"
void HandlePosition(const Words& words) {
  if (words.size() < 2) return;
  StopSearchThread();
  const size_t movesAt = size_t(std::find(words.begin(), words.end(), "moves") - words.begin());
  const std::string start = words[1] == "fen" ? JoinWords(words, 2, movesAt) : std::string(StartPosition);
  Words moves;
  for (size_t i = movesAt + 1; i < words.size(); ++i) moves.push_back(words[i]);
  for (std::string& text : moves)
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });

  size_t common = 0;
  while (common < client.moves.size() && common < moves.size() && client.moves[common] == moves[common]) ++common;
  const bool sameGame = client.valid && start == client.start && (common > 0 || client.moves.empty());
  if (!sameGame && !StartClientGame(start)) return;
  if (!sameGame) common = 0;
  while (client.moves.size() > common) {
    TakeBack();
    client.moves.pop_back();
  }
  for (size_t i = common; i < moves.size(); ++i) {
    std::string text = moves[i];
    Move move;
    if (!ParseMoveText(gameRecord.gamePosition, text, move)) {
      SendLine("info string Illegal move: " + moves[i]);
      return;
    }
    PlayGameMove(move);
    client.moves.push_back(moves[i]);
  }
}

constexpr double NodeLimitMoveMs = 1000.0;

double Milliseconds(const Words& words, size_t i) {
  return i < words.size() ? std::clamp(ReadDouble(words[i]), 0.0, 1e12) : 0.0;
}

void HandleGo(const Words& words) {
  StopSearchThread();
  request = GoRequest{};
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "infinite") request.infinite = true;
    else if (w == "ponder") request.ponder = true;
    else if (w == "wtime") request.clockMs[White] = Milliseconds(words, ++i);
    else if (w == "btime") request.clockMs[Black] = Milliseconds(words, ++i);
    else if (w == "winc") request.incrementMs[White] = Milliseconds(words, ++i);
    else if (w == "binc") request.incrementMs[Black] = Milliseconds(words, ++i);
    else if (w == "movestogo") request.movesToGo = ReadInt32(i + 1 < words.size() ? words[++i] : "");
    else if (w == "movetime") request.moveTimeMs = Milliseconds(words, ++i);
    else if (w == "depth") request.depth = std::clamp(ReadInt32(i + 1 < words.size() ? words[++i] : ""), 0, MaxPly);
    // A mate in n moves lies within 2n - 1 plies.
    else if (w == "mate") request.depth = std::clamp(2 * ReadInt32(i + 1 < words.size() ? words[++i] : "") - 1, 0, MaxPly);
    // The search counts no nodes against a limit: a node budget gets a short fixed time.
    else if (w == "nodes") {
      request.moveTimeMs = NodeLimitMoveMs;
      ++i;
    }
  }
  const int side = client.valid ? int(gameRecord.gamePosition.sideToMove) : int(White);
  const bool limited = request.clockMs[side] >= 0.0 || request.moveTimeMs > 0.0 || request.depth > 0;
  // A "go" that sets no limit searches until "stop".
  if (!limited) request.infinite = true;
  StartClientSearch();
}

// The client's guess was right: the ponder search gives way to the timed search of the same
// "go", which starts with the hash table the ponder search filled.
void HandlePonderHit() {
  if (!searchRunning || !request.ponder) return;
  StopSearchThread(true);
  request.ponder = false;
  StartClientSearch();
}

void Quit() {
  StopSearchThread();
  EndLearning();
  TearDown();
}

}  // namespace

int main() {
  // Seed 0 draws from the clock: each run of the engine varies its book moves.
  RandomSeed(bookRandom, 0);
  BuildTables();
  if (!ReadConfiguration()) {
    // The default file has been written; a UCI client starts the engine once, so its
    // settings apply at once instead of on the next start.
    std::istringstream defaults{std::string(DefaultConfiguration)};
    for (std::string line; std::getline(defaults, line);) ApplyConfigurationLine((line + "\n").c_str());
  }
  CompleteStartUp();
  thinkingOutput = SendInfo;
  learningState.messageOutput = SendInfoString;
  planMoveTime = PlanClientMove;
  postThinking = true;
  StartClientGame(std::string(StartPosition));

  for (std::string line; std::getline(std::cin, line);) {
    const Words words = SplitWords(line);
    if (words.empty()) continue;
    const std::string& command = words[0];
    if (command == "uci") SendIdentity();
    else if (command == "isready") SendLine("readyok");
    else if (command == "ucinewgame") HandleNewGame();
    else if (command == "position") HandlePosition(words);
    else if (command == "go") HandleGo(words);
    else if (command == "stop") StopSearchThread();
    else if (command == "ponderhit") HandlePonderHit();
    else if (command == "setoption") HandleSetOption(words);
    else if (command == "quit") break;
    // Anything else ("debug", "register", unknown words) is ignored, as UCI asks.
  }
  Quit();
  return 0;
}
