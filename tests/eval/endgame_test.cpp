// Endgame recognizers and scorers: answering and declining positions with the chess reason,
// each also colour-flipped (the mirror signature), and over random placements every draw
// claim checked by a short exhaustive search. The single pawn's answers are checked against
// perfect play over the whole table in kpk_oracle_test.cpp.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "eval_test_util.h"
#include "mate_solver.h"

namespace {

using Answer = std::optional<int32_t>;
constexpr Answer Declines = std::nullopt;

// Recognizers must leave every byte of the position as it was (scorers may fill its caches).
Answer Ask(const EndgameEntry* table, Position pos) {
  Position before;
  std::memcpy(&before, &pos, sizeof pos);
  int32_t score = 0;
  const EndgameEntry entry = table[pos.materialSignature];
  const bool answered = entry && entry(pos, &score);
  if (table == recognizerTable) {
    EXPECT_EQ(std::memcmp(&before, &pos, sizeof pos), 0) << "the position was changed";
  }
  return answered ? Answer(score) : Declines;
}
Answer Recognize(const Position& pos) { return Ask(recognizerTable, pos); }
Answer Score(const Position& pos) { return Ask(scorerTable, pos); }
Answer Negated(Answer a) { return a ? Answer(-*a) : Declines; }

// The expected answer: for recognizers the side to move's view, for scorers white's.
struct Case { const char* fen; Answer expected; const char* why; };

const Case recognizerCases[] = {
    {"8/8/4k3/8/8/3KN3/8/8 w - -", 0, "one knight"},
    {"5N1k/5K2/6N1/8/8/8/8/8 b - -", Declines, "two knights, black king boxed in: mate threats"},
    {"8/8/4k3/8/8/3KBB2/8/8 w - -", Declines, "bishops on e3 (dark) and f3 (light)"},
    {"8/8/4k3/8/N7/3K4/8/5n2 w - -", 0, "knight each on the rim"},
    {"8/8/4k3/8/B7/3K4/8/4bb2 w - -", Declines, "black has 600 of material"},
    {"4k3/8/4K3/4P3/8/8/8/8 b - -", Declines, "king on the sixth in front of its pawn wins"},
    {"8/Pk6/2N5/8/8/8/8/4K3 w - -", 0, "pawn a7, king b7, knight c6"},
    // Knight e4 (light) and black king c7 (dark): the knight can never gain the tempo.
    {"K7/P1k5/8/8/4N3/8/8/8 b - -", 0, "white king shut in on a8, black to move"},
    {"k7/8/8/P7/8/2B5/8/4K3 w - -", 0, "a-pawn, bishop c3 of the wrong colour"},
    {"7K/6Q1/8/8/8/8/p7/1k6 w - -", 0, "queen against a2-pawn, white king far"},
    {"8/7Q/8/5K2/8/8/p7/1k6 w - -", Declines, "the queen's line to b1 runs through its own king"},
    {"8/1k6/pP6/P7/8/8/8/4K3 w - -", 1, "blockade a5 b6 against a6: +1 for white"},
    // kbpRegion[a1] holds d1..h1 and the h-file: c5 is outside, e1 inside.
    {"8/8/8/2k5/p7/P7/8/K1B5 w - -", 1, "a3 against a4, bishop, black king c5"},
    {"8/8/8/8/p7/P7/8/K1B1k3 w - -", Declines, "a3 against a4, bishop, black king e1"},
    // d7 is light, the white bishop on c1 dark: it can never check the blockading king.
    {"8/3k4/8/5b2/3P4/8/8/2B4K b - -", 0, "opposite bishops, king d7 before d4"},
    {"8/8/3k4/5b2/3P4/8/8/2B4K b - -", Declines, "king d6 on the attacking bishop's colour"},
    {"R7/8/8/4k3/8/8/p5K1/r7 w - -", 0, "rook in front of the a2-pawn, white rook behind"},
    {"8/7r/8/3kp3/8/1R6/8/4K3 b - -", 0, "third-rank defence, black to move"},
};

// Pawn scores follow the pawn table's rules (an isolated passed pawn on the 4th: 10 - 20).
const Case scorerCases[] = {
    {"8/8/4k3/8/3P4/3K4/8/8 w - -", 435, "one pawn: (100 - 10) x 3 / 2, + 300 for the lone pawn"},
    {"8/8/4k3/8/N7/3K4/5p2/8 w - -", -55, "knight a4 275 - 100, f2 passed -100 + 20, - 150"},
    {"8/8/4k3/pppp4/8/3KB3/8/8 w - -", -310, "bishop against four: 300 - 400 - 60 - 150"},
    {"8/8/4k3/p7/8/2BKB3/8/8 w - -", 0, "bishops of one colour cannot win"},
    {"k7/8/8/P6p/P7/2B5/8/4K3 w - -", 0, "a-pawns, wrong bishop, king a8"},
    {"8/8/8/3P1k2/8/3K4/8/r3R3 w - -", 115,
     "rook and pawn: 600 - 20 - 500, d5 passed 25 isolated -20, + 10 x 4 for the black king two "
     "files and two ranks from d7, - 10 as the white king does not touch d5"},
    {"7q/8/4k3/8/8/3R4/2P5/2K5 w - -", 0, "rook d3 behind c2, king c1: a fortress"},
    {"7q/8/8/8/8/3R4/2P4k/2K5 w - -", Declines, "the black king is already near"},
};

TEST(Endgame, RecognizersAndScorersAnswerOrDeclineAndMirrorsAgree) {
  InitEvalTables();
  for (const Case& c : recognizerCases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    Position pos = FromFen(c.fen);
    EXPECT_EQ(Recognize(pos), c.expected);
    EXPECT_EQ(Recognize(ColourFlipped(pos)), c.expected) << "colour-flipped";
    EXPECT_EQ(RecognizerScore(pos), c.expected.value_or(NoRecognizerScore));
  }
  for (const Case& c : scorerCases) {
    SCOPED_TRACE(std::string(c.fen) + ": " + c.why);
    const Position pos = FromFen(c.fen);
    EXPECT_EQ(Score(pos), c.expected);
    EXPECT_EQ(Score(ColourFlipped(pos)), Negated(c.expected)) << "colour-flipped";
  }
}

// ---- random placements ------------------------------------------------------------------

struct Placement { int code; Bitboard squares; };
constexpr Bitboard Anywhere = ~Bitboard{0}, PawnRanks = ~(Rank1 | Rank8);

// A legal position, each man on a random free square of its set, the side to move random.
std::optional<Position> RandomPosition(std::mt19937& rng, const std::vector<Placement>& men) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    Position pos{};
    size_t placed = 0;
    for (const Placement& m : men) {
      std::vector<int> free;
      for (int sq = 0; sq < 64; ++sq)
        if ((m.squares >> sq & 1) && pos.board[sq] == Empty) free.push_back(sq);
      if (!free.empty()) pos.board[free[rng() % free.size()]] = int8_t(m.code), ++placed;
    }
    pos.epFile = NoEnPassant;
    pos.sideToMove = uint8_t(rng() % 2);
    if (placed < men.size()) continue;
    DeriveState(pos);
    const int stm = pos.sideToMove;
    if (!(kingAttacks[pos.whiteKing] & Bit(pos.blackKing)) && !SquareAttackedBy(pos, KingSquare(pos, stm ^ 1), stm))
      return pos;
  }
  return std::nullopt;
}

