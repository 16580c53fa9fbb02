// The principal variation search below the root and the quiescence search.

#include <cstring>

#include "board/board.h"
#include "eval/eval.h"
#include "notation/game.h"
#include "search/endgame_seam.h"
#include "search/search_state.h"

SearchState searchState;
SearchWatcher searchWatcher = nullptr;

namespace {

SearchState& S = searchState;

// Margins of the recapture extension by ply: a recapture only extends while the material
// balance stays near the root's.
constexpr int32_t recaptureMargin[MaxPly] = {
    0,   500, 450, 400, 350, 300, 275, 250, 225, 200, 175, 150, 125, 100, 100, 100,
    100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
};

constexpr int32_t HashMoveScore = 0x3FFFFFFF;
constexpr int32_t CaptureBand = 100000;
constexpr int32_t KillerBand = 200000;

uint32_t KeyLow(uint64_t key) { return uint32_t(key); }
uint32_t KeyHigh(uint64_t key) { return uint32_t(key >> 32); }

void Store(const Position& pos, int32_t depth, int32_t score, int moveIndex, uint32_t bound,
           uint32_t entryNodes) {
  StoreHash(KeyLow(pos.hashKey), KeyHigh(pos.hashKey), depth, int16_t(score),
            uint16_t(moveIndex), bound, S.searchPly, int32_t(S.nodeCount - entryNodes));
}

bool PawnOnSeventh(const Position& child, const Move& m) {
  int r = RankOf(m.to);
  int code = child.board[m.to];
  return (r == 6 && code == WhitePawn) || (r == 1 && code == BlackPawn);
}

}  // namespace

void CopyBoardState(Position& to, const Position& from) {
  std::memcpy(to.board, from.board, sizeof to.board);
  to.whitePawns = from.whitePawns;
  to.whiteKnights = from.whiteKnights;
  to.whiteBishops = from.whiteBishops;
  to.whiteRooks = from.whiteRooks;
  to.whiteQueens = from.whiteQueens;
  to.blackPawns = from.blackPawns;
  to.blackKnights = from.blackKnights;
  to.blackBishops = from.blackBishops;
  to.blackRooks = from.blackRooks;
  to.blackQueens = from.blackQueens;
  to.whitePieces = from.whitePieces;
  to.blackPieces = from.blackPieces;
  to.occupied = from.occupied;
  to.occupiedRot90 = from.occupiedRot90;
  to.occupiedDiagA = from.occupiedDiagA;
  to.occupiedDiagB = from.occupiedDiagB;
  to.hashKey = from.hashKey;
  to.pawnKey = from.pawnKey;
  to.fiftyCounter = from.fiftyCounter;
  to.whiteMaterial = from.whiteMaterial;
  to.blackMaterial = from.blackMaterial;
  to.materialSignature = from.materialSignature;
  to.castling = from.castling;
  to.whiteKing = from.whiteKing;
  to.blackKing = from.blackKing;
  to.epFile = from.epFile;
  to.sideToMove = from.sideToMove;
  to.cacheFlags = 0;
}

