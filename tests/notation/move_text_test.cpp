// Position text and move text on hand-made cases; random games in game_test.cpp read back
// the text of every position and move they pass.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "board/board.h"
#include "notation/notation.h"

namespace {

const char* const Promoting = "k7/4P3/8/8/8/8/8/4K3 w - -";

TEST(MoveText, ParseAcceptsExactlyTheLegalMovesNamed) {
  InitTables();
  const struct {
    const char* fen;
    const char* texts;  // each text and the move it names, or "-" for a refusal
  } cases[] = {
      {StartFen, "E2E4 e2e4 g1f3 g1f3 e2e4q - e2e5 - e7e5 - O-O - o-o-o - e2e9 - i2i4 - e0e1 - e2e - e2e4qq -"},
      {Promoting, "e7e8 e7e8q e7e8n e7e8n E7E8R e7e8r e7e8k - e1e2 e1e2 e1e2x - e1e2q -"},
      {"4k3/4r3/8/8/8/8/4N3/4K3 w - -", "e2c3 - e1d1 e1d1"},  // the knight is pinned
      {"4k3/8/8/8/8/8/8/4K2R w K -", "e1g1 e1g1 O-O -"},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5d6 e5d6 e5e6 e5e6"},
  };
  for (const auto& c : cases) {
    std::istringstream words(c.texts);
    for (std::string text, named; words >> text >> named;) {
      SCOPED_TRACE(std::string(c.fen) + " / " + text);
      Position pos{};
      ASSERT_TRUE(SetFromFen(pos, c.fen));
      const uint64_t key = pos.hashKey;
      Move move = NoMove;
      ASSERT_EQ(ParseMoveText(pos, text, move), named != "-");
      EXPECT_EQ(named == "-" ? "-" : MoveText(move), named);
      EXPECT_EQ(pos.hashKey, key);  // the position itself is untouched
    }
  }
}

// Each text is read as its plain form, or refused (no plain form) leaving the position as it was.
TEST(Fen, ReadsLenientFormsAndRefusesWhatCannotBePlayed) {
  InitTables();
  const std::string longText = "4k3/8/8/8/8/8/8/4K3 w -" + std::string(231, ' ') + " b";  // 'b' past 255 characters
  const std::pair<std::string, const char*> cases[] = {
      {"r3k2r/8/8/8/8/8/8/R3K2R w", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -"},  // no token: every right
      {"4k3/8/8/8/8/8/8/4K2R w KQkq -", "4k3/8/8/8/8/8/8/4K2R w K -"},  // rights need their men
      {"4k3/8/8/3pP3/8/8/8/4K3 w - e3", "4k3/8/8/3pP3/8/8/8/4K3 w - -"},  // no pawn just passed e3
      {"4k3/8/8/8/8/8/8/x3K3 w - -", "4k3/8/8/8/8/8/8/4K3 w - -"},      // an unknown letter is a gap
      {"4k3/8/8/8/8/8/8/4K3 w - - 37 80", "4k3/8/8/8/8/8/8/4K3 w - -"},  // no clock is read
      {"4k3/8/8/8/8/8/8/4K3 B - -", "4k3/8/8/8/8/8/8/4K3 w - -"},
      {"4k3/8/8/8/8/8/8/4K3\tb\t-", "4k3/8/8/8/8/8/8/4K3 b - -"},
      {longText, "4k3/8/8/8/8/8/8/4K3 w - -"},
      {"4k3/8/8/8/8/8/8/8/4K3 w - -", nullptr}, {"4k3/8/8/8/8/8/8/4K3", nullptr}, {"", nullptr},
      {"4k3/8/8/8/8/8/8/4K4 w - -", nullptr}, {"4k3/8/8/8/8/8/8/4K3p w - -", nullptr},
      {"4k3/8/8/8/8/8/8/8 w - -", nullptr}, {"4k3/8/8/8/8/8/8/3KK3 w - -", nullptr},
      {"8/8/8/8/8/8/8/4K3 w - -", nullptr}, {"4k3/8/8/8/8/8/8/P3K3 w - -", nullptr},
      {"P3k3/8/8/8/8/8/8/4K3 w - -", nullptr}, {"4k3/4Q3/8/8/8/8/8/4K3 w - -", nullptr},
      {"4k3/ppppppppp/8/8/8/8/8/4K3 w - -", nullptr}, {"4k3/pppppppp/p7/8/8/8/8/4K3 w - -", nullptr},
      {"qqqqkqqq/qqqqqqqq/q7/8/8/8/8/4K3 w - -", nullptr}, {"4k3/8/8/8/8/8/8/4K3 w - i3", nullptr},
      {"4k3/8/8/8/8/8/8/4K3 w - \xc3\xa9", nullptr}, {std::string(300, '8'), nullptr},
  };
  Position reference{};
  ASSERT_TRUE(SetFromFen(reference, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -"));
  for (const auto& [text, plain] : cases) {
    SCOPED_TRACE(text);
    Position read = reference, expected = reference;
    ASSERT_EQ(SetFromFen(read, text), plain != nullptr);
    ASSERT_TRUE(!plain || SetFromFen(expected, plain));
    EXPECT_EQ(read.hashKey, expected.hashKey);
    EXPECT_EQ(read.castling, expected.castling);
    EXPECT_EQ(read.epFile, expected.epFile);
    EXPECT_EQ(read.fiftyCounter, 0u);
  }
}

}  // namespace
