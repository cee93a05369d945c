// The replug or power-cycle prompt of plcfw: Enter on standard input; in a
// run of several PLCs asked once for those waiting at it.
#pragma once

#include <string>
#include <vector>

namespace plc {

class PromptGate;

// Asks for Enter after the prompt's message line; false at the end of
// input (nobody can answer).  On a worker's thread of a run of several the
// PLC waits at the gate, and the prompt is asked once for every PLC that
// waits, naming them.
bool AnswerPrompt();
// The gate and place of the calling worker's PLC, set at the start of its
// thread.
void SetThreadPrompt(PromptGate* gate, int index);
// The gate's question: the PLCs that wait, named, then Enter.
bool AskForThese(const std::vector<std::string>& labels);

}  // namespace plc
