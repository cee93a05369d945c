// The target of a run that opens the PLC's link (burn and identify): the
// model, the port, and the port's label in the record.
#pragma once

#include <string>

#include "state/run.h"
#include "ui/console/options.h"

namespace plc {

// What a USB model's run names as its port when the PLC's USB device is
// searched for rather than given.
inline constexpr const char* kSearchedUsb = "USB";

// Selects the run's model and port: --port, kSearchedUsb, or the first
// listed serial port, which it names on standard error.
void SelectTarget(const ConsoleOptions& options, Run& run);
// The port text a record names: the run's port.
std::string RecordPortLabel(const Run& run);

}  // namespace plc
