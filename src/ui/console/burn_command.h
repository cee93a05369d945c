// plcfw's burn: the update of the PLC, its record and its exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/console/options.h"

namespace plc {

// A prompt waits for Enter on standard input: a burn whose model prompts
// and that nobody can answer is a usage error (with its reason in error).
bool PromptRefused(const ConsoleOptions& options, std::string* error);
int RunBurn(const ConsoleOptions& options);
// Reads --image under the guard (started) and says on standard error why
// it cannot be burnt; false then.
bool ReadImageForBurn(const ConsoleOptions& options, std::vector<uint8_t>* image);
// What the probe of a burn through port talks to, as the progress line
// names it ("ttyS0 at 9600 7E1").
std::string ProbeTargetOf(const ConsoleOptions& options, const std::string& port);

}  // namespace plc
