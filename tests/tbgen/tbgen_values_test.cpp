// The generator's tables read back through the file numbering and checked against chess
// worked out here from scratch: a board of men stepped square by square, a forward-iterating
// depth-to-mate solver for the three-man tables, and for four-man tables the rule that each
// position's value is the best of its moves' values. Nothing here uses the generator's code.
//
// The tables come from the skarne-tbgen binary, written into a fresh folder of the build
// tree; with SKARNE_TB_DIR set, the tables there are checked (missing ones are generated
// into it) and the four-man checks cover krkn and kpkp as well.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/tb_index.h"
#include "egdb/tb_probe.h"
#include "notation/notation.h"

namespace {

enum Kind { P, N, B, R, Q, K };
constexpr char Letters[] = "pnbrqk";

struct Man {
  int colour, kind, square;
};

// At most four men; ep is the en passant target square or -1.
struct Board {
  Man men[4];
  int count = 0;
  int side = 0;
  int ep = -1;
};

bool Inside(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

int ManAt(const Board& b, int square) {
  for (int i = 0; i < b.count; ++i)
    if (b.men[i].square == square) return i;
  return -1;
}

const int KnightSteps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
const int Lines[8][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}, {1, 1}, {1, -1}, {-1, -1}, {-1, 1}};

// Squares the man moves to or attacks, up to and including the first man on each line;
// pawns give their two capturing squares.
int Reach(const Board& b, const Man& m, int out[32]) {
  int n = 0;
  const int f = m.square % 8, r = m.square / 8;
  auto add = [&](int df, int dr) {
    if (Inside(f + df, r + dr)) out[n++] = (r + dr) * 8 + f + df;
  };
  if (m.kind == P)
    for (int df : {-1, 1}) add(df, m.colour == 0 ? 1 : -1);
  if (m.kind == N)
    for (auto& s : KnightSteps) add(s[0], s[1]);
  if (m.kind == K)
    for (auto& s : Lines) add(s[0], s[1]);
  if (m.kind == B || m.kind == R || m.kind == Q)
    for (int d = (m.kind == B ? 4 : 0); d < (m.kind == R ? 4 : 8); ++d)
      for (int k = 1; Inside(f + k * Lines[d][0], r + k * Lines[d][1]); ++k) {
        out[n++] = (r + k * Lines[d][1]) * 8 + f + k * Lines[d][0];
        if (ManAt(b, out[n - 1]) >= 0) break;
      }
  return n;
}

bool InCheck(const Board& b, int colour) {
  int king = -1, reach[32];
  for (int i = 0; i < b.count; ++i)
    if (b.men[i].colour == colour && b.men[i].kind == K) king = b.men[i].square;
  for (int i = 0; i < b.count; ++i)
    if (b.men[i].colour != colour)
      for (int k = 0, n = Reach(b, b.men[i], reach); k < n; ++k)
        if (reach[k] == king) return true;
  return false;
}

bool Legal(const Board& b) {
  for (int i = 0; i < b.count; ++i) {
    if (b.men[i].kind == P && (b.men[i].square < 8 || b.men[i].square >= 56)) return false;
    for (int j = 0; j < i; ++j)
      if (b.men[i].square == b.men[j].square) return false;
  }
  return !InCheck(b, 1 - b.side);
}

// A pawn of `colour` stands next to `square` on its rank.
bool PawnBeside(const Board& b, int square, int colour) {
  for (int i = 0; i < b.count; ++i) {
    const Man& m = b.men[i];
    if (m.kind == P && m.colour == colour && m.square / 8 == square / 8 && std::abs(m.square - square) == 1)
      return true;
  }
  return false;
}

// Every legal move's position into `out`; returns the count. A double step leaves an en
// passant square only when a pawn of the other side stands beside it to take.
int Moves(const Board& b, Board out[64]) {
  int moves = 0, reach[32];
  auto play = [&](int mover, int to, int kind, int takenSquare, bool doubleStep) {
    Board& next = out[moves];
    next = b;
    next.men[mover].square = to;
    next.men[mover].kind = kind;
    if (int taken = takenSquare < 0 ? -1 : ManAt(b, takenSquare); taken >= 0)
      std::copy(next.men + taken + 1, next.men + next.count--, next.men + taken);
    next.side = 1 - b.side;
    next.ep = doubleStep && PawnBeside(next, to, next.side) ? (to + b.men[mover].square) / 2 : -1;
    if (!InCheck(next, b.side)) ++moves;
  };
  for (int i = 0; i < b.count; ++i) {
    const Man& m = b.men[i];
    if (m.colour != b.side) continue;
    const int n = Reach(b, m, reach);
    if (m.kind != P) {
      for (int k = 0; k < n; ++k)
        if (int there = ManAt(b, reach[k]); there < 0 || b.men[there].colour != b.side) play(i, reach[k], m.kind, reach[k], false);
      continue;
    }
    const int step = b.side == 0 ? 8 : -8, rank = m.square / 8;
    auto pawnTo = [&](int to, int taken) {
      if (to / 8 != 0 && to / 8 != 7) return play(i, to, P, taken, false);
      for (int kind : {N, B, R, Q}) play(i, to, kind, taken, false);
    };
    if (ManAt(b, m.square + step) < 0) {
      pawnTo(m.square + step, -1);
      if (rank == (b.side == 0 ? 1 : 6) && ManAt(b, m.square + 2 * step) < 0) play(i, m.square + 2 * step, P, -1, true);
    }
    for (int k = 0; k < n; ++k) {
      if (int there = ManAt(b, reach[k]); there >= 0 && b.men[there].colour != b.side) pawnTo(reach[k], reach[k]);
      if (reach[k] == b.ep) play(i, reach[k], P, reach[k] - step, false);
    }
  }
  return moves;
}

// The value byte a position's moves give it: the best of each move's byte turned round
// (a loss in m for the opponent is a win in m + 1 for the mover, and so on).
int BestOfMoves(const std::vector<int>& moveBytes, bool inCheck) {
  int best = moveBytes.empty() ? (inCheck ? -126 : 0) : -1000;
  for (int c : moveBytes) best = std::max(best, c < 0 ? -c : c > 0 ? 1 - c : 0);
  return best;
}

// The position as FEN, for the engine's probe and for messages.
std::string Fen(const Board& b) {
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0, empty = 0; file < 8; ++file) {
      const int i = ManAt(b, rank * 8 + file);
      if (i >= 0 && empty) fen += static_cast<char>('0' + empty), empty = 0;
      if (i < 0) ++empty;
      else fen += b.men[i].colour ? Letters[b.men[i].kind] : static_cast<char>(Letters[b.men[i].kind] - 32);
      if (file == 7 && empty) fen += static_cast<char>('0' + empty);
    }
    if (rank) fen += '/';
  }
  const std::string ep = b.ep < 0 ? "-" : std::string{char('a' + b.ep % 8), char('1' + b.ep / 8)};
  return fen + (b.side ? " b - " : " w - ") + ep + " 0 1";
}

