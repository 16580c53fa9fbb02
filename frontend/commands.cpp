#include "frontend/commands.h"

#include <cstring>

#include "frontend/handlers.h"

// In index order; the loop itself handles "quit".
const Command commandTable[CommandCount] = {
    {"quit", nullptr, true},
    {"ping", HandlePing, false},
    {"usermove", HandleUserMove, true},
    {"go", HandleGo, true},
    {"time", HandleTime, true},
    {"otim", HandleOtim, true},
    {"force", HandleForce, true},
    {"level", HandleLevel, true},
    {"new", HandleNew, true},
    {"result", HandleResult, true},
    {"setboard", HandleSetboard, true},
    {"post", HandlePost, false},
    {"nopost", HandleNopost, false},
    {"accepted", HandleAccepted, false},
    {"easy", HandleEasy, false},
    {"hard", HandleHard, false},
    {"protover", HandleProtover, false},
    {"?", HandleMoveNow, true},
    {"undo", HandleUndo, true},
    {"remove", HandleRemove, true},
    {"sd", HandleSd, false},
};

const Command extraCommandTable[ExtraCommandCount] = {
    {"st", HandleSt, true},
    {"analyze", HandleAnalyze, true},
    {"exit", HandleExit, false},  // stops the analysis itself, and nothing else
    {".", HandleIgnored, false},
    {"rating", HandleIgnored, false},
    {"computer", HandleIgnored, false},
    {"name", HandleIgnored, false},
    {"random", HandleIgnored, false},
    {"ics", HandleIgnored, false},
    {"hint", HandleIgnored, false},
    {"bk", HandleIgnored, false},
};

namespace {

struct SlotTable {
  int32_t slots[CommandSlotCount];
  SlotTable() {
    std::memset(slots, 0x7f, sizeof slots);
    // The 21 names have 21 distinct home slots, so registration needs no probing.
    for (int i = 0; i < CommandCount; ++i) slots[CommandHash(commandTable[i].name)] = i;
  }
};

const SlotTable& Slots() {
  static const SlotTable table;
  return table;
}

}  // namespace

int CommandHash(std::string_view word) {
  int h = 0;
  for (char c : word) {
    // With signed bytes the remainder would turn negative and point outside the slots.
    if (static_cast<unsigned char>(c) >= 0x80) return -1;
    h = (h * 256 + c) % CommandSlotCount;
  }
  return h;
}

int LookupCommand(std::string_view word) {
  int slot = CommandHash(word);
  if (slot < 0) return -1;
  const SlotTable& table = Slots();
  for (int probes = 0; probes < CommandSlotCount; ++probes) {
    int32_t index = table.slots[slot];
    if (index == EmptySlot) return -1;
    if (word == commandTable[index].name) return index;
    slot = (slot + 1) % CommandSlotCount;
  }
  return -1;
}

const Command* FindCommand(std::string_view word) {
  int index = LookupCommand(word);
  if (index >= 0) return &commandTable[index];
  for (const Command& command : extraCommandTable) {
    if (word == command.name) return &command;
  }
  return nullptr;
}

bool EndsOldGame(const Command* command) {
  return command == &commandTable[NewCommand] || command == &commandTable[SetboardCommand];
}
