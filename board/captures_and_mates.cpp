// The quiescence generator, the mate tests and the small legality tests that try a move
// on a copy of the play state.

#include "board/make_move.h"
#include "board/movegen_internal.h"

using namespace movegen_detail;

namespace {

// The trial position of the mate tests' legality checks; only one thread generates at a
// time.
Position scratchPosition;

// Through the attack cache, which the mate test that follows reuses.
bool MoverKingSafe(Position& pos) {
  if (pos.sideToMove == White) return !(ComputeAttacks<White>(pos) & Bit(pos.blackKing));
  return !(ComputeAttacks<Black>(pos) & Bit(pos.whiteKing));
}

constexpr int32_t SafePromotionScore = 80000;
// A promotion onto an attacked square loses the new queen: 80000 minus half its value.
constexpr int32_t AttackedPromotionScore = 35000;
constexpr int32_t DefendedPawnTargetPenalty = 5000;

template <int Us>
void Captures(Position& pos) {
  using S = Colour<Us>;
  using T = Colour<S::Them>;
  pos.moveCount = 0;
  ComputeAttacks<Us>(pos);
  const Bitboard enemyAttacks = pos.enemyAttacks = ComputeAttacks<S::Them>(pos);
  const Bitboard enemyMen = T::Men(pos) & ~Bit(T::KingSquare(pos));
  const Bitboard undefended = enemyMen & ~enemyAttacks;
  const Bitboard defended = enemyMen & enemyAttacks;

  const int k = S::KingSquare(pos);
  for (Bitboard set = pos.attacksFrom[k] & undefended; set;) {
    int to = PopLowest(set);
    AddMove(pos, k, to, 0, exchangeValue[pos.board[to]]);
  }

  const Bitboard pawns = S::Pawns(pos);
  auto pawnCaptures = [&](Bitboard targets, auto&& add) {
    targets &= S::PawnAttacks(pos);
    while (targets) {
      int to = PopLowest(targets);
      if (FileOf(to) != 0 && (pawns & Bit(S::LeftCapturer(to)))) add(S::LeftCapturer(to), to);
      if (FileOf(to) != 7 && (pawns & Bit(S::RightCapturer(to)))) add(S::RightCapturer(to), to);
    }
  };
  pawnCaptures(undefended & ~S::LastRank, [&](int from, int to) { AddMove(pos, from, to, 0, exchangeValue[pos.board[to]]); });
  pawnCaptures(defended & ~S::LastRank, [&](int from, int to) {
    AddMove(pos, from, to, 0, exchangeValue[pos.board[to]] - DefendedPawnTargetPenalty);
  });
  pawnCaptures(enemyMen & S::LastRank, [&](int from, int to) {
    int32_t base = (enemyAttacks & Bit(to)) ? AttackedPromotionScore : SafePromotionScore;
    AddMove(pos, from, to, FlagPromoteQueen, base + exchangeValue[pos.board[to]]);
  });

  const Bitboard promotionSquares = S::LastRank & ~pos.occupied;
  const Bitboard pushers = pawns & (Us == White ? promotionSquares >> 8 : promotionSquares << 8);
  for (Bitboard set = pushers; set;) {
    int from = PopLowest(set);
    if (!(enemyAttacks & Bit(from + S::Forward))) AddMove(pos, from, from + S::Forward, FlagPromoteQueen, SafePromotionScore);
  }
  for (Bitboard set = pushers; set;) {
    int from = PopLowest(set);
    if (enemyAttacks & Bit(from + S::Forward))
      AddMove(pos, from, from + S::Forward, FlagPromoteQueen, AttackedPromotionScore);
  }

  for (Bitboard set = S::Knights(pos) | S::Bishops(pos) | S::Rooks(pos) | S::Queens(pos); set;) {
    int from = PopLowest(set);
    const Bitboard attacks = pos.attacksFrom[from];
    for (Bitboard to = attacks & undefended; to;) {
      int t = PopLowest(to);
      AddMove(pos, from, t, 0, exchangeValue[pos.board[t]]);
    }
    const int32_t risk = exchangeValueHalf[pos.board[from]];
    for (Bitboard to = attacks & defended; to;) {
      int t = PopLowest(to);
      AddMove(pos, from, t, 0, exchangeValue[pos.board[t]] - risk);
    }
  }
}

inline bool TryLegal(Position& pos, int from, int to, int flags) {
  Move move{0, static_cast<int8_t>(from), static_cast<int8_t>(to), static_cast<int8_t>(flags), 0};
  return MoveIsLegal(pos, move, scratchPosition);
}

template <int Us>
bool Mated(Position& pos) {
  using S = Colour<Us>;
  const Bitboard enemyAttacks = ComputeAttacks<S::Them>(pos);
  const int k = S::KingSquare(pos);
  if (!(enemyAttacks & Bit(k))) return false;
  ComputeAttacks<Us>(pos);

  Bitboard escapes = pos.attacksFrom[k] & ~S::Men(pos) & ~enemyAttacks;
  const Bitboard checkers = Checkers<Us>(pos);
  for (Bitboard set = checkers; set;) {
    int c = PopLowest(set);
    if (IsSliderCode(pos.board[c])) escapes &= kingEscape[k][c];
  }
  if (escapes) return false;
  if (checkers & (checkers - 1)) return true;

  const int checker = LowestSquare(checkers);
  const bool slides = IsSliderCode(pos.board[checker]);
  const Bitboard targets = slides ? lineFrom[checker][k] : Bit(checker);
  const Bitboard between = targets ^ Bit(checker);
  const Bitboard pawns = S::Pawns(pos);
  const Bitboard empty = ~pos.occupied;
  // Any promotion piece serves for a legality trial.
  auto pawnFlags = [](int to) { return (Bit(to) & S::LastRank) ? FlagPromoteQueen : 0; };

  const Bitboard singles = pawns & (Us == White ? between >> 8 : between << 8);
  for (Bitboard set = singles; set;) {
    int from = PopLowest(set);
    if (TryLegal(pos, from, from + S::Forward, pawnFlags(from + S::Forward))) return false;
  }
  const Bitboard steppable = pawns & S::SecondRank & (Us == White ? empty >> 8 : empty << 8);
  const Bitboard doubles = steppable & (Us == White ? between >> 16 : between << 16);
  for (Bitboard set = doubles; set;) {
    int from = PopLowest(set);
    if (TryLegal(pos, from, from + 2 * S::Forward, FlagDoubleStep)) return false;
  }
  if (S::PawnAttacks(pos) & Bit(checker)) {
    if (FileOf(checker) != 0 && (pawns & Bit(S::LeftCapturer(checker))) &&
        TryLegal(pos, S::LeftCapturer(checker), checker, pawnFlags(checker)))
      return false;
    if (FileOf(checker) != 7 && (pawns & Bit(S::RightCapturer(checker))) &&
        TryLegal(pos, S::RightCapturer(checker), checker, pawnFlags(checker)))
      return false;
  }
  if (pos.epFile >= 0 && pos.epFile <= 7 && checker == MakeSquare(pos.epFile, S::EnPassantRank)) {
    const int to = checker + S::Forward;
    if (pos.epFile > 0 && pos.board[checker - 1] == S::Pawn && TryLegal(pos, checker - 1, to, FlagEnPassant))
      return false;
    if (pos.epFile < 7 && pos.board[checker + 1] == S::Pawn && TryLegal(pos, checker + 1, to, FlagEnPassant))
      return false;
  }
  for (Bitboard set = S::Knights(pos) | S::Bishops(pos) | S::Rooks(pos) | S::Queens(pos); set;) {
    int from = PopLowest(set);
    for (Bitboard to = pos.attacksFrom[from] & targets; to;)
      if (TryLegal(pos, from, PopLowest(to), 0)) return false;
  }
  return true;
}

template <int Us>
bool MateInOne(Position& pos, Position& trial) {
  using S = Colour<Us>;
  using T = Colour<S::Them>;
  ComputeAttacks<Us>(pos);
  const int e = T::KingSquare(pos);
  const Bitboard empty = ~pos.occupied;
  auto tries = [&](Bitboard pieces, Bitboard checkSquares) {
    for (Bitboard set = pieces; set;) {
      int from = PopLowest(set);
      for (Bitboard to = pos.attacksFrom[from] & checkSquares & empty; to;) {
        Move move{0, static_cast<int8_t>(from), static_cast<int8_t>(PopLowest(to)), 0, 0};
        if (MoveMates(pos, trial, move)) return true;
      }
    }
    return false;
  };
  const Bitboard straight = RookAttacks(pos, e), diagonal = BishopAttacks(pos, e);
  if (tries(S::Queens(pos), straight | diagonal)) return true;
  if (tries(S::Rooks(pos), straight)) return true;
  if (tries(S::Bishops(pos), diagonal)) return true;
  if (tries(S::Knights(pos), knightAttacks[e])) return true;

  auto push = [&](int from) {
    Move move{0, static_cast<int8_t>(from), static_cast<int8_t>(from + S::Forward), 0, 0};
    return MoveMates(pos, trial, move);
  };
  // Pawns never push onto the last rank here: squares attacking the king lie below it.
  for (Bitboard to = S::PawnsAttackingFrom(e) & empty; to;) {
    int square = PopLowest(to);
    int from = square - S::Forward;
    if (from >= 0 && from < 64 && pos.board[from] == S::Pawn && push(from)) return true;
  }

  Bitboard line[64];
  for (Bitboard set = FindDiscoveredCheckers<Us>(pos, line); set;) {
    int from = PopLowest(set);
    if (pos.board[from] == S::Pawn) {
      int to = from + S::Forward;
      // A push onto the last rank would be a promotion, which this test leaves out.
      if ((empty & Bit(to)) && !(Bit(to) & S::LastRank) && push(from)) return true;
      continue;
    }
    for (Bitboard to = pos.attacksFrom[from] & empty & ~line[from]; to;) {
      Move move{0, static_cast<int8_t>(from), static_cast<int8_t>(PopLowest(to)), 0, 0};
      if (MoveMates(pos, trial, move)) return true;
    }
  }
  return false;
}

}  // namespace

void GenerateCaptures(Position& pos) {
  pos.cacheFlags &= static_cast<uint16_t>(~(CacheMoveList | CacheOrdered));
  if (pos.sideToMove == White) Captures<White>(pos);
  else Captures<Black>(pos);
}

bool IsMated(Position& pos) { return pos.sideToMove == White ? Mated<White>(pos) : Mated<Black>(pos); }

bool HasMateInOne(Position& pos, Position& trial) {
  return pos.sideToMove == White ? MateInOne<White>(pos, trial) : MateInOne<Black>(pos, trial);
}

bool MoveMates(Position& pos, Position& trial, const Move& move) {
  CopyPlayState(trial, pos);
  MakeMoveLight(trial, move);
  // Both attack tests below may take over the sliders' sets that pos already holds.
  trial.attackSource = &pos;
  if (!MoverKingSafe(trial)) return false;
  return IsMated(trial);
}

bool MoveIsLegal(const Position& pos, const Move& move, Position& trial) {
  CopyPlayState(trial, pos);
  MakeMoveLight(trial, move);
  const int mover = pos.sideToMove;
  return !SquareAttackedBy(trial, KingSquare(trial, mover), mover ^ 1);
}
