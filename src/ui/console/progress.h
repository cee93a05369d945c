// The status panel as one line of text: what it shows and when a line is
// worth printing where standard error is no terminal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plc {

struct StatusSnapshot {
  int32_t elapsed;
  int32_t status;
  int32_t progress;
  int32_t errors;
  int32_t totalErrors;
};
StatusSnapshot TakeStatusSnapshot();
const char* PhaseName(int32_t flashStatus);
// The one-line picture of the status panel.
void FormatProgressLine(const StatusSnapshot& s, char* out, size_t outSize);

// When not on a terminal: a line per phase change and per 10 %.  A run
// starts idle at 0 %, which needs no line of its own.
struct ProgressLog {
  int32_t lastStatus = 0;
  int32_t lastTenth = 0;
};
bool ProgressLineDue(ProgressLog& log, const StatusSnapshot& s);

}  // namespace plc
