// skarne-eval: static evaluation of FEN lines from standard input, one answer line each:
//   eval S recognizer R scorer T
// S for the side to move, R the recognizer's answer (side to move), T the scorer's
// answer (white-positive); "none" where no entry answers. A refused FEN gives
// "error <reason>". With --bench [rounds] it instead scores every position `rounds` times
// (attack cache recomputed each time, pawn hash warm) and prints evaluations per second.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "board/board.h"
#include "egdb/egdb.h"
#include "eval/endgame.h"
#include "eval/eval.h"
#include "notation/fen.h"

namespace {

std::string Answer(Position pos) {
  char line[96];
  Position forScorer = pos, forRecognizer = pos;
  int32_t eval = Evaluate(-ScoreBound, ScoreBound, pos);
  int32_t recognized = RecognizerScore(forRecognizer);
  std::string r = recognized == NoRecognizerScore ? "none" : std::to_string(recognized);
  std::string t = "none";
  if (auto scorer = scorerTable[forScorer.materialSignature]) {
    int32_t score = 0;
    if (scorer(forScorer, &score)) t = std::to_string(score);
  }
  std::snprintf(line, sizeof line, "eval %d recognizer %s scorer %s", eval, r.c_str(), t.c_str());
  return line;
}

// The FEN part of an EPD or FEN line: everything before the first ';' or operation list
// is accepted by the reader itself, which ignores what follows the fourth field.
std::string FenPart(const std::string& line) {
  size_t cut = line.find(';');
  return cut == std::string::npos ? line : line.substr(0, cut);
}

int Bench(int rounds) {
  std::vector<Position> positions;
  std::string line;
  while (std::getline(std::cin, line)) {
    Position pos{};
    if (SetFromFen(pos, FenPart(line))) positions.push_back(pos);
  }
  if (positions.empty()) {
    std::printf("error no positions\n");
    return 1;
  }
  std::vector<Position> work(positions);
  int64_t checksum = 0;
  for (Position& pos : work) checksum += Evaluate(-ScoreBound, ScoreBound, pos);  // warm the pawn hash
  auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r)
    for (Position& pos : work) {
      pos.cacheFlags = 0;
      checksum += Evaluate(-ScoreBound, ScoreBound, pos);
    }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double count = double(rounds) * double(work.size());
  std::printf("positions %zu evaluations %.0f seconds %.3f evaluations/s %.0f checksum %lld\n", work.size(), count,
              seconds, count / seconds, static_cast<long long>(checksum));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  InitTables();
  InitEndgameTables();
  BuildKingTables();
  BuildKpkBitbase();
  if (!AllocatePawnTable(1 << 16)) {
    std::printf("error no memory for the pawn table\n");
    return 1;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--bench") == 0) return Bench(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 100);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Position pos{};
    if (!SetFromFen(pos, line)) {
      std::printf("error refused FEN: %.200s\n", line.c_str());
      continue;
    }
    std::printf("%s\n", Answer(pos).c_str());
  }
  FreePawnTable();
  DestroyKpkBitbase();
  return 0;
}
