#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "board/board.h"
#include "book/book.h"
#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "frontend/configuration.h"
#include "frontend/frontend.h"
#include "frontend/handlers.h"
#include "frontend/numbers.h"
#include "frontend/output.h"
#include "frontend/time_control.h"
#include "learn/learn.h"
#include "notation/notation.h"
#include "search/search.h"

std::atomic<bool> searchRunning{false};
std::atomic<bool> ponderEnabled{false};
std::atomic<bool> gameOver{true};
bool forceMode = false;
bool tablesReady = false;
bool drawOfferAllowed = false;
bool analysisMode = false;
std::atomic<bool> searchMoveDropped{false};
double opponentTime = 0.0;

namespace {

// The engine's second thread, started at the first search and kept for the whole run: each
// search is handed to it and waited for, instead of a thread made and joined per search. It
// is never destroyed, so that it may still wait on its condition while the process ends.
class SearchWorker {
 public:
  void Run(void (*body)()) {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !body_; });
    if (!started_) {
      std::thread([this] { Serve(); }).detach();
      started_ = true;
    }
    body_ = body;
    work_.notify_one();
  }

  // Returns once the search handed over last has ended (at once when none runs).
  void Wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !body_; });
  }

 private:
  [[noreturn]] void Serve() {
    for (;;) {
      void (*body)();
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [this] { return body_ != nullptr; });
        body = body_;
      }
      body();
      std::lock_guard lock(mutex_);
      body_ = nullptr;
      idle_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_, idle_;
  void (*body_)() = nullptr;  // the search being run, null when the thread waits
  bool started_ = false;
};

SearchWorker& searchWorker = *new SearchWorker;
// A game the interface set up ("new" or an accepted "setboard"), over or not: a takeback
// may continue it. Before the first one, or after a refused set-up, there is none.
bool gameExists = false;

std::string FeatureLine() {
  return "feature ping=1 setboard=1 playother=0 san=0 usermove=1 time=1 draw=0 sigint=0 reuse=1 "
         "analyze=0 myname=\"Skarne " + std::string(EngineVersion) +
         "\" colors=0 ics=0 name=0 pause=0 done=0";
}

// Reply buffers of fixed size: the text is cut so that the whole line fits.
constexpr size_t PongBufferSize = 256;
constexpr size_t IllegalMoveBufferSize = 32;

std::string CutLine(std::string_view prefix, std::string_view text, size_t bufferSize) {
  std::string line(prefix);
  line.append(text.substr(0, bufferSize - 1 - std::min(prefix.size(), bufferSize - 1)));
  return line;
}

void RefuseMove(std::string_view text) { SendLine(CutLine("Illegal move: ", text, IllegalMoveBufferSize)); }


void WriteLine(const char* line) { SendLine(line); }

void AnnounceGameEnd() {
  GameEndCode code = CheckGameEnd();
  if (code != NoGameEnd) {
    gameOver = true;
    SendLine(resultText[code]);
  }
}

// The game record knows nothing of the search, the book or learning: what the game does
// reaches what they keep about it through these hooks.
void GameStarted(bool fromSetUp) {
  ForgetGame();
  BookGameStarted(engineBook, fromSetUp);
  LearningGameStarted(fromSetUp);
}
void MovePlayed(const Position& before, const Move& move) {
  ShiftKillers();
  BookMovePlayed(engineBook, before, move);
}
void MoveTakenBack() {
  ResetKillers();
  BookMoveTakenBack(engineBook);
  LearningMoveTakenBack();
}
// Table files are opened as the root probe reads them; between moves none stays open.
void GameEndChecked() {
  if (configuration.tablebasesCreated) TbCloseFiles();
}

// The start-up sequence, run once by the first "protover" of 2 or more.
void StartUp() {
  BuildTables();
  SendLine(FeatureLine());
  if (!ReadConfiguration()) {
    // The default file is written now; the next start finds it.
    std::exit(EXIT_FAILURE);
  }
  CompleteStartUp();
  SendLine("feature done=1");
}

