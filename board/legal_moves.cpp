// The unscored generator for callers outside the search. The opening book stores moves as
// indices into this list, so the order below is a file format: change nothing in it.

#include "board/movegen_internal.h"

using namespace movegen_detail;

namespace {

template <int Us>
class LegalGenerator {
  using S = Colour<Us>;
  using T = Colour<S::Them>;

 public:
  explicit LegalGenerator(Position& pos) : pos_(pos) {}

  void Run() {
    pos_.moveCount = 0;
    ComputeAttacks<Us>(pos_);
    enemyAttacks_ = pos_.enemyAttacks = ComputeAttacks<S::Them>(pos_);
    king_ = S::KingSquare(pos_);
    allowed_ = ~(S::Men(pos_) | Bit(T::KingSquare(pos_)));
    empty_ = ~pos_.occupied;
    kingTargets_ = pos_.attacksFrom[king_] & allowed_ & ~enemyAttacks_;
    if (enemyAttacks_ & Bit(king_)) InCheck();
    else NotInCheck();
  }

 private:

  void PawnMove(int from, int to) {
    if (Bit(to) & S::LastRank) {
      AddMove(pos_, from, to, FlagPromoteQueen);
      AddMove(pos_, from, to, FlagPromoteRook);
      AddMove(pos_, from, to, FlagPromoteBishop);
      AddMove(pos_, from, to, FlagPromoteKnight);
    } else {
      AddMove(pos_, from, to, 0);
    }
  }

  void Castling() {
    const int k = S::KingHome;
    if ((pos_.castling & S::QueenSideRight) && !(pos_.occupied & (Bit(k - 1) | Bit(k - 2) | Bit(k - 3))) &&
        !(enemyAttacks_ & (Bit(k) | Bit(k - 1) | Bit(k - 2))))
      AddMove(pos_, k, k - 2, FlagCastle);
    if ((pos_.castling & S::KingSideRight) && !(pos_.occupied & (Bit(k + 1) | Bit(k + 2))) &&
        !(enemyAttacks_ & (Bit(k) | Bit(k + 1) | Bit(k + 2))))
      AddMove(pos_, k, k + 2, FlagCastle);
  }

  void PawnCaptures(Bitboard targets) {
    targets &= S::PawnAttacks(pos_);
    const Bitboard pawns = S::Pawns(pos_);
    while (targets) {
      int to = PopLowest(targets);
      if (FileOf(to) != 0 && (pawns & Bit(S::LeftCapturer(to)))) PawnMove(S::LeftCapturer(to), to);
      if (FileOf(to) != 7 && (pawns & Bit(S::RightCapturer(to)))) PawnMove(S::RightCapturer(to), to);
    }
  }

  void PawnPushes() {
    for (Bitboard set = S::Pawns(pos_) & S::Behind(empty_); set;) {
      int from = PopLowest(set);
      int to = from + S::Forward;
      PawnMove(from, to);
      if ((Bit(from) & S::SecondRank) && (empty_ & Bit(to + S::Forward)))
        AddMove(pos_, from, to + S::Forward, FlagDoubleStep);
    }
  }

  void KingMoves() {
    for (Bitboard set = kingTargets_; set;) AddMove(pos_, king_, PopLowest(set), 0);
  }

  void Pieces(Bitboard targets) {
    for (Bitboard set = S::Knights(pos_) | S::Bishops(pos_) | S::Rooks(pos_) | S::Queens(pos_); set;) {
      int from = PopLowest(set);
      for (Bitboard to = pos_.attacksFrom[from] & targets; to;) AddMove(pos_, from, PopLowest(to), 0);
    }
  }

  void EnPassant() {
    const int file = pos_.epFile;
    if (file < 0 || file > 7) return;
    const int victim = MakeSquare(file, S::EnPassantRank);
    const int to = victim + S::Forward;
    if (file > 0 && pos_.board[victim - 1] == S::Pawn) AddMove(pos_, victim - 1, to, FlagEnPassant);
    if (file < 7 && pos_.board[victim + 1] == S::Pawn) AddMove(pos_, victim + 1, to, FlagEnPassant);
  }

  void NotInCheck() {
    Castling();
    PawnCaptures(T::Men(pos_) & allowed_);
    PawnPushes();
    KingMoves();
    Pieces(allowed_);
    EnPassant();
  }

  void InCheck() {
    const Bitboard checkers = Checkers<Us>(pos_);
    if (checkers == 0) return;  // the union said check; the two never disagree
    const int first = LowestSquare(checkers);
    const bool firstSlides = IsSliderCode(pos_.board[first]);
    if (firstSlides) kingTargets_ &= kingEscape[king_][first];
    const Bitboard others = checkers & (checkers - 1);
    if (others) {
      const int second = LowestSquare(others);
      if (IsSliderCode(pos_.board[second])) kingTargets_ &= kingEscape[king_][second];
      KingMoves();
      return;
    }
    Bitboard targets = Bit(first);
    if (firstSlides) {
      const Bitboard between = lineFrom[first][king_] ^ Bit(first);
      targets = lineFrom[first][king_];
      const Bitboard pawns = S::Pawns(pos_);
      for (Bitboard set = pawns & S::Behind(between); set;) {
        int from = PopLowest(set);
        PawnMove(from, from + S::Forward);
      }
      for (Bitboard set = pawns & S::SecondRank & S::Behind(empty_) & S::Behind(S::Behind(between)); set;) {
        int from = PopLowest(set);
        AddMove(pos_, from, from + 2 * S::Forward, FlagDoubleStep);
      }
    }
    PawnCaptures(Bit(first));
    KingMoves();
    Pieces(targets);
    EnPassant();
  }

  Position& pos_;
  Bitboard enemyAttacks_ = 0, allowed_ = 0, empty_ = 0, kingTargets_ = 0;
  int king_ = 0;
};

}  // namespace

void GenerateLegalMoves(Position& pos) {
  // The list about to be written is no longer the search's scored list.
  pos.cacheFlags &= static_cast<uint16_t>(~(CacheMoveList | CacheOrdered));
  if (pos.sideToMove == White) LegalGenerator<White>(pos).Run();
  else LegalGenerator<Black>(pos).Run();
}
