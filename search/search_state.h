#pragma once
// State of the one search, shared by the files of this folder only.

#include <algorithm>
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
  // The last root move that got an exact score: its score and the iteration that found it.
  // The move played, the last thinking line, lastScore and the learn record all name it.
  int32_t reportScore = 0;
  int32_t reportDepth = 0;
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

// ---- Move ordering state kept across searches.
// flags * 4096 + from * 64 + to.
constexpr uint32_t moveCode(const Move& m) {
  return uint32_t(uint8_t(m.flags)) * 4096 + uint32_t(m.from) * 64 + uint32_t(m.to);
}
extern uint32_t mateKiller[MaxPly];
extern uint32_t killer1[MaxPly];
extern uint32_t killer2[MaxPly];
extern uint32_t history[2][4096];  // by ply parity (the side to move), then from * 64 + to
extern uint32_t historyUsed[2];

struct CheckList {
  uint16_t count;
  Move moves[256];  // entries 1..count
};
extern CheckList checkList;
// Adds the check, capture and promotion bonuses to pos's move list (once per position)
// and lists the checking moves. Each move's spare byte says whether it checks; the
// generators leave it 0, not known.
void OrderChecks(Position& pos, CheckList& list);
constexpr uint8_t CheckNotKnown = 0;
constexpr uint8_t MoveChecks = 1;
constexpr uint8_t MoveDoesNotCheck = 2;

// The `kind` argument of Search: how a node was reached decides which shortcuts it takes.
// The first line of a later root move's null-window test: no internal deepening, and no
// move of it is searched reduced.
constexpr int32_t TestLineNode = 0;
constexpr int32_t FullNode = 1;
// The reduced search of a late quiet move. A mate threat ends it failing low, which sends
// the parent to search the move again unreduced.
constexpr int32_t ReducedNode = 2;

int32_t Search(int32_t depth, int32_t alpha, int32_t beta, int32_t kind);
int32_t Quiesce(int32_t alpha, int32_t beta);

// The null move's reduction: two plies, three when more than six remain. The table needs
// it too, to tell the search when a stored result already answers the null move.
constexpr int32_t NullMoveReduction(int32_t depth) {
  return depth <= 6 * OnePly ? 2 * OnePly : 3 * OnePly;
}

// Extensions in quarter plies, shared by the root and the nodes below it.
constexpr int32_t PawnEndingExtension = 3 * OnePly;  // the last piece leaves the board
constexpr int32_t CheckExtension = OnePly;
constexpr int32_t PawnToSeventhExtension = 3;

// The move put a pawn on its seventh rank, one step from promoting.
inline bool PawnOnSeventh(const Position& child, const Move& m) {
  const int code = child.board[m.to];
  return (code == WhitePawn && RankOf(m.to) == RankOf(A7)) ||
         (code == BlackPawn && RankOf(m.to) == RankOf(A2));
}

// The move pick of the quiescence loops and the root: the highest key among items[1..count]
// (on ties the last), swapped to items[count] and taken out of the range.
template <typename Key>
inline int BestPosition(int count, Key key) {
  int best = count;
  if (count < 1) return best;
  auto bestKey = key(count);
  for (int k = count - 1; k >= 1; --k) {
    const auto v = key(k);
    if (v > bestKey) {
      best = k;
      bestKey = v;
    }
  }
  return best;
}
// The same choice over keys[1..count] held in one array: the highest key first (a loop the
// compiler turns into vector maxima), then the last position that holds it.
inline int HighestKeyPosition(const int32_t* keys, int count) {
  if (count < 1) return count;
  int32_t most = keys[1];
  for (int k = 2; k <= count; ++k) most = std::max(most, keys[k]);
  int k = count;
  while (keys[k] != most) --k;
  return k;
}
template <typename T>
inline T TakeAt(T* items, int position, int& count) {
  const T chosen = items[position];
  items[position] = items[count];
  items[count] = chosen;
  --count;
  return chosen;
}
template <typename T, typename Key>
inline T TakeBest(T* items, int& count, Key key) {
  return TakeAt(items, BestPosition(count, [&](int k) { return key(items[k]); }), count);
}

// Counts a node; true when the search must stop. The clock is read once every
// ClockInterval nodes, never in the first iteration (it must always finish).
constexpr uint32_t ClockInterval = 16384;
bool CheckTimeAtInterval();
inline bool CheckTime() {
  ++searchState.nodeCount;
  if ((searchState.nodeCount & (ClockInterval - 1)) != 0 || searchState.iterationDepth < 2)
    return false;
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
// Whether `m`, made from a position OrderChecks has marked, left `child`'s side in check.
inline bool ChildInCheck(const Position& child, const Move& m) {
  return m.spare == CheckNotKnown ? SideToMoveInCheck(child) : m.spare == MoveChecks;
}

// Steps of Think that tests drive on their own.
void PrintThinking(int32_t score, char kind);
void BuildRepetitionIndex();
