#pragma once

#include <cstdint>

namespace plc {

// Result codes of the protocol operations.  Only the burn sequence turns
// them into messages, by their low four bits.
inline constexpr uint8_t kResultOk = 0;
inline constexpr uint8_t kResultAppMode = 5;   // probe: PLC runs its program
inline constexpr uint8_t kResultBootMode = 6;  // probe: bootloader runs
inline constexpr uint8_t kResultBootFailure = 16;
inline constexpr uint8_t kResultNoResponse = 24;  // 0x18

// Control bytes of boot mode.
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kFiller = 0x1A;

}  // namespace plc
