#include "ui/console/progress.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "state/run.h"
#include "ui/panel.h"

namespace plc {

StatusSnapshot TakeStatusSnapshot(const Run& run) {
  StatusSnapshot s{run.elapsedTime, run.flashStatus, run.progress, run.errCounter,
                   run.totalErrCounter};
  s.activity = run.CurrentActivity();
  s.bytesSent = run.bytesSent;
  s.bytesToSend = run.bytesToSend;
  return s;
}

void PhaseClock::Time(StatusSnapshot& s) {
  const auto now = std::chrono::steady_clock::now();
  if (s.status != phase) {
    phase = s.status;
    start = now;
  }
  s.phaseMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
}

namespace {

constexpr int kBarWidth = 20;

std::string Printed(const char* format, double value) {
  char text[32];
  (void)std::snprintf(text, sizeof text, format, value);
  return text;
}

// "1024/5000 B", "12.5/300.0 kB", "1.04/2.07 MB": both in the total's unit.
std::string BytesOfTotal(uint32_t sent, uint32_t total) {
  if (total < 10000) return std::to_string(sent) + "/" + std::to_string(total) + " B";
  if (total < 1000000)
    return Printed("%.1f", sent / 1e3) + "/" + Printed("%.1f", total / 1e3) + " kB";
  return Printed("%.2f", sent / 1e6) + "/" + Printed("%.2f", total / 1e6) + " MB";
}

// What the burn is doing, beyond the phase: the bytes, rate and time left
// while programming (the rate once a second has passed), the probe's try,
// the pause.
std::string Detail(const StatusSnapshot& s, const char* probeTarget) {
  if (s.status == kFlashProgramming && s.bytesToSend > 0) {
    std::string text = BytesOfTotal(s.bytesSent, s.bytesToSend);
    if (s.phaseMs >= 1000 && s.bytesSent > 0) {
      const double rate = s.bytesSent * 1000.0 / static_cast<double>(s.phaseMs);
      text += rate < 10000 ? Printed(" %.0f B/s", rate) : Printed(" %.1f kB/s", rate / 1e3);
      const auto left = static_cast<long long>((s.bytesToSend - s.bytesSent) / rate + 0.999);
      char time[48];
      (void)std::snprintf(time, sizeof time, " %lld:%02lld left", left / 60, left % 60);
      text += time;
    }
    return text;
  }
  if (s.activity.kind == kActivityProbing) {
    std::string text = std::string("probing ") + probeTarget;
    if (s.activity.number > 0) text += ", try " + std::to_string(s.activity.number);
    return text;
  }
  if (s.activity.kind == kActivityWaiting)
    return "waiting " + std::to_string(s.activity.number) + " s for the PLC to come back";
  return "";
}

// The parts a line shows, widest first; the first that fits is taken.
// Where the room is short, what the burn is doing goes before the bar.
struct Layout {
  bool bar;
  bool phase;  // the percent and the phase's name
  bool detail;
  bool fullCounters;
  int minBar;
};
constexpr Layout kLayouts[] = {
    {true, true, true, true, 10},   {true, true, true, false, 10}, {false, true, true, false, 0},
    {false, false, true, false, 0}, {true, true, false, true, 10}, {true, true, false, false, 5},
    {false, true, false, false, 0},
};

std::string Compose(const StatusSnapshot& s, const Layout& layout, int bar,
                    const std::string& detail) {
  const int percent = s.progress < 0 ? 0 : (s.progress > 100 ? 100 : s.progress);
  char head[48];
  (void)std::snprintf(head, sizeof head, "%4d s ", s.elapsed);
  std::string line = head;
  if (layout.bar) {
    const int filled = percent * bar / 100;
    line += "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "] ";
  }
  if (layout.phase) {
    char middle[48];
    const char* phase = PhaseText(s.status);  // the status panel's words
    (void)std::snprintf(middle, sizeof middle, "%3d%% %-11s ", percent,
                        phase != nullptr ? phase : "");
    line += middle;
  }
  if (layout.detail) line += detail + " ";
  char counters[64];
  (void)std::snprintf(counters, sizeof counters,
                      layout.fullCounters ? "Error/Total Error: %d/%d" : "Err %d/%d", s.errors,
                      s.totalErrors);
  return line + counters;
}

}  // namespace

void FormatProgressLine(const StatusSnapshot& s, const char* probeTarget, int width, char* out,
                        size_t outSize) {
  if (outSize == 0) return;
  const std::string detail = Detail(s, probeTarget != nullptr ? probeTarget : "");
  std::string line;
  if (width <= 0) {
    line = Compose(s, {true, true, !detail.empty(), true, 0}, kBarWidth, detail);
  } else {
    const auto room = static_cast<size_t>(width - 1);  // the last column wraps
    for (const Layout& layout : kLayouts) {
      if (layout.detail && detail.empty()) continue;
      line = Compose(s, layout, 0, detail);
      if (line.size() > room) continue;
      if (!layout.bar) break;
      const auto bar = static_cast<int>(room - line.size());
      if (bar < layout.minBar) continue;
      line = Compose(s, layout, bar < kBarWidth ? bar : kBarWidth, detail);
      break;
    }
    if (line.size() > room) line.resize(room);
  }
  const size_t n = line.size() < outSize - 1 ? line.size() : outSize - 1;
  std::memcpy(out, line.data(), n);
  out[n] = '\0';
}

bool ProgressLineDue(ProgressLog& log, const StatusSnapshot& s) {
  int32_t tenth = s.progress / 10;
  if (s.status != log.lastStatus) {
    log.lastStatus = s.status;
    log.lastTenth = tenth;
    log.lastActivity = s.activity;
    return true;
  }
  if (tenth != log.lastTenth) {
    log.lastTenth = tenth;
    return true;
  }
  const bool activityChanged =
      s.activity.kind != log.lastActivity.kind || s.activity.number != log.lastActivity.number;
  log.lastActivity = s.activity;
  return activityChanged && s.activity.kind != kActivityNone;
}

}  // namespace plc
