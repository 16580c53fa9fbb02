// The principal variation search below the root and the quiescence search.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "notation/game.h"
#include "search/search_state.h"

SearchState searchState;

namespace {

SearchState& S = searchState;

// Margins of the recapture extension by ply: a recapture only extends while the material
// balance stays near the root's.
constexpr int32_t recaptureMargin[MaxPly] = {
    0,   500, 450, 400, 350, 300, 275, 250, 225, 200, 175, 150, 125, 100, 100, 100,
    100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
};

// Ordering scores. OrderChecks lifts captures and promotions by twice CaptureBand: those the
// generator scored as gains land above KillerBand, losing ones between the bands, and quiet
// moves stay below CaptureBand. Killers (quiet moves themselves) rank just below
// KillerBand: after the winning captures, before the losing ones.
constexpr int32_t HashMoveScore = 0x3FFFFFFF;  // above any ordering score
constexpr int32_t CaptureBand = 100000;
constexpr int32_t KillerBand = 200000;
constexpr int32_t MateKillerScore = KillerBand + 1;
// Quiet moves are ordered by history, scaled so that the most successful one gains this.
constexpr double HistoryRange = 30000.0;

// A position can repeat, and the fifty-move rule apply, only after reversible plies.
constexpr uint32_t RepetitionNeedsPlies = 2;

// The null move is tried while the depth is below the mover's material over 64: with
// little material left, zugzwang makes passing a poor guide.
constexpr int NullMoveMaterialShift = 6;

// Internal deepening: at three plies or more without a move from the table, a search two
// plies shallower finds the move to try first.
constexpr int32_t DeepeningMinDepth = 3 * OnePly;
constexpr int32_t DeepeningReduction = 2 * OnePly;

// Recaptures are extended so that an exchange is seen to its end.
constexpr int32_t RecaptureExtension = 3;
// Every move of a node gets at least this extension: more where the choice is forced.
constexpr int32_t ForcedExtension = 3;      // a mate threat or a single reply
constexpr int32_t TwoRepliesExtension = 1;  // two replies

// Futility: at a frontier node with more than five men, quiet moves are not tried when
// material and pawn structure stay this far below alpha.
constexpr int32_t FutilityMargin = 500;
constexpr int FutilityMinMen = 6;

// Late move reduction: from the fifth move on, at more than two plies, a quiet move with
// less than half the best history is first searched one ply shallower.
constexpr int32_t ReductionAboveDepth = 2 * OnePly;
constexpr int ReductionAfterMoves = 4;
constexpr int32_t LateMoveReduction = OnePly;

// The material signature's pieces (not pawns) of each side.
constexpr uint16_t WhitePieceSigs = SigWhiteKnight | SigWhiteBishop | SigWhiteRook | SigWhiteQueen;
constexpr uint16_t BlackPieceSigs = SigBlackKnight | SigBlackBishop | SigBlackRook | SigBlackQueen;

// Indices 1..moveCount of a move list.
constexpr int MoveSlots = 257;

uint32_t KeyLow(uint64_t key) { return uint32_t(key); }
uint32_t KeyHigh(uint64_t key) { return uint32_t(key >> 32); }
int HistorySlot(const Move& m) { return m.from * 64 + m.to; }

// A ply's captureSquare entry when its move captures nothing: unique to the ply, so that a
// capture below can never be taken for a recapture of another ply's move.
int8_t NoCaptureMark(int ply) { return int8_t(-ply); }

// A child's score when the opponent mates at its first move: the null-move's mate threat.
int32_t MatedAtOnceScore(int ply) { return -(MateInOneScore - (ply + 1)); }

void Store(const Position& pos, int32_t depth, int32_t score, int moveIndex, uint32_t bound,
           uint32_t entryNodes) {
  StoreHash(KeyLow(pos.hashKey), KeyHigh(pos.hashKey), depth, int16_t(score),
            uint16_t(moveIndex), bound, S.searchPly, int32_t(S.nodeCount - entryNodes));
}

int32_t EvaluateAtLastPly(Position& pos, int32_t alpha, int32_t beta) {
  return std::max(Evaluate(alpha, beta, pos), alpha);
}

// A child starts from its parent's play state and may take over the parent's attack sets
// where the move left them standing.
void MakeChild(Position& child, const Position& parent, const Move& m,
               void (*make)(Position&, const Move&) = MakeMove) {
  CopyPlayState(child, parent);
  make(child, m);
  child.attackSource = &parent;
}

// One node of Search: its window and place, and what the steps before the move loop found.
struct Node {
  Position& pos;
  Position& child;
  const int ply;
  const int32_t depth;
  int32_t alpha;
  const int32_t beta;
  const int32_t kind;
  const uint32_t entryNodes;   // the node count on entry: the effort stored with results
  uint16_t hashMove = 0;       // move index from the table; 0 none
  bool mateThreat = false;     // passing would let the opponent mate at once
  bool nullMoveFails = false;  // the table holds a result that the null move cannot beat

