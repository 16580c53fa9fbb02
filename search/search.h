#pragma once
// What the rest of the engine may use of the search: Think and its controls, the
// transposition table with the hash memory budget, and the killer tables the game record
// keeps aligned with the game.

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "search/transposition_table.h"

// Scores are from the side to move's view; a side mated at ply p scores p - 32000.
constexpr int32_t ScoreBound = 32001;  // no real score reaches it
constexpr int32_t MateScore = 32000;
constexpr int32_t MateInOneScore = 31999;  // minus the ply of the mating side
constexpr int32_t MateScoreBound = 31952;  // at or beyond: a mate score
constexpr int MaxPly = 48;
constexpr int OnePly = 4;  // depths count quarter plies

// ---- Control, written by the frontend while no search runs; stopSearch at any time, and
// the "sd", "post" and "nopost" commands also arrive while a search or ponder search runs.
extern std::atomic<bool> stopSearch;
extern std::atomic<int32_t> depthLimit;  // the "sd" limit in plies; 0 = none, negative = no search
extern std::atomic<bool> postThinking;
extern int32_t timeLimits[3];  // ms: target, hard limit, extended limit
extern bool hashClearedThisGame;
// Result of the last completed iteration, read after Think.
extern int32_t lastScore;

// Fills timeLimits for a timed search; Think calls it unless the search is infinite.
// Without a planner a fixed budget is used (see DefaultTimePlan).
using TimePlanner = void (*)();
extern TimePlanner planMoveTime;
void DefaultTimePlan();

// Where thinking lines go (the frontend installs its SendLine); by default stdout.
using LineWriter = void (*)(const char* line);
extern LineWriter thinkingOutput;

// Milliseconds since some fixed moment; replaceable so that tests can drive the clock.
using SearchClock = int64_t (*)();
extern SearchClock searchClock;

// Seams for the subsystems above and beside the search. Each default answers that the
// resource is absent: no book move, no tablebase, nothing learned.
struct KnowledgeSeams {
  // Index into gamePosition's legal list from GenerateLegalMoves, or -1.
  int (*bookProbe)() = nullptr;
  // Score of a position in the search's convention; false when not found.
  bool (*tablebaseProbe)(Position& pos, int32_t& score, int ply) = nullptr;
  bool learnedLoaded = true;           // nothing to load while no learn file is wired
  void (*loadLearned)() = nullptr;
  void (*recordLearning)() = nullptr;  // reads pendingLearn and lastScore
  bool engineTimeShort = false;        // under 3 s on the engine's clock
};
extern KnowledgeSeams knowledgeSeams;

// Filled after every completed iteration; the learn file takes it from here.
struct PendingLearn {
  uint32_t keyLow;
  uint32_t keyHigh;
  uint32_t nodes;
  int16_t score;
  uint16_t moveIndex;
  uint8_t depth;
};
extern PendingLearn pendingLearn;

// Chooses a move for the game position. ponder: search until stopSearch. `move` is left
// unchanged when the position has no legal move.
void Think(Move& move, bool ponder);
// Nodes counted by the last Think (wraps after 2^32, as the thinking lines do).
uint32_t SearchedNodes();

// ---- Move ordering state kept across searches.
// flags * 4096 + from * 64 + to.
constexpr uint32_t moveCode(const Move& m) {
  return uint32_t(uint8_t(m.flags)) * 4096 + uint32_t(m.from) * 64 + uint32_t(m.to);
}
extern uint32_t mateKiller[MaxPly];
extern uint32_t killer1[MaxPly];
extern uint32_t killer2[MaxPly];
extern uint32_t history[2][4096];
extern uint32_t historyUsed[2];
void ResetKillers();
// After a move in the game: killers of ply p + 1 become those of ply p.
void ShiftKillers();

struct CheckList {
  uint16_t count;
  Move moves[256];  // entries 1..count
};
extern CheckList checkList;
// Adds the check, capture and promotion bonuses to pos's move list (once per position)
// and lists the checking moves.
void OrderChecks(Position& pos, CheckList& list);
