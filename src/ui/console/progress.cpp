#include "ui/console/progress.h"

#include <cstdio>

#include "state/run_state.h"

namespace plc {

StatusSnapshot TakeStatusSnapshot() {
  return {elapsedTime, flashStatus, progress, errCounter, totalErrCounter};
}

const char* PhaseName(int32_t status) {
  switch (status) {
    case kFlashIdle:
      return "Idle";
    case kFlashErasing:
      return "Erasing";
    case kFlashProgramming:
      return "Programming";
    default:
      return "";
  }
}

void FormatProgressLine(const StatusSnapshot& s, char* out, size_t outSize) {
  // The status panel in one line: seconds, bar, percent, phase, counters.
  constexpr int kBarWidth = 20;
  int percent = s.progress < 0 ? 0 : (s.progress > 100 ? 100 : s.progress);
  char bar[kBarWidth + 1];
  int filled = percent * kBarWidth / 100;
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  (void)std::snprintf(out, outSize, "%4d s [%s] %3d%% %-11s Error/Total Error: %d/%d", s.elapsed,
                      bar, percent, PhaseName(s.status), s.errors, s.totalErrors);
}

bool ProgressLineDue(ProgressLog& log, const StatusSnapshot& s) {
  int32_t tenth = s.progress / 10;
  if (s.status != log.lastStatus) {
    log.lastStatus = s.status;
    log.lastTenth = tenth;
    return true;
  }
  if (tenth != log.lastTenth) {
    log.lastTenth = tenth;
    return true;
  }
  return false;
}

}  // namespace plc
