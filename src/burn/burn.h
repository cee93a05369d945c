// The burn sequence: one firmware update from the size check to the last box.
#pragma once

#include <cstdint>

#include "burn/host.h"
#include "protocol/protocol_result.h"
#include "state/messages.h"
#include "state/run.h"

namespace plc {

// Runs one burn of run on the calling thread (the burn thread); how it ended
// the host heard.  A call while the run is under way returns at once and
// changes nothing:
// the run is claimed atomically on entry (Run::Claim), so every front end
// gets the guard.  Runs of other Run objects go on beside it.
void StartBurn(Run& run, Host& host);

// Claims the run on the calling thread and runs it on a new detached thread.
// False when the run is already under way (or no thread could be started),
// in which case nothing changed.  run and host must outlive the run: keep
// them until run.BurnInProgress() turns false.
[[nodiscard]] bool StartBurnThread(Run& run, Host& host);

// Messages for failure codes, chosen by ResultChoiceOf(code): the probe's
// (neither kResultAppMode nor kResultBootMode), CheckID_A's and SendErase_A's.
const char* ProbeFailureMessage(ProtocolResult code);
const char* CheckIdFailureMessage(ProtocolResult code);
const char* EraseFailureMessage(ProtocolResult code);

}  // namespace plc