void CopyForNullMove(Position& to, const Position& from) { CopyBoardState(to, from); }

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
  Position& P = S.plyStack[p];
  Position& child = S.plyStack[p + 1];
  const uint32_t entryNodes = S.nodeCount;
  uint16_t hashMove = 0;
  bool mateThreat = false;
  const int side = P.sideToMove;

  if (S.movesReady[p]) goto searchMoves;

  // Draw tests.
  if (P.fiftyCounter >= 2) {
    if (!S.nullMoveActive && IsRepetition(P, p)) return 0;
    if (P.fiftyCounter >= 100 && !IsMated(P)) return 0;
  }
  if (depth <= 0) {
    S.quiescenceEntryPly = p;
    return Quiesce(alpha, beta);
  }
  if (p == MaxPly - 1) {
    int32_t e = Evaluate(alpha, beta, P);
    return e > alpha ? e : alpha;
  }

  {
    int32_t r = ProbeHash(KeyLow(P.hashKey), KeyHigh(P.hashKey), depth, alpha, beta, hashMove,
                          mateThreat, p);
    if (r <= MateScore) return r;
    if (mateThreat && kind == 2) return alpha;
    int32_t answer;
    if (RecognizerAnswers(P, answer)) return answer;

    // Null move: passing must still leave the opponent unable to reach beta.
    const int32_t material = side == White ? P.whiteMaterial : P.blackMaterial;
    if (!S.nullMoveActive && r != AvoidNullMove && !mateThreat && !S.inCheck[p] &&
        depth < (material >> 6)) {
      const int32_t R = depth <= 24 ? 8 : 12;
      if (searchWatcher) [[unlikely]]
        searchWatcher(SearchEvent::NullMove, {p, depth, 0, 0, 0});
      CopyForNullMove(child, P);
      child.hashKey ^= sideKey;
      child.hashKey ^= uint64_t(uint32_t(child.epFile ^ NoEnPassant));
      child.epFile = NoEnPassant;
      child.sideToMove ^= 1;
      S.searchPly = p + 1;
      S.inCheck[p + 1] = false;
      // Passing captures nothing: a capture just below must not count as a recapture of
      // whatever an earlier node left in this ply's entry.
      S.captureSquare[p] = int8_t(-p);
      int32_t s;
      if (R >= depth) {
        S.quiescenceEntryPly = p + 1;
        s = -Quiesce(-beta, 1 - beta);
      } else {
        S.nullMoveActive = true;
        s = -Search(depth - R, -beta, 1 - beta, 1);
        S.nullMoveActive = false;
      }
      S.searchPly = p;
      if (stopSearch.load()) return alpha;
      if (s == p - 31998) {
        if (kind == 2) return alpha;
        mateThreat = true;
      }
      if (s >= beta) {
        Store(P, depth, s, hashMove, BoundLower | (mateThreat ? MateThreatBit : 0), entryNodes);
        return s;
      }
    }

    // A checking move that mates ends the node without a search.
    OrderChecks(P, checkList);
    for (int i = checkList.count; i >= 1; --i) {
      CopyBoardState(child, P);
      MakeMoveLight(child, checkList.moves[i]);
      if (IsMated(child)) {
        StoreHash(KeyLow(P.hashKey), KeyHigh(P.hashKey), OnePly, int16_t(MateInOneScore - p), 0,
                  BoundExact, p, 0);
        return MateInOneScore - p;
      }
    }
  }

