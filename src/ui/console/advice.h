// What the console adds on standard error to a run's end: why it ended where
// the message line cannot say, and what the user does next.  The message
// lines themselves stay as the window shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/console/outcome.h"

namespace plc {

// What is known of a run when its last box is shown.
struct RunEnd {
  const char* text = "";        // the last box's text
  int row = 0;                  // the selected model
  bool withoutProgram = false;  // the PLC lost its program in this run
  int32_t reportedId = -1;      // the device type ID of the last ID reply
  uint32_t bytesSent = 0;       // of the transfer, acknowledged
  uint32_t bytesToSend = 0;     // of the transfer, in all
  uint64_t imageLength = 0;     // the image's own length (an --image file's size)
  bool eraseAccepted = false;   // the erase/enter-boot command or ERASE, in this run
  bool busy = false;            // the open was refused: another run or program holds the port
};

// The note after an interrupt (without the program's name before it);
// withoutProgram: the PLC was erased (or found in its bootloader) in this
// run.
const char* InterruptedNote(bool withoutProgram);
// The notes after the box that ended a run: the cause first, then the next
// step; none when the box says enough.
std::vector<std::string> AdviceAfter(const RunEnd& end);
// How the run ended, for the record, --json and the exit status: the
// message's reason, narrowed by what the run saw (an open refused as busy,
// an ID reply of another model), the erase, and where a transfer stopped.
PlcOutcome OutcomeOf(const RunEnd& end);
// "0x000E (LM4)": a device type ID and the models that report it, in
// application mode or (boot) from the bootloader.
std::string DeviceIdText(uint16_t id, bool boot);

}  // namespace plc
