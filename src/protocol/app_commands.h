#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

// kResultOk when the PLC's device type is accepted (RowTakesId), else the
// refusal (detail 2, detail 3, other), kResultUnknownError or
// kResultNoResponse.
[[nodiscard]] ProtocolResult CheckID_A(Run& run);
// kResultOk when the erase/enter-boot command is accepted, else the refusal
// (detail 3, detail 4, other), kResultUnknownError or kResultNoResponse.
[[nodiscard]] ProtocolResult SendErase_A(Run& run);
// The ID check's exchange for identifying a PLC without judging it: 0 with
// the first ID reported with status ACK, else CheckID_A's failure code.
[[nodiscard]] ProtocolResult ReadID_A(Run& run, uint16_t* reported);

// The reads, with the same time-outs and retry budget: true with the value;
// false (value 0) when the budget is spent.  A caller may take the 0 for
// the answer, as the burn does: it casts the result away.
[[nodiscard]] bool ReadD1386_A(Run& run, uint16_t* value);
[[nodiscard]] bool ReadD1148_A(Run& run, uint16_t* value);
[[nodiscard]] bool ReadVersion_A(Run& run, uint8_t* version);
// Reads the register that tells apart the models sharing an ID (D1386 or
// D1148); false (value 0) for kNone or when the budget is spent.
[[nodiscard]] bool ReadModelRegister_A(Run& run, ModelRegister reg, uint16_t* value);

}  // namespace plc
