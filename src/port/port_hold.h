// The run-long holds, the part every platform shares: which run holds which
// key, and the words of a refusal.  Several runs may share the process (a
// thread each, several PLCs at once): a hold belongs to the thread of the
// run that took it, and a run's end lets go of its own holds only.
//
// What a key stands for and what holds it against other processes (a lock
// file, a named mutex) is the platform's: each one defines the three hooks
// below in its port_hold_<platform>.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/refusal.h"

namespace plc {

// One hold against other processes: the platform's handle of it and, where
// it has one, the file it names.
struct SystemHold {
  intptr_t native = -1;
  std::string place;
};

enum class Take { kTaken, kHeld, kFailed };

// Hook: takes the hold named key for the device at path against other
// processes.  kFailed with the reason in why.
Take TakeSystemHold(const std::string& key, const char* path, SystemHold* out, Refusal* why);
// Hook: lets go of a hold at the end of its run, or (beforeExit) removes
// what would outlive a process that is about to end, waiting for nothing.
void EndSystemHold(const SystemHold& hold, bool beforeExit);

// Holds key for the calling run: true when this run holds it already or it
// was taken now; false, with why, when another run of this process or
// another process holds it or the platform could not take it.
bool HoldKeyForTheRun(const std::string& key, const char* path, Refusal* why);

// The USB port of the PLC that the run found by searching: once its first
// open succeeded, every reopen of the run (after the replug) goes there and
// to no other PLC.  ReleaseRunHolds forgets it.  RunUsbPort is false while
// none is pinned.
void PinRunUsbPort(const char* usbPort);
bool RunUsbPort(char* out, size_t outSize);

// The run's holds undone for a process about to end in the middle of a run
// (EndSystemHold with beforeExit); waits for no lock.
void RemoveRunLockFilesBeforeExit();

}  // namespace plc
