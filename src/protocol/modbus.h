// Modbus ASCII: the reply check and the application-mode frames.
#pragma once

#include <cstdint>

namespace plc {

// Checks count hex digits (even) starting at chars and decodes them in
// place: afterwards chars[k] holds decoded byte k.  Returns 0 for a good
// reply (the bytes sum to 0 modulo 256), 1 at the first character that is not
// "0"-"9" or "A"-"F", otherwise the non-zero sum.
uint8_t CheckLRC(uint8_t* chars, uint8_t count);

}  // namespace plc
