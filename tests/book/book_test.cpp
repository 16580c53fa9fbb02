// The book file's loader, the weighted probe, and the cursor through the engine binary.
// Transpositions sharing a node are the book tool's tests' (its dump and probe read the
// loaded book); damaged files walked by the probe are the book fuzz target's.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "board/board.h"
#include "book/book.h"
#include "frontend/engine_process.h"

// A loader that trusts a file's counts asks for gigabytes before it finds the file too
// short: such a request is refused, so that the test fails instead of the machine.
__attribute__((noinline)) void* operator new(size_t size) {
  void* p = size > (size_t(1) << 30) ? nullptr : std::malloc(size ? size : 1);
  return p ? p : throw std::bad_alloc();
}
// Out of line, so that the compiler does not pair this malloc and free with new and delete.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept { std::free(p); }

// The fields of a book file, written bit by bit independently of the loader; a count left
// empty is the number of values given. The default is a good book: the root's fifth move.
struct BookFields {
  uint32_t signature = 0xb00ee151, maxPly = 1, minGames = 0;
  std::vector<uint32_t> weights = {1};
  uint32_t weightWidth = 16;
  std::optional<uint32_t> weightCount = {};
  std::vector<uint32_t> codes = {5, 0};
  uint32_t codeWidth = 8;
  std::optional<uint32_t> codeCount = {};
  size_t cut = std::string::npos, padding = 0;  // bytes kept; zero bytes after the codes

  std::string Bytes() const {
    std::string bytes;
    uint64_t used = 0;
    auto put = [&](uint64_t value, uint32_t bits) {
      for (uint32_t b = 0; b < bits; ++b, ++used)
        bytes.resize(used / 8 + 1), bytes.back() = char(bytes.back() | (value >> b & 1) << used % 8);
    };
    put(signature, 32), put(maxPly, 8), put(minGames, 8);
    put(weightCount.value_or(uint32_t(weights.size())), 32), put(weightWidth, 8);
    for (uint32_t w : weights) put(w, weightWidth);
    put(codeCount.value_or(uint32_t(codes.size())), 32), put(codeWidth, 8);
    for (uint32_t c : codes) put(c, codeWidth);
    return (bytes + std::string(padding, '\0')).substr(0, cut);
  }
};

static Book LoadBytes(const std::string& bytes) {
  InitTables();
  static const ScratchDirectory directory;
  const std::string path = directory.path + "/test.boo";
  std::ofstream(path, std::ios::binary) << bytes;
  Book book = LoadBook(path.c_str());
  std::filesystem::remove(path);  // rewriting a file in place waits for the disk
  return book;
}

TEST(BookLoad, FirstErrorAndDecodedTree) {
  const char* const TooFar = "last[ply] > p[ply].moves.n (ply = 0, last[ply] = 21, p[ply].moves.n = 20)";
  constexpr uint32_t Huge = 4000000000u;
  // The file; its first error, the nodes and edges decoded (after a tree error too) and the
  // root's move entries in list order. Bytes: signature 4, max_ply, min_games, W 4, width, ...
  const struct {
    BookFields file;
    std::string error;
    uint32_t nodes = 0, edges = 0;
    std::string rootMoves = "";
  } cases[] = {
      {{.cut = 3}, "Fail reading signature"},
      {{.signature = 0xb00ee150}, "Invalid signature"},
      {{.cut = 4}, "Fail reading max_ply"},
      {{.cut = 5}, "Fail reading min_games"},
      {{.cut = 9}, "Fail reading weights vector"},
      {{.weightWidth = 17}, "Fail reading weights vector"},
      // 20 bytes that claim four billion weights, or as many taking no bits at all.
      {{.weights = {}, .weightCount = Huge, .codes = {}, .padding = 4}, "Fail reading weights vector"},
      {{.weightWidth = 0, .weightCount = Huge, .codes = {}}, "Fail reading weights vector"},
      {{.codeWidth = 9}, "Fail reading tree vector"},
      {{.codes = {}, .codeCount = Huge, .padding = 4}, "Fail reading tree vector"},
      {{.weights = {}, .codes = {}}, "Empty weights vector"},
      {{.codes = {}}, "", 1, 0, ""},  // the root alone
      {{}, "", 2, 1, "5 "},
      {{.weights = {1, 1, 1}, .codes = {1, 0, 1, 0, 18, 0}}, "", 4, 3, "20 2 1 "},
      {{.maxPly = 2, .weights = {1, 1}, .codes = {5, 1, 0, 0}}, "", 3, 2, "5 "},
      {{.weights = {1, 1}, .codes = {5, 3, 0, 0}}, "Ply too big (ply = 1, i = 1)", 2, 1, "5 "},
      {{.maxPly = 2, .weights = {1, 1}, .codes = {5, 0, 0}}, "stack underflow", 2, 1, "5 "},
      {{.maxPly = 2, .weights = {1, 1}, .codes = {5, 3}}, "ply != 0", 3, 2, "5 "},
      {{.weights = {1, 1}, .codes = {5, 0, 16}}, TooFar, 2, 1, "5 "},
      // One weight: both node map slots are taken when the second edge looks its position up.
      {{.codes = {5, 0, 3, 0}}, "o >= nWeights (o = 1, nWeights = 1)", 3, 1, "5 "},
  };
  for (const auto& c : cases) {
    const std::string bytes = c.file.Bytes();
    SCOPED_TRACE(::testing::PrintToString(c.file.codes) + ", " + std::to_string(bytes.size()) + " bytes");
    const Book book = LoadBytes(bytes);
    EXPECT_EQ(book.errorText, c.error);
    EXPECT_EQ(book.loaded, c.error.empty());
    EXPECT_EQ(book.nodeCount(), c.nodes);
    EXPECT_EQ(book.edgeCount(), c.edges);
    std::string rootMoves;
    for (int32_t e = c.nodes ? book.head.Get(0) : -1; e >= 0 && rootMoves.size() < 20; e = book.next.Get(e))
      rootMoves += std::to_string(book.moveIndex.Get(e)) + " ";
    EXPECT_EQ(rootMoves, c.rootMoves);
  }
  const ScratchDirectory directory;  // a path that is no readable file fails like a missing one
  for (std::string path : {directory.path + "/missing.boo", directory.path})
    EXPECT_STREQ(LoadBook(path.c_str()).errorText, "Fail reading signature") << path;
}

