#include "frontend/signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "frontend/configuration.h"
#include "learn/learn.h"

namespace {

// A plain buffer filled before any handler runs: a handler may only make system calls.
char temporaryLearnFile[256];

void RemoveTemporaryLearnFile() {
  if (temporaryLearnFile[0] != '\0') unlink(temporaryLearnFile);
}

// The default action ends the process with the signal's own status and no core dump.
extern "C" void EndOnSignal(int signalNumber) {
  RemoveTemporaryLearnFile();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

}  // namespace

void InstallEndHandlers() {
  const std::string temporary = LearnTemporaryPath(LearnFileName(EngineVersion));
  std::snprintf(temporaryLearnFile, sizeof temporaryLearnFile, "%s", temporary.c_str());
  struct sigaction action {};
  action.sa_handler = EndOnSignal;
  sigemptyset(&action.sa_mask);
  // Installed over whatever the parent left, an ignored SIGHUP included: an interface that
  // sends these means the engine to go.
  for (int signalNumber : {SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
  // Inherited as deadly or as ignored; ignored, a write to a closed pipe fails and the
  // output channel ends the process itself.
  signal(SIGPIPE, SIG_IGN);
}

void EndOnLostOutput() {
  RemoveTemporaryLearnFile();
  _exit(0);
}
