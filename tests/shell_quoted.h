#pragma once

#include <string>

// One word of a shell command line, whatever it holds: a clone, build or scratch folder
// may have spaces in its path.
inline std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
