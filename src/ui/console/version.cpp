#include "ui/console/version.h"

// The build passes the project's version (src/ui/console/CMakeLists.txt).
#ifndef PLC_VERSION
#define PLC_VERSION "unknown"
#endif

namespace plc {

const char* ToolVersion() {
  return PLC_VERSION;
}

}  // namespace plc
