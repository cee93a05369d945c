// The burn sequence: one firmware update from the size check to the last box.
#pragma once

#include <cstdint>

#include "burn/host.h"
#include "protocol/protocol_result.h"
#include "state/messages.h"

namespace plc {

// Runs one burn on the calling thread (the burn thread) and returns 0.  A
// call while another run is under way returns at once and changes nothing:
// the run is claimed atomically on entry, so every front end gets the guard.
int StartBurn(Host& host);

// True from the moment a run has been claimed until its finish (after the
// image is released).  Front ends may poll it to learn that a run ended.
bool BurnInProgress();

// Claims the run on the calling thread and runs it on a new detached thread.
// False when a run is already under way (or no thread could be started), in
// which case nothing changed.  host must outlive the run: keep it until
// BurnInProgress() turns false.
bool StartBurnThread(Host& host);

// Messages for failure codes, chosen by the low four bits of the code:
// the probe (neither 5 nor 6), CheckID_A and SendErase_A.
const char* ProbeFailureMessage(ProtocolResult code);
const char* CheckIdFailureMessage(ProtocolResult code);
const char* EraseFailureMessage(ProtocolResult code);

}  // namespace plc
