// From tallies to the engine's book file.
//
// File layout, a bit stream read least significant bit first, no padding anywhere:
//   signature 32 (0xb00ee151) | max_ply 8 | min_games 8
//   weights count W 32 | weights width 8 | W weights
//   tree count T 32    | tree width 8    | T codes
// The codes walk the tree depth first: c > 0 descends to the child whose move-list index is
// c above the previous sibling's (the first sibling counts from 0); 0 closes a node's child
// list and climbs back. Every edge's descent is closed by one 0, so the root's own list needs
// no closing code.

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "board/board.h"
#include "notation/fen.h"
#include "tools/book/book_tool.h"

namespace {

constexpr uint32_t BookSignature = 0xb00ee151;

class BitWriter {
 public:
  void Write(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i, ++bitCount_) {
      if (bitCount_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(1u << (bitCount_ % 8));
    }
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t bitCount_ = 0;
};

int BitsFor(uint32_t value) { return 32 - std::countl_zero(value); }

uint64_t WeightOf(const MoveTally& move, WeightKind kind) {
  return kind == WeightKind::Games ? move.games : move.points;
}

// A position's weights keep their ratios as well as the width allows; only a position
// whose largest weight does not fit is scaled, and no kept move falls to 0.
void ScaleWeights(std::vector<TreeEdge>& edges, const std::vector<uint64_t>& raw, int width) {
  const uint64_t limit = (uint64_t{1} << width) - 1;
  const uint64_t largest = raw.empty() ? 0 : *std::max_element(raw.begin(), raw.end());
  for (size_t i = 0; i < edges.size(); ++i) {
    uint64_t weight = raw[i];
    if (largest > limit) {
      const unsigned __int128 scaled = (static_cast<unsigned __int128>(weight) * limit + largest / 2) / largest;
      weight = std::max<uint64_t>(1, static_cast<uint64_t>(scaled));
    }
    edges[i].weight = static_cast<uint32_t>(weight);
  }
}

struct Encoder {
  explicit Encoder(const BookTree& book) : tree(book), written(book.nodes.size()) {}
  const BookTree& tree;
  std::vector<bool> written;
  std::vector<uint32_t> weights;
  std::vector<uint8_t> codes;

