// Holding a USB PLC for the whole run.  A COM port opens exclusively by
// itself.  Every USB open (the search's device, a row of the window, a path
// given on the command line) takes the hold first.  The USB device's
// interface path stays the same when the PLC re-enumerates on the same USB
// port (its instance part is the serial number or the port's place on the
// bus), so a named mutex made from it keeps another run off the PLC while it
// is gone for the replug.
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

#include "port/port_hold.h"
#include "port/ports.h"

namespace plc {

Take TakeSystemHold(const std::string& key, const char*, SystemHold* out, Refusal*) {
  // Kept open until the run ends (ReleaseRunHolds).  Where no mutex can be
  // made at all the run goes ahead: the port's own sharing rules still hold.
  HANDLE hold = CreateMutexA(nullptr, FALSE, key.c_str());
  if (hold == nullptr) return Take::kTaken;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(hold);
    return Take::kHeld;
  }
  out->native = reinterpret_cast<intptr_t>(hold);
  return Take::kTaken;
}

void EndSystemHold(const SystemHold& hold, bool beforeExit) {
  // A named mutex ends with the process that holds it.
  if (beforeExit || hold.native == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(hold.native));
}

bool HoldForTheRun(const char* devicePath, Refusal* why) {
  // The device's path is opened with a backslash after it (the empty pipe
  // name) or without: one PLC, one key.
  std::string path(devicePath);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  // Object names take no backslash, and the path's case may differ.
  char key[kUsbPortPathSize] = "Local\\plcfw-";
  size_t at = std::strlen(key);
  for (const char* c = path.c_str(); *c != '\0' && at + 1 < sizeof key; ++c) {
    const auto u = static_cast<unsigned char>(*c);
    key[at++] = std::isalnum(u) != 0 ? static_cast<char>(std::tolower(u)) : '_';
  }
  key[at] = '\0';
  return HoldKeyForTheRun(key, path.c_str(), why);
}

}  // namespace plc
