// An in-memory link pair: the tool's Link on one end, a simulated PLC on the
// other, in one process on virtual time.
//
// A read that cannot be satisfied returns what there is at once and moves the
// virtual clock on by the read total time-out in force, so a burn with many
// time-outs runs in milliseconds while the clock shows what it would have
// cost.  Line settings go to the simulator, which treats traffic at a wrong
// speed as noise; every Open() is a reconnect (the replug or power cycle).
// The clock is a plain millisecond counter that a test may share with its
// host, so that pauses and time-outs add up on one clock.
#pragma once

#include <cstdint>
#include <functional>

#include "port/link.h"
#include "sim_device.h"

namespace plc {

class SimLinkPair {
 public:
  // nowMs: the clock to advance; the pair keeps its own when null.
  explicit SimLinkPair(PlcSim* sim, uint64_t* nowMs = nullptr);

  // A new link to the simulator, owned by the caller.
  // Returns kNoLink while failOpen is set.
  LinkHandle Open();

  PlcSim& Sim() { return *sim_; }
  uint64_t NowMs() const { return *nowMs_; }
  uint64_t* Clock() { return nowMs_; }
  int OpenLinks() const { return openLinks_; }
  uint32_t Opens() const { return opens_; }
  uint32_t Writes() const { return writes_; }
  uint32_t Reads() const { return reads_; }
  uint32_t ReadTimeouts() const { return readTimeouts_; }

  // Opens fail while set (a cable left unplugged).
  bool failOpen = false;
  // When set, every character costs its time on a real line at the applied
  // speed (10 bit times); otherwise only time-outs move the clock.
  bool lineRate = false;
  // Sees every write (toDevice) and every read result, for traces.
  std::function<void(bool toDevice, const uint8_t* data, uint32_t count)> trace;

  // The Link side.
  uint32_t OnWrite(const uint8_t* data, uint32_t count);
  uint32_t OnRead(uint8_t* buffer, uint32_t count);
  void OnLineSettings(const LineSettings& settings);
  void OnTimeouts(const Timeouts& timeouts);
  void OnClose();

 private:
  void Spend(uint32_t characters);

  PlcSim* sim_;
  uint64_t ownClock_ = 0;
  uint64_t* nowMs_;
  uint64_t lineMicros_ = 0;
  Timeouts timeouts_ = kLongTimeouts;
  uint32_t baud_ = 9600;
  int openLinks_ = 0;
  uint32_t opens_ = 0;
  uint32_t writes_ = 0;
  uint32_t reads_ = 0;
  uint32_t readTimeouts_ = 0;
};

class SimLink : public Link {
 public:
  explicit SimLink(SimLinkPair* pair) : pair_(pair) {}
  ~SimLink() override { pair_->OnClose(); }
  uint32_t Write(const uint8_t* data, uint32_t count) override {
    return pair_->OnWrite(data, count);
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override { return pair_->OnRead(buffer, count); }
  void ApplyLineSettings(const LineSettings& settings) override { pair_->OnLineSettings(settings); }
  void ApplyTimeouts(const Timeouts& timeouts) override { pair_->OnTimeouts(timeouts); }

 private:
  SimLinkPair* pair_;
};

}  // namespace plc