searchMoves:
  if (CheckTime()) return alpha;
  const int moveCount = P.moveCount;
  if (moveCount == 0) return S.inCheck[p] ? p - MateScore : 0;

  int32_t s[257];
  for (int i = 1; i <= moveCount; ++i) {
    const Move& m = P.moveList[i];
    int32_t v = m.score;
    if (v <= KillerBand) {
      uint32_t code = moveCode(m);
      if (mateKiller[p] == code) {
        v = KillerBand + 1;
      } else if (v < CaptureBand) {
        if (killer1[p] == code) v = KillerBand;
        else if (killer2[p] == code) v = KillerBand - 1;
        else if (p + 2 < MaxPly && killer1[p + 2] == code) v = KillerBand - 2;
        else if (p + 2 < MaxPly && killer2[p + 2] == code) v = KillerBand - 3;
      }
    }
    s[i] = v;
  }
  if (hashMove && hashMove <= moveCount) s[hashMove] = HashMoveScore;

  // Internal iterative deepening finds a first move where the table has none.
  if (!S.movesReady[p] && (hashMove == 0 || hashMove > moveCount) && depth > 11 && kind != 0) {
    S.movesReady[p] = true;
    S.bestMoveIndex[p] = 0;
    Search(depth - 8, alpha, beta, 1);
    if (stopSearch.load()) {
      S.movesReady[p] = false;
      return alpha;
    }
    if (S.bestMoveIndex[p]) s[S.bestMoveIndex[p]] = HashMoveScore;
    S.movesReady[p] = false;
  }

  InsertPathKey(P.hashKey);

  const uint16_t sig = P.materialSignature;
  const uint16_t ownPieces = side == White ? 0x1E : 0x3C0;
  const uint16_t enemyPieces = side == White ? 0x3C0 : 0x1E;
  const bool pawnEnding = !(sig & ownPieces) && std::popcount(unsigned(sig & enemyPieces)) == 1;
  const int32_t x0 = mateThreat ? 3 : moveCount == 1 ? 3 : moveCount == 2 ? 1 : 0;
  const uint32_t threatBit = mateThreat ? MateThreatBit : 0;
  uint32_t* const historyTable = history[p & 1];

  int order[257];
  for (int i = 1; i <= moveCount; ++i) order[i] = i;
  int remaining = moveCount;
  int searched = 0;
  bool quiet = false;
  int bestIndex = 0;
  uint32_t reductionThreshold = 0;

  auto select = [&]() {
    int best = remaining;
    for (int k = remaining - 1; k >= 1; --k)
      if (s[order[k]] > s[order[best]]) best = k;
    return best;
  };

  for (;;) {
    int position = select();
    if (s[order[position]] < CaptureBand && !quiet) {
      if (P.checkingMoveCount == 0 && x0 + depth - 4 <= 0 && CountBits(P.occupied) > 5) {
        Bitboard sixth = side == White ? (P.whitePawns & 0x0000FF0000000000ull)
                                       : (P.blackPawns & 0x0000000000FF0000ull);
        if (!sixth) {
          int32_t balance = int32_t(P.whiteMaterial) - int32_t(P.blackMaterial) + EvaluatePawns(P);
          if (side == Black) balance = -balance;
          if (balance + 500 < alpha) {
            if (searchWatcher) [[unlikely]]
              searchWatcher(SearchEvent::FutilityCut, {p, depth, 0, 0, 0});
            break;
          }
        }
      }
      QuietMovePenalty(P, remaining, order, s);
      uint32_t H = 1;
      for (int k = 1; k <= remaining; ++k) {
        const Move& m = P.moveList[order[k]];
        uint32_t h = historyTable[m.from * 64 + m.to];
        if (h > H) H = h;
      }
      const double scale = 30000.0 / double(H);
      for (int k = 1; k <= remaining; ++k) {
        const Move& m = P.moveList[order[k]];
        s[order[k]] += int32_t(double(historyTable[m.from * 64 + m.to]) * scale);
      }
      quiet = true;
      reductionThreshold = H / 2;
      position = select();
    }
    const int mi = order[position];
    order[position] = order[remaining];
    --remaining;
    const Move& m = P.moveList[mi];

    CopyBoardState(child, P);
    MakeMove(child, m);
    S.inCheck[p + 1] = SideToMoveInCheck(child);
    S.captureSquare[p] = P.board[m.to] != Empty ? m.to : int8_t(-p);

    int32_t x;
    if (pawnEnding && !(child.materialSignature & SigPieces)) x = 12;
    else if (S.inCheck[p + 1]) x = 4;
    else if (PawnOnSeventh(child, m)) x = 3;
    else if (S.captureSquare[p] == S.captureSquare[p - 1]) {
      int32_t swing = int32_t(child.whiteMaterial) - int32_t(child.blackMaterial) - S.rootBalance;
      x = (swing < 0 ? -swing : swing) < recaptureMargin[p] ? 3 : 0;
    } else x = 0;
    if (x < x0) x = x0;
    if (p >= S.halvingPly) x >>= 1;
    if (searchWatcher) [[unlikely]]
      searchWatcher(SearchEvent::ChildSearch, {p, depth, mi, x, searched});
    S.searchPly = p + 1;

    int32_t v;
    if (searched == 0) {
      v = -Search(depth - 4 + x, -beta, -alpha, kind);
      if (stopSearch.load()) {
        S.searchPly = p;
        return alpha;
      }
    } else {
      v = alpha + 1;
      if (depth > 8 && kind != 0 && x == 0 && quiet && searched > 3 &&
          historyTable[m.from * 64 + m.to] < reductionThreshold) {
        v = -Search(depth - 8, -alpha - 1, -alpha, 2);
        if (stopSearch.load()) {
          S.searchPly = p;
          return alpha;
        }
      }
      if (v > alpha) {
        v = -Search(depth - 4 + x, -alpha - 1, -alpha, 1);
        if (stopSearch.load()) {
          S.searchPly = p;
          return alpha;
        }
        if (v > alpha && v < beta) {
          v = -Search(depth - 4 + x, -beta, -alpha, 1);
          if (stopSearch.load()) {
            S.searchPly = p;
            return alpha;
          }
        }
      }
    }
    S.searchPly = p;

    if (v >= beta) {
      S.bestMoveIndex[p] = uint16_t(mi);
      uint32_t code = moveCode(m);
      if (v == MateInOneScore - p) {
        mateKiller[p] = code;
      } else if (m.score < CaptureBand && killer1[p] != code) {
        killer2[p] = killer1[p];
        killer1[p] = code;
      }
      if (quiet) {
        ++historyTable[m.from * 64 + m.to];
        ++historyUsed[p & 1];
      }
      Store(P, depth, v, mi, BoundLower | threatBit, entryNodes);
      RemovePathKey(P.hashKey);
      return v;
    }
    if (v > alpha) {
      alpha = v;
      bestIndex = mi;
    }
    if (remaining == 0) break;
    ++searched;
  }

  RemovePathKey(P.hashKey);
  S.bestMoveIndex[p] = uint16_t(bestIndex);
  if (bestIndex) Store(P, depth, alpha, bestIndex, BoundExact | threatBit, entryNodes);
  else Store(P, depth, alpha, hashMove, BoundUpper | threatBit, entryNodes);
  return alpha;
}

