// Whole runs against the simulated PLC: every model from the first probe to
// the success box, faults on the line, and random noise.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim_bench.h"

namespace {

bool Contains(const std::vector<std::string>& trace, const std::vector<std::string>& run) {
  return std::search(trace.begin(), trace.end(), run.begin(), run.end()) != trace.end();
}

class EveryModel : public ::testing::TestWithParam<int> {};

INSTANTIATE_TEST_SUITE_P(Rows, EveryModel, ::testing::Range(0, kPlcCount),
                         [](const ::testing::TestParamInfo<int>& param) {
                           std::string name = plcList[param.param];
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST_P(EveryModel, BurnsTheImageAndResets) {
  const int row = GetParam();
  SimBench bench(row);
  if (IsVmGroup(row)) {
    bench.UseEmbeddedImage();
  } else {
    bench.UseSmallImage();
  }
  bench.Run();

  // The simulator holds exactly what the model sends.
  EXPECT_TRUE(SimTransferOk(*bench.sim));
  EXPECT_EQ(bench.Received(), bench.Expected());

  // Reconnect as the model needs it.
  const std::vector<std::string> trace = bench.host.Trace();
  const ReconnectRule rule = ReconnectRuleOf(row);
  const std::string pause = "pause:" + std::to_string(rule.pauseSeconds);
  if (rule.kind == ReconnectKind::kKeepOpen) {
    EXPECT_EQ(rule.pauseSeconds, 1);
    EXPECT_TRUE(Contains(trace, {pause})) << plcList[row];
    EXPECT_EQ(bench.host.Messages().size(), 1u);
    EXPECT_EQ(bench.pair.Opens(), 1u);
  } else {
    char port[kComPortSize];
    GetSelectedComPort(port);
    const std::string open = IsUsbModel(row) ? "open:USB" : std::string("open:") + port;
    EXPECT_TRUE(Contains(trace, {"box:Information:" + std::string(rule.prompt), pause, open}))
        << plcList[row];
    EXPECT_EQ(bench.pair.Opens(), 2u);
  }

  // The success box, after the timer kill; then the finish.
  const Message success = SuccessMessageOf(row);
  EXPECT_EQ(Tail(trace, 3),
            (std::vector<std::string>{
                "kill", "box:" + std::string(success.caption) + ":" + success.text, "enable"}));
  EXPECT_EQ(bench.host.Events().back().kind, HostEvent::Kind::kEnableButton);
  EXPECT_EQ(bench.host.Events()[bench.host.Events().size() - 2].icon, BoxIcon::kInformation);
  ASSERT_FALSE(bench.host.atBox.empty());
  EXPECT_EQ(bench.host.atBox.back().flash, kFlashProgramming);
  EXPECT_EQ(bench.host.atBox.back().progress, 100);
  EXPECT_EQ(bench.pair.OpenLinks(), 0);
  ExpectAllZero();
}

struct SimFaultCase {
  const char* model;
  std::vector<const char*> faults;
  std::string message;  // the last box
  bool imageExact;      // the whole image arrived
  uint32_t length = 0;  // image length; 0 for a small one
};

void PrintTo(const SimFaultCase& c, std::ostream* os) {
  *os << c.model;
  for (const char* f : c.faults) *os << " " << f;
}

class SimFaults : public ::testing::TestWithParam<SimFaultCase> {};

const char kUsbSuccess[] = "Firmware update is SUCCESSFUL!, please REPLUG the USB cable";
const char kSerialSuccess[] = "Firmware update is SUCCESSFUL";

INSTANTIATE_TEST_SUITE_P(
    Cases, SimFaults,
    ::testing::Values(
        // Recoverable: the budget absorbs them and the image arrives whole.
        SimFaultCase{
            "VM500", {"lost-ack:5", "nak-frame:9", "corrupt-frame:12-14"}, kUsbSuccess, true},
        SimFaultCase{
            "KT4-RV4", {"lost-frame:3", "lost-ack:4", "bad-lrc:probe:1"}, kSerialSuccess, true},
        SimFaultCase{"LN", {"short:id:1-5", "silent:boot-erase:2"}, kUsbSuccess, true},
        SimFaultCase{
            "36RV4-AIO", {"lower-hex:erase:1-2", "corrupt:boot-id:1"}, kSerialSuccess, true},
        // Faults that end the run.
        SimFaultCase{"LM4", {"run-mode"}, "PLC in RUN MODE", false},
        SimFaultCase{"LQ4", {"lower-hex:probe"}, "NO RESPONSE @ State 1", false},
        SimFaultCase{"TW5", {"refuse:probe:02:02"}, "PLC type is WRONG", false},
        SimFaultCase{"LQ", {"refuse:id:04:00"}, "UNKNOWN ERROR CODE @ State 2", false},
        SimFaultCase{"KT4-N", {"wrong-id:id:2001"}, "NO RESPONSE @ State 2", false},
        SimFaultCase{"LP4-P", {"refuse:erase:02:04"}, "PLC type is WRONG", false},
        SimFaultCase{"KT-RV-TW4", {"status:erase:07"}, "NO RESPONSE @ State 3", false},
        SimFaultCase{"RV4-TRK", {"wrong-id:boot-id:A006"}, "PLC type is WRONG", false},
        SimFaultCase{
            "VM600", {"silent:boot-version"}, "PLC DOES NOT respond to the version read", false},
        // The VM group gives each erase unit a single attempt.
        SimFaultCase{"VM500",
                     {"silent-after-erase:10"},
                     "PLC DOES NOT respond to the erasing signal",
                     false,
                     4096 * 20},
        SimFaultCase{
            "KT5", {"silent:boot-erase:1"}, "PLC DOES NOT respond to the erasing signal", false},
        SimFaultCase{
            "LP32", {"silent:boot-eot"}, "PLC DOES NOT respond to the erasing signal", false},
        SimFaultCase{
            "KT4-G", {"silent:update"}, "PLC DOES NOT respond to the update signal", false},
        // A bootloader that took "UPDATE" listens at the transfer speed, so
        // a lost ACK of it cannot be recovered by sending "UPDATE" again.
        SimFaultCase{
            "36RV4-AIO", {"corrupt:update:1"}, "PLC DOES NOT respond to the update signal", false},
        SimFaultCase{"BRK-T", {"nak-frame:2-7"}, "Firmware update is FAILED", false},
        SimFaultCase{"LN-P", {"silent:eot"}, "Firmware update is FAILED", false},
        // A PLC that never enters its bootloader is erased again on every
        // pass, until it stops answering.
        SimFaultCase{"LQ", {"no-boot", "silent:probe:3+"}, "NO RESPONSE @ State 1", false}));

TEST_P(SimFaults, EndWithTheirMessage) {
  const SimFaultCase& c = GetParam();
  SimBench bench(PlcIndexByName(c.model));
  bench.UseSmallImage();
  if (c.length != 0) {
    bench.image = PatternImage(c.length);
    bench.host.UseImage(bench.image);
  }
  for (const char* f : c.faults) bench.AddFault(f);
  bench.Run();

  const std::vector<std::string> messages = bench.host.Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), c.message);
  const bool success = c.message.find("SUCCESSFUL") != std::string::npos;
  for (size_t i = 0; i + 1 < messages.size(); ++i) {
    EXPECT_NE(messages[i].find("press OK to continue"), std::string::npos) << messages[i];
  }
  const std::string box =
      "box:" + std::string(success ? SuccessMessageOf(bench.row).caption : "ERROR") + ":" +
      c.message;
  EXPECT_EQ(Tail(bench.host.Trace(), 3), (std::vector<std::string>{"kill", box, "enable"}));
  if (c.imageExact) {
    EXPECT_EQ(bench.Received(), bench.Expected());
  }
  EXPECT_EQ(SimTransferOk(*bench.sim), success);
  EXPECT_EQ(bench.pair.OpenLinks(), 0);
  ExpectAllZero();
}

// The no-boot case above runs its passes: two erasures, two pauses.
TEST(SimPasses, PlcThatNeverBootsIsErasedOnEveryPass) {
  SimBench bench(PlcIndexByName("LQ"));
  bench.UseSmallImage();
  bench.AddFault("no-boot");
  bench.AddFault("silent:probe:3+");
  bench.Run();
  const std::vector<std::string> trace = bench.host.Trace();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "pause:1"), 2);
  EXPECT_EQ(bench.sim->counters.requests[static_cast<int>(SimKind::kConfirm)], 2u);
}

