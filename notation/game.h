#pragma once
// The one game: its position, the moves played since the set-up and the keys of the
// positions since the last capture or pawn move.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "board/position.h"

enum GameEndCode : int {
  NoGameEnd = 0,
  BlackMates = 1,
  WhiteMates = 2,
  DrawByRepetition = 3,
  Stalemate = 4,
  FiftyMoves = 5,
  InsufficientMaterial = 6,
};

struct GameMoveEntry {
  Move move;
  int8_t mover;
  int8_t captured;
};

struct GameRecord {
  Position gamePosition;
  std::string startFen;  // empty: the standard start position
  int32_t moveNumber = 1;
  std::vector<GameMoveEntry> gameMoves[2];  // by side, indexed by moveNumber; grows by 128
  uint64_t gameKeys[128];                   // indexed by fiftyCounter
  int8_t gameKeyCastling[128];              // beside each key: a key alone can collide
  int8_t gameKeyEpFile[128];
  int32_t gameKeyIndex = 0;
};

extern GameRecord gameRecord;

void PlayGameMove(const Move& move);
void NewGame();
bool SetupGame(std::string_view fen);
void TakeBack();
GameEndCode CheckGameEnd();
GameEndCode PositionEnd(Position& pos);
