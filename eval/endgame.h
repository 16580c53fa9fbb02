#pragma once
// Knowledge keyed by the material signature: recognizers answer for the search (side to
// move's view), scorers replace the general evaluation (white-positive).

#include <cstdint>

#include "board/position.h"

// Returns true and writes *score when it has an answer; false means "no special knowledge".
// May run legality routines on the position but leaves it as it was.
using EndgameEntry = bool (*)(Position& pos, int32_t* score);

constexpr int EndgameTableSize = 1024;
constexpr int32_t NoRecognizerScore = 0x7fffffff;

extern EndgameEntry recognizerTable[EndgameTableSize];
extern EndgameEntry scorerTable[EndgameTableSize];

// Squares from which the black king cannot stop a white a-pawn blocked on a3 by a pawn on a4,
// indexed by the white king's square (the wrong bishop cannot help).
extern const Bitboard kbpRegion[64];

// Clears both tables and registers every entry; idempotent.
void InitEndgameTables();

// The recognizer's answer for the side to move, or NoRecognizerScore when there is no entry
// or the entry declines.
int32_t RecognizerScore(Position& pos);
