#include "board/position.h"

#include "board/tables.h"

void BuildBitboards(Position& pos) {
  pos.whitePawns = pos.whiteKnights = pos.whiteBishops = pos.whiteRooks = pos.whiteQueens = 0;
  pos.blackPawns = pos.blackKnights = pos.blackBishops = pos.blackRooks = pos.blackQueens = 0;
  pos.whitePieces = pos.blackPieces = 0;
  pos.occupiedRot90 = pos.occupiedDiagA = pos.occupiedDiagB = 0;
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code == Empty) continue;
    if (code == WhiteKing) pos.whiteKing = sq;
    else if (code == BlackKing) pos.blackKing = sq;
    else PieceSet(pos, code) |= squareBit[sq];
    (IsWhiteCode(code) ? pos.whitePieces : pos.blackPieces) |= squareBit[sq];
    pos.occupiedRot90 |= squareBitRot90[sq];
    pos.occupiedDiagA |= squareBitDiagA[sq];
    pos.occupiedDiagB |= squareBitDiagB[sq];
  }
  pos.occupied = pos.whitePieces | pos.blackPieces;
  pos.cacheFlags = 0;
}

uint64_t ComputeHashKey(const Position& pos) {
  uint64_t key = pos.sideToMove == Black ? sideKey : 0;
  for (int sq = 0; sq < 64; ++sq) key ^= zobrist[pos.board[sq]][sq];
  // The castling rights and en-passant file enter as a plain small number in the low word.
  key ^= static_cast<uint64_t>(static_cast<uint32_t>((pos.castling & 15) ^ pos.epFile));
  return key;
}

uint64_t ComputePawnKey(const Position& pos) {
  uint64_t key = 0;
  for (int sq = 0; sq < 64; ++sq)
    if (pos.board[sq] == WhitePawn || pos.board[sq] == BlackPawn) key ^= zobrist[pos.board[sq]][sq];
  return key;
}

uint16_t ComputeMaterial(const Position& pos, int side) {
  int total = 0;
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code == Empty || IsWhiteCode(code) != (side == White)) continue;
    total += KindOf(code) == WhiteKnight ? knightSquareValue[sq] : pieceValue[code];
  }
  return static_cast<uint16_t>(total);
}

uint16_t ComputeMaterialSignature(const Position& pos) {
  uint16_t signature = 0;
  for (int sq = 0; sq < 64; ++sq) signature |= SignatureBit(pos.board[sq]);
  return signature;
}

void DeriveState(Position& pos) {
  BuildBitboards(pos);
  pos.hashKey = ComputeHashKey(pos);
  pos.pawnKey = ComputePawnKey(pos);
  pos.whiteMaterial = ComputeMaterial(pos, White);
  pos.blackMaterial = ComputeMaterial(pos, Black);
  pos.fiftyCounter = 0;
  pos.materialSignature = ComputeMaterialSignature(pos);
}

// Sliders are looked for along the lines through the square only when one of the side's
// sliders stands on such a line at all (the lines seen through an empty board).
bool SquareAttackedBy(const Position& pos, int square, int side) {
  const bool white = side == White;
  const Bitboard pawns = white ? pos.whitePawns : pos.blackPawns;
  const Bitboard pawnSquares = white ? blackPawnCaptures[square] : whitePawnCaptures[square];
  if (pawnSquares & pawns) return true;
  if (knightAttacks[square] & (white ? pos.whiteKnights : pos.blackKnights)) return true;
  const Bitboard king = Bit(white ? pos.whiteKing : pos.blackKing) & (white ? pos.whitePieces : pos.blackPieces);
  if (kingAttacks[square] & king) return true;
  const Bitboard queens = white ? pos.whiteQueens : pos.blackQueens;
  const Bitboard diagonal = queens | (white ? pos.whiteBishops : pos.blackBishops);
  const Bitboard straight = queens | (white ? pos.whiteRooks : pos.blackRooks);
  if ((diagAAttacks[square][0] | diagBAttacks[square][0]) & diagonal &&
      BishopAttacks(pos, square) & diagonal)
    return true;
  return (rankAttacks[square][0] | fileAttacks[square][0]) & straight &&
         RookAttacks(pos, square) & straight;
}

bool PositionIsConsistent(const Position& pos) {
  Position fresh = pos;
  BuildBitboards(fresh);
  for (int code = WhitePawn; code <= BlackQueen; ++code)
    if (code != BlackKing && PieceSet(fresh, code) != PieceSet(pos, code)) return false;
  return fresh.whitePieces == pos.whitePieces && fresh.blackPieces == pos.blackPieces &&
         fresh.occupied == pos.occupied && fresh.occupiedRot90 == pos.occupiedRot90 &&
         fresh.occupiedDiagA == pos.occupiedDiagA && fresh.occupiedDiagB == pos.occupiedDiagB &&
         fresh.whiteKing == pos.whiteKing && fresh.blackKing == pos.blackKing &&
         ComputeHashKey(pos) == pos.hashKey && ComputePawnKey(pos) == pos.pawnKey &&
         ComputeMaterial(pos, White) == pos.whiteMaterial && ComputeMaterial(pos, Black) == pos.blackMaterial &&
         ComputeMaterialSignature(pos) == pos.materialSignature;
}
