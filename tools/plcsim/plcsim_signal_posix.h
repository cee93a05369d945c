// An interrupt at a known point of the transfer, for the tests of what the
// tool sends after one: at block frame N the PLC signals the tool and holds
// its reply until the tool has taken the signal.
#pragma once

#include <cstdint>

namespace plc {

struct SimSignalPlan {
  uint32_t atFrame = 0;  // 0: never
  int signo = 0;
  const char* pidFile = nullptr;  // the tool's process id, written by the test
  bool sent = false;
  uint32_t framesAtSignal = 0;
};

// "N:SIG" (SIG one of INT, TERM, HUP, QUIT); false when it does not parse.
bool ParseSignalPlan(const char* text, SimSignalPlan* plan);
// Sends the signal once frames has reached the plan's frame, and waits (at
// most 5 s) until the tool's process no longer has it pending, so that a
// reply sent after this returns reaches a tool that has taken the signal.
void SignalWhenDue(SimSignalPlan& plan, uint32_t frames);

}  // namespace plc
