#include "support/test_link.h"

#include <algorithm>
#include <cstdio>

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string ToText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TestWire::TestWire(VirtualClock* clock) : clock_(clock ? clock : &ownClock_) {}

LinkHandle TestWire::Open() {
  ++openLinks_;
  events_.push_back({WireEvent::Kind::kOpen, {}, 0, {}, {}});
  return new TestLink(this);
}

void TestWire::Script(std::vector<Bytes> replies) {
  script_.assign(replies.begin(), replies.end());
  responder_ = [](TestWire& wire, const Bytes&) {
    if (wire.script_.empty()) return;
    Bytes next = std::move(wire.script_.front());
    wire.script_.pop_front();
    wire.Reply(next);
  };
}

void TestWire::Reply(const Bytes& bytes) { input_.insert(input_.end(), bytes.begin(), bytes.end()); }

std::vector<Bytes> TestWire::Writes() const {
  std::vector<Bytes> out;
  for (const WireEvent& e : events_) {
    if (e.kind == WireEvent::Kind::kWrite) out.push_back(e.bytes);
  }
  return out;
}

std::vector<std::string> TestWire::WrittenTexts() const {
  std::vector<std::string> out;
  for (const Bytes& b : Writes()) out.push_back(ToText(b));
  return out;
}

int TestWire::CountWrites(const std::string& text) const {
  int n = 0;
  for (const Bytes& b : Writes()) n += ToText(b) == text ? 1 : 0;
  return n;
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
  uint32_t n = 0;
  while (n < count && !input_.empty()) {
    buffer[n++] = input_.front();
    input_.pop_front();
  }
  if (n < count) clock_->nowMs += timeouts_.readTotalTimeoutConstant;
  events_.push_back({WireEvent::Kind::kRead, Bytes(buffer, buffer + n), count, {}, {}});
  return n;
}

void TestWire::OnLineSettings(const LineSettings& settings) {
  events_.push_back({WireEvent::Kind::kLineSettings, {}, 0, settings, {}});
}

void TestWire::OnTimeouts(const Timeouts& timeouts) {
  timeouts_ = timeouts;
  events_.push_back({WireEvent::Kind::kTimeouts, {}, 0, {}, timeouts});
}

void TestWire::OnClose() {
  --openLinks_;
  events_.push_back({WireEvent::Kind::kClose, {}, 0, {}, {}});
}

std::string ModbusReply(const Bytes& bytes) {
  std::string out = ":";
  unsigned sum = 0;
  char hex[3];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    out += hex;
    sum += b;
  }
  std::snprintf(hex, sizeof hex, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  out += hex;
  out += "\r\n";
  return out;
}
