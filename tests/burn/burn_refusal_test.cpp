// Runs that end before the first probe: the image, the size check, the open,
// and the guard against a second run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "burn_test_util.h"
#include "fake_plc.h"

namespace {

struct EarlyEndCase {
  const char* model;
  uint32_t length;  // 0: the image cannot be loaded
  bool openFails;
  const char* port;
  const char* label;  // what the host says it tried to open; "" for the port
  std::string message;
};

void PrintTo(const EarlyEndCase& c, std::ostream* os) {
  *os << c.model << " " << c.length;
}

class EarlyEnd : public ::testing::TestWithParam<EarlyEndCase> {
 protected:
  void SetUp() override { ResetRunState(); }
  VirtualClock clock;
  TestWire wire{&clock};
  FakePlc plc{wire};
  RecordingHost host{&wire};
};

const std::string kLongPath =
    "/dev/serial/by-id/usb-Example_Corporation_Programmable_Controller_Interface_"
    "0123456789ABCDEF0123456789ABCDEF-if00-port0-with-a-rather-long-name-that-goes-on-"
    "and-on-past-any-thirty-byte-buffer-0123456789012345678901234567890123456789";

INSTANTIATE_TEST_SUITE_P(
    Cases, EarlyEnd,
    ::testing::Values(EarlyEndCase{"VM500", 0, false, "USB", "", kImageNotLoadedMessage},
                      EarlyEndCase{"KT4-RV4", 0, false, "COM3", "", kImageNotLoadedMessage},
                      // One byte over each limit.
                      EarlyEndCase{"KT4-W", 0x80001, false, "COM3", "",
                                   "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 4)"},
                      EarlyEndCase{"LN30", 0xE0001, false, "USB", "",
                                   "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 7)"},
                      EarlyEndCase{"36RV4-AIO", 0x3001, false, "COM3", "",
                                   "The file size EXCEEDS the MAXIMUM size (4 * 1024)"},
                      EarlyEndCase{"RV5-AIO", 0xA001, false, "USB", "",
                                   "The file size EXCEEDS the MAXIMUM size (40 * 1024)"},
                      EarlyEndCase{"VM400", 0x1FB001, false, "USB", "",
                                   "The file size EXCEEDS the MAXIMUM size (2028 * 1024)"},
                      EarlyEndCase{"LQ", 0x78801, false, "COM3", "",
                                   "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)"},
                      // The VM group needs the 4,096 bytes it leaves out.
                      EarlyEndCase{"VM500", 4095, false, "USB", "", kImageTooShortMessage},
                      EarlyEndCase{"BRK-T", 1, false, "USB", "", kImageTooShortMessage},
                      // Equal passes the size check; the open then fails.
                      EarlyEndCase{"KT4-W", 0x80000, true, "COM3", "", "CANNOT open COM3 Port!!!"},
                      EarlyEndCase{"36RV4-AIO", 0x3000, true, "COM7", "",
                                   "CANNOT open COM7 Port!!!"},
                      EarlyEndCase{"VM600", 0x1FB000, true, "USB", "", "CANNOT open USB Port!!!"},
                      EarlyEndCase{"KT5", 4096, true, "USB", "", "CANNOT open USB Port!!!"},
                      // Only the VM group has the lower bound.
                      EarlyEndCase{"VM500-AIO", 1, true, "USB", "", "CANNOT open USB Port!!!"},
                      EarlyEndCase{"LP4", 1, true, "", "", "CANNOT open  Port!!!"},
                      // A USB model says USB whatever the port text.
                      EarlyEndCase{"LN", 1000, true, "COM3", "", "CANNOT open USB Port!!!"},
                      EarlyEndCase{"TW5", 1000, true, "ttyUSB0", kLongPath.c_str(),
                                   "CANNOT open " + kLongPath + " Port!!!"}));

TEST_P(EarlyEnd, KillsTimerShowsBoxEnablesButtonAndReleasesImage) {
  const EarlyEndCase& c = GetParam();
  const int row = PlcIndexByName(c.model);
  SelectModel(row);
  SetSelectedComPort(c.port);
  host.label = c.label;
  if (c.length == 0) {
    host.UseMissingImage();
  } else {
    host.UseImage(PatternImage(c.length));
  }
  host.failOpen = [&] { return c.openFails; };
  elapsedTime = 7;

  EXPECT_EQ(StartBurn(host), 0);

  std::vector<std::string> expected{"disable"};
  if (c.openFails) expected.push_back(IsUsbModel(row) ? "open:USB" : std::string("open:") + c.port);
  expected.push_back("kill");
  expected.push_back("box:ERROR:" + c.message);
  expected.push_back("enable");
  EXPECT_EQ(host.Trace(), expected);
  ASSERT_EQ(host.atBox.size(), 1u);
  EXPECT_EQ(host.Events()[expected.size() - 2].icon, BoxIcon::kError);
  EXPECT_EQ(host.atBox[0].elapsed, 7) << "the seconds are cleared only after the box";
  ASSERT_EQ(host.atEnable.size(), 1u);
  // The size refusal enables the button before it clears the seconds; the
  // open failure clears them first.
  EXPECT_EQ(host.atEnable[0].elapsed, c.openFails ? 0 : 7);
  EXPECT_EQ(host.atEnable[0].imageHeld, c.length != 0) << "the image is released last";
  EXPECT_TRUE(wire.Writes().empty());
  EXPECT_EQ(wire.OpenLinks(), 0);
  ExpectAllZero();
}

TEST(EarlyEndText, ComLabelOfAnyLengthIsShownWhole) {
  ResetRunState();
  for (size_t length : {1u, 18u, 19u, 200u, 4096u}) {
    VirtualClock clock;
    TestWire wire(&clock);
    RecordingHost host(&wire);
    SelectModel(PlcIndexByName("KT4-RV4"));
    host.UseImage(PatternImage(100));
    host.label = std::string(length, 'p');
    host.failOpen = [] { return true; };
    StartBurn(host);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0], "CANNOT open " + host.label + " Port!!!");
  }
}

