#include <cstdio>
#include <cstring>
#include <mutex>

#include "engine/run_state.h"
#include "ui/console/console.h"

namespace {

std::mutex outputLock;
bool onTerminal = false;
bool lineShown = false;  // a progress line stands on the terminal's last row
bool suspended = false;
ProgressLog progressLog;

void ClearLineLocked() {
  if (!lineShown) return;
  (void)std::fputs("\r\033[K", stderr);
  (void)std::fflush(stderr);
  lineShown = false;
}

}  // namespace

void ConsoleOutputInit(bool stderrIsTerminal) {
  std::lock_guard<std::mutex> hold(outputLock);
  onTerminal = stderrIsTerminal;
  lineShown = false;
  suspended = false;
  progressLog = ProgressLog{};
}

bool ConsoleStderrIsTerminal() {
  std::lock_guard<std::mutex> hold(outputLock);
  return onTerminal;
}

void ConsolePrintMessage(const char* caption, const char* text) {
  std::lock_guard<std::mutex> hold(outputLock);
  ClearLineLocked();
  (void)std::fprintf(stdout, "%s: %s\n", caption, text);
  (void)std::fflush(stdout);
}

void ConsolePrintNote(const char* line) {
  std::lock_guard<std::mutex> hold(outputLock);
  ClearLineLocked();
  (void)std::fprintf(stderr, "%s\n", line);
  (void)std::fflush(stderr);
}

void ConsoleSuspendProgress(bool suspend) {
  std::lock_guard<std::mutex> hold(outputLock);
  suspended = suspend;
  if (suspend) ClearLineLocked();
}

void ConsoleProgressTick() {
  StatusSnapshot s = TakeStatusSnapshot();
  char line[160];
  FormatProgressLine(s, line, sizeof line);
  std::lock_guard<std::mutex> hold(outputLock);
  if (suspended) return;
  if (onTerminal) {
    (void)std::fprintf(stderr, "\r%s\033[K", line);
    lineShown = true;
  } else if (ProgressLineDue(progressLog, s)) {
    (void)std::fprintf(stderr, "%s\n", line);
  }
  (void)std::fflush(stderr);
}

void ConsoleEndProgress() {
  std::lock_guard<std::mutex> hold(outputLock);
  ClearLineLocked();
  suspended = true;
}

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
