#pragma once

#include <cstdint>

#include "port/link.h"

// 0 when the PLC's device type is accepted, else 18, 19, 21, 23 or 24.
uint8_t CheckID_A(LinkHandle link);
// Register values; 0 when the read budget is spent.
uint16_t READ_D1386(LinkHandle link);
uint16_t READ_D1148(LinkHandle link);
// Version byte read on hSerial; 0 when the budget is spent.
uint8_t read_fu_version_A();
// 0 when the erase/enter-boot command is accepted, else 19, 20, 21, 23 or 24.
uint8_t SendErase_A(LinkHandle link);
