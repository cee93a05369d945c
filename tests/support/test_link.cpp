#include "support/test_link.h"

#include <cstdio>

namespace plc {

LinkHandle TestWire::Open() {
  return LinkHandle(new TestLink(this));
}

void TestWire::Script(std::vector<Bytes> replies) {
  script_.assign(replies.begin(), replies.end());
  responder_ = [](TestWire& wire, const Bytes&) {
    if (!wire.script_.empty()) wire.Reply(wire.script_.front()), wire.script_.pop_front();
  };
}

std::vector<Bytes> TestWire::Writes() const {
  std::vector<Bytes> out;
  for (const WireEvent& e : events_)
    if (e.kind == WireEvent::Kind::kWrite) out.push_back(e.bytes);
  return out;
}

uint32_t TestWire::OnWrite(const uint8_t* data, uint32_t count) {
  uint32_t written = writePolicy_ ? std::min(writePolicy_(count), count) : count;
  Bytes sent(data, data + written);
  events_.push_back({WireEvent::Kind::kWrite, sent, count, {}, {}});
  if (written < count) clock_->nowMs += timeouts_.writeTotalTimeoutConstant;
  if (responder_) responder_(*this, sent);
  return written;
}

uint32_t TestWire::OnRead(uint8_t* buffer, uint32_t count) {
  if (onRead) onRead();
  uint32_t n = 0;
  for (; n < count && !input_.empty(); input_.pop_front()) buffer[n++] = input_.front();
  if (n < count) clock_->nowMs += timeouts_.readTotalTimeoutConstant;
  events_.push_back({WireEvent::Kind::kRead, Bytes(buffer, buffer + n), count, {}, {}});
  return n;
}

std::string ModbusReply(const Bytes& bytes) {
  std::string out = ":";
  unsigned sum = 0;
  char hex[3];
  for (size_t i = 0; i <= bytes.size(); ++i) {
    const unsigned b = i < bytes.size() ? bytes[i] : (0x100 - (sum & 0xFF)) & 0xFF;
    (void)std::snprintf(hex, sizeof hex, "%02X", b);
    out += hex;
    sum += b;
  }
  return out + "\r\n";
}

}  // namespace plc
