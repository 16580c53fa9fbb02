#pragma once
// Pieces shared by the generators, the exchange evaluation and the mate tests; private to
// board/. Everything is templated on the side so that the colour tests fold away.

#include "board/colour.h"
#include "board/movegen.h"
#include "board/tables.h"

namespace movegen_detail {

// Entries 1..255 of the move list; no position the FEN reader accepts comes near it, but a
// set-up with many promoted queens could, and the list must never be overrun.
constexpr int MaxMoves = 255;

inline void AddMove(Position& pos, int from, int to, int flags, int32_t score = 0) {
  if (pos.moveCount >= MaxMoves) return;
  Move& move = pos.moveList[++pos.moveCount];
  move.score = score;
  move.from = static_cast<int8_t>(from);
  move.to = static_cast<int8_t>(to);
  move.flags = static_cast<int8_t>(flags);
  move.spare = 0;
}

template <int Us>
Bitboard ComputeAttacks(Position& pos);

// The men of the side not to move that attack the king of the side to move.
template <int Us>
inline Bitboard Checkers(const Position& pos) {
  using S = Colour<Us>;
  using T = Colour<S::Them>;
  const int k = S::KingSquare(pos);
  return (T::PawnsAttackingFrom(k) & T::Pawns(pos)) |
         (knightAttacks[k] & T::Knights(pos)) | (BishopAttacks(pos, k) & (T::Bishops(pos) | T::Queens(pos))) |
         (RookAttacks(pos, k) & (T::Rooks(pos) | T::Queens(pos))) | (kingAttacks[k] & Bit(T::KingSquare(pos)));
}

// Men of `Us` pinned against their own king; lines[s] for a pinned man on s is the pinner's
// square plus the squares between, the only places the man may go.
template <int Us>
inline Bitboard FindPins(const Position& pos, Bitboard* lines) {
  using S = Colour<Us>;
  using T = Colour<S::Them>;
  return MenOnLinesTo(pos, S::KingSquare(pos), T::Bishops(pos) | T::Queens(pos),
                      T::Rooks(pos) | T::Queens(pos), S::Men(pos), lines);
}

// Men of `Us` standing alone between one of Us's sliders and the enemy king; a candidate
// gives check when it leaves the line, that is when it goes outside lines[s].
template <int Us>
inline Bitboard FindDiscoveredCheckers(const Position& pos, Bitboard* lines) {
  using S = Colour<Us>;
  using T = Colour<S::Them>;
  return MenOnLinesTo(pos, T::KingSquare(pos), S::Bishops(pos) | S::Queens(pos),
                      S::Rooks(pos) | S::Queens(pos), S::Men(pos), lines);
}

// The least valuable man of `side` that attacks the state's target through the state's
// occupancy (pawn, knight, bishop, rook, queen, king; lowest square within a kind), or -1.
template <int Us>
inline int LeastValuableAttacker(const ExchangeState& state) {
  using S = Colour<Us>;
  const Position& pos = *state.pos;
  const int t = state.target;
  const Bitboard live = state.occupied;
  Bitboard set = S::PawnsAttackingFrom(t) & S::Pawns(pos) & live;
  if (set) return LowestSquare(set);
  set = knightAttacks[t] & S::Knights(pos) & live;
  if (set) return LowestSquare(set);
  const Bitboard diagonal = BishopAttacksFrom(t, state.occupiedDiagA, state.occupiedDiagB);
  set = diagonal & S::Bishops(pos) & live;
  if (set) return LowestSquare(set);
  const Bitboard straight = RookAttacksFrom(t, state.occupied, state.occupiedRot90);
  set = straight & S::Rooks(pos) & live;
  if (set) return LowestSquare(set);
  set = (diagonal | straight) & S::Queens(pos) & live;
  if (set) return LowestSquare(set);
  set = kingAttacks[t] & Bit(S::KingSquare(pos)) & live;
  if (set) return LowestSquare(set);
  return -1;
}

inline void RemoveFromExchange(ExchangeState& state, int square) {
  state.occupied &= ~squareBit[square];
  state.occupiedRot90 &= ~squareBitRot90[square];
  state.occupiedDiagA &= ~squareBitDiagA[square];
  state.occupiedDiagB &= ~squareBitDiagB[square];
}

template <int Us>
int32_t SeeGainFor(ExchangeState& state, int32_t victimValue);

}  // namespace movegen_detail