// Every draw a recognizer claims survives a short exhaustive search: the side to move has no
// mate in two and is not mated after every move of its own. Every recognizer answer, and every
// scorer answer negated, is the same for the colour-flipped position.
TEST(Endgame, DrawClaimsSurviveShortSearchAndMirrorsAgree) {
  InitEvalTables();
  const Placement wk{WhiteKing, Anywhere}, bk{BlackKing, Anywhere}, bp{BlackPawn, PawnRanks},
      wp{WhitePawn, PawnRanks};
  // Where a recognizer needs the defending king on a corner or a path, it is put there.
  const std::vector<std::vector<Placement>> materials = {
      {wk, bk, {WhiteKnight, Anywhere}},
      {wk, bk, {WhiteKnight, Anywhere}, {WhiteKnight, Anywhere}},
      {wk, bk, {WhiteBishop, DarkSquares}, {WhiteBishop, DarkSquares}},
      {wk, bk, {WhiteKnight, Anywhere}, {BlackBishop, Anywhere}},
      {wk, bk, {WhiteBishop, Anywhere}, {BlackKnight, Anywhere}},
      {wk, bk, {WhiteBishop, Anywhere}, {BlackBishop, Anywhere}},
      {wk, bk, {WhitePawn, (FileA | FileH) & PawnRanks}},
      {{BlackKing, Bit(A8) | Bit(B8) | Bit(A7) | Bit(B7)}, wk, {WhitePawn, FileA & PawnRanks}, {WhitePawn, FileA & PawnRanks}},
      {{BlackKing, Bit(G8) | Bit(H8) | Bit(G7) | Bit(H7)}, wk, {WhitePawn, FileH & PawnRanks}, {WhiteBishop, LightSquares}},
      {{WhitePawn, Bit(A7)}, {BlackKing, Bit(B7)}, wk, {WhiteKnight, Bit(B5) | Bit(C6) | Bit(C8)}},
      {{WhitePawn, Bit(A7)}, {WhiteKing, Bit(A8)}, {BlackKing, Bit(C7) | Bit(C8)}, {WhiteKnight, Anywhere}},
      {{BlackPawn, Bit(A2) | Bit(C2) | Bit(F2) | Bit(H2)}, {BlackKing, Bit(B1) | Bit(B2) | Bit(G1) | Bit(G2)}, wk,
       {WhiteQueen, Anywhere}},
      {{WhitePawn, Bit(D4)}, {BlackKing, Bit(D5) | Bit(D6) | Bit(D7) | Bit(D8)}, wk, {WhiteBishop, DarkSquares},
       {BlackBishop, LightSquares}},
      // Materials with scorers: the mirrors must agree.
      {wk, bk, wp, bp}, {wk, bk, {WhiteKnight, Anywhere}, bp, bp}, {wk, bk, {WhiteBishop, Anywhere}, wp, bp},
      {wk, bk, {WhiteRook, Anywhere}, wp, {BlackRook, Anywhere}},
      {wk, bk, {WhiteRook, Anywhere}, wp, {BlackQueen, Anywhere}},
  };
  std::mt19937 rng(20261207);
  int draws = 0;
  for (const std::vector<Placement>& men : materials) {
    for (int i = 0; i < 150; ++i) {
      std::optional<Position> made = RandomPosition(rng, men);
      if (!made) continue;
      Position pos = *made;
      SCOPED_TRACE(testing::Message() << "signature " << pos.materialSignature << " kings "
                                      << pos.whiteKing << " " << pos.blackKing << " side " << int(pos.sideToMove));
      const Answer answer = Recognize(pos);
      EXPECT_EQ(Recognize(ColourFlipped(pos)), answer);
      EXPECT_EQ(Score(ColourFlipped(pos)), Negated(Score(pos)));
      if (answer != 0) continue;
      ++draws;
      EXPECT_FALSE(ForcesMate(pos, 2)) << "a draw claimed where the side to move mates";
      GenerateMoves(pos);
      bool escapes = pos.moveCount == 0 && !InCheck(pos);
      for (int m = 1; m <= pos.moveCount && !escapes; ++m) {
        Position child = pos;
        MakeMove(child, pos.moveList[m]);
        child.cacheFlags = 0;
        escapes = !ForcesMate(child, 1);
      }
      EXPECT_TRUE(escapes) << "a draw claimed where the side to move is mated at once";
    }
  }
  EXPECT_GT(draws, 1000);
}

}  // namespace
