// Endgame recognizers and scorers: one answering and one declining position per signature
// (each also checked colour-flipped, which covers the mirror signature), the positions left
// untouched, and draw claims checked against a short exhaustive search on random positions.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "eval_test_util.h"

namespace {

class EndgameTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    BuildKingTables();
    AllocatePawnTable(1 << 12);
    InitEndgameTables();
    BuildKpkBitbase();
  }
};

std::optional<int32_t> Ask(EndgameEntry entry, Position& pos) {
  int32_t score = 0;
  if (entry == nullptr || !entry(pos, &score)) return std::nullopt;
  return score;
}

// Recognizers must leave every byte of the position as it was.
std::optional<int32_t> Recognize(Position& pos) {
  Position before;
  std::memcpy(&before, &pos, sizeof(Position));
  std::optional<int32_t> answer = Ask(recognizerTable[pos.materialSignature], pos);
  EXPECT_EQ(std::memcmp(&before, &pos, sizeof(Position)), 0) << "recognizer changed the position";
  return answer;
}

std::optional<int32_t> Score(Position& pos) { return Ask(scorerTable[pos.materialSignature], pos); }

int32_t PawnScore(Position& pos) { return EvaluatePawns(pos); }

constexpr std::optional<int32_t> Declines = std::nullopt;

struct Case {
  const char* fen;
  int signature;
  std::optional<int32_t> expected;
  const char* why;
};