  uint32_t ThreatBit() const { return mateThreat ? MateThreatBit : 0; }
};

bool IsDrawByRule(Node& n) {
  if (n.pos.fiftyCounter < RepetitionNeedsPlies) return false;
  // Below a null move no line is one the game can take: a repetition there proves nothing.
  if (!S.nullMoveActive && IsRepetition(n.pos, n.ply)) return true;
  return n.pos.fiftyCounter >= FiftyMoveLimit && !IsMated(n.pos);
}

bool ProbeTable(Node& n, int32_t& score) {
  score = ProbeHash(KeyLow(n.pos.hashKey), KeyHigh(n.pos.hashKey), n.depth, n.alpha, n.beta,
                    n.hashMove, n.mateThreat, n.ply);
  if (score <= MateScore) return true;
  n.nullMoveFails = score == AvoidNullMove;
  if (n.mateThreat && n.kind == ReducedNode) {
    score = n.alpha;
    return true;
  }
  return false;
}

bool RecognizerAnswers(Position& pos, int32_t& score) {
  score = RecognizerScore(pos);
  return score != NoRecognizerScore;
}

bool NullMoveAllowed(const Node& n) {
  const int32_t material = n.pos.sideToMove == White ? n.pos.whiteMaterial : n.pos.blackMaterial;
  return !S.nullMoveActive && !n.nullMoveFails && !n.mateThreat && !S.inCheck[n.ply] &&
         n.depth < (material >> NullMoveMaterialShift);
}

// Passing must still leave the opponent unable to reach beta: then the node fails high
// without a move searched. A pass that gets mated at once marks a mate threat.
bool NullMoveCuts(Node& n, int32_t& score) {
  if (!NullMoveAllowed(n)) return false;
  const int p = n.ply;
  const int32_t reduction = NullMoveReduction(n.depth);
  CopyPlayState(n.child, n.pos);
  MakeNullMove(n.child);
  n.child.attackSource = &n.pos;
  S.searchPly = p + 1;
  S.inCheck[p + 1] = false;
  // Passing captures nothing: a capture just below must not count as a recapture of
  // whatever an earlier node left in this ply's entry.
  S.captureSquare[p] = NoCaptureMark(p);
  // A null window at beta: only whether the pass reaches beta matters.
  int32_t s;
  if (reduction >= n.depth) {
    S.quiescenceEntryPly = p + 1;
    s = -Quiesce(-n.beta, 1 - n.beta);
  } else {
    S.nullMoveActive = true;
    s = -Search(n.depth - reduction, -n.beta, 1 - n.beta, FullNode);
    S.nullMoveActive = false;
  }
  S.searchPly = p;
  score = n.alpha;
  if (stopSearch.load()) return true;
  if (s == MatedAtOnceScore(p)) {
    if (n.kind == ReducedNode) return true;
    n.mateThreat = true;
  }
  if (s < n.beta) return false;
  Store(n.pos, n.depth, s, n.hashMove, BoundLower | n.ThreatBit(), n.entryNodes);
  score = s;
  return true;
}

// A checking move that mates ends the node without a search. OrderChecks has listed them.
bool CheckMatesAtOnce(Node& n, int32_t& score) {
  for (int i = checkList.count; i >= 1; --i) {
    MakeChild(n.child, n.pos, checkList.moves[i], MakeMoveLight);
    if (!IsMated(n.child)) continue;
    score = MateInOneScore - n.ply;
    StoreHash(KeyLow(n.pos.hashKey), KeyHigh(n.pos.hashKey), OnePly, int16_t(score), 0,
              BoundExact, n.ply, 0);
    return true;
  }
  return false;
}

// The steps before the move loop; true with the node's score when one of them ends it.
bool EndsBeforeMoves(Node& n, int32_t& score) {
  score = 0;
  if (IsDrawByRule(n)) return true;
  if (n.depth <= 0) {
    S.quiescenceEntryPly = n.ply;
    score = Quiesce(n.alpha, n.beta);
    return true;
  }
  if (n.ply == MaxPly - 1) {
    score = EvaluateAtLastPly(n.pos, n.alpha, n.beta);
    return true;
  }
  if (ProbeTable(n, score)) return true;
  if (RecognizerAnswers(n.pos, score)) return true;
  if (NullMoveCuts(n, score)) return true;
  OrderChecks(n.pos, checkList);
  return CheckMatesAtOnce(n, score);
}

// The move loop's state: the ordering score of each move (by move index) and the moves
// not yet searched.
struct MoveLoop {
  int32_t score[MoveSlots];
  int order[MoveSlots];  // order[1..remaining]: move indices
  // key[k] = score[order[k]], kept beside the order so that the pick reads one array.
  int32_t key[MoveSlots];
  int remaining;
  int searched = 0;
  bool quiet = false;  // the quiet moves have their history scores
  uint32_t reductionThreshold = 0;
  int32_t leastExtension;
  bool mayEnterPawnEnding;  // the mover has only pawns, the opponent one piece
  uint32_t* history;        // the history table of the side to move
};

// The move list's scores, with the killers of this ply and of the ply two below (the same
// side to move) placed just under KillerBand, and the move from the table first.
void ScoreMoves(const Node& n, MoveLoop& loop) {
  const int p = n.ply;
  const bool deeperKillers = p + 2 < MaxPly;
  for (int i = 1; i <= n.pos.moveCount; ++i) {
    const Move& m = n.pos.moveList[i];
    int32_t v = m.score;
    if (v <= KillerBand) {
      const uint32_t code = moveCode(m);
      if (mateKiller[p] == code) {
        v = MateKillerScore;
      } else if (v < CaptureBand) {
        if (killer1[p] == code) v = KillerBand;
        else if (killer2[p] == code) v = KillerBand - 1;
        else if (deeperKillers && killer1[p + 2] == code) v = KillerBand - 2;
        else if (deeperKillers && killer2[p + 2] == code) v = KillerBand - 3;
      }
    }
    loop.score[i] = v;
  }
  if (n.hashMove && n.hashMove <= n.pos.moveCount) loop.score[n.hashMove] = HashMoveScore;
}

// Without a move from the table, a shallower search of this same node (at the same ply)
// finds the move to try first. False when the search stopped.
bool InternalDeepening(const Node& n, MoveLoop& loop) {
  const int p = n.ply;
  const bool hasTableMove = n.hashMove != 0 && n.hashMove <= n.pos.moveCount;
  if (S.movesReady[p] || hasTableMove || n.depth < DeepeningMinDepth || n.kind == TestLineNode)
    return true;
  S.movesReady[p] = true;
  S.bestMoveIndex[p] = 0;
  Search(n.depth - DeepeningReduction, n.alpha, n.beta, FullNode);
  S.movesReady[p] = false;
  if (stopSearch.load()) return false;
  if (S.bestMoveIndex[p]) loop.score[S.bestMoveIndex[p]] = HashMoveScore;
  return true;
}

void PrepareMoveLoop(const Node& n, MoveLoop& loop) {
  const int moveCount = n.pos.moveCount;
  for (int i = 1; i <= moveCount; ++i) {
    loop.order[i] = i;
    loop.key[i] = loop.score[i];
  }
  loop.remaining = moveCount;
  const uint16_t sig = n.pos.materialSignature;
  const bool white = n.pos.sideToMove == White;
  const uint16_t ownPieces = white ? WhitePieceSigs : BlackPieceSigs;
  const uint16_t enemyPieces = white ? BlackPieceSigs : WhitePieceSigs;
  loop.mayEnterPawnEnding =
      !(sig & ownPieces) && std::popcount(unsigned(sig & enemyPieces)) == 1;
  loop.leastExtension = n.mateThreat || moveCount == 1 ? ForcedExtension
                        : moveCount == 2              ? TwoRepliesExtension
                                                      : 0;
  loop.history = history[n.ply & 1];
}

// At a frontier node (the quiet moves would go straight to quiescence) without checking
// moves, quiet moves cannot save a side far below alpha, unless its pawn on the sixth rank
// is about to change the material.
bool QuietMovesFutile(const Node& n, const MoveLoop& loop) {
  Position& pos = n.pos;
  if (pos.checkingMoveCount != 0 || loop.leastExtension + n.depth - OnePly > 0 ||
      CountBits(pos.occupied) < FutilityMinMen)
    return false;
  const bool white = pos.sideToMove == White;
  const Bitboard pawnsOnSixth = white ? pos.whitePawns & Rank6 : pos.blackPawns & Rank3;
  if (pawnsOnSixth) return false;
  int32_t balance = int32_t(pos.whiteMaterial) - int32_t(pos.blackMaterial) + EvaluatePawns(pos);
  if (!white) balance = -balance;
  if (balance + FutilityMargin >= n.alpha) return false;
  return true;
}

// Quiet moves are lowered when they step onto attacked squares and raised by history.
void ScoreQuietMoves(Node& n, MoveLoop& loop) {
  QuietMovePenalty(n.pos, loop.remaining, loop.order, loop.score);
  uint32_t most = 1;
  for (int k = 1; k <= loop.remaining; ++k)
    most = std::max(most, loop.history[HistorySlot(n.pos.moveList[loop.order[k]])]);
  const double scale = HistoryRange / double(most);
  for (int k = 1; k <= loop.remaining; ++k) {
    const int i = loop.order[k];
    loop.score[i] += int32_t(double(loop.history[HistorySlot(n.pos.moveList[i])]) * scale);
    loop.key[k] = loop.score[i];
  }
  loop.quiet = true;
  loop.reductionThreshold = most / 2;
}

int32_t Extension(const Node& n, const MoveLoop& loop, const Move& m) {
  const int p = n.ply;
  int32_t x = 0;
  if (loop.mayEnterPawnEnding && !(n.child.materialSignature & SigPieces)) {
    x = PawnEndingExtension;
  } else if (S.inCheck[p + 1]) {
    x = CheckExtension;
  } else if (PawnOnSeventh(n.child, m)) {
    x = PawnToSeventhExtension;
  } else if (S.captureSquare[p] == S.captureSquare[p - 1]) {
    const int32_t swing =
        int32_t(n.child.whiteMaterial) - int32_t(n.child.blackMaterial) - S.rootBalance;
    if (std::abs(swing) < recaptureMargin[p]) x = RecaptureExtension;
  }
  x = std::max(x, loop.leastExtension);
  // Beyond twice the iteration depth extensions count half, so that lines end.
  if (p >= S.halvingPly) x >>= 1;
  return x;
}

bool MayReduce(const Node& n, const MoveLoop& loop, const Move& m, int32_t extension) {
  return n.depth > ReductionAboveDepth && n.kind != TestLineNode && extension == 0 &&
         loop.quiet && loop.searched >= ReductionAfterMoves &&
         loop.history[HistorySlot(m)] < loop.reductionThreshold;
}

// The first move gets the full window; a later one a null window above alpha (a late
// quiet move first one ply shallower), searched again when it beats alpha. False when
// the search stopped.
bool SearchChild(const Node& n, const MoveLoop& loop, const Move& m, int32_t extension,
                 int32_t& v) {
  const int32_t alpha = n.alpha, beta = n.beta;
  const int32_t childDepth = n.depth - OnePly + extension;
  if (loop.searched == 0) {
    v = -Search(childDepth, -beta, -alpha, n.kind);
    return !stopSearch.load();
  }
  v = alpha + 1;
  if (MayReduce(n, loop, m, extension)) {
    v = -Search(n.depth - OnePly - LateMoveReduction, -alpha - 1, -alpha, ReducedNode);
    if (stopSearch.load()) return false;
  }
  if (v <= alpha) return true;
  v = -Search(childDepth, -alpha - 1, -alpha, FullNode);
  if (stopSearch.load()) return false;
  if (v <= alpha || v >= beta) return true;
  v = -Search(childDepth, -beta, -alpha, FullNode);
  return !stopSearch.load();
}

int32_t FailHigh(const Node& n, const MoveLoop& loop, int moveIndex, int32_t v) {
  const int p = n.ply;
  const Move& m = n.pos.moveList[moveIndex];
  S.bestMoveIndex[p] = uint16_t(moveIndex);
  const uint32_t code = moveCode(m);
  if (v == MateInOneScore - p) {
    mateKiller[p] = code;
  } else if (m.score < CaptureBand && killer1[p] != code) {
    killer2[p] = killer1[p];
    killer1[p] = code;
  }
  if (loop.quiet) {
    ++loop.history[HistorySlot(m)];
    ++historyUsed[p & 1];
  }
  Store(n.pos, n.depth, v, moveIndex, BoundLower | n.ThreatBit(), n.entryNodes);
  RemovePathKey(n.pos.hashKey);
  return v;
}

// Picks the next move: captures and killers by score; when only quiet moves are left they
// are scored once, or all skipped as futile. 0 when none is left to search.
int NextMove(Node& n, MoveLoop& loop) {
  int at = HighestKeyPosition(loop.key, loop.remaining);
  if (!loop.quiet && loop.key[at] < CaptureBand) {
    if (QuietMovesFutile(n, loop)) return 0;
    ScoreQuietMoves(n, loop);
    at = HighestKeyPosition(loop.key, loop.remaining);
  }
  loop.key[at] = loop.key[loop.remaining];
  return TakeAt(loop.order, at, loop.remaining);
}

int32_t SearchMoves(Node& n, MoveLoop& loop) {
  const int p = n.ply;
  int bestIndex = 0;
  InsertPathKey(n.pos.hashKey);
  for (;;) {
    const int mi = NextMove(n, loop);
    if (mi == 0) break;
    const Move& m = n.pos.moveList[mi];
    MakeChild(n.child, n.pos, m);
    S.inCheck[p + 1] = ChildInCheck(n.child, m);
    S.captureSquare[p] = n.pos.board[m.to] != Empty ? m.to : NoCaptureMark(p);
    const int32_t extension = Extension(n, loop, m);
    S.searchPly = p + 1;
    int32_t v;
    const bool finished = SearchChild(n, loop, m, extension, v);
    S.searchPly = p;
    if (!finished) return n.alpha;
    if (v >= n.beta) return FailHigh(n, loop, mi, v);
    if (v > n.alpha) {
      n.alpha = v;
      bestIndex = mi;
    }
    if (loop.remaining == 0) break;
    ++loop.searched;
  }
  RemovePathKey(n.pos.hashKey);
  S.bestMoveIndex[p] = uint16_t(bestIndex);
  if (bestIndex) Store(n.pos, n.depth, n.alpha, bestIndex, BoundExact | n.ThreatBit(), n.entryNodes);
  else Store(n.pos, n.depth, n.alpha, n.hashMove, BoundUpper | n.ThreatBit(), n.entryNodes);
  return n.alpha;
}

}  // namespace

