#include "ui/console/target.h"

#include <cstdio>
#include <string>

#include "port/ports.h"
#include "state/models.h"
#include "state/run.h"
#include "ui/console/output.h"

namespace plc {

namespace {

// Without --port a serial model takes the first listed port, as the window
// does; say which, so that a wrong guess is seen before the PLC is erased.
void SelectPort(const ConsoleOptions& options, Run& run) {
  if (options.portGiven) {
    run.SetSelectedComPort(options.port);
  } else if (IsUsbModel(options.model)) {
    run.SetSelectedComPort(kSearchedUsb);
  } else {
    PortList list{};
    ListComPorts(&list);
    run.SetSelectedComPort(list.count > 0 ? list.names[0] : "");
    std::string note = list.count > 0 ? std::string("plcfw: using port ") + list.names[0]
                                      : "plcfw: no serial port is listed; name one with --port";
    for (int i = 1; i < list.count; ++i) {
      note += (i == 1 ? " (also listed: " : ", ");
      note += list.names[i];
    }
    if (list.count > 1) note += "; choose with --port)";
    ConsolePrintNote(note.c_str());
  }
}

}  // namespace

void SelectTarget(const ConsoleOptions& options, Run& run) {
  run.SelectModel(options.model);
  (void)std::snprintf(run.selectedPLC, sizeof run.selectedPLC, "%s", PlcName(options.model));
  SelectPort(options, run);
}

std::string RecordPortLabel(const Run& run) {
  return run.SelectedComPort();
}

}  // namespace plc