// A PLC that answers nothing costs ten 200 ms wake-up reads and six 3 s
// probes of virtual time, then reports no response.
TEST(SimTime, SilentPlcTakesTwentySecondsOfVirtualTime) {
  SimBench bench(PlcIndexByName("KT4-RV4"));
  bench.UseSmallImage();
  bench.config.answerWakeUp = false;
  bench.AddFault("silent:probe");
  bench.Run();
  EXPECT_EQ(bench.host.Messages(), std::vector<std::string>{"NO RESPONSE @ State 1"});
  EXPECT_EQ(bench.clock.nowMs, 10u * 200u + 6u * 3000u);
  ExpectAllZero();
}

// Pauses and time-outs add up on one clock: in each of the two passes the
// five extra wake-up reads wait 200 ms each, then the replug pause of 5 s and
// the single time-out of an erase unit that was not acknowledged.
TEST(SimTime, ReplugPauseCountsOnTheSameClock) {
  SimBench bench(PlcIndexByName("VM500"));
  bench.UseSmallImage();
  bench.AddFault("silent:boot-erase:1");
  bench.Run();
  EXPECT_EQ(bench.host.Messages().back(), "PLC DOES NOT respond to the erasing signal");
  EXPECT_EQ(bench.clock.nowMs, 2u * 5u * 200u + 5000u + 3000u);
}

