#pragma once
// The book builder behind skarne-book. Inputs (PGN games, polyglot books) are tallied by
// position; the tallies give a tree of kept moves; the tree is encoded as the engine's book
// file. dump and probe read a book back through the engine's own loader.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "board/position.h"

// ---- Tallies: what the inputs say about each position, keyed by the engine's hashKey (the
// identity the loader merges transpositions by, so the builder must merge the same way).

struct MoveTally {
  int index;          // in the position's GenerateLegalMoves list, 1..moveCount
  uint64_t childKey;
  uint64_t games;     // games that played it (a polyglot entry's weight counts as games)
  uint64_t points;    // 2 a win, 1 a draw or unknown result, for the side that played it
};
using Tallies = std::unordered_map<uint64_t, std::vector<MoveTally>>;

void TallyMove(Tallies& tallies, uint64_t key, int index, uint64_t childKey, uint64_t games,
               uint64_t points);

// ---- The tree that gets written.

enum class WeightKind { Games, Score };

struct BuildOptions {
  int maxPly = 20;
  int minGames = 1;
  int width = 16;
  WeightKind weights = WeightKind::Games;
};

struct TreeEdge {
  int moveIndex;
  uint32_t weight;
  int child;
};
struct TreeNode {
  uint64_t key;
  int depth;                    // fewest plies from the start position over kept moves
  std::vector<TreeEdge> edges;  // ascending moveIndex
};
struct BookTree {
  BuildOptions options;
  std::vector<TreeNode> nodes;  // node 0 is the start position
  size_t EdgeCount() const;
};

// Keeps the moves played in at least minGames games with a weight above 0, within maxPly
// plies of the start position, and scales each position's weights into the width.
BookTree BuildTree(const Tallies& tallies, const BuildOptions& options);
std::vector<uint8_t> EncodeBook(const BookTree& tree);

// ---- Inputs.

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);
// PGN is text; anything with control bytes is taken for a polyglot book.
bool LooksLikeText(std::string_view bytes);

enum class GameResult { WhiteWins, BlackWins, Draw, Unknown };

struct PgnGame {
  int firstLine = 0;
  bool fromSetUp = false;   // a "SetUp" or "FEN" tag: not from the start position
  std::vector<Move> moves;  // from the start position, at most maxPly, all legal
  GameResult result = GameResult::Unknown;
  int errorLine = 0;        // the first unreadable or illegal move, 0 if none
  std::string error;
};

// Reads the games of a PGN text in order; moves past maxPly are skipped unread.
void ReadPgnGames(std::string_view text, int maxPly, const std::function<void(const PgnGame&)>& onGame);

// Adds the games of a PGN file; each bad game is reported once on `report`. False (with
// error) when not one game from the start position has a readable move.
bool TallyPgn(std::string_view text, const std::string& fileName, int maxPly, Tallies& tallies,
              std::FILE* report, std::string& error);

// ---- Standard algebraic notation.

// The legal move that the text names; false with a reason when none or more than one does.
bool ParseSan(Position& pos, std::string_view text, Move& move, std::string& why);
// The SAN text of a legal move, with its check or mate mark.
std::string SanText(const Position& pos, const Move& move);

// ---- Polyglot books.

struct PolyglotEntry {
  uint64_t key;
  uint16_t move;
  uint16_t weight;
};

uint64_t PolyglotKey(const Position& pos);
// Checks the size and the key order and unpacks the entries.
bool ReadPolyglotEntries(std::string_view bytes, std::vector<PolyglotEntry>& entries, std::string& error);
// Our move for an entry's move field in pos; false when it names no legal move.
bool PolyglotMove(Position& pos, uint16_t code, Move& move);
// Walks from the start position through the moves stored under each position's key,
// shallowest positions first, up to maxPly. Returns the number of entries naming no legal
// move (key clashes in real books).
int TallyPolyglot(const std::vector<PolyglotEntry>& entries, int maxPly, Tallies& tallies);

// ---- The skarne-book commands; each returns the process status.

// Tallies every input (by content), builds and writes OUT through a temporary file.
int BuildBook(const std::vector<std::string>& inputs, const std::string& out, const BuildOptions& options,
              std::FILE* report);
// Writes to a temporary name beside path and renames it over path.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
int DumpBook(const char* path, int depth, std::FILE* out);
int ProbeBook(const char* path, const std::vector<std::string>& moves, std::FILE* out);
