#include "egdb/tb_probe.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_set>

#include "egdb/tb_cache.h"
#include "egdb/tb_index.h"
#include "egdb/tb_registry.h"

TbState engineTablebases;

namespace {

// Score of a stored value v (TbValueBase offsets, see tb_cache.h) at the given ply.
constexpr int WinOffset = 33533;
constexpr int LossOffset = 33532;

// The names a folder holds, or nothing when it cannot be listed but may still be read
// (execute without read permission): then every name is tried.
std::optional<std::unordered_set<std::string>> ListFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entry(folder, error), end;
  if (error) return std::nullopt;
  std::unordered_set<std::string> names;
  for (; entry != end; entry.increment(error)) {
    if (error) return std::nullopt;
    names.insert(entry->path().filename().string());
  }
  return names;
}

// Whether the listing holds a name registration would try for this side.
bool Listed(const std::unordered_set<std::string>& names, int table, int side) {
  const std::string plain = std::string(TbTableName(table)) + (side == 0 ? ".nbw" : ".nbb");
  const std::array<std::string, 4> tried = TbFileNames(plain);
  return std::any_of(tried.begin(), tried.end(),
                     [&](const std::string& name) { return names.count(name) != 0; });
}

void RegisterDirectory(std::string_view directory, int& highest) {
  // A folder holds a few hundred names at most; trying each table's four names in it would
  // cost some thousand failed opens per folder, and a folder that is not there none at all.
  std::error_code error;
  const std::filesystem::path folder = directory.empty() ? "." : std::string(directory);
  if (!std::filesystem::is_directory(folder, error)) return;
  const std::optional<std::unordered_set<std::string>> names = ListFolder(folder);
  // Every name a table side may have holds "nbw" or "nbb"; most folders hold none.
  if (names && std::none_of(names->begin(), names->end(), [](const std::string& name) {
        return name.find("nbw") != std::string::npos || name.find("nbb") != std::string::npos;
      }))
    return;
  auto registerSide = [&](int table, int side) {
    return (!names || Listed(*names, table, side)) && TbRegister(directory, table, side);
  };
  for (int t = 1; t < TbTableCount; ++t) {
    bool found = registerSide(t, 0);
    if (!TbIsSymmetric(t)) found = registerSide(t, 1) || found;
    if (found && t > highest) highest = t;
  }
}

int PieceLimitOf(int highestTable) {
  if (highestTable >= TbFirstFivePiece) return 5;
  if (highestTable >= TbFirstFourPiece) return 4;
  return highestTable > 0 ? 3 : 0;
}

// Slots 0, 3, 6, 9, 12 start the pawns, knights, bishops, rooks and queens of a list.
constexpr int KindSlot[5] = {0, 3, 6, 9, 12};
constexpr int KingSlot = 15;

// One side's list and its five counts; false with more than three men of a kind.
bool BuildPieceList(const Bitboard (&sets)[5], int king, TbPieceList list, int* counts) {
  for (int k = 0; k < 5; ++k) {
    int n = 0;
    for (Bitboard b = sets[k]; b; b &= b - 1, ++n) {
      if (n == 3) return false;
      list[KindSlot[k] + n] = std::countr_zero(b);
    }
    for (int slot = n; slot < 3; ++slot) list[KindSlot[k] + slot] = 0;
    counts[k] = n;
  }
  list[KingSlot] = king;
  return true;
}

}  // namespace

int TbInit(TbState& state, std::string_view pathList, size_t cacheBytes) {
  tbRegistry.allocatedBytes = 0;
  tbRegistry.compressedOpened = 0;
  TbCloseFiles();
  TbBuildIndexTables();
  TbBuildTrie();
  TbResetCache(nullptr, 0);
  TbForgetRegistrations();

  int highest = 0;
  size_t start = 0;
  // The first folder to hold a table wins, so a folder named again adds nothing; looking
  // again would cost every table's names once more ("a;a;a;..." in a settings file).
  std::unordered_set<std::string_view> searched;
  for (;;) {
    const size_t end = pathList.find_first_of(",;:", start);
    const std::string_view directory = pathList.substr(start, end - start);
    if (searched.insert(directory).second) RegisterDirectory(directory, highest);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  state.pieceLimit = PieceLimitOf(highest);
  TbSetCacheSize(state, cacheBytes);
  return state.pieceLimit;
}

void* (*allocateTablebaseCache)(size_t bytes) = std::malloc;

bool TbSetCacheSize(TbState& state, size_t bytes) {
  TbResetCache(nullptr, 0);
  std::free(state.cacheBuffer);
  state.cacheBuffer = nullptr;
  state.cacheBytes = 0;
  if (bytes < TbSmallestCache) {
    state.error = TbCacheSizeRejected;
    return false;
  }
  if (bytes <= TbLargestCache) state.cacheBuffer = static_cast<uint8_t*>(allocateTablebaseCache(bytes));
  if (!state.cacheBuffer) {
    state.error = TbCacheAllocationFailed;
    return false;
  }
  tbRegistry.allocatedBytes += int64_t(bytes);
  state.cacheBytes = bytes;
  state.error = state.pieceLimit ? TbFine : TbNoTableFound;
  TbResetCache(state.cacheBuffer, bytes);
  return true;
}

void TbFreeState(TbState& state) {
  TbResetCache(nullptr, 0);
  TbForgetRegistrations();
  std::free(state.cacheBuffer);
  state = TbState{};
}

bool TbProbe(const TbState& state, const Position& pos, int& score, int ply) {
  const int men = std::popcount(pos.occupied);
  if (men > state.pieceLimit) return false;
  if (men == 2) {
    score = 0;
    return true;
  }
  if (pos.castling & 15) return false;

  TbPieceList lists[2];
  int counts[10];
  const Bitboard white[5] = {pos.whitePawns, pos.whiteKnights, pos.whiteBishops, pos.whiteRooks,
                             pos.whiteQueens};
  const Bitboard black[5] = {pos.blackPawns, pos.blackKnights, pos.blackBishops, pos.blackRooks,
                             pos.blackQueens};
  if (!BuildPieceList(white, pos.whiteKing, lists[White], counts) ||
      !BuildPieceList(black, pos.blackKing, lists[Black], counts + 5))
    return false;

  int table = TbLookup(counts);
  if (table == 0) return false;
  int side = pos.sideToMove;
  int strong = White;
  const bool swapped = table < 0;
  if (swapped) {
    // The table's stronger side is black here: the position is read with colours exchanged.
    table = -table;
    side ^= 1;
    strong = Black;
  }
  const TbDescriptor& d = tbRegistry.descriptors[table];
  const int fileSide = TbIsSymmetric(table) ? 0 : side;
  if (!d.path[fileSide] && !d.memory[fileSide]) return false;

  // The square behind the pawn that just made its double step, as the position has it.
  const int epSquare = pos.epFile == NoEnPassant ? TbNoEpSquare
                       : pos.epFile + (pos.sideToMove == White ? 40 : 16);
  const uint32_t index = TbIndex(table, side, lists[strong], lists[strong ^ 1], epSquare, swapped);
  const int32_t v = TbReadValue(table, side, index);
  if (v == TbNoInformation) return false;
  score = v == 0 ? 0 : v > 0 ? 2 * v - WinOffset - ply : 2 * v + LossOffset + ply;
  return true;
}
