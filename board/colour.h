#pragma once
// Side-dependent sets and constants, so that one template over the colour serves both
// sides and the colour tests fold away at compile time.

#include "board/position.h"
#include "board/tables.h"

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
  static constexpr Bitboard SecondRank = Us == White ? Rank2 : Rank7;
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
  // The squares one step back, towards this side's own first rank.
  static constexpr Bitboard Behind(Bitboard set) { return Us == White ? set >> 8 : set << 8; }
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