// Pondering and analysis: a search without limit on the game position, its move unused.
void PonderThreadMain() {
  Move move = NoMove;
  Think(move, true);
}

void SearchThreadMain() {
  Move move = NoMove;
  Think(move, false);
  // No legal move: the game end was announced before. A dropped move belongs to a game
  // that "new" or "setboard" has replaced.
  if (move.from == NoMoveSquare || searchMoveDropped) return;
  if (ShouldResign()) {
    SendLine("resign");
    gameOver = true;
    return;
  }
  // The move and what follows from it leave in one write, so that the reply to a command
  // sent on seeing the move (a "ping" above all) cannot come between them.
  std::string reply = "move " + MoveText(move);
  PlayGameMove(move);
  const GameEndCode code = CheckGameEnd();
  if (code != NoGameEnd) {
    gameOver = true;
    reply.append("\n").append(resultText[code]);
  }
  if (DrawOfferDue()) reply.append("\noffer draw");
  SendLine(reply);
  if (gameOver || !ponderEnabled) return;
  // The stop clears searchRunning before it sets stopSearch, so a stop arriving between
  // these two steps is never lost.
  stopSearch = false;
  if (searchRunning) Think(move, true);
}

// Takes back up to `count` half-moves. A finished game that a takeback reaches back into is
// over only if the position reached ends it.
void TakeBackHalfMoves(int count) {
  if (!tablesReady) return;
  bool taken = false;
  for (int i = 0; i < count; ++i) {
    const Position& pos = gameRecord.gamePosition;
    const int32_t moveNumber = gameRecord.moveNumber;
    const uint8_t side = pos.sideToMove;
    TakeBack();
    taken = taken || moveNumber != gameRecord.moveNumber || side != pos.sideToMove;
  }
  if (taken && gameExists) gameOver = CheckGameEnd() != NoGameEnd;
}

}  // namespace

void StartSearchThread(void (*body)()) {
  searchRunning = true;
  stopSearch = false;
  searchWorker.Run(body);
}

void BuildTables() {
  InitTables();
  InstallEventHooks();
}

void CompleteStartUp() {
  if (!configuration.hashSizeGiven) AllocateHashMemory(DefaultHashBytes);
  configuration.learnFileName = LearnFileName(EngineVersion);
  ConfigureLearning(configuration.learningEnabled, configuration.learnFileName);
  InitEndgameTables();
  BuildKingTables();
  BuildKpkBitbase();
  thinkingOutput = WriteLine;
  learningState.messageOutput = WriteLine;
  planMoveTime = PlanTimedMove;
  tablesReady = true;
}

void InstallEventHooks() {
  gameEvents.gameStarted = GameStarted;
  gameEvents.movePlayed = MovePlayed;
  gameEvents.moveTakenBack = MoveTakenBack;
  gameEvents.gameEndChecked = GameEndChecked;
  searchEvents.searchStarting = LearningSearchStarting;
  searchEvents.searchFinished = RecordLearning;
}

bool ShouldResign() {
  if (!(opponentTime > 60.0) || lastScore >= -900) return false;
  const Position& pos = gameRecord.gamePosition;
  int balance = pos.whiteMaterial - pos.blackMaterial;
  return pos.sideToMove == White ? balance < -900 : balance > 900;
}

bool DrawOfferDue() {
  if (!drawOfferAllowed || lastScore < -99 || lastScore > 99) return false;
  const Position& pos = gameRecord.gamePosition;
  int w = pos.whiteMaterial, b = pos.blackMaterial;
  if (std::abs(w - b) > 29 || w == 0 || b == 0) return false;
  bool offer = w == 500 ? pos.whiteRooks && b == 500 && pos.blackRooks
                        : w <= 300 && !pos.whitePawns && b <= 300 && !pos.blackPawns;
  if (offer) drawOfferAllowed = false;
  return offer;
}

void MaybeOfferDraw() {
  if (DrawOfferDue()) SendLine("offer draw");
}

