#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"
#include "state/run.h"

namespace plc {

// Five wake-up frames and ten unexamined reads; no result, no counters.
void DummyComm(Run& run);
// 5 application mode, 6 boot mode, or a failure code 17..24.
ProtocolResult ConfirmComm(Run& run);

}  // namespace plc
