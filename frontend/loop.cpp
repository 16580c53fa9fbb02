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
    const Command* command = FindCommand(word);
    if (!command) {
      StopSearchThread();
      std::string reply = "Error (unknown command): ";
      reply.append(word.substr(0, UnknownBufferSize - 1 - reply.size()));
      SendLine(reply);
    } else {
      if (command->stopsSearch) StopSearchThread(EndsOldGame(command));
      if (command == &commandTable[QuitCommand]) break;
      command->handler(argument);
    }
    // Analysis goes on after whatever stopped it, on the position the command left.
    if (analysisMode) ResumeAnalysis();
  }
  StopSearchThread();
}

void RunCommandLoop(std::FILE* input) {
  ExecuteCommands(input);
  if (tablesReady) TearDown();
}
