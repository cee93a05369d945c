// plcfw's command line: what a run is asked to do, the exit statuses and
// the --help text.
#pragma once

#include <string>
#include <vector>

#include "ui/console/outcome.h"

namespace plc {

// kListMessages (--list-messages, not in the usage) is for the test tools:
// every text a box can show, one a line.
enum class ConsoleAction {
  kBurn,
  kIdentify,
  kHelp,
  kVersion,
  kListPorts,
  kListModels,
  kListMessages
};

struct ConsoleOptions {
  ConsoleAction action = ConsoleAction::kBurn;
  int model = -1;  // row of the model table
  bool portGiven = false;
  std::string port;  // the first --port: the one PLC of a run of one
  // Every --port in the order given; several make a run of several PLCs.
  std::vector<std::string> ports;
  bool all = false;  // --all: every PLC of a USB model that the search finds
  bool imageGiven = false;
  std::string image;
  bool yes = false;
  bool trace = false;
  std::string log;     // --log FILE: the burn record; empty for none
  bool check = false;  // --check: a burn that stops before its first writing request
  bool json = false;   // --json: standard output is one JSON object
};

// A run of several PLCs: more than one --port, or --all.
inline bool SeveralPlcs(const ConsoleOptions& options) {
  return options.all || options.ports.size() > 1;
}

// Fills options from the arguments; returns false with a one-line reason in
// error for a usage error.  defaultModel is the model the image is for.
bool ParseConsoleOptions(int argc, const char* const* argv, const char* defaultModel,
                         ConsoleOptions* options, std::string* error);
// The --help text, made from the same table of options as the parser.
std::string ConsoleUsage();
// "LM4, LQ4, ..." : every model name of the table.
std::string ModelNameList();

}  // namespace plc
