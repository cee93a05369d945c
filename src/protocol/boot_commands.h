#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"
#include "state/run.h"

namespace plc {

// Each returns 0 on success and 16 on failure.
ProtocolResult CheckID_B(Run& run);
ProtocolResult SendErase_B(Run& run);
ProtocolResult SendUpdate(Run& run);

// Number of "ERASE" units for a model row and image length.  For the VM
// group an image shorter than 4,096 bytes gives 0 (never underflows).
uint16_t EraseUnitCount(int row, uint32_t length);

// "ID" and "VERSION" with the same time-outs and retry budget, handing back
// what the bootloader reports (the version's major in the high nibble).
bool ReadID_B(Run& run, uint16_t* reported);
bool ReadVersion_B(Run& run, uint8_t* version);
// The ID rule of CheckID_B for a model: USB models all 16 bits, ID 12 also
// 13, other serial models without bit 15.
bool IdMatches_B(bool usb, uint16_t selected, uint16_t reported);

}  // namespace plc
