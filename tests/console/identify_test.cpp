// plcfw --identify against the simulated PLC, and the burn record read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <tuple>

#include "engine/burn.h"
#include "engine/models.h"
#include "engine/run_state.h"
#include "sim_link.h"
#include "support/test_host.h"
#include "ui/console/console.h"

namespace {

using Ints = std::pair<long, long>;

// A simulator for the row (with the given settings and faults) behind every open.
struct SimRig : TestHost {
  SimRig(const char* model, const std::vector<std::string>& faults) : TestHost(&wire) {
    const int row = PlcIndexByName(model);
    SelectModel(row);
    SetSelectedComPort("COM3");
    SimConfig config = SimDefaultConfig(row);
    for (const std::string& f : faults) {
      const auto v = static_cast<uint16_t>(std::strtoul(f.c_str() + f.find('=') + 1, nullptr, 16));
      if (f == "boot")
        config.startInBoot = true;
      else if (f.rfind("d1386=", 0) == 0)
        config.d1386 = v;
      else if (f.rfind("d1148=", 0) == 0)
        config.d1148 = v;
      else if (f.rfind("version=", 0) == 0)
        config.version = static_cast<uint8_t>(v);
      else
        EXPECT_TRUE(SimAddFault(config, f.c_str(), nullptr, 0)) << f;
    }
    SimInit(*sim, config);
  }
  LinkHandle OpenComLink(const char*) override { return pair.Open(); }
  LinkHandle OpenUsbLink() override { return pair.Open(); }
  uint32_t Count(SimKind kind) const { return sim->counters.requests[static_cast<int>(kind)]; }
  VirtualClock clock;
  TestWire wire{&clock};
  std::unique_ptr<PlcSim> sim = std::make_unique<PlcSim>();
  SimLinkPair pair{sim.get(), &clock.nowMs};
};

TEST(Identify, ReportsTheDeviceAndChangesNothing) {
  // Selected model, simulator settings and faults, facts expected ("key=text"), exit status.
  const std::tuple<const char*, std::vector<std::string>, std::vector<std::string>, int> cases[] = {
      // clang-format off
      {"VM500", {"version=12"}, {"mode=application", "deviceId=0x3010 (VM500, VM500-AIO)", "version=V1.2 (0x12)", "fits=yes"}, 0},
      {"VM500", {"boot"}, {"mode=bootloader", "version=V1.0 (0x10)", "fits=yes"}, 0},
      {"KT4-N", {"boot"}, {"mode=bootloader", "deviceId=0x2001 (KT4-N)", "fits=yes"}, 0},
      {"KT4-W", {}, {"register=0x0000 (KT4-RV4)", "fits=no", "fitsModels=KT4-RV4"}, 1},
      {"LP32", {"d1148=1"}, {"deviceId=0x0013 (LP4, LP32)", "register=0x0001 (LP32)", "fits=yes"}, 0},
      {"RV5-AIO", {"version=10"}, {"version=V1.0 (0x10)", "fits=no", "fitsModels=KT5"}, 1},
      {"LM4", {"wrong-id:id:000F"}, {"deviceId=0x000F (LQ4)", "fits=no", "fitsModels=LQ4"}, 1},
      {"VM600", {"silent:probe"}, {"mode=no answer to the probe: NO RESPONSE @ State 1"}, 1},
      {"LM4", {"run-mode"}, {"mode=no answer to the probe: PLC in RUN MODE"}, 1},
      {"VM400", {"silent:version"}, {"version=no answer", "fits=no"}, 1},
      // clang-format on
  };
  for (const auto& [model, faults, facts, status] : cases) {
    SCOPED_TRACE(model + (" " + (faults.empty() ? "" : faults[0])));
    SimRig rig(model, faults);
    const IdentifyReport report = IdentifySelected(rig, "COM3");
    std::vector<std::string> got;
    for (const ReportFact& f : report.facts) got.push_back(f.key + "=" + f.text);
    for (const std::string& fact : facts)
      EXPECT_NE(std::find(got.begin(), got.end(), fact), got.end()) << fact;
    EXPECT_EQ(report.exitStatus, status);
    for (SimKind k : {SimKind::kErase, SimKind::kConfirm, SimKind::kBootErase, SimKind::kBootEot,
                      SimKind::kUpdate, SimKind::kFrame, SimKind::kEot})
      EXPECT_EQ(rig.Count(k), 0u) << SimKindName(k);
    EXPECT_EQ(Ints(rig.pair.OpenLinks(), totalErrCounter), Ints(0, 0));
  }
}

// A burn (one failed probe on the way) and a refusal, appended to one file and parsed back.
TEST(BurnLog, RecordsEachRunOnOneLine) {
  const std::string path = ::testing::TempDir() + "burn-record.jsonl";
  (void)std::remove(path.c_str());
  for (const bool refused : {false, true}) {
    SimRig rig("VM500", {"bad-lrc:probe:1"});
    rig.UseImage(refused ? std::vector<uint8_t>{'a', 'b', 'c'} : std::vector<uint8_t>(5000, 'Z'));
    std::string error;
    ASSERT_TRUE(BurnLogOpen(path.c_str(), &error)) << error;
    BurnLogBegin("burn", selectedPLCIdx, "/dev/serial/by-path/x");
    RecordingHost recorder(rig, "image.bin", false);
    StartBurn(recorder);
    BurnLogEnd(recorder.Result(refused ? 1 : 0), refused ? 1 : 0);
  }
  std::ifstream in(path);
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 2u);
  const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)";
  const std::tuple<const char*, int, const char*, const char*, int> expected[] = {
      {"success", 5000, "3cad4dac0871e656000d39774c13a988c46fc120f5edca8091f43b74eb38b2ba",
       "Firmware update is SUCCESSFUL!, please REPLUG the USB cable", 1},
      {"refused", 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
       kImageTooShortMessage, 0},
  };
  for (size_t i = 0; i < 2; ++i) {
    const nlohmann::json& r = lines[i];
    const auto& [result, length, sha, message, errors] = expected[i];
    EXPECT_EQ(r["result"], result);
    EXPECT_EQ(r["exitStatus"], i);
    EXPECT_EQ(Ints(r["imageLength"], r["totalErrCounter"]), Ints(length, errors));
    EXPECT_EQ(r["imageSha256"], sha);
    EXPECT_EQ(r["message"], message);
    EXPECT_EQ(r["model"].get<std::string>() + r["port"].get<std::string>() +
                  r["image"].get<std::string>(),
              "VM500/dev/serial/by-path/ximage.bin");
    EXPECT_TRUE(std::regex_match(r["start"].get<std::string>(), std::regex(time)));
    EXPECT_TRUE(std::regex_match(r["end"].get<std::string>(), std::regex(time)));
    EXPECT_GE(r["elapsedSeconds"].get<double>(), 0.0);
  }
}

}  // namespace
