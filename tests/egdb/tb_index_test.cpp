// The table numbering against facts worked out here without its tables: every placement of
// a three- or four-piece table (the side to move's king in the normalised region) gets its
// own index below the file's size, every mirror image and the colour-exchanged form keep it,
// only impossible positions lie past the size; five-piece tables are sampled the same way;
// and a few rules are recomputed literally from their definition.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "egdb/tb_index.h"

namespace {

int File(int s) { return s & 7; }
int Rank(int s) { return s >> 3; }
bool Near(int a, int b) { return std::max(std::abs(File(a) - File(b)), std::abs(Rank(a) - Rank(b))) <= 1; }
int Below(int s, std::initializer_list<int> others) {
  return static_cast<int>(std::count_if(others.begin(), others.end(), [s](int o) { return o < s; }));
}

// A placement in table colours: man[0..whiteCount) white, the rest black, in name order.
struct Placement {
  int side = 0;
  int king[2] = {0, 0};
  int man[3] = {0, 0, 0};
  int ep = TbNoEpSquare;
};

struct Table {
  int number = 0;
  std::string letters;  // the men in name order, white first
  int whiteCount = 0;
  bool pawns = false;
  int slot[3] = {0, 0, 0};    // place in the piece list of a run of like men
  int runEnd[3] = {0, 0, 0};  // end of the run a man starts, 0 inside a run
  bool White(int i) const { return i < whiteCount; }
  bool Like(int i) const { return i > 0 && letters[i] == letters[i - 1] && White(i) == White(i - 1); }
  bool HasEp() const { return letters.back() == 'p' && letters.find('p') + 1 < letters.size(); }
};

Table Describe(const std::string& name) {
  const size_t second = name.find('k', 1);
  Table table{TbTableNumber(name.c_str()), name.substr(1, second - 1) + name.substr(second + 1),
              static_cast<int>(second - 1), name.find('p') != std::string::npos, {}, {}};
  const int men = static_cast<int>(table.letters.size());
  for (int i = 0; i < men; ++i) {
    table.slot[i] = static_cast<int>(std::string("pnbrq").find(table.letters[i])) * 3;
    if (table.Like(i)) continue;
    int end = i + 1;
    while (end < men && table.Like(end)) ++end;
    table.runEnd[i] = end;
  }
  return table;
}

// The caller's piece lists: like men in ascending square order.
uint32_t IndexOf(const Table& table, const Placement& p, bool swapped = false) {
  TbPieceList list[2] = {};
  const int flip = swapped ? 56 : 0;
  list[0][15] = p.king[0] ^ flip;
  list[1][15] = p.king[1] ^ flip;
  for (int i = 0; i < static_cast<int>(table.letters.size()); ++i) {
    int run[3], length = table.runEnd[i] - i;
    for (int j = 0; j < length; ++j) run[j] = p.man[i + j] ^ flip;
    for (int j = 1; j < length; ++j)
      for (int k = j; k > 0 && run[k - 1] > run[k]; --k) std::swap(run[k - 1], run[k]);
    for (int j = 0; j < length; ++j) list[table.White(i) ? 0 : 1][table.slot[i] + j] = run[j];
  }
  const int ep = p.ep == TbNoEpSquare ? p.ep : p.ep ^ flip;
  return TbIndex(table.number, p.side, list[0], list[1], ep, swapped);
}

// Does the man attack `target`, the occupied squares blocking?
bool Attacks(char letter, bool white, int from, int target, uint64_t occupied) {
  const int df = File(target) - File(from), dr = Rank(target) - Rank(from);
  if (letter == 'p') return std::abs(df) == 1 && dr == (white ? 1 : -1);
  if (letter == 'n') return std::abs(df * dr) == 2;
  const bool straight = (df == 0) != (dr == 0), diagonal = df != 0 && std::abs(df) == std::abs(dr);
  if (!((straight && letter != 'b') || (diagonal && letter != 'r'))) return false;
  const int step = ((dr > 0) - (dr < 0)) * 8 + (df > 0) - (df < 0);
  for (int s = from + step; s != target; s += step)
    if ((occupied >> s) & 1) return false;
  return true;
}

// The placements the files number: men on distinct squares, kings apart, pawns on ranks 2
// to 7, no man of the side to move touching the other king (checks from further away are
// numbered like other positions). ManFits checks man i against the kings and men before it.
bool ManFits(const Table& table, const Placement& p, int i) {
  const int s = p.man[i], other = p.king[1 - p.side];
  if (s == p.king[0] || s == p.king[1] || std::find(p.man, p.man + i, s) != p.man + i) return false;
  if (table.letters[i] == 'p' && (Rank(s) == 0 || Rank(s) == 7)) return false;
  const bool white = table.White(i), contact = table.letters[i] == 'n' || Near(s, other);
  return !(white == (p.side == 0) && contact && Attacks(table.letters[i], white, s, other, 0));
}

bool Numbered(const Table& table, const Placement& p) {
  for (int i = 0; i < static_cast<int>(table.letters.size()); ++i)
    if (!ManFits(table, p, i)) return false;
  return !Near(p.king[0], p.king[1]);
}

// The side not to move is not in check.
bool Legal(const Table& table, const Placement& p) {
  uint64_t occupied = (uint64_t{1} << p.king[0]) | (uint64_t{1} << p.king[1]);
  for (size_t i = 0; i < table.letters.size(); ++i) occupied |= uint64_t{1} << p.man[i];
  for (int i = 0; i < static_cast<int>(table.letters.size()); ++i)
    if (table.White(i) == (p.side == 0) &&
        Attacks(table.letters[i], p.side == 0, p.man[i], p.king[1 - p.side], occupied))
      return false;
  return true;
}

// The eight board symmetries; with pawns only the identity and the left-right mirror.
int Transform(int g, int s) {
  int f = File(s), r = Rank(s);
  if (g & 4) std::swap(f, r);
  return (g & 2 ? 7 - r : r) * 8 + (g & 1 ? 7 - f : f);
}

Placement Transformed(const Placement& p, int g) {
  Placement q = p;
  for (int& s : q.king) s = Transform(g, s);
  for (int& s : q.man) s = Transform(g, s);
  if (p.ep != TbNoEpSquare) q.ep = Transform(g, p.ep);
  return q;
}

int Symmetries(const Table& table) { return table.pawns ? 2 : 8; }

// One number per class of positions related by the symmetries (like men interchangeable).
uint64_t ClassKey(const Table& table, const Placement& p) {
  uint64_t best = ~uint64_t{0};
  for (int g = 0; g < Symmetries(table); ++g) {
    Placement q = Transformed(p, g);
    for (int i = 0; i < static_cast<int>(table.letters.size()); ++i)
      for (int j = i; j > 0 && table.Like(j) && q.man[j - 1] > q.man[j]; --j) std::swap(q.man[j - 1], q.man[j]);
    uint64_t key = static_cast<uint64_t>(q.ep * 4096 + q.king[0] * 64 + q.king[1]);
    for (size_t i = 0; i < table.letters.size(); ++i) key = key * 64 + static_cast<uint64_t>(q.man[i]);
    best = std::min(best, key);
  }
  return best;
}

// Whether a symmetry other than the identity keeps both kings in place: the numbering may
// then give the mirrored positions different indices.
bool KingsSymmetric(const Table& table, const Placement& p) {
  for (int g = 1; g < Symmetries(table); ++g)
    if (Transform(g, p.king[0]) == p.king[0] && Transform(g, p.king[1]) == p.king[1]) return true;
  return false;
}

// The region the numbering brings the side to move's king into (no flip, no transposition).
bool NormalisedKings(const Table& table, int own, int other) {
  if (File(own) > 3 || Near(own, other)) return false;
  return table.pawns || (Rank(own) <= File(own) && !(Rank(own) == File(own) && File(other) < Rank(other)));
}

// Every numbered placement of the men (kings set), like men once.
template <typename Visit>
void ForEachMen(const Table& table, Placement& p, int i, const Visit& visit) {
  if (i >= static_cast<int>(table.letters.size()) || i >= 3) return visit(p);
  for (int s = table.Like(i) ? p.man[i - 1] + 1 : 0; s < 64; ++s) {
    p.man[i] = s;
    if (ManFits(table, p, i)) ForEachMen(table, p, i + 1, visit);
  }
}

// En-passant placements: the pawn of the side not to move has just stepped two squares past
// an empty square onto one beside a pawn of the side to move; a fifth man goes anywhere.
template <typename Visit>
void ForEachEp(const Table& table, Placement p, const Visit& visit) {
  const int men = static_cast<int>(table.letters.size());
  const bool moverWhite = p.side == 1;
  for (int moved = 0; moved < men; ++moved)
    for (int taker = 0; taker < men; ++taker)
      for (int to = moverWhite ? 24 : 32; to < (moverWhite ? 32 : 40); ++to)
        for (int beside : {to - 1, to + 1}) {
          if (table.letters[moved] != 'p' || table.letters[taker] != 'p' || table.White(moved) != moverWhite ||
              table.White(taker) == moverWhite || Rank(beside) != Rank(to))
            continue;
          p.man[moved] = to;
          p.man[taker] = beside;
          p.ep = moverWhite ? to - 8 : to + 8;
          const uint64_t passed = (uint64_t{1} << p.ep) | (uint64_t{1} << (2 * p.ep - to));
          const int rest = men == 2 ? -1 : 3 - moved - taker;
          for (int s = 0; s < (rest < 0 ? 1 : 64); ++s) {
            if (rest >= 0) p.man[rest] = s;
            const uint64_t taken = (uint64_t{1} << p.king[0]) | (uint64_t{1} << p.king[1]) |
                                   (rest < 0 ? 0 : uint64_t{1} << s);
            if (!(taken & passed) && Numbered(table, p)) visit(p);
          }
        }
}

// The first fault found in one table and side; later ones are not looked at.
struct Fault {
  std::string text;
  bool Check(bool ok, const Table& table, int side, const char* what, uint32_t index) {
    if (!ok && text.empty())
      text = std::string(TbTableName(table.number)) + " side " + std::to_string(side) + ", index " +
             std::to_string(index) + ": " + what;
    return ok && text.empty();
  }
};

// An image of the position (a symmetry picked by g) and its colour-exchanged form keep the
// index, and past the file's size lie only positions with the side not to move in check.
bool Consistent(const Table& table, const Placement& p, uint32_t index, int g, Fault& fault) {
  const Placement image = Transformed(p, 1 + g % (Symmetries(table) - 1));
  return fault.Check(index < TbIndexRange(table.number, p.side), table, p.side, "out of range", index) &&
         fault.Check(index < uint32_t(TbExpectedSize(table.number, p.side)) || !Legal(table, p), table, p.side,
                     "past the size for a legal position", index) &&
         fault.Check(KingsSymmetric(table, p) || IndexOf(table, image) == index, table, p.side,
                     "an image has another index", index) &&
         fault.Check(IndexOf(table, p, true) == index, table, p.side, "changes with colours exchanged", index);
}

// Every side of the tables numbered first to last - 1 through `check` (table, side, the
// file's size, a placement of that side to move, the fault record), after the checks they
// share: the numbering's range covers the file and overshoots it by at most `pastSize`.
template <typename Check>
void ForEachTableSide(int first, int last, uint32_t pastSize, const Check& check) {
  TbBuildIndexTables();
  for (int number = first; number < last; ++number) {
    const Table table = Describe(TbTableName(number));
    for (int side = 0; side < 2; ++side) {
      const uint32_t range = TbIndexRange(number, side), size = TbExpectedSize(number, side);
      ASSERT_TRUE(range >= size && range - size <= pastSize) << TbTableName(number) << " " << range << " " << size;
      Fault fault;
      Placement p;
      p.side = side;
      check(table, side, size, p, fault);
      ASSERT_EQ(fault.text, "");
    }
  }
}

TEST(TbIndex, ThreeAndFourPieceTablesNumberEveryPlacementOnce) {
  std::vector<uint8_t> seen;
  ForEachTableSide(1, TbFirstFivePiece, 400, [&](const Table& table, int side, uint32_t size, Placement& p,
                                                   Fault& fault) {
    const uint32_t range = TbIndexRange(table.number, side);
    seen.assign(range, 0);
    uint64_t count = 0, pastSize = 0;
    // Like men come in ascending order here, so the piece lists are filled in place.
    TbPieceList list[2] = {};
    int slotOf[3] = {};
    for (int i = 0; i < static_cast<int>(table.letters.size()); ++i)
      slotOf[i] = table.Like(i) ? slotOf[i - 1] + 1 : table.slot[i];
    auto visit = [&](const Placement& q) {
      list[0][15] = q.king[0], list[1][15] = q.king[1];
      for (int i = 0; i < static_cast<int>(table.letters.size()); ++i) list[table.White(i) ? 0 : 1][slotOf[i]] = q.man[i];
      const uint32_t index = TbIndex(table.number, side, list[0], list[1], q.ep, false);
      if (index >= range || seen[index] != 0)
        return static_cast<void>(fault.Check(false, table, side, "out of range or reached twice", index));
      seen[index] = 1;
      pastSize += index >= size;
      if (++count % 23 == 0 || index >= size) Consistent(table, q, index, static_cast<int>(count), fault);
    };
    for (int own = 0; own < 64; ++own)
      for (int other = 0; other < 64 && fault.text.empty(); ++other) {
        if (!NormalisedKings(table, own, other)) continue;
        p.king[side] = own;
        p.king[1 - side] = other;
        p.ep = TbNoEpSquare;
        ForEachMen(table, p, 0, visit);
        if (table.HasEp()) ForEachEp(table, p, visit);
      }
    // The rules leave holes: values for men sharing a square where a rule does not rank
    // one man around another, and en-passant values whose squares a king blocks.
    const auto holes = std::count(seen.begin(), seen.end(), 0);
    if (holes > 0 || range > size)
      std::printf("%-5s %s: %9u values, %9llu placements, %7ld holes, %3llu placed past the size %u\n",
                  TbTableName(table.number), side ? "btm" : "wtm", range, static_cast<unsigned long long>(count),
                  static_cast<long>(holes), static_cast<unsigned long long>(pastSize), size);
  });
}

// Five-piece tables: random placements, each with one man moved over the whole board, and
// every placement of the last king pair, where the values past the size lie. Positions of
// different classes get different indices.
TEST(TbIndex, FivePieceTablesSampled) {
  std::mt19937 random(20261207);
  ForEachTableSide(TbFirstFivePiece, TbTableCount, 25000, [&](const Table& table, int side, uint32_t size, Placement& p,
                                                              Fault& fault) {
    std::unordered_map<uint32_t, uint64_t> classOf;
    int count = 0;
    auto visit = [&](const Placement& q) {
      const uint32_t index = IndexOf(table, q);
      if (!Consistent(table, q, index, ++count, fault)) return;
      const auto [entry, fresh] = classOf.try_emplace(index, ClassKey(table, q));
      fault.Check(fresh || entry->second == ClassKey(table, q), table, side, "for two positions", index);
    };
    for (int sample = 0; sample < 10 && fault.text.empty(); ++sample) {
      do {
        p.king[0] = static_cast<int>(random() % 64), p.king[1] = static_cast<int>(random() % 64);
        for (int& s : p.man) s = static_cast<int>(random() % 64);
      } while (!Numbered(table, p));
      for (int moved = 0; moved < 5; ++moved)
        for (int s = 0; s < 64; ++s) {
          Placement q = p;
          (moved < 2 ? q.king[moved] : q.man[moved - 2]) = s;
          if (Numbered(table, q)) visit(q);
        }
      if (table.HasEp()) ForEachEp(table, p, visit);
    }
    // The last pair: the side to move's king on d4 without pawns, else on d8 (or d1, when
    // the rule sees the board turned), the other king on h8 (h1).
    if (TbIndexRange(table.number, side) == size) return;
    for (int flip = 0; flip <= (table.pawns ? 56 : 0); flip += 56) {
      p.king[side] = (table.pawns ? 59 : 27) ^ flip;
      p.king[1 - side] = 63 ^ flip;
      ForEachMen(table, p, 0, [&](const Placement& q) {
        const uint32_t index = IndexOf(table, q);
        if (index >= size) Consistent(table, q, index, ++count, fault);
      });
    }
  });
}

// Rules written out literally, each on placements already in normal form, against TbIndex.
bool Allowed(char type, int king, int s) {  // 'P' a pawn of kind 0, 'p' of kind 1
  if (s == king || ((type == 'p' || type == 'P') && (s < 8 || s > 55))) return false;
  return type == 'P' || !((type == 'n' || Near(s, king)) && Attacks(type, true, s, king, 0));
}
int Place(char type, int king, int s) {
  int place = 0;
  for (int t = 0; t < s; ++t) place += Allowed(type, king, t);
  return place;
}
int Count(char type, int king) { return Place(type, king, 64); }
// A man's place less one when the own king's square is allowed and below the man.
int Placed(char type, int other, int own, int s) { return Place(type, other, s) - (Allowed(type, other, own) && s > own); }
int Free(char type, int other, int own) { return Count(type, other) - Allowed(type, other, own); }

// Running sum, over the king pairs in order, of the placements of `men` (types, like ones
// adjacent) against the second king.
uint32_t PairBase(bool pawns, const std::string& men, int own, int other) {
  static std::map<std::string, std::vector<uint32_t>> bases;
  std::vector<uint32_t>& base = bases[men + (pawns ? "+" : "-")];
  if (base.empty()) {
    base.assign(4097, 0);
    Table kings;
    kings.pawns = pawns;
    uint32_t sum = 0;
    for (int pair = 0; pair < 4096; ++pair) {
      base[pair] = sum;
      if (!NormalisedKings(kings, pair / 64, pair % 64)) continue;
      uint32_t block = 1;
      for (size_t i = 0, k = 0; i < men.size(); ++i) {
        k = i > 0 && men[i] == men[i - 1] ? k + 1 : 0;  // block x= c choose k+1 / (c choose k)
        block = block * (Free(men[i], pair % 64, pair / 64) - uint32_t(k)) / uint32_t(k + 1);
      }
      sum += block;
    }
  }
  return base[own * 64 + other];
}
uint32_t Pair(bool pawns, int own, int other) { return PairBase(pawns, "", own, other); }
// A lone man's place after the king pairs before; flip 56 reads black's pawn on the board turned.
uint32_t First(char type, bool pawns, int own, int other, int s, int flip = 0) {
  return Placed(type, other ^ flip, own ^ flip, s ^ flip) +
         PairBase(pawns, std::string(1, type), own ^ flip, other ^ flip);
}

struct LiteralRule {
  const char* table;
  int side;
  uint32_t (*index)(int w, int b, const int* m, int e);
};

const LiteralRule literalRules[] = {
    {"kqkr", 0, [](int w, int b, const int* m, int) {
       return uint32_t(m[1] - Below(m[1], {b, w, m[0]})) + 61 * First('q', false, w, b, m[0]);
     }},
    {"kqkr", 1, [](int w, int b, const int* m, int) {
       return uint32_t(m[0] - Below(m[0], {b, w, m[1]})) + 61 * First('r', false, b, w, m[1]);
     }},
    {"kqkp", 1, [](int w, int b, const int* m, int) {
       return uint32_t(m[0] - Below(m[0], {b, w, m[1]})) + 61 * First('p', true, b, w, m[1], 56);
     }},
    {"kbnk", 0, [](int w, int b, const int* m, int) {
       return Placed('n', b, w, m[1]) + Free('n', b, w) * Placed('b', b, w, m[0]) + PairBase(false, "bn", w, b);
     }},
    {"kbnk", 1, [](int w, int b, const int* m, int) {
       return 3782 * Pair(false, b, w) + 61 * uint32_t(m[0] - Below(m[0], {w, b})) + uint32_t(m[1] - Below(m[1], {w, b, m[0]}));
     }},
    {"kpkp", 0, [](int w, int b, const int* m, int e) {
       if (e == TbNoEpSquare) return uint32_t(m[1] - 8 - (m[1] > m[0])) + 47 * First('p', true, w, b, m[0]);
       return 47 * 81664 + 14 * Pair(true, w, b) + uint32_t(e == m[0] + 7 ? File(m[0]) - 1 : File(m[0]) + 7);
     }},
    {"kpkp", 1, [](int w, int b, const int* m, int e) {
       if (e != TbNoEpSquare) return 47 * 81664 + 14 * Pair(true, b, w) + uint32_t(e == m[1] - 9 ? File(m[1]) - 1 : File(m[1]) + 7);
       return uint32_t(m[0] - 8 - (m[0] > m[1])) + 47 * First('p', true, b, w, m[1], 56);
     }},
    {"krnnk", 0, [](int w, int b, const int* m, int) {
       const int i1 = Placed('n', b, w, std::min(m[1], m[2])), i2 = Placed('n', b, w, std::max(m[1], m[2]));
       return Placed('r', b, w, m[0]) + Free('r', b, w) * uint32_t(i1 + i2 * (i2 - 1) / 2) + PairBase(false, "nnr", w, b);
     }},
    {"krbkn", 1, [](int w, int b, const int* m, int) {
       return 3660 * First('n', false, b, w, m[2]) + 60 * uint32_t(m[0] - Below(m[0], {b, w, m[2]})) + uint32_t(m[1] - Below(m[1], {b, w, m[0], m[2]}));
     }},
    {"kbnpk", 1, [](int w, int b, const int* m, int) {
       return 3660 * First('P', true, b, w, m[2], 56) + 60 * uint32_t(m[0] - Below(m[0], {b, w, m[2]})) + uint32_t(m[1] - Below(m[1], {b, w, m[2], m[0]}));
     }},
    {"kqpkr", 1, [](int w, int b, const int* m, int) {
       return 2880 * First('r', true, b, w, m[2]) + 48 * uint32_t(m[0] - Below(m[0], {b, w, m[1], m[2]})) + uint32_t(m[1] - 8);
     }},
    {"kppkp", 0, [](int w, int b, const int* m, int e) {
       const int lo = std::min(m[0], m[1]), hi = std::max(m[0], m[1]), q = m[2];
       const int i1 = Placed('p', b, w, lo), i2 = Placed('p', b, w, hi);
       if (e == TbNoEpSquare) return uint32_t(q - 8 - Below(q, {lo, hi}) + 46 * (i1 + i2 * (i2 - 1) / 2)) + 46 * PairBase(true, "pp", w, b);
       const uint32_t base = 616 * Pair(true, w, b) + 46 * TbIndexRange(TbTableNumber("kppk"), 0);
       auto r = [&](int o) { return o - Below(o, {e, q, e + 8}); };
       if (e == lo + 7 && File(lo) != 0) return base + File(lo) + 14 * r(hi) - 127;
       if (e == lo + 9 && File(lo) != 7) return base + File(lo) + 14 * r(hi) - 119;
       if (e == hi + 7 && File(hi) != 0) return base + File(hi) + 14 * r(lo) - 113;
       return base + File(hi) + 14 * r(lo) - 105;
     }},
    {"kbbnk", 1, [](int w, int b, const int* m, int) {
       const int j1 = m[0] - Below(m[0], {w, b, m[2]}), j2 = m[1] - Below(m[1], {w, b, m[2]});
       const int pair = std::min(j1, j2) + std::max(j1, j2) * (std::max(j1, j2) - 1) / 2;
       return 113460 * Pair(false, b, w) + uint32_t(62 * pair + m[2] - Below(m[2], {w, b}));
     }},
    {"kpppk", 1, [](int w, int b, const int* m, int) {
       int i[3];
       for (int k = 0; k < 3; ++k) i[k] = Placed('P', w ^ 56, b ^ 56, m[k] ^ 56);
       std::sort(i, i + 3);
       return uint32_t(i[0] + i[1] * (i[1] - 1) / 2 + i[2] * (i[2] - 1) * (i[2] - 2) / 6) + PairBase(true, "PPP", b ^ 56, w ^ 56);
     }},
    {"kppkq", 1, [](int w, int b, const int* m, int) {
       const int p1 = std::min(m[0], m[1]), p2 = std::max(m[0], m[1]);
       return 1128 * First('q', true, b, w, m[2]) + uint32_t((p2 - 8) * (p2 - 9) / 2 + p1 - 8);
     }},
    {"knpkp", 1, [](int w, int b, const int* m, int e) {
       const int x = m[0], p = m[1], q = m[2];
       if (e != TbNoEpSquare)
         return 2820 * 81664 + 812 * Pair(true, b, w) + uint32_t(14 * (x - Below(x, {b, w, p, q, e, e - 8})) + (e == q - 9 ? File(q) - 1 : File(q) + 7));
       return 2820 * First('p', true, b, w, q, 56) + uint32_t(47 * (x - Below(x, {b, w, p, q})) + p - 8 - (p > q));
     }},
};

TEST(TbIndex, RulesWrittenOutLiterallyAgree) {
  TbBuildIndexTables();
  std::mt19937 random(7);
  for (const LiteralRule& rule : literalRules) {
    const Table table = Describe(rule.table);
    Placement p;
    p.side = rule.side;
    int checked = 0;
    auto check = [&](const Placement& q) {
      const uint32_t expected = rule.index(q.king[0], q.king[1], q.man, q.ep);
      ASSERT_EQ(IndexOf(table, q), expected) << rule.table << " side " << rule.side << " ep " << q.ep;
      ++checked;
    };
    for (int sample = 0; sample < 3000; ++sample) {
      p.king[0] = static_cast<int>(random() % 64), p.king[1] = static_cast<int>(random() % 64);
      for (int& s : p.man) s = static_cast<int>(random() % 64);
      p.ep = TbNoEpSquare;
      if (NormalisedKings(table, p.king[p.side], p.king[1 - p.side]) && Numbered(table, p)) check(p);
      if (table.HasEp() && sample < 100 && NormalisedKings(table, p.king[p.side], p.king[1 - p.side]))
        ForEachEp(table, p, check);
    }
    EXPECT_GT(checked, 100) << rule.table;
  }
}

// Placements no table holds answer no index; so do unknown tables, and unknown names have none.
TEST(TbIndex, PlacementsNoTableHoldsHaveNoIndex) {
  TbBuildIndexTables();
  const Table kqkr = Describe("kqkr"), kpk = Describe("kpk");
  const struct {
    const Table& table;
    Placement p;
    const char* what;
  } cases[] = {
      {kqkr, {0, {0, 9}, {20, 40, 0}, TbNoEpSquare}, "kings touching"},
      {kqkr, {0, {0, 30}, {30, 40, 0}, TbNoEpSquare}, "two men on one square"},
      {kqkr, {0, {0, 30}, {22, 40, 0}, TbNoEpSquare}, "the queen touches the king not to move"},
      {kqkr, {1, {0, 30}, {22, 8, 0}, TbNoEpSquare}, "the rook touches the king not to move"},
      {kqkr, {0, {64, 30}, {22, 8, 0}, TbNoEpSquare}, "a king off the board"},
      {kpk, {0, {0, 30}, {60, 0, 0}, TbNoEpSquare}, "a pawn on the last rank"},
      {kpk, {0, {0, 30}, {21, 0, 0}, TbNoEpSquare}, "the pawn gives check"},
  };
  for (const auto& c : cases) EXPECT_EQ(IndexOf(c.table, c.p), TbNoIndex) << c.what;
  // krk with white to move ends in six values no position reaches: the rook on a8 to f8
  // with the kings on d4 and h8 gives check.
  const Table krk = Describe("krk");
  for (int file = 0; file < 6; ++file)
    EXPECT_EQ(IndexOf(krk, {0, {27, 63}, {56 + file, 0, 0}, TbNoEpSquare}), 27030u + uint32_t(file));
  const TbPieceList none = {};
  EXPECT_EQ(TbIndex(0, 0, none, none, TbNoEpSquare, false), TbNoIndex);
  EXPECT_EQ(TbIndex(TbTableCount, 0, none, none, TbNoEpSquare, false), TbNoIndex);
  EXPECT_TRUE(TbTableNumber("kk") == 0 && TbTableNumber("kqkx") == 0);
}

}  // namespace
