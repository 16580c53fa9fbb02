#include <cstdio>
#include <cstring>

#include "frontend/frontend.h"

int main() {
  char line[1024];
  if (!std::fgets(line, sizeof line, stdin)) return 0;
  line[std::strcspn(line, "\n")] = '\0';
  // Anything but the protocol's greeting ends the process silently.
  if (std::strcmp(line, "xboard") != 0) return 0;
  RunCommandLoop(stdin);
  return 0;
}
