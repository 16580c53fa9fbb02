// Tablebase files into registration, then values read through the block cache and positions
// probed. An input is two bytes of choices and the file itself:
//   byte 0   the table: 1 + byte % 145 (its name, symmetry and expected size)
//   byte 1   bit 0: side (black to move); bits 1-2: the name the file is saved under (plain
//            ".nbw", or the compressed ".nbw.emd", "_nbw.emd", "__nbw.emd"); bits 3-4: cache
//            slots (0: a cache too small to hold a block); bit 5: block CRC checks off, so
//            that damaged blocks reach the decoder; bit 6: the header CRC is made right
//            before the file is written, so that damaged headers reach the parser; bit 7,
//            with bit 7 of byte 0 too (an input in four): the whole start-up, TbInit over
//            the folder, instead of one TbRegister (it tries some thousand names)
//   rest     the file
// Registration faults end the engine with a "***" line; here that end throws, and the next
// input starts over. A plain file's values are checked against its bytes.

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "board/board.h"
#include "egdb/tb_cache.h"
#include "egdb/tb_decode.h"
#include "egdb/tb_probe.h"
#include "egdb/tb_registry.h"
#include "fuzz/fuzz_support.h"
#include "notation/notation.h"

namespace {

struct RegistrationFault {};

constexpr int ValueReads = 12;
constexpr int Probes = 6;

// A small generator of its own, so that the reads and the positions follow from the input.
struct Lcg {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state >> 33);
  }
};

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void FixHeaderCrc(std::vector<uint8_t>& file) {
  if (file.size() < TbHeaderBytes) return;
  const uint32_t length = BigEndian32(file.data() + 64);
  if (length <= 83 || length > file.size()) return;
  const uint32_t crc = TbCrc32(file.data(), length - 4);
  for (int i = 0; i < 4; ++i) file[length - 4 + i] = uint8_t(crc >> (24 - 8 * i));
}

// A position with the table's men (the strong side white or, by chance, black) on squares
// the generator picks, pawns off the back ranks, sometimes an en passant square; false when
// the reader refuses it.
bool RandomPosition(int table, Lcg& lcg, Position& pos) {
  char board[64];
  std::memset(board, 0, sizeof board);
  const bool strongIsBlack = lcg.Next() & 1;
  int kings = 0;
  for (const char* c = TbTableName(table); *c; ++c) {
    const bool strongSide = (*c == 'k' ? kings++ == 0 : kings == 1);
    const bool white = strongSide != strongIsBlack;
    int square;
    do {
      square = int(lcg.Next() % 64);
    } while (board[square] || (*c == 'p' && (square < 8 || square >= 56)));
    board[square] = white ? char(std::toupper(*c)) : *c;
  }
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const char man = board[rank * 8 + file];
      if (!man) {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty), empty = 0;
      fen += man;
    }
    if (empty) fen += char('0' + empty);
    if (rank) fen += '/';
  }
  const bool blackToMove = lcg.Next() & 1;
  fen += blackToMove ? " b - " : " w - ";
  // En passant behind a pawn of the side that just moved, when it may have stepped twice.
  std::string ep = "-";
  const int rank = blackToMove ? 3 : 4, direction = blackToMove ? -8 : 8;
  const char pawn = blackToMove ? 'P' : 'p';
  for (int file = 0, first = int(lcg.Next() % 8); file < 8; ++file) {
    const int square = rank * 8 + (file + first) % 8;
    if (board[square] == pawn && !board[square + direction] && !board[square + 2 * direction]) {
      ep = {char('a' + square % 8), char('1' + rank + (blackToMove ? -1 : 1))};
      break;
    }
  }
  fen += lcg.Next() & 1 ? ep : "-";
  return SetFromFen(pos, fen);
}

TbState state;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitTables();
  InScratchDirectory scratch;
  tbFatalEnd = [] { throw RegistrationFault{}; };
  TbInit(state, "", 0);  // the index tables and the material trie, once
  TbFreeState(state);
  // The "***" lines say nothing the fuzzer looks at.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  InScratchDirectory scratch;
  const int table = 1 + data[0] % (TbTableCount - 1);
  const int choices = data[1];
  const int side = TbIsSymmetric(table) ? 0 : choices & 1;
  const int form = (choices >> 1) & 3;
  const size_t cacheBytes = ((choices >> 3) & 3) * TbSlotBytes;
  std::vector<uint8_t> file(data + 2, data + size);
  if (choices & 0x40) FixHeaderCrc(file);

  static constexpr const char* Suffixes[2][4] = {{".nbw", ".nbw.emd", "_nbw.emd", "__nbw.emd"},
                                                 {".nbb", ".nbb.emd", "_nbb.emd", "__nbb.emd"}};
  const std::string name = std::string(TbTableName(table)) + Suffixes[side][form];
  WriteWholeFile(name, file.data(), file.size());

  bool registered = false;
  try {
    if (choices & data[0] & 0x80) {
      registered = TbInit(state, "", cacheBytes) > 0;
    } else {
      registered = TbRegister("", table, side);
      state.pieceLimit = table >= TbFirstFivePiece ? 5 : table >= TbFirstFourPiece ? 4 : 3;
      TbSetCacheSize(state, cacheBytes);
    }
  } catch (const RegistrationFault&) {
    registered = false;
  }
  if (!registered) {
    TbFreeState(state);
    std::remove(name.c_str());
    return 0;
  }

  TbDescriptor& d = tbRegistry.descriptors[table];
  if (!d.path[side]) std::abort();  // registered, yet no file for the side
  if ((form == 0) != (d.decoder[side] == nullptr)) std::abort();
  if (d.decoder[side] && (choices & 0x20)) d.decoder[side]->checkBlocks = false;

  const int64_t length = d.length[side];
  Lcg lcg{size * 0x9E3779B97F4A7C15ull + uint64_t(choices)};
  const uint32_t edges[] = {0, 8191, 8192, uint32_t(length - 1), uint32_t(length)};
  for (int i = 0; i < ValueReads; ++i) {
    const uint32_t index = i < 5 ? edges[i] : lcg.Next() % uint32_t(length + 1);
    const int32_t value = TbReadValue(table, side, index);
    if (value < -TbValueBase - 126 || (value > TbValueBase + 126 && value != TbNoInformation))
      std::abort();
    if (form != 0 || cacheBytes == 0 || TbTableName(table) == std::string_view("kppkp")) continue;
    // A plain file's byte, wherever the cache holds its block.
    const int32_t expected = int64_t(index) < length ? TbMapValue(int8_t(file[index])) : TbNoInformation;
    if (value != expected) std::abort();
  }
  for (int i = 0; i < Probes; ++i) {
    Position pos;
    if (!RandomPosition(table, lcg, pos)) continue;
    int score = 0;
    if (TbProbe(state, pos, score, int(lcg.Next() % 2)) && (score < -32000 || score > 32000))
      std::abort();
  }
  // Nothing outlives the input, or libFuzzer would look for leaks after each one.
  TbFreeState(state);
  std::remove(name.c_str());
  return 0;
}
