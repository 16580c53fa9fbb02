#pragma once
// The search consults the material-keyed recognizers before it searches or evaluates a
// node; their answers are from the side to move's view.

#include <cstdint>

#include "board/position.h"

#if __has_include("eval/endgame.h")
#include "eval/endgame.h"
inline bool RecognizerAnswers(Position& pos, int32_t& score) {
  int32_t answer = RecognizerScore(pos);
  if (answer == 0x7FFFFFFF) return false;
  score = answer;
  return true;
}
#else
// Built before the recognizers exist: no signature has special knowledge.
inline bool RecognizerAnswers(Position&, int32_t&) { return false; }
#endif
