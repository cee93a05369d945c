#pragma once

#include <cstdint>

namespace plc {

// What a protocol operation reports.  Only the burn sequence turns a result
// into a message, chosen by its low four bits (ResultChoiceOf): the values
// are fixed, the failures of application mode carry 0x10 above their choice.
enum ProtocolResult : uint8_t {
  kResultOk = 0,
  kResultAppMode = 5,   // probe: PLC runs its program
  kResultBootMode = 6,  // probe: bootloader runs
  kResultBootFailure = 0x10,
  // The PLC's refusal (NAK) as its class and detail bytes tell it.
  kResultRefusedDetail1 = 0x11,  // class 2, detail 1
  kResultRefusedDetail2 = 0x12,  // class 2, detail 2
  kResultRefusedDetail3 = 0x13,  // class 2, detail 3
  kResultRefusedDetail4 = 0x14,  // class 2, detail 4
  kResultRefusedOther = 0x15,    // class 2, another detail
  kResultRefusedClass1 = 0x16,   // class 1
  kResultUnknownError = 0x17,    // another class
  kResultNoResponse = 0x18,      // no refusal could be read
};

// The low four bits of a result: what its message says, whichever step it
// came from.  Values 9..15 come from no result and choose no message.
enum class ResultChoice : uint8_t {
  kNone = 0,  // success or the bootloader's failure
  kRefusedDetail1 = 1,
  kRefusedDetail2 = 2,
  kRefusedDetail3 = 3,
  kRefusedDetail4 = 4,
  kRefusedOther = 5,   // also the probe's application mode
  kRefusedClass1 = 6,  // also the probe's boot mode
  kUnknownError = 7,
  kNoResponse = 8,
};

constexpr ResultChoice ResultChoiceOf(ProtocolResult code) {
  return static_cast<ResultChoice>(code & 0x0F);
}

static_assert(ResultChoiceOf(kResultRefusedOther) == ResultChoice::kRefusedOther &&
                  ResultChoiceOf(kResultRefusedClass1) == ResultChoice::kRefusedClass1 &&
                  ResultChoiceOf(kResultNoResponse) == ResultChoice::kNoResponse,
              "a failure's low four bits choose its message");

}  // namespace plc
