// A burn against the simulated PLC; pauses and time-outs advance one virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "burn/burn.h"
#include "protocol/transfer.h"
#include "sim_device.h"
#include "sim_link.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run.h"
#include "support/test_host.h"

namespace plc {

using Ints = std::pair<long, long>;

// The run state as a box or the button enabling finds it.
struct RunSnapshot {
  int32_t elapsed, flash, progress, err, totalErr;
  bool linkOpen, imageHeld;
};
inline RunSnapshot TakeSnapshot(const Run& r) {
  return {r.elapsedTime,     r.flashStatus,        r.progress,      r.errCounter,
          r.totalErrCounter, r.hSerial != kNoLink, r.fin != nullptr};
}

// Notes the run state at each box and button enabling; records every open in the trace
// like TestHost, but hands out simulator links.
class SimHost : public TestHost {
 public:
  SimHost(TestWire* wire, SimLinkPair* pair, const Run& run)
      : TestHost(wire, run), pair_(pair), run_(run) {}
  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override {
    atBox.push_back(TakeSnapshot(run_));
    TestHost::ShowMessage(text, caption, icon);
  }
  void EnableStartButton(bool enabled) override {
    if (enabled) atEnable.push_back(TakeSnapshot(run_));
    TestHost::EnableStartButton(enabled);
  }
  LinkHandle OpenComLink(const std::string& port) override {
    return Route(TestHost::OpenComLink(port));
  }
  LinkHandle OpenUsbLink(const std::string& location) override {
    return Route(TestHost::OpenUsbLink(location));
  }
  std::vector<RunSnapshot> atBox, atEnable;

 private:
  LinkHandle Route(LinkHandle link) {
    if (link == kNoLink) return kNoLink;
    link.reset();
    return pair_->Open();
  }
  SimLinkPair* pair_;
  const Run& run_;
};

// An image whose bytes differ from block to block and from their neighbours.
inline std::vector<uint8_t> PatternImage(uint32_t length) {
  std::vector<uint8_t> image(length);
  for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 7u + (i >> 8) + 3u);
  return image;
}

inline void ExpectAllZero(const Run& r) {
  EXPECT_EQ(
      std::vector<long>({r.elapsedTime, r.flashStatus, r.progress, r.errCounter, r.totalErrCounter,
                         r.hSerial != kNoLink, r.fin != nullptr, r.BurnInProgress()}),
      std::vector<long>(8, 0));
}

struct SimBench {
  // A simulator that lets a run of the row succeed; small images end in filler.
  explicit SimBench(int selectedRow) : row(selectedRow), config(SimDefaultConfig(row)) {
    run.SetSelectedComPort("COM3");
    run.SelectModel(row);
    // The register that tells the row's model from the others of its ID
    // says this model (1 is on none of the table's lists).
    const RegisterTell& tell = plcList[row].tell;
    const uint16_t own = tell.valueIn ? tell.values[0] : 1;
    if (tell.reg == ModelRegister::kD1386) config.d1386 = own;
    if (tell.reg == ModelRegister::kD1148) config.d1148 = own;
    config.version = 0x12;
  }
  void AddFault(const char* text) {
    std::string why;
    ASSERT_TRUE(SimAddFault(config, text, &why)) << text << ": " << why;
  }
  void UseSmallImage() { UseImage(PatternImage(Tail() != 0 ? Tail() + 612 : 3 * 1024 + 50)); }
  uint32_t Tail() const { return plcList[row].reservedTail; }
  void UseImage(const std::vector<uint8_t>& bytes) { host.UseImage(image = bytes); }
  void UseEmbeddedImage() {
    const FirmwareImage embedded = EmbeddedFirmwareImage();
    UseImage({embedded.data, embedded.data + embedded.length});
  }
  void Burn() { SimInit(*sim, config), StartBurn(run, host); }
  std::vector<uint8_t> Received() const {
    return std::vector<uint8_t>(sim->image.begin(), sim->image.begin() + sim->imageLength);
  }
  // What the row sends (less its reserved tail), filled up to whole frames.
  std::vector<uint8_t> Expected() const {
    std::vector<uint8_t> sent(image.begin(), image.end() - Tail());
    while (sent.size() % static_cast<size_t>(BlockLayoutOf(row, 0x10000).dataSize) != 0)
      sent.push_back(0x1A);  // filler
    return sent;
  }

  int row;
  SimConfig config;
  std::vector<uint8_t> image;
  plc::Run run;
  VirtualClock clock;
  TestWire wire{&clock};
  std::unique_ptr<PlcSim> sim = std::make_unique<PlcSim>();
  SimLinkPair pair{sim.get(), &clock.nowMs};
  SimHost host{&wire, &pair, run};
};

}  // namespace plc
