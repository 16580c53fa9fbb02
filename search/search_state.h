#pragma once
// State of the one search, shared by the files of this folder only.

#include <cstdint>

#include "board/position.h"
#include "search/search.h"

constexpr int PathSlots = 16384;
constexpr int RepetitionStep = 1003;
constexpr uint8_t NoRepetition = 255;

struct SearchState {
  Position plyStack[MaxPly + 1];  // slot p: the node at ply p; slot 0 copies the game
  int32_t searchPly = 0;
  uint32_t nodeCount = 0;
  int32_t iterationDepth = 0;
  int32_t halvingPly = 0;  // extensions are halved from this ply on
  int64_t searchStart = 0;
  int32_t timePhase = 0;   // index of the next limit to be passed
  bool extendTime = false;  // the first root move failed low in this iteration
  bool infiniteSearch = false;
  Move bestRootMove = NoMove;
  uint16_t bestRootIndex = 0;
  Move principalVariation[MaxPly + 1];
  uint32_t rootMoveNodes[256];

  bool inCheck[MaxPly + 1];
  int8_t captureSquare[MaxPly + 1];
  bool movesReady[MaxPly + 1];
  uint16_t bestMoveIndex[MaxPly + 1];

  uint64_t pathTable[PathSlots];
  uint8_t repetitionIndex[PathSlots];
  bool nullMoveActive = false;
  int32_t rootBalance = 0;
  bool rootRepeated = false;
  int32_t quiescenceEntryPly = 0;
};

extern SearchState searchState;

// Decisions of Search that leave no trace in its result, reported to an optional watcher
// so that tests can check them. Null outside tests: one predictable branch per event.
enum class SearchEvent : uint8_t {
  NullMove,     // a null move is about to be searched at `ply` with `depth`
  FutilityCut,  // the quiet moves at `ply` are cut off
  ChildSearch,  // move `moveIndex` at `ply` is about to be searched with `extension`
};
struct SearchEventData {
  int32_t ply;
  int32_t depth;
  int32_t moveIndex;      // ChildSearch only
  int32_t extension;      // ChildSearch only, after the halving
  int32_t movesSearched;  // ChildSearch only: moves of the node searched before this one
};
using SearchWatcher = void (*)(SearchEvent event, const SearchEventData& data);
extern SearchWatcher searchWatcher;

// The board-state copy of a child slot: everything make move reads or writes, not the move
// list or the attack caches. cacheFlags becomes 0.
void CopyBoardState(Position& to, const Position& from);
// The same for a null move (identical fields; named for the call sites that pass).
void CopyForNullMove(Position& to, const Position& from);

int32_t Search(int32_t depth, int32_t alpha, int32_t beta, int32_t kind);
int32_t Quiesce(int32_t alpha, int32_t beta);
// Counts a node; true when the search must stop. The clock is read once every 16384
// nodes, never in the first iteration.
bool CheckTimeAtInterval();
inline bool CheckTime() {
  ++searchState.nodeCount;
  if ((searchState.nodeCount & 16383) != 0 || searchState.iterationDepth < 2) return false;
  return CheckTimeAtInterval();
}

// Repetition of the position's key on the path or in the game; used by both searches.
bool IsRepetition(const Position& pos, int32_t ply);
void ClearPathTable();
void InsertPathKey(uint64_t key);
void RemovePathKey(uint64_t key);

bool SideToMoveInCheck(const Position& pos);
// After a move: is the king of the side that moved attacked?
bool MoverInCheck(const Position& pos);

// Steps of Think exposed for tests.
void IterativeDeepening();
int32_t RootSearch(int32_t depth, int32_t alpha);
void BuildPrincipalVariation();
void PickAnyLegalMove(Move& move);
bool ProbeTablebasesAtRoot(Move& move);
void SetTablebaseResult(const Move& move);
void PrintThinking(int32_t score, char kind);
void BuildRepetitionIndex();
