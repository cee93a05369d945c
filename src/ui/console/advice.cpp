#include "ui/console/advice.h"

#include <cstring>

#include "state/messages.h"

namespace plc {

namespace {

// A PLC whose program is gone comes back in its bootloader only after a
// power cycle: a bootloader cut off in the middle of the transfer keeps
// waiting for blocks at the transfer's speed and answers no probe.
constexpr char kWithoutProgramNote[] =
    "plcfw: the PLC has no working program now. Switch the PLC off and on (a USB PLC: "
    "unplug and plug in its cable), then run the update again.";

constexpr char kInterruptedErasedNote[] =
    "plcfw: interrupted during the update: the PLC may be left without a working program. "
    "Switch the PLC off and on (a USB PLC: unplug and plug in its cable), then run the "
    "update again before using it.";

constexpr char kNoAnswerNote[] =
    "plcfw: the PLC did not answer the probe: check the cable, the port and the PLC's power. "
    "If an update was cut short, the PLC waits in its bootloader: switch it off and on (a USB "
    "PLC: unplug and plug in its cable), then run the update again.";

}  // namespace

const char* InterruptedNote(bool withoutProgram) {
  return withoutProgram ? kInterruptedErasedNote : "plcfw: interrupted";
}

const char* AdviceAfter(const char* text, bool withoutProgram) {
  if (text == nullptr) return nullptr;
  if (withoutProgram) return kWithoutProgramNote;
  if (std::strcmp(text, kNoResponse1Message) == 0) return kNoAnswerNote;
  return nullptr;
}

}  // namespace plc
