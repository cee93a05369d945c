#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"
#include "state/run.h"

namespace plc {

// 0 when the PLC's device type is accepted, else 18, 19, 21, 23 or 24.
ProtocolResult CheckID_A(Run& run);
// 0 when the erase/enter-boot command is accepted, else 19, 20, 21, 23 or 24.
ProtocolResult SendErase_A(Run& run);
// The ID check's exchange for identifying a PLC without judging it: 0 with
// the first ID reported with status ACK, else CheckID_A's failure code.
ProtocolResult ReadID_A(Run& run, uint16_t* reported);

// The reads, with the same time-outs and retry budget: true with the value;
// false (value 0) when the budget is spent.
bool ReadD1386_A(Run& run, uint16_t* value);
bool ReadD1148_A(Run& run, uint16_t* value);
bool ReadVersion_A(Run& run, uint8_t* version);
// The ID rule of CheckID_A: equal in all 16 bits; ID 12 also takes 13.
bool IdMatches_A(uint16_t reported, uint16_t selected);

}  // namespace plc
