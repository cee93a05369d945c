// The Linux device search: the serial ports and the PLC's USB device as
// sysfs lists them, and the stable names udev keeps for them.  The roots are
// parameters so that the tests walk fake trees; the port layer's calls pass
// "/sys", "/dev" and "/dev/serial/by-path".
#pragma once

#include <cstddef>

#include "port/ports.h"

namespace plc {

// The present serial ports under a sysfs root ("/sys" on a live system).
// devRoot is where the device files are ("/dev"), used to ask a legacy ttyS
// port for its UART when sysfs does not say; nullptr skips that question.
void ListComPortsIn(const char* sysRoot, const char* devRoot, PortList* out);

// The device file of the first present USB device with vendor 4b2c and
// product 0001 that has a tty interface, in device-name order ("/dev/ttyACM0").
// False when there is none.
bool FindUsbTtyIn(const char* sysRoot, char* path, size_t pathSize);

// Every present USB device of the PLC with a tty, in the order of the search
// above: the device files into out->nodes (stable names left empty).
void ListUsbTtysIn(const char* sysRoot, UsbPortList* out);

// The link in byPathDir ("/dev/serial/by-path") that points at the device
// file ttyPath, as byPathDir/<link>; the first in name order when several
// do.  udev makes these links from the USB port's place on the bus, so they
// are read rather than worked out again here.  False when none points there.
bool ByPathNameIn(const char* byPathDir, const char* ttyPath, char* out, size_t outSize);

// ListUsbTtysIn with each node's by-path name.
void ListPlcUsbPortsIn(const char* sysRoot, const char* byPathDir, UsbPortList* out);

// The name of the USB device ("usb-1-1.2": its place on the bus, which a
// re-enumeration keeps) that the tty ttyPath belongs to, under a sysfs root.
// False when the tty is not on a USB device.
bool UsbPortOfTtyIn(const char* sysRoot, const char* ttyPath, char* out, size_t outSize);

}  // namespace plc
