#include "ui/port_choice.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>

#include "state/nearest.h"
#include "ui/port_option.h"

namespace plc {

namespace {

// The window's one option, declared once for the parser and the usage box.
CLI::Option* DeclarePort(CLI::App& app) {
  app.set_help_flag();
  app.allow_extras();
  app.get_formatter()->column_width(18);
  return AddPortOption(app, "PATH",
                       "USB models: the device path to open instead of searching for the PLC.  "
                       "Serial models: the COM port to preselect (COM3, or a device path such "
                       "as \\\\.\\COM12).");
}

}  // namespace

bool ParseWindowArgs(int argc, const char* const* argv, std::string* port, std::string* error) {
  port->clear();
  CLI::App app;
  // A path given as "/..." is a value, not a Windows-style option.
  app.allow_windows_style_options(false);
  const CLI::Option* option = DeclarePort(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    *error = e.what();
    return false;
  }
  if (!app.remaining().empty()) {
    const std::string arg = app.remaining().front();
    *error = "unknown argument: " + arg;
    // A mistyped --port: say so ("--prot", "--Port=COM3").
    const std::string typed = arg.rfind("--", 0) == 0 ? arg.substr(2, arg.find('=') - 2) : "";
    if (!NearestNames(typed, {"port"}).empty()) *error += "; did you mean --port?";
    return false;
  }
  // Given twice, the last one counts.
  if (option->count() > 0) *port = option->results().back();
  if (option->count() > 0 && port->empty()) {
    *error = "--port needs a device path or a COM port";
    return false;
  }
  return true;
}

std::string WindowUsage() {
  CLI::App app("", "plcfwupdate.exe");
  DeclarePort(app);
  return app.help();
}

std::vector<std::string> UsbRowLabels(const std::vector<std::string>& locations) {
  if (locations.size() == 1) return {"USB"};
  std::vector<std::string> labels;
  for (size_t i = 0; i < locations.size(); ++i) {
    const std::string& where = locations[i];
    unsigned port = 0;
    unsigned hub = 0;
    int end = 0;
    std::string label;
    if (std::sscanf(where.c_str(), "Port_#%u.Hub_#%u%n", &port, &hub, &end) == 2 &&
        static_cast<size_t>(end) == where.size()) {
      // The port first: a narrow list shows the start of the label, and
      // PLCs side by side usually share a hub.
      label = "Port " + std::to_string(port) + " (hub " + std::to_string(hub) + ")";
    } else if (!where.empty()) {
      label = "USB " + where;
    }
    bool taken = label.empty();
    for (const std::string& other : labels) taken = taken || other == label;
    labels.push_back(taken ? "USB " + std::to_string(i + 1) : label);
  }
  return labels;
}

int KeptRow(const std::vector<std::string>& rows, const std::string& previous,
            const std::string& fallback) {
  if (rows.empty()) return -1;
  for (const std::string* wanted : {&previous, &fallback}) {
    for (size_t row = 0; row < rows.size(); ++row) {
      if (!wanted->empty() && rows[row] == *wanted) return static_cast<int>(row);
    }
  }
  return 0;
}

bool PortListRefresh::DeviceChanged(bool runInProgress) {
  pending_ = runInProgress;
  return !runInProgress;
}

bool PortListRefresh::Tick(bool runInProgress) {
  if (!pending_ || runInProgress) return false;
  pending_ = false;
  return true;
}

}  // namespace plc
