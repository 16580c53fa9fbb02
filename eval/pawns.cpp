// Pawn structure: passed, isolated, doubled and backward pawns, cached by pawn key.

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "board/large_table.h"
#include "eval/colour_terms.h"
#include "eval/eval.h"

namespace {

// The pawn hash, one entry of 16 bytes:
//   key   u64  the full pawnKey
//   data  u64  bits 0..15   pawn score + 32768
//              bits 16..63  passedPawns << 8: the passed bits of a2..h7 (pawns never
//                           stand on ranks 1 or 8, so nothing is lost)
struct PawnEntry {
  uint64_t key;
  uint64_t data;
};
static_assert(sizeof(PawnEntry) == 16);

struct PawnTable {
  PawnEntry* entries = nullptr;
  uint64_t mask = 0;
};
PawnTable pawnTable;

constexpr uint64_t PawnScoreField = 0xFFFF;
constexpr int32_t PawnScoreOffset = 32768;  // scores -32768..32767 stored unsigned
constexpr int PassedShift = 8;              // moves a2..h7 up to bits 16..63

constexpr uint64_t PackPawnData(int32_t score, Bitboard passed) {
  return (passed << PassedShift & ~PawnScoreField) | uint16_t(score + PawnScoreOffset);
}
constexpr int32_t UnpackPawnScore(uint64_t data) { return int32_t(data & PawnScoreField) - PawnScoreOffset; }
constexpr Bitboard UnpackPassedPawns(uint64_t data) { return (data & ~PawnScoreField) >> PassedShift; }

// By rank index (rank 1 = 0).
constexpr int32_t passedBonusWhite[8] = {0, 1, 5, 10, 25, 50, 100, 0};
constexpr int32_t passedSupportedWhite[8] = {0, 1, 7, 15, 37, 75, 150, 0};
constexpr int32_t passedBonusBlack[8] = {0, 100, 50, 25, 10, 5, 1, 0};
constexpr int32_t passedSupportedBlack[8] = {0, 150, 75, 37, 15, 7, 1, 0};
// By the number of one side's pawns on the file (1..6).
constexpr int32_t isolatedOpen[7] = {0, 20, 50, 100, 200, 300, 400};
constexpr int32_t isolatedClosed[7] = {0, 10, 37, 75, 150, 225, 300};
constexpr int MostPawnsOnAFile = 6;
constexpr int32_t doubledPenalty[MostPawnsOnAFile + 1] = {0, 0, -5, -10, -20, -30, -40};
constexpr int32_t BackwardPenalty = 9;

int HighestSquare(Bitboard set) { return 63 - std::countl_zero(set); }

// The square of a set that is furthest back from Us's side: the lowest for white, the
// highest for black.
template <int Us>
int LeastAdvanced(Bitboard set) {
  return Us == White ? LowestSquare(set) : HighestSquare(set);
}

template <int Us>
int32_t PassedBonus(int square, bool supported) {
  constexpr const int32_t* bonus = Us == White ? passedBonusWhite : passedBonusBlack;
  constexpr const int32_t* supportedBonus = Us == White ? passedSupportedWhite : passedSupportedBlack;
  return supported ? supportedBonus[RankOf(square)] : bonus[RankOf(square)];
}

// The pawns of one file (`first` the lowest of them) with no own pawn on the neighbouring
// files: passed bonuses without support, then the isolation penalty for the whole file
// (which replaces the doubled one). Values from Us's side.
template <int Us>
int32_t IsolatedFile(int first, Bitboard file, Bitboard enemy, Bitboard& passed) {
  int32_t v = 0;
  for (Bitboard set = file; set;) {
    int sq = PopLowest(set);
    if (enemy & EvalColour<Us>::PassedMask(sq)) continue;
    passed |= Bit(sq);
    v += PassedBonus<Us>(sq, false);
  }
  const int count = CountBits(file);
  const bool enemyOnFile = enemy & fileMask[first];
  return v - (enemyOnFile ? isolatedClosed[count] : isolatedOpen[count]);
}

// The pawns of one file with own pawns beside it: passed bonuses, backward pawns, and the
// doubled penalty. Values from Us's side.
template <int Us>
int32_t SupportedFile(int first, Bitboard file, Bitboard own, Bitboard enemy, Bitboard& passed) {
  using Our = EvalColour<Us>;
  const bool enemyOnFile = enemy & fileMask[first];
  // The least advanced neighbour decides whether a held-back pawn can still be supported.
  const int neighbourRank = Our::RelativeRank(LeastAdvanced<Us>(own & adjacentFiles[first]));
  int32_t v = 0;
  for (Bitboard set = file; set;) {
    int sq = PopLowest(set);
    Bitboard stoppers = enemy & Our::PassedMask(sq);
    if (!stoppers) {
      passed |= Bit(sq);
      v += PassedBonus<Us>(sq, own & Our::SupportSquares(sq));
      continue;
    }
    // On a half-open file with no own pawn level or behind on the neighbouring files, the
    // pawn is backward unless that neighbour is at least two ranks short of the nearest
    // stopper, with room to come up beside it.
    if (enemyOnFile || (own & Our::RearSpan(sq))) continue;
    const int stopperRank = Our::RelativeRank(LeastAdvanced<Us>(stoppers));
    if (neighbourRank >= stopperRank - 1) v -= BackwardPenalty;
  }
  // No pawn stands on a back rank, so a file holds six at the most.
  return v + doubledPenalty[std::min(CountBits(file), MostPawnsOnAFile)];
}

// White-positive: Us's pawns scored file by file, the files taken from the lowest square.
template <int Us>
int32_t PawnTerms(Bitboard own, Bitboard enemy, Bitboard& passed) {
  int32_t v = 0;
  for (Bitboard work = own; work;) {
    const int first = LowestSquare(work);
    const Bitboard file = own & fileMask[first];
    work &= ~file;
    v += (own & adjacentFiles[first]) ? SupportedFile<Us>(first, file, own, enemy, passed)
                                      : IsolatedFile<Us>(first, file, enemy, passed);
  }
  return EvalColour<Us>::Sign * v;
}

// The structure computed from scratch, without touching the hash.
int32_t ComputePawnStructure(const Bitboard whitePawns, const Bitboard blackPawns, Bitboard& passed) {
  passed = 0;
  return PawnTerms<White>(whitePawns, blackPawns, passed) + PawnTerms<Black>(blackPawns, whitePawns, passed);
}

}  // namespace

