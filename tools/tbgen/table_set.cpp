// Material names and the finished tables the solver reads when a capture or a promotion
// leaves the table it works on.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "egdb/tb_index.h"
#include "tools/tbgen/tbgen.h"

namespace tbgen {
namespace {

constexpr char KindLetters[] = "pnbrqk";
// Names list a side's pieces from the queen down.
constexpr int NameOrder[] = {Queen, Rook, Bishop, Knight, Pawn};

[[noreturn]] void Fail(const char* what, const char* detail) {
  std::fprintf(stderr, "skarne-tbgen: %s %s\n", what, detail);
  std::exit(1);
}

std::string SideLetters(const int counts[5]) {
  std::string letters = "k";
  for (int kind : NameOrder) letters.append(counts[kind], KindLetters[kind]);
  return letters;
}

// Two bits per piece count: white pawns .. queens, then black.
int MaterialKey(const Man* men, int count, bool exchanged) {
  int key = 0;
  for (int i = 0; i < count; ++i)
    if (men[i].kind != King) key += 1 << (2 * ((men[i].colour ^ exchanged) * 5 + men[i].kind));
  return key;
}

}  // namespace

Material MaterialOf(int table) {
  Material material;
  material.table = table;
  const char* name = TbTableName(table);
  material.colour[0] = 0, material.kind[0] = King;
  material.colour[1] = 1, material.kind[1] = King;
  material.count = 2;
  int colour = -1;
  for (const char* c = name; *c; ++c) {
    if (*c == 'k') {
      ++colour;
      continue;
    }
    material.colour[material.count] = colour;
    material.kind[material.count] = static_cast<int>(std::string_view(KindLetters).find(*c));
    ++material.count;
  }
  return material;
}

int TableOfMen(const Man* men, int count, bool& swapped) {
  int counts[2][5] = {};
  for (int i = 0; i < count; ++i)
    if (men[i].kind != King) ++counts[men[i].colour][men[i].kind];
  swapped = false;
  if (count == 2) return 0;
  const std::string white = SideLetters(counts[0]), black = SideLetters(counts[1]);
  if (int table = TbTableNumber((white + black).c_str())) return table;
  swapped = true;
  if (int table = TbTableNumber((black + white).c_str())) return table;
  return -1;
}

std::vector<int> SuccessorTables(int table) {
  const Material m = MaterialOf(table);
  std::set<int> found;
  for (int i = 2; i < m.count; ++i) {
    Man men[MaxMen];
    int count = 0;
    for (int j = 0; j < m.count; ++j)
      if (j != i) men[count++] = {m.colour[j], m.kind[j], 0};
    bool swapped;
    if (int t = TableOfMen(men, count, swapped); t > 0) found.insert(t);
    if (m.kind[i] != Pawn) continue;
    for (int promoted : {Knight, Bishop, Rook, Queen}) {
      for (int j = 0; j < m.count; ++j) men[j] = {m.colour[j], j == i ? promoted : m.kind[j], 0};
      if (int t = TableOfMen(men, m.count, swapped); t > 0) found.insert(t);
      // A promotion that captures.
      for (int k = 2; k < m.count; ++k) {
        if (m.colour[k] == m.colour[i]) continue;
        int n = 0;
        for (int j = 0; j < m.count; ++j)
          if (j != k) men[n++] = {m.colour[j], j == i ? promoted : m.kind[j], 0};
        if (int t = TableOfMen(men, n, swapped); t > 0) found.insert(t);
      }
    }
  }
  return {found.begin(), found.end()};
}

std::string FileName(const std::string& dir, int table, int side) {
  std::string name = dir.empty() ? "" : dir + "/";
  return name + TbTableName(table) + (side == 0 ? ".nbw" : ".nbb");
}

bool WriteFile(const std::string& path, const std::vector<int8_t>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

TableSet::TableSet() : tableByMaterial_(1 << 20, 0) {
  for (int table = TbTableCount - 1; table >= 1; --table) {
    const Material m = MaterialOf(table);
    Man men[MaxMen];
    for (int i = 0; i < m.count; ++i) men[i] = {m.colour[i], m.kind[i], 0};
    tableByMaterial_[MaterialKey(men, m.count, true)] = static_cast<int16_t>(-table);
    tableByMaterial_[MaterialKey(men, m.count, false)] = static_cast<int16_t>(table);
  }
}

void TableSet::Put(int table, std::vector<int8_t> white, std::vector<int8_t> black) {
  files_[table][0] = std::move(white);
  files_[table][1] = std::move(black);
  present_[table] = true;
}

bool TableSet::Load(const std::string& dir, int table) {
  std::vector<int8_t> sides[2];
  for (int side = 0; side < (TbIsSymmetric(table) ? 1 : 2); ++side) {
    FILE* file = std::fopen(FileName(dir, table, side).c_str(), "rb");
    if (!file) return false;
    sides[side].resize(TbExpectedSize(table, side));
    const size_t read = std::fread(sides[side].data(), 1, sides[side].size(), file);
    const bool longer = std::fgetc(file) != EOF;
    std::fclose(file);
    if (read != sides[side].size() || longer) return false;
  }
  Put(table, std::move(sides[0]), std::move(sides[1]));
  return true;
}

const std::vector<int8_t>& TableSet::Bytes(int table, int side) const {
  return files_[table][TbIsSymmetric(table) ? 0 : side];
}

int8_t TableSet::Probe(const Man* men, int count, int sideToMove) const {
  if (count == 2) return 0;
  const int found = tableByMaterial_[MaterialKey(men, count, false)];
  const bool swapped = found < 0;
  const int table = swapped ? -found : found;
  if (table == 0 || !Has(table)) Fail("no table for a capture or promotion", "");
  const int strongColour = swapped ? 1 : 0;
  TbPieceList lists[2] = {};
  int filled[2][6] = {};
  Man sorted[MaxMen];
  std::copy(men, men + count, sorted);
  SortMen(sorted, count, [](const Man& a, const Man& b) { return a.square < b.square; });
  for (int i = 0; i < count; ++i) {
    const Man& man = sorted[i];
    const int list = man.colour == strongColour ? 0 : 1;
    lists[list][man.kind == King ? 15 : man.kind * 3 + filled[list][man.kind]++] = man.square;
  }
  const int side = swapped ? 1 - sideToMove : sideToMove;
  const uint32_t index = TbIndex(table, side, lists[0], lists[1], TbNoEpSquare, swapped);
  const std::vector<int8_t>& bytes = Bytes(table, side);
  if (index >= bytes.size() || bytes[index] == NoPosition)
    Fail("no value for a legal position of", TbTableName(table));
  return bytes[index];
}

}  // namespace tbgen
