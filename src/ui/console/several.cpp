#include "ui/console/several.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace plc {

namespace {

// "usb-0:1.4:1.0" and the variants that name the USB revision
// ("usbv2-0:1.4:1.0"): the part between the bus and the interface.
std::string UsbPortPart(const std::string& name) {
  const size_t usb = name.rfind("-usb");
  if (usb == std::string::npos) return "";
  const size_t dash = name.find('-', usb + 1);
  if (dash == std::string::npos) return "";
  const std::string tail = name.substr(dash + 1);
  const size_t first = tail.find(':');
  const size_t last = tail.rfind(':');
  if (first == std::string::npos || last <= first + 1) return "";
  return tail.substr(first + 1, last - first - 1);
}

std::string WithoutDev(const std::string& port) {
  const std::string dev = "/dev/";
  return port.compare(0, dev.size(), dev) == 0 ? port.substr(dev.size()) : port;
}

}  // namespace

std::string PortLabel(const std::string& port) {
  const size_t slash = port.rfind('/');
  const std::string last = slash == std::string::npos ? port : port.substr(slash + 1);
  std::string usbPort = UsbPortPart(last);
  if (!usbPort.empty()) return usbPort;
  // "/dev/pts/3" would be "3" alone: keep the folder under /dev.
  return WithoutDev(port);
}

std::vector<PlcTarget> TargetsOf(const std::vector<std::string>& ports) {
  std::vector<PlcTarget> targets;
  targets.reserve(ports.size());
  for (const std::string& port : ports) targets.push_back({port, PortLabel(port)});
  std::vector<bool> shared(targets.size(), false);
  for (size_t i = 0; i < targets.size(); ++i) {
    for (size_t j = i + 1; j < targets.size(); ++j) {
      if (targets[i].label == targets[j].label) shared[i] = shared[j] = true;
    }
  }
  for (size_t i = 0; i < targets.size(); ++i) {
    if (shared[i]) targets[i].label = WithoutDev(targets[i].port);
  }
  return targets;
}

std::string SummaryTable(const std::vector<PlcEnd>& ends) {
  std::vector<std::vector<std::string>> rows{{"PLC", "model", "result", "message", "seconds"}};
  for (const PlcEnd& end : ends) {
    char seconds[32];
    (void)std::snprintf(seconds, sizeof seconds, "%.1f", end.seconds);
    rows.push_back({end.label, end.model, end.result, end.message, seconds});
  }
  std::vector<size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      std::string cell = row[c];
      // The seconds (the last column) stand right-aligned, the rest left.
      if (c + 1 < row.size()) {
        cell.append(width[c] - cell.size(), ' ');
      } else {
        cell.insert(0, width[c] - cell.size(), ' ');
      }
      line += (c > 0 ? "  " : "") + cell;
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace plc
