#include "egdb/tb_index.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Numbering of the table files. A position is first normalised (the side to move's king onto
// files a-d, or for pawnless tables into the a1-d4 triangle below the diagonal), then
// numbered in two parts:
//   first  the side to move's men placed against the other king through pieceSquareIndex,
//          which leaves out the squares where they would touch it (when black to move has
//          only its king, white's pawns, seen from black's side), plus a running-sum base
//          per king pair; with nothing to place, first is the king pair's number;
//   rest   the other men ranked among the squares still free, as mixed-radix digits;
// index = first x (product of the digits' radices) + rest. Tables with pawns on both sides
// number their en-passant positions after all others. Not every value below a file's size is
// a position: men that a rule does not rank around each other may share a square, and the
// last values of some files belong to positions with the side not to move in check.
// Every table and side is one rule record built from its piece list; TbIndex only follows
// the record, without allocating.

namespace {

constexpr uint16_t NoPair = 4000;
constexpr uint8_t NotAllowed = 255;
constexpr int PawnlessPairCount = 462;
constexpr int PawnPairCount = 1806;

// Types of pieceSquareIndex. Pawn kind 1 may not attack the other king; kind 0 places a
// pawn of the side not to move, which only has to keep off the king's own square.
enum PlaceType : uint8_t { PawnKind0, PawnKind1, Knight, Bishop, Rook, Queen, PlaceTypes };

struct IndexTables {
  uint8_t flipPawnTables[64];
  uint8_t flipSwapped[2];
  uint8_t flipPawnless[64];
  uint8_t transpose[64];
  uint16_t kingPairPawnless[64 * 64];
  uint16_t kingPairPawns[64 * 64];
  uint8_t pieceSquareIndex[PlaceTypes][64 * 64];
  uint8_t pieceSquareCount[PlaceTypes][64];
  uint32_t binomial[4][65];  // binomial[k][n] = n choose k
};

IndexTables tables;

// A run of men of one type placed against the other king; like men are interchangeable and
// numbered as an unordered combination.
struct PlacedGroup {
  uint8_t type;
  uint8_t size;
  uint8_t ref[3];  // places in the normalised square array
};

struct PlacedTerm {
  uint8_t frame = 0;  // 56 when the board is turned rank-wise once more for this term
  uint8_t ownKing = 0, otherKing = 1;
  uint8_t pairKind = 0;
  uint8_t groupCount = 0;
  PlacedGroup groups[3] = {};  // most significant first
  // Running sum over the king pairs of the number of placements of the groups: the
  // kingPairBase of one man, the comboBase of two, a table's own base for three.
  const uint32_t* base = nullptr;
  uint32_t total = 0;  // number of values of the term over all king pairs
};

// A digit of the rest: one man (or a like pair or triple) ranked among the squares that the
// excluded men leave free, pawns among a2..h7.
struct Digit {
  bool pawnSquares = false;
  uint8_t size = 1;
  uint8_t ref[3] = {};
  uint8_t exclusionCount = 0;
  uint8_t exclusion[6] = {};
  uint32_t radix = 0;
};

enum EpKind : uint8_t { NoEp, EpPawnAgainstPawn, EpPiecePawnAgainstPawn, EpTwoPawnsAgainstPawn };

// Normalised square array: 0 white king, 1 black king, then the white men in name order,
// then the black man. Slots give each man's place in the caller's piece list.
struct IndexRule {
  bool valid = false;
  bool pawns = false;
  uint8_t mover = 0;  // 0: the white king normalises, 1: the black king
  uint8_t menCount = 0;
  uint8_t whiteMen = 0;
  uint8_t slot[3] = {};
  uint64_t pawnRefMask = 0;  // bit r set when array place r holds a pawn
  PlacedTerm first;
  uint8_t digitCount = 0;
  Digit digits[3];
  uint32_t multiplier = 1;  // product of the digits' radices
  EpKind epKind = NoEp;
  PlacedTerm epPlaced;  // the white piece of kXpkp with white to move
  uint32_t range = 0;   // number of index values the rule produces
};

IndexRule rules[TbTableCount][2];

// Running sums shared by every rule with the same king-pair kind and groups.
std::map<std::vector<int>, std::vector<uint32_t>> basePool;
std::once_flag buildOnce;

int File(int square) { return square & 7; }
int Rank(int square) { return square >> 3; }

bool Allowed(int type, int king, int square) {
  if (square == king) return false;
  const int df = std::abs(File(square) - File(king)), dr = std::abs(Rank(square) - Rank(king));
  switch (type) {
    case PawnKind0:
    case PawnKind1:
      if (square < 8 || square > 55) return false;
      // A white pawn attacks forward diagonally.
      return type == PawnKind0 || !(Rank(king) == Rank(square) + 1 && df == 1);
    case Knight: return !((df == 1 && dr == 2) || (df == 2 && dr == 1));
    case Bishop: return !(df == 1 && dr == 1);
    case Rook: return df + dr != 1;
    default: return std::max(df, dr) != 1;
  }
}

bool KingsApart(int a, int b) {
  return std::max(std::abs(File(a) - File(b)), std::abs(Rank(a) - Rank(b))) > 1;
}

void BuildSharedTables() {
  IndexTables& t = tables;
  for (int square = 0; square < 64; ++square) {
    const int file = File(square), rank = Rank(square);
    t.flipPawnTables[square] = file < 4 ? 0 : 7;
    t.flipPawnless[square] = static_cast<uint8_t>((file < 4 ? 0 : 7) ^ (rank < 4 ? 0 : 56));
    t.transpose[square] = static_cast<uint8_t>(file * 8 + rank);
  }
  t.flipSwapped[0] = 0;
  t.flipSwapped[1] = 56;

  // King pairs in order of the first king's square, then the second's. Without pawns the
  // first king stands in the a1-d4 triangle below or on the diagonal, and when it is on the
  // diagonal the second king is not above it (the transposition has put it there).
  int pawnless = 0, pawnPairs = 0;
  for (int own = 0; own < 64; ++own)
    for (int other = 0; other < 64; ++other) {
      const int pair = own * 64 + other;
      t.kingPairPawnless[pair] = t.kingPairPawns[pair] = NoPair;
      if (!KingsApart(own, other)) continue;
      if (File(own) < 4) t.kingPairPawns[pair] = static_cast<uint16_t>(pawnPairs++);
      const bool triangle = File(own) < 4 && Rank(own) <= File(own);
      const bool onDiagonal = File(own) == Rank(own);
      if (triangle && !(onDiagonal && File(other) < Rank(other)))
        t.kingPairPawnless[pair] = static_cast<uint16_t>(pawnless++);
    }

  for (int type = 0; type < PlaceTypes; ++type)
    for (int king = 0; king < 64; ++king) {
      int count = 0;
      for (int square = 0; square < 64; ++square)
        t.pieceSquareIndex[type][king * 64 + square] =
            Allowed(type, king, square) ? static_cast<uint8_t>(count++) : NotAllowed;
      t.pieceSquareCount[type][king] = static_cast<uint8_t>(count);
    }

  for (int n = 0; n <= 64; ++n) {
    t.binomial[0][n] = 1;
    t.binomial[1][n] = n;
    t.binomial[2][n] = n >= 2 ? n * (n - 1) / 2 : 0;
    t.binomial[3][n] = n >= 3 ? n * (n - 1) * (n - 2) / 6 : 0;
  }
}

const uint16_t* PairTable(int pairKind) {
  return pairKind == 0 ? tables.kingPairPawnless : tables.kingPairPawns;
}

// Number of squares the type may take against the other king once the own king's square is
// taken too.
uint32_t PlacementCount(int type, int own, int other) {
  const bool ownAllowed = tables.pieceSquareIndex[type][other * 64 + own] != NotAllowed;
  return tables.pieceSquareCount[type][other] - (ownAllowed ? 1 : 0);
}

void AttachBase(PlacedTerm& term) {
  std::vector<int> key{term.pairKind};
  for (int g = 0; g < term.groupCount; ++g) {
    key.push_back(term.groups[g].type);
    key.push_back(term.groups[g].size);
  }
  auto [entry, fresh] = basePool.try_emplace(key);
  std::vector<uint32_t>& base = entry->second;
  if (fresh) {
    const uint16_t* pairs = PairTable(term.pairKind);
    base.assign(term.pairKind == 0 ? PawnlessPairCount + 1 : PawnPairCount + 1, 0);
    uint32_t sum = 0;
    // Walking both kings in ascending order meets the pairs in their numbering order.
    for (int own = 0; own < 64; ++own)
      for (int other = 0; other < 64; ++other) {
        const uint16_t pair = pairs[own * 64 + other];
        if (pair == NoPair) continue;
        base[pair] = sum;
        uint32_t block = 1;
        for (int g = 0; g < term.groupCount; ++g)
          block *= tables.binomial[term.groups[g].size]
                                  [PlacementCount(term.groups[g].type, own, other)];
        sum += block;
      }
    base.back() = sum;
  }
  term.base = base.data();
  term.total = base.back();
}

// The men to place, in name order, grouped by type; groups of more men are the more
// significant digits, otherwise name order decides.
void SetGroups(PlacedTerm& term, const std::vector<std::pair<int, int>>& men) {
  std::vector<PlacedGroup> groups;
  for (const auto& [type, ref] : men) {
    if (!groups.empty() && groups.back().type == type) {
      groups.back().ref[groups.back().size++] = static_cast<uint8_t>(ref);
    } else {
      PlacedGroup group{static_cast<uint8_t>(type), 1, {static_cast<uint8_t>(ref), 0, 0}};
      groups.push_back(group);
    }
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const PlacedGroup& a, const PlacedGroup& b) { return a.size > b.size; });
  term.groupCount = static_cast<uint8_t>(groups.size());
  for (size_t g = 0; g < groups.size(); ++g) term.groups[g] = groups[g];
  AttachBase(term);
}

