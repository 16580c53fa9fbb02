#pragma once
// The engine front end: the protocol command loop, the game flags and the clocks.

#include <atomic>
#include <cstdio>

// Shared with the search thread, hence sequentially consistent atomics.
extern std::atomic<bool> searchRunning;
extern std::atomic<bool> ponderEnabled;
extern std::atomic<bool> gameOver;  // no game in progress: user moves and "go" are refused

// Touched by the protocol thread only.
extern bool forceMode;
extern bool tablesReady;
extern bool drawOfferAllowed;
extern double engineTime;    // seconds on the engine's clock, from "time"
extern double opponentTime;  // seconds on the opponent's clock, from "otim"

// Connects the game record and the search to what listens to them (the search, the book and
// learning); part of the start-up, and callable alone by tests that drive the game record
// directly.
void InstallEventHooks();

// Reads and executes commands until "quit" or the end of input, then tears down.
void RunCommandLoop(std::FILE* input);
// The same without the tear-down: the tables built stay for the next input (the fuzz
// target feeds one session after another to one started engine).
void ExecuteCommands(std::FILE* input);

// Joins a running search or ponder thread; a stopped thinking search still plays its move.
void StopSearchThread();

// Asked before the engine's move is played: the engine is to move in the game position.
bool ShouldResign();
// After the engine's move is played; sends "offer draw" at most once per game.
void MaybeOfferDraw();
