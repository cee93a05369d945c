// Whole runs against the simulated PLC: every model to its success box and
// through seeded noise, a fault for every message, the refusals before the
// first probe.
#include <algorithm>
#include <regex>

#include "sim_bench.h"

namespace plc {

namespace {

const char kUsbSuccess[] = "Firmware update is SUCCESSFUL!, please REPLUG the USB cable";

bool Contains(const std::vector<std::string>& trace, const std::vector<std::string>& run) {
  return std::search(trace.begin(), trace.end(), run.begin(), run.end()) != trace.end();
}
// The text is one that plcfw --list-messages names ("%s" stands for a port).
bool Listed(const std::string& text) {
  const MessageList all = AllMessages();
  return std::any_of(all.messages, all.messages + all.count, [&text](const ReasonedMessage& m) {
    const std::string t = m.text;
    const size_t at = t.find("%s");
    return at == std::string::npos
               ? t == text
               : text.size() > t.size() && text.rfind(t.substr(0, at), 0) == 0 &&
                     text.compare(text.size() - (t.size() - at - 2), std::string::npos,
                                  t.substr(at + 2)) == 0;
  });
}
std::vector<std::string> Tail(const std::vector<std::string>& t) {
  return {t.end() - 3, t.end()};
}

// The finish: status cleared before the button, link and image released after it.
void ExpectFinish(const SimBench& bench) {
  const RunSnapshot& s = bench.host.atEnable.at(bench.host.atEnable.size() - 1);
  EXPECT_EQ(std::vector<int>(
                {s.elapsed, s.flash, s.progress, s.err, s.totalErr, s.linkOpen, s.imageHeld}),
            std::vector<int>({0, 0, 0, 0, 0, 1, 1}));
  EXPECT_EQ(bench.pair.OpenLinks(), 0);
  ExpectAllZero(bench.run);
}

// The burn sequence's error texts.
const std::regex kBurnError(
    "PLC type is WRONG|PLC in RUN MODE|Firmware update is FAILED|"
    "(UNKNOWN ERROR CODE|NO RESPONSE) @ State [123]|UNKNOWN MESSAGE( @ State [23])?|"
    "PLC DOES NOT respond to the (version read|erasing signal|update signal)|"
    "Check PLC, (KT4-RV4|16LP4|32LP4|16LN|30LN) is different than (KT4-W|32LP4|16LP4|30LN|16LN)|"
    "The bootloader version is (V0\\.9|V1\\.0|unknown), do not support AIO FW update");

class EveryModel : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Rows, EveryModel, ::testing::Range(0, kPlcCount));

// A clean line: the image that fits the model arrives exactly, after the model's
// reconnect.  Seeded noise and a hostile PLC: a run ends with the success box and
// the image exact, or with one error box whose text is a burn message.
TEST_P(EveryModel, BurnsTheImageOrEndsInABurnMessageAndResets) {
  const int row = GetParam();
  const Message success = SuccessMessageOf(row);
  const std::string successBox = std::string(success.caption) + ":" + success.text;
  const ReconnectRule rule = ReconnectRuleOf(row);
  const bool keepOpen = rule.kind == ReconnectKind::kKeepOpen;
  int successes = 0;
  for (const std::string fault : {"", "random:0.01:all", "random:0.3:all", "hostile"}) {
    for (uint64_t seed = 1; seed <= (fault.empty() ? 1 : 6); ++seed) {
      SCOPED_TRACE(std::string(plcList[row].name) + " " + fault + " seed " + std::to_string(seed));
      SimBench bench(row);
      fault.empty() && plcList[row].reservedTail != 0 ? bench.UseEmbeddedImage()
                                                      : bench.UseSmallImage();
      bench.config.seed = seed;
      if (!fault.empty()) bench.AddFault(fault.c_str());
      bench.Burn();
      const std::vector<std::string> trace = bench.host.Trace();
      std::vector<std::string> boxes;  // "caption:text", "!" ahead when not an information box
      for (const HostEvent& e : bench.host.Events())
        if (e.kind == HostEvent::Kind::kMessage)
          boxes.push_back((e.icon == BoxIcon::kInformation ? "" : "!") + e.caption + ":" + e.text);
      ASSERT_FALSE(boxes.empty());
      for (size_t i = 0; i + 1 < boxes.size(); ++i)  // only prompts come before the last box
        EXPECT_TRUE(boxes[i].rfind("Information:", 0) == 0 &&
                    boxes[i].find("SUCCESSFUL") == std::string::npos)
            << boxes[i];
      if (boxes.back() == successBox) {
        ++successes;
        EXPECT_TRUE(SimTransferOk(*bench.sim) && bench.Received() == bench.Expected());
        EXPECT_NE(fault, "hostile") << "success against random bytes";
      } else {
        EXPECT_TRUE(boxes.back().rfind("!ERROR:", 0) == 0 &&
                    std::regex_match(boxes.back().substr(7), kBurnError))
            << boxes.back();
      }
      ExpectAllZero(bench.run);
      if (!fault.empty()) continue;
      // The reconnect: a prompt, its pause and a new open, or a pause on the open link.
      const std::string pause = "pause:" + std::to_string(rule.pauseSeconds);
      const std::string prompt = "box:Information:" + std::string(keepOpen ? "" : rule.prompt);
      EXPECT_TRUE(Contains(trace, keepOpen ? std::vector<std::string>{pause}
                                           : std::vector<std::string>{prompt, pause, trace[1]}));
      EXPECT_EQ(Ints(bench.pair.Opens(), boxes.size()), keepOpen ? Ints(1, 1) : Ints(2, 2));
      EXPECT_EQ(Tail(trace)[1], "box:" + successBox);  // after the kill, before the enable
      EXPECT_EQ(Ints(bench.host.atBox.back().flash, bench.host.atBox.back().progress),
                Ints(kFlashProgramming, 100));
      ExpectFinish(bench);
    }
  }
  EXPECT_GT(successes, 1);  // the clean run, and at 1 % at least one seed
}

void Apply(SimBench& bench, const std::string& f) {
  const auto v = std::strtoul(f.c_str() + f.find('=') + 1, nullptr, 16);
  if (f.rfind("d1386=", 0) == 0) bench.config.d1386 = static_cast<uint16_t>(v);
  if (f.rfind("d1148=", 0) == 0) bench.config.d1148 = static_cast<uint16_t>(v);
  if (f.rfind("version=", 0) == 0) bench.config.version = static_cast<uint8_t>(v);
  if (f.rfind("len=", 0) == 0)
    v ? bench.UseImage(PatternImage(uint32_t(v))) : bench.UseEmbeddedImage();
  if (f == "boot") bench.config.startInBoot = true;
  if (f != "boot" && f.find('=') == std::string::npos) bench.AddFault(f.c_str());
}

// Rows: model, faults or settings of the simulator ("d1386=HEX", "d1148=HEX",
// "version=HEX", "len=HEX": image length, 0 the embedded one, "boot": starts in its
// bootloader), the last box.
TEST(BurnSequence, EveryMessageFromAFault) {
  const std::string wrong = "PLC type is WRONG", gate = "The bootloader version is ",
                    noAio = ", do not support AIO FW update", failed = "Firmware update is FAILED",
                    dnr = "PLC DOES NOT respond to the ";
  const std::tuple<const char*, std::vector<std::string>, std::string> cases[] = {
      // clang-format off
      // Recoverable: the budget absorbs them and the image arrives whole.
      {"VM500", {"lost-ack:5", "nak-frame:9", "corrupt-frame:12-14"}, kUsbSuccess},
      {"VM500", {"len=0", "random:0.01"}, kUsbSuccess},  // 1 % noise on 8,096 frames: absorbed
      {"KT4-RV4", {"lost-frame:3", "lost-ack:4", "bad-lrc:probe:1"}, "Firmware update is SUCCESSFUL"},
      {"LM4", {"run-mode"}, "PLC in RUN MODE"},
      {"TW5", {"refuse:probe:02:02"}, wrong}, {"LQ", {"refuse:probe:03:00"}, "UNKNOWN ERROR CODE @ State 1"},
      // A PLC that never enters its bootloader is erased again on every pass.
      {"LQ", {"no-boot", "silent:probe:3+"}, "NO RESPONSE @ State 1"},
      {"KT4-N", {"wrong-id:id:2001"}, "NO RESPONSE @ State 2"}, 
      {"LQ", {"refuse:id:04:00"}, "UNKNOWN ERROR CODE @ State 2"}, {"RV4-TRK", {"wrong-id:boot-id:A006"}, wrong},
      {"KT4-RV4", {"d1386=4138"}, "Check PLC, KT4-RV4 is different than KT4-W"},
      {"LP4", {"d1148=1"}, "Check PLC, 16LP4 is different than 32LP4"},
      {"LP32", {"d1148=0"}, "Check PLC, 32LP4 is different than 16LP4"},
      {"LN", {"d1148=8000"}, "Check PLC, 16LN is different than 30LN"},
      {"LN30", {"silent:d1148"}, "Check PLC, 30LN is different than 16LN"},
      {"VM500-AIO", {"version=09"}, gate + "V0.9" + noAio}, {"VM500-AIO", {"silent:version"}, gate + "unknown" + noAio},
      {"RV5-AIO", {"version=10"}, gate + "V1.0" + noAio}, {"RV5-AIO", {"boot", "version=11"}, gate + "unknown" + noAio},
      {"KT-RV-TW4", {"status:erase:07"}, "NO RESPONSE @ State 3"}, 
      {"BRK-T", {"refuse:erase:05:00"}, "UNKNOWN ERROR CODE @ State 3"},
      {"VM600", {"silent:boot-version"}, dnr + "version read"},
      {"VM500", {"len=14000", "silent-after-erase:10"}, dnr + "erasing signal"},  // one attempt per VM unit
      {"KT5", {"silent:boot-erase:1"}, dnr + "erasing signal"},
      // A bootloader that took "UPDATE" listens at the transfer speed: a lost ACK stays lost.
      {"36RV4-AIO", {"corrupt:update:1"}, dnr + "update signal"}, {"KT4-G", {"silent:update"}, dnr + "update signal"},
      {"BRK-T", {"nak-frame:2-7"}, failed}, {"LN-P", {"silent:eot"}, failed},
      {"LN30", {"len=10000", "random:0.7"}, failed},  // noise that spends the budget
      // clang-format on
  };
  for (const auto& [model, faults, message] : cases) {
    SCOPED_TRACE(model + (" " + faults[0]));
    SimBench bench(PlcIndexByName(model));
    bench.UseSmallImage();
    for (const std::string& f : faults) Apply(bench, f);
    bench.run.elapsedTime = 3;
    bench.Burn();
    const std::vector<std::string> messages = bench.host.Messages();
    ASSERT_EQ(messages.empty() ? "" : messages.back(), message);
    EXPECT_TRUE(Listed(message));
    for (size_t i = 0; i + 1 < messages.size(); ++i)  // only reconnect prompts come before
      EXPECT_NE(messages[i].find("press OK to continue"), std::string::npos) << messages[i];
    const bool success = message.find("SUCCESSFUL") != std::string::npos;
    const std::string caption = success ? SuccessMessageOf(bench.row).caption : "ERROR";
    const std::string box = "box:" + caption + ":" + message;
    // The version refusal shows its box before the timer is killed.
    EXPECT_EQ(Tail(bench.host.Trace()), message.rfind(gate, 0) == 0
                                            ? (std::vector<std::string>{box, "kill", "enable"})
                                            : (std::vector<std::string>{"kill", box, "enable"}));
    EXPECT_EQ(Ints(bench.host.atBox.back().elapsed, bench.host.atBox.back().linkOpen), Ints(3, 1));
    EXPECT_TRUE(!success || bench.Received() == bench.Expected());
    EXPECT_EQ(SimTransferOk(*bench.sim), success);
    ExpectFinish(bench);
  }
}

// Refusals before the first probe: the image, its size, the open.
TEST(BurnSequence, EarlyEnds) {
  const std::string longPath = "/dev/serial/by-id/usb-Example" + std::string(300, 'x');
  const std::string size = "The file size EXCEEDS the MAXIMUM size ";
  const std::tuple<const char*, uint32_t, bool, std::string, std::string> cases[] = {
      // model, image length (0: cannot be loaded), open fails, port (opened whole), message
      // clang-format off
      {"VM500", 0, false, "USB", kImageNotLoadedMessage},
      {"KT4-W", 0x80001, false, "COM3", size + "(128 * 1024 * 4)"},  // one byte over the limit
      {"VM500", 4095, false, "USB", kImageTooShortMessage},  // the VM group needs its 4 KB
      {"KT4-W", 0x80000, true, "COM7", "CANNOT open COM7 Port!!!"},  // equal passes
      {"VM500-AIO", 1, true, "USB", "CANNOT open USB Port!!!"},  // no lower bound elsewhere
      {"LN", 1000, true, "COM3", "CANNOT open USB Port!!!"},  // a USB model says USB
      {"TW5", 1000, true, longPath, "CANNOT open " + longPath + " Port!!!"},
      // clang-format on
  };
  for (const auto& [model, length, openFails, port, message] : cases) {
    SCOPED_TRACE(model + (" " + message));
    SimBench bench(PlcIndexByName(model));
    bench.run.SetSelectedComPort(port);
    length ? bench.UseImage(PatternImage(length)) : bench.host.UseMissingImage();
    bench.host.failOpen = [openFails = openFails] { return openFails; };
    bench.run.elapsedTime = 7;
    bench.Burn();
    const std::string open = IsUsbModel(bench.row) ? "USB" : port;
    EXPECT_EQ(bench.host.Trace(), openFails
                                      ? (std::vector<std::string>{"disable", "open:" + open, "kill",
                                                                  "box:ERROR:" + message, "enable"})
                                      : (std::vector<std::string>{
                                            "disable", "kill", "box:ERROR:" + message, "enable"}));
    EXPECT_TRUE(Listed(message));
    EXPECT_EQ(bench.host.atBox.at(0).elapsed, 7);      // cleared only after the box
    const RunSnapshot& s = bench.host.atEnable.at(0);  // a size refusal clears seconds late
    EXPECT_EQ(Ints(s.elapsed, s.imageHeld), Ints(openFails ? 0 : 7, length != 0));
    EXPECT_EQ(bench.sim->counters.requests[static_cast<int>(SimKind::kProbe)], 0u);
    ExpectAllZero(bench.run);
  }
}

}  // namespace

}  // namespace plc
