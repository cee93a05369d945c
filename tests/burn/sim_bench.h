// A burn against the simulated PLC; pauses and time-outs advance one virtual clock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "burn_test_util.h"
#include "fake_plc.h"
#include "sim_device.h"
#include "sim_link.h"

// Records every open in the trace like TestHost, but hands out simulator links.
class SimHost : public RecordingHost {
 public:
  SimHost(TestWire* wire, SimLinkPair* pair) : RecordingHost(wire), pair_(pair) {}
  LinkHandle OpenComLink(const char* port) override { return Route(TestHost::OpenComLink(port)); }
  LinkHandle OpenUsbLink() override { return Route(TestHost::OpenUsbLink()); }

 private:
  LinkHandle Route(LinkHandle link) {
    return link == kNoLink ? kNoLink : (CloseLink(link), pair_->Open());
  }
  SimLinkPair* pair_;
};

// A simulator that lets a run of the row succeed (registers, bootloader version).
inline SimConfig PassingConfig(int row) {
  SimConfig config = SimDefaultConfig(row);
  const std::string name = plcList[row];
  if (name == "KT4-W") config.d1386 = 0x4138;
  if (name == "LP32" || name == "LN30") config.d1148 = 1;
  config.version = 0x12;
  return config;
}

struct SimBench {
  explicit SimBench(int selectedRow) : row(selectedRow) {
    ResetRunState();
    SelectModel(row);
    config = PassingConfig(row);
  }
  void AddFault(const char* text) {
    char error[128] = {};
    ASSERT_TRUE(SimAddFault(config, text, error, sizeof error)) << text << ": " << error;
  }
  void UseSmallImage() { UseImage(PatternImage(SmallImageLength(row))); }
  void UseImage(const std::vector<uint8_t>& bytes) {
    image = bytes;
    host.UseImage(image);
  }
  void UseEmbeddedImage() {
    const FirmwareImage embedded = EmbeddedFirmwareImage();
    image.assign(embedded.data, embedded.data + embedded.length);
  }
  void Run() {
    SimInit(*sim, config);
    StartBurn(host);
  }
  std::vector<uint8_t> Received() const {
    return std::vector<uint8_t>(sim->image.begin(), sim->image.begin() + sim->imageLength);
  }
  std::vector<uint8_t> Expected() const { return Padded(SentPart(image, row), row); }

  int row;
  SimConfig config;
  std::vector<uint8_t> image;
  VirtualClock clock;
  TestWire wire{&clock};
  std::unique_ptr<PlcSim> sim = std::make_unique<PlcSim>();
  SimLinkPair pair{sim.get(), &clock.nowMs};
  SimHost host{&wire, &pair};
};