TEST(EarlyEndText, EmbeddedImagePassesOnlyForTheVmGroup) {
  for (int row = 0; row < kPlcCount; ++row) {
    ResetRunState();
    VirtualClock clock;
    TestWire wire(&clock);
    RecordingHost host(&wire);
    SelectModel(row);
    host.failOpen = [] { return true; };
    StartBurn(host);
    ASSERT_EQ(host.Messages().size(), 1u);
    const bool refused = host.Messages()[0] == SizeRuleOf(row).message;
    EXPECT_EQ(refused, !IsVmGroup(row)) << plcList[row];
  }
}

// A start while a run is under way changes nothing, on the same thread (a
// front end re-entered from inside a box) or from another thread.
TEST(RunGuard, SecondStartWhileRunningChangesNothing) {
  ResetRunState();
  VirtualClock clock;
  TestWire wire(&clock);
  RecordingHost host(&wire);
  RecordingHost other(&wire);
  SelectModel(PlcIndexByName("VM500"));
  host.UseMissingImage();
  bool inside = false;
  host.onMessage = [&](const std::string&) {
    inside = BurnInProgress();
    EXPECT_EQ(StartBurn(other), 0);
    EXPECT_FALSE(StartBurnThread(other));
  };
  EXPECT_FALSE(BurnInProgress());
  StartBurn(host);
  EXPECT_TRUE(inside);
  EXPECT_TRUE(other.Events().empty());
  EXPECT_EQ(host.Trace().size(), 4u);
  EXPECT_FALSE(BurnInProgress());
}

TEST(RunGuard, BurnThreadHoldsTheGuardUntilItsFinish) {
  ResetRunState();
  VirtualClock clock;
  TestWire wire(&clock);
  RecordingHost host(&wire);
  RecordingHost other(&wire);
  SelectModel(PlcIndexByName("VM500"));
  host.UseMissingImage();
  std::promise<void> boxShown;
  std::promise<void> boxClosed;
  std::shared_future<void> closed = boxClosed.get_future().share();
  host.onMessage = [&](const std::string&) {
    boxShown.set_value();
    closed.wait();
  };

  ASSERT_TRUE(StartBurnThread(host));
  boxShown.get_future().wait();
  EXPECT_TRUE(BurnInProgress());
  EXPECT_FALSE(StartBurnThread(other));
  EXPECT_EQ(StartBurn(other), 0);
  EXPECT_TRUE(other.Events().empty());
  boxClosed.set_value();
  while (BurnInProgress()) std::this_thread::yield();
  EXPECT_EQ(host.Trace(),
            (std::vector<std::string>{
                "disable", "kill", "box:ERROR:" + std::string(kImageNotLoadedMessage), "enable"}));
  ExpectAllZero();
}

}  // namespace
