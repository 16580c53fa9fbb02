// The perft tool as a user runs it: the last line is exactly "nodes N".

#include <cstdio>
#include <string>

#include "movegen_test_support.h"

namespace {

std::string PerftPath() {
  std::string engine = SKARNE_BINARY;
  return engine.substr(0, engine.rfind('/') + 1) + "skarne-perft";
}

std::vector<std::string> RunLines(const std::string& arguments) {
  std::vector<std::string> lines;
  FILE* pipe = popen((PerftPath() + " " + arguments).c_str(), "r");
  if (!pipe) return lines;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) {
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  pclose(pipe);
  return lines;
}

TEST(PerftTool, PrintsTimeThenNodes) {
  for (const char* arguments : {"3", "--generator=legal 3", "--divide --generator=search 3"}) {
    SCOPED_TRACE(arguments);
    std::vector<std::string> lines = RunLines(arguments);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), "nodes 8902");
    EXPECT_EQ(lines[lines.size() - 2].rfind("time ", 0), 0u);
  }
}

TEST(PerftTool, DivideListsEveryRootMoveOfAPosition) {
  std::vector<std::string> lines =
      RunLines("--divide --generator=legal 2 \"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -\"");
  ASSERT_EQ(lines.size(), 14u + 2u);
  EXPECT_EQ(lines.back(), "nodes 191");
}

}  // namespace
