// How one PLC's run ended, as the record, --json and the exit status tell
// it, and the exit status of a process that ran several PLCs.
#pragma once

#include <cstdint>

#include "port/refusal.h"
#include "state/messages.h"

namespace plc {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;  // the PLC's program was not touched
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 3;
inline constexpr int kExitErased = 4;  // failed after the erase: power-cycle, run again
inline constexpr int kExitBusy = 5;    // another run or program holds the PLC

// One PLC's end; a caller fills one per PLC.
struct PlcOutcome {
  Reason reason = Reason::kUnknown;
  bool erased = false;  // the erase/enter-boot command or ERASE was accepted
  // A transfer that stopped: the block that failed (from 1), the blocks
  // acknowledged before it and the blocks in all.
  bool transfer = false;
  uint32_t failedBlock = 0;
  uint32_t blocksAcknowledged = 0;
  uint32_t blocks = 0;
};

// An open was refused because another run or program holds the port (not a
// missing device or a refused permission).
bool OpenRefusedAsBusy(const Refusal& refusal);

// The exit status of one PLC's run.
int ExitStatusOf(const PlcOutcome& outcome);
// The status of a process from two of its PLCs' statuses: the worse one,
// in the order 2 (no run at all), 3, 4, 1, 5, 0; an unknown status counts
// as 1.
int WorseExitStatus(int a, int b);

}  // namespace plc
