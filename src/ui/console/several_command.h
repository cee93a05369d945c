// plcfw's burn of several PLCs in one run (--port given several times, or
// --all): a worker per PLC, one summary, a record per PLC.
#pragma once

#include "ui/console/options.h"

namespace plc {

int RunSeveral(const ConsoleOptions& options);

}  // namespace plc
