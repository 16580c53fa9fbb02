// Tactical strength at a fixed depth: how many of a well-known suite's first thirty positions
// the search solves at depth 5. The count may only go up; a drop means a search change lost
// tactics.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "search_test_support.h"

namespace {

constexpr int MinimumSolved = 28;  // reached when this test was written; raise it as it improves

// Does the legal move `m` of `pos` match the algebraic text? Checks, captures and the promotion
// sign are decoration; what counts is the piece, the destination, the promotion piece and the
// disambiguation the text gives.
bool Matches(const Position& pos, const Move& m, const std::string& san) {
  std::string bare;
  for (char c : san)
    if (!std::strchr("+#x=!?", c)) bare += c;
  const int kind = KindOf(pos.board[m.from]);
  if (bare == "O-O" || bare == "O-O-O") return kind == 1 && m.flags == FlagCastle && (bare == "O-O") == (FileOf(m.to) == 6);
  const char piece = std::isupper(static_cast<unsigned char>(bare[0])) ? bare[0] : 'P';
  if (piece != 'P') bare.erase(0, 1);
  int promotion = 0;
  if (const char* p = std::strchr("NBRQ", bare.back()); p && *p) {
    promotion = FlagPromoteKnight + int(p - "NBRQ");
    bare.pop_back();
  }
  if (bare.size() < 2 || PieceLetters[kind] != piece) return false;
  if (MakeSquare(bare[bare.size() - 2] - 'a', bare.back() - '1') != m.to) return false;
  if (IsPromotion(m) ? m.flags != promotion : promotion != 0) return false;
  for (size_t i = 0; i + 2 < bare.size(); ++i) {
    const char c = bare[i];
    if ((c >= 'a' && c <= 'h' && FileOf(m.from) != c - 'a') || (c >= '1' && c <= '8' && RankOf(m.from) != c - '1'))
      return false;
  }
  return true;
}

TEST(Tactics, SolvesTheFirstThirtyAtDepthFive) {
  InitSearchTables();
  std::ifstream suite(SKARNE_SHARED_DATA "/epd/wac.epd");
  int problems = 0, solved = 0;
  std::string missed;
  for (std::string line; problems < 30 && std::getline(suite, line); ++problems) {
    std::istringstream fields(line);
    std::string fen, field;
    for (int i = 0; i < 4 && fields >> field; ++i) fen += (i ? " " : "") + field;
    const size_t bm = line.find(" bm "), id = line.find("id \"");
    std::istringstream bestMoves(line.substr(bm + 4, line.find(';', bm) - bm - 4));
    const std::string name = line.substr(id + 4, line.find('"', id + 4) - id - 4);
    SCOPED_TRACE(name);
    SetUpGame(fen.c_str());
    // The matcher itself must be sound, or the count means nothing: every best move names
    // exactly one legal move.
    Position legal = gameRecord.gamePosition, trial;
    GenerateLegalMoves(legal);
    bool found = false;
    ClearHash();
    const Move move = ThinkToDepth(5);
    for (std::string san; bestMoves >> san;) {
      int matches = 0;
      for (int i = 1; i <= legal.moveCount; ++i)
        matches += MoveIsLegal(gameRecord.gamePosition, legal.moveList[i], trial) &&
                   Matches(gameRecord.gamePosition, legal.moveList[i], san);
      EXPECT_EQ(matches, 1) << san;
      found |= Matches(gameRecord.gamePosition, move, san);
    }
    if (found) ++solved;
    else missed += " " + name;
  }
  ASSERT_EQ(problems, 30);
  RecordProperty("solved", solved);
  EXPECT_GE(solved, MinimumSolved) << "missed:" << missed;
}

}  // namespace