// The colour-flipped position has the mirror signature and the same answer for the side to
// move; its FEN is not written out.
const Case recognizerCases[] = {
    {"8/8/4k3/8/8/3K4/8/8 w - - 0 1", 0, 0, "bare kings"},
    {"8/8/4k3/8/8/3KN3/8/8 w - - 0 1", 2, 0, "one knight, material at most 315"},
    {"8/8/4k3/8/8/2NKN3/8/8 w - - 0 1", 2, Declines, "two knights, white to move"},
    {"8/8/4k3/8/8/2NKN3/8/8 b - - 0 1", 2, 0, "two knights, black to move with free squares"},
    // Kf7 covers g8 and g7, Ng6 covers h8, Nf8 covers h7: the king and all its squares.
    {"5N1k/5K2/6N1/8/8/8/8/8 b - - 0 1", 2, Declines, "two knights, black king boxed in"},
    {"8/8/4k3/8/8/2BKB3/8/8 w - - 0 1", 4, 0, "two bishops both on dark squares"},
    {"8/8/4k3/8/8/3KBB2/8/8 w - - 0 1", 4, Declines, "bishops on e3 (dark) and f3 (light)"},
    {"8/8/4k3/8/N7/3K4/8/5n2 w - - 0 1", 66, 0, "knight each on the rim"},
    {"8/8/4k3/8/4N3/3K4/8/5n2 w - - 0 1", 66, Declines, "knight on e4 is worth 315"},
    {"8/8/4k3/8/N7/3K4/8/5b2 w - - 0 1", 130, 0, "knight against bishop"},
    {"7k/8/8/8/N7/3K4/8/5b2 w - - 0 1", 130, Declines, "black king in the h8 corner"},
    {"8/8/4k3/8/B7/3K4/8/5n2 w - - 0 1", 68, 0, "bishop against knight"},
    {"8/8/4k3/8/B7/8/8/K4n2 w - - 0 1", 68, Declines, "white king in the a1 corner"},
    {"8/8/4k3/8/B7/3K4/8/7b b - - 0 1", 132, 0, "bishop each"},
    {"8/8/4k3/8/B7/3K4/8/4bb2 w - - 0 1", 132, Declines, "black has 600 of material"},
    {"1k6/8/8/P7/P7/8/8/4K3 w - - 0 1", 1, 0, "two a-pawns, black king on b8"},
    {"k7/8/8/8/P7/K7/8/8 w - - 0 1", 1, 0, "one rook pawn, the defending king in its corner"},
    {"4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", 1, Declines, "king on the sixth in front of its pawn wins"},
    {"3k4/8/3K4/3P4/8/8/8/8 w - - 0 1", 1, Declines, "the same on the d-file, white to move"},
    {"8/2KP1k2/8/8/8/8/8/8 w - - 0 1", 1, Declines, "d8 free and covered by the king on c7"},
    {"1k6/8/8/P7/1P6/8/8/4K3 w - - 0 1", 1, Declines, "a- and b-pawn"},
    {"8/Pk6/2N5/8/8/8/8/4K3 w - - 0 1", 3, 0, "pawn a7, king b7, knight c6"},
    {"8/Pk6/8/8/3N4/8/8/4K3 w - - 0 1", 3, Declines, "knight d4 is not one of b5, c6, c8"},
    // Knight e4 (light) and black king c7 (dark) differ: a draw with black to move only.
    {"K7/P1k5/8/8/4N3/8/8/8 b - - 0 1", 3, 0, "white king shut in on a8, black to move"},
    {"K7/P1k5/8/8/4N3/8/8/8 w - - 0 1", 3, Declines, "white king shut in on a8, white to move"},
    {"5k2/7P/5N2/8/8/8/8/4K3 w - - 0 1", 3, Declines, "h7 mirror: king f8 is not g7"},
    {"8/6kP/5N2/8/8/8/8/4K3 w - - 0 1", 3, 0, "h7 mirror: king g7, knight f6"},
    {"k7/8/8/P7/8/2B5/8/4K3 w - - 0 1", 5, 0, "a-pawn, bishop c3 on a dark square"},
    {"k7/8/8/P7/8/3B4/8/4K3 w - - 0 1", 5, Declines, "a-pawn, bishop d3 covers a8"},
    {"7K/6Q1/8/8/8/8/p7/1k6 w - - 0 1", 48, 0, "queen against a2-pawn, white king far"},
    {"8/6Q1/8/8/2K5/8/p7/1k6 w - - 0 1", 48, Declines, "white king c4 is near enough"},
    // With the white king lifted off f5 the queen on h7 would see b1.
    {"8/7Q/8/5K2/8/8/p7/1k6 w - - 0 1", 48, Declines, "queen line through its own king"},
    {"8/1k6/pP6/P7/8/8/8/4K3 w - - 0 1", 33, 1, "blockade a5 b6 against a6, white to move"},
    {"8/1k6/pP6/P7/8/8/8/4K3 b - - 0 1", 33, -1, "the same with black to move"},
    {"2k5/8/pP6/P7/8/8/8/4K3 w - - 0 1", 33, Declines, "black king c8 is off the blockade"},
    {"6k1/7p/7P/6P1/4K3/8/8/8 w - - 0 1", 33, 1, "g5 h6 against h7, white king e4"},
    {"6k1/7p/7P/6P1/2K5/8/8/8 w - - 0 1", 33, Declines, "g5 h6 against h7, white king c4"},
    {"1k6/p7/P7/8/8/8/3B4/4K3 w - - 0 1", 37, 1, "a6 against a7, bishop d2, king b8"},
    {"1k6/p7/P7/8/8/8/3B4/4K3 b - - 0 1", 37, -1, "the same, black to move"},
    {"1k6/p1B5/P7/8/8/8/8/4K3 b - - 0 1", 37, Declines, "black king can take the bishop on c7"},
    // kbpRegion[a1] holds d1..h1 and the h-file: c5 is outside, e1 inside.
    {"8/8/8/2k5/p7/P7/8/K1B5 w - - 0 1", 37, 1, "a3 against a4, black king c5"},
    {"8/8/8/8/p7/P7/8/K1B1k3 w - - 0 1", 37, Declines, "a3 against a4, black king e1"},
    // d7 is light, the white bishop on c1 dark: it can never check the blockading king.
    {"8/3k4/8/5b2/3P4/8/8/2B4K b - - 0 1", 133, 0, "opposite bishops, king d7 before d4"},
    {"8/3k4/8/5b2/3P4/8/8/2B4K w - - 0 1", 133, Declines, "white to move"},
    {"8/8/3k4/5b2/3P4/8/8/2B4K b - - 0 1", 133, Declines, "king d6 on the attacking bishop's colour"},
    {"R7/8/8/4k3/8/8/p5K1/r7 w - - 0 1", 296, 0, "rook in front of the a2-pawn, white rook behind"},
    {"R7/8/8/4k3/8/8/p4K2/r7 w - - 0 1", 296, Declines, "white king f2 is not a2, b2, g2, h2"},
    {"8/7r/8/3kp3/8/1R6/8/4K3 b - - 0 1", 296, 0, "third-rank defence, black to move"},
    {"8/7r/8/3kp3/8/1R6/8/4K3 w - - 0 1", 296, Declines, "third-rank defence, defender to move"},
    {"8/7r/8/3kp3/8/1R6/8/3K4 b - - 0 1", 296, Declines, "white king d1 not in front of the pawn"},
    {"R7/8/8/8/5k2/4p3/7r/4K3 b - - 0 1", 296, 0, "pawn e3, white rook gone behind to a8"},
    {"R7/8/8/8/5k2/4p3/7r/3K4 b - - 0 1", 296, Declines, "pawn e3, white king d1"},
    {"R7/8/8/8/8/3kp3/7r/4K3 b - - 0 1", 296, Declines, "king beside the pawn, black to move"},
    {"R7/8/8/8/8/3kp3/7r/4K3 w - - 0 1", 296, Declines, "king beside, white to move: geometry"},
};

