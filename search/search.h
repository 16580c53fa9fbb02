#pragma once
// What the rest of the engine may use of the search: Think and its controls, the
// transposition table with the hash memory budget, and the killer tables that the start-up
// keeps aligned with the game.

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "search/transposition_table.h"

constexpr int MaxPly = 48;
constexpr int OnePly = 4;  // depths count quarter plies

// ---- Control, written by the frontend while no search runs; stopSearch at any time, and
// the "sd", "post" and "nopost" commands also arrive while a search or ponder search runs.
extern std::atomic<bool> stopSearch;
extern std::atomic<int32_t> depthLimit;  // the "sd" limit in plies; 0 = none, negative = no search
extern std::atomic<bool> postThinking;
extern int32_t timeLimits[3];  // ms: target, hard limit, extended limit
extern double engineTime;      // seconds on the engine's clock, from "time"
extern bool hashClearedThisGame;
// Result of the last completed iteration, read after Think.
extern int32_t lastScore;

// Fills timeLimits for a timed search; Think calls it unless the search is infinite.
// Without a planner a timed search uses timeLimits as they stand.
using TimePlanner = void (*)();
extern TimePlanner planMoveTime;

// Where thinking lines go (the frontend installs its SendLine); by default stdout.
using LineWriter = void (*)(const char* line);
extern LineWriter thinkingOutput;

// Milliseconds since some fixed moment; replaceable so that tests can drive the clock.
using SearchClock = int64_t (*)();
extern SearchClock searchClock;

// What the search tells the layer above it (position learning), which fills these in at
// start-up.
struct SearchEvents {
  // Before a timed search (no ponder, no depth limit), once the quick answers (no legal
  // move, or one, or a book move) are out of the way and before the time is planned.
  void (*searchStarting)() = nullptr;
  // After any search but a ponder search, unless the root position has occurred before in
  // the game; the listener reads pendingLearn and lastScore.
  void (*searchFinished)() = nullptr;
  // After each search of a root move `index` (of the root move list) with the window
  // (alpha, beta), before its score is used: a listener may watch, or rewrite, the score.
  void (*rootMoveSearched)(int index, int32_t alpha, int32_t beta, int32_t& score) = nullptr;
};
extern SearchEvents searchEvents;

// Filled after every completed iteration; position learning takes it from here.
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
// A new game or a set-up position: the search forgets the old game (the hash table, which
// then counts as cleared for this game, and the killers).
void ForgetGame();
// Nodes counted by the last Think (wraps after 2^32, as the thinking lines do).
uint32_t SearchedNodes();

// The killer tables follow the game: cleared for a new game, shifted by a ply after each
// move played.
void ResetKillers();
// After a move in the game: killers of ply p + 1 become those of ply p.
void ShiftKillers();
