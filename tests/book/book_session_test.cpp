// The book through the engine binary, as a GUI drives it. The book has one move at each
// node, so every reply is known: the book's move at once, or a search.

#include <gtest/gtest.h>

#include <regex>

#include "book_test_support.h"
#include "frontend/engine_process.h"

namespace {

// Runs the engine in a scratch directory holding the settings and the book file.
class BookSession : public ::testing::Test {
 protected:
  void SetUp() override { InitTables(); }
  void Start(const std::string& bookBytes) {
    std::ofstream(directory_.path + "/skarne.ini") << "HashSize=16Mb\nBook=opening.boo\n";
    std::ofstream(directory_.path + "/opening.boo", std::ios::binary) << bookBytes;
    engine_ = std::make_unique<EngineProcess>(directory_.path);
    engine_->Send("xboard\nprotover 2");
    // A book, loaded or not, adds nothing to the start-up's lines.
    ASSERT_EQ(engine_->ReadLine().value_or("").rfind("feature ping=1 ", 0), 0u);
    ASSERT_EQ(engine_->ReadLine(), "feature done=1");
  }

  // Commands separated by ", ", a bare move standing for "usermove", and then "time" and
  // "go": "book e2e4" when the engine's move comes before any thinking line, else "search"
  // (and the search is cut short).
  std::string Reply(const std::string& script) {
    static const std::regex move(R"(([a-h][1-8]){2})"), thinking(R"(^\d+ -?\d+ \d+ \d+ .*)");
    for (size_t at = 0, end = 0; end < script.size(); at = end + 2) {
      end = std::min(script.find(", ", at), script.size());
      const std::string command = script.substr(at, end - at);
      engine_->Send(std::regex_match(command, move) ? "usermove " + command : command);
    }
    engine_->Send("post\ntime 360000\ngo");
    const std::string first = engine_->ReadLine(30000).value_or("<nothing>");
    if (first.rfind("move ", 0) == 0) return "book " + first.substr(5);
    if (!std::regex_match(first, thinking)) return first;
    engine_->Send("?");
    while (auto line = engine_->ReadLine(30000))
      if (line->rfind("move ", 0) == 0) return "search";
    return "no move after the search";
  }

  ScratchDirectory directory_;
  std::unique_ptr<EngineProcess> engine_;
};

TEST_F(BookSession, BookMovesUntilTheGameLeavesTheBook) {
  // A book cut short is never consulted.
  const std::string bytes = LineBook({"a2a3 e7e5 h2h3 b8c6"}).Bytes();
  Start(bytes.substr(0, bytes.size() - 1));
  EXPECT_EQ(Reply("new"), "search");
  Start(bytes);
  // Rows in one session, each leaving the engine, white, to move.
  const std::pair<const char*, const char*> cases[] = {
      {"new", "book a2a3"},
      {"new, force, a2a3, e7e5", "book h2h3"},
      {"new, force, a2a3, d7d5", "search"},  // the opponent leaves the book
      // Out of the book and back to the start position: the book is not taken up again.
      {"new, force, b1c3, b8c6, c3b1, c6b8", "search"},
      // Takebacks end book play, whether the position is in the book or not.
      {"new, force, a2a3, e7e5, h2h3, undo", "search"},
      {"new, force, a2a3, e7e5, remove", "search"},
      // Only a game begun with "new" is played from the book.
      {"new, setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "search"},
      {"new", "book a2a3"},
      {"force, e7e5", "book h2h3"},  // the engine's own book move moved the cursor too
  };
  for (const auto& [script, reply] : cases) EXPECT_EQ(Reply(script), reply) << script;
}

}  // namespace
