// The Win32 side of the port layer: the link over a file handle, the USB
// device search and the list of present COM ports.
#pragma once

#include <windows.h>

#include <string>
// setupapi.h needs windows.h first.
#include <setupapi.h>

#include "port/owners_win32.h"
#include "port/ports.h"

namespace plc {

// A COM port or the USB device, opened with CreateFileA.
class Win32Link final : public Link {
 public:
  Win32Link(HANDLE handle, bool comPort) : owner_(handle), handle_(handle), comPort_(comPort) {}
  uint32_t Write(const uint8_t* data, uint32_t count) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  void ApplyLineSettings(const LineSettings& settings) override;
  void ApplyTimeouts(const Timeouts& timeouts) override;

 private:
  FileHandle owner_;  // closes the handle with the link
  HANDLE handle_;
  bool comPort_;
};

// Wraps an open handle (a COM port, or the USB device); kNoLink for
// INVALID_HANDLE_VALUE.
LinkHandle LinkFromHandle(HANDLE handle, bool comPort);

// Stores the named fields in a port state read with GetCommState: speed,
// data bits, parity and stop bits, and DTR and RTS control set to "disable"
// by clearing bits 4-5 of each of the flag word's two low bytes.  On a COM
// port, the flags that decide whether data is dropped, altered or held back
// are put in a fixed state as well: binary mode on; XON/XOFF, NUL
// discarding, the error character, DSR sensitivity, abort-on-error and the
// CTS and DSR output handshake off.  Every other field and flag keeps the
// value the port reported; the USB device's request is the line fields alone.
void ChangeLineFields(DCB& dcb, const LineSettings& settings, bool comPort);

// Notes why an open was refused ("locked", "busy") for PortRefusal, or
// clears it.
void NotePortRefusal(const char* path, const char* why);
void ClearPortRefusal();
// The system's text for an error code, without its closing period; empty
// when it has none.
std::string SystemMessage(DWORD error);
// Notes any reason an open failed, as PortRefusal gives it.
void NoteRefusalText(const std::string& text);

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
// same PLC.  kNoLink when none is there or it cannot be opened.
LinkHandle OpenPlcUsbAt(const char* location);

// Whether a device interface path is the PLC's (vendor 4b2c, product 0001),
// in whichever case the system wrote it.
bool IsPlcPath(const char* path);

}  // namespace plc
