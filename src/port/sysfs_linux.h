// The Linux device search: the serial ports and the PLC's USB device as
// sysfs lists them, and the stable names udev keeps for them; the run-long
// holds.  The roots are parameters so that the tests walk fake trees; the
// port layer's calls pass those of portPlaces.
#pragma once

#include <cstddef>

#include "port/ports.h"
#include "port/refusal.h"

namespace plc {

// Where the port layer looks: sysfs, the device files, the shared lock
// folder and procfs.  A test points them at fake trees.
struct PortPlaces {
  const char* sys;      // "/sys"
  const char* dev;      // "/dev"
  const char* runLock;  // "/run/lock"
  const char* proc;     // "/proc"
};
extern PortPlaces portPlaces;

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

// The interface of the USB device that the tty hangs from ("usb-1-3:1.0"):
// each port of a multi-port serial adapter has its own.
bool UsbInterfaceOfTtyIn(const char* sysRoot, const char* ttyPath, char* out, size_t outSize);

// HoldForTheRun for a serial port (comPort) or the USB PLC: a serial port on
// a USB adapter is held by the adapter's interface, the PLC by its USB port.
bool HoldNodeForTheRun(const char* nodePath, bool comPort, Refusal* why);

// The device file of the PLC on one USB port ("usb-1-1.2", as UsbPortOfTtyIn
// names it), as FindUsbTtyIn would give it; false when that port has no PLC
// with a tty now.
bool FindUsbTtyAtIn(const char* sysRoot, const char* usbPort, char* path, size_t pathSize);

// Called, when set, between the open of a lock file and its flock: a test
// ends another run's hold there.
extern void (*lockFileOpened)(const char* lockPath);

// A process that has the device file node (a resolved path) open, under a
// procfs root; everyProcessSeen is false when some process's descriptors
// could not be read (another user's, without root).
struct NodeUser {
  int pid;
  char comm[32];
  bool everyProcessSeen;
};
bool FindNodeUserIn(const char* procRoot, const char* node, NodeUser* out);

// Why an open of path failed with EBUSY (the tty is in exclusive mode): the
// process that has it open, or that none has and a program that ended left
// it so.
Refusal BusyRefusalIn(const char* procRoot, const char* path);

}  // namespace plc
