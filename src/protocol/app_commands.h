#pragma once

#include <cstdint>

#include "port/link.h"

namespace plc {

// 0 when the PLC's device type is accepted, else 18, 19, 21, 23 or 24.
uint8_t CheckID_A(Link* link);
// Register values; 0 when the read budget is spent.
uint16_t READ_D1386(Link* link);
uint16_t READ_D1148(Link* link);
// Version byte read on hSerial; 0 when the budget is spent.
uint8_t read_fu_version_A();
// 0 when the erase/enter-boot command is accepted, else 19, 20, 21, 23 or 24.
uint8_t SendErase_A(Link* link);

// Read-only variants for identifying a PLC without changing it: the same
// frames, time-outs and retry budget, but they hand back what the PLC
// reports instead of judging it.
// 0 with the first ID reported with status ACK, else CheckID_A's failure code.
uint8_t ReadID_A(Link* link, uint16_t* reported);
// True with the value; false (value 0) when the budget is spent.
bool ReadD1386_A(Link* link, uint16_t* value);
bool ReadD1148_A(Link* link, uint16_t* value);
bool ReadVersion_A(Link* link, uint8_t* version);
// The ID rule of CheckID_A: equal in all 16 bits; ID 12 also takes 13.
bool IdMatches_A(uint16_t reported, uint16_t selected);

}  // namespace plc
