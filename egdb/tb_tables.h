#pragma once
// The fixed list of endgame tables Skarne knows: names, which ones are symmetric (one file
// serves both sides to move) and the uncompressed length of each side's file.

#include <cstdint>

// Entry 0 is the bare-kings table "kk", which never has a file; 1-5 hold three men, 6-35
// four and 36-145 five (kings included).
constexpr int TbTableCount = 146;
constexpr int TbFirstFourPiece = 6;
constexpr int TbFirstFivePiece = 36;

// Lower-case material name: "k", the stronger side's pieces, "k", the other side's ("kqkr").
const char* TbTableName(int table);
// knkn, kbkb, krkr, kqkq: only the white-to-move file exists and serves both sides.
bool TbIsSymmetric(int table);
// Length in bytes of the file for side 0 (white to move) or 1 (black to move).
int32_t TbExpectedSize(int table, int side);
// 1..145 for a known table name, else 0 ("kk" included: it is never a file).
int TbTableNumber(const char* name);
