// The PLC's USB device: found by its interface path and opened as a file.
#include <cstddef>
#include <cstring>

#include "port/ports_win32.h"

// GUID_DEVINTERFACE_USB_DEVICE.
const GUID USB_DRIVER_GUID = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

namespace {
const char kDeviceMatch[] = "vid_4b2c&pid_0001";
}  // namespace

HANDLE OpenOneDevice(HDEVINFO deviceSet, PSP_DEVICE_INTERFACE_DATA interfaceData,
                     char* devicePath) {
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(deviceSet, interfaceData, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return INVALID_HANDLE_VALUE;
  HANDLE heap = GetProcessHeap();
  auto* detail =
      static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(HeapAlloc(heap, HEAP_ZERO_MEMORY, required));
  if (detail == nullptr) return INVALID_HANDLE_VALUE;
  // The fixed part's own size, which differs between 32- and 64-bit builds.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  HANDLE result = INVALID_HANDLE_VALUE;
  if (SetupDiGetDeviceInterfaceDetailA(deviceSet, interfaceData, detail, required, nullptr,
                                       nullptr)) {
    size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    size_t length = strnlen(detail->DevicePath, room);
    // The path, one backslash and the NUL must fit the caller's buffer.
    if (length < room && length + 2 <= static_cast<size_t>(kDevicePathSize)) {
      std::memcpy(devicePath, detail->DevicePath, length);
      devicePath[length] = '\0';
      if (std::strstr(devicePath, kDeviceMatch) != nullptr) {
        result =
            CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
      }
    }
  }
  HeapFree(heap, 0, detail);
  return result;
}

HANDLE OpenUsbDevice(const GUID* interfaceClass, char* devicePath) {
  HDEVINFO deviceSet =
      SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (deviceSet == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  SP_DEVICE_INTERFACE_DATA interfaceData;
  interfaceData.cbSize = sizeof interfaceData;
  HANDLE result = INVALID_HANDLE_VALUE;
  for (DWORD index = 0; index < 0x7FFFFFFF; ++index) {
    if (SetupDiEnumDeviceInterfaces(deviceSet, nullptr, interfaceClass, index, &interfaceData)) {
      result = OpenOneDevice(deviceSet, &interfaceData, devicePath);
      if (result != INVALID_HANDLE_VALUE) break;
    } else if (GetLastError() == ERROR_NO_MORE_ITEMS) {
      break;
    }
  }
  SetupDiDestroyDeviceInfoList(deviceSet);
  return result;
}

int GetUsbDeviceFileName(const GUID* interfaceClass, char* devicePath) {
  HANDLE device = OpenUsbDevice(interfaceClass, devicePath);
  if (device == INVALID_HANDLE_VALUE) return 0;
  // Opened only to prove that it can be.
  CloseHandle(device);
  return 1;
}

LinkHandle OpenMyDevPipe(const char* pipeName) {
  char devicePath[kDevicePathSize];
  std::memset(devicePath, 0, sizeof devicePath);
  if (GetUsbDeviceFileName(&USB_DRIVER_GUID, devicePath) == 0 || !HoldForTheRun(devicePath))
    return kNoLink;
  if (pipeName == nullptr) pipeName = "";
  size_t length = std::strlen(devicePath);
  size_t pipeLength = std::strlen(pipeName);
  if (length + 1 + pipeLength + 1 > sizeof devicePath) return kNoLink;
  devicePath[length] = '\\';
  std::memcpy(devicePath + length + 1, pipeName, pipeLength + 1);
  return OpenUsbPath(devicePath);
}
