// The simulated PLC in-process: what it answers in each mode, the faults it
// commits, and its link on virtual time.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "sim_link.h"
#include "sim_test_util.h"
#include "state/models.h"

namespace {

constexpr LineSettings kModbus{9600, 7, 2, 0};
constexpr LineSettings kTransfer{115200, 8, 0, 0};
enum Phase { kApp, kBoot, kBlocks };

std::string Exchange(PlcSim& sim, const std::string& request) {
  SimFeed(sim, reinterpret_cast<const uint8_t*>(request.data()),
          static_cast<uint32_t>(request.size()));
  std::string out;
  uint8_t buf[256];
  for (uint32_t n = 0; (n = SimTakeOutput(sim, buf, sizeof buf)) > 0;) out.append(buf, buf + n);
  return out;
}

std::unique_ptr<PlcSim> MakeSim(const char* model, const std::vector<const char*>& faults = {},
                                Phase phase = kApp) {
  auto sim = std::make_unique<PlcSim>();
  SimConfig config = SimDefaultConfig(PlcIndexByName(model));
  config.startInBoot = phase != kApp;
  for (const char* f : faults) EXPECT_TRUE(!*f || SimAddFault(config, f, nullptr, 0)) << f;
  SimInit(*sim, config);
  SimSetLine(*sim, kModbus, true);
  if (phase == kBlocks) {
    EXPECT_EQ(Exchange(*sim, "UPDATE"), Bin({0x06}));
    SimSetLine(*sim, kTransfer, true);
  }
  return sim;
}

TEST(SimLine, TrafficAtAWrongSpeedIsGarbage) {
  // model, phase, line set, line settings, framing known, answered
  const std::tuple<const char*, Phase, bool, LineSettings, bool, bool> cases[] = {
      {"KT4-RV4", kApp, true, kModbus, true, true},
      {"KT4-RV4", kApp, false, kModbus, true, false},          // never set
      {"KT4-RV4", kApp, true, {19200, 7, 2, 0}, true, false},  // wrong speed
      {"KT4-RV4", kApp, true, {9600, 8, 0, 0}, true, false},   // 8N1 at 9600
      {"KT4-RV4", kApp, true, {9600, 8, 0, 0}, false, true},   // a pty cannot tell
      {"VM500", kApp, false, kModbus, true, true},             // USB: any speed
      {"KT4-RV4", kBlocks, true, kModbus, true, false},        // blocks at 115200 only
      {"VM500", kBlocks, true, kTransfer, true, true},
  };
  for (const auto& [model, phase, lineSet, line, framingKnown, answered] : cases) {
    auto sim = MakeSim(model, {}, phase);
    sim->lineKnown = false;
    if (lineSet) SimSetLine(*sim, line, framingKnown);
    const std::string request =
        phase == kApp ? kProbe : BlockFrame(1, std::vector<uint8_t>(256, 7));
    EXPECT_EQ(!Exchange(*sim, request).empty(), answered) << model << " " << line.baudRate;
  }
}

TEST(SimTransfer, StoresEachBlockOnceInOrderAndNaksBadFrames) {
  auto sim = MakeSim("VM500", {}, kBlocks);
  std::vector<uint8_t> image(2 * 256);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 131) >> 3);
  auto block = [&image](uint8_t n) {
    return BlockFrame(n, {image.begin() + (n - 1) * 256, image.begin() + n * 256});
  };
  std::string badCrc = block(1), badComplement = block(1);
  badCrc[10] ^= 0x01;
  badComplement[2] = 0x00;
  const std::tuple<const char*, std::string, int, uint32_t> cases[] = {
      // clang-format off
      {"bad CRC", badCrc, 0x15, 0}, {"bad complement", badComplement, 0x15, 0},
      {"skips ahead", block(2), 0x15, 0}, {"first", block(1), 0x06, 1},
      {"repeat of the last", block(1), 0x06, 1}, {"second", block(2), 0x06, 2},
      {"old block", block(1), 0x15, 2},
      // clang-format on
  };
  for (const auto& [what, frame, reply, stored] : cases) {
    EXPECT_EQ(Exchange(*sim, frame), Bin({reply})) << what;
    EXPECT_EQ(sim->counters.framesStored, stored) << what;
  }
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), Bin({0x06}));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), sim->image.begin()));
}