TEST_F(EndgameTest, RecognizersAnswerOrDeclineAndMirrorsAgree) {
  for (const Case& c : recognizerCases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    Position pos = PositionFromFen(c.fen);
    ASSERT_EQ(pos.materialSignature, c.signature);
    EXPECT_EQ(Recognize(pos), c.expected);
    Position flipped = ColourFlipped(pos);
    SCOPED_TRACE("colour-flipped");
    EXPECT_EQ(Recognize(flipped), c.expected);
  }
}

TEST_F(EndgameTest, RecognizerScoreReportsDeclinesAndEmptyEntries) {
  Position rookEnding = PositionFromFen("8/8/3k4/8/8/4KR2/8/8 w - - 0 1");
  EXPECT_EQ(recognizerTable[rookEnding.materialSignature], nullptr);
  EXPECT_EQ(scorerTable[rookEnding.materialSignature], nullptr);
  EXPECT_EQ(RecognizerScore(rookEnding), NoRecognizerScore);
  Position knights = PositionFromFen("8/8/4k3/8/8/2NKN3/8/8 w - - 0 1");
  EXPECT_EQ(RecognizerScore(knights), NoRecognizerScore);
  Position blockade = PositionFromFen("8/1k6/pP6/P7/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(RecognizerScore(blockade), -1);
}

TEST_F(EndgameTest, RegisteredSignatures) {
  const std::vector<int> recognizers = {0,  1,  2,   3,   4,   5,   32,  33,  37,  48,  64,  66,  68,
                                        96, 128, 130, 132, 133, 160, 161, 164, 265, 296, 513};
  const std::vector<int> scorers = {1, 32, 33, 34, 36, 37, 65, 129, 161, 265, 296, 304, 521};
  for (int sig = 0; sig < EndgameTableSize; ++sig) {
    SCOPED_TRACE(sig);
    bool r = std::find(recognizers.begin(), recognizers.end(), sig) != recognizers.end();
    bool s = std::find(scorers.begin(), scorers.end(), sig) != scorers.end();
    EXPECT_EQ(recognizerTable[sig] != nullptr, r);
    EXPECT_EQ(scorerTable[sig] != nullptr, s);
  }
}

// Scorers: the material part is worked out by hand; the pawn structure term comes from the
// pawn evaluation (tested on its own) and is read here.
TEST_F(EndgameTest, ScorersFollowTheirFormulas) {
  {
    // One pawn: (100 - 0 + pawns) x 3 / 2, plus 300 for the lone pawn.
    Position pos = PositionFromFen("8/8/4k3/8/3P4/3K4/8/8 w - - 0 1");
    int32_t p = 100 + PawnScore(pos);
    EXPECT_EQ(Score(pos), p * 3 / 2 + 300);
    Position flipped = ColourFlipped(pos);
    EXPECT_EQ(Score(flipped), -(p * 3 / 2 + 300));
  }
  {
    // Two pawns: no bonus.
    Position pos = PositionFromFen("8/8/4k3/8/3P4/3KP3/8/8 w - - 0 1");
    EXPECT_EQ(Score(pos), (200 + PawnScore(pos)) * 3 / 2);
  }
  {
    // Pawns on the queenside only (c4 against b6): the queenside king table.
    Position pos = PositionFromFen("8/1p6/1k6/8/2P5/2K5/8/8 w - - 0 1");
    int32_t p = 0 + PawnScore(pos);
    EXPECT_EQ(Score(pos), p * 3 / 2 - kingQueensideTable[SquareOf("b6")] + kingQueensideTable[SquareOf("c3")]);
  }
  {
    // Knight a4 (its square value k) against one pawn: k - 100 + pawns - 150, never above 0.
    Position pos = PositionFromFen("8/8/4k3/8/N7/3K4/5p2/8 w - - 0 1");
    int32_t s = int32_t(pos.whiteMaterial) - 100 + PawnScore(pos) - 150;
    EXPECT_EQ(Score(pos), s >= 1 ? 0 : s);
    Position twoKnights = PositionFromFen("8/8/4k3/8/N7/3K4/5p2/6N1 w - - 0 1");
    EXPECT_EQ(Score(twoKnights), Declines);
    Position flipped = ColourFlipped(pos);
    EXPECT_EQ(Score(flipped), -(s >= 1 ? 0 : s));
  }
  {
    // Bishop against four pawns: 300 - 400 + pawns - 150 is well below 1 and is the answer.
    Position pos = PositionFromFen("8/8/4k3/pppp4/8/3KB3/8/8 w - - 0 1");
    int32_t s = 300 - 400 + PawnScore(pos) - 150;
    ASSERT_LT(s, 1);
    EXPECT_EQ(Score(pos), s);
    // Two bishops against one pawn: above 0 with both colours declines, one colour gives 0.
    Position both = PositionFromFen("8/8/4k3/p7/8/3KBB2/8/8 w - - 0 1");
    EXPECT_EQ(Score(both), Declines);
    Position same = PositionFromFen("8/8/4k3/p7/8/2BKB3/8/8 w - - 0 1");
    EXPECT_EQ(Score(same), 0);
  }
  {
    // Wrong bishop: a-pawns, bishop c3 (dark), black king a8, a black pawn on h5.
    Position pos = PositionFromFen("k7/8/8/P6p/P7/2B5/8/4K3 w - - 0 1");
    EXPECT_EQ(Score(pos), 0);
    Position light = PositionFromFen("k7/8/8/P6p/P7/3B4/8/4K3 w - - 0 1");
    EXPECT_EQ(Score(light), Declines);
    Position flipped = ColourFlipped(pos);
    EXPECT_EQ(Score(flipped), 0);
  }
  {
    // Rook and pawn: 600 - 20 - 500 + pawns + 10 x (|file d - file f| + |rank 5 - 7|) = 80 +
    // pawns + 40; the white king d3 does not touch d5, so 10 less.
    Position pos = PositionFromFen("8/8/8/3P1k2/8/3K4/8/r3R3 w - - 0 1");
    int32_t s = 80 + PawnScore(pos) + 40 - 10;
    EXPECT_EQ(Score(pos), s);
    Position flipped = ColourFlipped(pos);
    EXPECT_EQ(Score(flipped), -s);
  }
  {
    // Rook d3 behind pawn c2, king c1: the fortress against the queen holds (black king e6).
    Position pos = PositionFromFen("7q/8/4k3/8/8/3R4/2P5/2K5 w - - 0 1");
    EXPECT_EQ(Score(pos), 0);
    Position flipped = ColourFlipped(pos);
    EXPECT_EQ(Score(flipped), 0);
    Position near = PositionFromFen("7q/8/8/8/8/3R4/2P4k/2K5 w - - 0 1");
    EXPECT_EQ(Score(near), Declines);
  }
}

// ---- random positions ---------------------------------------------------------------------

struct Placement {
  int code;
  Bitboard squares;
};

constexpr Bitboard AnySquare = ~Bitboard{0};
constexpr Bitboard PawnSquares = 0x00FFFFFFFFFFFF00ull;

bool Touches(int a, int b) { return (kingAttacks[a] >> b) & 1; }

// A legal position with the men placed at random on their allowed squares, or nothing
// after many failed tries.
std::optional<Position> RandomPosition(std::mt19937& rng, const std::vector<Placement>& men, int side) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    Position pos{};
    std::memset(pos.board, 0, sizeof(pos.board));
    bool placed = true;
    for (const Placement& m : men) {
      std::vector<int> free;
      for (int sq = 0; sq < 64; ++sq)
        if (((m.squares >> sq) & 1) && pos.board[sq] == Empty) free.push_back(sq);
      if (free.empty()) {
        placed = false;
        break;
      }
      pos.board[free[rng() % free.size()]] = int8_t(m.code);
    }
    if (!placed) continue;
    pos.castling = 0;
    pos.epFile = NoEnPassant;
    pos.sideToMove = uint8_t(side);
    DeriveState(pos);
    if (Touches(pos.whiteKing, pos.blackKing)) continue;
    if (SquareAttackedBy(pos, KingSquare(pos, side ^ 1), side)) continue;
    return pos;
  }
  return std::nullopt;
}

