// skarne-eval run as a process: one answer line per input line, in input order, each agreeing
// with the evaluation called in this process; a refused line gives an error line.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "eval_test_util.h"
#include "shell_quoted.h"

namespace {

std::string Expected(Position pos) {
  Position forRecognizer = pos, forScorer = pos;
  const int32_t r = RecognizerScore(forRecognizer);
  int32_t t = 0;
  const EndgameEntry scorer = scorerTable[pos.materialSignature];
  return "eval " + std::to_string(Evaluate(-ScoreBound, ScoreBound, pos)) + " recognizer " +
         (r == NoRecognizerScore ? "none" : std::to_string(r)) + " scorer " +
         (scorer && scorer(forScorer, &t) ? std::to_string(t) : "none");
}

TEST(EvalTool, AnswersEveryLineInOrder) {
  InitEvalTables();
  // Both sides to move, full boards and king-and-pawn endings, which the tool answers with its
  // own bitbase; a refused line in the middle must not shift the later answers.
  const std::vector<std::string> input = {
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
      "this is no position",
      "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -",
      "4k3/8/8/8/8/8/8/4K3 x - -",
      "8/8/8/4k3/8/8/4P3/4K3 w - -",
      "8/8/8/8/3k4/8/3p4/3K4 b - -",
  };
  const std::string path = ::testing::TempDir() + "skarne-eval-input";
  {
    std::ofstream out(path);
    for (const std::string& line : input) out << line << "\n";
  }
  std::vector<std::string> output;
  FILE* pipe = popen((ShellQuoted(SKARNE_EVAL_TOOL) + " < " + ShellQuoted(path)).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  for (char buffer[512]; std::fgets(buffer, sizeof buffer, pipe);) output.emplace_back(buffer);
  EXPECT_EQ(pclose(pipe), 0);
  std::remove(path.c_str());
  ASSERT_EQ(output.size(), input.size());
  for (size_t i = 0; i < input.size(); ++i) {
    SCOPED_TRACE(input[i]);
    Position pos{};
    if (SetFromFen(pos, input[i])) {
      EXPECT_EQ(output[i], Expected(pos) + "\n");
    } else {
      EXPECT_TRUE(output[i].starts_with("error ")) << output[i];
    }
  }
}

}  // namespace
