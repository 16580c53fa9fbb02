#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "notation/notation.h"

namespace {

class MoveTextTest : public ::testing::Test {
 protected:
  void SetUp() override { InitTables(); }
};

Position FromFen(const char* fen) {
  Position pos{};
  EXPECT_TRUE(SetFromFen(pos, fen)) << fen;
  return pos;
}

constexpr int Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }

struct ParseCase {
  const char* fen;
  const char* text;
  bool accepted;
  const char* from;  // expected move when accepted
  const char* to;
  int flags;
  const char* textAfter;  // the text as ParseMoveText leaves it
};

const char* const Start = StartFen;
// White pawn on e7 with e8 empty; white king e1 can step to e2.
const char* const Promoting = "k7/4P3/8/8/8/8/8/4K3 w - -";
// The knight on e2 is pinned against its king by the rook on e7.
const char* const PinnedKnight = "4k3/4r3/8/8/8/8/4N3/4K3 w - -";
const char* const CanCastle = "4k3/8/8/8/8/8/8/4K2R w K -";
// Black has just played d7-d5 beside the pawn on e5.
const char* const EnPassant = "4k3/8/8/3pP3/8/8/8/4K3 w - d6";

const ParseCase parseCases[] = {
    {Start, "E2E4", true, "e2", "e4", FlagDoubleStep, "e2e4"},
    {Start, "e2e3", true, "e2", "e3", 0, "e2e3"},
    {Start, "g1f3", true, "g1", "f3", 0, "g1f3"},
    {Start, "e2e4q", false, "", "", 0, "e2e4q"},
    {Start, "e2e5", false, "", "", 0, "e2e5"},
    {Start, "e7e5", false, "", "", 0, "e7e5"},  // not white's pawn
    {Start, "O-O", false, "", "", 0, "O-O"},
    {Start, "o-o-o", false, "", "", 0, "o-o-o"},  // third character is no letter
    {Start, "e2e9", false, "", "", 0, "e2e9"},
    {Start, "i2i4", false, "", "", 0, "i2i4"},
    {Start, "e0e1", false, "", "", 0, "e0e1"},
    {Start, "e2e4 ", false, "", "", 0, "e2e4 "},
    {Start, "e2e", false, "", "", 0, "e2e"},
    {Start, "e2e4qq", false, "", "", 0, "e2e4qq"},
    {Promoting, "e7e8", true, "e7", "e8", FlagPromoteQueen, "e7e8"},
    {Promoting, "e7e8n", true, "e7", "e8", FlagPromoteKnight, "e7e8n"},
    {Promoting, "E7E8R", true, "e7", "e8", FlagPromoteRook, "e7e8r"},
    {Promoting, "e7e8b", true, "e7", "e8", FlagPromoteBishop, "e7e8b"},
    {Promoting, "e7e8k", false, "", "", 0, "e7e8k"},
    {Promoting, "e1e2", true, "e1", "e2", 0, "e1e2"},
    {Promoting, "e1e2x", false, "", "", 0, "e1e2x"},
    {Promoting, "e1e2q", false, "", "", 0, "e1e2q"},  // a letter on a move that is no promotion
    {PinnedKnight, "e2c3", false, "", "", 0, "e2c3"},
    {PinnedKnight, "e1d1", true, "e1", "d1", 0, "e1d1"},
    {CanCastle, "e1g1", true, "e1", "g1", FlagCastle, "e1g1"},
    {CanCastle, "O-O", false, "", "", 0, "O-O"},
    {EnPassant, "e5d6", true, "e5", "d6", FlagEnPassant, "e5d6"},
    {EnPassant, "e5e6", true, "e5", "e6", 0, "e5e6"},
};

TEST_F(MoveTextTest, ParseAcceptsExactlyTheLegalMovesNamed) {
  for (const ParseCase& c : parseCases) {
    SCOPED_TRACE(std::string(c.fen) + " / " + c.text);
    Position pos = FromFen(c.fen);
    const Position before = pos;
    std::string text = c.text;
    Move move = NoMove;
    ASSERT_EQ(ParseMoveText(pos, text, move), c.accepted);
    EXPECT_EQ(text, c.textAfter);
    // Accepted or not, the position itself is untouched.
    EXPECT_EQ(pos.hashKey, before.hashKey);
    EXPECT_EQ(0, memcmp(pos.board, before.board, sizeof pos.board));
    EXPECT_EQ(pos.sideToMove, before.sideToMove);
    if (!c.accepted) continue;
    EXPECT_EQ(move.from, Sq(c.from));
    EXPECT_EQ(move.to, Sq(c.to));
    EXPECT_EQ(move.flags, c.flags);
  }
}

