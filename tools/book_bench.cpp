// skarne-book-bench [FILE] [PROBES]: loads a book (default skarne.boo) and prints the load time,
// the memory the process holds before and after, the book's size, and the probes per
// second over the nodes met on random walks through the book.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"

namespace {

// A line of /proc/self/status in kB, e.g. "VmRSS".
long StatusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "skarne.boo";
  const long probes = argc > 2 ? std::atol(argv[2]) : 10000000;
  InitTables();
  const long residentBefore = StatusKilobytes("VmRSS");
  auto start = std::chrono::steady_clock::now();
  Book book = LoadBook(path);
  const double loadSeconds = SecondsSince(start);
  std::printf("load %s: %.3f s, %s%s\n", path, loadSeconds, book.loaded ? "loaded" : "failed: ",
              book.errorText);
  std::printf("resident %ld kB before, %ld kB after, peak %ld kB\n", residentBefore,
              StatusKilobytes("VmRSS"), StatusKilobytes("VmHWM"));
  if (!book.loaded) return 1;
  std::printf("max_ply %d, min_games %d, %u nodes, %u edges, %zu weights\n", book.maxPly,
              book.minGames, book.nodeCount(), book.edgeCount(), book.weights.size());

  // Nodes where a probe has a move, gathered along random walks from the root.
  RandomState generator;
  RandomSeed(generator, 1);
  std::vector<int32_t> nodes;
  for (int walk = 0; nodes.size() < 100000 && walk < 1000000; ++walk) {
    book.cursor = 0;
    for (int index; (index = BookProbe(book, generator)) >= 0;) {
      nodes.push_back(book.cursor);
      BookAdvance(book, index);
    }
  }
  if (nodes.empty()) return 1;
  start = std::chrono::steady_clock::now();
  long sum = 0;
  for (long i = 0; i < probes; ++i) {
    book.cursor = nodes[size_t(i) % nodes.size()];
    sum += BookProbe(book, generator);
  }
  const double probeSeconds = SecondsSince(start);
  std::printf("%ld probes over %zu nodes: %.3f s, %.0f probes/s (checksum %ld)\n", probes,
              nodes.size(), probeSeconds, probes / probeSeconds, sum);
  return 0;
}