// The tables' files, read through the numbering as the engine reads them.
class Tables {
 public:
  explicit Tables(std::string dir) : dir_(std::move(dir)) {}

  // Stored byte of a position, 127 when the file has nothing for it; the file's index too.
  int Probe(const Board& b, uint32_t* indexOut = nullptr) {
    if (b.count == 2) return 0;
    int key = 0;
    for (int i = 0; i < b.count; ++i)
      if (b.men[i].kind != K) key += 1 << (2 * (b.men[i].colour * 5 + b.men[i].kind));
    int& found = tableByKey_[key];
    if (found == 0) {
      std::string side[2] = {"k", "k"};
      for (int kind : {Q, R, B, N, P})
        for (int i = 0; i < b.count; ++i)
          if (b.men[i].kind == kind) side[b.men[i].colour] += Letters[kind];
      found = TbTableNumber((side[0] + side[1]).c_str());
      if (found == 0) found = -TbTableNumber((side[1] + side[0]).c_str());
    }
    const bool swapped = found < 0;
    const int table = std::abs(found);
    TbPieceList lists[2] = {};
    int filled[2][5] = {};
    Man men[4];
    std::copy(b.men, b.men + b.count, men);
    for (int i = 1; i < b.count; ++i)
      for (int j = i; j > 0 && men[j].square < men[j - 1].square; --j) std::swap(men[j], men[j - 1]);
    for (int i = 0; i < b.count; ++i) {
      const Man& m = men[i];
      lists[m.colour ^ swapped][m.kind == K ? 15 : m.kind * 3 + filled[m.colour][m.kind]++] = m.square;
    }
    const int stm = b.side ^ swapped;
    const uint32_t index = TbIndex(table, stm, lists[0], lists[1], b.ep < 0 ? TbNoEpSquare : b.ep, swapped);
    if (indexOut) *indexOut = index;
    const std::vector<int8_t>& bytes = File(table, stm);
    return index < bytes.size() ? bytes[index] : 127;
  }