// True when the side to move mates by force within `moves` of its own moves.
bool ForcesMate(const Position& pos, int moves) {
  Position node = pos;
  GenerateMoves(node);
  for (int i = 1; i <= node.moveCount; ++i) {
    Position child = node;
    MakeMove(child, node.moveList[i]);
    child.cacheFlags = 0;
    Position probe = child;
    if (IsMated(probe)) return true;
    if (moves == 1) continue;
    GenerateMoves(child);
    if (child.moveCount == 0) continue;  // stalemate
    bool allLose = true;
    for (int j = 1; j <= child.moveCount && allLose; ++j) {
      Position grandchild = child;
      MakeMove(grandchild, child.moveList[j]);
      grandchild.cacheFlags = 0;
      allLose = ForcesMate(grandchild, moves - 1);
    }
    if (allLose) return true;
  }
  return false;
}

// The side to move cannot avoid being mated at once.
bool LosesAtOnce(const Position& pos) {
  Position probe = pos;
  if (IsMated(probe)) return true;
  Position node = pos;
  GenerateMoves(node);
  if (node.moveCount == 0) return false;
  for (int i = 1; i <= node.moveCount; ++i) {
    Position child = node;
    MakeMove(child, node.moveList[i]);
    child.cacheFlags = 0;
    if (!ForcesMate(child, 1)) return false;
  }
  return true;
}

