// The Win32 side of the port layer: the USB device search and the list of
// present COM ports (the link is link_win32.h).
#pragma once

#include <windows.h>

#include <string>
// setupapi.h needs windows.h first.
#include <setupapi.h>

#include "port/link_win32.h"
#include "port/owners_win32.h"
#include "port/ports.h"

namespace plc {

// The present COM ports from the device-setup walk over the friendly names;
// when no friendly name names a COM port at all, the ports registered under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.  False when the device set cannot be
// had (the caller then keeps what it had).
bool FindComPorts(PortList* out);

// The USB device search.
extern const GUID USB_DRIVER_GUID;
inline constexpr int kDevicePathSize = 300;
// The first present interface of the class whose path carries
// "vid_4b2c&pid_0001" and that opens, shared; its path is then in
// devicePath (kDevicePathSize bytes).  A path that with a backslash does not
// fit the buffer is passed over.
HANDLE OpenUsbDevice(const GUID* interfaceClass, char* devicePath);
// 1 when a matching device could be opened (its path is then in
// devicePath; the test handle is closed again), else 0.
int GetUsbDeviceFileName(const GUID* interfaceClass, char* devicePath);

// The PLC's USB devices that are present, in the order of the search, each
// with its interface path and the location Windows reports for it
// ("Port_#0002.Hub_#0001"; empty when it reports none).  Nothing is opened.
inline constexpr int kUsbLocationSize = 128;
struct PlcUsbDevice {
  char path[kDevicePathSize];
  char location[kUsbLocationSize];
};
int FindPlcUsbDevices(PlcUsbDevice* out, int most);
// Opens, as OpenMyDevPipe with the empty pipe name does, the PLC's USB
// device at that location: after a replug into the same socket it is the
// same PLC.  No link when none is there or it cannot be opened.
OpenedLink OpenPlcUsbAt(const char* location);

// Whether a device interface path is the PLC's (vendor 4b2c, product 0001),
// in whichever case the system wrote it.
bool IsPlcPath(const char* path);

}  // namespace plc
