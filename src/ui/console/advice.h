// What the console adds on standard error to a run's end: why it ended where
// the message line cannot say, and what the user does next.  The message
// lines themselves stay as the window shows them.
#pragma once

namespace plc {

// The note after an interrupt; withoutProgram: the PLC was erased (or found
// in its bootloader) in this run.
const char* InterruptedNote(bool withoutProgram);
// The note after the box that ended a run with text, or nullptr when the
// box says enough.
const char* AdviceAfter(const char* text, bool withoutProgram);

}  // namespace plc