  // A transposition's children are written once, at its first occurrence on its shallowest
  // ply (so no line runs past max ply); elsewhere it is an edge with no children, which the
  // loader links to the node it already knows.
  void Node(int node, int ply) {
    int last = 0;
    for (const TreeEdge& edge : tree.nodes[node].edges) {
      codes.push_back(static_cast<uint8_t>(edge.moveIndex - last));
      last = edge.moveIndex;
      weights.push_back(edge.weight);
      if (tree.nodes[edge.child].depth == ply + 1 && !written[edge.child]) {
        written[edge.child] = true;
        Node(edge.child, ply + 1);
      }
      codes.push_back(0);
    }
  }
};

}  // namespace

void TallyMove(Tallies& tallies, uint64_t key, int index, uint64_t childKey, uint64_t games, uint64_t points) {
  std::vector<MoveTally>& moves = tallies[key];
  for (MoveTally& move : moves) {
    if (move.index != index) continue;
    move.games += games;
    move.points += points;
    return;
  }
  moves.push_back({index, childKey, games, points});
}

size_t BookTree::EdgeCount() const {
  size_t count = 0;
  for (const TreeNode& node : nodes) count += node.edges.size();
  return count;
}

BookTree BuildTree(const Tallies& tallies, const BuildOptions& options) {
  BookTree tree{options, {}};
  Position start{};
  SetStartPosition(start);
  std::unordered_map<uint64_t, int> nodeOf{{start.hashKey, 0}};
  tree.nodes.push_back({start.hashKey, 0, {}});
  // Breadth first, so that each position's depth is its shallowest ply.
  std::vector<uint64_t> raw;
  for (size_t n = 0; n < tree.nodes.size(); ++n) {
    if (tree.nodes[n].depth >= options.maxPly) continue;
    auto found = tallies.find(tree.nodes[n].key);
    if (found == tallies.end()) continue;
    std::vector<MoveTally> moves = found->second;
    std::sort(moves.begin(), moves.end(), [](const MoveTally& a, const MoveTally& b) { return a.index < b.index; });
    std::vector<TreeEdge> edges;
    raw.clear();
    for (const MoveTally& move : moves) {
      const uint64_t weight = WeightOf(move, options.weights);
      if (move.games < static_cast<uint64_t>(options.minGames) || weight == 0) continue;
      auto [child, added] = nodeOf.try_emplace(move.childKey, static_cast<int>(tree.nodes.size()));
      if (added) tree.nodes.push_back({move.childKey, tree.nodes[n].depth + 1, {}});
      edges.push_back({move.index, 0, child->second});
      raw.push_back(weight);
    }
    ScaleWeights(edges, raw, options.width);
    tree.nodes[n].edges = std::move(edges);
  }
  return tree;
}

std::vector<uint8_t> EncodeBook(const BookTree& tree) {
  Encoder encoder(tree);
  encoder.written[0] = true;
  encoder.Node(0, 0);
  BitWriter out;
  out.Write(BookSignature, 32);
  out.Write(static_cast<uint32_t>(tree.options.maxPly), 8);
  out.Write(static_cast<uint32_t>(tree.options.minGames), 8);
  out.Write(static_cast<uint32_t>(encoder.weights.size()), 32);
  out.Write(static_cast<uint32_t>(tree.options.width), 8);
  for (uint32_t weight : encoder.weights) out.Write(weight, tree.options.width);
  uint8_t largestCode = 0;
  for (uint8_t code : encoder.codes) largestCode = std::max(largestCode, code);
  const int codeWidth = BitsFor(largestCode);
  out.Write(static_cast<uint32_t>(encoder.codes.size()), 32);
  out.Write(static_cast<uint32_t>(codeWidth), 8);
  for (uint8_t code : encoder.codes) out.Write(code, codeWidth);
  return out.Take();
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  bytes.clear();
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) error = "cannot read it (a directory?)";
  return !failed;
}

bool LooksLikeText(std::string_view bytes) {
  for (unsigned char c : bytes)
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1a) return false;
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = (std::fclose(file) == 0) && ok;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  error = "cannot write " + path + ": " + std::strerror(errno);
  std::remove(temporary.c_str());
  return false;
}

int BuildBook(const std::vector<std::string>& inputs, const std::string& out, const BuildOptions& options,
              std::FILE* report) {
  Tallies tallies;
  for (const std::string& input : inputs) {
    std::string bytes, error;
    bool ok = ReadWholeFile(input, bytes, error);
    if (ok && LooksLikeText(bytes)) {
      ok = TallyPgn(bytes, input, options.maxPly, tallies, report, error);
    } else if (ok) {
      std::vector<PolyglotEntry> entries;
      ok = ReadPolyglotEntries(bytes, entries, error);
      const int unplayable = ok ? TallyPolyglot(entries, options.maxPly, tallies) : 0;
      if (unplayable > 0)
        std::fprintf(report, "%s: %d entries name no legal move in their position; skipped\n", input.c_str(),
                     unplayable);
    }
    if (!ok) {
      std::fprintf(report, "skarne-book: %s: %s; nothing written\n", input.c_str(), error.c_str());
      return 1;
    }
  }
  const BookTree tree = BuildTree(tallies, options);
  if (tree.EdgeCount() == 0) {
    std::fprintf(report, "skarne-book: no book moves (none played in %d games or more within %d plies); nothing written\n",
                 options.minGames, options.maxPly);
    return 1;
  }
  const std::vector<uint8_t> bytes = EncodeBook(tree);
  std::string error;
  if (!WriteFileAtomically(out, bytes, error)) {
    std::fprintf(report, "skarne-book: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %zu positions, %zu moves, %zu bytes (max ply %d, min games %d, width %d)\n", out.c_str(),
              tree.nodes.size(), tree.EdgeCount(), bytes.size(), options.maxPly, options.minGames, options.width);
  return 0;
}