Digit MakeDigit(bool pawnSquares, const std::vector<int>& men, const std::vector<int>& excluded) {
  Digit digit;
  digit.pawnSquares = pawnSquares;
  digit.size = static_cast<uint8_t>(men.size());
  for (size_t i = 0; i < men.size(); ++i) digit.ref[i] = static_cast<uint8_t>(men[i]);
  digit.exclusionCount = static_cast<uint8_t>(excluded.size());
  for (size_t i = 0; i < excluded.size(); ++i) digit.exclusion[i] = static_cast<uint8_t>(excluded[i]);
  const int free = (pawnSquares ? 48 : 64) - static_cast<int>(excluded.size());
  digit.radix = tables.binomial[digit.size][free];
  return digit;
}

int PlaceTypeOf(char letter, bool pawnKind1) {
  switch (letter) {
    case 'p': return pawnKind1 ? PawnKind1 : PawnKind0;
    case 'n': return Knight;
    case 'b': return Bishop;
    case 'r': return Rook;
    default: return Queen;
  }
}

int SlotBase(char letter) {
  switch (letter) {
    case 'p': return 0;
    case 'n': return 3;
    case 'b': return 6;
    case 'r': return 9;
    default: return 12;
  }
}

// Digits for the white men that are ranked among free squares with black to move: the
// pieces first (in name order, a like pair before a single), each excluding `excluded` and
// the pieces ranked before it; then the white pawns not placed, among a2..h7.
void AddWhiteDigits(IndexRule& rule, const std::vector<int>& pieces, const std::vector<int>& pawns,
                    std::vector<int> excluded, const std::vector<int>& pawnExcluded,
                    const std::string& letters) {
  auto add = [&rule](const Digit& digit) { rule.digits[rule.digitCount++] = digit; };
  if (pieces.size() == 3 && letters[0] == letters[1] && letters[1] == letters[2]) {
    add(MakeDigit(false, pieces, excluded));
  } else if (pieces.size() == 3 && (letters[0] == letters[1] || letters[1] == letters[2])) {
    const bool pairFirst = letters[0] == letters[1];
    const std::vector<int> pair = pairFirst ? std::vector<int>{pieces[0], pieces[1]}
                                            : std::vector<int>{pieces[1], pieces[2]};
    const int single = pairFirst ? pieces[2] : pieces[0];
    std::vector<int> withSingle = excluded;
    withSingle.push_back(single);
    add(MakeDigit(false, pair, withSingle));
    add(MakeDigit(false, {single}, excluded));
  } else if (pieces.size() == 2 && letters[0] == letters[1]) {
    add(MakeDigit(false, pieces, excluded));
  } else {
    for (int piece : pieces) {
      add(MakeDigit(false, {piece}, excluded));
      excluded.push_back(piece);
    }
  }
  if (!pawns.empty()) add(MakeDigit(true, pawns, pawnExcluded));
}

