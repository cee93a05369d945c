// A link for tests, on virtual time.  A TestWire is the far end: it records every byte written
// and every setting applied, in order, and answers each request from a script or a callback.
// A read short of its count returns at once and advances the clock by the read time-out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "port/link.h"

namespace plc {

struct VirtualClock {
  uint64_t nowMs = 0;
};

struct WireEvent {
  enum class Kind { kWrite, kRead, kLineSettings, kTimeouts };
  Kind kind;
  std::vector<uint8_t> bytes;  // written (kWrite) or returned (kRead)
  uint32_t requested = 0;      // bytes asked for (kWrite, kRead)
  LineSettings line{};
  Timeouts timeouts{};
};

using Bytes = std::vector<uint8_t>;
inline Bytes ToBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}
inline std::string ToText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

class TestWire {
 public:
  // Called with each request as written (after a short write: the part that
  // went out); what it queues with Reply() is what the next reads get.
  using Responder = std::function<void(TestWire& wire, const Bytes& request)>;
  // Decides how many bytes of a write of `requested` bytes go out.
  using WritePolicy = std::function<uint32_t(uint32_t requested)>;

  explicit TestWire(VirtualClock* clock = nullptr) : clock_(clock ? clock : &ownClock_) {}

  LinkHandle Open();
  void SetResponder(Responder responder) { responder_ = std::move(responder); }
  void SetWritePolicy(WritePolicy policy) { writePolicy_ = std::move(policy); }
  // One reply per request in order ("" is silence); requests beyond the script go unanswered.
  void Script(std::vector<Bytes> replies);
  void Reply(const Bytes& bytes) { input_.insert(input_.end(), bytes.begin(), bytes.end()); }
  void Reply(const std::string& text) { Reply(ToBytes(text)); }

  const std::vector<WireEvent>& Events() const { return events_; }
  std::vector<Bytes> Writes() const;
  int CountWrites(const std::string& text) const {
    const std::vector<Bytes> writes = Writes();
    return static_cast<int>(std::count(writes.begin(), writes.end(), ToBytes(text)));
  }
  uint64_t NowMs() const { return clock_->nowMs; }
  VirtualClock& Clock() { return *clock_; }

  // The Link side.
  uint32_t OnWrite(const uint8_t* data, uint32_t count);
  uint32_t OnRead(uint8_t* buffer, uint32_t count);
  std::function<void()> onRead;  // called as each read starts
  void OnLineSettings(const LineSettings& s) {
    events_.push_back({WireEvent::Kind::kLineSettings, {}, 0, s, {}});
  }
  void OnTimeouts(const Timeouts& t) {
    timeouts_ = t;
    events_.push_back({WireEvent::Kind::kTimeouts, {}, 0, {}, t});
  }

 private:
  VirtualClock ownClock_;
  VirtualClock* clock_;
  Responder responder_;
  WritePolicy writePolicy_;
  std::deque<uint8_t> input_;
  std::deque<Bytes> script_;
  std::vector<WireEvent> events_;
  Timeouts timeouts_ = kLongTimeouts;
};

class TestLink : public Link {
 public:
  explicit TestLink(TestWire* wire) : wire_(wire) {}
  uint32_t Write(const uint8_t* data, uint32_t n) override { return wire_->OnWrite(data, n); }
  uint32_t Read(uint8_t* buffer, uint32_t n) override { return wire_->OnRead(buffer, n); }
  void ApplyLineSettings(const LineSettings& settings) override { wire_->OnLineSettings(settings); }
  void ApplyTimeouts(const Timeouts& timeouts) override { wire_->OnTimeouts(timeouts); }

 private:
  TestWire* wire_;
};

// Modbus ASCII reply text for the given bytes: ':' + hex + LRC + CR LF.
std::string ModbusReply(const Bytes& bytes);

}  // namespace plc
