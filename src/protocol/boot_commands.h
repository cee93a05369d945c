#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"
#include "state/run.h"

namespace plc {

// Each returns kResultOk on success and kResultBootFailure on failure.
[[nodiscard]] ProtocolResult CheckID_B(Run& run);
[[nodiscard]] ProtocolResult SendErase_B(Run& run);
[[nodiscard]] ProtocolResult SendUpdate(Run& run);

// Number of "ERASE" units for a model row and image length.  For the VM
// group an image shorter than 4,096 bytes gives 0 (never underflows).
uint16_t EraseUnitCount(int row, uint32_t length);

// "ID" and "VERSION" with the same time-outs and retry budget, handing back
// what the bootloader reports (the version's major in the high nibble).
[[nodiscard]] bool ReadID_B(Run& run, uint16_t* reported);
[[nodiscard]] bool ReadVersion_B(Run& run, uint8_t* version);

}  // namespace plc
