#pragma once

#include <cstdint>

#include "port/link.h"

// Each returns 0 on success and 16 on failure.
uint8_t CheckID_B(LinkHandle link);
uint8_t read_fu_version_B();  // on hSerial; sets VM_fu_version on success
uint8_t SendErase_B(LinkHandle link);
uint8_t SendUpdate(LinkHandle link);

// Number of "ERASE" units for a model row and image length.  For the VM
// group an image shorter than 4,096 bytes gives 0 (never underflows).
uint16_t EraseUnitCount(int row, uint32_t length);