TEST_F(MoveTextTest, FourCharacterPromotionTakesTheFirstGeneratedOne) {
  Position pos = FromFen(Promoting);
  std::string text = "e7e8";
  Move move;
  ASSERT_TRUE(ParseMoveText(pos, text, move));
  // The list the parser generated is still in the position: the first e7-e8 entry wins.
  for (int i = 1; i <= pos.moveCount; ++i) {
    const Move& m = pos.moveList[i];
    if (m.from == Sq("e7") && m.to == Sq("e8")) {
      EXPECT_TRUE(SameMove(m, move));
      break;
    }
  }
}

// The first, third and fifth characters are lowered even when the text is refused.
TEST_F(MoveTextTest, RefusedTextIsStillLowered) {
  Position pos = FromFen(Start);
  std::string text = "E2E5Q";
  Move move;
  EXPECT_FALSE(ParseMoveText(pos, text, move));
  EXPECT_EQ(text, "e2e5q");
}

struct TextCase {
  const char* from;
  const char* to;
  int flags;
  const char* text;
};

const TextCase textCases[] = {
    {"g7", "g8", FlagPromoteKnight, "g7g8n"}, {"g7", "g8", FlagPromoteBishop, "g7g8b"},
    {"g7", "g8", FlagPromoteRook, "g7g8r"},   {"g7", "g8", FlagPromoteQueen, "g7g8q"},
    {"e8", "g8", FlagCastle, "e8g8"},         {"e1", "c1", FlagCastle, "e1c1"},
    {"e5", "d6", FlagEnPassant, "e5d6"},      {"e2", "e4", FlagDoubleStep, "e2e4"},
    {"a1", "h8", 0, "a1h8"},                  {"h8", "a1", 0, "h8a1"},
    {"b2", "a1", FlagPromoteQueen, "b2a1q"},
};

TEST_F(MoveTextTest, MoveTextWritesCoordinates) {
  for (const TextCase& c : textCases) {
    SCOPED_TRACE(c.text);
    Move move{12345, static_cast<int8_t>(Sq(c.from)), static_cast<int8_t>(Sq(c.to)),
              static_cast<int8_t>(c.flags), 0};
    char buffer[MoveTextSize];
    memset(buffer, 'x', sizeof buffer);
    MoveText(move, buffer);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(MoveText(move), c.text);
  }
}

std::vector<Move> Variation(int length) {
  // a2a3, b2b3, ... cycling through the files so that the printed text is predictable.
  std::vector<Move> moves;
  for (int i = 0; i < length; ++i) {
    int file = i % 8;
    moves.push_back(Move{0, static_cast<int8_t>(MakeSquare(file, 1)),
                         static_cast<int8_t>(MakeSquare(file, 2)), 0, 0});
  }
  moves.push_back(NoMove);
  return moves;
}

TEST_F(MoveTextTest, AppendVariationPrintsAtMostFortyNineMoves) {
  const struct {
    int length;
    int printed;
  } cases[] = {{0, 0}, {1, 1}, {48, 48}, {49, 49}, {50, 49}, {60, 49}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<Move> variation = Variation(c.length);
    std::string text = "pv";
    AppendVariation(text, variation.data());
    std::string expected = "pv";
    for (int i = 0; i < c.printed; ++i) {
      expected += ' ';
      expected += MoveText(variation[i]);
    }
    EXPECT_EQ(text, expected);
    // Each printed move is a blank and four characters.
    EXPECT_EQ(text.size(), 2u + 5u * c.printed);
  }
}

TEST_F(MoveTextTest, AppendVariationStartsWithABlank) {
  Move variation[] = {{0, static_cast<int8_t>(Sq("e2")), static_cast<int8_t>(Sq("e4")), FlagDoubleStep, 0},
                      {0, static_cast<int8_t>(Sq("e7")), static_cast<int8_t>(Sq("e8")), FlagPromoteQueen, 0},
                      NoMove};
  std::string text;
  AppendVariation(text, variation);
  EXPECT_EQ(text, " e2e4 e7e8q");
}

}  // namespace
