// The guard of a run that opens the PLC's link (burn and identify): only
// the main thread takes the interrupt signals, and it alone acts on them.
#pragma once

#include <functional>

#include "state/run.h"

namespace plc {

// Installs the interrupt handler, holds the signals for every thread
// started from here on and starts the output.
void StartGuard();
// The run whose state an interrupt reports (whether the PLC lost its
// program); set before the run starts.
void GuardRun(const Run* run);
// Runs work on a thread of its own while the main thread draws the progress
// (when asked) and watches for an interrupt, which ends the run unless
// resultStands says that the run has already succeeded.  The interrupt
// handler has stopped the links before the main thread looks; the note it
// prints warns about the PLC only when the PLC lost its program in this run.
void RunWatched(const std::function<void()>& work, bool drawProgress,
                const std::function<bool()>& resultStands);
// Ends an interrupted run: the note (a warning when the PLC lost its
// program in this run), the record, the ports given back, exit status 3.
// The thread that is still at work calls it too, once it sees the interrupt,
// so that it shows nothing of its own; only one caller ends the run.
[[noreturn]] void EndInterruptedRun();
// A run of several PLCs ends on an interrupt with a note per PLC (a warning
// for each one left without a working program), then a record per PLC,
// instead of the one PLC's note and record.
struct SeveralInterruptedEnd {
  std::function<void()> notes;
  std::function<void()> records;
};
void SetSeveralInterruptedEnd(SeveralInterruptedEnd end);
// The run is over: the output is let out, then the record is written with
// the result; a stalled output can be left behind on Ctrl-C without hiding
// how the run ended.
int EndRun(int status, const char* result);

}  // namespace plc
