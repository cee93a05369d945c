#include "sim_link.h"

namespace plc {

SimLinkPair::SimLinkPair(PlcSim* sim, uint64_t* nowMs)
    : sim_(sim), nowMs_(nowMs ? nowMs : &ownClock_) {}

LinkHandle SimLinkPair::Open() {
  if (failOpen) return kNoLink;
  ++openLinks_;
  ++opens_;
  SimReconnect(*sim_);
  return LinkHandle(new SimLink(this));
}

void SimLinkPair::Spend(uint32_t characters) {
  if (!lineRate || baud_ == 0) return;
  lineMicros_ += static_cast<uint64_t>(characters) * 10u * 1000000u / baud_;
  *nowMs_ += lineMicros_ / 1000u;
  lineMicros_ %= 1000u;
}

uint32_t SimLinkPair::OnWrite(const uint8_t* data, uint32_t count) {
  ++writes_;
  if (trace) trace(true, data, count);
  Spend(count);
  SimFeed(*sim_, data, count);
  return count;
}

uint32_t SimLinkPair::OnRead(uint8_t* buffer, uint32_t count) {
  ++reads_;
  const uint32_t n = SimTakeOutput(*sim_, buffer, count);
  Spend(n);
  if (n < count) {
    // Nothing more is coming: the read waits out its whole time-out.
    const uint32_t wait =
        timeouts_.readTotalTimeoutConstant + timeouts_.readTotalTimeoutMultiplier * count;
    *nowMs_ += wait;
    ++readTimeouts_;
    SimIdle(*sim_, wait);
  }
  if (trace) trace(false, buffer, n);
  return n;
}

void SimLinkPair::OnLineSettings(const LineSettings& settings) {
  baud_ = settings.baudRate;
  SimSetLine(*sim_, settings, true);
}

void SimLinkPair::OnTimeouts(const Timeouts& timeouts) {
  timeouts_ = timeouts;
}

void SimLinkPair::OnClose() {
  --openLinks_;
}

}  // namespace plc