bool SideToMoveInCheck(const Position& pos) {
  int side = pos.sideToMove;
  return SquareAttackedBy(pos, KingSquare(pos, side), 1 - side);
}

bool MoverInCheck(const Position& pos) {
  int mover = 1 - pos.sideToMove;
  return SquareAttackedBy(pos, KingSquare(pos, mover), pos.sideToMove);
}

void ClearPathTable() {
  std::memset(S.pathTable, 0, sizeof S.pathTable);
  // Slot 0 always counts as taken: no key that maps to it has the value 1.
  S.pathTable[0] = 1;
}

void InsertPathKey(uint64_t key) {
  uint64_t& slot = S.pathTable[KeyLow(key) % PathSlots];
  if (slot == 0) slot = key;
}

void RemovePathKey(uint64_t key) {
  uint64_t& slot = S.pathTable[KeyLow(key) % PathSlots];
  if (slot == key) slot = 0;
}

bool IsRepetition(const Position& pos, int32_t ply) {
  const uint64_t key = pos.hashKey;
  uint64_t held = S.pathTable[KeyLow(key) % PathSlots];
  if (held == key) return true;
  if (held != 0) {
    for (int q = ply - 2; q >= 0; q -= 2)
      if (S.plyStack[q].hashKey == key) return true;
  }
  for (uint32_t slot = KeyLow(key) % PathSlots; S.repetitionIndex[slot] != NoRepetition;
       slot = (slot + RepetitionStep) % PathSlots) {
    if (gameRecord.gameKeys[S.repetitionIndex[slot]] == key) return true;
  }
  return false;
}

