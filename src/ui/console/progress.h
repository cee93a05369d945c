// The status panel as one line of text: what it shows and when a line is
// worth printing where standard error is no terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "state/run.h"

namespace plc {

struct StatusSnapshot {
  int32_t elapsed;
  int32_t status;
  int32_t progress;
  int32_t errors;
  int32_t totalErrors;
  Activity activity{kActivityNone, 0};
  uint32_t bytesSent = 0;
  uint32_t bytesToSend = 0;
  int64_t phaseMs = 0;  // time spent in the phase so far (the rate while programming)
};
// The run's status now; phaseMs is the caller's.
StatusSnapshot TakeStatusSnapshot(const Run& run);

// One watcher's view of the phase: when it saw the current one begin.
struct PhaseClock {
  int32_t phase = kFlashIdle;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  // Sets s.phaseMs, the time in s's phase so far (a new phase starts now).
  void Time(StatusSnapshot& s);
};
// The one-line picture of the status panel, with what the burn is doing
// (the probe of probeTarget, the pause, the bytes, rate and time left) and
// fitted into width columns; width 0: no limit.  A line never takes the
// last column, where a terminal would wrap it.
void FormatProgressLine(const StatusSnapshot& s, const char* probeTarget, int width, char* out,
                        size_t outSize);

// When not on a terminal: a line per phase change, per 10 % and per named
// activity.  A run starts idle at 0 %, which needs no line of its own.
struct ProgressLog {
  int32_t lastStatus = 0;
  int32_t lastTenth = 0;
  Activity lastActivity{kActivityNone, 0};
};
bool ProgressLineDue(ProgressLog& log, const StatusSnapshot& s);

}  // namespace plc