// totalErrCounter is cleared only at the finish: failures before the
// reconnect and after it add up.
TEST(SimCounters, TotalErrorCountSpansTheReconnect) {
  SimBench bench(PlcIndexByName("VM500"));
  bench.UseSmallImage();
  bench.AddFault("bad-lrc:probe:1");
  bench.AddFault("short:version:1-2");
  bench.AddFault("wrong-id:boot-id:3011:1");
  bench.AddFault("nak-frame:2");
  int32_t atPrompt = -1;
  bench.host.onMessage = [&](const std::string& text) {
    if (text.find("REPLUG the USB Cable") != std::string::npos) atPrompt = totalErrCounter;
  };
  bench.Run();
  EXPECT_EQ(atPrompt, 3);
  ASSERT_FALSE(bench.host.atBox.empty());
  EXPECT_EQ(bench.host.atBox.back().totalErr, 5);
  EXPECT_EQ(bench.host.Messages().back(), kUsbSuccess);
  ExpectAllZero();
}

// Random corruption, lost frames and lost ACKs at 1%: the budget absorbs
// them and the image arrives exactly.
TEST(SimNoise, OnePercentFaultsStillDeliverTheExactImage) {
  for (uint64_t seed : {1u, 7u, 2024u}) {
    SimBench bench(PlcIndexByName("VM500"));
    bench.UseEmbeddedImage();
    bench.config.seed = seed;
    bench.AddFault("random:0.01");
    bench.Run();
    EXPECT_EQ(bench.host.Messages().back(), kUsbSuccess) << seed;
    EXPECT_GT(bench.sim->counters.frames, bench.sim->counters.framesStored)
        << "faults were injected";
    EXPECT_EQ(bench.Received(), bench.Expected()) << seed;
    ExpectAllZero();
  }
}

// At a rate that spends a frame's budget the run fails, and nothing is
// reported as success.
TEST(SimNoise, RateThatSpendsTheBudgetFails) {
  for (uint64_t seed : {1u, 7u, 2024u}) {
    SimBench bench(PlcIndexByName("LN30"));
    bench.image = PatternImage(64 * 1024);
    bench.host.UseImage(bench.image);
    bench.config.seed = seed;
    bench.AddFault("random:0.7");
    bench.Run();
    const std::vector<std::string> messages = bench.host.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Firmware update is FAILED") << seed;
    for (const std::string& m : messages) EXPECT_EQ(m.find("SUCCESSFUL"), std::string::npos) << m;
    EXPECT_FALSE(SimTransferOk(*bench.sim));
    ExpectAllZero();
  }
}

}  // namespace
