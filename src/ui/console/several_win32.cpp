// --all on Windows: the window's device search, each PLC by its interface
// path and labelled as the window's port list labels its row.
#include <cstddef>
#include <string>
#include <vector>

#include "port/ports_win32.h"
#include "ui/console/several.h"
#include "ui/port_choice.h"

namespace plc {

std::vector<PlcTarget> FindAllPlcs() {
  PlcUsbDevice found[kMaxUsbPorts];
  const int count = FindPlcUsbDevices(found, kMaxUsbPorts);
  std::vector<std::string> locations;
  locations.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) locations.emplace_back(found[i].location);
  const std::vector<std::string> labels = UsbRowLabels(locations);
  std::vector<PlcTarget> targets;
  targets.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    // As OpenMyDevPipe opens it: the path and the empty pipe name.
    targets.push_back({std::string(found[i].path) + "\\", labels[static_cast<size_t>(i)]});
  }
  return targets;
}

}  // namespace plc
