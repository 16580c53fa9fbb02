#include <cstring>
#include <string>
#include <string_view>

#include "frontend/commands.h"
#include "frontend/frontend.h"
#include "frontend/handlers.h"
#include "frontend/output.h"

namespace {

// One line of at most 1023 characters; a longer physical line arrives in pieces.
constexpr int LineBufferSize = 1024;
constexpr size_t UnknownBufferSize = 1024;

}  // namespace

void ExecuteCommands(std::FILE* input) {
  char line[LineBufferSize];
  while (std::fgets(line, LineBufferSize, input)) {
    std::string_view text(line, std::strcspn(line, "\n"));
    size_t blank = text.find(' ');
    std::string_view word = text.substr(0, blank);
    std::string_view argument = blank == std::string_view::npos ? std::string_view{} : text.substr(blank + 1);
    int index = LookupCommand(word);
    if (index < 0) {
      StopSearchThread();
      std::string reply = "Error (unknown command): ";
      reply.append(word.substr(0, UnknownBufferSize - 1 - reply.size()));
      SendLine(reply);
      continue;
    }
    if (commandTable[index].stopsSearch) StopSearchThread();
    if (index == QuitCommand) break;
    commandTable[index].handler(argument);
  }
  StopSearchThread();
}

void RunCommandLoop(std::FILE* input) {
  ExecuteCommands(input);
  if (tablesReady) TearDown();
}
