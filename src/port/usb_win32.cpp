// The PLC's USB device: found by its interface path and opened as a file.
#include <cctype>
#include <cstddef>
#include <cstring>

#include "port/owners_win32.h"
#include "port/ports_win32.h"

namespace plc {

// GUID_DEVINTERFACE_USB_DEVICE.
const GUID USB_DRIVER_GUID = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

namespace {

const char kDeviceMatch[] = "vid_4b2c&pid_0001";

// Fetches one interface's path into devicePath (kDevicePathSize bytes) and,
// when device is given, the device that exposes it.  False when the path
// cannot be had or, with a backslash, does not fit.
bool InterfacePath(HDEVINFO deviceSet, PSP_DEVICE_INTERFACE_DATA interfaceData, char* devicePath,
                   PSP_DEVINFO_DATA device) {
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(deviceSet, interfaceData, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
  const HeapBlock<SP_DEVICE_INTERFACE_DETAIL_DATA_A> detail(
      static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(
          HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, required)));
  if (detail == nullptr) return false;
  // The fixed part's own size, which differs between 32- and 64-bit builds.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!SetupDiGetDeviceInterfaceDetailA(deviceSet, interfaceData, detail.get(), required, nullptr,
                                        device)) {
    return false;
  }
  const size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  const size_t length = strnlen(detail->DevicePath, room);
  // The path, one backslash and the NUL must fit the caller's buffer.
  if (length >= room || length + 2 > static_cast<size_t>(kDevicePathSize)) return false;
  std::memcpy(devicePath, detail->DevicePath, length);
  devicePath[length] = '\0';
  return true;
}

HANDLE OpenShared(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// Calls visit(deviceSet, path, device) for every present interface of the
// class, in enumeration order (the lowest index first), until it returns
// true.  An interface whose path cannot be had is passed over.
template <typename Visit>
void WalkInterfaces(const GUID* interfaceClass, Visit visit) {
  const DeviceSet owner = OwnDeviceSet(SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr,
                                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (owner == nullptr) return;
  const HDEVINFO deviceSet = owner.get();
  SP_DEVICE_INTERFACE_DATA interfaceData;
  interfaceData.cbSize = sizeof interfaceData;
  for (DWORD index = 0; index < 0x7FFFFFFF; ++index) {
    if (!SetupDiEnumDeviceInterfaces(deviceSet, nullptr, interfaceClass, index, &interfaceData)) {
      if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
      continue;  // that index is skipped
    }
    char path[kDevicePathSize] = {};
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    if (InterfacePath(deviceSet, &interfaceData, path, &device) && visit(deviceSet, path, &device))
      break;
  }
}

void DeviceLocation(HDEVINFO deviceSet, PSP_DEVINFO_DATA device, char (&out)[kUsbLocationSize]) {
  std::memset(out, 0, sizeof out);
  // One byte short of the buffer so that the text always ends in a NUL.
  if (!SetupDiGetDeviceRegistryPropertyA(deviceSet, device, SPDRP_LOCATION_INFORMATION, nullptr,
                                         reinterpret_cast<BYTE*>(out), sizeof out - 1, nullptr)) {
    out[0] = '\0';
  }
}

}  // namespace

// Windows writes the interface path's hardware part in either case
// ("USB#VID_4B2C&PID_0001" on some systems, lower case on others).
bool IsPlcPath(const char* path) {
  if (path == nullptr) return false;
  const size_t want = sizeof kDeviceMatch - 1;
  for (const char* at = path; *at != '\0'; ++at) {
    size_t i = 0;
    while (i < want && at[i] != '\0' &&
           std::tolower(static_cast<unsigned char>(at[i])) == kDeviceMatch[i]) {
      ++i;
    }
    if (i == want) return true;
  }
  return false;
}

HANDLE OpenUsbDevice(const GUID* interfaceClass, char* devicePath) {
  HANDLE result = INVALID_HANDLE_VALUE;
  WalkInterfaces(interfaceClass, [&](HDEVINFO, const char* path, PSP_DEVINFO_DATA) {
    // The buffer holds the last path examined, matching or not.
    std::memcpy(devicePath, path, kDevicePathSize);
    if (IsPlcPath(path)) result = OpenShared(path);
    return result != INVALID_HANDLE_VALUE;
  });
  return result;
}

int GetUsbDeviceFileName(const GUID* interfaceClass, char* devicePath) {
  // Opened only to prove that it can be, and closed again at once.
  return OwnFile(OpenUsbDevice(interfaceClass, devicePath)) != nullptr ? 1 : 0;
}

OpenedLink OpenMyDevPipe(const char* pipeName) {
  char devicePath[kDevicePathSize];
  std::memset(devicePath, 0, sizeof devicePath);
  if (GetUsbDeviceFileName(&USB_DRIVER_GUID, devicePath) == 0) {
    return Refusal{RefusalKind::kNotFound, "no USB device 4b2c:0001 is connected"};
  }
  if (pipeName == nullptr) pipeName = "";
  size_t length = std::strlen(devicePath);
  size_t pipeLength = std::strlen(pipeName);
  if (length + 1 + pipeLength + 1 > sizeof devicePath) return Refusal{RefusalKind::kMissing, ""};
  devicePath[length] = '\\';
  std::memcpy(devicePath + length + 1, pipeName, pipeLength + 1);
  return OpenUsbPath(devicePath);
}

int FindPlcUsbDevices(PlcUsbDevice* out, int most) {
  int count = 0;
  auto take = [&](HDEVINFO deviceSet, const char* path, PSP_DEVINFO_DATA device) {
    if (!IsPlcPath(path)) return false;
    if (count >= most) return true;
    PlcUsbDevice& found = out[count++];
    std::memcpy(found.path, path, sizeof found.path);
    DeviceLocation(deviceSet, device, found.location);
    return false;
  };
  WalkInterfaces(&USB_DRIVER_GUID, take);
  return count;
}

OpenedLink OpenPlcUsbAt(const char* location) {
  char devicePath[kDevicePathSize] = {};
  auto pick = [&](HDEVINFO deviceSet, const char* path, PSP_DEVINFO_DATA device) {
    if (!IsPlcPath(path)) return false;
    char where[kUsbLocationSize];
    DeviceLocation(deviceSet, device, where);
    if (std::strcmp(where, location) != 0) return false;
    std::memcpy(devicePath, path, sizeof devicePath);
    return true;
  };
  WalkInterfaces(&USB_DRIVER_GUID, pick);
  const size_t length = std::strlen(devicePath);
  if (length == 0) return Refusal{RefusalKind::kMissing, ""};
  // As OpenMyDevPipe with the empty pipe name: the path and one backslash.
  devicePath[length] = '\\';
  return OpenUsbPath(devicePath);
}

}  // namespace plc