int32_t Quiesce(int32_t alpha, int32_t beta) {
  const int p = S.searchPly;
  Position& P = S.plyStack[p];
  Position& child = S.plyStack[p + 1];
  if (CheckTime()) return alpha;
  int32_t answer;
  if (RecognizerAnswers(P, answer)) return answer;
  if (p == MaxPly - 1) {
    int32_t e = Evaluate(alpha, beta, P);
    return e > alpha ? e : alpha;
  }

  if (S.inCheck[p]) {
    OrderChecks(P, checkList);
    int count = P.moveCount;
    if (count == 0) return p - MateScore;
    // Behind and in check at the horizon: an evasion that repeats is a draw worth taking.
    const bool repetitionAware = p == S.quiescenceEntryPly && alpha < 0;
    while (count > 0) {
      int best = count;
      for (int k = count - 1; k >= 1; --k)
        if (P.moveList[k].score > P.moveList[best].score) best = k;
      const Move m = P.moveList[best];
      P.moveList[best] = P.moveList[count];
      P.moveList[count] = m;
      --count;
      CopyBoardState(child, P);
      if (repetitionAware) MakeMove(child, m);
      else MakeMoveLight(child, m);
      S.searchPly = p + 1;
      S.inCheck[p + 1] = SideToMoveInCheck(child);
      int32_t v;
      if (!repetitionAware || child.fiftyCounter < 2) {
        v = -Quiesce(-beta, -alpha);
      } else if (!S.nullMoveActive && IsRepetition(child, p + 1)) {
        v = 0;
      } else if (child.fiftyCounter <= 99 || IsMated(child)) {
        v = -Quiesce(-beta, -alpha);
      } else {
        v = 0;
      }
      S.searchPly = p;
      if (stopSearch.load()) return alpha;
      if (v >= beta) return v;
      if (v > alpha) alpha = v;
    }
    return alpha;
  }

  int32_t e = Evaluate(alpha, beta, P);
  if (e >= beta) return e;
  int32_t best = e > alpha ? e : alpha;
  GenerateCaptures(P);
  int count = P.moveCount;
  while (count > 0) {
    int pick = count;
    for (int k = count - 1; k >= 1; --k)
      if (P.moveList[k].score > P.moveList[pick].score) pick = k;
    const Move m = P.moveList[pick];
    P.moveList[pick] = P.moveList[count];
    P.moveList[count] = m;
    --count;
    CopyBoardState(child, P);
    MakeMoveLight(child, m);
    if (MoverInCheck(child)) continue;
    S.searchPly = p + 1;
    S.inCheck[p + 1] = SideToMoveInCheck(child);
    int32_t v = -Quiesce(-beta, -best);
    S.searchPly = p;
    if (stopSearch.load()) return best;
    if (v >= beta) return v;
    if (v > best) best = v;
  }
  if (p == S.quiescenceEntryPly && HasMateInOne(P, child)) return MateInOneScore - p;
  return best;
}
