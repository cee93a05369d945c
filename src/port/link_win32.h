// The Win32 link: a COM port or the USB device over a file handle.
#pragma once

#include <windows.h>

#include <string>

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

// The system's text for an error code, without its closing period; empty
// when it has none.
std::string SystemMessage(DWORD error);

}  // namespace plc
