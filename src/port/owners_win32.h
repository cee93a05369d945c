// Owners of the Win32 handles the port layer holds for a moment: each one
// closes its handle once, on every way out of the scope that opened it.
#pragma once

#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>

#include <memory>
#include <type_traits>

namespace plc {

struct DeviceSetCloser {
  void operator()(void* set) const noexcept { SetupDiDestroyDeviceInfoList(set); }
};
// A SetupDi device set; empty when the set could not be had.
using DeviceSet = std::unique_ptr<void, DeviceSetCloser>;
inline DeviceSet OwnDeviceSet(HDEVINFO set) {
  return DeviceSet(set == INVALID_HANDLE_VALUE ? nullptr : set);
}

struct HeapBlockFreer {
  void operator()(void* block) const noexcept { HeapFree(GetProcessHeap(), 0, block); }
};
// A block of the process heap.
template <typename T>
using HeapBlock = std::unique_ptr<T, HeapBlockFreer>;

struct RegistryKeyCloser {
  void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
// An open registry key.
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;

struct FileHandleCloser {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
// An open file or device; empty for INVALID_HANDLE_VALUE.
using FileHandle = std::unique_ptr<void, FileHandleCloser>;
inline FileHandle OwnFile(HANDLE handle) {
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace plc
