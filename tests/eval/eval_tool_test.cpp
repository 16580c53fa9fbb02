// skarne-eval run as a process: one answer line per input line, in input order, each
// agreeing with the evaluation called in this process; refused lines give an error line.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "eval_test_util.h"

namespace {

std::vector<std::string> RunTool(const std::vector<std::string>& input) {
  char path[] = "/tmp/skarne-eval-input-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(path);
    for (const std::string& line : input) out << line << "\n";
  }
  std::string command = std::string(SKARNE_EVAL_TOOL) + " < " + path;
  std::vector<std::string> lines;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
      std::string line(buffer);
      if (!line.empty() && line.back() == '\n') line.pop_back();
      lines.push_back(line);
    }
    EXPECT_EQ(pclose(pipe), 0);
  }
  std::remove(path);
  return lines;
}

std::string Expected(const std::string& fen) {
  Position pos = PositionFromFen(fen);
  Position forScorer = pos, forRecognizer = pos;
  std::string line = "eval " + std::to_string(Evaluate(-32001, 32001, pos)) + " recognizer ";
  int32_t r = RecognizerScore(forRecognizer);
  line += r == NoRecognizerScore ? "none" : std::to_string(r);
  line += " scorer ";
  int32_t t = 0;
  auto scorer = scorerTable[forScorer.materialSignature];
  line += scorer && scorer(forScorer, &t) ? std::to_string(t) : "none";
  return line;
}

TEST(EvalToolTest, AnswersEveryLineInOrder) {
  InitTables();
  InitEndgameTables();
  BuildKingTables();
  BuildKpkBitbase();
  // Both sides to move, full boards and king-and-pawn endings, which the tool answers with
  // its own bitbase; a refused line in the middle must not shift the later answers.
  const std::vector<std::string> input = {
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
      "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
      "this is no position",
      "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -",
      "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - -",
      "4k3/8/8/8/8/8/8/4K3 x - -",
      "8/8/8/4k3/8/8/4P3/4K3 w - -",
      "8/8/8/8/3k4/8/3p4/3K4 b - -",
  };
  std::vector<std::string> output = RunTool(input);
  ASSERT_EQ(output.size(), input.size());
  for (size_t i = 0; i < input.size(); ++i) {
    SCOPED_TRACE(input[i]);
    Position probe{};
    if (!SetFromFen(probe, input[i]))
      EXPECT_EQ(output[i].rfind("error ", 0), 0u) << output[i];
    else
      EXPECT_EQ(output[i], Expected(input[i]));
  }
  DestroyKpkBitbase();
}

}  // namespace
