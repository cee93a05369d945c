// plcfw --identify against the simulated PLC, and the burn record read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <tuple>
#include <vector>

#include "sim_bench.h"
#include "ui/console/identify_command.h"
#include "ui/console/options.h"
#include "ui/console/record.h"

namespace plc {

namespace {

// The burn tests' simulator bench with the simulator's own defaults (no model
// register, version 1.0) and the given faults ("boot": it starts in its bootloader).
std::unique_ptr<SimBench> Rig(const char* model, const std::vector<std::string>& faults) {
  auto bench = std::make_unique<SimBench>(PlcIndexByName(model));
  bench->config.d1386 = 0;
  bench->config.version = 0x10;
  for (const std::string& f : faults)
    f == "boot" ? void(bench->config.startInBoot = true) : bench->AddFault(f.c_str());
  SimInit(*bench->sim, bench->config);
  return bench;
}

TEST(Identify, ReportsTheDeviceAndChangesNothing) {
  // Selected model, simulator settings and faults, facts expected ("key=text"), exit status.
  const std::tuple<const char*, std::vector<std::string>, std::vector<std::string>, int> cases[] = {
      // clang-format off
      {"VM500", {}, {"mode=application", "deviceId=0x3010 (VM500, VM500-AIO)", "version=V1.0 (0x10)", "fits=yes"}, 0},
      {"VM500", {"boot"}, {"mode=bootloader", "version=V1.0 (0x10)", "fits=yes"}, 0},
      {"KT4-N", {"boot"}, {"mode=bootloader", "deviceId=0x2001 (KT4-N)", "fits=yes"}, 0},
      {"KT4-W", {}, {"register=0x0000 (KT4-RV4)", "fits=no", "fitsModels=KT4-RV4"}, 1},
      {"LP4", {}, {"deviceId=0x0013 (LP4, LP32)", "register=0x0000 (LP4)", "fits=yes"}, 0},
      {"RV5-AIO", {}, {"version=V1.0 (0x10)", "fits=no", "fitsModels=KT5"}, 1},
      {"LM4", {"wrong-id:id:000F"}, {"deviceId=0x000F (LQ4)", "fits=no", "fitsModels=LQ4"}, 1},
      {"VM600", {"silent:probe"}, {"mode=no answer to the probe: NO RESPONSE @ State 1"}, 1},
      {"LM4", {"run-mode"}, {"mode=application, RUN (switch the PLC to STOP to update it)"}, 1},
      {"VM400", {"silent:version"}, {"version=no answer", "fits=no"}, 1},
      // clang-format on
  };
  for (const auto& [model, faults, facts, status] : cases) {
    SCOPED_TRACE(model + (" " + (faults.empty() ? "" : faults[0])));
    const auto rig = Rig(model, faults);
    const IdentifyReport report = IdentifySelected(rig->run, rig->host, "COM3");
    std::vector<std::string> got;
    for (const ReportFact& f : report.facts) got.push_back(f.key + "=" + f.text);
    for (const std::string& fact : facts)
      EXPECT_NE(std::find(got.begin(), got.end(), fact), got.end()) << fact;
    EXPECT_EQ(report.exitStatus, status);
    for (SimKind k : {SimKind::kErase, SimKind::kConfirm, SimKind::kBootErase, SimKind::kBootEot,
                      SimKind::kUpdate, SimKind::kFrame, SimKind::kEot})
      EXPECT_EQ(rig->sim->counters.requests[static_cast<int>(k)], 0u) << SimKindName(k);
    EXPECT_EQ(Ints(rig->pair.OpenLinks(), rig->run.totalErrCounter), Ints(0, 0));
  }
}

// A burn (one failed probe on the way) and a refusal, appended to one file and parsed back.
// The probe's failure is still counted in the success message after the reconnect.
TEST(BurnLog, RecordsEachRunOnOneLine) {
  const std::string path = ::testing::TempDir() + "burn-record.jsonl";
  (void)std::remove(path.c_str());
  for (const bool refused : {false, true}) {
    const auto rig = Rig("VM500", {"bad-lrc:probe:1"});
    rig->UseImage(refused ? std::vector<uint8_t>{'a', 'b', 'c'} : std::vector<uint8_t>(5000, 'Z'));
    std::string error;
    ASSERT_TRUE(BurnLogOpen(path.c_str(), &error)) << error;
    BurnLogBegin("burn", rig->row, "/dev/serial/by-path/x", rig->run);
    RecordingHost recorder(rig->host, rig->run, "image.bin", false);
    StartBurn(rig->run, recorder);
    BurnLogEnd(recorder.Result(), refused ? 1 : 0);
  }
  std::ifstream in(path);
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 2u);
  const char* const expected[] = {
      R"j({"action":"burn","model":"VM500","port":"/dev/serial/by-path/x","image":"image.bin",
          "imageLength":5000,"imageSha256":"3cad4dac0871e656000d39774c13a988c46fc120f5edca8091f43b74eb38b2ba",
          "caption":"Information","message":"Firmware update is SUCCESSFUL!, please REPLUG the USB cable",
          "totalErrCounter":1,"result":"success","exitStatus":0})j",
      R"j({"action":"burn","model":"VM500","port":"/dev/serial/by-path/x","image":"image.bin",
          "imageLength":3,"imageSha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
          "caption":"ERROR","message":"The file size is BELOW the MINIMUM size (4 * 1024)",
          "totalErrCounter":0,"result":"refused","exitStatus":1})j"};
  for (size_t i = 0; i < 2; ++i) {
    for (const char* key : {"start", "end"})
      EXPECT_TRUE(std::regex_match(lines[i][key].get<std::string>(),
                                   std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
    for (const char* key : {"start", "end", "elapsedSeconds", "version"}) lines[i].erase(key);
    EXPECT_EQ(lines[i], nlohmann::json::parse(expected[i]));
  }
}

}  // namespace

}  // namespace plc
