#pragma once
// Squares, piece codes, square sets and the move record shared by every subsystem.

#include <array>
#include <bit>
#include <cstdint>

using Bitboard = uint64_t;

// a1 = 0, b1 = 1, ..., h8 = 63. White pawns move towards higher squares.
constexpr int FileOf(int square) { return square & 7; }
constexpr int RankOf(int square) { return square >> 3; }
constexpr int MakeSquare(int file, int rank) { return rank * 8 + file; }
constexpr int MirrorSquare(int square) { return square ^ 56; }

// clang-format off
enum Square : int {
  A1, B1, C1, D1, E1, F1, G1, H1,
  A2, B2, C2, D2, E2, F2, G2, H2,
  A3, B3, C3, D3, E3, F3, G3, H3,
  A4, B4, C4, D4, E4, F4, G4, H4,
  A5, B5, C5, D5, E5, F5, G5, H5,
  A6, B6, C6, D6, E6, F6, G6, H6,
  A7, B7, C7, D7, E7, F7, G7, H7,
  A8, B8, C8, D8, E8, F8, G8, H8,
};
// clang-format on

// Piece codes in the order of " KPNBRQkpnbrq"; a black code is the white code + 6.
enum PieceCode : int8_t {
  Empty = 0,
  WhiteKing = 1, WhitePawn, WhiteKnight, WhiteBishop, WhiteRook, WhiteQueen,
  BlackKing = 7, BlackPawn, BlackKnight, BlackBishop, BlackRook, BlackQueen,
};

constexpr char PieceLetters[] = " KPNBRQkpnbrq";

// Set tests on codes: bit c is set when code c belongs to the set.
constexpr int BlackCodeMask = 0x1F80;
constexpr int WhiteCodeMask = 0x7E;
constexpr int SliderCodeMask = 0x1C70;

constexpr bool IsWhiteCode(int code) { return (WhiteCodeMask >> code) & 1; }
constexpr bool IsBlackCode(int code) { return (BlackCodeMask >> code) & 1; }
constexpr bool IsSliderCode(int code) { return (SliderCodeMask >> code) & 1; }
// Kind of a code, 1 king .. 6 queen, for either colour; 0 for an empty square.
constexpr int KindOf(int code) { return code > 6 ? code - 6 : code; }

enum Side : int { White = 0, Black = 1 };

// Move kinds live in flags >> 2.
constexpr int8_t FlagPromoteKnight = 4;
constexpr int8_t FlagPromoteBishop = 5;
constexpr int8_t FlagPromoteRook = 6;
constexpr int8_t FlagPromoteQueen = 7;
constexpr int8_t FlagCastle = 8;
constexpr int8_t FlagEnPassant = 12;
constexpr int8_t FlagDoubleStep = 16;

constexpr int KindPromotion = 1;
constexpr int KindCastle = 2;
constexpr int KindEnPassant = 3;
constexpr int KindDoubleStep = 4;

// A move list entry, 8 bytes:
//   score  i32  ordering score from the generators and the search's ordering pass
//   from   i8   origin square; 127 marks "no move" and ends a move sequence
//   to     i8   destination square (the empty square for an en-passant capture)
//   flags  i8   0 plain, 4..7 promotion to N/B/R/Q, 8 castling, 12 en passant, 16 double step
//   spare  u8   free for the search (it marks whether the move checks)
struct Move {
  int32_t score = 0;
  int8_t from = 0;
  int8_t to = 0;
  int8_t flags = 0;
  uint8_t spare = 0;
};
static_assert(sizeof(Move) == 8);

constexpr int8_t NoMoveSquare = 127;
constexpr Move NoMove{0, NoMoveSquare, 0, 0, 0};
// A root move with this score is excluded from the search.
constexpr int32_t ExcludedMoveScore = static_cast<int32_t>(0x80000001u);

constexpr bool IsPromotion(const Move& move) { return (move.flags >> 2) == KindPromotion; }
constexpr bool SameMove(const Move& a, const Move& b) {
  return a.from == b.from && a.to == b.to && a.flags == b.flags;
}

constexpr int NoEnPassant = 13;

// Reversible plies (no capture, no pawn move) after which the game is drawn.
constexpr uint32_t FiftyMoveLimit = 100;

