#pragma once
// Handlers of the protocol commands (argument: the text after the first blank).

#include <string_view>

void HandlePing(std::string_view argument);
void HandleUserMove(std::string_view argument);
void HandleGo(std::string_view argument);
void HandleTime(std::string_view argument);
void HandleOtim(std::string_view argument);
void HandleForce(std::string_view argument);
void HandleLevel(std::string_view argument);
void HandleNew(std::string_view argument);
void HandleResult(std::string_view argument);
void HandleSetboard(std::string_view argument);
void HandlePost(std::string_view argument);
void HandleNopost(std::string_view argument);
void HandleAccepted(std::string_view argument);
void HandleEasy(std::string_view argument);
void HandleHard(std::string_view argument);
void HandleProtover(std::string_view argument);
void HandleMoveNow(std::string_view argument);
void HandleUndo(std::string_view argument);
void HandleRemove(std::string_view argument);
void HandleSd(std::string_view argument);

void HandleSt(std::string_view argument);
void HandleAnalyze(std::string_view argument);
void HandleExit(std::string_view argument);
void HandleIgnored(std::string_view argument);

// Releases what the start-up built; run once after the loop ends.
void TearDown();
