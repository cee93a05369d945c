// The guard of a run that opens the PLC's link (burn and identify): only
// the main thread takes the interrupt signals, and it alone acts on them.
#pragma once

#include <functional>

namespace plc {

class ConsoleHost;

// Installs the interrupt handler, holds the signals for every thread
// started from here on and starts the output.
void StartGuard();
// Runs work on a thread of its own while the main thread draws the progress
// (when asked) and watches for an interrupt, which ends the run unless host
// has already said that it succeeded.
void RunWatched(const std::function<void()>& work, bool progress, const ConsoleHost& host);
// The run is over; a stalled output can be left behind on Ctrl-C without
// hiding how it ended.
int EndRun(int status);

}  // namespace plc
