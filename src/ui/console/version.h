// The tool's version, for --version and the burn record.
#pragma once

namespace plc {

// The project's version as the build set it ("unknown" without one).
const char* ToolVersion();

}  // namespace plc
