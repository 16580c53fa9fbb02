#pragma once
// Pieces shared by the generators, the exchange evaluation and the mate tests; private to
// board/. Everything is templated on the side so that the colour tests fold away.

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

// Side-dependent sets and constants, so that one template serves both colours.
template <int Us>
struct Colour {
  static constexpr int Them = Us ^ 1;
  static constexpr int Forward = Us == White ? 8 : -8;
  static constexpr int Pawn = Us == White ? WhitePawn : BlackPawn;
  static constexpr int Knight = Us == White ? WhiteKnight : BlackKnight;
  static constexpr int Bishop = Us == White ? WhiteBishop : BlackBishop;
  static constexpr int Rook = Us == White ? WhiteRook : BlackRook;
  static constexpr int Queen = Us == White ? WhiteQueen : BlackQueen;
  static constexpr int King = Us == White ? WhiteKing : BlackKing;
  static constexpr Bitboard LastRank = Us == White ? Rank8 : Rank1;
  // Rank of the pawns' starting squares, the one a double step starts from.
  static constexpr Bitboard SecondRank = Us == White ? 0xFF00ull : 0x00FF000000000000ull;
  // Rank on which a pawn stands when it can capture en passant.
  static constexpr int EnPassantRank = Us == White ? 4 : 3;
  static constexpr int QueenSideRight = Us == White ? CastleWhiteQueen : CastleBlackQueen;
  static constexpr int KingSideRight = Us == White ? CastleWhiteKing : CastleBlackKing;
  static constexpr int KingHome = Us == White ? 4 : 60;

  static Bitboard Pawns(const Position& p) { return Us == White ? p.whitePawns : p.blackPawns; }
  static Bitboard Knights(const Position& p) { return Us == White ? p.whiteKnights : p.blackKnights; }
  static Bitboard Bishops(const Position& p) { return Us == White ? p.whiteBishops : p.blackBishops; }
  static Bitboard Rooks(const Position& p) { return Us == White ? p.whiteRooks : p.blackRooks; }
  static Bitboard Queens(const Position& p) { return Us == White ? p.whiteQueens : p.blackQueens; }
  static Bitboard Men(const Position& p) { return Us == White ? p.whitePieces : p.blackPieces; }
  static int KingSquare(const Position& p) { return Us == White ? p.whiteKing : p.blackKing; }
  static Bitboard Attacks(const Position& p) { return Us == White ? p.whiteAttacks : p.blackAttacks; }
  static Bitboard PawnAttacks(const Position& p) { return Us == White ? p.whitePawnAttacks : p.blackPawnAttacks; }
  // Squares from which a pawn of this side attacks `square`.
  static Bitboard PawnsAttackingFrom(int square) {
    return Us == White ? blackPawnCaptures[square] : whitePawnCaptures[square];
  }
  static Bitboard PassedMask(int square) { return Us == White ? whitePassedMask[square] : blackPassedMask[square]; }
  static int32_t PushBonus(int square) {
    return Us == White ? pushBonusWhite[RankOf(square)] : pushBonusBlack[RankOf(square)];
  }
  // The pawns capturing onto `to` from the lower and the higher file (0 when off the board).
  static int LeftCapturer(int to) { return Us == White ? to - 9 : to + 7; }
  static int RightCapturer(int to) { return Us == White ? to - 7 : to + 9; }
};

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
  const int k = S::KingSquare(pos);
  Bitboard pinned = 0;
  Bitboard sliders = (bishopRays[k] & (T::Bishops(pos) | T::Queens(pos)));
  for (int pass = 0; pass < 2; ++pass) {
    while (sliders) {
      int s = PopLowest(sliders);
      Bitboard blockers = (lineFrom[s][k] ^ Bit(s)) & pos.occupied;
      if (blockers && !(blockers & (blockers - 1)) && (blockers & S::Men(pos))) {
        pinned |= blockers;
        lines[LowestSquare(blockers)] = lineFrom[s][k];
      }
    }
    sliders = rookRays[k] & (T::Rooks(pos) | T::Queens(pos));
  }
  return pinned;
}

// Men of `Us` standing alone between one of Us's sliders and the enemy king; a candidate
// gives check when it leaves the line, and lines[s] holds the squares off that line.
template <int Us>
inline Bitboard FindDiscoveredCheckers(const Position& pos, Bitboard* lines) {
  using S = Colour<Us>;
  using T = Colour<S::Them>;
  const int e = T::KingSquare(pos);
  Bitboard candidates = 0;
  Bitboard sliders = bishopRays[e] & (S::Bishops(pos) | S::Queens(pos));
  for (int pass = 0; pass < 2; ++pass) {
    while (sliders) {
      int s = PopLowest(sliders);
      Bitboard blockers = (lineFrom[s][e] ^ Bit(s)) & pos.occupied;
      if (blockers && !(blockers & (blockers - 1)) && (blockers & S::Men(pos))) {
        candidates |= blockers;
        lines[LowestSquare(blockers)] = ~lineFrom[s][e];
      }
    }
    sliders = rookRays[e] & (S::Rooks(pos) | S::Queens(pos));
  }
  return candidates;
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
