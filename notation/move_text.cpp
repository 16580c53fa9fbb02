#include "notation/move_text.h"

#include "board/make_move.h"
#include "board/movegen.h"

namespace {

// ASCII only: the protocol text is never locale text, and a byte above 0x7F is no letter.
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Square from a lower-case file letter and a rank digit, or -1.
int SquareFromText(char file, char rank) {
  if (file < 'a' || file > 'h' || rank < '1' || rank > '8') return -1;
  return MakeSquare(file - 'a', rank - '1');
}

// Expected flags of a fifth character, or -1 when it names no promotion.
int PromotionFlags(char letter) {
  switch (letter) {
    case 'n': return FlagPromoteKnight;
    case 'b': return FlagPromoteBishop;
    case 'r': return FlagPromoteRook;
    case 'q': return FlagPromoteQueen;
    default: return -1;
  }
}

constexpr char PromotionLetters[] = "nbrq";

}  // namespace

bool ParseMoveText(Position& pos, std::span<char> text, Move& move) {
  if (text.size() != 4 && text.size() != 5) return false;
  if (!IsAsciiLetter(text[0]) || !IsAsciiLetter(text[2])) return false;
  text[0] = AsciiLower(text[0]);
  text[2] = AsciiLower(text[2]);
  if (text.size() == 5) text[4] = AsciiLower(text[4]);

  const int from = SquareFromText(text[0], text[1]);
  const int to = SquareFromText(text[2], text[3]);
  if (from < 0 || to < 0) return false;
  int expectedFlags = -1;
  if (text.size() == 5) {
    if (!IsAsciiLetter(text[4])) return false;
    expectedFlags = PromotionFlags(text[4]);
    if (expectedFlags < 0) return false;
  }

  // The legal generator overwrites the list, so the list and ordering marks must go; the
  // attack caches stay valid for this placement.
  pos.cacheFlags &= CacheWhiteAttacks | CacheBlackAttacks;
  GenerateLegalMoves(pos);

  // The legal generator does not filter pinned men, so each candidate is tried on a copy.
  Position trial;
  for (int i = 1; i <= pos.moveCount; ++i) {
    const Move& candidate = pos.moveList[i];
    if (candidate.from != from || candidate.to != to) continue;
    if (expectedFlags >= 0 && candidate.flags != expectedFlags) continue;
    if (MoveIsLegal(pos, candidate, trial)) {
      move = candidate;
      return true;
    }
  }
  return false;
}

void MoveText(const Move& move, char* buffer) {
  WriteSquareName(move.from, buffer);
  WriteSquareName(move.to, buffer + 2);
  int length = 4;
  if (IsPromotion(move)) buffer[length++] = PromotionLetters[move.flags & 3];
  buffer[length] = '\0';
}

std::string MoveText(const Move& move) {
  char buffer[MoveTextSize];
  MoveText(move, buffer);
  return buffer;
}

void AppendVariation(std::string& text, const Move* variation) {
  char buffer[MoveTextSize];
  for (int i = 0; i < MaxVariationMoves && variation[i].from != NoMoveSquare; ++i) {
    MoveText(variation[i], buffer);
    text += ' ';
    text += buffer;
  }
}
