#pragma once
// The command table: 21 protocol commands found through a 129-slot hash of their names,
// and a short list of further commands that clients send.

#include <cstdint>
#include <string_view>

using CommandHandler = void (*)(std::string_view argument);

struct Command {
  const char* name;
  CommandHandler handler;
  bool stopsSearch;
};

constexpr int CommandCount = 21;
constexpr int CommandSlotCount = 129;
constexpr int32_t EmptySlot = 0x7f7f7f7f;
constexpr int QuitCommand = 0;
constexpr int NewCommand = 8;
constexpr int SetboardCommand = 10;

extern const Command commandTable[CommandCount];

// Commands outside the table that clients send anyway: a fixed time per move, analysis,
// and informational lines an engine may ignore. Looked up only when the table does not know
// the word.
constexpr int ExtraCommandCount = 11;
extern const Command extraCommandTable[ExtraCommandCount];

// The home slot of a command word: h = (h * 256 + c) mod 129 over its bytes. Words with a
// byte of 0x80 or above have no slot (-1): they are unknown commands.
int CommandHash(std::string_view word);
// The command index of the word, or -1 when it is unknown.
int LookupCommand(std::string_view word);
// The command of either table, or nullptr when the word is unknown.
const Command* FindCommand(std::string_view word);
// Commands after which the old game is gone: a search they stop sends no move.
bool EndsOldGame(const Command* command);
