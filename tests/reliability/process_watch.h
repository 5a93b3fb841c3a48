// What the random-action test watches of its own process through the system: the station's
// worker threads, and a note written when the process dies.
#pragma once

#include <string>

namespace reliability {

// The worker threads running now: the connection worker and the poller, by the names they
// give themselves.
int WorkerThreads();

// Writes `text` to the standard error output with one system call (safe in a crash handler).
void WriteToStandardError(const std::string& text);

// When the process dies of a crash or an abort, `note` is written first (it is read then, so
// it may change until that moment), followed by the stack where the system can give it.
void PrintOnCrash(const std::string& note);

}  // namespace reliability
