#pragma once
// The table generator's pieces: material layouts, the finished tables it reads captures and
// promotions from, and the retrograde solver of one table.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "egdb/tb_tables.h"

namespace tbgen {

// Insertion sort for the few men of a position (std::sort's unrolled code draws bounds
// warnings on five-element arrays).
template <class T, class Less>
void SortMen(T* first, int count, Less less) {
  for (int i = 1; i < count; ++i)
    for (int j = i; j > 0 && less(first[j], first[j - 1]); --j) std::swap(first[j], first[j - 1]);
}

// Kinds in the order of the piece-list slots (pawns first, the king last).
enum Kind : int { Pawn, Knight, Bishop, Rook, Queen, King };
constexpr int MaxMen = 5;

struct Man {
  int colour;  // 0 white, 1 black
  int kind;
  int square;
};

// The men of one table in a fixed order: white king, black king, the white pieces in the
// order of the name, then the black ones. Like men stand next to each other.
struct Material {
  int table = 0;
  int count = 0;
  int colour[MaxMen] = {};
  int kind[MaxMen] = {};
};

// Material of a table by number; the strong side (named first) is white.
Material MaterialOf(int table);
// Number of the table holding these men, and whether its colours are exchanged; 0 for bare
// kings, -1 for no table.
int TableOfMen(const Man* men, int count, bool& swapped);
// Tables that one capture or one promotion of `table` leads into.
std::vector<int> SuccessorTables(int table);

// Stored value bytes: 0 draw, 1..126 a win (127 - moves), -126..-1 a loss (-126 + moves),
// 127 no position.
constexpr int8_t NoPosition = 127;

// Finished tables, both sides' bytes in file order, read from files or put by the solver.
class TableSet {
 public:
  TableSet();
  bool Has(int table) const { return present_[table]; }
  void Put(int table, std::vector<int8_t> white, std::vector<int8_t> black);
  // Reads the table's files from `dir`; false (nothing stored) unless every file is there
  // with its expected length.
  bool Load(const std::string& dir, int table);
  const std::vector<int8_t>& Bytes(int table, int side) const;
  // Stored byte of a position of a smaller table, the side to move's view: men in any order,
  // no en passant right. Ends the process when the table is missing or has no value there.
  int8_t Probe(const Man* men, int count, int sideToMove) const;

 private:
  std::vector<int8_t> files_[TbTableCount][2];
  bool present_[TbTableCount] = {};
  // Signed table number (negative: colours exchanged) by material key, two bits per count.
  std::vector<int16_t> tableByMaterial_;
};

// Solves one table against the finished smaller tables and returns its file bytes.
struct SolveResult {
  std::vector<int8_t> bytes[2];
  int longestWin[2] = {};  // in moves, per side to move
  uint64_t legal[2] = {};  // positions with that side to move, up to symmetry
};
SolveResult SolveTable(int table, const TableSet& smaller, int threads);

// Writes `bytes` to `path`; false with errno set on failure.
bool WriteFile(const std::string& path, const std::vector<int8_t>& bytes);
std::string FileName(const std::string& dir, int table, int side);

}  // namespace tbgen
