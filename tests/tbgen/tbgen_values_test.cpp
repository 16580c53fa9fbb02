// The generator's tables read back through the file numbering and checked against chess
// worked out here from scratch: a board of men stepped square by square, a forward-iterating
// depth-to-mate solver for the three-man tables, and for four-man tables the rule that each
// position's value is the best of its moves' values. Nothing here uses the generator's code.
//
// The tables come from the skarne-tbgen binary, written into a fresh folder of the build
// tree; with SKARNE_TB_DIR set, the tables there are checked (missing ones are generated
// into it), the four-man checks cover krkn and kpkp as well, and five-man tables found there
// are sampled.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/tb_index.h"
#include "egdb/tb_probe.h"
#include "notation/notation.h"
#include "tests/egdb/tb_oracle.h"
#include "tests/shell_quoted.h"

namespace {

using namespace oracle;

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
    Man men[5];
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
    std::string command = ShellQuoted(SKARNE_TBGEN) + " -o " + ShellQuoted(dir_);
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

// Each position's value is the best of its moves' values, captures and promotions into
// smaller tables and en passant included. Without SKARNE_TB_DIR: every kqkr and kbnk
// position with the white king on b1 or d4 (an edge square, and the diagonal where the
// numbering keeps two reflections); with it: every reduced king square, krkn and kpkp too,
// and a million random positions of each five-man table whose files are there.
TEST_F(TbGenValues, ValuesFollowFromTheirMoves) {
  Tables tables(dir_);
  int wrong = 0, positions = 0;
  auto check = [&](const Board& b) {
    Board moves[MaxMoves];
    std::vector<int> moveBytes;
    for (int k = 0, n = Moves(b, moves); k < n; ++k) moveBytes.push_back(tables.Probe(moves[k]));
    const int byte = tables.Probe(b), expected = BestOfMoves(moveBytes, InCheck(b, b.side));
    ++positions;
    if (byte != expected && ++wrong <= 10) ADD_FAILURE() << Fen(b) << ": file " << byte << ", moves give " << expected;
  };
  for (const char* name : {"kqkr", "kbnk", "krkn", "kpkp"}) {
    const bool pawns = std::string_view(name).find('p') != std::string_view::npos;
    if (!full_ && (std::string_view(name) == "krkn" || pawns)) continue;
    std::vector<int> kings = full_ ? std::vector<int>{} : std::vector<int>{B1, D4};
    for (int s = 0; full_ && s < 64; ++s)  // the reduced squares: files a to d, without pawns below the diagonal
      if (s % 8 < 4 && (pawns || s / 8 <= s % 8)) kings.push_back(s);
    ForEachPosition(name, kings, check);
  }
  std::mt19937 random(17);
  for (int table = TbFirstFivePiece; full_ && table < TbTableCount; ++table) {
    if (!std::filesystem::exists(dir_ + "/" + TbTableName(table) + ".nbw")) continue;
    Board b = MenOf(TbTableName(table));
    for (int n = 0; n < 1000000;) {
      b.side = int(random() % 2);
      for (int i = 0; i < b.count; ++i) b.men[i].square = int(random() % 64);
      if (Legal(b)) check(b), ++n;
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(positions, 0);
}

}  // namespace