// What each request gets, without a fault ("") and with each kind of fault.
TEST(SimReplies, EachRequestWithAndWithoutFaults) {
  const std::string kNotTheGoodReply = "?";
  const std::string frame = BlockFrame(1, std::vector<uint8_t>(128, 1)), probe2 = kProbe + kProbe;
  const std::tuple<const char*, const char*, Phase, std::string, std::string> cases[] = {
      // clang-format off
      {"", "VM500", kApp, ":007F81\r\n", ":007F0081\r\n"},  // wake-up
      {"", "VM500-AIO", kApp, kProbe, ""},  // the AIO models take only their variant
      {"", "KT4-RV4", kApp, ":006401590142\r\n", ""},  // wrong LRC
      {"", "KT4-RV4", kApp, ":016401590140\r\n", ""},  // station 1
      {"", "KT4-RV4", kApp, ":00640159053d\r\n", ""},  // lower-case hex
      {"", "LN", kBoot, "XXEIDRASE", Bin({0x06, 0x00, 0x15})},  // stray letters resynchronise
      {"", "LN", kBoot, "VER" + kProbe, Reply64(0x06)},  // and so does a frame
      {"silent:probe", "KT4-RV4", kApp, kProbe, ""}, {"bad-lrc:probe", "KT4-RV4", kApp, kProbe, kNotTheGoodReply},
      {"lower-hex:probe", "KT4-RV4", kApp, kProbe, ":006401590500003d\r\n"},
      {"short:probe", "KT4-RV4", kApp, kProbe, Reply64(0x05).substr(0, 18)},
      {"refuse:probe:02:03", "KT4-RV4", kApp, kProbe, Reply64(0x15, 0x02, 0x03)},
      {"run-mode", "KT4-RV4", kApp, kProbe, Reply64(0x15, 0x01, 0x00)}, {"status:probe:07", "KT4-RV4", kApp, kProbe, Reply64(0x07)},
      {"silent:probe:2-3", "KT4-RV4", kApp, probe2 + probe2, Reply64(0x05) + Reply64(0x05)},
      {"wrong-id:id:000D", "KT4-RV4", kApp, kIdRequest, Reply64(0x06, 0x00, 0x0D)}, {"hostile", "KT4-RV4", kApp, kProbe, kNotTheGoodReply},
      {"no-boot", "LM4", kApp, kEraseRequest + kEraseConfirm + kProbe, Reply64(0x06) + Reply64(0x05)},
      {"refuse:boot-erase:0:0", "KT4-RV4", kBoot, "ERASE", Bin({0x15})},
      {"silent-after-erase:1", "KT4-RV4", kBoot, "ERASEERASE\x04", Bin({0x06})},
      {"nak-frame:1", "LP4", kBlocks, frame, Bin({0x15})}, {"lost-ack:1", "LP4", kBlocks, frame, ""},
      {"lost-frame:1", "LP4", kBlocks, frame, ""},
      // clang-format on
  };
  for (const auto& [fault, model, phase, input, want] : cases) {
    auto sim = MakeSim(model, {fault}, phase);
    const std::string reply = Exchange(*sim, input);
    const bool unlike = want == kNotTheGoodReply;  // unlike a healthy PLC's reply
    const std::string like = unlike ? Exchange(*MakeSim(model, {}, phase), input) : want;
    EXPECT_EQ(reply == like, !unlike) << fault << " " << input << " got " << reply;
    if (phase == kBlocks) {  // the tool sends the frame again: acknowledged, stored once
      EXPECT_EQ(Exchange(*sim, input), Bin({0x06})) << fault;
      EXPECT_EQ(sim->counters.framesStored, 1u) << fault;
      EXPECT_EQ(sim->imageLength, 128u) << fault;
    }
  }
}

TEST(SimFault, RefusesMalformedTextsAndAFullTable) {
  for (const char* text :
       {"", "silent:nothing", "silent:probe:0", "silent:probe:3-2", "refuse:probe:02",
        "refuse:probe:100:01", "wrong-id:probe:0001", "wrong-id:id:10000", "random:1.5",
        "random:0.1:frame,bogus", "no-boot:1", "explode:probe", "a:b:c:d:e:f:g:h"}) {
    SimFault f;
    char error[128] = {};
    EXPECT_TRUE(!SimParseFault(text, &f, error, sizeof error) && error[0] != '\0') << text;
  }
  SimConfig config = SimDefaultConfig(0);
  for (int i = 0; i < kSimMaxFaults; ++i) EXPECT_TRUE(SimAddFault(config, "no-boot", nullptr, 0));
  EXPECT_FALSE(SimAddFault(config, "no-boot", nullptr, 0));
}

TEST(SimLinkPair, TimePassesOnlyWhenAReadWaitsOutItsTimeout) {
  auto sim = MakeSim("VM500");
  SimLinkPair pair(sim.get());
  LinkHandle link = pair.Open();
  // A complete read costs nothing; one short waits out its whole time-out.
  const std::tuple<Timeouts, uint32_t, uint64_t> steps[] = {
      {kLongTimeouts, 19, 0}, {kLongTimeouts, 20, 3000}, {kShortTimeouts, 20, 3200}};
  uint8_t buf[20];
  for (const auto& [timeouts, want, clockAfter] : steps) {
    link->ApplyTimeouts(timeouts);
    LinkWrite(link, reinterpret_cast<const uint8_t*>(kProbe.data()), 15);
    EXPECT_EQ(LinkRead(link, buf, want), 19u);
    EXPECT_EQ(pair.NowMs(), clockAfter);
  }
  CloseLink(link);
}

}  // namespace
