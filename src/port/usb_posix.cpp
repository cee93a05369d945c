// The USB device search: the PLC's USB device (vendor 4b2c, product 0001)
// shows up as a tty (ttyACM* through cdc-acm, ttyUSB* through a USB serial
// driver) below one of its interfaces.  The devices are walked in name order
// so that the same device wins every time while the bus stays as it is.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "port/link_posix.h"

namespace {

constexpr const char* kVendorId = "4b2c";
constexpr const char* kProductId = "0001";
constexpr int kMaxEntries = 256;
constexpr int kEntrySize = 256;

struct NameList {
  int count;
  char names[kMaxEntries][kEntrySize];
};

int CompareNames(const void* a, const void* b) {
  return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

// The entries of a folder in text order; entries whose names do not fit,
// or past kMaxEntries, are not seen.
void SortedEntries(const char* dirPath, NameList* out) {
  out->count = 0;
  DIR* dir = opendir(dirPath);
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    size_t length = std::strlen(entry->d_name);
    if (length >= kEntrySize || out->count >= kMaxEntries) continue;
    std::memcpy(out->names[out->count++], entry->d_name, length + 1);
  }
  closedir(dir);
  std::qsort(out->names, static_cast<size_t>(out->count), kEntrySize, CompareNames);
}

bool AttributeIs(const char* path, const char* expected) {
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  char text[16] = {};
  size_t n = std::fread(text, 1, sizeof text - 1, f);
  (void)std::fclose(f);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
  return std::strcmp(text, expected) == 0;
}

bool IsTtyName(const char* name) {
  return std::strncmp(name, "ttyACM", 6) == 0 || std::strncmp(name, "ttyUSB", 6) == 0;
}

// The first tty below the interfaces of one USB device.  cdc-acm puts it in
// <interface>/tty/ttyACMn, the USB serial drivers in <interface>/ttyUSBn.
bool FindTtyOfDevice(const char* devicePath, const char* deviceName, NameList& interfaces,
                     NameList& inner, char* tty, size_t ttySize) {
  SortedEntries(devicePath, &interfaces);
  size_t prefixLength = std::strlen(deviceName);
  for (int i = 0; i < interfaces.count; ++i) {
    const char* iface = interfaces.names[i];
    // Interfaces are named "<device>:<config>.<number>".
    if (std::strncmp(iface, deviceName, prefixLength) != 0 || iface[prefixLength] != ':') continue;
    char path[4096];
    for (int level = 0; level < 2; ++level) {
      if (!FormatPath(path, sizeof path, level == 0 ? "%s/%s" : "%s/%s/tty", devicePath, iface)) {
        continue;
      }
      SortedEntries(path, &inner);
      for (int j = 0; j < inner.count; ++j) {
        if (!IsTtyName(inner.names[j])) continue;
        if (FormatPath(tty, ttySize, "/dev/%s", inner.names[j])) return true;
      }
    }
  }
  return false;
}

struct SearchLists {
  NameList devices;
  NameList interfaces;
  NameList inner;
};

bool FindIn(const char* sysRoot, SearchLists& lists, char* path, size_t pathSize);

}  // namespace

bool FindUsbTtyIn(const char* sysRoot, char* path, size_t pathSize) {
  if (sysRoot == nullptr || path == nullptr || pathSize == 0) return false;
  path[0] = '\0';
  // The one heap block of the search: the folder lists are too large for a
  // thread's stack.
  auto* lists = new (std::nothrow) SearchLists;
  if (lists == nullptr) return false;
  bool found = FindIn(sysRoot, *lists, path, pathSize);
  delete lists;
  if (!found) path[0] = '\0';
  return found;
}

namespace {

bool FindIn(const char* sysRoot, SearchLists& lists, char* path, size_t pathSize) {
  NameList& devices = lists.devices;
  char devicesPath[4096];
  if (!FormatPath(devicesPath, sizeof devicesPath, "%s/bus/usb/devices", sysRoot)) return false;
  SortedEntries(devicesPath, &devices);
  for (int i = 0; i < devices.count; ++i) {
    const char* name = devices.names[i];
    char devicePath[4096];
    char attribute[4096];
    if (!FormatPath(devicePath, sizeof devicePath, "%s/%s", devicesPath, name)) continue;
    if (!FormatPath(attribute, sizeof attribute, "%s/idVendor", devicePath) ||
        !AttributeIs(attribute, kVendorId)) {
      continue;
    }
    if (!FormatPath(attribute, sizeof attribute, "%s/idProduct", devicePath) ||
        !AttributeIs(attribute, kProductId)) {
      continue;
    }
    if (FindTtyOfDevice(devicePath, name, lists.interfaces, lists.inner, path, pathSize)) {
      return true;
    }
  }
  return false;
}

}  // namespace

LinkHandle OpenMyDevPipe(const char* pipeName) {
  // A tty has no pipes: only the device itself can be opened.
  if (pipeName != nullptr && pipeName[0] != '\0') return kNoLink;
  char path[300] = {};
  if (!FindUsbTtyIn("/sys", path, sizeof path)) return kNoLink;
  return OpenUsbPath(path);
}

void ListUsbTtysIn(const char* sysRoot, UsbPortList* out) {
  if (out == nullptr) return;
  std::memset(out, 0, sizeof *out);
  if (sysRoot == nullptr) return;
  char devicesPath[4096];
  if (!FormatPath(devicesPath, sizeof devicesPath, "%s/bus/usb/devices", sysRoot)) return;
  auto* lists = new (std::nothrow) SearchLists;
  if (lists == nullptr) return;
  SortedEntries(devicesPath, &lists->devices);
  for (int i = 0; i < lists->devices.count && out->count < kMaxUsbPorts; ++i) {
    const char* name = lists->devices.names[i];
    char devicePath[4096];
    char attribute[4096];
    if (!FormatPath(devicePath, sizeof devicePath, "%s/%s", devicesPath, name) ||
        !FormatPath(attribute, sizeof attribute, "%s/idVendor", devicePath) ||
        !AttributeIs(attribute, kVendorId) ||
        !FormatPath(attribute, sizeof attribute, "%s/idProduct", devicePath) ||
        !AttributeIs(attribute, kProductId)) {
      continue;
    }
    char* node = out->nodes[out->count];
    if (FindTtyOfDevice(devicePath, name, lists->interfaces, lists->inner, node,
                        kUsbPortPathSize)) {
      ++out->count;
    } else {
      node[0] = '\0';
    }
  }
  delete lists;
}
