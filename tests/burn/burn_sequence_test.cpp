// The passes of a run against a scripted PLC: every message that a PLC can
// provoke, in order with the timer kill, the button and the reset.
#include <gtest/gtest.h>

#include <algorithm>

#include "burn_test_util.h"
#include "fake_plc.h"

namespace {

using Fault = std::function<std::optional<std::string>(const std::string&, int)>;

// Answers one kind of request with the given reply, every time.
Fault Always(const std::string& kind, const std::string& reply) {
  return [kind, reply](const std::string& k, int) -> std::optional<std::string> {
    if (k == kind) return reply;
    return std::nullopt;
  };
}

class BurnRun : public ::testing::Test {
 protected:
  void SetUp() override { ResetRunState(); }

  void Select(const char* model) {
    row = PlcIndexByName(model);
    ASSERT_GE(row, 0) << model;
    SelectModel(row);
    plc.appId = plcID[row];
    plc.bootId = BootIdOf(row);
    plc.silentErase = IsPowerCycleModel(row);
    // Registers that say the device is the selected model.
    plc.d1386 = row == PlcIndexByName("KT4-W") ? 0x4138 : 0;
    plc.d1148 = row == PlcIndexByName("LP32") || row == PlcIndexByName("LN30") ? 1 : 0;
    image = PatternImage(SmallImageLength(row));
    host.UseImage(image);
  }

  // Trace entries from the first box on.
  std::vector<std::string> FromFirstBox() const {
    std::vector<std::string> trace = host.Trace();
    for (size_t i = 0; i < trace.size(); ++i) {
      if (trace[i].rfind("box:", 0) == 0)
        return std::vector<std::string>(trace.begin() + static_cast<std::ptrdiff_t>(i),
                                        trace.end());
    }
    return {};
  }

  // The finish: status values cleared before the button, the link closed
  // and the image released after it.
  void ExpectFinishOrder() {
    ASSERT_FALSE(host.atEnable.empty());
    const StatusSnapshot& s = host.atEnable.back();
    EXPECT_EQ(s.elapsed, 0);
    EXPECT_EQ(s.flash, 0);
    EXPECT_EQ(s.progress, 0);
    EXPECT_EQ(s.err, 0);
    EXPECT_EQ(s.totalErr, 0);
    EXPECT_TRUE(s.linkOpen);
    EXPECT_TRUE(s.imageHeld);
    EXPECT_EQ(wire.OpenLinks(), 0);
    ExpectAllZero();
  }

