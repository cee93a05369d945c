// Platform port access: the port list, the COM open and the USB device search.
// Implemented once per platform (ports_linux.cpp / ports_win32.cpp,
// usb_linux.cpp / usb_win32.cpp).
#pragma once

#include "port/link.h"

namespace plc {

// A listed port name fits 9 characters and its NUL.
inline constexpr int kPortNameSize = 10;
inline constexpr int kMaxListedPorts = 64;

struct PortList {
  int count;
  char names[kMaxListedPorts][kPortNameSize];
};

// The present serial ports, in sorted text order (COM10 before COM2).
void ListComPorts(PortList* out);

// Opens a serial port by its listed name or by a path, for reading and
// writing, exclusively: a port that another program holds is not opened.
// kNoLink on any failure.
LinkHandle OpenComPort(const char* nameOrPath);

// Opens the given device path like a port, for the USB device.  The run
// holds the USB port the device is plugged into until it ends, so that no
// other run takes the PLC while it re-enumerates.
LinkHandle OpenUsbPath(const char* path);

// Takes the run-long hold of the PLC the device path leads to (on Linux
// the USB port it is on, for a serial port too); false when another process
// holds it or, on Linux, when no hold can be had (PortRefusal says why).  A
// hold is kept until ReleaseRunHolds.
bool HoldForTheRun(const char* devicePath);

// Ends the run's holds (and on Linux forgets the USB port the run's PLC was
// found on): called once a run (a burn, an identify) has closed its link.
void ReleaseRunHolds();

// Why the last open on this thread was refused because another program
// holds the port ("/dev/ttyACM0 is in use by another program (locked)");
// empty when it was not.
const char* PortRefusal();

// Finds the first present USB device of the PLC (vendor 4b2c, product 0001)
// and opens it with the pipe name appended; kNoLink when none can be opened.
LinkHandle OpenMyDevPipe(const char* pipeName);

// The PLC's USB devices that are present, each with the stable name that
// stays bound to the physical USB port across a replug (on Linux the
// /dev/serial/by-path link; empty where there is none).  Nodes are in the
// order of the USB search.
inline constexpr int kMaxUsbPorts = 16;
inline constexpr int kUsbPortPathSize = 256;
struct UsbPortList {
  int count;
  char nodes[kMaxUsbPorts][kUsbPortPathSize];   // "/dev/ttyACM0"
  char stable[kMaxUsbPorts][kUsbPortPathSize];  // "/dev/serial/by-path/..." or ""
};
void ListPlcUsbPorts(UsbPortList* out);

}  // namespace plc
