// Pawn structure: passed, isolated, doubled and backward pawns, cached by pawn key.

#include "eval/pawns.h"

#include <bit>
#include <cstdlib>
#include <new>

#include "board/tables.h"
#include "eval/eval.h"

PawnTable pawnTable;

namespace {

// By rank index (rank 1 = 0).
constexpr int32_t passedBonusWhite[8] = {0, 1, 5, 10, 25, 50, 100, 0};
constexpr int32_t passedSupportedWhite[8] = {0, 1, 7, 15, 37, 75, 150, 0};
constexpr int32_t passedBonusBlack[8] = {0, 100, 50, 25, 10, 5, 1, 0};
constexpr int32_t passedSupportedBlack[8] = {0, 150, 75, 37, 15, 7, 1, 0};
// By the number of one side's pawns on the file (1..6).
constexpr int32_t isolatedOpen[7] = {0, 20, 50, 100, 200, 300, 400};
constexpr int32_t isolatedClosed[7] = {0, 10, 37, 75, 150, 225, 300};
constexpr int32_t doubledPenalty[7] = {0, 0, -5, -10, -20, -30, -40};
constexpr int32_t BackwardPenalty = 9;

int HighestSquare(Bitboard set) { return 63 - std::countl_zero(set); }

int32_t WhitePawnTerms(Bitboard whitePawns, Bitboard blackPawns, Bitboard& passed) {
  int32_t s = 0;
  for (Bitboard work = whitePawns; work;) {
    int first = LowestSquare(work);
    Bitboard file = whitePawns & fileMask[first];
    work &= ~file;
    int cnt = CountBits(file);
    bool blackOnFile = (blackPawns & fileMask[first]) != 0;
    Bitboard neighbours = whitePawns & adjacentFiles[first];
    if (!neighbours) {
      for (Bitboard set = file; set;) {
        int sq = PopLowest(set);
        if (!(blackPawns & whitePassedMask[sq])) {
          passed |= Bit(sq);
          s += passedBonusWhite[RankOf(sq)];
        }
      }
      s -= blackOnFile ? isolatedClosed[cnt] : isolatedOpen[cnt];
      continue;
    }
    // The least advanced neighbour decides whether a held-back pawn can still be supported.
    int nr = RankOf(LowestSquare(neighbours));
    for (Bitboard set = file; set;) {
      int sq = PopLowest(set);
      Bitboard stoppers = blackPawns & whitePassedMask[sq];
      if (stoppers) {
        if (!blackOnFile && !(whitePawns & whiteRearSpan[sq])) {
          int er = RankOf(LowestSquare(stoppers));
          if (!(nr < er - 1)) s -= BackwardPenalty;
        }
        continue;
      }
      passed |= Bit(sq);
      s += (whitePawns & whiteSupportSquares[sq]) ? passedSupportedWhite[RankOf(sq)]
                                                   : passedBonusWhite[RankOf(sq)];
    }
    s += doubledPenalty[cnt];
  }
  return s;
}

int32_t BlackPawnTerms(Bitboard whitePawns, Bitboard blackPawns, Bitboard& passed) {
  int32_t s = 0;
  for (Bitboard work = blackPawns; work;) {
    int first = LowestSquare(work);
    Bitboard file = blackPawns & fileMask[first];
    work &= ~file;
    int cnt = CountBits(file);
    bool whiteOnFile = (whitePawns & fileMask[first]) != 0;
    Bitboard neighbours = blackPawns & adjacentFiles[first];
    if (!neighbours) {
      for (Bitboard set = file; set;) {
        int sq = PopLowest(set);
        if (!(whitePawns & blackPassedMask[sq])) {
          passed |= Bit(sq);
          s -= passedBonusBlack[RankOf(sq)];
        }
      }
      s += whiteOnFile ? isolatedClosed[cnt] : isolatedOpen[cnt];
      continue;
    }
    int nr = RankOf(HighestSquare(neighbours));
    for (Bitboard set = file; set;) {
      int sq = PopLowest(set);
      Bitboard stoppers = whitePawns & blackPassedMask[sq];
      if (stoppers) {
        if (!whiteOnFile && !(blackPawns & blackRearSpan[sq])) {
          int er = RankOf(HighestSquare(stoppers));
          if (!(nr > er + 1)) s += BackwardPenalty;
        }
        continue;
      }
      passed |= Bit(sq);
      s -= (blackPawns & blackSupportSquares[sq]) ? passedSupportedBlack[RankOf(sq)]
                                                   : passedBonusBlack[RankOf(sq)];
    }
    s -= doubledPenalty[cnt];
  }
  return s;
}

}  // namespace

int32_t ComputePawnStructure(const Bitboard whitePawns, const Bitboard blackPawns, Bitboard& passed) {
  passed = 0;
  return WhitePawnTerms(whitePawns, blackPawns, passed) + BlackPawnTerms(whitePawns, blackPawns, passed);
}

int32_t EvaluatePawns(Position& pos) {
  if (!pawnTable.entries) return ComputePawnStructure(pos.whitePawns, pos.blackPawns, pos.passedPawns);
  PawnEntry* slot = &pawnTable.entries[uint32_t(pos.pawnKey) & pawnTable.mask];
  pawnTable.lastSlot = slot;
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
  // Zeroed by calloc, which leaves the pages of a large table untouched until used.
  PawnEntry* table = static_cast<PawnEntry*>(std::calloc(entries, sizeof(PawnEntry)));
  if (!table) return false;
  table[0].key = 1;
  pawnTable.entries = table;
  pawnTable.lastSlot = nullptr;
  pawnTable.mask = entries - 1;
  return true;
}

void FreePawnTable() {
  std::free(pawnTable.entries);
  pawnTable = PawnTable{};
}

size_t PawnTableEntries() { return pawnTable.entries ? pawnTable.mask + 1 : 0; }
