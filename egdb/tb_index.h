#pragma once
// Position numbering of the endgame table files: for every table and side to move, the
// offset in the side's file at which a position's value is stored.

#include <cstdint>

#include "egdb/tb_tables.h"

// Piece list of one side: slots 0-2 pawns, 3-5 knights, 6-8 bishops, 9-11 rooks, 12-14
// queens, 15 the king. Pieces of one kind fill their slots in ascending square order; slots
// beyond the count the table's name gives are ignored. Squares a1 = 0 ... h8 = 63.
using TbPieceList = int[16];

constexpr int TbNoEpSquare = 127;
// Answer for a placement no table numbers: squares off the board or shared, pawns on the
// first or last rank, kings touching, or a man of the side to move touching the other king.
constexpr uint32_t TbNoIndex = 0xFFFFFFFF;

// Builds the shared numbering tables; once per process, later calls do nothing (safe from
// several threads). Until it has run, TbIndex answers TbNoIndex.
void TbBuildIndexTables();

// Index of the position in the table's file for the given side to move (0 white, 1 black).
// strong is the side named first in the table name, white in the table; weak the other.
// epSquare is the en passant target square or TbNoEpSquare; swapped is true when the
// position's colours were exchanged to fit the table (the board is then turned rank-wise so
// that the table's white pawns move up). An en passant square counts only when the pawn
// that just stepped two squares can be taken that way. An index at or past TbExpectedSize
// belongs to a position that cannot occur with that side to move; some values below it are
// never reached either (men sharing a square, en passant squares a king blocks).
uint32_t TbIndex(int table, int side, const TbPieceList strong, const TbPieceList weak,
                 int epSquare, bool swapped);

// Number of index values the rules give the table for that side: TbExpectedSize or more
// (the last ones then belong to positions that cannot occur with that side to move); 0 for
// an unknown table or before TbBuildIndexTables.
uint32_t TbIndexRange(int table, int side);
