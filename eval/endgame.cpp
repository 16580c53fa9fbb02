#include "eval/endgame.h"

EndgameEntry recognizerTable[EndgameTableSize];
EndgameEntry scorerTable[EndgameTableSize];

namespace {

bool RecognizeBareKings(Position&, int32_t* score) {
  *score = 0;
  return true;
}

}  // namespace

void InitEndgameTables() {
  for (int i = 0; i < EndgameTableSize; ++i) {
    recognizerTable[i] = nullptr;
    scorerTable[i] = nullptr;
  }
  recognizerTable[0] = RecognizeBareKings;
}

int32_t RecognizerScore(Position& pos) {
  EndgameEntry entry = recognizerTable[pos.materialSignature & (EndgameTableSize - 1)];
  int32_t score = 0;
  if (entry == nullptr || !entry(pos, &score)) return NoRecognizerScore;
  return score;
}
