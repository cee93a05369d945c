// The status panel reads the status values while the burn thread writes
// them.  Run under ThreadSanitizer this must stay silent; elsewhere it checks
// that every sample is a value the panel can show.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sim_bench.h"

namespace {

// Lets the reader catch the run in each phase: every pause also costs a
// moment of real time (on top of its virtual seconds).
class SlowPauseHost : public SimHost {
 public:
  using SimHost::SimHost;
  void PauseSeconds(int seconds) override {
    SimHost::PauseSeconds(seconds);
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * seconds));
  }
};

struct Sample {
  int32_t elapsed, flash, progress, err, totalErr;
};

TEST(StatusPanel, SamplesTheStatusValuesDuringAWholeBurn) {
  const int row = PlcIndexByName("VM500");
  ResetRunState();
  SelectModel(row);
  VirtualClock clock;
  TestWire wire(&clock);
  auto sim = std::make_unique<PlcSim>();
  SimInit(*sim, PassingConfig(row));
  SimLinkPair pair(sim.get(), &clock.nowMs);
  SlowPauseHost host(&wire, &pair);
  const std::vector<uint8_t> image = PatternImage(4096 + 64 * 1024);
  host.UseImage(image);

  std::atomic<bool> done{false};
  std::atomic<int> taken{0};
  std::vector<Sample> samples;
  samples.reserve(100000);
  std::thread reader([&] {
    while (!done.load()) {
      // The window's seconds timer is the other writer of elapsedTime.
      if (samples.size() < samples.capacity()) {
        samples.push_back({elapsedTime, flashStatus, progress, errCounter, totalErrCounter});
      }
      taken.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  while (taken.load() == 0) std::this_thread::yield();

  std::thread burn([&] { StartBurn(host); });
  burn.join();
  done = true;
  reader.join();

  EXPECT_EQ(host.Messages().back(), "Firmware update is SUCCESSFUL!, please REPLUG the USB cable");
  EXPECT_TRUE(SimTransferOk(*sim));
  ASSERT_FALSE(samples.empty());
  for (const Sample& s : samples) {
    EXPECT_GE(s.flash, 0);
    EXPECT_LE(s.flash, 2);
    EXPECT_GE(s.progress, 0);
    EXPECT_LE(s.progress, 100);
    EXPECT_GE(s.err, 0);
    EXPECT_LE(s.err, 6);
    EXPECT_GE(s.totalErr, 0);
  }
  ExpectAllZero();
}

// The burn thread helper: the front end polls BurnInProgress to learn the end.
TEST(StatusPanel, BurnThreadRunsToTheFinish) {
  const int row = PlcIndexByName("KT4-RV4");
  ResetRunState();
  SelectModel(row);
  VirtualClock clock;
  TestWire wire(&clock);
  auto sim = std::make_unique<PlcSim>();
  SimInit(*sim, PassingConfig(row));
  SimLinkPair pair(sim.get(), &clock.nowMs);
  SimHost host(&wire, &pair);
  host.UseImage(PatternImage(2000));

  ASSERT_TRUE(StartBurnThread(host));
  int32_t maxFlash = 0;
  while (BurnInProgress()) {
    maxFlash = std::max<int32_t>(maxFlash, flashStatus);
    std::this_thread::yield();
  }
  EXPECT_LE(maxFlash, 2);
  EXPECT_EQ(host.Messages().back(), "Firmware update is SUCCESSFUL");
  ExpectAllZero();
}

}  // namespace
