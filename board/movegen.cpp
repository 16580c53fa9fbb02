// The search's generator: exactly the legal moves, each with its ordering score.

#include <initializer_list>

#include "board/movegen_internal.h"

using namespace movegen_detail;

namespace {

constexpr int32_t EnPassantScore = 10000;
constexpr int32_t CastlingScore = 1000;

template <int Us>
class ScoredGenerator {
  using S = Colour<Us>;
  using T = Colour<S::Them>;

 public:
  explicit ScoredGenerator(Position& pos) : pos_(pos) {}

  void Run() {
    pos_.moveCount = 0;
    ownAttacks_ = ComputeAttacks<Us>(pos_);
    enemyAttacks_ = pos_.enemyAttacks = ComputeAttacks<S::Them>(pos_);
    king_ = S::KingSquare(pos_);
    own_ = S::Men(pos_);
    enemyMen_ = T::Men(pos_) & ~Bit(T::KingSquare(pos_));
    empty_ = ~pos_.occupied;
    kingTargets_ = pos_.attacksFrom[king_] & ~own_ & ~enemyAttacks_ & ~Bit(T::KingSquare(pos_));
    if (enemyAttacks_ & Bit(king_)) {
      InCheck();
    } else {
      NotInCheck();
    }
  }

 private:
  bool Attacked(int square) const { return (enemyAttacks_ & Bit(square)) != 0; }
  bool Free(int square) const { return !(S::PassedMask(square) & T::Pawns(pos_)); }
  int32_t Popularity(int code, int from, int to) const { return movePopularity[code][from * 64 + to]; }

  void Promotions(int from, int to) {
    const int32_t victim = exchangeValue[pos_.board[to]];
    const bool attacked = Attacked(to);
    static constexpr int order[4] = {FlagPromoteQueen, FlagPromoteRook, FlagPromoteBishop, FlagPromoteKnight};
    for (int flags : order) {
      int promoted = (flags & 3) + S::Knight;
      int32_t score = exchangeValue[promoted] - 100 + victim - (attacked ? exchangeValueHalf[promoted] : 0);
      AddMove(pos_, from, to, flags, score);
    }
  }

  int32_t PawnScore(int from, int to) const {
    return Popularity(S::Pawn, from, to) + exchangeValue[pos_.board[to]] + (Free(to) ? S::PushBonus(to) : 0);
  }

  void PawnMove(int from, int to, int flags) {
    if (Bit(to) & S::LastRank) Promotions(from, to);
    else AddMove(pos_, from, to, flags, PawnScore(from, to));
  }

  bool MayGo(int from, int to) const { return !(pinned_ & Bit(from)) || (pinLines_[from] & Bit(to)); }

  void EnPassant(bool checkedByPawn) {
    const int file = pos_.epFile;
    if (file < 0 || file > 7) return;
    const int victim = MakeSquare(file, S::EnPassantRank);
    // Only the pawn that has just made the double step can be taken; when it is not the
    // checker, taking it cannot answer a check.
    if (checkedByPawn && !(checkers_ & Bit(victim))) return;
    if (file > 0) EnPassantFrom(victim - 1, victim);
    if (file < 7) EnPassantFrom(victim + 1, victim);
  }

  void EnPassantFrom(int from, int victim) {
    const int to = victim + S::Forward;
    if (pos_.board[from] != S::Pawn || !MayGo(from, to)) return;
    if (EnPassantExposesKing(from, victim, to)) return;
    AddMove(pos_, from, to, FlagEnPassant, EnPassantScore);
  }
  // Two men leave their squares at once, which the pin test cannot see: both pawns may have
  // shielded the king on the rank, and the captured pawn alone may have shielded it on a
  // diagonal (a set-up position can have that, a game cannot). So look at the enemy sliders
  // from the king with the occupancy after the capture.
  bool EnPassantExposesKing(int from, int victim, int to) const {
    Bitboard occupied = pos_.occupied, rot90 = pos_.occupiedRot90;
    Bitboard diagA = pos_.occupiedDiagA, diagB = pos_.occupiedDiagB;
    for (int square : {from, victim, to}) {
      occupied ^= squareBit[square];
      rot90 ^= squareBitRot90[square];
      diagA ^= squareBitDiagA[square];
      diagB ^= squareBitDiagB[square];
    }
    const Bitboard straight = T::Rooks(pos_) | T::Queens(pos_);
    const Bitboard diagonal = T::Bishops(pos_) | T::Queens(pos_);
    return (RookAttacksFrom(king_, occupied, rot90) & straight) ||
           (BishopAttacksFrom(king_, diagA, diagB) & diagonal);
  }

