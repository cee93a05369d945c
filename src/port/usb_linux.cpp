// The USB device search: the PLC's USB device (vendor 4b2c, product 0001)
// shows up as a tty (ttyACM* through cdc-acm, ttyUSB* through a USB serial
// driver) below one of its interfaces.  The device, interface and tty that
// come first in name order win, so that the same device wins every time
// while the bus stays as it is.  Every folder is read to its end: the
// devices folder lists every device and interface of every hub, and a cut
// after some entries in directory order would miss the PLC at random.
#include <dirent.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "port/link_posix.h"
#include "port/port_hold.h"
#include "port/sysfs_linux.h"

namespace plc {

namespace {

constexpr const char* kVendorId = "4b2c";
constexpr const char* kProductId = "0001";
// A folder entry's name and its NUL.
constexpr size_t kNameSize = sizeof(dirent::d_name);

// Calls visit(name) for every entry of a folder but the dot names, in
// directory order.
template <typename Visit>
void ForEachEntry(const char* dirPath, Visit visit) {
  DIR* dir = opendir(dirPath);
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') visit(entry->d_name);
  }
  closedir(dir);
}

// True when name comes before what first holds (or first is empty).
bool ComesFirst(const char* name, const char* first) {
  return first[0] == '\0' || std::strcmp(name, first) < 0;
}

void Keep(char* out, const char* name) {
  (void)std::snprintf(out, kNameSize, "%s", name);
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

// The first tty of one interface: the USB serial drivers put it in
// <interface>/ttyUSBn, cdc-acm in <interface>/tty/ttyACMn.
bool TtyOfInterface(const char* devicePath, const char* iface, char* tty) {
  tty[0] = '\0';
  char path[4096];
  for (const char* format : {"%s/%s", "%s/%s/tty"}) {
    if (!FormatPath(path, sizeof path, format, devicePath, iface)) continue;
    ForEachEntry(path, [&](const char* name) {
      if (IsTtyName(name) && ComesFirst(name, tty)) Keep(tty, name);
    });
    if (tty[0] != '\0') return true;
  }
  return false;
}

// The tty of the first interface of one USB device that has one.
bool TtyOfDevice(const char* devicePath, const char* deviceName, char* tty) {
  char firstIface[kNameSize] = {};
  size_t prefixLength = std::strlen(deviceName);
  ForEachEntry(devicePath, [&](const char* iface) {
    // Interfaces are named "<device>:<config>.<number>".
    if (std::strncmp(iface, deviceName, prefixLength) != 0 || iface[prefixLength] != ':') return;
    char found[kNameSize];
    if (!ComesFirst(iface, firstIface) || !TtyOfInterface(devicePath, iface, found)) return;
    Keep(firstIface, iface);
    Keep(tty, found);
  });
  return firstIface[0] != '\0';
}

bool IsThePlc(const char* devicePath) {
  char attribute[4096];
  return FormatPath(attribute, sizeof attribute, "%s/idVendor", devicePath) &&
         AttributeIs(attribute, kVendorId) &&
         FormatPath(attribute, sizeof attribute, "%s/idProduct", devicePath) &&
         AttributeIs(attribute, kProductId);
}

}  // namespace

bool FindUsbTtyIn(const char* sysRoot, char* path, size_t pathSize) {
  if (sysRoot == nullptr || path == nullptr || pathSize == 0) return false;
  path[0] = '\0';
  char devicesPath[4096];
  if (!FormatPath(devicesPath, sizeof devicesPath, "%s/bus/usb/devices", sysRoot)) return false;
  char firstDevice[kNameSize] = {};
  char tty[kNameSize] = {};
  ForEachEntry(devicesPath, [&](const char* name) {
    char devicePath[4096];
    char found[kNameSize];
    if (ComesFirst(name, firstDevice) &&
        FormatPath(devicePath, sizeof devicePath, "%s/%s", devicesPath, name) &&
        IsThePlc(devicePath) && TtyOfDevice(devicePath, name, found)) {
      Keep(firstDevice, name);
      Keep(tty, found);
    }
  });
  if (firstDevice[0] != '\0' && FormatPath(path, pathSize, "/dev/%s", tty)) return true;
  path[0] = '\0';
  return false;
}

bool FindUsbTtyAtIn(const char* sysRoot, const char* usbPort, char* path, size_t pathSize) {
  if (path == nullptr || pathSize == 0) return false;
  path[0] = '\0';
  if (sysRoot == nullptr || usbPort == nullptr || std::strncmp(usbPort, "usb-", 4) != 0) {
    return false;
  }
  const char* name = usbPort + 4;
  char devicePath[4096];
  char tty[kNameSize];
  if (name[0] == '\0' || std::strchr(name, '/') != nullptr ||
      !FormatPath(devicePath, sizeof devicePath, "%s/bus/usb/devices/%s", sysRoot, name) ||
      !IsThePlc(devicePath) || !TtyOfDevice(devicePath, name, tty)) {
    return false;
  }
  if (FormatPath(path, pathSize, "/dev/%s", tty)) return true;
  path[0] = '\0';
  return false;
}

// The first open of a run takes the first PLC that the search finds and pins
// its USB port; a reopen (after the replug) takes the PLC on that USB port
// or nothing, never another PLC that the search would list first.
OpenedLink OpenMyDevPipe(const char* pipeName) {
  // A tty has no pipes: only the device itself can be opened.
  if (pipeName != nullptr && pipeName[0] != '\0') return Refusal{RefusalKind::kMissing, ""};
  char pinned[kUsbPortPathSize] = {};
  const bool reopen = RunUsbPort(pinned, sizeof pinned);
  char found[300] = {};
  if (reopen ? !FindUsbTtyAtIn(portPlaces.sys, pinned, found, sizeof found)
             : !FindUsbTtyIn(portPlaces.sys, found, sizeof found)) {
    if (reopen) {
      return Refused(RefusalKind::kMissing, "the PLC is not back on its USB port (%s)", pinned + 4);
    }
    return Refused(RefusalKind::kNotFound, "no USB device 4b2c:0001 is connected");
  }
  char path[4096];
  if (!FormatPath(path, sizeof path, "%s%s", portPlaces.dev, found + 4)) {
    return Refusal{RefusalKind::kMissing, ""};
  }
  OpenedLink opened = OpenUsbPath(path);
  if (opened.link == kNoLink || reopen) return opened;
  char resolved[4096];
  char usbPort[kUsbPortPathSize];
  if (realpath(path, resolved) == nullptr ||
      !UsbPortOfTtyIn(portPlaces.sys, resolved, usbPort, sizeof usbPort)) {
    // The PLC's USB port unknown: a reopen could not be kept to it.
    return Refusal{RefusalKind::kFailed, ""};
  }
  PinRunUsbPort(usbPort);
  return opened;
}

void ListUsbTtysIn(const char* sysRoot, UsbPortList* out) {
  if (out == nullptr) return;
  std::memset(out, 0, sizeof *out);
  if (sysRoot == nullptr) return;
  char devicesPath[4096];
  if (!FormatPath(devicesPath, sizeof devicesPath, "%s/bus/usb/devices", sysRoot)) return;
  // Listed in device name order, the order in which the search picks.
  char devices[kMaxUsbPorts][kNameSize] = {};
  ForEachEntry(devicesPath, [&](const char* name) {
    char devicePath[4096];
    char tty[kNameSize];
    if (!FormatPath(devicePath, sizeof devicePath, "%s/%s", devicesPath, name) ||
        !IsThePlc(devicePath) || !TtyOfDevice(devicePath, name, tty)) {
      return;
    }
    int at = out->count;
    while (at > 0 && std::strcmp(name, devices[at - 1]) < 0) --at;
    if (at >= kMaxUsbPorts) return;
    const int last = out->count < kMaxUsbPorts ? out->count : kMaxUsbPorts - 1;
    for (int i = last; i > at; --i) {
      std::memcpy(devices[i], devices[i - 1], kNameSize);
      std::memcpy(out->nodes[i], out->nodes[i - 1], kUsbPortPathSize);
    }
    Keep(devices[at], name);
    if (!FormatPath(out->nodes[at], kUsbPortPathSize, "/dev/%s", tty)) out->nodes[at][0] = '\0';
    if (out->count < kMaxUsbPorts) ++out->count;
  });
}

}  // namespace plc
