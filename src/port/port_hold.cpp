#include "port/port_hold.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "port/ports.h"

namespace plc {

namespace {

struct RunHold {
  std::string key;
  SystemHold system;
  std::thread::id owner;
};
std::mutex holdsMutex;
std::vector<RunHold> runHolds;
// The USB port of the PLC that each run found by searching ("usb-1-1.2"):
// the reopen after the replug looks there and nowhere else.
struct PinnedPort {
  std::thread::id owner;
  std::string usbPort;
};
std::vector<PinnedPort> runUsbPorts;

}  // namespace

bool HoldKeyForTheRun(const std::string& key, const char* path, Refusal* why) {
  const std::lock_guard<std::mutex> lock(holdsMutex);
  for (const RunHold& hold : runHolds) {
    if (hold.key != key) continue;
    if (hold.owner == std::this_thread::get_id()) return true;
    // Another run of this process has the PLC (named twice, by two names).
    *why = InUseRefusal(path, "locked");
    return false;
  }
  SystemHold system;
  switch (TakeSystemHold(key, path, &system, why)) {
    case Take::kTaken:
      runHolds.push_back({key, system, std::this_thread::get_id()});
      return true;
    case Take::kHeld:
      *why = InUseRefusal(path, "locked");
      return false;
    case Take::kFailed:
      break;
  }
  return false;
}

void ReleaseRunHolds() {
  const std::lock_guard<std::mutex> lock(holdsMutex);
  const std::thread::id me = std::this_thread::get_id();
  for (const RunHold& hold : runHolds) {
    if (hold.owner == me) EndSystemHold(hold.system, false);
  }
  runHolds.erase(std::remove_if(runHolds.begin(), runHolds.end(),
                                [me](const RunHold& hold) { return hold.owner == me; }),
                 runHolds.end());
  runUsbPorts.erase(std::remove_if(runUsbPorts.begin(), runUsbPorts.end(),
                                   [me](const PinnedPort& pin) { return pin.owner == me; }),
                    runUsbPorts.end());
}

void RemoveRunLockFilesBeforeExit() {
  // The run's thread may be inside HoldForTheRun: then its files are left.
  if (!holdsMutex.try_lock()) return;
  for (const RunHold& hold : runHolds) EndSystemHold(hold.system, true);
  holdsMutex.unlock();
}

void PinRunUsbPort(const char* usbPort) {
  const std::lock_guard<std::mutex> lock(holdsMutex);
  for (PinnedPort& pin : runUsbPorts) {
    if (pin.owner == std::this_thread::get_id()) {
      pin.usbPort = usbPort;
      return;
    }
  }
  runUsbPorts.push_back({std::this_thread::get_id(), usbPort});
}

bool RunUsbPort(char* out, size_t outSize) {
  const std::lock_guard<std::mutex> lock(holdsMutex);
  for (const PinnedPort& pin : runUsbPorts) {
    if (pin.owner != std::this_thread::get_id()) continue;
    if (pin.usbPort.empty() || outSize == 0) return false;
    const int n = std::snprintf(out, outSize, "%s", pin.usbPort.c_str());
    return n >= 0 && static_cast<size_t>(n) < outSize;
  }
  return false;
}

}  // namespace plc