  void Castling() {
    const int k = S::KingHome;
    if ((pos_.castling & S::QueenSideRight) && !(pos_.occupied & (Bit(k - 1) | Bit(k - 2) | Bit(k - 3))) &&
        !(enemyAttacks_ & (Bit(k) | Bit(k - 1) | Bit(k - 2))))
      AddMove(pos_, k, k - 2, FlagCastle, CastlingScore);
    if ((pos_.castling & S::KingSideRight) && !(pos_.occupied & (Bit(k + 1) | Bit(k + 2))) &&
        !(enemyAttacks_ & (Bit(k) | Bit(k + 1) | Bit(k + 2))))
      AddMove(pos_, k, k + 2, FlagCastle, CastlingScore);
  }

  // Pawn captures onto `targets`, by destination, the capturer on the lower file first.
  void PawnCaptures(Bitboard targets, Bitboard movable) {
    targets &= S::PawnAttacks(pos_);
    const Bitboard pawns = S::Pawns(pos_) & movable;
    while (targets) {
      int to = PopLowest(targets);
      if (FileOf(to) != 0) {
        int from = S::LeftCapturer(to);
        if ((pawns & Bit(from)) && MayGo(from, to)) PawnMove(from, to, 0);
      }
      if (FileOf(to) != 7) {
        int from = S::RightCapturer(to);
        if ((pawns & Bit(from)) && MayGo(from, to)) PawnMove(from, to, 0);
      }
    }
  }


  void PawnPushes() {
    Bitboard origins = S::Pawns(pos_) & S::Behind(empty_);
    while (origins) {
      int from = PopLowest(origins);
      int to = from + S::Forward;
      if (!MayGo(from, to)) continue;
      PawnMove(from, to, 0);
      int two = to + S::Forward;
      if ((Bit(from) & S::SecondRank) && (empty_ & Bit(two))) AddMove(pos_, from, two, FlagDoubleStep, PawnScore(from, two));
    }
  }

  void KingMoves() {
    for (Bitboard set = kingTargets_; set;) {
      int to = PopLowest(set);
      AddMove(pos_, king_, to, 0, Popularity(S::King, king_, to) + exchangeValue[pos_.board[to]]);
    }
  }

  // Bonus for moving a man away from where the enemy would win material by taking it.
  int32_t EscapeBonus(int from, int code) const {
    if (!Attacked(from)) return 0;
    ExchangeState state = MakeExchangeState(pos_, from);
    int attacker = LeastValuableAttacker<S::Them>(state);
    if (attacker < 0) return 0;
    RemoveFromExchange(state, from);
    RemoveFromExchange(state, attacker);
    int32_t loss = exchangeValue[code] - SeeGainFor<Us>(state, exchangeValue[pos_.board[attacker]]);
    return loss >= 1 ? loss / 4 : 0;
  }

  void PieceMoves(int from, int32_t bonus, Bitboard destinations) {
    const int code = pos_.board[from];
    Bitboard defended = destinations & enemyMen_ & enemyAttacks_;
    for (Bitboard set = defended; set;) {
      int to = PopLowest(set);
      ExchangeState state = MakeExchangeState(pos_, to);
      RemoveFromExchange(state, from);
      int32_t loss = SeeGainFor<S::Them>(state, exchangeValue[code]);
      AddMove(pos_, from, to, 0, bonus + exchangeValue[pos_.board[to]] + Popularity(code, from, to) - loss);
    }
    for (Bitboard set = destinations & ~defended; set;) {
      int to = PopLowest(set);
      AddMove(pos_, from, to, 0, bonus + exchangeValue[pos_.board[to]] + Popularity(code, from, to));
    }
  }