IndexRule BuildRule(int table, int side) {
  IndexRule rule;
  const std::string name = TbTableName(table);
  const size_t secondKing = name.find('k', 1);
  const std::string white = name.substr(1, secondKing - 1), black = name.substr(secondKing + 1);
  const std::string men = white + black;
  rule.whiteMen = static_cast<uint8_t>(white.size());
  rule.menCount = static_cast<uint8_t>(men.size());
  rule.pawns = men.find('p') != std::string::npos;
  rule.mover = static_cast<uint8_t>(side);
  for (size_t i = 0; i < men.size(); ++i) {
    int occurrence = 0;
    const size_t start = i < white.size() ? 0 : white.size();
    for (size_t j = start; j < i; ++j) occurrence += men[j] == men[i];
    rule.slot[i] = static_cast<uint8_t>(SlotBase(men[i]) + occurrence);
    if (men[i] == 'p') rule.pawnRefMask |= uint64_t{1} << (2 + i);
  }
  const int pairKind = rule.pawns ? 1 : 0;
  std::vector<int> whitePieces, whitePawns;
  std::string pieceLetters;
  for (size_t i = 0; i < white.size(); ++i) {
    if (white[i] == 'p') {
      whitePawns.push_back(static_cast<int>(2 + i));
    } else {
      whitePieces.push_back(static_cast<int>(2 + i));
      pieceLetters += white[i];
    }
  }
  const int blackMan = black.empty() ? -1 : static_cast<int>(2 + white.size());
  const bool blackPawn = black == "p";

  PlacedTerm& first = rule.first;
  first.pairKind = static_cast<uint8_t>(pairKind);
  std::vector<std::pair<int, int>> placed;
  if (side == 0) {
    // White to move places its men against the black king; the black man is ranked.
    first.ownKing = 0;
    first.otherKing = 1;
    for (size_t i = 0; i < white.size(); ++i)
      placed.emplace_back(PlaceTypeOf(white[i], true), static_cast<int>(2 + i));
    if (blackPawn) {
      rule.digits[rule.digitCount++] = MakeDigit(true, {blackMan}, whitePawns);
    } else if (blackMan >= 0) {
      std::vector<int> excluded{0, 1};
      for (size_t i = 0; i < white.size(); ++i) excluded.push_back(static_cast<int>(2 + i));
      rule.digits[rule.digitCount++] = MakeDigit(false, {blackMan}, excluded);
    }
  } else {
    first.ownKing = 1;
    first.otherKing = 0;
    std::vector<int> excluded{1, 0};
    std::vector<int> rankedPawns, pawnExcluded;
    if (blackMan >= 0) {
      // Black places its man; a black pawn is seen in the board turned rank-wise.
      placed.emplace_back(PlaceTypeOf(black[0], true), blackMan);
      if (blackPawn) first.frame = 56;
      excluded.insert(excluded.end(), whitePawns.begin(), whitePawns.end());
      excluded.push_back(blackMan);
      rankedPawns = whitePawns;
      if (blackPawn) pawnExcluded.push_back(blackMan);
    } else if (!whitePawns.empty()) {
      // Only the king to move: the white pawns, seen from the other side, come first.
      first.frame = 56;
      for (int pawn : whitePawns) placed.emplace_back(PawnKind0, pawn);
      excluded.insert(excluded.end(), whitePawns.begin(), whitePawns.end());
    }
    AddWhiteDigits(rule, whitePieces, rankedPawns, excluded, pawnExcluded, pieceLetters);
  }
  SetGroups(first, placed);
  for (int d = 0; d < rule.digitCount; ++d) rule.multiplier *= rule.digits[d].radix;
  rule.range = first.total * rule.multiplier;

  const int whitePawnCount = static_cast<int>(whitePawns.size());
  if (blackPawn && whitePawnCount > 0) {
    if (white == "p") {
      rule.epKind = EpPawnAgainstPawn;
      rule.range += 14 * PawnPairCount;
    } else if (whitePawnCount == 2) {
      rule.epKind = EpTwoPawnsAgainstPawn;
      rule.range += 616 * PawnPairCount;
    } else {
      rule.epKind = EpPiecePawnAgainstPawn;
      if (side == 0) {
        rule.epPlaced.pairKind = 1;
        SetGroups(rule.epPlaced, {{PlaceTypeOf(white[0], true), 2}});
        rule.range += 14 * rule.epPlaced.total;
      } else {
        rule.range += 812 * PawnPairCount;
      }
    }
  }
  rule.valid = true;
  return rule;
}

