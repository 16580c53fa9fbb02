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
    case A1: return CastleWhiteQueen;
    case H1: return CastleWhiteKing;
    case A8: return CastleBlackQueen;
    case H8: return CastleBlackKing;
    default: return 0;
  }
}

// Takes the mover off its square into its piece set on `to`; the rights and the material
// that depend on which man moved change here.
template <bool WithKey>
inline void MoveMan(Position& pos, int mover, int from, int to, uint16_t& ownMaterial) {
  const Bitboard bits = squareBit[from] | squareBit[to];
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
      // A knight's worth depends on its square.
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
}

// The captured man leaves its set, the enemy material and, when it was the last of its
// kind, the material signature; a rook taken on its corner takes the right with it.
inline void RemoveVictim(Position& pos, int victim, int to, uint16_t& enemyMaterial) {
  Bitboard& victimSet = PieceSet(pos, victim);
  victimSet ^= squareBit[to];
  if (victimSet == 0) pos.materialSignature &= static_cast<uint16_t>(~SignatureBit(victim));
  const int kind = KindOf(victim);
  const int loss = kind == WhiteKnight ? knightSquareValue[to] : pieceValue[victim];
  enemyMaterial = static_cast<uint16_t>(enemyMaterial - loss);
  if (kind == WhitePawn) pos.pawnKey ^= zobrist[victim][to];
  if (kind == WhiteRook) pos.castling &= static_cast<int8_t>(~CornerRight(to));
}

template <bool WithKey>
inline void MoveCastlingRook(Position& pos, int side, int kingTo, Bitboard& own) {
  pos.castling |= side == White ? CastledWhite : CastledBlack;
  const bool kingSide = kingTo == G1 || kingTo == G8;
  const int rookFrom = kingSide ? kingTo + 1 : kingTo - 2;
  const int rookTo = kingSide ? kingTo - 1 : kingTo + 1;
  const int rook = side == White ? WhiteRook : BlackRook;
  pos.board[rookFrom] = Empty;
  pos.board[rookTo] = static_cast<int8_t>(rook);
  if constexpr (WithKey) pos.hashKey ^= zobrist[rook][rookFrom] ^ zobrist[rook][rookTo];
  const Bitboard rookBits = squareBit[rookFrom] | squareBit[rookTo];
  PieceSet(pos, rook) ^= rookBits;
  own ^= rookBits;
  // The corner and its neighbours lie on the back rank, whose rotated bits are always 0.
}

// The pawn taken en passant stands beside the capturer's destination, not on it.
template <bool WithKey>
inline void RemovePassedPawn(Position& pos, int side, int to, Bitboard& enemy, uint16_t& enemyMaterial) {
  const int captured = side == White ? A5 + FileOf(to) : A4 + FileOf(to);
  const int pawn = side == White ? BlackPawn : WhitePawn;
  pos.board[captured] = Empty;
  pos.pawnKey ^= zobrist[pawn][captured];
  if constexpr (WithKey) pos.hashKey ^= zobrist[pawn][captured];
  Bitboard& pawns = PieceSet(pos, pawn);
  pawns ^= squareBit[captured];
  enemy ^= squareBit[captured];
  if (pawns == 0) pos.materialSignature &= static_cast<uint16_t>(~SignatureBit(pawn));
  ToggleRotated(pos, captured);
  enemyMaterial = static_cast<uint16_t>(enemyMaterial - pieceValue[pawn]);
}

inline void Promote(Position& pos, const Move& move, int mover, int side, uint16_t& ownMaterial) {
  const int to = move.to;
  const int promoted = (move.flags & 3) + (side == White ? WhiteKnight : BlackKnight);
  pos.board[to] = static_cast<int8_t>(promoted);
  Bitboard& pawns = PieceSet(pos, mover);
  pawns ^= squareBit[to];
  if (pawns == 0) pos.materialSignature &= static_cast<uint16_t>(~SignatureBit(mover));
  PieceSet(pos, promoted) |= squareBit[to];
  pos.materialSignature |= SignatureBit(promoted);
  // What the pawn (100) becomes: a knight by its square, a bishop 300, a rook 500, a queen 900.
  static constexpr int gain[4] = {0, 200, 400, 800};
  const int change = (move.flags & 3) == 0 ? knightSquareValue[to] - 100 : gain[move.flags & 3];
  ownMaterial = static_cast<uint16_t>(ownMaterial + change);
}

// The light make (no hash key, no fifty-move count) serves legality tests and perft.
template <bool WithKey>
inline void Make(Position& pos, const Move& move) {
  const int from = move.from, to = move.to;
  const int mover = pos.board[from];
  const int victim = pos.board[to];
  const int side = pos.sideToMove;
  uint16_t& ownMaterial = side == White ? pos.whiteMaterial : pos.blackMaterial;
  uint16_t& enemyMaterial = side == White ? pos.blackMaterial : pos.whiteMaterial;

  if constexpr (WithKey) {
    pos.hashKey ^= sideKey ^ zobrist[mover][from] ^ zobrist[victim][to];
    pos.hashKey ^= SmallKeyTerm(pos);
  }
  pos.epFile = NoEnPassant;
  pos.board[from] = Empty;
  ToggleRotated(pos, from);
  MoveMan<WithKey>(pos, mover, from, to, ownMaterial);
  if (victim != Empty) RemoveVictim(pos, victim, to, enemyMaterial);
  pos.board[to] = static_cast<int8_t>(mover);

  Bitboard& own = ColourSet(pos, side);
  Bitboard& enemy = ColourSet(pos, side ^ 1);
  if (victim == Empty) {
    ToggleRotated(pos, to);
  } else {
    enemy ^= squareBit[to];
    if constexpr (WithKey) pos.fiftyCounter = 0;
  }
  own ^= squareBit[from] | squareBit[to];

  switch (move.flags >> 2) {
    case KindCastle: MoveCastlingRook<WithKey>(pos, side, to, own); break;
    case KindEnPassant: RemovePassedPawn<WithKey>(pos, side, to, enemy, enemyMaterial); break;
    case KindDoubleStep: {
      // Only a double step that an enemy pawn could take en passant sets the file.
      const Bitboard enemyPawns = side == White ? pos.blackPawns : pos.whitePawns;
      if (rankNeighbours[to] & enemyPawns) pos.epFile = static_cast<int8_t>(FileOf(from));
      break;
    }
    case KindPromotion: Promote(pos, move, mover, side, ownMaterial); break;
    default: break;
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