  const std::vector<int8_t>& File(int table, int side) {
    if (TbIsSymmetric(table)) side = 0;
    auto& file = files_[table * 2 + side];
    if (file.empty()) {
      std::ifstream in(dir_ + "/" + TbTableName(table) + (side ? ".nbb" : ".nbw"), std::ios::binary);
      file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return file;
  }

 private:
  std::string dir_;
  std::map<int, std::vector<int8_t>> files_;
  std::map<int, int> tableByKey_;  // material key: table number, negative when colours are exchanged
};

Board MenOf(const char* name) {
  Board b;
  b.men[b.count++] = {0, K, 0};
  b.men[b.count++] = {1, K, 0};
  int colour = -1;
  for (const char* c = name; *c; ++c) {
    if (*c == 'k') ++colour;
    else b.men[b.count++] = {colour, static_cast<int>(std::string_view(Letters).find(*c)), 0};
  }
  return b;
}

// Every position of a table with the white king on one of `kingSquares` (none given: on any),
// both sides to move, each legal one (and its en passant twins) handed to `visit`.
template <class Visit>
void ForEachPosition(const char* name, const std::vector<int>& kingSquares, Visit&& visit) {
  Board b = MenOf(name);
  for (b.side = 0; b.side < 2; ++b.side)
    for (size_t k = 0; k < (kingSquares.empty() ? 64 : kingSquares.size()); ++k)
      for (int code = 0; code < (1 << (6 * (b.count - 1))); ++code) {
        b.ep = -1;
        b.men[0].square = kingSquares.empty() ? int(k) : kingSquares[k];
        for (int i = 1; i < b.count; ++i) b.men[i].square = (code >> (6 * (i - 1))) & 63;
        if (!Legal(b)) continue;
        visit(b);
        const int rank = b.side == 0 ? 4 : 3, behind = b.side == 0 ? 8 : -8;
        for (int i = 0; i < b.count; ++i) {
          const Man& m = b.men[i];
          if (m.kind != P || m.colour == b.side || m.square / 8 != rank || !PawnBeside(b, m.square, b.side)) continue;
          if (ManAt(b, m.square + behind) >= 0 || ManAt(b, m.square + 2 * behind) >= 0) continue;
          Board twin = b;
          twin.ep = m.square + behind;
          visit(twin);
        }
      }
}

// Depth to mate of every three-man position by forward iteration over plies: a position is
// won at ply n when one move reaches a position already known lost, lost at ply n when every
// move reaches a position already known won; what is left is drawn. Promotions read the
// tables of the new piece solved before.
class ThreeManSolver {
 public:
  static constexpr int Unknown = 1000;
  static int Raw(const Board& b) {
    return b.side << 18 | b.men[0].square << 12 | b.men[1].square << 6 | b.men[2].square;
  }