struct Material {
  const char* name;
  std::vector<Placement> men;
};

Bitboard Squares(std::initializer_list<const char*> names) {
  Bitboard set = 0;
  for (const char* n : names) set |= Bit(SquareOf(n));
  return set;
}

const std::vector<Material>& DrawnMaterials() {
  static const std::vector<Material> list = {
      {"KN/K", {{WhiteKing, AnySquare}, {BlackKing, AnySquare}, {WhiteKnight, AnySquare}}},
      {"KNN/K", {{WhiteKing, AnySquare}, {BlackKing, AnySquare}, {WhiteKnight, AnySquare}, {WhiteKnight, AnySquare}}},
      {"KBB/K same colour",
       {{WhiteKing, AnySquare}, {BlackKing, AnySquare}, {WhiteBishop, 0x55AA55AA55AA55AAull},
        {WhiteBishop, 0x55AA55AA55AA55AAull}}},
      {"KN/KB", {{WhiteKing, AnySquare}, {BlackKing, AnySquare}, {WhiteKnight, AnySquare}, {BlackBishop, AnySquare}}},
      {"KB/KN", {{WhiteKing, AnySquare}, {BlackKing, AnySquare}, {WhiteBishop, AnySquare}, {BlackKnight, AnySquare}}},
      {"KN/KN", {{WhiteKing, AnySquare}, {BlackKing, AnySquare}, {WhiteKnight, AnySquare}, {BlackKnight, AnySquare}}},
      {"KB/KB", {{WhiteKing, AnySquare}, {BlackKing, AnySquare}, {WhiteBishop, AnySquare}, {BlackBishop, AnySquare}}},
      {"KPP/K a-file corner",
       {{BlackKing, Squares({"a8", "b8", "a7", "b7"})}, {WhiteKing, AnySquare}, {WhitePawn, FileA & PawnSquares},
        {WhitePawn, FileA & PawnSquares}}},
      {"KBP/K wrong bishop",
       {{BlackKing, Squares({"g8", "h8", "g7", "h7"})}, {WhiteKing, AnySquare}, {WhitePawn, FileH & PawnSquares},
        {WhiteBishop, 0x55AA55AA55AA55AAull}}},
      {"KNP/K a7",
       {{WhitePawn, Squares({"a7"})}, {BlackKing, Squares({"b7"})}, {WhiteKing, AnySquare},
        {WhiteKnight, Squares({"b5", "c6", "c8"})}}},
      {"KNP/K shut in",
       {{WhitePawn, Squares({"a7"})}, {WhiteKing, Squares({"a8"})}, {BlackKing, Squares({"c7", "c8"})},
        {WhiteKnight, AnySquare}}},
      {"KQ/KP",
       {{BlackPawn, Squares({"a2", "c2", "f2", "h2"})}, {BlackKing, Squares({"b1", "b2", "g1", "g2"})},
        {WhiteKing, AnySquare}, {WhiteQueen, AnySquare}}},
      {"KBP/KB blockade",
       {{WhitePawn, Squares({"d4"})}, {BlackKing, Squares({"d5", "d6", "d7", "d8"})}, {WhiteKing, AnySquare},
        {WhiteBishop, 0xAA55AA55AA55AA55ull}, {BlackBishop, 0x55AA55AA55AA55AAull}}},
  };
  return list;
}