int32_t EvaluatePawns(Position& pos) {
  if (!pawnTable.entries) return ComputePawnStructure(pos.whitePawns, pos.blackPawns, pos.passedPawns);
  PawnEntry* slot = &pawnTable.entries[uint32_t(pos.pawnKey) & pawnTable.mask];
  if (slot->key == pos.pawnKey) {
    pos.passedPawns = UnpackPassedPawns(slot->data);
    return UnpackPawnScore(slot->data);
  }
  int32_t s = ComputePawnStructure(pos.whitePawns, pos.blackPawns, pos.passedPawns);
  slot->key = pos.pawnKey;
  slot->data = PackPawnData(s, pos.passedPawns);
  return s;
}

bool AllocatePawnTable(size_t entries) {
  FreePawnTable();
  if (entries == 0 || (entries & (entries - 1)) != 0) return false;
  PawnEntry* table = static_cast<PawnEntry*>(AllocateZeroedTable(entries * sizeof(PawnEntry)));
  if (!table) return false;
  table[0].key = 1;  // the pawnless key 0 indexes entry 0 and must not match a cleared entry
  pawnTable.entries = table;
  pawnTable.mask = entries - 1;
  return true;
}

void FreePawnTable() {
  std::free(pawnTable.entries);
  pawnTable = PawnTable{};
}

size_t PawnTableEntries() { return pawnTable.entries ? pawnTable.mask + 1 : 0; }