// Number of an unordered set of one to three distinct values (the first `size` of a, b, c)
// in the order 0-1, 0-2, 1-2, 0-3, ... (the colexicographic order).
uint32_t Combination(uint32_t a, uint32_t b, uint32_t c, int size) {
  if (size == 1) return a;
  if (size == 2) return std::min(a, b) + tables.binomial[2][std::max(a, b)];
  const uint32_t low = std::min({a, b, c}), high = std::max({a, b, c});
  return low + tables.binomial[2][a + b + c - low - high] + tables.binomial[3][high];
}

// The first part of the index, or -1 when a man stands where its type may not.
int64_t PlacedValue(const PlacedTerm& term, const int* square) {
  const int own = square[term.ownKing] ^ term.frame, other = square[term.otherKing] ^ term.frame;
  const uint16_t pair = PairTable(term.pairKind)[own * 64 + other];
  if (pair == NoPair) return -1;
  uint32_t value = 0;
  for (int g = 0; g < term.groupCount; ++g) {
    const PlacedGroup& group = term.groups[g];
    const uint8_t* row = tables.pieceSquareIndex[group.type] + other * 64;
    const bool ownAllowed = row[own] != NotAllowed;
    uint32_t place[3] = {0, 0, 0};
    for (int i = 0; i < group.size; ++i) {
      const int s = square[group.ref[i]] ^ term.frame;
      if (row[s] == NotAllowed) return -1;
      place[i] = row[s] - (ownAllowed && s > own ? 1 : 0);
    }
    const uint32_t combination = Combination(place[0], place[1], place[2], group.size);
    const uint32_t count = tables.pieceSquareCount[group.type][other] - (ownAllowed ? 1 : 0);
    value = value * tables.binomial[group.size][count] + combination;
  }
  return value + term.base[pair];
}

