#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"

// Five wake-up frames and ten unexamined reads; no result, no counters.
void DummyComm(LinkHandle link);
// 5 application mode, 6 boot mode, or a failure code 17..24.
ProtocolResult ConfirmComm(LinkHandle link);
