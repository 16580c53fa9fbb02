// The per-colour attack caches and the static exchange evaluation.

#include "board/movegen_internal.h"

namespace movegen_detail {

// A slider keeps the attack set it has in the source position when the same man stands on
// the same square there and no square whose occupancy differs lies in that set: along each
// line, the squares up to the first blocker are all in the set, so the blocker is the same.
template <int Us>
Bitboard ComputeAttacks(Position& pos) {
  using S = Colour<Us>;
  constexpr uint16_t valid = Us == White ? CacheWhiteAttacks : CacheBlackAttacks;
  Bitboard& attacks = Us == White ? pos.whiteAttacks : pos.blackAttacks;
  if (pos.cacheFlags & valid) return attacks;

  const Position* source = pos.attackSource;
  const bool fromSource = source && (source->cacheFlags & valid);
  const Bitboard changed = fromSource ? source->occupied ^ pos.occupied : 0;
  auto kept = [&](int s) {
    return fromSource && source->board[s] == pos.board[s] && !(source->attacksFrom[s] & changed);
  };

  const int k = S::KingSquare(pos);
  Bitboard all = pos.attacksFrom[k] = kingAttacks[k];
  for (Bitboard set = S::Queens(pos); set;) {
    int s = PopLowest(set);
    all |= pos.attacksFrom[s] = kept(s) ? source->attacksFrom[s] : QueenAttacks(pos, s);
  }
  for (Bitboard set = S::Rooks(pos); set;) {
    int s = PopLowest(set);
    all |= pos.attacksFrom[s] = kept(s) ? source->attacksFrom[s] : RookAttacks(pos, s);
  }
  for (Bitboard set = S::Bishops(pos); set;) {
    int s = PopLowest(set);
    all |= pos.attacksFrom[s] = kept(s) ? source->attacksFrom[s] : BishopAttacks(pos, s);
  }
  for (Bitboard set = S::Knights(pos); set;) {
    int s = PopLowest(set);
    all |= pos.attacksFrom[s] = knightAttacks[s];
  }
  const Bitboard pawns = S::Pawns(pos);
  Bitboard pawnAttacks;
  if constexpr (Us == White) {
    pawnAttacks = pos.whitePawnAttacks = ((pawns & ~FileH) << 9) | ((pawns & ~FileA) << 7);
  } else {
    pawnAttacks = pos.blackPawnAttacks = ((pawns & ~FileH) >> 7) | ((pawns & ~FileA) >> 9);
  }
  pos.cacheFlags |= valid;
  return attacks = all | pawnAttacks;
}

template Bitboard ComputeAttacks<White>(Position&);
template Bitboard ComputeAttacks<Black>(Position&);

// The recursion max(0, V - gain of the reply) unrolled: collect the values of the men
// captured in turn, then fold them back from the last capture.
template <int Us>
int32_t SeeGainFor(ExchangeState& state, int32_t victimValue) {
  int32_t victims[34];
  int count = 0;
  int32_t value = victimValue;
  int side = Us;
  for (;;) {
    int attacker = side == White ? LeastValuableAttacker<White>(state) : LeastValuableAttacker<Black>(state);
    if (attacker < 0) break;
    victims[count++] = value;
    RemoveFromExchange(state, attacker);
    value = exchangeValue[state.pos->board[attacker]];
    side ^= 1;
  }
  int32_t gain = 0;
  while (count > 0) {
    gain = victims[--count] - gain;
    if (gain < 0) gain = 0;
  }
  return gain;
}

template int32_t SeeGainFor<White>(ExchangeState&, int32_t);
template int32_t SeeGainFor<Black>(ExchangeState&, int32_t);

}  // namespace movegen_detail

using namespace movegen_detail;

Bitboard ComputeWhiteAttacks(Position& pos) { return ComputeAttacks<White>(pos); }
Bitboard ComputeBlackAttacks(Position& pos) { return ComputeAttacks<Black>(pos); }

ExchangeState MakeExchangeState(const Position& pos, int target) {
  return ExchangeState{pos.occupied, pos.occupiedRot90, pos.occupiedDiagA, pos.occupiedDiagB, target, &pos};
}

int32_t SeeGain(ExchangeState& state, int32_t victimValue, int side) {
  return side == White ? SeeGainFor<White>(state, victimValue) : SeeGainFor<Black>(state, victimValue);
}

namespace {

template <int Us>
void Penalise(Position& pos, int count, const int* indices, int32_t* scores) {
  for (int i = count; i >= 1; --i) {
    const Move& move = pos.moveList[indices[i]];
    if (move.flags != 0 || !(pos.enemyAttacks & squareBit[move.to])) continue;
    ExchangeState state = MakeExchangeState(pos, move.to);
    RemoveFromExchange(state, move.from);
    int attacker = LeastValuableAttacker<Us ^ 1>(state);
    if (attacker < 0) continue;
    RemoveFromExchange(state, attacker);
    int32_t gain = SeeGainFor<Us>(state, exchangeValue[pos.board[attacker]]);
    int32_t loss = exchangeValue[pos.board[move.from]] - gain;
    if (loss >= 1) scores[indices[i]] -= loss;
  }
}

}  // namespace

void QuietMovePenalty(Position& pos, int count, const int* indices, int32_t* scores) {
  if (pos.sideToMove == White) Penalise<White>(pos, count, indices, scores);
  else Penalise<Black>(pos, count, indices, scores);
}
