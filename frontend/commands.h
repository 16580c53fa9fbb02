#pragma once
// The command table: 21 protocol commands found through a 129-slot hash of their names.

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

extern const Command commandTable[CommandCount];

// The home slot of a command word: h = (h * 256 + c) mod 129 over its bytes. Words with a
// byte of 0x80 or above have no slot (-1): they are unknown commands.
int CommandHash(std::string_view word);
// The command index of the word, or -1 when it is unknown.
int LookupCommand(std::string_view word);
