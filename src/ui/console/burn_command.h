// plcfw's burn: the update of the PLC, its record and its exit status.
#pragma once

#include <string>

#include "ui/console/options.h"

namespace plc {

// A prompt waits for Enter on standard input: a burn whose model prompts
// and that nobody can answer is a usage error (with its reason in error).
bool PromptRefused(const ConsoleOptions& options, std::string* error);
int RunBurn(const ConsoleOptions& options);

}  // namespace plc
