#include "ui/port_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plc {

namespace {

// nullptr: refused, with a reason.
TEST(ParseWindowArgs, TakesOnlyAPort) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{}, ""},
      {{"--port", "\\\\.\\COM12"}, "\\\\.\\COM12"},
      {{"--port=COM3"}, "COM3"},
      {{"--port"}, nullptr},
      {{"--port="}, nullptr},
      {{"--port", ""}, nullptr},
      {{"--portx=COM3"}, nullptr},
  };
  for (const auto& [args, want] : cases) {
    std::vector<const char*> argv{"plcfwupdate.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string port = "stale";
    std::string error;
    const bool ok = ParseWindowArgs(static_cast<int>(argv.size()), argv.data(), &port, &error);
    const std::string got = ok ? port : error.empty() ? "no reason" : "refused";
    EXPECT_EQ(got, want != nullptr ? want : "refused") << argv.back();
  }
}

TEST(UsbRowLabels, TellSeveralDevicesApart) {
  using Rows = std::vector<std::string>;
  const std::pair<Rows, Rows> cases[] = {
      {{}, {}},
      {{"Port_#0002.Hub_#0001"}, {"USB"}},
      {{"Port_#0002.Hub_#0001", "Port_#0010.Hub_#0003"}, {"Port 2 (hub 1)", "Port 10 (hub 3)"}},
      // Another format as it is; none, or one already taken, by the place.
      {{"Front panel", "", "Port_#0001.Hub_#0001x", "Front panel"},
       {"USB Front panel", "USB 2", "USB Port_#0001.Hub_#0001x", "USB 4"}},
  };
  for (const auto& [locations, labels] : cases) EXPECT_EQ(UsbRowLabels(locations), labels);
}

TEST(KeptRow, KeepsTheSelectionElseTheDefault) {
  const std::vector<std::string> rows{"COM10", "COM12", "COM3"};
  EXPECT_EQ(KeptRow(rows, "COM3", "COM12"), 2);
  EXPECT_EQ(KeptRow(rows, "COM4", "COM12"), 1);
  EXPECT_EQ(KeptRow(rows, "COM4", ""), 0);
  EXPECT_EQ(KeptRow({}, "COM3", "COM3"), -1);
}

// A change seen during a run waits for its end, and is applied once.
TEST(PortListRefresh, NeverDuringARun) {
  PortListRefresh refresh;
  EXPECT_TRUE(refresh.DeviceChanged(false));
  EXPECT_FALSE(refresh.Tick(false));
  EXPECT_FALSE(refresh.DeviceChanged(true));
  EXPECT_FALSE(refresh.Tick(true));
  EXPECT_TRUE(refresh.Tick(false));
  EXPECT_FALSE(refresh.Tick(false));
  // Applied at once after the run: nothing left for the tick.
  EXPECT_FALSE(refresh.DeviceChanged(true));
  EXPECT_TRUE(refresh.DeviceChanged(false));
  EXPECT_FALSE(refresh.Tick(false));
}

}  // namespace

}  // namespace plc
