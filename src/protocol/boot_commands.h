#pragma once

#include <cstdint>

#include "port/link.h"

namespace plc {

// Each returns 0 on success and 16 on failure.
uint8_t CheckID_B(Link* link);
uint8_t read_fu_version_B();  // on hSerial; sets VM_fu_version on success
uint8_t SendErase_B(Link* link);
uint8_t SendUpdate(Link* link);

// Number of "ERASE" units for a model row and image length.  For the VM
// group an image shorter than 4,096 bytes gives 0 (never underflows).
uint16_t EraseUnitCount(int row, uint32_t length);

// Read-only variants for identifying a PLC: "ID" and "VERSION" with the same
// time-outs and retry budget, handing back what the bootloader reports.
bool ReadID_B(Link* link, uint16_t* reported);
bool ReadVersion_B(Link* link,
                   uint8_t* version);  // the version byte as read_fu_version_B makes it
// The ID rule of CheckID_B for a model: USB models all 16 bits, ID 12 also
// 13, other serial models without bit 15.
bool IdMatches_B(bool usb, uint16_t selected, uint16_t reported);

}  // namespace plc
