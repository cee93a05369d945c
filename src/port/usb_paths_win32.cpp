// Windows names the PLC's USB device by its interface path, found at every
// open; there is no node that could change, so nothing is listed here.
#include <cstring>

#include "port/ports.h"

namespace plc {

void ListPlcUsbPorts(UsbPortList* out) {
  if (out != nullptr) std::memset(out, 0, sizeof *out);
}

}  // namespace plc
