// The Win32 link: a COM port or the USB device over a file handle, and their
// opens.
#include "port/link_win32.h"

#include <cstring>

#include "port/friendly_name.h"

namespace plc {

static_assert(sizeof(DCB) == 28, "DCB layout: the flag word follows DCBlength and BaudRate");

uint32_t Win32Link::Write(const uint8_t* data, uint32_t count) {
  DWORD written = 0;
  if (!WriteFile(handle_, data, count, &written, nullptr)) return 0;
  return written <= count ? written : count;
}

uint32_t Win32Link::Read(uint8_t* buffer, uint32_t count) {
  DWORD got = 0;
  if (!ReadFile(handle_, buffer, count, &got, nullptr)) return got <= count ? got : 0;
  return got <= count ? got : count;
}

void ChangeLineFields(DCB& dcb, const LineSettings& settings, bool comPort) {
  dcb.BaudRate = settings.baudRate;
  dcb.ByteSize = settings.byteSize;
  dcb.Parity = settings.parity;
  dcb.StopBits = settings.stopBits;
  // fDtrControl is bits 4-5 of the first flag byte and fRtsControl bits 4-5
  // of the second; 0 in both is "disable".  The bytes are masked rather than
  // the bit-fields assigned so that no neighbouring flag can be touched.
  unsigned char* flags = reinterpret_cast<unsigned char*>(&dcb) + 2 * sizeof(DWORD);
  flags[0] = static_cast<unsigned char>(flags[0] & 0xCF);
  flags[1] = static_cast<unsigned char>(flags[1] & 0xCF);
  if (!comPort) return;
  // A port keeps these from the last program that used it.  Left on, they
  // drop or hold back protocol bytes: XON/XOFF swallows the 0x11 and 0x13 of
  // a binary reply (an LP4's boot ID is 0x0013), fNull and fErrorChar drop or
  // replace bytes, DSR sensitivity and the CTS/DSR handshake wait on lines
  // that nobody drives once DTR and RTS are off, and abort-on-error stalls
  // every call after a framing error.
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
}

void Win32Link::ApplyLineSettings(const LineSettings& settings) {
  // Read, change, write; a port that refuses a value keeps its own (a
  // pseudo-terminal behind Wine stays 8N1) and the exchange goes ahead.
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  GetCommState(handle_, &dcb);
  ChangeLineFields(dcb, settings, comPort_);
  SetCommState(handle_, &dcb);
}

void Win32Link::ApplyTimeouts(const Timeouts& timeouts) {
  COMMTIMEOUTS record;
  record.ReadIntervalTimeout = timeouts.readIntervalTimeout;
  record.ReadTotalTimeoutMultiplier = timeouts.readTotalTimeoutMultiplier;
  record.ReadTotalTimeoutConstant = timeouts.readTotalTimeoutConstant;
  record.WriteTotalTimeoutMultiplier = timeouts.writeTotalTimeoutMultiplier;
  record.WriteTotalTimeoutConstant = timeouts.writeTotalTimeoutConstant;
  SetCommTimeouts(handle_, &record);
}

LinkHandle LinkFromHandle(HANDLE handle, bool comPort) {
  if (handle == INVALID_HANDLE_VALUE) return kNoLink;
  return LinkHandle(new Win32Link(handle, comPort));
}

std::string SystemMessage(DWORD error) {
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.'))
    text[--n] = '\0';
  return std::string(text, n);
}

namespace {

// Why the open failed: another program has the port open (Windows refuses
// the open then), or the system's own words.
Refusal OpenFailure(const char* path) {
  const DWORD error = GetLastError();
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    return InUseRefusal(path, "busy");
  }
  const RefusalKind kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                               ? RefusalKind::kMissing
                               : RefusalKind::kFailed;
  const std::string text = SystemMessage(error);
  return {kind, std::string(path) + ": " + (text.empty() ? "cannot be opened" : text)};
}

}  // namespace

OpenedLink OpenComPort(const char* nameOrPath) {
  // Through the device namespace: a plain "COM10" and above cannot be opened.
  char path[MAX_PATH];
  if (!ComDevicePath(nameOrPath, path, sizeof path)) return Refusal{RefusalKind::kMissing, ""};
  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return OpenFailure(nameOrPath);
  return OpenedLink(LinkFromHandle(handle, true));
}

OpenedLink OpenUsbPath(const char* path) {
  if (path == nullptr) return Refusal{RefusalKind::kMissing, ""};
  // The hold comes first: a second run must not reach the PLC at all.
  Refusal why;
  if (!HoldForTheRun(path, &why)) return why;
  HANDLE handle =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return OpenFailure(path);
  return OpenedLink(LinkFromHandle(handle, false));
}

}  // namespace plc
