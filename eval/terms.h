#pragma once
// The terms of the evaluation, one function each, in the order Evaluate applies them;
// shared with the tests, which check each term on positions scored by hand. Each adds to
// the white-positive running score and expects the attack cache to be valid.

#include <cstdint>

#include "board/position.h"

// What one evaluation carries from term to term.
struct EvalContext {
  Position& pos;
  int32_t s;
  bool whiteHasAttack;
  bool blackHasAttack;
  int bishopColours;
};

void CentreControl(EvalContext& e);
void QueenMobility(EvalContext& e);
void WhiteBishops(EvalContext& e);
void BlackBishops(EvalContext& e);
// Shelter and edge value of a king before the attacked squares are counted.
int32_t ShelterPenalty(const Position& pos, bool white, int bishopColours);
// King safety, king placement or the bare-king terms; false when the bare king to move
// has no square to go to (the evaluation then answers 0).
bool WhiteKingTerms(EvalContext& e);
bool BlackKingTerms(EvalContext& e);
void BlockedPassedPawns(EvalContext& e);
void WhiteRooks(EvalContext& e);
void BlackRooks(EvalContext& e);
void RooksAgainstMinors(EvalContext& e);
void KnightOutposts(EvalContext& e);
void QueenEndings(EvalContext& e);
void OppositeBishops(EvalContext& e);
void FewPawns(EvalContext& e);
