// Think, iterative deepening with aspiration windows, the root search and its output.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "notation/game.h"
#include "notation/move_text.h"
#include "search/search_state.h"

PendingLearn pendingLearn{};
KnowledgeSeams knowledgeSeams;

namespace {

SearchState& S = searchState;

constexpr int32_t NoLimit = 0x7FFFFFFF;
// The root search skips every entry scored below this.
constexpr int32_t ExcludedBelow = -0x3FFFFFFF;

void WriteStdout(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int64_t Elapsed() { return searchClock() - S.searchStart; }

// Extension of a root move, in quarter plies.
int32_t RootExtension(const Position& root, const Position& child, const Move& m) {
  if ((root.materialSignature & SigPieces) && !(child.materialSignature & SigPieces)) return 12;
  if (S.inCheck[1]) return 4;
  int r = RankOf(m.to);
  int code = child.board[m.to];
  if ((r == 6 && code == WhitePawn) || (r == 1 && code == BlackPawn)) return 3;
  return 0;
}

}  // namespace

TimePlanner planMoveTime = DefaultTimePlan;
LineWriter thinkingOutput = WriteStdout;
SearchClock searchClock = MillisecondClock;

// Without a time control: a per-move budget of two seconds, split as the planner splits
// any budget (half as target, twice as hard limit, ten times as extended limit).
void DefaultTimePlan() {
  constexpr int32_t Budget = 2000;
  timeLimits[0] = Budget / 2;
  timeLimits[1] = Budget * 2;
  timeLimits[2] = Budget * 10;
}

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
  if (S.iterationDepth < 5 && elapsed < 50) return;
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

void BuildPrincipalVariation() {
  Move* pv = S.principalVariation;
  if (S.bestRootMove.from == NoMoveSquare) return;
  pv[0] = S.bestRootMove;
  pv[1] = NoMove;
  if (S.iterationDepth <= 4) return;
  for (int i = 1; i < MaxPly; ++i) {
    Position& pos = S.plyStack[i];
    CopyBoardState(pos, S.plyStack[i - 1]);
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

void PickAnyLegalMove(Move& move) {
  Position& root = S.plyStack[0];
  GenerateMoves(root);
  for (int i = root.moveCount; i >= 1; --i) {
    CopyBoardState(S.plyStack[1], root);
    MakeMove(S.plyStack[1], root.moveList[i]);
    if (!MoverInCheck(S.plyStack[1])) {
      move = root.moveList[i];
      return;
    }
    root.moveList[i].score = ExcludedMoveScore;
  }
}

void SetTablebaseResult(const Move& move) {
  S.iterationDepth = 1;
  S.principalVariation[0] = move;
  S.principalVariation[1] = NoMove;
  S.bestRootMove = move;
}

bool ProbeTablebasesAtRoot(Move& move) {
  auto probe = knowledgeSeams.tablebaseProbe;
  Position& root = S.plyStack[0];
  int32_t s = 0;
  if (!probe || !probe(root, s, 0)) return false;
  lastScore = s;
  GenerateMoves(root);
  Position& child = S.plyStack[1];
  auto accept = [&](const Move& m) {
    move = m;
    if (postThinking) SetTablebaseResult(m);
    return true;
  };
  if (s == 0) {
    const bool quick = root.materialSignature == (SigWhiteRook | SigBlackRook) ||
                       knowledgeSeams.engineTimeShort;
    int drawing = 0;
    Move drawMove = NoMove;
    for (int i = 1; i <= root.moveCount; ++i) {
      Move& m = root.moveList[i];
      if (m.score == ExcludedMoveScore) continue;
      CopyBoardState(child, root);
      MakeMove(child, m);
      int32_t c = 0;
      if (!probe(child, c, 1)) continue;
      if (c > 0) {
        m.score = ExcludedMoveScore;
      } else if (c == 0) {
        if (quick) return accept(m);
        ++drawing;
        drawMove = m;
      }
    }
    if (drawing == 1) return accept(drawMove);
    return false;
  }
  for (int i = 1; i <= root.moveCount; ++i) {
    const Move& m = root.moveList[i];
    if (m.score == ExcludedMoveScore) continue;
    CopyBoardState(child, root);
    MakeMove(child, m);
    int32_t c = 0;
    if (probe(child, c, 1) && c + s == 0) return accept(m);
  }
  return false;
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
    order[i] = i;
    key[i] = SameMove(root.moveList[i], S.bestRootMove) ? 0xFFFFFFFFu : S.rootMoveNodes[i];
  }
  bool first = true;
  for (int a = 1; a <= count; ++a) {
    int b = a;
    for (int k = a + 1; k <= count; ++k)
      if (key[order[k]] > key[order[b]]) b = k;
    const int index = order[b];
    order[b] = order[a];
    order[a] = index;
    Move& m = root.moveList[index];
    if (m.score < ExcludedBelow) continue;

    CopyBoardState(child, root);
    MakeMove(child, m);
    if (MoverInCheck(child)) {
      m.score = ExcludedMoveScore;
      continue;
    }
    const bool isFirst = first;
    first = false;
    const uint32_t nodesBefore = S.nodeCount;
    S.inCheck[1] = SideToMoveInCheck(child);
    S.captureSquare[0] = root.board[m.to] != Empty ? m.to : int8_t(-MaxPly);
    const int32_t childDepth = depth - OnePly + RootExtension(root, child, m);

    const int32_t windows[4] = {std::min(alpha + 1, ScoreBound), std::min(lastScore + 50, ScoreBound),
                                std::min(lastScore + 200, ScoreBound), ScoreBound};
    bool firstTry = true;
    for (int w = isFirst ? 1 : 0; w < 4; ++w) {
      const int32_t beta = windows[w];
      if (beta <= alpha) continue;
      const int32_t kind = firstTry && !isFirst ? 0 : 1;
      firstTry = false;
      S.searchPly = 1;
      const int32_t score = -Search(childDepth, -beta, -alpha, kind);
      S.searchPly = 0;
      if (stopSearch.load()) {
        RemovePathKey(root.hashKey);
        return alpha;
      }
      if (score <= alpha) {
        if (isFirst) S.extendTime = true;
        break;
      }
      if (score < beta) {
        alpha = score;
        S.bestRootMove = m;
        S.bestRootIndex = uint16_t(index);
        if (postThinking) {
          BuildPrincipalVariation();
          PrintThinking(score, 'E');
        }
        break;
      }
      S.bestRootMove = m;
      if (postThinking) BuildPrincipalVariation();
    }
    S.rootMoveNodes[index] += S.nodeCount - nodesBefore;
  }
  RemovePathKey(root.hashKey);
  return alpha;
}

void IterativeDeepening() {
  Position& root = S.plyStack[0];
  S.rootBalance = int32_t(root.whiteMaterial) - int32_t(root.blackMaterial);
  S.bestRootMove = NoMove;
  if (gameRecord.gamePosition.fiftyCounter >= 97 && !hashClearedThisGame) {
    ClearHash();
    hashClearedThisGame = true;
  }
  BuildRepetitionIndex();
  if (S.rootRepeated && !hashClearedThisGame) {
    ClearHash();
    hashClearedThisGame = true;
  }
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

  const int32_t limit = depthLimit;  // "sd" may change it while this search runs
  if (limit >= 0) {
    const int maxDepth = limit >= 1 && limit <= MaxPly ? limit : MaxPly;
    for (int d = 1;; ++d) {
      S.iterationDepth = d;
      S.halvingPly = 2 * d;
      S.extendTime = false;
      int32_t score = 0;
      bool settled = false;
      for (int32_t w : {50, 200, 96000}) {
        const int32_t alpha = std::max(lastScore - w, -ScoreBound);
        score = RootSearch(OnePly * d, alpha);
        if (stopSearch.load()) goto done;
        if (score > alpha) {
          settled = true;
          break;
        }
      }
      // Every window failed only when no root move could be searched: nothing to iterate.
      if (!settled) break;
      lastScore = score;
      pendingLearn = PendingLearn{uint32_t(root.hashKey), uint32_t(root.hashKey >> 32),
                                  S.nodeCount, int16_t(score), S.bestRootIndex, uint8_t(d)};
      if (!S.infiniteSearch && (score > 31998 - d || score < d - 31998)) break;
      if (S.timePhase > 0 || d + 1 > maxDepth) break;
    }
  }
done:
  if (S.bestRootMove.from == NoMoveSquare) PickAnyLegalMove(S.bestRootMove);
}

void Think(Move& move, bool ponder) {
  S.searchStart = searchClock();
  Position& root = S.plyStack[0];
  root = gameRecord.gamePosition;
  root.cacheFlags = 0;
  S.infiniteSearch = ponder;
  if (depthLimit != 0) {
    S.infiniteSearch = true;
  } else if (!ponder) {
    GenerateMoves(root);
    if (root.moveCount == 0) return;
    int legal = 0;
    Move only = NoMove;
    for (int i = 1; i <= root.moveCount && legal < 2; ++i) {
      Move& m = root.moveList[i];
      CopyBoardState(S.plyStack[1], root);
      MakeMove(S.plyStack[1], m);
      if (MoverInCheck(S.plyStack[1])) {
        m.score = ExcludedMoveScore;
        continue;
      }
      ++legal;
      only = m;
    }
    if (legal == 0) return;
    if (legal == 1) {
      move = only;
      return;
    }
    if (knowledgeSeams.bookProbe) {
      int index = knowledgeSeams.bookProbe();
      if (index >= 0) {
        Position& listing = S.plyStack[1];
        listing = gameRecord.gamePosition;
        GenerateLegalMoves(listing);
        if (index >= 1 && index <= listing.moveCount) {
          move = listing.moveList[index];
          return;
        }
      }
    }
    if (ProbeTablebasesAtRoot(move)) return;
    if (!knowledgeSeams.learnedLoaded) {
      AdvanceHashAge();
      if (knowledgeSeams.loadLearned) knowledgeSeams.loadLearned();
      knowledgeSeams.learnedLoaded = true;
    }
  }
  if (S.infiniteSearch) {
    timeLimits[0] = timeLimits[1] = timeLimits[2] = NoLimit;
  } else {
    planMoveTime();
  }
  S.timePhase = 0;
  AdvanceHashAge();
  IterativeDeepening();
  if (S.bestRootMove.from != NoMoveSquare) move = S.bestRootMove;
  if (!ponder && !S.rootRepeated && knowledgeSeams.recordLearning) knowledgeSeams.recordLearning();
}
