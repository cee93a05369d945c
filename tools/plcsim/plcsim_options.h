// plcsim's command line: the options, their usage text and the faults they
// commit, checked before anything is opened.
#pragma once

#include <cstdint>

#include "plcsim_signal_posix.h"
#include "sim_device.h"

namespace plc {

struct SimOptions {
  SimConfig config;
  const char* flashOut = nullptr;
  const char* link = nullptr;
  bool lineRate = false;
  bool once = false;
  bool verbose = false;
  const char* device = nullptr;
  const char* replugUdc = nullptr;
  uint32_t pullAtFrame = 0;
  SimSignalPlan signal;
};

// Fills opt from the command line; -1 to go on, else the exit status (after
// --help and the listings, 0; after a usage error, 2, with the reason on
// standard error).
int ParseOptions(int argc, char** argv, SimOptions& opt);

}  // namespace plc