int32_t Search(int32_t depth, int32_t alpha, int32_t beta, int32_t kind) {
  const int p = S.searchPly;
  Node n{S.plyStack[p], S.plyStack[p + 1], p, depth, alpha, beta, kind, S.nodeCount};
  // Internal deepening searches its own node again: the steps before the move loop are
  // done and the moves are ready.
  if (!S.movesReady[p]) {
    int32_t score;
    if (EndsBeforeMoves(n, score)) return score;
  }
  if (CheckTime()) return n.alpha;
  if (n.pos.moveCount == 0) return S.inCheck[p] ? p - MateScore : 0;
  MoveLoop loop;
  ScoreMoves(n, loop);
  if (!InternalDeepening(n, loop)) return n.alpha;
  PrepareMoveLoop(n, loop);
  return SearchMoves(n, loop);
}

namespace {

// In check: every evasion, best ordered first. Behind and in check where the quiescence
// search begins, an evasion that repeats is a draw worth taking.
int32_t QuiesceEvasions(Position& pos, Position& child, int32_t alpha, int32_t beta) {
  const int p = S.searchPly;
  OrderChecks(pos, checkList);
  int count = pos.moveCount;
  if (count == 0) return p - MateScore;
  const bool repetitionAware = p == S.quiescenceEntryPly && alpha < 0;
  while (count > 0) {
    const Move m = TakeBest(pos.moveList, count, [](const Move& e) { return e.score; });
    MakeChild(child, pos, m);
    S.searchPly = p + 1;
    S.inCheck[p + 1] = ChildInCheck(child, m);
    int32_t v = 0;
    if (!repetitionAware || child.fiftyCounter < RepetitionNeedsPlies) {
      v = -Quiesce(-beta, -alpha);
    } else if (!S.nullMoveActive && IsRepetition(child, p + 1)) {
      v = 0;
    } else if (child.fiftyCounter < FiftyMoveLimit || IsMated(child)) {
      v = -Quiesce(-beta, -alpha);
    }
    S.searchPly = p;
    if (stopSearch.load()) return alpha;
    if (v >= beta) return v;
    alpha = std::max(alpha, v);
  }
  return alpha;
}

// The capture generator has no en passant, and its moves start from a position whose side
// to move is not in check. A man leaving a square on no line through a king then cannot
// expose that king, nor uncover a check on it: the two attack tests after each capture
// shrink to the lines that matter.
bool LeavesEveryLine(int from, int king) { return lineFrom[from][king] == 0; }

bool CaptureLeavesKingAttacked(const Position& pos, const Position& child, const Move& m) {
  const int king = KingSquare(pos, pos.sideToMove);
  if (m.from != king && m.flags != FlagEnPassant && LeavesEveryLine(m.from, king)) return false;
  return MoverInCheck(child);
}

bool CaptureGivesCheck(const Position& child, const Move& m) {
  const int king = KingSquare(child, child.sideToMove);
  if (m.flags == FlagEnPassant || !LeavesEveryLine(m.from, king)) return SideToMoveInCheck(child);
  // Only the man on `to` can attack the king now; sliders need the occupancy test.
  switch (child.board[m.to]) {
    case WhitePawn: return (whitePawnCaptures[m.to] >> king) & 1;
    case BlackPawn: return (blackPawnCaptures[m.to] >> king) & 1;
    case WhiteKnight:
    case BlackKnight: return (knightAttacks[m.to] >> king) & 1;
    case WhiteKing:
    case BlackKing: return false;
    default: {
      // A bishop, rook or queen: it checks along its own kind of line when nothing stands
      // between it and the king.
      const Bitboard line = lineFrom[m.to][king];
      if (!line || (line & ~Bit(m.to) & child.occupied)) return false;
      const int kind = KindOf(child.board[m.to]);
      if (kind == KindOf(WhiteQueen)) return true;
      const bool diagonal = FileOf(m.to) != FileOf(king) && RankOf(m.to) != RankOf(king);
      return diagonal == (kind == KindOf(WhiteBishop));
    }
  }
}

// Not in check: the side to move may stand pat on the evaluation or try its captures.
int32_t QuiesceCaptures(Position& pos, Position& child, int32_t alpha, int32_t beta) {
  const int p = S.searchPly;
  const int32_t e = Evaluate(alpha, beta, pos);
  if (e >= beta) return e;
  int32_t best = std::max(e, alpha);
  GenerateCaptures(pos);
  int count = pos.moveCount;
  while (count > 0) {
    const Move m = TakeBest(pos.moveList, count, [](const Move& c) { return c.score; });
    MakeChild(child, pos, m);
    if (CaptureLeavesKingAttacked(pos, child, m)) continue;
    S.searchPly = p + 1;
    S.inCheck[p + 1] = CaptureGivesCheck(child, m);
    const int32_t v = -Quiesce(-beta, -best);
    S.searchPly = p;
    if (stopSearch.load()) return best;
    if (v >= beta) return v;
    best = std::max(best, v);
  }
  if (p == S.quiescenceEntryPly && HasMateInOne(pos, child)) return MateInOneScore - p;
  return best;
}

}  // namespace

int32_t Quiesce(int32_t alpha, int32_t beta) {
  const int p = S.searchPly;
  Position& pos = S.plyStack[p];
  if (CheckTime()) return alpha;
  int32_t answer;
  if (RecognizerAnswers(pos, answer)) return answer;
  if (p == MaxPly - 1) return EvaluateAtLastPly(pos, alpha, beta);
  Position& child = S.plyStack[p + 1];
  if (S.inCheck[p]) return QuiesceEvasions(pos, child, alpha, beta);
  return QuiesceCaptures(pos, child, alpha, beta);
}
