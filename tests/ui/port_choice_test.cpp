#include "ui/port_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plc {

namespace {

TEST(ParseWindowArgs, TakesOnlyAPort) {
  const std::string needs = "refused: --port needs a device path or a COM port";
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{}, ""},
      {{"--port", "\\\\.\\COM12"}, "\\\\.\\COM12"},
      {{"--port=COM3"}, "COM3"},
      {{"-p", "COM4"}, "COM4"},
      {{"--port", "COM3", "-p", "COM4"}, "COM4"},  // the last one counts
      {{"--port"}, needs},
      {{"--port="}, needs},
      {{"--port", ""}, needs},
      {{"--portx=COM3"}, "refused: unknown argument: --portx=COM3; did you mean --port?"},
      {{"COM3"}, "refused: unknown argument: COM3"},
  };
  for (const auto& [args, want] : cases) {
    std::vector<const char*> argv{"plcfwupdate.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string port = "stale";
    std::string error;
    const bool ok = ParseWindowArgs(static_cast<int>(argv.size()), argv.data(), &port, &error);
    EXPECT_EQ(ok ? port : "refused: " + error, want) << argv.back();
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
