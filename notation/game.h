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
  Move move;        // as played; its score is not used
  int8_t mover;     // code on the from-square before the move
  int8_t captured;  // code on the to-square before the move (0 for en passant)
};

inline constexpr int GameMovesGrowth = 128;
inline constexpr int GameKeyCount = 128;

struct GameRecord {
  Position gamePosition{};
  std::string startFen;  // empty: the standard start position
  uint8_t startSide = White;  // side to move in the set-up position
  int32_t moveNumber = 1;
  // By side, indexed by the moveNumber of the move; entry 0 is never written.
  std::vector<GameMoveEntry> gameMoves[2] = {std::vector<GameMoveEntry>(GameMovesGrowth),
                                             std::vector<GameMoveEntry>(GameMovesGrowth)};
  // Indexed by fiftyCounter, so they hold exactly the positions since the last capture or
  // pawn move. The key's castling/en-passant term is a plain XOR of two small numbers and
  // can collide, so both are kept beside the key for the repetition test.
  uint64_t gameKeys[GameKeyCount] = {};
  int8_t gameKeyCastling[GameKeyCount] = {};  // castling rights (low four bits)
  int8_t gameKeyEpFile[GameKeyCount] = {};
  // Equals fiftyCounter while that is below GameKeyCount; beyond, the fifty-move end has
  // long been reached and the last slot is reused.
  int32_t gameKeyIndex = 0;
  // Seconds the time control keeps back: 1.0 plus what clearing the hash took.
  double timeReserve = 1.0;
};

extern GameRecord gameRecord;

// What the game record tells the subsystems above it, which it does not know: the start-up
// fills these in. An empty hook is simply not called.
struct GameEvents {
  // A new game ("new") or a set-up position (fromSetUp) has become the game position. The
  // time the hook takes is kept back from the clock, since it clears the hash table.
  void (*gameStarted)(bool fromSetUp) = nullptr;
  // Called with the position before the move, just before the move is played into it.
  void (*movePlayed)(const Position& before, const Move& move) = nullptr;
  // A half-move is about to be taken back.
  void (*moveTakenBack)() = nullptr;
  // After every game-end test, whatever it found.
  void (*gameEndChecked)() = nullptr;
};
extern GameEvents gameEvents;

// True when the game positions at key indices a and b are the same position: equal keys and
// equal castling rights and en-passant file.
inline bool SameGamePosition(int a, int b) {
  const GameRecord& g = gameRecord;
  return g.gameKeys[a] == g.gameKeys[b] && g.gameKeyCastling[a] == g.gameKeyCastling[b] &&
         g.gameKeyEpFile[a] == g.gameKeyEpFile[b];
}

// Plays a legal move of the game position into the record.
void PlayGameMove(const Move& move);
void NewGame();
// On refusal of the text nothing changes, startFen included.
bool SetupGame(std::string_view fen);
// Removes the last half-move; with no move since the set-up the record stays as it is.
void TakeBack();
GameEndCode CheckGameEnd();
// The end of the game on the board alone (no repetition); rewrites the position's moveList.
GameEndCode PositionEnd(Position& pos);
