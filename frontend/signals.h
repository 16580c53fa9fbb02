#pragma once
// How the engine ends when its interface goes away: the interface closes the pipes, or
// sends SIGTERM or SIGHUP, and may have left SIGPIPE ignored or deadly.

// Run first thing in main: the end signals end the process at once, in any state. The
// learn file is safe at any instant (a merge replaces it by a rename), so nothing needs to
// finish; only a half-written temporary file is removed. A failed write to standard
// output is seen by the output channel rather than killing the process unannounced.
void InstallEndHandlers();

// A write to standard output failed: nobody reads the engine any more, and searching on
// would only write to a closed pipe again. Ends the process from any thread.
[[noreturn]] void EndOnLostOutput();
