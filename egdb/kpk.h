#pragma once
// King and pawn against king, known exactly: one bit per position, computed at start-up by
// retrograde analysis, telling whether the side with the pawn wins. No file is involved.

#include <cstdint>

#include "board/position.h"

// Positions are always seen with the pawn side as white. Index, 18 bits:
//   bit  0      side to move (0: white, the pawn side)
//   bits 1-6    black king square
//   bits 7-12   white king square
//   bits 13-17  pawn: (rank - 1) * 4 + file, files a..d only, ranks 2..7 (0..23)
// The pawn square decodes as ((index >> 13) & 3) + (index >> 15) * 8 + 8.
constexpr uint32_t KpkPositionCount = 0x30000;
constexpr uint32_t KpkWordCount = KpkPositionCount / 32;

// Bit i of the table is bit (i & 31) of won[i >> 5].
struct KpkBitbase {
  uint32_t wordCount = 0;
  uint32_t* won = nullptr;
};

// The one table of the process; empty until BuildKpkBitbase runs.
extern KpkBitbase kpkBitbase;

// Computes the table (replacing an earlier one) and returns the process-wide record.
KpkBitbase BuildKpkBitbase();
void DestroyKpkBitbase();

// True when the pawn side wins. Without a table, or for an index outside it, the answer is
// true: the recognizer then declines and the search decides, which is never wrong.
bool KpkWon(uint32_t index);

// Index of a position with a white pawn, mirrored left-right when the pawn stands on e..h.
// sideToMove: 0 white, 1 black. The pawn must stand on ranks 2..7.
uint32_t KpkIndex(int pawn, int whiteKing, int blackKing, int sideToMove);
