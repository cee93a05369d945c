#pragma once

#include <cstdint>

namespace plc {

// Control bytes of boot mode; the application-mode replies carry ACK and
// NAK in their status place too.
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kFiller = 0x1A;

}  // namespace plc
