#include "board/make_move.h"

#include "board/tables.h"

namespace {

inline uint64_t SmallKeyTerm(const Position& pos) {
  return static_cast<uint32_t>((pos.castling & 15) ^ pos.epFile);
}

inline void ToggleRotated(Position& pos, int sq) {
  pos.occupiedRot90 ^= squareBitRot90[sq];
  pos.occupiedDiagA ^= squareBitDiagA[sq];
  pos.occupiedDiagB ^= squareBitDiagB[sq];
}

// Castling rights lost when a rook leaves or is captured on its corner.
inline int8_t CornerRight(int sq) {
  switch (sq) {
    case 0: return CastleWhiteQueen;
    case 7: return CastleWhiteKing;
    case 56: return CastleBlackQueen;
    case 63: return CastleBlackKing;
    default: return 0;
  }
}

template <bool WithKey>
inline void Make(Position& pos, const Move& move) {
  const int from = move.from, to = move.to;
  const int mover = pos.board[from];
  const int victim = pos.board[to];
  const int side = pos.sideToMove;
  const Bitboard bits = squareBit[from] | squareBit[to];
  uint16_t& ownMaterial = side == White ? pos.whiteMaterial : pos.blackMaterial;
  uint16_t& enemyMaterial = side == White ? pos.blackMaterial : pos.whiteMaterial;

  if constexpr (WithKey) {
    pos.hashKey ^= sideKey ^ zobrist[mover][from] ^ zobrist[victim][to];
    pos.hashKey ^= SmallKeyTerm(pos);
  }
  pos.epFile = NoEnPassant;
  pos.board[from] = Empty;
  ToggleRotated(pos, from);

  switch (mover) {
    case WhiteKing:
    case BlackKing:
      pos.castling &= static_cast<int8_t>(mover == WhiteKing ? ~3 : ~12);
      (mover == WhiteKing ? pos.whiteKing : pos.blackKing) = to;
      if constexpr (WithKey) ++pos.fiftyCounter;
      break;
    case WhitePawn:
    case BlackPawn:
      PieceSet(pos, mover) ^= bits;
      pos.pawnKey ^= zobrist[mover][from] ^ zobrist[mover][to];
      if constexpr (WithKey) pos.fiftyCounter = 0;
      break;
    case WhiteKnight:
    case BlackKnight:
      PieceSet(pos, mover) ^= bits;
      ownMaterial = static_cast<uint16_t>(ownMaterial + knightSquareValue[to] - knightSquareValue[from]);
      if constexpr (WithKey) ++pos.fiftyCounter;
      break;
    case WhiteRook:
    case BlackRook:
      PieceSet(pos, mover) ^= bits;
      pos.castling &= static_cast<int8_t>(~CornerRight(from));
      if constexpr (WithKey) ++pos.fiftyCounter;
      break;
    default:  // bishops and queens
      PieceSet(pos, mover) ^= bits;
      if constexpr (WithKey) ++pos.fiftyCounter;
      break;
  }

  if (victim != Empty) {
    Bitboard& victimSet = PieceSet(pos, victim);
    victimSet ^= squareBit[to];
    if (victimSet == 0) pos.materialSignature &= static_cast<uint16_t>(~SignatureBit(victim));
    int kind = KindOf(victim);
    int loss = kind == WhiteKnight ? knightSquareValue[to] : pieceValue[victim];
    enemyMaterial = static_cast<uint16_t>(enemyMaterial - loss);
    if (kind == WhitePawn) pos.pawnKey ^= zobrist[victim][to];
    if (kind == WhiteRook) pos.castling &= static_cast<int8_t>(~CornerRight(to));
  }

  pos.board[to] = static_cast<int8_t>(mover);

  Bitboard& own = ColourSet(pos, side);
  Bitboard& enemy = ColourSet(pos, side ^ 1);
  if (victim == Empty) {
    ToggleRotated(pos, to);
  } else {
    enemy ^= squareBit[to];
    if constexpr (WithKey) pos.fiftyCounter = 0;
  }
  own ^= bits;

  switch (move.flags >> 2) {
    case KindCastle: {
      pos.castling |= side == White ? CastledWhite : CastledBlack;
      int rookFrom, rookTo;
      if (to == 6 || to == 62) {
        rookFrom = to + 1;
        rookTo = to - 1;
      } else {
        rookFrom = to - 2;
        rookTo = to + 1;
      }
      int rook = side == White ? WhiteRook : BlackRook;
      pos.board[rookFrom] = Empty;
      pos.board[rookTo] = static_cast<int8_t>(rook);
      if constexpr (WithKey) pos.hashKey ^= zobrist[rook][rookFrom] ^ zobrist[rook][rookTo];
      Bitboard rookBits = squareBit[rookFrom] | squareBit[rookTo];
      PieceSet(pos, rook) ^= rookBits;
      own ^= rookBits;
      // The corner and its neighbours lie on the back rank, whose rotated bits are always 0.
      break;
    }
    case KindEnPassant: {
      int captured = side == White ? 32 + (to & 7) : 24 + (to & 7);
      int pawn = side == White ? BlackPawn : WhitePawn;
      pos.board[captured] = Empty;
      pos.pawnKey ^= zobrist[pawn][captured];
      if constexpr (WithKey) pos.hashKey ^= zobrist[pawn][captured];
      Bitboard& pawns = PieceSet(pos, pawn);
      pawns ^= squareBit[captured];
      enemy ^= squareBit[captured];
      if (pawns == 0) pos.materialSignature &= static_cast<uint16_t>(~SignatureBit(pawn));
      ToggleRotated(pos, captured);
      enemyMaterial = static_cast<uint16_t>(enemyMaterial - 100);
      break;
    }
    case KindDoubleStep: {
      Bitboard enemyPawns = side == White ? pos.blackPawns : pos.whitePawns;
      if (rankNeighbours[to] & enemyPawns) pos.epFile = static_cast<int8_t>(from & 7);
      break;
    }
    case KindPromotion: {
      int promoted = (move.flags & 3) + (side == White ? 3 : 9);
      pos.board[to] = static_cast<int8_t>(promoted);
      Bitboard& pawns = PieceSet(pos, mover);
      pawns ^= squareBit[to];
      if (pawns == 0) pos.materialSignature &= static_cast<uint16_t>(~SignatureBit(mover));
      PieceSet(pos, promoted) |= squareBit[to];
      pos.materialSignature |= SignatureBit(promoted);
      static constexpr int gain[4] = {0, 200, 400, 800};
      int change = (move.flags & 3) == 0 ? knightSquareValue[to] - 100 : gain[move.flags & 3];
      ownMaterial = static_cast<uint16_t>(ownMaterial + change);
      break;
    }
    default:
      break;
  }

  pos.sideToMove ^= 1;
  pos.occupied = pos.whitePieces | pos.blackPieces;
  if constexpr (WithKey) {
    pos.hashKey ^= zobrist[pos.board[to]][to];
    pos.hashKey ^= SmallKeyTerm(pos);
  }
}

}  // namespace

void MakeMove(Position& pos, const Move& move) { Make<true>(pos, move); }

void MakeMoveLight(Position& pos, const Move& move) { Make<false>(pos, move); }

void MakeNullMove(Position& pos) {
  pos.hashKey ^= sideKey;
  pos.hashKey ^= static_cast<uint32_t>(pos.epFile ^ NoEnPassant);
  pos.epFile = NoEnPassant;
  pos.sideToMove ^= 1;
}
