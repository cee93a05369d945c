#include "ui/console/prompt.h"

#include <string>
#include <vector>

#include "ui/console/output.h"
#include "ui/console/prompt_gate.h"
#include "ui/console/terminal.h"

namespace plc {

namespace {
thread_local PromptGate* threadGate = nullptr;
thread_local int threadIndex = 0;
}  // namespace

void SetThreadPrompt(PromptGate* gate, int index) {
  threadGate = gate;
  threadIndex = index;
}

bool AskForThese(const std::vector<std::string>& labels) {
  std::string names;
  for (const std::string& label : labels) names += (names.empty() ? "" : ", ") + label;
  ConsoleSuspendProgress(true);
  ConsolePrintRunNote(("plcfw: waiting at the prompt: " + names).c_str());
  ConsolePrintRunNote("Press Enter to continue.");
  const bool answered = WaitForEnter();
  if (answered) ConsoleSuspendProgress(false);
  return answered;
}

bool AnswerPrompt() {
  if (threadGate != nullptr) return threadGate->Wait(threadIndex);
  // The progress line stays hidden while the prompt waits.
  ConsoleSuspendProgress(true);
  ConsolePrintNote("Press Enter to continue.");
  const bool answered = WaitForEnter();
  if (answered) ConsoleSuspendProgress(false);
  return answered;
}

}  // namespace plc