void StopSearchThread(bool dropMove) {
  if (!searchRunning) return;
  bool pondering = ponderEnabled;
  searchMoveDropped = dropMove;
  searchRunning = false;
  ponderEnabled = false;
  stopSearch = true;
  searchWorker.Wait();
  ponderEnabled = pondering;
  searchMoveDropped = false;
}

void ResumeAnalysis() {
  if (!searchRunning && tablesReady && !gameOver) StartSearchThread(PonderThreadMain);
}

void HandlePing(std::string_view argument) { SendLine(CutLine("pong ", argument, PongBufferSize)); }

void HandleUserMove(std::string_view argument) {
  std::string text(argument);
  if (gameOver || !tablesReady) {
    RefuseMove(text);
    return;
  }
  Move move;
  if (!ParseMoveText(gameRecord.gamePosition, text, move)) {
    RefuseMove(text);
    if (ponderEnabled && !analysisMode) StartSearchThread(PonderThreadMain);
    return;
  }
  PlayGameMove(move);
  AnnounceGameEnd();
  if (!gameOver && !forceMode && !analysisMode) HandleGo({});
}

void HandleGo(std::string_view) {
  if (gameOver || !tablesReady) return;
  forceMode = false;
  analysisMode = false;  // the engine plays the side to move instead of analysing
  StartSearchThread(SearchThreadMain);
}

void HandleTime(std::string_view argument) {
  engineTime = ReadClockSeconds(argument);
  engineClockKnown = true;
}
void HandleOtim(std::string_view argument) { opponentTime = ReadClockSeconds(argument); }
void HandleForce(std::string_view) { forceMode = true; }
void HandleLevel(std::string_view argument) {
  timeControl = ParseLevel(argument);
  fixedMoveSeconds = 0.0;
}

void HandleNew(std::string_view) {
  if (!tablesReady) return;
  depthLimit = 0;
  NewGame();
  forceMode = false;
  gameOver = false;
  drawOfferAllowed = true;
  gameExists = true;
  AnnounceGameEnd();
}

void HandleResult(std::string_view) {
  gameOver = true;
  LearningGameEnded();
}

void HandleSetboard(std::string_view argument) {
  if (!tablesReady) return;
  gameOver = false;
  if (!SetupGame(argument)) {
    // No game the interface and the engine agree on: refuse moves until the next set-up.
    SendLine("tellusererror Illegal position");
    gameOver = true;
    gameExists = false;
    return;
  }
  drawOfferAllowed = true;
  gameExists = true;
  AnnounceGameEnd();
}

void HandlePost(std::string_view) { postThinking = true; }
void HandleNopost(std::string_view) { postThinking = false; }
void HandleAccepted(std::string_view) {}
void HandleEasy(std::string_view) { ponderEnabled = false; }
void HandleHard(std::string_view) { ponderEnabled = true; }

void HandleProtover(std::string_view argument) {
  if (ReadInt32(argument) >= 2 && !tablesReady) StartUp();
}

// The stop made before this command already makes a thinking engine move at once.
void HandleMoveNow(std::string_view) {}

void HandleUndo(std::string_view) { TakeBackHalfMoves(1); }
void HandleRemove(std::string_view) { TakeBackHalfMoves(2); }

void HandleSd(std::string_view argument) { depthLimit = ReadInt32(argument); }

void HandleSt(std::string_view argument) {
  constexpr double YearInSeconds = 3600.0 * 24.0 * 365.0;
  fixedMoveSeconds = std::clamp(ReadDouble(argument), 0.0, YearInSeconds);
}

void HandleAnalyze(std::string_view) { analysisMode = true; }
void HandleExit(std::string_view) {
  if (!analysisMode) return;
  StopSearchThread();
  analysisMode = false;
}
void HandleIgnored(std::string_view) {}

void TearDown() {
  timeControl = TimeControl{};
  gameRecord.startFen = std::string();
  DestroyKpkBitbase();
  engineBook = Book{};
  TbFreeState(engineTablebases);
  configuration.tablebasesCreated = false;
  FreeHashMemory();
  tablesReady = false;
}