  VirtualClock clock;
  TestWire wire{&clock};
  FakePlc plc{wire};
  RecordingHost host{&wire};
  std::vector<uint8_t> image;
  int row = -1;
};

struct FaultCase {
  const char* model;
  std::function<void(FakePlc&)> arrange;
  std::string message;
  bool boxBeforeKill = false;  // the bootloader-version refusal
  bool erased = false;         // the erase/enter-boot command was accepted
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.model << ": " << c.message;
}

class FaultEnds : public BurnRun, public ::testing::WithParamInterface<FaultCase> {};

void Fails(FakePlc& plc, const std::string& kind, const std::string& reply) {
  plc.fault = Always(kind, reply);
}

const std::string kWrongType = "PLC type is WRONG";

INSTANTIATE_TEST_SUITE_P(
    Probe, FaultEnds,
    ::testing::Values(
        FaultCase{"KT4-RV4", [](FakePlc& p) { Fails(p, "probe", ""); }, "NO RESPONSE @ State 1"},
        FaultCase{"VM500", [](FakePlc& p) { Fails(p, "probe", Reply64(0x07)); },
                  "NO RESPONSE @ State 1"},
        FaultCase{"LM4", [](FakePlc& p) { Fails(p, "probe", Refusal(1, 9)); }, "PLC in RUN MODE"},
        FaultCase{"LM4", [](FakePlc& p) { Fails(p, "probe", Refusal(2, 1)); }, kWrongType},
        FaultCase{"LN", [](FakePlc& p) { Fails(p, "probe", Refusal(2, 2)); }, kWrongType},
        FaultCase{"36RV4-AIO", [](FakePlc& p) { Fails(p, "probe", Refusal(2, 7)); }, kWrongType},
        FaultCase{"LQ", [](FakePlc& p) { Fails(p, "probe", Refusal(3, 0)); },
                  "UNKNOWN ERROR CODE @ State 1"}));

INSTANTIATE_TEST_SUITE_P(
    DeviceId, FaultEnds,
    ::testing::Values(
        FaultCase{"LQ4", [](FakePlc& p) { Fails(p, "id", ""); }, "NO RESPONSE @ State 2"},
        // Another device type arrives with status 0x06: no response, not a type error.
        FaultCase{"LP4-P", [](FakePlc& p) { p.appId = 0x2003; }, "NO RESPONSE @ State 2"},
        FaultCase{"TW5", [](FakePlc& p) { Fails(p, "id", Refusal(2, 2)); }, kWrongType},
        FaultCase{"VM600", [](FakePlc& p) { Fails(p, "id", Refusal(2, 3)); }, kWrongType},
        FaultCase{"KT4-G", [](FakePlc& p) { Fails(p, "id", Refusal(2, 1)); }, kWrongType},
        FaultCase{"KT-RV-TW4", [](FakePlc& p) { Fails(p, "id", Refusal(1, 0)); },
                  "UNKNOWN ERROR CODE @ State 2"}));

INSTANTIATE_TEST_SUITE_P(
    ModelCheck, FaultEnds,
    ::testing::Values(FaultCase{"KT4-RV4", [](FakePlc& p) { p.d1386 = 0x4138; },
                                "Check PLC, KT4-RV4 is different than KT4-W"},
                      FaultCase{"KT4-W", [](FakePlc& p) { p.d1386 = 0x1234; },
                                "Check PLC, KT4-RV4 is different than KT4-W"},
                      // A failed read counts as KT4-RV4.
                      FaultCase{"KT4-W", [](FakePlc& p) { Fails(p, "d1386", ""); },
                                "Check PLC, KT4-RV4 is different than KT4-W"},
                      FaultCase{"LP4", [](FakePlc& p) { p.d1148 = 1; },
                                "Check PLC, 16LP4 is different than 32LP4"},
                      FaultCase{"LP32", [](FakePlc& p) { p.d1148 = 0; },
                                "Check PLC, 32LP4 is different than 16LP4"},
                      FaultCase{"LN", [](FakePlc& p) { p.d1148 = 0x8000; },
                                "Check PLC, 16LN is different than 30LN"},
                      FaultCase{"LN30", [](FakePlc& p) { Fails(p, "d1148", ""); },
                                "Check PLC, 30LN is different than 16LN"}));

INSTANTIATE_TEST_SUITE_P(
    VersionGate, FaultEnds,
    ::testing::Values(
        FaultCase{"VM500-AIO", [](FakePlc& p) { p.appVersion = 0x09; },
                  "The bootloader version is V0.9, do not support AIO FW update", true},
        FaultCase{"VM500-AIO", [](FakePlc& p) { Fails(p, "version", ""); },
                  "The bootloader version is unknown, do not support AIO FW update", true},
        FaultCase{"RV5-AIO", [](FakePlc& p) { p.appVersion = 0x10; },
                  "The bootloader version is V1.0, do not support AIO FW update", true},
        FaultCase{"RV5-AIO", [](FakePlc& p) { p.appVersion = 0x11; },
                  "The bootloader version is unknown, do not support AIO FW update", true},
        // The same gate in boot mode, after the application-mode check passed.
        FaultCase{"VM500-AIO",
                  [](FakePlc& p) {
                    p.appVersion = 0x10;
                    p.bootVersion = 0x09;
                  },
                  "The bootloader version is V0.9, do not support AIO FW update", true, true},
        FaultCase{"RV5-AIO",
                  [](FakePlc& p) {
                    p.boot = true;
                    p.bootVersion = 0x10;
                  },
                  "The bootloader version is V1.0, do not support AIO FW update", true, true}));

INSTANTIATE_TEST_SUITE_P(
    Erase, FaultEnds,
    ::testing::Values(
        FaultCase{"LM4", [](FakePlc& p) { Fails(p, "erase", ""); }, "NO RESPONSE @ State 3"},
        FaultCase{"VM500", [](FakePlc& p) { Fails(p, "erase", Reply64(0x05)); },
                  "NO RESPONSE @ State 3"},
        FaultCase{"LQ", [](FakePlc& p) { Fails(p, "erase", Refusal(2, 3)); }, kWrongType},
        FaultCase{"LN-P", [](FakePlc& p) { Fails(p, "erase", Refusal(2, 4)); }, kWrongType},
        FaultCase{"KT4-N", [](FakePlc& p) { Fails(p, "erase", Refusal(2, 0)); }, kWrongType},
        FaultCase{"BRK-T", [](FakePlc& p) { Fails(p, "erase", Refusal(5, 0)); },
                  "UNKNOWN ERROR CODE @ State 3"}));

INSTANTIATE_TEST_SUITE_P(
    BootMode, FaultEnds,
    ::testing::Values(
        FaultCase{"KT4-RV4", [](FakePlc& p) { p.bootId = 0x000E; }, kWrongType, false, true},
        // Serial models compare without bit 15; USB models with it.
        FaultCase{"KT4-N", [](FakePlc& p) { p.bootId = 0xA001; }, kWrongType, false, true},
        FaultCase{"LN-P", [](FakePlc& p) { p.bootId = 0x2002; }, kWrongType, false, true},
        FaultCase{"VM500", [](FakePlc& p) { Fails(p, "VERSION", ""); },
                  "PLC DOES NOT respond to the version read", false, true},
        FaultCase{"KT5", [](FakePlc& p) { Fails(p, "ERASE", "\x15"); },
                  "PLC DOES NOT respond to the erasing signal", false, true},
        FaultCase{"LP4-P", [](FakePlc& p) { Fails(p, "EOT", ""); },
                  "PLC DOES NOT respond to the erasing signal", false, true},
        FaultCase{"LN30", [](FakePlc& p) { Fails(p, "UPDATE", ""); },
                  "PLC DOES NOT respond to the update signal", false, true},
        FaultCase{"VM400", [](FakePlc& p) { Fails(p, "frame", "\x15"); },
                  "Firmware update is FAILED", false, true},
        FaultCase{"RV4-TRK",
                  [](FakePlc& p) {
                    p.fault = [](const std::string& k, int seen) -> std::optional<std::string> {
                      if (k == "EOT" && seen >= 1) return "";  // the transfer's end mark
                      return std::nullopt;
                    };
                  },
                  "Firmware update is FAILED", false, true}));

TEST_P(FaultEnds, ShowsItsMessageAfterTheTimerKillAndFinishes) {
  const FaultCase& c = GetParam();
  Select(c.model);
  c.arrange(plc);
  elapsedTime = 3;

  EXPECT_EQ(StartBurn(host), 0);

  const std::string box = "box:ERROR:" + c.message;
  std::vector<std::string> tail = c.boxBeforeKill ? std::vector<std::string>{box, "kill", "enable"}
                                                  : std::vector<std::string>{"kill", box, "enable"};
  EXPECT_EQ(Tail(host.Trace(), 3), tail);
  // Only the prompt of an accepted erase/enter-boot command comes before.
  for (const std::string& m : host.Messages()) {
    if (m == c.message) continue;
    EXPECT_TRUE(c.erased) << m;
    EXPECT_NE(m.find("press OK to continue"), std::string::npos) << m;
  }
  EXPECT_EQ(host.atBox.back().elapsed, 3) << "the seconds are cleared only at the finish";
  EXPECT_EQ(host.atBox.back().linkOpen, true);
  if (!c.erased) {
    EXPECT_EQ(plc.seen.count("confirm") + plc.seen.count("ERASE"), 0u);
  }
  if (c.message.rfind("Check PLC", 0) == 0 || (c.boxBeforeKill && !c.erased)) {
    EXPECT_EQ(plc.seen.count("erase"), 0u) << "no erase/enter-boot command after a refusal";
  }
  ExpectFinishOrder();
}

// A PLC that never answers: ten 200 ms wake-up reads, then six 3 s probes.
TEST_F(BurnRun, SilentPlcEndsAfterTwentyVirtualSeconds) {
  Select("KT4-RV4");
  plc.fault = [](const std::string&, int) { return std::string(); };
  StartBurn(host);
  EXPECT_EQ(host.Messages(), std::vector<std::string>{"NO RESPONSE @ State 1"});
  EXPECT_EQ(wire.NowMs(), 10u * 200u + 6u * 3000u);
  ExpectFinishOrder();
}

// Each pass costs its pause: a keep-open model that stays in application
// mode repeats the erase/enter-boot command after every 1 s pause.
TEST_F(BurnRun, PlcThatStaysInApplicationModeIsProbedAgainAfterEveryReconnect) {
  Select("LN");
  plc.bootOnConfirm = false;
  plc.fault = [](const std::string& k, int seen) -> std::optional<std::string> {
    if (k == "probe" && seen >= 3) return "";
    return std::nullopt;
  };
  StartBurn(host);
  const std::string prompt =
      "box:Information:Please REPLUG the USB Cable, and then press OK to continue";
  EXPECT_EQ(FromFirstBox(),
            (std::vector<std::string>{prompt, "pause:2", "open:USB", prompt, "pause:2", "open:USB",
                                      prompt, "pause:2", "open:USB", "kill",
                                      "box:ERROR:NO RESPONSE @ State 1", "enable"}));
  EXPECT_EQ(plc.seen["confirm"], 3);
  EXPECT_FALSE(host.atBox[0].linkOpen) << "the link is closed before the prompt";
  ExpectFinishOrder();
}

// A reopen that fails has no message of its own: the next probe reports it.
TEST_F(BurnRun, FailedReopenAfterThePromptEndsWithNoResponse) {
  Select("KT4-W");
  int opens = 0;
  host.failOpen = [&] { return opens++ >= 1; };
  StartBurn(host);
  EXPECT_EQ(FromFirstBox(),
            (std::vector<std::string>{
                "box:Information:Please POWER OFF=>ON the PLC, and then press OK to continue",
                "pause:2", "open:COM3", "kill", "box:ERROR:NO RESPONSE @ State 1", "enable"}));
  EXPECT_TRUE(plc.received.empty());
  ExpectAllZero();
}

// The power-cycle reopen takes the port chosen while the prompt was open.
TEST_F(BurnRun, PowerCycleReopenUsesThePortChosenDuringThePrompt) {
  Select("RV4-TRK");
  host.onMessage = [](const std::string& text) {
    if (text.find("POWER OFF") != std::string::npos) SetSelectedComPort("COM9");
  };
  StartBurn(host);
  const std::vector<std::string> trace = host.Trace();
  EXPECT_EQ(trace[1], "open:COM3");
  EXPECT_NE(std::find(trace.begin(), trace.end(), "open:COM9"), trace.end());
  EXPECT_EQ(host.Messages().back(), "Firmware update is SUCCESSFUL");
}

// A first probe answered from the bootloader goes straight to boot mode.
TEST_F(BurnRun, PlcAlreadyInItsBootloaderGetsNoPromptAndNoApplicationCommand) {
  Select("VM500");
  plc.boot = true;
  StartBurn(host);
  EXPECT_EQ(FromFirstBox(),
            (std::vector<std::string>{"box:Information:Firmware update is SUCCESSFUL!, "
                                      "please REPLUG the USB cable",
                                      "enable"}));
  EXPECT_EQ(Tail(host.Trace(), 3)[0], "kill");
  for (const char* kind : {"id", "version", "erase", "confirm", "d1386", "d1148"}) {
    EXPECT_EQ(plc.seen.count(kind), 0u) << kind;
  }
  EXPECT_EQ(plc.received, Padded(SentPart(image, row), row));
  ExpectFinishOrder();
}

// totalErrCounter counts failures of the application phase, the reconnect
// and the boot phase together; the finish clears it.
TEST_F(BurnRun, TotalErrorCountSpansTheReconnect) {
  Select("VM500");
  int32_t totalAtPrompt = -1;
  host.onMessage = [&](const std::string& text) {
    if (text.find("REPLUG the USB Cable") != std::string::npos) totalAtPrompt = totalErrCounter;
  };
  plc.fault = [](const std::string& k, int seen) -> std::optional<std::string> {
    if (k == "probe" && seen == 0) return Reply64(0x05).substr(0, 18);  // short reply
    if (k == "id" && seen == 0) return Refusal(2, 2);
    if (k == "ID" && seen < 2) return std::string("\x06\x00\x00", 3);  // wrong ID
    if (k == "frame" && seen == 1) return "\x15";
    return std::nullopt;
  };
  StartBurn(host);
  EXPECT_EQ(host.Messages().back(), "Firmware update is SUCCESSFUL!, please REPLUG the USB cable");
  EXPECT_EQ(totalAtPrompt, 2);
  EXPECT_EQ(host.atBox.back().totalErr, 5);
  EXPECT_EQ(plc.received, Padded(SentPart(image, row), row));
  ExpectFinishOrder();
}

}  // namespace