// Castling bits; only the low four enter the hash key.
constexpr int8_t CastleWhiteQueen = 1;
constexpr int8_t CastleWhiteKing = 2;
constexpr int8_t CastleBlackQueen = 4;
constexpr int8_t CastleBlackKing = 8;
constexpr int8_t CastledWhite = 16;
constexpr int8_t CastledBlack = 32;

// Material signature bits.
constexpr uint16_t SigWhitePawn = 1 << 0;
constexpr uint16_t SigWhiteKnight = 1 << 1;
constexpr uint16_t SigWhiteBishop = 1 << 2;
constexpr uint16_t SigWhiteRook = 1 << 3;
constexpr uint16_t SigWhiteQueen = 1 << 4;
constexpr uint16_t SigBlackPawn = 1 << 5;
constexpr uint16_t SigBlackKnight = 1 << 6;
constexpr uint16_t SigBlackBishop = 1 << 7;
constexpr uint16_t SigBlackRook = 1 << 8;
constexpr uint16_t SigBlackQueen = 1 << 9;
// Knights, bishops, rooks and queens of either side.
constexpr uint16_t SigPieces = 0x3DE;

// Signature bit of a non-king code (0 for kings and empty squares).
constexpr uint16_t SignatureBit(int code) {
  if (code >= WhitePawn && code <= WhiteQueen) return uint16_t(1u << (code - WhitePawn));
  if (code >= BlackPawn && code <= BlackQueen) return uint16_t(1u << (code - BlackPawn + 5));
  return 0;
}

// cacheFlags bits.
constexpr uint16_t CacheWhiteAttacks = 1;
constexpr uint16_t CacheBlackAttacks = 2;
constexpr uint16_t CacheMoveList = 4;
constexpr uint16_t CacheOrdered = 8;

// A variable shift needs its count moved into place first; a load from this table is one
// instruction.
inline constexpr auto SquareBits = [] {
  std::array<Bitboard, 64> bits{};
  for (int square = 0; square < 64; ++square) bits[square] = Bitboard{1} << square;
  return bits;
}();
constexpr Bitboard Bit(int square) { return SquareBits[square]; }
constexpr int LowestSquare(Bitboard set) { return std::countr_zero(set); }
constexpr int CountBits(Bitboard set) { return std::popcount(set); }
// Removes and returns the lowest square of a non-empty set; every walk over a set goes
// lowest square first, which fixes the order of generated moves.
inline int PopLowest(Bitboard& set) {
  int square = std::countr_zero(set);
  set &= set - 1;
  return square;
}

constexpr Bitboard FileA = 0x0101010101010101ull;
constexpr Bitboard FileH = 0x8080808080808080ull;
constexpr Bitboard Rank1 = 0xFFull;
constexpr Bitboard Rank2 = Rank1 << 8;
constexpr Bitboard Rank3 = Rank1 << 16;
constexpr Bitboard Rank4 = Rank1 << 24;
constexpr Bitboard Rank5 = Rank1 << 32;
constexpr Bitboard Rank6 = Rank1 << 40;
constexpr Bitboard Rank7 = Rank1 << 48;
constexpr Bitboard Rank8 = Rank1 << 56;

// a1 is a dark square; a bishop never leaves the colour it starts on.
constexpr Bitboard DarkSquares = 0xAA55AA55AA55AA55ull;
constexpr Bitboard LightSquares = ~DarkSquares;
constexpr bool IsLightSquare(int square) { return ((RankOf(square) + FileOf(square)) & 1) != 0; }

// The two characters of a square's name, "a1" .. "h8".
inline void WriteSquareName(int square, char* out) {
  out[0] = static_cast<char>('a' + FileOf(square));
  out[1] = static_cast<char>('1' + RankOf(square));
}

// Scores are centipawns from the side to move's view; a side mated at ply p scores
// p - MateScore, so a nearer mate scores further from 0.
constexpr int32_t ScoreBound = 32001;      // bounds every window; no real score reaches it
constexpr int32_t MateScore = 32000;
constexpr int32_t MateInOneScore = 31999;  // minus the ply of the mating side
constexpr int32_t MateScoreBound = 31952;  // at or beyond: a mate score