  const std::vector<int>& Solve(const char* name) {
    std::vector<int>& value = solved_[name];
    value.assign(1 << 19, 127);
    struct Node {
      int raw, firstChild, children;
      bool inCheck;
    };
    std::vector<Node> nodes;
    std::vector<int> dynamic;  // raw index of an in-table move, or -1 with the byte in fixedBytes
    std::vector<int> fixedBytes;
    int fixedPlies = 0;
    ForEachPosition(name, {}, [&](const Board& b) {
      nodes.push_back({Raw(b), static_cast<int>(dynamic.size()), 0, InCheck(b, b.side)});
      value[Raw(b)] = Unknown;
      Board moves[64];
      for (int k = 0, n = Moves(b, moves); k < n; ++k) {
        const Board& next = moves[k];
        ++nodes.back().children;
        int fixed = 0;
        if (next.count == 2) {
          dynamic.push_back(-1);
        } else if (next.men[2].kind != b.men[2].kind) {
          fixed = solved_.at(std::string("k") + Letters[next.men[2].kind] + "k")[Raw(next)];
          dynamic.push_back(-1);
          fixedPlies = std::max(fixedPlies, Plies(fixed));
        } else {
          dynamic.push_back(Raw(next));
        }
        fixedBytes.push_back(fixed);
      }
    });
    for (int n = 0;; ++n) {
      std::vector<std::pair<int, int>> found;
      for (const Node& node : nodes) {
        if (value[node.raw] != Unknown) continue;
        bool allWon = true, oneLost = false;
        for (int c = node.firstChild; c < node.firstChild + node.children; ++c) {
          // A promotion's value counts from the ply after its own depth, like any other.
          int byte = dynamic[c] < 0 ? fixedBytes[c] : value[dynamic[c]];
          if (dynamic[c] < 0 && byte != 0 && Plies(byte) >= n) byte = Unknown;
          allWon &= byte != Unknown && byte > 0;
          oneLost |= byte < 0;
        }
        if (oneLost) found.push_back({node.raw, 127 - (n + 1) / 2});
        else if (allWon && (node.children > 0 || node.inCheck)) found.push_back({node.raw, -126 + n / 2});
      }
      for (auto [raw, byte] : found) value[raw] = byte;
      if (found.empty() && n > fixedPlies + 1) break;
    }
    for (int& v : value)
      if (v == Unknown) v = 0;
    return value;
  }

 private:
  static int Plies(int byte) { return byte > 0 ? 2 * (127 - byte) - 1 : byte < 0 ? 2 * (byte + 126) : 0; }
  std::map<std::string, std::vector<int>> solved_;
};

class TbGenValues : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    TbBuildIndexTables();
    const char* given = std::getenv("SKARNE_TB_DIR");
    full_ = given != nullptr;
    dir_ = full_ ? given : SKARNE_TB_TEST_DIR;
    // The tables of an older generator are made again; those of this one are shared by the
    // suite's processes, which ctest runs one at a time over them.
    namespace fs = std::filesystem;
    const fs::path stamp = fs::path(dir_) / "generator.stamp";
    if (!full_ && (!fs::exists(stamp) || fs::last_write_time(stamp) < fs::last_write_time(SKARNE_TBGEN))) {
      fs::remove_all(dir_);
    }
    std::string command = std::string(SKARNE_TBGEN) + " -o " + dir_;
    bool missing = false;
    for (const char* name : {"knk", "kbk", "krk", "kqk", "kpk", "kqkr", "kbnk", "krkn", "kpkp"}) {
      if (!full_ && (std::string(name) == "krkn" || std::string(name) == "kpkp")) continue;
      if (std::filesystem::exists(dir_ + "/" + name + ".nbw")) continue;
      command += std::string(" ") + name;
      missing = true;
    }
    if (missing) {
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
      if (!full_) std::ofstream(stamp).put('\n');
    }
  }

  static inline bool full_ = false;
  static inline std::string dir_;
};