// Every draw a recognizer claims must survive a short exhaustive search: the side to move
// has no mate in two and is not mated by force at once. Positions are also checked
// colour-flipped against the mirror signature, and the scorer with its negation.
TEST_F(EndgameTest, DrawClaimsSurviveShortSearchOnRandomPositions) {
  std::mt19937 rng(20261207);
  int answered = 0;
  for (const Material& m : DrawnMaterials()) {
    SCOPED_TRACE(m.name);
    int answeredHere = 0;
    for (int i = 0; i < 120; ++i) {
      std::optional<Position> made = RandomPosition(rng, m.men, int(rng() % 2));
      if (!made) continue;
      Position pos = *made;
      std::optional<int32_t> answer = Recognize(pos);
      Position flipped = ColourFlipped(pos);
      EXPECT_EQ(Recognize(flipped), answer);
      if (!answer || *answer != 0) continue;
      ++answeredHere;
      SCOPED_TRACE(::testing::Message() << "side " << int(pos.sideToMove) << " wk " << pos.whiteKing << " bk "
                                        << pos.blackKing);
      EXPECT_FALSE(ForcesMate(pos, 2));
      EXPECT_FALSE(LosesAtOnce(pos));
    }
    EXPECT_GT(answeredHere, 0) << "no position of this material was answered";
    answered += answeredHere;
  }
  EXPECT_GT(answered, 200);
}

