// skarne-book run as a process: bad inputs leave an existing book alone, dump and probe show
// a hand-counted book.

#include <sys/wait.h>

#include "book_tool_support.h"

namespace {

struct ToolRun { int status; std::string out, err; };

// Runs in `folder`, so that the arguments and the output name files there.
ToolRun RunTool(const std::string& folder, const std::string& arguments) {
  const std::string command = "cd " + ShellQuoted(folder) + " && " + ShellQuoted(SKARNE_BOOK_TOOL) + " " + arguments;
  const int status = std::system((command + " >out 2>err").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(folder + "/out"), ReadFileBytes(folder + "/err")};
}

// Polyglot entries, big-endian: key, move 1. e4, weight 1, learn 0.
std::string Entry(uint64_t key) {
  std::string bytes;
  for (int shift = 56; shift >= 0; shift -= 8) bytes += char(key >> shift);
  return bytes + std::string{0x03, 0x1c, 0, 1, 0, 0, 0, 0};
}
const std::string Start = Entry(0x463b96181691fc9cull), Elsewhere = Entry(1);

TEST(BookCommand, BuildReportsBadInputAndKeepsAnExistingBook) {
  // The inputs "missing" and "directory" name no file and a folder.
  const struct { std::string input; int status; const char* message; } rows[] = {
      {"[Event \"a\"]\n1. e4 e5 2. Nf3 *\n\n[Event \"b\"]\n1. d4 d5\n2. Ke3 Nf6 *\n", 0,
       "in:6: illegal move \"Ke3\" in the game from line 4; keeping its 2 moves before it"},
      {"this is not chess\n", 1, "no game from the start position with a readable move"},
      {"", 1, "no game from the start position with a readable move"},
      {Start.substr(0, 12), 1, "is not a multiple of 16"},
      {Start + Elsewhere, 1, "must be sorted by key"},
      {Elsewhere, 1, "no book moves"},
      {"missing", 1, "cannot open"},
      {"directory", 1, "cannot read"},
  };
  InitTablesOnce();
  const ScratchDirectory scratch;
  for (size_t r = 0; r < std::size(rows); ++r) {
    const auto& row = rows[r];
    SCOPED_TRACE(row.message);
    const std::string folder = scratch.path + "/" + std::to_string(r);
    std::filesystem::create_directories(folder);
    if (row.input == "directory") std::filesystem::create_directories(folder + "/in");
    else if (row.input != "missing") WriteFileBytes(folder + "/in", row.input);
    WriteFileBytes(folder + "/out.boo", "an older book");
    const ToolRun run = RunTool(folder, "build -o out.boo in");
    EXPECT_EQ(run.status, row.status) << run.err;
    const size_t found = run.err.find(row.message);
    EXPECT_TRUE(found != std::string::npos && run.err.find(row.message, found + 1) == std::string::npos)
        << "reported once: " << run.err;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << "left behind";
    if (row.status != 0) {
      EXPECT_EQ(ReadFileBytes(folder + "/out.boo"), "an older book");
      continue;
    }
    const Book book = LoadBook((folder + "/out.boo").c_str());
    ASSERT_TRUE(book.loaded) << book.errorText;
    EXPECT_EQ(book.nodeCount(), 6u) << "1. e4 e5 2. Nf3 and the bad game's 1. d4 d5";
  }
}

// Ties go in move-list order; the position after 1. e4 e5 2. Nf3 Nc6 is reached both ways and
// shown once with its continuation.
TEST(BookCommand, DumpAndProbeShowHandCountedShares) {
  const ScratchDirectory scratch;
  const std::string& folder = scratch.path;
  WriteFileBytes(folder + "/games.pgn", "1. e4 e5 2. Nf3 Nc6 *\n1. Nf3 Nc6 2. e4 e5 3. Bb5 *\n1. e4 c5 1-0\n1. d4 d5 0-1\n");
  WriteFileBytes(folder + "/short.boo", "ab");
  ASSERT_EQ(RunTool(folder, "build -o book.boo games.pgn").status, 0);
  const struct { const char* arguments; int status; const char* out; } rows[] = {
      {"dump book.boo", 0,
       "book.boo: max ply 20, min games 1, 12 positions, 12 moves\n1. e4  2  50.0%\n  1... c5  1  50.0%\n"
       "  1... e5  1  50.0%\n    2. Nf3  1  100.0%\n      2... Nc6  1  100.0%\n        3. Bb5  1  100.0%\n"
       "1. d4  1  25.0%\n  1... d5  1  100.0%\n1. Nf3  1  25.0%\n  1... Nc6  1  100.0%\n    2. e4  1  100.0%\n"
       "      2... e5  1  100.0%  (transposition, continued above)\n"},
      {"dump short.boo", 1, "short.boo: not loaded: Fail reading signature\n"},
      {"probe book.boo", 0, "e2e4  e4  2  50.0%\nd2d4  d4  1  25.0%\ng1f3  Nf3  1  25.0%\n"},
      {"probe book.boo e2e4", 0, "c7c5  c5  1  50.0%\ne7e5  e5  1  50.0%\n"},
      {"probe book.boo g1f3 b8c6 e2e4 e7e5", 0, "f1b5  Bb5  1  100.0%\n"},
      {"probe book.boo e2e4 c7c5", 1, "no book moves\n"},
      {"probe book.boo e2e4 e7e6 g1f3", 1, "no book moves\n"},
      {"probe book.boo e2e5", 2, "not a legal move here: e2e5\n"},
  };
  for (const auto& row : rows) {
    const ToolRun run = RunTool(folder, row.arguments);
    EXPECT_EQ(run.status, row.status) << row.arguments;
    EXPECT_EQ(run.out, row.out) << row.arguments;
  }
}

}  // namespace
