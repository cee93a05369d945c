// Holding a USB PLC for the whole run.  A COM port opens exclusively by
// itself.  The USB device's interface path stays the same when the PLC
// re-enumerates on the same USB port (its instance part is the serial
// number or the port's place on the bus), so a named mutex made from it
// keeps another run off the PLC while it is gone for the replug.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "port/ports.h"

namespace plc {

namespace {

thread_local char refusal[512];

constexpr int kMaxRunHolds = 8;
char heldKeys[kMaxRunHolds][kUsbPortPathSize];
int heldCount = 0;

}  // namespace

const char* PortRefusal() {
  return refusal;
}

bool HoldForTheRun(const char* devicePath) {
  refusal[0] = '\0';
  // Object names take no backslash, and the path's case may differ.
  char key[kUsbPortPathSize] = "Local\\plcfw-";
  size_t at = std::strlen(key);
  for (const char* c = devicePath; *c != '\0' && at + 1 < sizeof key; ++c) {
    const auto u = static_cast<unsigned char>(*c);
    key[at++] = std::isalnum(u) != 0 ? static_cast<char>(std::tolower(u)) : '_';
  }
  key[at] = '\0';
  for (int i = 0; i < heldCount; ++i) {
    if (std::strcmp(heldKeys[i], key) == 0) return true;
  }
  if (heldCount == kMaxRunHolds) return true;
  // Kept open until the process ends.
  HANDLE hold = CreateMutexA(nullptr, FALSE, key);
  if (hold == nullptr) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(hold);
    (void)std::snprintf(refusal, sizeof refusal, "%s is in use by another program (locked)",
                        devicePath);
    return false;
  }
  (void)std::snprintf(heldKeys[heldCount++], kUsbPortPathSize, "%s", key);
  return true;
}

}  // namespace plc
