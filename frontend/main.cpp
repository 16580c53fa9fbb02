#include <cstdio>
#include <cstring>

#include "board/random.h"
#include "book/book.h"
#include "frontend/frontend.h"
#include "frontend/signals.h"

int main() {
  InstallEndHandlers();
  // Seed 0 draws from the clock: each run of the engine varies its book moves.
  RandomSeed(bookRandom, 0);
  char line[1024];
  if (!std::fgets(line, sizeof line, stdin)) return 0;
  line[std::strcspn(line, "\n")] = '\0';
  // Anything but the protocol's greeting ends the process silently.
  if (std::strcmp(line, "xboard") != 0) return 0;
  RunCommandLoop(stdin);
  return 0;
}