TEST(BookProbe, DrawsInProportionToTheWeights) {
  constexpr int Probes = 100000;
  // Weights of the root's edges in code order, to the moves of list entries 1, 2, ...
  const std::vector<uint32_t> cases[] = {{3, 1}, {1, 3}, {65535, 65535, 65535, 1}, {0, 0}};
  for (const auto& weights : cases) {
    BookFields fields{.weights = weights, .codes = {}};
    for (size_t k = 0; k < weights.size(); ++k) fields.codes.insert(fields.codes.end(), {1, 0});
    const Book book = LoadBytes(fields.Bytes());
    double total = 0;
    for (uint32_t w : weights) total += w;
    RandomState generator;
    RandomSeed(generator, 2024);
    std::vector<int> chosen(weights.size() + 1, 0);
    for (int probe = 0, index; probe < Probes; ++probe) {
      index = BookProbe(book, generator);
      ASSERT_TRUE(total ? index >= 1 && index <= int(weights.size()) : index == -1) << index;
      chosen[size_t(std::max(index, 0))]++;
    }
    for (size_t k = 0; k < weights.size() && total > 0; ++k) {  // within five deviations
      const double p = weights[k] / total;
      EXPECT_NEAR(chosen[k + 1], Probes * p, 5 * std::sqrt(Probes * p * (1 - p)) + 1) << k + 1;
    }
  }
}

// The engine as a GUI drives it, from a directory holding its settings and a book with one
// move at each node, so every reply is known: the book's move at once, or a search.
TEST(BookSession, BookMovesUntilTheGameLeavesTheBook) {
  const ScratchDirectory directory;
  std::unique_ptr<EngineProcess> engine;
  auto start = [&](const std::string& bookBytes) {
    std::ofstream(directory.path + "/skarne.ini") << "HashSize=16Mb\nBook=opening.boo\n";
    std::ofstream(directory.path + "/opening.boo", std::ios::binary) << bookBytes;
    engine = std::make_unique<EngineProcess>(directory.path);
    engine->Send("xboard\nprotover 2");  // a book, loaded or not, adds no start-up line
    EXPECT_EQ(engine->ReadLine().value_or("").rfind("feature ping=1 ", 0), 0u);
    EXPECT_EQ(engine->ReadLine(), "feature done=1");
  };
  // Commands separated by ", " (a bare move stands for "usermove"), then "go": "book e2e4"
  // when the engine's move comes before any thinking line, else "search" (cut short).
  auto replyTo = [&](const std::string& script) -> std::string {
    engine->SendScript(script);
    engine->Send("post\ntime 360000\ngo");
    for (bool thought = false; auto line = engine->ReadLine(30000);) {
      if (line->rfind("move ", 0) == 0) return thought ? "search" : "book " + line->substr(5);
      if (!thought && std::isdigit((*line)[0])) thought = true, engine->Send("?");
    }
    return "no move";
  };
  // One game built by the book tool: one move at each node.
  WriteFileBytes(directory.path + "/line.pgn", "1. a3 e5 2. h3 Nc6 *\n");
  const std::string build =
      "cd " + ShellQuoted(directory.path) + " && " + ShellQuoted(SKARNE_BOOK_TOOL) + " build -o line.boo line.pgn 2>/dev/null";
  ASSERT_EQ(std::system(build.c_str()), 0);
  const std::string bytes = ReadFileBytes(directory.path + "/line.boo");
  start(bytes.substr(0, bytes.size() - 1));
  EXPECT_EQ(replyTo("new"), "search");  // a book cut short is never consulted
  start(bytes);
  const std::pair<const char*, const char*> cases[] = {  // in one session, the engine white
      {"new", "book a2a3"},
      {"new, force, a2a3, e7e5", "book h2h3"},
      {"new, force, a2a3, d7d5", "search"},  // the opponent leaves the book
      {"new, force, b1c3, b8c6, c3b1, c6b8", "search"},  // out, and back: out for good
      {"new, force, a2a3, e7e5, h2h3, undo", "search"},  // takebacks end book play
      {"new, force, a2a3, e7e5, remove", "search"},
      {"new, setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "search"},
      {"new", "book a2a3"},
      {"force, e7e5", "book h2h3"},  // the engine's own book move moved the cursor too
  };
  for (const auto& [script, reply] : cases) EXPECT_EQ(replyTo(script), reply) << script;
}
