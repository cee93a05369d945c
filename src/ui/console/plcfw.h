// plcfw: the console front end.  The burn engine with message boxes printed
// as lines on standard output and the status panel drawn as one line of
// progress on standard error.
#pragma once

namespace plc {

// Runs the whole program; main only calls this.
int PlcfwMain(int argc, const char* const* argv);

}  // namespace plc
