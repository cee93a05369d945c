#include "ui/console/trace_link.h"

#include <cstdio>
#include <string>

#include "ui/console/output.h"

namespace plc {

std::string HexAndText(const uint8_t* data, uint32_t count) {
  std::string hex;
  std::string text;
  hex.reserve(count * 3);
  text.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    char two[4];
    (void)std::snprintf(two, sizeof two, "%s%02X", i == 0 ? "" : " ", data[i]);
    hex += two;
    text += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
  }
  return hex + "  |" + text + "|";
}

namespace {

// "> 3A 30 31 ...  |:01...|", with "(n of m)" after a short transfer and
// "(nothing, 0 of m)" for a read that timed out empty.
void Note(const char* direction, const uint8_t* data, uint32_t done, uint32_t asked) {
  std::string line = direction;
  if (done == 0) {
    line += " (nothing, 0 of " + std::to_string(asked) + ")";
  } else {
    line += " " + HexAndText(data, done);
    if (done != asked) line += "  (" + std::to_string(done) + " of " + std::to_string(asked) + ")";
  }
  ConsolePrintTrace(line.c_str());
}

}  // namespace

uint32_t TraceLink::Write(const uint8_t* data, uint32_t count) {
  uint32_t done = LinkWrite(inner_.get(), data, count);
  Note(">", data, done, count);
  return done;
}

uint32_t TraceLink::Read(uint8_t* buffer, uint32_t count) {
  uint32_t done = LinkRead(inner_.get(), buffer, count);
  Note("<", buffer, done, count);
  return done;
}

std::string LineSettingsText(const LineSettings& settings) {
  char text[48];
  const char parity = settings.parity == 2 ? 'E' : (settings.parity == 1 ? 'O' : 'N');
  (void)std::snprintf(text, sizeof text, "%u %u%c%s", settings.baudRate, settings.byteSize, parity,
                      settings.stopBits == 0 ? "1" : "2");
  return text;
}

void TraceLink::ApplyLineSettings(const LineSettings& settings) {
  if (inner_ != kNoLink) inner_->ApplyLineSettings(settings);
  ConsolePrintTrace(("= line " + LineSettingsText(settings)).c_str());
}

void TraceLink::ApplyTimeouts(const Timeouts& timeouts) {
  if (inner_ != kNoLink) inner_->ApplyTimeouts(timeouts);
}

}  // namespace plc
