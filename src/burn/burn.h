// The burn sequence: one firmware update from the size check to the last box.
#pragma once

#include <cstdint>

#include "burn/host.h"
#include "protocol/protocol_result.h"
#include "state/messages.h"
#include "state/run.h"

namespace plc {

// Runs one burn of run on the calling thread (the burn thread) and returns
// 0.  A call while the run is under way returns at once and changes nothing:
// the run is claimed atomically on entry (Run::Claim), so every front end
// gets the guard.  Runs of other Run objects go on beside it.
int StartBurn(Run& run, Host& host);

// Claims the run on the calling thread and runs it on a new detached thread.
// False when the run is already under way (or no thread could be started),
// in which case nothing changed.  run and host must outlive the run: keep
// them until run.BurnInProgress() turns false.
bool StartBurnThread(Run& run, Host& host);

// Messages for failure codes, chosen by the low four bits of the code:
// the probe (neither 5 nor 6), CheckID_A and SendErase_A.
const char* ProbeFailureMessage(ProtocolResult code);
const char* CheckIdFailureMessage(ProtocolResult code);
const char* EraseFailureMessage(ProtocolResult code);

}  // namespace plc
