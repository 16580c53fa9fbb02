#pragma once
// Private to the evaluation: the material values the rules test, and what a term needs,
// beyond the board's colour traits, to be written once for both colours. Scores stay
// white-positive throughout: a term works out its value from Us's side of the board and
// adds it with Sign.

#include "board/colour.h"
#include "board/tables.h"

// Material as whiteMaterial counts it. A knight is worth more the nearer it stands to the
// centre, most on d4, so "at most one knight" is a bound of MaxKnightValue.
constexpr int32_t PawnValue = pieceValue[WhitePawn];
constexpr int32_t BishopValue = pieceValue[WhiteBishop];
constexpr int32_t RookValue = pieceValue[WhiteRook];
constexpr int32_t QueenValue = pieceValue[WhiteQueen];
constexpr int32_t MaxKnightValue = knightSquareValue[D4];

// Bits of bishopColours: the square colours each side's bishops stand on (a1 is dark).
constexpr int WhiteLight = 1, WhiteDark = 2, BlackLight = 4, BlackDark = 8;

template <int Us>
struct EvalColour : Colour<Us> {
  static constexpr int Sign = Us == White ? 1 : -1;
  static constexpr int LightBishop = Us == White ? WhiteLight : BlackLight;
  static constexpr int DarkBishop = Us == White ? WhiteDark : BlackDark;
  static constexpr int BishopBits = LightBishop | DarkBishop;

  // Signature bits of this side's pieces (pawns left out).
  static constexpr uint16_t SigRook = Us == White ? SigWhiteRook : SigBlackRook;
  static constexpr uint16_t SigQueen = Us == White ? SigWhiteQueen : SigBlackQueen;
  static constexpr uint16_t SigMinorsAndRooks =
      Us == White ? SigWhiteKnight | SigWhiteBishop | SigWhiteRook : SigBlackKnight | SigBlackBishop | SigBlackRook;
  static constexpr uint16_t SigOwnPieces = SigMinorsAndRooks | SigQueen;

  // A queen and at least one more piece: enough to attack a king, so king safety counts.
  static constexpr bool HasAttack(uint16_t signature) {
    return (signature & SigQueen) && (signature & SigMinorsAndRooks);
  }

  // Squares, ranks and sets named from white's side of the board, seen from Us's.
  static constexpr int RelativeSquare(int square) { return Us == White ? square : MirrorSquare(square); }
  static constexpr int RelativeRank(int square) { return RankOf(RelativeSquare(square)); }
  static constexpr Bitboard RelativeSet(Bitboard set) { return Us == White ? set : __builtin_bswap64(set); }
  // One rank back, towards Us's own side.
  static constexpr Bitboard Behind(Bitboard set) { return Us == White ? set >> 8 : set << 8; }

  static int32_t Material(const Position& p) { return Us == White ? p.whiteMaterial : p.blackMaterial; }
  static int8_t& PawnCountCache(Position& p) { return Us == White ? p.whitePawnCount : p.blackPawnCount; }

  // Squares level with or behind the square, on its file and the adjacent ones (not the
  // square itself, nor the first rank).
  static Bitboard RearSpan(int square) { return Us == White ? whiteRearSpan[square] : blackRearSpan[square]; }
  // The squares beside a pawn and diagonally behind it, where a supporting pawn stands.
  static Bitboard SupportSquares(int square) {
    return Us == White ? whiteSupportSquares[square] : blackSupportSquares[square];
  }
  // The up to three squares of the next rank forward, on the square's file and beside it.
  static Bitboard FrontTriple(int square) { return Us == White ? aheadTriple[square] : behindTriple[square]; }
};
