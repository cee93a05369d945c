#include "ui/console/progress_block.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace plc {

std::vector<std::string> FormatProgressBlock(const std::vector<PlcStatus>& plcs, int width) {
  size_t labelWidth = 0;
  for (const PlcStatus& plc : plcs) labelWidth = std::max(labelWidth, plc.label.size());
  std::vector<std::string> lines;
  for (const PlcStatus& plc : plcs) {
    std::string line = plc.label;
    line.append(labelWidth - line.size() + 1, ' ');
    // The label's room comes off the line; a terminal too narrow even for
    // the labels shows them cut.
    int room = 0;
    if (width > 0) room = std::max(1, width - static_cast<int>(line.size()));
    char text[4096];
    FormatProgressLine(plc.status, plc.probeTarget.c_str(), room, text, sizeof text);
    line += text;
    if (width > 0 && line.size() > static_cast<size_t>(width - 1)) {
      line.resize(static_cast<size_t>(std::max(0, width - 1)));
    }
    lines.push_back(line);
  }
  return lines;
}

std::string Labelled(const std::string& label, const std::string& line) {
  return label + ": " + line;
}

}  // namespace plc
