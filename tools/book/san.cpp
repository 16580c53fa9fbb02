// Standard algebraic notation: reading the forms found in real PGN files, writing the
// canonical form.

#include "board/board.h"
#include "tools/book/book_tool.h"

namespace {

constexpr char PieceLetterOfKind[] = "?KPNBRQ";

bool IsFileLetter(char c) { return c >= 'a' && c <= 'h'; }
bool IsRankDigit(char c) { return c >= '1' && c <= '8'; }

int PieceKindOfLetter(char c) {
  switch (c) {
    case 'K': return WhiteKing;
    case 'Q': return WhiteQueen;
    case 'R': return WhiteRook;
    case 'B': return WhiteBishop;
    case 'N': return WhiteKnight;
    default: return 0;
  }
}

int PromotionFlagsOfLetter(char c) {
  switch (c) {
    case 'Q': case 'q': return FlagPromoteQueen;
    case 'R': case 'r': return FlagPromoteRook;
    case 'B': case 'b': return FlagPromoteBishop;
    case 'N': case 'n': return FlagPromoteKnight;
    default: return -1;
  }
}

// What a SAN text asks for; -1 where it says nothing.
struct SanPattern {
  int kind = WhitePawn;
  int fromFile = -1, fromRank = -1;
  int to = -1;
  int promotion = -1;  // flags of the promotion
  int castle = 0;      // 1 king side, 2 queen side
};

bool ReadPattern(std::string_view text, SanPattern& pattern) {
  // Check and mate marks and move annotations ("!?", "?!", "!!", ...) carry no move.
  while (!text.empty() && (text.back() == '+' || text.back() == '#' || text.back() == '!' || text.back() == '?'))
    text.remove_suffix(1);
  if (text.size() > 4 && text.substr(text.size() - 4) == "e.p.") text.remove_suffix(4);
  if (text == "O-O" || text == "0-0" || text == "o-o") {
    pattern.castle = 1;
    return true;
  }
  if (text == "O-O-O" || text == "0-0-0" || text == "o-o-o") {
    pattern.castle = 2;
    return true;
  }
  if (!text.empty() && PieceKindOfLetter(text[0])) {
    pattern.kind = PieceKindOfLetter(text[0]);
    text.remove_prefix(1);
  }
  if (pattern.kind == WhitePawn && text.size() >= 3) {
    const bool equals = text[text.size() - 2] == '=';
    if (equals || IsRankDigit(text[text.size() - 2])) {
      pattern.promotion = PromotionFlagsOfLetter(text.back());
      if (pattern.promotion >= 0) text.remove_suffix(equals ? 2 : 1);
      else if (equals) return false;
    }
  }
  if (text.size() < 2 || !IsFileLetter(text[text.size() - 2]) || !IsRankDigit(text.back())) return false;
  pattern.to = MakeSquare(text[text.size() - 2] - 'a', text.back() - '1');
  text.remove_suffix(2);
  if (!text.empty() && (text.back() == 'x' || text.back() == ':' || text.back() == '-')) text.remove_suffix(1);
  if (!text.empty() && IsRankDigit(text.back())) {
    pattern.fromRank = text.back() - '1';
    text.remove_suffix(1);
  }
  if (!text.empty() && IsFileLetter(text.back())) {
    pattern.fromFile = text.back() - 'a';
    text.remove_suffix(1);
  }
  // A pawn that does not capture stays on its file.
  if (pattern.kind == WhitePawn && pattern.fromFile < 0) pattern.fromFile = FileOf(pattern.to);
  return text.empty();
}

bool Matches(const Position& pos, const Move& move, const SanPattern& pattern) {
  if (pattern.castle) {
    if (move.flags != FlagCastle) return false;
    return pattern.castle == 1 ? FileOf(move.to) == 6 : FileOf(move.to) == 2;
  }
  if (KindOf(pos.board[move.from]) != pattern.kind || move.to != pattern.to) return false;
  if (pattern.fromFile >= 0 && FileOf(move.from) != pattern.fromFile) return false;
  if (pattern.fromRank >= 0 && RankOf(move.from) != pattern.fromRank) return false;
  return IsPromotion(move) ? move.flags == pattern.promotion : pattern.promotion < 0;
}

bool IsCapture(const Position& pos, const Move& move) {
  return pos.board[move.to] != Empty || move.flags == FlagEnPassant;
}

}  // namespace

bool ParseSan(Position& pos, std::string_view text, Move& move, std::string& why) {
  SanPattern pattern;
  if (!ReadPattern(text, pattern)) {
    why = "unreadable move";
    return false;
  }
  pos.cacheFlags = 0;
  GenerateLegalMoves(pos);
  Position trial;
  int found = 0;
  for (int i = 1; i <= pos.moveCount; ++i) {
    const Move& candidate = pos.moveList[i];
    if (!Matches(pos, candidate, pattern) || !MoveIsLegal(pos, candidate, trial)) continue;
    if (found++ == 0) move = candidate;
  }
  if (found == 1) return true;
  why = found == 0 ? "illegal move" : "ambiguous move";
  return false;
}

std::string SanText(const Position& position, const Move& move) {
  Position pos, trial;
  CopyPlayState(pos, position);
  GenerateLegalMoves(pos);
  std::string text;
  char square[2];
  const int kind = KindOf(pos.board[move.from]);
  if (move.flags == FlagCastle) {
    text = FileOf(move.to) == 6 ? "O-O" : "O-O-O";
  } else if (kind == WhitePawn) {
    if (IsCapture(pos, move)) text = {static_cast<char>('a' + FileOf(move.from)), 'x'};
    WriteSquareName(move.to, square);
    text.append(square, 2);
    if (IsPromotion(move)) text += {'=', "NBRQ"[move.flags - FlagPromoteKnight]};
  } else {
    text = PieceLetterOfKind[kind];
    // Name the origin's file, else its rank, else both, when another man of the same kind
    // can go to the same square.
    bool rival = false, rivalOnFile = false, rivalOnRank = false;
    for (int i = 1; i <= pos.moveCount; ++i) {
      const Move& other = pos.moveList[i];
      if (other.to != move.to || other.from == move.from || pos.board[other.from] != pos.board[move.from]) continue;
      if (!MoveIsLegal(pos, other, trial)) continue;
      rival = true;
      rivalOnFile |= FileOf(other.from) == FileOf(move.from);
      rivalOnRank |= RankOf(other.from) == RankOf(move.from);
    }
    WriteSquareName(move.from, square);
    if (rival && (!rivalOnFile || rivalOnRank)) text += square[0];
    if (rival && rivalOnFile) text += square[1];
    if (IsCapture(pos, move)) text += 'x';
    WriteSquareName(move.to, square);
    text.append(square, 2);
  }
  CopyPlayState(trial, pos);
  MakeMove(trial, move);
  const int defender = trial.sideToMove;
  if (SquareAttackedBy(trial, KingSquare(trial, defender), 1 - defender)) {
    Position reply;
    GenerateLegalMoves(trial);
    bool escape = false;
    for (int i = 1; i <= trial.moveCount && !escape; ++i) escape = MoveIsLegal(trial, trial.moveList[i], reply);
    text += escape ? '+' : '#';
  }
  return text;
}