uint32_t DigitValue(const Digit& digit, const int* square) {
  uint32_t rank[3] = {0, 0, 0};
  for (int i = 0; i < digit.size; ++i) {
    const int s = square[digit.ref[i]];
    int below = 0;
    for (int e = 0; e < digit.exclusionCount; ++e) below += square[digit.exclusion[e]] < s;
    rank[i] = static_cast<uint32_t>(s - below - (digit.pawnSquares ? 8 : 0));
  }
  return Combination(rank[0], rank[1], rank[2], digit.size);
}

int Below(int square, std::initializer_list<int> others) {
  int below = 0;
  for (int other : others) below += other < square;
  return below;
}

// En passant, in the normalised squares: valid only when the pawn that just made its double
// step stands next to a pawn that can take it and both squares it passed are empty;
// otherwise the square changes nothing and the position is numbered without it.
int64_t EpIndex(const IndexRule& rule, const int* square, int ep, uint64_t occupied) {
  const bool whiteToMove = rule.mover == 0;
  const int blackPawnRef = rule.menCount + 1;
  const int q = square[blackPawnRef];
  const int forward = whiteToMove ? 8 : -8;
  // The pawn that moved: black's with white to move, else one of white's.
  int moved = -1, movedRef = -1;
  if (whiteToMove) {
    if (ep < 40 || ep > 47 || q != ep - 8) return -1;
    moved = q;
  } else {
    if (ep < 16 || ep > 23) return -1;
    for (int i = 0; i < rule.whiteMen; ++i)
      if (((rule.pawnRefMask >> (2 + i)) & 1) && square[2 + i] == ep + 8) movedRef = 2 + i;
    if (movedRef < 0) return -1;
    moved = ep + 8;
  }
  if ((occupied >> ep) & 1 || (occupied >> (ep + forward)) & 1) return -1;
  auto takes = [moved](int pawn) {
    return Rank(pawn) == Rank(moved) && std::abs(File(pawn) - File(moved)) == 1;
  };
  bool capturable = false;
  if (whiteToMove) {
    for (int i = 0; i < rule.whiteMen; ++i)
      if (((rule.pawnRefMask >> (2 + i)) & 1) && takes(square[2 + i])) capturable = true;
  } else {
    capturable = takes(q);
  }
  if (!capturable) return -1;

  const int w = square[0], b = square[1], e = ep;
  const int64_t epBase = int64_t{rule.first.total} * rule.multiplier;
  const int64_t pair = tables.kingPairPawns[whiteToMove ? w * 64 + b : b * 64 + w];
  if (pair == NoPair) return -2;
  switch (rule.epKind) {
    case EpPawnAgainstPawn: {
      const int c = whiteToMove ? (e == square[2] + 7 ? File(square[2]) - 1 : File(square[2]) + 7)
                                : (e == q - 9 ? File(q) - 1 : File(q) + 7);
      return epBase + 14 * pair + c;
    }
    case EpPiecePawnAgainstPawn: {
      const int x = square[2], p = square[3];
      if (whiteToMove) {
        const int64_t placed = PlacedValue(rule.epPlaced, square);
        if (placed < 0) return -2;
        return epBase + 14 * placed + (e == p + 7 ? File(p) - 1 : File(p) + 7);
      }
      const int rank = x - Below(x, {b, w, p, q, e, e - 8});
      return epBase + 812 * pair + 14 * rank + (e == q - 9 ? File(q) - 1 : File(q) + 7);
    }
    default: {
      const int lo = std::min(square[2], square[3]), hi = std::max(square[2], square[3]);
      const int64_t base = epBase + 616 * pair;
      if (whiteToMove) {
        auto r = [&](int o) { return o - Below(o, {e, q, e + 8}); };
        if (e == lo + 7 && File(lo) != 0) return base + File(lo) + 14 * r(hi) - 127;
        if (e == lo + 9 && File(lo) != 7) return base + File(lo) + 14 * r(hi) - 119;
        if (e == hi + 7 && File(hi) != 0) return base + File(hi) + 14 * r(lo) - 113;
        return base + File(hi) + 14 * r(lo) - 105;
      }
      auto r = [&](int o) { return o - Below(o, {e, q, e - 8}); };
      if (e == q - 9 && File(q) != 0)
        return lo != q - 1 ? base + File(q) + 14 * r(lo) - 113 : base + File(q) + 14 * r(hi) - 127;
      return lo != e + 8 ? base + File(q) + 14 * r(lo) - 105 : base + File(q) + 14 * r(hi) - 119;
    }
  }
}

}  // namespace

