#pragma once

#include <cstdint>

namespace plc {

// What a protocol operation reports.  Only the burn sequence turns a result
// into a message, chosen by its low four bits: the values are fixed.
enum ProtocolResult : uint8_t {
  kResultOk = 0,
  kResultAppMode = 5,   // probe: PLC runs its program
  kResultBootMode = 6,  // probe: bootloader runs
  kResultBootFailure = 16,
  // The PLC's refusal (NAK) as its class and detail bytes tell it.
  kResultRefusedDetail1 = 17,  // class 2, detail 1
  kResultRefusedDetail2 = 18,  // class 2, detail 2
  kResultRefusedDetail3 = 19,  // class 2, detail 3
  kResultRefusedDetail4 = 20,  // class 2, detail 4
  kResultRefusedOther = 21,    // class 2, another detail
  kResultRefusedClass1 = 22,   // class 1
  kResultUnknownError = 23,    // another class
  kResultNoResponse = 24,      // 0x18: no refusal could be read
};

}  // namespace plc