// The colour-flipped position always gets the same recognizer answer and the negated
// scorer answer, over random placements of every registered material.
TEST_F(EndgameTest, MirrorSignaturesAgreeOnRandomPositions) {
  const std::vector<std::vector<int>> materials = {
      {WhitePawn, BlackPawn},
      {WhitePawn, WhitePawn, BlackPawn},
      {WhiteKnight, BlackPawn, BlackPawn},
      {WhiteBishop, BlackPawn},
      {WhiteBishop, WhitePawn, BlackPawn},
      {WhiteBishop, WhitePawn, BlackBishop},
      {WhiteRook, WhitePawn, BlackRook},
      {WhiteRook, WhitePawn, BlackQueen},
      {WhiteQueen, BlackPawn},
  };
  std::mt19937 rng(7);
  for (const auto& codes : materials) {
    std::vector<Placement> men = {{WhiteKing, AnySquare}, {BlackKing, AnySquare}};
    for (int code : codes) men.push_back({code, KindOf(code) == WhitePawn ? PawnSquares : AnySquare});
    for (int i = 0; i < 300; ++i) {
      std::optional<Position> made = RandomPosition(rng, men, int(rng() % 2));
      if (!made) continue;
      Position pos = *made;
      Position flipped = ColourFlipped(pos);
      SCOPED_TRACE(::testing::Message() << "signature " << pos.materialSignature << " wk " << pos.whiteKing);
      EXPECT_EQ(Recognize(pos), Recognize(flipped));
      std::optional<int32_t> s = Score(pos), t = Score(flipped);
      ASSERT_EQ(s.has_value(), t.has_value());
      if (s) {
        EXPECT_EQ(*s, -*t);
      }
    }
  }
}

// One pawn against the bare king, checked against theory that needs no bitbase: a rook
// pawn with the defending king on the promotion square is a draw, and a pawn the king can
// no longer catch (outside its square with a move to spare) wins. Either colour, either
// wing, and the left-right mirror must give the same answer.
TEST_F(EndgameTest, SinglePawnAgreesWithTheoryAndItsMirrors) {
  std::mt19937 rng(1);
  int corners = 0, runaways = 0;
  for (int i = 0; i < 4000; ++i) {
    std::vector<Placement> men = {{WhitePawn, PawnSquares}, {WhiteKing, AnySquare}, {BlackKing, AnySquare}};
    if (i % 3 == 0) men[0].squares = (FileA | FileH) & PawnSquares;
    std::optional<Position> made = RandomPosition(rng, men, int(rng() % 2));
    if (!made) continue;
    Position pos = *made;
    int pawn = LowestSquare(pos.whitePawns), promotion = FileOf(pawn) + 56;
    SCOPED_TRACE(::testing::Message() << "pawn " << pawn << " wk " << pos.whiteKing << " bk " << pos.blackKing
                                      << " side " << int(pos.sideToMove));
    std::optional<int32_t> answer = Recognize(pos);
    EXPECT_EQ(answer.has_value(), !KpkPawnSideWins(pos));
    if (answer) {
      EXPECT_EQ(*answer, 0);
    }
    Position flipped = ColourFlipped(pos);
    EXPECT_EQ(Recognize(flipped), answer);
    Position mirrored{};
    for (int sq = 0; sq < 64; ++sq) mirrored.board[sq] = pos.board[sq ^ 7];
    mirrored.epFile = NoEnPassant;
    mirrored.sideToMove = pos.sideToMove;
    DeriveState(mirrored);
    EXPECT_EQ(Recognize(mirrored), answer);

    if (pos.blackKing == promotion && (FileOf(pawn) == 0 || FileOf(pawn) == 7)) {
      ++corners;
      EXPECT_EQ(answer, 0) << "rook pawn against the king in its corner";
    }
    int steps = RankOf(pawn) == 1 ? 5 : 7 - RankOf(pawn);
    int reach = std::max(std::abs(FileOf(pos.blackKing) - FileOf(promotion)), 7 - RankOf(pos.blackKing));
    bool pathFree = !(fileMask[pawn] & Bit(pos.whiteKing) & ~((Bit(pawn) << 1) - 1));
    int spare = pos.sideToMove == White ? 1 : 2;
    if (pathFree && reach > steps + spare) {
      ++runaways;
      EXPECT_EQ(answer, Declines) << "the king cannot catch the pawn";
    }
  }
  EXPECT_GT(corners, 20);
  EXPECT_GT(runaways, 100);
}

}  // namespace
