// The target of a run that opens the PLC's link (burn and identify): the
// model, the port, and the port's label in the record.
#pragma once

#include <string>

#include "ui/console/options.h"

namespace plc {

// Selects the model and the port: "USB", --port, or the first listed
// serial port, which it names on standard error.
void SelectTarget(const ConsoleOptions& options);
// The port text a record names: the --port given, else the selected port
// ("USB" when the USB device is searched for).
std::string RecordPortLabel(const ConsoleOptions& options);

}  // namespace plc
