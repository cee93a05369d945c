#include "ui/port_choice.h"

#include <cstdio>
#include <cstring>

namespace plc {

bool ParseWindowArgs(int argc, const char* const* argv, std::string* port, std::string* error) {
  port->clear();
  constexpr char kOption[] = "--port";
  constexpr size_t kOptionLength = sizeof kOption - 1;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = nullptr;
    if (std::strcmp(arg, kOption) == 0) {
      if (i + 1 < argc) value = argv[++i];
    } else if (std::strncmp(arg, kOption, kOptionLength) == 0 && arg[kOptionLength] == '=') {
      value = arg + kOptionLength + 1;
    } else {
      *error = std::string("unknown argument: ") + arg;
      return false;
    }
    if (value == nullptr || *value == '\0') {
      *error = "--port needs a device path or a COM port";
      return false;
    }
    *port = value;
  }
  return true;
}

const char* WindowUsage() {
  return "Usage: plcfwupdate.exe [--port PATH]\n"
         "\n"
         "--port PATH  USB models: the device path to open instead of searching for the "
         "PLC.  Serial models: the COM port to preselect (COM3, or a device path such as "
         "\\\\.\\COM12).";
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
