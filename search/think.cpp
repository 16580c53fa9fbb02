// Think, iterative deepening with aspiration windows, the root search and its output.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "book/book.h"
#include "notation/game.h"
#include "notation/move_text.h"
#include "search/search_state.h"
#include "search/tablebase_root.h"

PendingLearn pendingLearn{};
SearchEvents searchEvents;

namespace {

SearchState& S = searchState;

constexpr int32_t NoLimit = 0x7FFFFFFF;
// The root search skips every entry scored below this.
constexpr int32_t ExcludedBelow = -0x3FFFFFFF;

// Aspiration: a window this far around the last score, then a wider one, then all scores.
constexpr int32_t NarrowWindow = 50;
constexpr int32_t WideWindow = 200;
constexpr int32_t OpenWindow = 96000;  // takes alpha below -ScoreBound from any score

// The first iterations print nothing while they are quick, and their lines show the best
// move alone: a fast search does not flood the interface with lines it replaces at once.
constexpr int QuietIterations = 5;
constexpr int64_t QuietMilliseconds = 50;

void WriteStdout(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int64_t Elapsed() { return searchClock() - S.searchStart; }

// Extension of a root move, in quarter plies.
int32_t RootExtension(const Position& root, const Position& child, const Move& m) {
  if ((root.materialSignature & SigPieces) && !(child.materialSignature & SigPieces))
    return PawnEndingExtension;
  if (S.inCheck[1]) return CheckExtension;
  if (PawnOnSeventh(child, m)) return PawnToSeventhExtension;
  return 0;
}

void BuildPrincipalVariation() {
  Move* pv = S.principalVariation;
  if (S.bestRootMove.from == NoMoveSquare) return;
  pv[0] = S.bestRootMove;
  pv[1] = NoMove;
  if (S.iterationDepth < QuietIterations) return;  // the best move alone
  for (int i = 1; i < MaxPly; ++i) {
    Position& pos = S.plyStack[i];
    CopyPlayState(pos, S.plyStack[i - 1]);
    MakeMove(pos, pv[i - 1]);
    if (MoverInCheck(pos)) {
      pv[i - 1] = NoMove;
      return;
    }
    pv[i] = NoMove;
    for (int q = 0; q < i; ++q)
      if (S.plyStack[q].hashKey == pos.hashKey) return;
    uint16_t index = HashMoveIndex(uint32_t(pos.hashKey), uint32_t(pos.hashKey >> 32));
    if (index == 0) return;
    GenerateMoves(pos);
    if (index > pos.moveCount) return;
    pv[i] = pos.moveList[index];
    pv[i + 1] = NoMove;
  }
}

// The last resort when no iteration produced a move; illegal moves are marked on the way.
void PickAnyLegalMove(Move& move) {
  Position& root = S.plyStack[0];
  GenerateMoves(root);
  for (int i = root.moveCount; i >= 1; --i) {
    if (MoveIsLegal(root, root.moveList[i], S.plyStack[1])) {
      move = root.moveList[i];
      return;
    }
    root.moveList[i].score = ExcludedMoveScore;
  }
}

// Searches one legal root move, a later one first with a null window above alpha (the
// first with the narrow window around the last score), widening the window on each
// failure high. False when the search stopped.
bool SearchRootMove(int index, bool isFirst, int32_t childDepth, int32_t& alpha) {
  const Move& m = S.plyStack[0].moveList[index];
  const int32_t windows[4] = {std::min(alpha + 1, ScoreBound),
                              std::min(lastScore + NarrowWindow, ScoreBound),
                              std::min(lastScore + WideWindow, ScoreBound), ScoreBound};
  bool firstTry = true;
  for (int w = isFirst ? 1 : 0; w < 4; ++w) {
    const int32_t beta = windows[w];
    if (beta <= alpha) continue;
    const int32_t kind = firstTry && !isFirst ? TestLineNode : FullNode;
    firstTry = false;
    S.searchPly = 1;
    int32_t score = -Search(childDepth, -beta, -alpha, kind);
    S.searchPly = 0;
    if (searchEvents.rootMoveSearched) searchEvents.rootMoveSearched(index, alpha, beta, score);
    if (stopSearch.load()) return false;
    if (score <= alpha) {
      // The expected best move fails low: the clock may give this iteration more time.
      if (isFirst) S.extendTime = true;
      return true;
    }
    // A fail high only asks for a wider window: its re-search may still refute the move,
    // so the move becomes best once it has an exact score, never before.
    if (score < beta) {
      alpha = score;
      S.bestRootMove = m;
      S.bestRootIndex = uint16_t(index);
      S.reportScore = score;
      S.reportDepth = S.iterationDepth;
      if (postThinking) {
        BuildPrincipalVariation();
        PrintThinking(score, 'E');
      }
      return true;
    }
  }
  return true;
}

// The best move first, then the others by the nodes their subtrees took: a move that
// needed many nodes to refute is the likeliest to become best.
int32_t RootSearch(int32_t depth, int32_t alpha) {
  Position& root = S.plyStack[0];
  Position& child = S.plyStack[1];
  S.inCheck[0] = SideToMoveInCheck(root);
  GenerateMoves(root);
  const int count = root.moveCount;
  if (depth == OnePly) std::fill(S.rootMoveNodes + 1, S.rootMoveNodes + count + 1, 0u);
  InsertPathKey(root.hashKey);

  uint32_t key[256];
  int order[256];
  for (int i = 1; i <= count; ++i) {
    // Taken from the end: among equal keys the earlier move goes first.
    order[i] = count + 1 - i;
    key[i] = SameMove(root.moveList[i], S.bestRootMove) ? 0xFFFFFFFFu : S.rootMoveNodes[i];
  }
  bool first = true;
  for (int remaining = count; remaining > 0;) {
    const int index = TakeBest(order, remaining, [&](int i) { return key[i]; });
    Move& m = root.moveList[index];
    if (m.score < ExcludedBelow) continue;
    CopyPlayState(child, root);
    MakeMove(child, m);
    if (MoverInCheck(child)) {
      m.score = ExcludedMoveScore;
      continue;
    }
    const bool isFirst = first;
    first = false;
    const uint32_t nodesBefore = S.nodeCount;
    S.inCheck[1] = SideToMoveInCheck(child);
    // No ply below the root has this mark: a root move that captures nothing is never
    // recaptured.
    S.captureSquare[0] = root.board[m.to] != Empty ? m.to : int8_t(-MaxPly);
    const int32_t childDepth = depth - OnePly + RootExtension(root, child, m);
    if (!SearchRootMove(index, isFirst, childDepth, alpha)) {
      RemovePathKey(root.hashKey);
      return alpha;
    }
    S.rootMoveNodes[index] += S.nodeCount - nodesBefore;
  }
  RemovePathKey(root.hashKey);
  return alpha;
}

// The hash table goes once per game when a draw by rule comes near: scores stored
// before it ignore the draw.
void ClearHashForDraws() {
  if (hashClearedThisGame) return;
  ClearHash();
  hashClearedThisGame = true;
}

void PrepareSearch() {
  Position& root = S.plyStack[0];
  S.rootBalance = int32_t(root.whiteMaterial) - int32_t(root.blackMaterial);
  S.bestRootMove = NoMove;
  S.reportScore = 0;
  S.reportDepth = 0;
  // From three plies before the fifty-move rule applies.
  if (gameRecord.gamePosition.fiftyCounter >= FiftyMoveLimit - 3) ClearHashForDraws();
  BuildRepetitionIndex();
  if (S.rootRepeated) ClearHashForDraws();
  ClearPathTable();
  std::fill(std::begin(S.movesReady), std::end(S.movesReady), false);
  for (int t = 0; t < 2; ++t) {
    if (historyUsed[t] == 0) continue;
    std::fill(std::begin(history[t]), std::end(history[t]), 0u);
    historyUsed[t] = 0;
  }
  S.nodeCount = 1;
  S.searchPly = 0;
  lastScore = 0;
}

// One iteration with aspiration windows around the last score. False when the search
// stopped, or when every window failed (no root move could be searched).
bool SearchIteration(int depth, int32_t& score) {
  S.iterationDepth = depth;
  S.halvingPly = 2 * depth;
  S.extendTime = false;
  for (int32_t width : {NarrowWindow, WideWindow, OpenWindow}) {
    const int32_t alpha = std::max(lastScore - width, -ScoreBound);
    score = RootSearch(OnePly * depth, alpha);
    if (stopSearch.load()) return false;
    if (score > alpha) return true;
  }
  return false;
}

// A mate the iteration has seen to its end: deeper iterations cannot change it.
bool MateFoundWithin(int32_t score, int depth) {
  const int32_t nearest = MateInOneScore - (depth + 1);
  return score > nearest || score < -nearest;
}

// The search's result is its last exact root score: the score and move of the last thinking
// line, even when a stop cut that iteration short.
void TakeLastReport() {
  lastScore = S.reportScore;
  const uint64_t key = S.plyStack[0].hashKey;
  pendingLearn = PendingLearn{uint32_t(key), uint32_t(key >> 32), S.nodeCount,
                              int16_t(S.reportScore), S.bestRootIndex, uint8_t(S.reportDepth)};
}

// `limit` is the "sd" limit as Think read it: one reading decides the whole search.
void IterativeDeepening(int32_t limit) {
  PrepareSearch();
  if (limit >= 0) {
    const int maxDepth = limit >= 1 && limit <= MaxPly ? limit : MaxPly;
    for (int d = 1;; ++d) {
      int32_t score = 0;
      if (!SearchIteration(d, score)) {
        // Within an unfinished iteration, only a move that beat the last result reports.
        if (S.reportDepth == d) TakeLastReport();
        break;
      }
      TakeLastReport();
      if (!S.infiniteSearch && MateFoundWithin(score, d)) break;
      if (S.timePhase > 0 || d + 1 > maxDepth) break;
    }
  }
  if (S.bestRootMove.from == NoMoveSquare) PickAnyLegalMove(S.bestRootMove);
}

// No legal move, or only one: answered without a search. Illegal moves are marked on the
// way, so the root search skips them.
bool AnsweredAtOnce(Move& move) {
  Position& root = S.plyStack[0];
  GenerateMoves(root);
  int legal = 0;
  Move only = NoMove;
  for (int i = 1; i <= root.moveCount && legal < 2; ++i) {
    Move& m = root.moveList[i];
    if (!MoveIsLegal(root, m, S.plyStack[1])) {
      m.score = ExcludedMoveScore;
      continue;
    }
    ++legal;
    only = m;
  }
  if (legal == 1) move = only;
  return legal < 2;
}

// The book's move for the game position, if it has one: an entry of the unscored
// generator's list, played without a search. That list keeps pinned men's moves, and a
// damaged book could name one; the engine then searches instead.
bool AnsweredFromBook(Move& move) {
  const int index = BookProbe(engineBook, bookRandom);
  if (index < 0) return false;
  Position& listing = S.plyStack[1];
  listing = gameRecord.gamePosition;
  listing.cacheFlags = 0;
  GenerateLegalMoves(listing);
  if (index < 1 || index > listing.moveCount) return false;
  if (!MoveIsLegal(listing, listing.moveList[index], S.plyStack[2])) return false;
  move = listing.moveList[index];
  return true;
}

}  // namespace

TimePlanner planMoveTime = nullptr;
LineWriter thinkingOutput = WriteStdout;
SearchClock searchClock = MillisecondClock;

bool CheckTimeAtInterval() {
  const int64_t elapsed = Elapsed();
  int32_t& phase = S.timePhase;
  if (elapsed < timeLimits[phase]) return false;
  if (!S.extendTime) {
    if (phase == 0 && elapsed < timeLimits[1]) {
      phase = 1;
      return false;
    }
    if (phase < 2) phase = 1;
    stopSearch.store(true);
    return true;
  }
  while (phase < 2 && elapsed >= timeLimits[phase]) ++phase;
  if (elapsed < timeLimits[phase]) return false;
  phase = 2;
  stopSearch.store(true);
  return true;
}

void PrintThinking(int32_t score, char kind) {
  const int64_t elapsed = Elapsed();
  if (kind != 'E') return;
  if (S.iterationDepth < QuietIterations && elapsed < QuietMilliseconds) return;
  char line[64 + 6 * MaxPly];
  int n = std::snprintf(line, 64, "%d %d %d %u", S.iterationDepth, score, int(elapsed / 10),
                        S.nodeCount);
  for (int i = 0; i < MaxPly && S.principalVariation[i].from != NoMoveSquare; ++i) {
    line[n++] = ' ';
    MoveText(S.principalVariation[i], line + n);
    n += int(std::strlen(line + n));
  }
  line[n] = 0;
  thinkingOutput(line);
}

void BuildRepetitionIndex() {
  std::memset(S.repetitionIndex, NoRepetition, sizeof S.repetitionIndex);
  S.rootRepeated = false;
  const int last = gameRecord.gameKeyIndex;
  const uint64_t* keys = gameRecord.gameKeys;
  for (int i = 0; i < last; ++i) {
    bool repeats = false;
    for (int j = i + 1; j <= last; ++j) {
      if (keys[i] != keys[j]) continue;
      repeats = true;
      if (j == last) S.rootRepeated = true;
    }
    if (!repeats) continue;
    uint32_t slot = uint32_t(keys[i]) % PathSlots;
    while (S.repetitionIndex[slot] != NoRepetition) slot = (slot + RepetitionStep) % PathSlots;
    S.repetitionIndex[slot] = uint8_t(i);
  }
}

void Think(Move& move, bool ponder) {
  S.searchStart = searchClock();
  Position& root = S.plyStack[0];
  root = gameRecord.gamePosition;
  root.cacheFlags = 0;
  const int32_t limit = depthLimit.load();  // "sd" may change it while this search runs
  S.infiniteSearch = ponder || limit != 0;
  if (!S.infiniteSearch) {
    if (AnsweredAtOnce(move) || AnsweredFromBook(move) || ProbeTablebasesAtRoot(move)) return;
    if (searchEvents.searchStarting) searchEvents.searchStarting();
  }
  if (S.infiniteSearch) {
    timeLimits[0] = timeLimits[1] = timeLimits[2] = NoLimit;
  } else if (planMoveTime) {
    planMoveTime();
  }
  S.timePhase = 0;
  AdvanceHashAge();
  IterativeDeepening(limit);
  if (S.bestRootMove.from != NoMoveSquare) move = S.bestRootMove;
  if (!ponder && !S.rootRepeated && searchEvents.searchFinished) searchEvents.searchFinished();
}
