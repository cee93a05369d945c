#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"
#include "state/run.h"

namespace plc {

// Five wake-up frames and ten unexamined reads; no result, no counters.
void DummyComm(Run& run);
// kResultAppMode, kResultBootMode, or the failure: a refusal,
// kResultUnknownError or kResultNoResponse.
[[nodiscard]] ProtocolResult ConfirmComm(Run& run);

}  // namespace plc
