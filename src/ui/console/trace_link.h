// plcfw --trace: every request and reply on standard error.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "port/link.h"

namespace plc {

// "3A 30 31  |:01|": the bytes in hex and as text, non-printing as '.'.
std::string HexAndText(const uint8_t* data, uint32_t count);

// "9600 7E1": speed, data bits, parity and stop bits, as users write them.
std::string LineSettingsText(const LineSettings& settings);

// A link that prints every request and reply on standard error.
class TraceLink : public Link {
 public:
  explicit TraceLink(LinkHandle inner) : inner_(std::move(inner)) {}
  uint32_t Write(const uint8_t* data, uint32_t count) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  void ApplyLineSettings(const LineSettings& settings) override;
  void ApplyTimeouts(const Timeouts& timeouts) override;

 private:
  LinkHandle inner_;  // closed with the trace link
};

}  // namespace plc