void TbBuildIndexTables() {
  std::call_once(buildOnce, [] {
    BuildSharedTables();
    for (int table = 1; table < TbTableCount; ++table)
      for (int side = 0; side < 2; ++side) rules[table][side] = BuildRule(table, side);
  });
}

uint32_t TbIndexRange(int table, int side) {
  if (table < 1 || table >= TbTableCount || side < 0 || side > 1) return 0;
  return rules[table][side].range;
}

uint32_t TbIndex(int table, int side, const TbPieceList strong, const TbPieceList weak,
                 int epSquare, bool swapped) {
  if (table < 1 || table >= TbTableCount || side < 0 || side > 1) return TbNoIndex;
  const IndexRule& rule = rules[table][side];
  if (!rule.valid) return TbNoIndex;

  int square[7];
  square[0] = strong[15];
  square[1] = weak[15];
  for (int i = 0; i < rule.menCount; ++i)
    square[2 + i] = (i < rule.whiteMen ? strong : weak)[rule.slot[i]];
  const int count = rule.menCount + 2;
  uint64_t occupied = 0;
  for (int i = 0; i < count; ++i) {
    if (square[i] < 0 || square[i] > 63) return TbNoIndex;
    const uint64_t bit = uint64_t{1} << square[i];
    if (occupied & bit) return TbNoIndex;
    occupied |= bit;
    if (((rule.pawnRefMask >> i) & 1) && (square[i] < 8 || square[i] > 55)) return TbNoIndex;
  }

  const int mover = square[rule.mover];
  if (rule.pawns) {
    const int m = tables.flipPawnTables[mover] ^ tables.flipSwapped[swapped ? 1 : 0];
    for (int i = 0; i < count; ++i) square[i] ^= m;
    if (rule.epKind != NoEp && epSquare >= 0 && epSquare < 64) {
      uint64_t normalised = 0;
      for (int i = 0; i < count; ++i) normalised |= uint64_t{1} << square[i];
      const int64_t index = EpIndex(rule, square, epSquare ^ m, normalised);
      if (index == -2) return TbNoIndex;
      if (index >= 0) return static_cast<uint32_t>(index);
    }
  } else {
    const int m = tables.flipPawnless[mover];
    for (int i = 0; i < count; ++i) square[i] ^= m;
    const int own = square[rule.mover], other = square[1 - rule.mover];
    if (File(own) < Rank(own) || (File(own) == Rank(own) && File(other) < Rank(other)))
      for (int i = 0; i < count; ++i) square[i] = tables.transpose[square[i]];
  }

  const int64_t first = PlacedValue(rule.first, square);
  if (first < 0) return TbNoIndex;
  uint32_t rest = 0;
  for (int d = 0; d < rule.digitCount; ++d)
    rest = rest * rule.digits[d].radix + DigitValue(rule.digits[d], square);
  return static_cast<uint32_t>(first) * rule.multiplier + rest;
}
