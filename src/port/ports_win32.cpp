// COM ports on Windows: the link over a file handle, the COM open and the
// list of present ports.
#include "port/ports_win32.h"

#include <cstring>

#include "port/friendly_name.h"
#include "port/owners_win32.h"

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
void NoteOpenFailure(const char* path) {
  const DWORD error = GetLastError();
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    NotePortRefusal(path, "busy");
    return;
  }
  const std::string text = SystemMessage(error);
  NoteRefusalText(std::string(path) + ": " + (text.empty() ? "cannot be opened" : text));
}

}  // namespace

LinkHandle OpenComPort(const char* nameOrPath) {
  ClearPortRefusal();
  // Through the device namespace: a plain "COM10" and above cannot be opened.
  char path[MAX_PATH];
  if (!ComDevicePath(nameOrPath, path, sizeof path)) return kNoLink;
  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) NoteOpenFailure(nameOrPath);
  return LinkFromHandle(handle, true);
}

LinkHandle OpenUsbPath(const char* path) {
  ClearPortRefusal();
  // The hold comes first: a second run must not reach the PLC at all.
  if (path == nullptr || !HoldForTheRun(path)) return kNoLink;
  HANDLE handle =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) NoteOpenFailure(path);
  return LinkFromHandle(handle, false);
}

namespace {

// Ports that Windows' serial drivers (and Wine) register by device name.
void ReadSerialCommPorts(PortList* out) {
  HKEY opened;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &opened) !=
      ERROR_SUCCESS) {
    return;
  }
  const RegistryKey owner(opened);
  const HKEY key = owner.get();
  for (DWORD index = 0;; ++index) {
    char valueName[256];
    DWORD valueNameSize = sizeof valueName;
    char data[kPortNameSize + 1];
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    std::memset(data, 0, sizeof data);
    LONG status = RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type,
                                reinterpret_cast<BYTE*>(data), &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    // A value that does not fit is passed over like an overlong cut.
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    data[sizeof data - 1] = '\0';
    AddPortName(out, data);
  }
}

}  // namespace

bool FindComPorts(PortList* out) {
  std::memset(out, 0, sizeof *out);
  const DeviceSet owner = OwnDeviceSet(
      SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
  if (owner == nullptr) return false;
  const HDEVINFO devices = owner.get();
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    char friendlyName[1024];
    std::memset(friendlyName, 0, sizeof friendlyName);
    // One byte short of the buffer so that the name always ends in a NUL.
    if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(friendlyName),
                                           sizeof friendlyName - 1, nullptr)) {
      continue;
    }
    char name[kPortNameSize];
    if (ComNameFromFriendlyName(friendlyName, name)) AddPortName(out, name);
  }
  // Wine, and some virtual-port drivers, register their ports only here,
  // also beside ordinary ports; a port found both ways is listed once.
  ReadSerialCommPorts(out);
  return true;
}

void ListComPorts(PortList* out) {
  if (out == nullptr) return;
  if (!FindComPorts(out)) out->count = 0;
}

}  // namespace plc
