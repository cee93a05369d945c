// Holding a USB PLC for the whole run.  A COM port opens exclusively by
// itself.  Every USB open (the search's device, a row of the window, a path
// given on the command line) takes the hold first.  The USB device's
// interface path stays the same when the PLC re-enumerates on the same USB
// port (its instance part is the serial number or the port's place on the
// bus), so a named mutex made from it keeps another run off the PLC while it
// is gone for the replug.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "port/ports.h"
#include "port/ports_win32.h"

namespace plc {

namespace {

thread_local std::string refusal;

// The run-long holds this process has taken, until the run ends.
// A hold belongs to the thread of the run that took it: several runs may
// share the process (several PLCs at once), and a run's end lets go of its
// own holds only.
struct RunHold {
  std::string key;
  HANDLE mutex;
  std::thread::id owner;
};
std::mutex holdsMutex;
std::vector<RunHold> runHolds;

}  // namespace

const char* PortRefusal() {
  return refusal.c_str();
}

void NotePortRefusal(const char* path, const char* why) {
  refusal = std::string(path) + " is in use by another program (" + why + ")";
}

void NoteRefusalText(const std::string& text) {
  refusal = text;
}

void ClearPortRefusal() {
  refusal.clear();
}

bool HoldForTheRun(const char* devicePath) {
  ClearPortRefusal();
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
  const std::lock_guard<std::mutex> lock(holdsMutex);
  for (const RunHold& hold : runHolds) {
    if (hold.key != key) continue;
    if (hold.owner == std::this_thread::get_id()) return true;
    // Another run of this process has the PLC (named twice, by two names).
    NotePortRefusal(path.c_str(), "locked");
    return false;
  }
  // Kept open until the run ends (ReleaseRunHolds).
  HANDLE hold = CreateMutexA(nullptr, FALSE, key);
  if (hold == nullptr) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(hold);
    NotePortRefusal(path.c_str(), "locked");
    return false;
  }
  runHolds.push_back({key, hold, std::this_thread::get_id()});
  return true;
}

void ReleaseRunHolds() {
  const std::lock_guard<std::mutex> lock(holdsMutex);
  const std::thread::id me = std::this_thread::get_id();
  for (const RunHold& hold : runHolds) {
    if (hold.owner == me) CloseHandle(hold.mutex);
  }
  runHolds.erase(std::remove_if(runHolds.begin(), runHolds.end(),
                                [me](const RunHold& hold) { return hold.owner == me; }),
                 runHolds.end());
}

}  // namespace plc
