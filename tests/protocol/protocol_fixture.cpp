#include "protocol_fixture.h"

#include <cstdio>

namespace {

std::string Printable(const Bytes& bytes) {
  std::string out;
  char hex[8];
  for (uint8_t b : bytes) {
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else if (b == '\r') {
      out += "\\r";
    } else if (b == '\n') {
      out += "\\n";
    } else {
      (void)std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

bool SameLine(const LineSettings& a, const LineSettings& b) {
  return a.baudRate == b.baudRate && a.byteSize == b.byteSize && a.parity == b.parity &&
         a.stopBits == b.stopBits;
}

bool SameTimeouts(const Timeouts& a, const Timeouts& b) {
  return a.readIntervalTimeout == b.readIntervalTimeout &&
         a.readTotalTimeoutMultiplier == b.readTotalTimeoutMultiplier &&
         a.readTotalTimeoutConstant == b.readTotalTimeoutConstant &&
         a.writeTotalTimeoutMultiplier == b.writeTotalTimeoutMultiplier &&
         a.writeTotalTimeoutConstant == b.writeTotalTimeoutConstant;
}

}  // namespace

std::vector<std::string> Trace(const TestWire& wire) {
  std::vector<std::string> out;
  for (const WireEvent& e : wire.Events()) {
    switch (e.kind) {
      case WireEvent::Kind::kWrite:
        out.push_back("> " + Printable(e.bytes));
        break;
      case WireEvent::Kind::kRead:
        out.push_back("< " + std::to_string(e.requested));
        break;
      case WireEvent::Kind::kLineSettings:
        out.push_back(SameLine(e.line, kModbusLineSettings)     ? "modbus"
                      : SameLine(e.line, kTransferLineSettings) ? "transfer"
                                                                : "line?");
        break;
      case WireEvent::Kind::kTimeouts:
        out.push_back(SameTimeouts(e.timeouts, kShortTimeouts)  ? "short"
                      : SameTimeouts(e.timeouts, kLongTimeouts) ? "long"
                                                                : "timeouts?");
        break;
      case WireEvent::Kind::kOpen:
      case WireEvent::Kind::kClose:
        break;
    }
  }
  return out;
}
