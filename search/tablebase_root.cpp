#include "search/tablebase_root.h"

#include "board/board.h"
#include "egdb/egdb.h"
#include "search/search_state.h"

namespace {

SearchState& S = searchState;

// With less than this on the clock a drawn root plays the first drawing move it finds.
constexpr double QuickDrawSeconds = 3.0;
// Rook against rook: drawn nearly everywhere, and every drawing move is as good as another.
constexpr uint16_t RookAgainstRook = SigWhiteRook | SigBlackRook;

// The root move's position in ply slot 1 and its tablebase score there; false for an
// illegal move (marked excluded) or a position the tables do not answer.
bool ProbeChild(Move& m, int& score) {
  Position& root = S.plyStack[0];
  Position& child = S.plyStack[1];
  CopyPlayState(child, root);
  MakeMove(child, m);
  if (MoverInCheck(child)) {
    m.score = ExcludedMoveScore;
    return false;
  }
  return TbProbe(engineTablebases, child, score, 1);
}

bool Choose(const Move& m, Move& move) {
  move = m;
  if (postThinking) SetTablebaseResult(m);
  return true;
}

// A drawn root: moves that lose are excluded from the search; a single drawing move, or
// the first one when time is short or the ending is rook against rook, is played at once.
bool ChooseDrawingMove(Move& move) {
  Position& root = S.plyStack[0];
  const bool quick = root.materialSignature == RookAgainstRook || engineTime < QuickDrawSeconds;
  int drawing = 0;
  Move draw = NoMove;
  for (int i = 1; i <= root.moveCount; ++i) {
    Move& m = root.moveList[i];
    int score = 0;
    if (m.score == ExcludedMoveScore || !ProbeChild(m, score)) continue;
    if (score > 0) {
      m.score = ExcludedMoveScore;
    } else if (score == 0) {
      if (quick) return Choose(m, move);
      ++drawing;
      draw = m;
    }
  }
  return drawing == 1 && Choose(draw, move);
}

// A won or lost root: the first move keeping the value, one ply on (the fastest win, the
// longest defence).
bool ChooseValueKeepingMove(int32_t rootScore, Move& move) {
  Position& root = S.plyStack[0];
  for (int i = 1; i <= root.moveCount; ++i) {
    Move& m = root.moveList[i];
    int score = 0;
    if (m.score == ExcludedMoveScore || !ProbeChild(m, score)) continue;
    if (score + rootScore == 0) return Choose(m, move);
  }
  return false;
}

}  // namespace

bool ProbeTablebasesAtRoot(Move& move) {
  if (engineTablebases.pieceLimit == 0) return false;
  Position& root = S.plyStack[0];
  int score = 0;
  if (!TbProbe(engineTablebases, root, score, 0)) return false;
  lastScore = score;
  GenerateMoves(root);
  return score == 0 ? ChooseDrawingMove(move) : ChooseValueKeepingMove(score, move);
}

void SetTablebaseResult(const Move& move) {
  S.iterationDepth = 1;
  S.principalVariation[0] = move;
  S.principalVariation[1] = NoMove;
  S.bestRootMove = move;
}