  Bitboard Destinations(int from, Bitboard targets) const {
    const Bitboard destinations = pos_.attacksFrom[from] & targets;
    return pinned_ & Bit(from) ? destinations & pinLines_[from] : destinations;
  }

  // Threatened and undefended men first, then the others, each pass by square. A man with
  // nowhere to go (pinned, or not reaching the check line) skips its exchange test.
  void Pieces(Bitboard pieces, Bitboard targets) {
    const Bitboard threatened = pieces & enemyAttacks_ & ~ownAttacks_;
    for (Bitboard set = threatened; set;) {
      int from = PopLowest(set);
      if (const Bitboard destinations = Destinations(from, targets))
        PieceMoves(from, exchangeValueQuarter[pos_.board[from]], destinations);
    }
    for (Bitboard set = pieces & ~threatened; set;) {
      int from = PopLowest(set);
      if (const Bitboard destinations = Destinations(from, targets))
        PieceMoves(from, EscapeBonus(from, pos_.board[from]), destinations);
    }
  }

  Bitboard PieceSquares() const {
    return S::Knights(pos_) | S::Bishops(pos_) | S::Rooks(pos_) | S::Queens(pos_);
  }

  void NotInCheck() {
    pinned_ = FindPins<Us>(pos_, pinLines_);
    EnPassant(false);
    Castling();
    PawnCaptures(enemyMen_, ~Bitboard{0});
    PawnPushes();
    KingMoves();
    Pieces(PieceSquares(), ~own_ & ~Bit(T::KingSquare(pos_)));
  }

  void InCheck() {
    checkers_ = Checkers<Us>(pos_);
    if (checkers_ == 0) return;  // the union said check; the two never disagree
    const int first = LowestSquare(checkers_);
    const bool firstSlides = IsSliderCode(pos_.board[first]);
    if (firstSlides) kingTargets_ &= kingEscape[king_][first];
    const Bitboard others = checkers_ & (checkers_ - 1);
    if (others) {
      const int second = LowestSquare(others);
      if (IsSliderCode(pos_.board[second])) kingTargets_ &= kingEscape[king_][second];
      KingMoves();
      return;
    }
    // A pinned man cannot also answer the check (en passant tests its pin line itself).
    pinned_ = FindPins<Us>(pos_, pinLines_);
    const Bitboard free = ~pinned_;
    if (!firstSlides) EnPassant(true);
    Bitboard targets = Bit(first);
    if (firstSlides) {
      const Bitboard between = lineFrom[first][king_] ^ Bit(first);
      targets = lineFrom[first][king_];
      const Bitboard pawns = S::Pawns(pos_) & free;
      for (Bitboard set = pawns & S::Behind(between); set;) {
        int from = PopLowest(set);
        PawnMove(from, from + S::Forward, 0);
      }
      for (Bitboard set = pawns & S::SecondRank & S::Behind(empty_) & S::Behind(S::Behind(between)); set;) {
        int from = PopLowest(set);
        int to = from + 2 * S::Forward;
        AddMove(pos_, from, to, FlagDoubleStep, PawnScore(from, to));
      }
    }
    PawnCaptures(Bit(first), free);
    KingMoves();
    Pieces(PieceSquares() & free, targets);
  }

  Position& pos_;
  Bitboard ownAttacks_ = 0, enemyAttacks_ = 0;
  Bitboard own_ = 0, enemyMen_ = 0, empty_ = 0, kingTargets_ = 0;
  Bitboard checkers_ = 0;
  Bitboard pinned_ = 0;
  Bitboard pinLines_[64];
  int king_ = 0;
};

}  // namespace

void GenerateMoves(Position& pos) {
  if (pos.cacheFlags & CacheMoveList) return;
  pos.cacheFlags |= CacheMoveList;
  if (pos.sideToMove == White) ScoredGenerator<White>(pos).Run();
  else ScoredGenerator<Black>(pos).Run();
}

