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
extern bool analysisMode;  // "analyze" until "exit": the game position is searched without end
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

// The start-up without its protocol lines, in two halves around reading the settings: the
// one-time tables before, and after it what the settings leave to decide (the default hash
// table, learning), the endgame tables and the KPK bitbase. The second sets tablesReady.
void BuildTables();
void CompleteStartUp();

// The one search thread: started only after the previous one has been joined.
void StartSearchThread(void (*body)());
// Joins a running search or ponder thread; a stopped thinking search still plays its move,
// unless the stop drops it (the command replaces the game the move was meant for).
void StopSearchThread(bool dropMove = false);
// Set while a stop that drops the move waits for the thread.
extern std::atomic<bool> searchMoveDropped;
// In analysis mode: starts the analysis search unless a search runs or no game goes on.
void ResumeAnalysis();

// Asked before the engine's move is played: the engine is to move in the game position.
bool ShouldResign();
// After the engine's move is played: whether to offer a draw, at most once per game (a true
// answer uses the game's offer up). MaybeOfferDraw sends the offer itself.
bool DrawOfferDue();
void MaybeOfferDraw();
