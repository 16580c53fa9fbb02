// skarne-book run as a process: bad inputs leave an existing book alone, dump and probe show
// hand-counted books.

#include <sys/wait.h>

#include "book_tool_support.h"

namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun RunTool(const std::string& folder, const std::string& arguments) {
  const std::string command =
      std::string(SKARNE_BOOK_TOOL) + " " + arguments + " >" + folder + "/stdout 2>" + folder + "/stderr";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(folder + "/stdout"), ReadText(folder + "/stderr")};
}

// One polyglot entry: key, move, weight and learn, big-endian.
std::string Entry(uint64_t key, uint16_t move) {
  std::string bytes;
  for (int shift = 56; shift >= 0; shift -= 8) bytes += char(key >> shift);
  bytes += {char(move >> 8), char(move), 0, 1, 0, 0, 0, 0};
  return bytes;
}

constexpr uint64_t StartKey = 0x463b96181691fc9cull;
constexpr uint16_t E2E4 = 0x31c;

TEST(BookCommand, BuildReportsBadInputAndKeepsAnExistingBook) {
  const struct {
    const char* name;
    std::string input;  // empty name of a file not written: a missing input
    int status;
    const char* message;
  } rows[] = {
      {"bad_game", "[Event \"a\"]\n1. e4 e5 2. Nf3 *\n\n[Event \"b\"]\n1. d4 d5\n2. Ke3 Nf6 *\n", 0,
       "in:6: illegal move \"Ke3\" in the game from line 4; keeping its 2 moves before it"},
      {"text_without_games", "this is not chess\n", 1, "no game from the start position with a readable move"},
      {"empty_file", "", 1, "no game from the start position with a readable move"},
      {"truncated_polyglot", Entry(StartKey, E2E4).substr(0, 12), 1, "is not a multiple of 16"},
      {"unsorted_polyglot", Entry(StartKey, E2E4) + Entry(1, E2E4), 1, "must be sorted by key"},
      {"polyglot_without_start", Entry(1, E2E4), 1, "no book moves"},
      {"missing_input", "missing", 1, "cannot open"},
      {"directory_input", "directory", 1, "cannot read"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string folder = TempFolder() + "/" + row.name;
    std::filesystem::create_directories(folder);
    if (row.input == "directory") std::filesystem::create_directories(folder + "/in");
    else if (row.input != "missing") WriteText(folder + "/in", row.input);
    WriteText(folder + "/out.boo", "an older book");
    const ToolRun run = RunTool(folder, "build -o " + folder + "/out.boo " + folder + "/in");
    EXPECT_EQ(run.status, row.status) << run.err;
    const size_t found = run.err.find(row.message);
    EXPECT_NE(found, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(row.message, found + 1), std::string::npos) << "reported once: " << run.err;
    int leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      leftovers += entry.path().filename().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(leftovers, 0);
    if (row.status != 0) {
      EXPECT_EQ(ReadText(folder + "/out.boo"), "an older book");
      continue;
    }
    InitTablesOnce();
    const Book book = LoadBook((folder + "/out.boo").c_str());
    ASSERT_TRUE(book.loaded) << book.errorText;
    EXPECT_EQ(book.nodeCount(), 6u) << "1. e4 e5 2. Nf3 and the bad game's 1. d4 d5";
  }
}

TEST(BookCommand, DumpAndProbeShowHandCountedShares) {
  const std::string folder = TempFolder();
  WriteText(folder + "/games.pgn",
            "1. e4 e5 2. Nf3 Nc6 *\n1. Nf3 Nc6 2. e4 e5 3. Bb5 *\n1. e4 c5 1-0\n1. d4 d5 0-1\n");
  const std::string book = folder + "/book.boo";
  ASSERT_EQ(RunTool(folder, "build -o " + book + " " + folder + "/games.pgn").status, 0);
  // Ties go in move-list order; the position after 1. e4 e5 2. Nf3 Nc6 is reached both ways
  // and shown once with its continuation.
  EXPECT_EQ(RunTool(folder, "dump " + book).out, book + ": max ply 20, min games 1, 12 positions, 12 moves\n" +
                                                    "1. e4  2  50.0%\n"
                                                    "  1... c5  1  50.0%\n"
                                                    "  1... e5  1  50.0%\n"
                                                    "    2. Nf3  1  100.0%\n"
                                                    "      2... Nc6  1  100.0%\n"
                                                    "        3. Bb5  1  100.0%\n"
                                                    "1. d4  1  25.0%\n"
                                                    "  1... d5  1  100.0%\n"
                                                    "1. Nf3  1  25.0%\n"
                                                    "  1... Nc6  1  100.0%\n"
                                                    "    2. e4  1  100.0%\n"
                                                    "      2... e5  1  100.0%  (transposition, continued above)\n");
  const struct {
    const char* arguments;
    int status;
    const char* out;
  } rows[] = {
      {"", 0, "e2e4  e4  2  50.0%\nd2d4  d4  1  25.0%\ng1f3  Nf3  1  25.0%\n"},
      {"e2e4", 0, "c7c5  c5  1  50.0%\ne7e5  e5  1  50.0%\n"},
      {"g1f3 b8c6 e2e4 e7e5", 0, "f1b5  Bb5  1  100.0%\n"},
      {"e2e4 c7c5", 1, "no book moves\n"},
      {"e2e4 e7e6 g1f3", 1, "no book moves\n"},
      {"e2e5", 2, "not a legal move here: e2e5\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const ToolRun run = RunTool(folder, "probe " + book + " " + row.arguments);
    EXPECT_EQ(run.status, row.status);
    EXPECT_EQ(run.out, row.out);
  }
  WriteText(folder + "/short.boo", "ab");
  const ToolRun broken = RunTool(folder, "dump " + folder + "/short.boo");
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.out, folder + "/short.boo: not loaded: Fail reading signature\n");
}

}  // namespace
