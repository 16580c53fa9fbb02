#include "notation/game.h"

#include <algorithm>

#include "board/make_move.h"
#include "board/movegen.h"
#include "board/random.h"
#include "notation/fen.h"

GameRecord gameRecord;
GameEvents gameEvents;

namespace {

// A side with at most this much material cannot force mate on its own.
constexpr int MinorPieceLimit = 300;

void RecordKey() {
  GameRecord& g = gameRecord;
  const Position& pos = g.gamePosition;
  int index = static_cast<int>(std::min<uint32_t>(pos.fiftyCounter, GameKeyCount - 1));
  g.gameKeyIndex = index;
  g.gameKeys[index] = pos.hashKey;
  g.gameKeyCastling[index] = static_cast<int8_t>(pos.castling & 15);
  g.gameKeyEpFile[index] = pos.epFile;
}

void StartRecord() {
  GameRecord& g = gameRecord;
  g.moveNumber = 1;
  g.startSide = g.gamePosition.sideToMove;
  RecordKey();
}

// The clock keeps back a second plus whatever the listeners took to forget the old game.
void AnnounceGameStart(bool fromSetUp) {
  const int64_t start = MillisecondClock();
  if (gameEvents.gameStarted) gameEvents.gameStarted(fromSetUp);
  gameRecord.timeReserve = 1.0 + static_cast<double>(MillisecondClock() - start) / 1000.0;
}

// Half-moves played since the set-up. Counting from the set-up side keeps a set-up with
// black to move right: its full move 1 has no white half.
int HalfMovesPlayed() {
  const GameRecord& g = gameRecord;
  return 2 * (g.moveNumber - 1) + g.gamePosition.sideToMove - g.startSide;
}

void ApplyMove(const Move& move) {
  Position& pos = gameRecord.gamePosition;
  pos.cacheFlags = 0;
  MakeMove(pos, move);
  if (pos.sideToMove == White) ++gameRecord.moveNumber;
  RecordKey();
}

bool HasLegalMove(Position& pos) {
  pos.cacheFlags &= CacheWhiteAttacks | CacheBlackAttacks;
  GenerateLegalMoves(pos);
  Position trial;
  for (int i = 1; i <= pos.moveCount; ++i)
    if (MoveIsLegal(pos, pos.moveList[i], trial)) return true;
  return false;
}

// Each side has at most a minor piece or a few pawns (MinorPieceLimit); a knight in the
// centre counts 315 and so is not a minor piece here.
GameEndCode MaterialEnd(const Position& pos) {
  if (pos.whiteMaterial > MinorPieceLimit || pos.blackMaterial > MinorPieceLimit) return NoGameEnd;
  if (pos.whiteMaterial == 0 && pos.blackMaterial == 0) return InsufficientMaterial;
  if ((pos.whiteBishops || pos.whiteKnights) && pos.blackMaterial == 0) return InsufficientMaterial;
  if ((pos.blackBishops || pos.blackKnights) && pos.whiteMaterial == 0) return InsufficientMaterial;
  if (!pos.whiteBishops || !pos.blackBishops) return NoGameEnd;
  bool sameColour =
      IsLightSquare(LowestSquare(pos.whiteBishops)) == IsLightSquare(LowestSquare(pos.blackBishops));
  return sameColour ? InsufficientMaterial : NoGameEnd;
}

}  // namespace

void PlayGameMove(const Move& move) {
  GameRecord& g = gameRecord;
  Position& pos = g.gamePosition;
  std::vector<GameMoveEntry>& moves = g.gameMoves[pos.sideToMove];
  if (static_cast<size_t>(g.moveNumber) >= moves.size())
    moves.resize(std::max(moves.size() + GameMovesGrowth, static_cast<size_t>(g.moveNumber) + 1));
  moves[g.moveNumber] = GameMoveEntry{move, pos.board[move.from], pos.board[move.to]};
  if (gameEvents.movePlayed) gameEvents.movePlayed(pos, move);
  ApplyMove(move);
}

void NewGame() {
  GameRecord& g = gameRecord;
  g.startFen.clear();
  SetStartPosition(g.gamePosition);
  StartRecord();
  AnnounceGameStart(false);
}

bool SetupGame(std::string_view fen) {
  GameRecord& g = gameRecord;
  // startFen changes only with an accepted text: a takeback replays from it.
  if (!SetFromFen(g.gamePosition, fen)) return false;
  g.startFen.assign(fen);
  StartRecord();
  AnnounceGameStart(true);
  return true;
}

void TakeBack() {
  GameRecord& g = gameRecord;
  const int played = HalfMovesPlayed();
  if (played <= 0) return;
  if (gameEvents.moveTakenBack) gameEvents.moveTakenBack();

  if (g.startFen.empty())
    SetStartPosition(g.gamePosition);
  else
    SetFromFen(g.gamePosition, g.startFen);  // accepted once, so accepted again
  StartRecord();

  // Half-move h of the game is the move of side (h + startSide) % 2 in full move
  // 1 + (h + startSide) / 2; ApplyMove advances moveNumber the same way.
  for (int h = 0; h < played - 1; ++h) {
    const int side = (h + g.startSide) & 1;
    ApplyMove(g.gameMoves[side][g.moveNumber].move);
  }
}

GameEndCode CheckGameEnd() {
  GameRecord& g = gameRecord;
  GameEndCode code = PositionEnd(g.gamePosition);
  if (code == NoGameEnd) {
    int earlier = 0;
    for (int i = g.gameKeyIndex - 2; i >= 0; i -= 2) {
      if (SameGamePosition(i, g.gameKeyIndex) && ++earlier == 2) {
        code = DrawByRepetition;
        break;
      }
    }
  }
  if (gameEvents.gameEndChecked) gameEvents.gameEndChecked();
  return code;
}

GameEndCode PositionEnd(Position& pos) {
  if (!HasLegalMove(pos)) {
    const int mover = pos.sideToMove;
    if (SquareAttackedBy(pos, KingSquare(pos, mover), mover ^ 1))
      return mover == Black ? WhiteMates : BlackMates;
    return Stalemate;
  }
  if (pos.fiftyCounter >= FiftyMoveLimit) return FiftyMoves;
  return MaterialEnd(pos);
}
