// The progress of several PLCs: on a terminal a line per PLC, label first,
// redrawn together in place; elsewhere each PLC's lines carry its label.
#pragma once

#include <string>
#include <vector>

#include "ui/console/progress.h"

namespace plc {

struct PlcStatus {
  std::string label;
  std::string probeTarget;
  StatusSnapshot status;
};

// A line per PLC in the given order, each label padded to the widest so
// that the bars line up, and each line fitted into width columns as the
// single progress line is (width 0: no limit).
std::vector<std::string> FormatProgressBlock(const std::vector<PlcStatus>& plcs, int width);

// A line of one PLC in a run of several: "label: line".
std::string Labelled(const std::string& label, const std::string& line);

}  // namespace plc
