// plcfw --identify: which PLC is on the link, in one fact a line.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "burn/host.h"
#include "state/run.h"
#include "ui/console/options.h"
#include "ui/console/outcome.h"

namespace plc {

class ConsoleHost;

// One fact of the identify report: a line "Label: text" on standard output
// and "key": "text" in the record.
struct ReportFact {
  std::string key;
  std::string label;
  std::string text;
};

struct IdentifyReport {
  std::vector<ReportFact> facts;
  int exitStatus;
  PlcOutcome outcome;  // kOk when the PLC answered and fits the model
};
// Opens the selected model's link through host, asks the PLC who it is
// (changing nothing on it) and describes the answer.  openBusy, when given,
// says after a refused open whether another run or program holds the PLC.
IdentifyReport IdentifySelected(Run& run, Host& host, const char* portLabel,
                                const std::function<bool()>& openBusy = {});
// Through host: the target chosen, the report on standard output, the
// record, the status.
int Identify(const ConsoleOptions& options, Run& run, ConsoleHost& host);
// The same, guarded against Ctrl-C.
int RunIdentify(const ConsoleOptions& options);

}  // namespace plc
