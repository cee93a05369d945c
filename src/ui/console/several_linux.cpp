// --all on Linux: the PLC's USB serial devices, each by its
// /dev/serial/by-path name where udev made one, which leads to the same USB
// port after the replug whatever node the PLC gets.
#include <cstddef>
#include <string>
#include <vector>

#include "port/ports.h"
#include "ui/console/several.h"

namespace plc {

std::vector<PlcTarget> FindAllPlcs() {
  UsbPortList found{};
  ListPlcUsbPorts(&found);
  std::vector<std::string> ports;
  ports.reserve(static_cast<size_t>(found.count));
  for (int i = 0; i < found.count; ++i) {
    ports.emplace_back(found.stable[i][0] != '\0' ? found.stable[i] : found.nodes[i]);
  }
  return TargetsOf(ports);
}

}  // namespace plc
