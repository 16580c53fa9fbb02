#include "notation/fen.h"

#include <algorithm>

#include "board/tables.h"

namespace {

constexpr size_t MaxFenLength = 255;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits at tabs and blanks; returns the number of tokens found (at most `max`).
int Tokenize(std::string_view text, std::string_view* tokens, int max) {
  int count = 0;
  size_t i = 0;
  while (i < text.size() && count < max) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) tokens[count++] = text.substr(start, i - start);
  }
  return count;
}

bool ReadPlacement(std::string_view placement, Position& pos) {
  int rank = 7, file = 0;
  for (char c : placement) {
    if (c == '/') {
      if (--rank < 0) return false;
      file = 0;
    } else if (c >= '1' && c <= '8') {
      file += c - '0';
      if (file > 8) return false;
    } else {
      if (file >= 8) return false;
      int code = letterCode[static_cast<unsigned char>(c)];
      pos.board[MakeSquare(file, rank)] = static_cast<int8_t>(code);
      ++file;
    }
  }
  return true;
}

// A position the engine can search safely: one king each, at most 16 men and 8 pawns a
// side, no pawn on a back rank, and the side that just moved not left in check.
bool IsPlayable(const Position& pos) {
  int kings[2] = {0, 0}, men[2] = {0, 0}, pawns[2] = {0, 0};
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code == Empty) continue;
    int side = IsWhiteCode(code) ? White : Black;
    ++men[side];
    if (KindOf(code) == WhiteKing) ++kings[side];
    if (KindOf(code) == WhitePawn) {
      ++pawns[side];
      if (RankOf(sq) == 0 || RankOf(sq) == 7) return false;
    }
  }
  for (int side = 0; side < 2; ++side)
    if (kings[side] != 1 || men[side] > 16 || pawns[side] > 8) return false;
  int waiting = pos.sideToMove ^ 1;
  return !SquareAttackedBy(pos, KingSquare(pos, waiting), pos.sideToMove);
}

void CheckCastlingAgainstBoard(Position& pos) {
  bool whiteHome = pos.board[4] == WhiteKing, blackHome = pos.board[60] == BlackKing;
  if (!(whiteHome && pos.board[7] == WhiteRook)) pos.castling &= ~CastleWhiteKing;
  if (!(whiteHome && pos.board[0] == WhiteRook)) pos.castling &= ~CastleWhiteQueen;
  if (!(blackHome && pos.board[63] == BlackRook)) pos.castling &= ~CastleBlackKing;
  if (!(blackHome && pos.board[56] == BlackRook)) pos.castling &= ~CastleBlackQueen;
}

// An en-passant file is kept only when the pawn that just made the double step is there
// with both squares it crossed empty; otherwise a capture would remove a pawn that does
// not exist.
bool DoubleStepBehind(const Position& pos, int file) {
  if (pos.sideToMove == White)
    return pos.board[MakeSquare(file, 4)] == BlackPawn && pos.board[MakeSquare(file, 5)] == Empty &&
           pos.board[MakeSquare(file, 6)] == Empty;
  return pos.board[MakeSquare(file, 3)] == WhitePawn && pos.board[MakeSquare(file, 2)] == Empty &&
         pos.board[MakeSquare(file, 1)] == Empty;
}

}  // namespace

bool SetFromFen(Position& pos, std::string_view text) {
  text = text.substr(0, std::min(text.size(), MaxFenLength));
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;

  std::string_view tokens[4];
  int count = Tokenize(text, tokens, 4);
  if (count < 2) return false;

  Position work = pos;
  for (auto& square : work.board) square = Empty;
  if (!ReadPlacement(tokens[0], work)) return false;

  work.sideToMove = tokens[1][0] == 'b' ? Black : White;

  work.castling = 15;
  if (count >= 3) {
    std::string_view rights = tokens[2];
    if (rights.find('K') == std::string_view::npos) work.castling &= ~CastleWhiteKing;
    if (rights.find('Q') == std::string_view::npos) work.castling &= ~CastleWhiteQueen;
    if (rights.find('k') == std::string_view::npos) work.castling &= ~CastleBlackKing;
    if (rights.find('q') == std::string_view::npos) work.castling &= ~CastleBlackQueen;
  }

  work.epFile = NoEnPassant;
  if (count >= 4 && tokens[3][0] >= 'a' && tokens[3][0] <= 'z') {
    int file = tokens[3][0] - 'a';
    if (file > 7) return false;
    work.epFile = static_cast<int8_t>(file);
  }

  CheckCastlingAgainstBoard(work);
  BuildBitboards(work);
  if (!IsPlayable(work)) return false;
  if (work.epFile != NoEnPassant && !DoubleStepBehind(work, work.epFile)) work.epFile = NoEnPassant;

  DeriveState(work);
  pos = work;
  return true;
}

void SetStartPosition(Position& pos) { SetFromFen(pos, StartFen); }