// Every legal three-man position, both sides to move, read through the numbering: the file
// holds the solver's depth to mate; every other index holds 127; the files have the lengths
// the registry expects. The engine's own probe scores the position's twin with the colours
// exchanged (the piece black, the board turned) by the same value.
TEST_F(TbGenValues, ThreeManTablesMatchAnIndependentSolver) {
  InitTables();
  TbState state;
  ASSERT_EQ(TbInit(state, dir_, 1 << 20), 4);
  ThreeManSolver solver;
  Tables tables(dir_);
  for (const char* name : {"knk", "kbk", "krk", "kqk", "kpk"}) {
    SCOPED_TRACE(name);
    const int table = TbTableNumber(name);
    const std::vector<int>& expected = solver.Solve(name);
    std::vector<bool> reached[2] = {std::vector<bool>(TbExpectedSize(table, 0)),
                                    std::vector<bool>(TbExpectedSize(table, 1))};
    int wrong = 0;
    ForEachPosition(name, {}, [&](const Board& b) {
      uint32_t index = 0;
      const int byte = tables.Probe(b, &index), solved = expected[ThreeManSolver::Raw(b)];
      if (byte != solved && ++wrong <= 10) ADD_FAILURE() << Fen(b) << ": file " << byte << ", solver " << solved;
      if (index < reached[b.side].size()) reached[b.side][index] = true;
      const int score = solved > 0 ? 2 * solved + 31747 : solved < 0 ? 2 * solved - 31748 : 0;
      Board twin = b;
      twin.side = 1 - b.side;
      for (int i = 0; i < b.count; ++i) twin.men[i] = {1 - b.men[i].colour, b.men[i].kind, b.men[i].square ^ 56};
      Position pos;
      int probed = 99999;
      if ((!SetFromFen(pos, Fen(twin)) || !TbProbe(state, pos, probed, 0) || probed != score) && ++wrong <= 10)
        ADD_FAILURE() << Fen(twin) << ": engine probe " << probed << ", solver " << score;
    });
    EXPECT_EQ(wrong, 0);
    for (int side = 0; side < 2; ++side) {
      const std::vector<int8_t>& file = tables.File(table, side);
      ASSERT_EQ(file.size(), static_cast<size_t>(TbExpectedSize(table, side)));
      int strays = 0;
      for (size_t i = 0; i < file.size(); ++i) strays += !reached[side][i] && file[i] != 127;
      EXPECT_EQ(strays, 0) << "side " << side;
    }
  }
  TbFreeState(state);
}

// The longest wins known for these endings: a queen mates in at most 10 moves, a rook in 16,
// bishop and knight in 33; a king and pawn win in at most 28.
TEST_F(TbGenValues, LongestMatesAreThePublishedOnes) {
  Tables tables(dir_);
  for (auto [name, moves] : {std::pair{"kqk", 10}, {"krk", 16}, {"kbnk", 33}, {"kpk", 28}}) {
    int fastest = 127;
    for (int8_t byte : tables.File(TbTableNumber(name), 0))
      if (byte > 0) fastest = std::min<int>(fastest, byte);
    EXPECT_EQ(127 - fastest, moves) << name;
  }
}

// Each four-man position's value is the best of its moves' values, captures and promotions
// into smaller tables and en passant included. Without SKARNE_TB_DIR: kqkr and kbnk with
// the white king on b1 or d4 (an edge square, and the diagonal where the numbering keeps two
// reflections); with it: every reduced king square, and krkn and kpkp too.
TEST_F(TbGenValues, FourManValuesFollowFromTheirMoves) {
  Tables tables(dir_);
  for (const char* name : {"kqkr", "kbnk", "krkn", "kpkp"}) {
    const bool pawns = std::string_view(name).find('p') != std::string_view::npos;
    if (!full_ && (std::string_view(name) == "krkn" || pawns)) continue;
    SCOPED_TRACE(name);
    std::vector<int> kings = full_ ? std::vector<int>{} : std::vector<int>{B1, D4};
    for (int s = 0; full_ && s < 64; ++s)  // the reduced squares: files a to d, without pawns below the diagonal
      if (s % 8 < 4 && (pawns || s / 8 <= s % 8)) kings.push_back(s);
    int wrong = 0, positions = 0;
    ForEachPosition(name, kings, [&](const Board& b) {
      Board moves[64];
      std::vector<int> moveBytes;
      for (int k = 0, n = Moves(b, moves); k < n; ++k) moveBytes.push_back(tables.Probe(moves[k]));
      const int byte = tables.Probe(b), expected = BestOfMoves(moveBytes, InCheck(b, b.side));
      ++positions;
      if (byte != expected && ++wrong <= 10) ADD_FAILURE() << Fen(b) << ": file " << byte << ", moves give " << expected;
    });
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(positions, 0);
  }
}

}  // namespace
