// A run of several PLCs: what each PLC is called on the screen, which PLCs
// --all takes, and the table that sums the run up.
#pragma once

#include <string>
#include <vector>

namespace plc {

// A PLC of the run: the port or device path its worker opens (and opens
// again after the replug), and its label in the progress and the summary.
struct PlcTarget {
  std::string port;
  std::string label;
};

// The short name of a port: the USB port part of a /dev/serial/by-path
// name ("1.4" of ".../pci-0000:00:14.0-usb-0:1.4:1.0"), else the port's
// name ("ttyACM0", "COM3", "pts/3").
std::string PortLabel(const std::string& port);
// Targets for these ports, labelled by PortLabel; where two labels would
// be the same (one USB port on two controllers), those PLCs keep the whole
// name, so that no label stands for two PLCs.
std::vector<PlcTarget> TargetsOf(const std::vector<std::string>& ports);

// The PLCs of the model's USB devices that the search finds now, each by
// the name that leads to the same USB port after the replug.
std::vector<PlcTarget> FindAllPlcs();

// How one PLC's run ended, for the summary.
struct PlcEnd {
  std::string label;
  std::string model;
  std::string result;   // "success", "failed", "interrupted", ...
  std::string message;  // the last message line's text
  double seconds = 0;
};
// The summary on standard error: a header row and one row per PLC with
// PLC, model, result, message and seconds, each column as wide as its
// widest cell.
std::string SummaryTable(const std::vector<PlcEnd>& ends);

}  // namespace plc
