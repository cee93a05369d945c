// The simulated PLC in-process: what it answers in each mode, the faults it
// commits, and its link on virtual time.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/models.h"
#include "sim_link.h"
#include "sim_test_util.h"

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
  config.version = 0x23;
  config.d1386 = 0x4138;
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
      {"VM500", kBlocks, true, kModbus, true, false},          // for USB models too
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
  std::vector<uint8_t> image(300 * 256);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 131) >> 3);
  auto block = [&image](uint32_t n) {  // n counts from 1 on past 255
    return BlockFrame(static_cast<uint8_t>(n),
                      {image.begin() + (n - 1) * 256, image.begin() + n * 256});
  };
  std::string badCrc = block(1), badComplement = block(1);
  badCrc[10] ^= 0x01;
  badComplement[2] = 0x00;
  const std::tuple<const char*, std::string, int, uint32_t> cases[] = {
      {"bad CRC", badCrc, 0x15, 0},
      {"bad complement", badComplement, 0x15, 0},
      {"skips ahead", block(2), 0x15, 0},
      {"first", block(1), 0x06, 1},
      {"repeat of the last", block(1), 0x06, 1},
      {"second", block(2), 0x06, 2},
      {"old block", block(1), 0x15, 2},
  };
  for (const auto& [what, frame, reply, stored] : cases) {
    EXPECT_EQ(Exchange(*sim, frame), Bin({reply})) << what;
    EXPECT_EQ(sim->counters.framesStored, stored) << what;
  }
  EXPECT_EQ(Exchange(*sim, block(3).substr(0, 100)), "");
  SimIdle(*sim, 3000);  // a quiet line drops a half frame
  EXPECT_EQ(Exchange(*sim, block(3).substr(0, 60)), "");
  SimIdle(*sim, kSimInterFrameGapMs - 1);  // a short gap does not
  EXPECT_EQ(Exchange(*sim, block(3).substr(60)), Bin({0x06}));
  for (uint32_t n = 4; n <= 300; ++n) ASSERT_EQ(Exchange(*sim, block(n)), Bin({0x06})) << n;
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), Bin({0x06}));
  ASSERT_EQ(sim->imageLength, image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), sim->image.begin()));
  SimReconnect(*sim);  // the new program runs
  EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x05));
  EXPECT_EQ(SimCrc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);  // XMODEM
}

// What each request gets, without a fault ("") and with each kind of fault.
TEST(SimReplies, EachRequestWithAndWithoutFaults) {
  const std::string kNotTheGoodReply = "?";
  const std::tuple<const char*, const char*, Phase, std::string, std::string> cases[] = {
      {"", "VM500", kApp, ":007F81\r\n", ":007F0081\r\n"},  // wake-up
      {"", "VM500", kApp, kProbe, Reply64(0x05)},
      {"", "VM500", kApp, kIdRequest, Reply64(0x06, 0x30, 0x10)},
      {"", "VM500", kApp, ModbusRequest({0, 3, 0x15, 0x6A, 0, 1}),
       ModbusRequest({0, 3, 2, 0x41, 0x38})},
      {"", "VM500", kApp, Frame64({0x05}), Reply64(0x23)},  // version
      {"", "VM500", kApp, kEraseRequest, Reply64(0x06)},
      {"", "VM500-AIO", kApp, Frame64({0x01}, 0x5B), Reply64(0x05, 0, 0, 0x5B)},
      {"", "VM500-AIO", kApp, kProbe, ""},
      {"", "KT4-RV4", kApp, ":006401590142\r\n", ""},              // wrong LRC
      {"", "KT4-RV4", kApp, ":016401590140\r\n", ""},              // station 1
      {"", "KT4-RV4", kApp, ":00640159053d\r\n", ""},              // lower-case hex
      {"", "KT4-N", kBoot, "ID", Bin({0x06, 0x20, 0x01})},         // bit 15 dropped (serial)
      {"", "LN-P", kBoot, "ID", Bin({0x06, 0xA0, 0x02})},          // but not on USB
      {"", "RV5-AIO", kBoot, "VERSION", Bin({0x06, 0x02, 0x30})},  // 0x23 = b1 * 16 + b2 / 16
      {"", "LN", kBoot, "ERASEERASE\x04", Bin({0x06, 0x06, 0x06})},
      {"", "LN", kBoot, "XXEIDRASE", Bin({0x06, 0x00, 0x15})},  // stray letters resynchronise
      {"", "LN", kBoot, "VER" + kProbe, Reply64(0x06)},         // and so does a frame
      {"silent:probe", "KT4-RV4", kApp, kProbe, ""},
      {"bad-lrc:probe", "KT4-RV4", kApp, kProbe, kNotTheGoodReply},
      {"lower-hex:probe", "KT4-RV4", kApp, kProbe, ":006401590500003d\r\n"},
      {"short:probe", "KT4-RV4", kApp, kProbe, Reply64(0x05).substr(0, 18)},
      {"corrupt:probe", "KT4-RV4", kApp, kProbe, kNotTheGoodReply},
      {"refuse:probe:02:03", "KT4-RV4", kApp, kProbe, Reply64(0x15, 0x02, 0x03)},
      {"run-mode", "KT4-RV4", kApp, kProbe, Reply64(0x15, 0x01, 0x00)},
      {"status:probe:07", "KT4-RV4", kApp, kProbe, Reply64(0x07)},
      {"silent:probe:2-3", "KT4-RV4", kApp, kProbe + kProbe + kProbe + kProbe,
       Reply64(0x05) + Reply64(0x05)},
      {"wrong-id:id:000D", "KT4-RV4", kApp, kIdRequest, Reply64(0x06, 0x00, 0x0D)},
      {"random:1:probe", "KT4-RV4", kApp, kProbe, kNotTheGoodReply},
      {"hostile", "KT4-RV4", kApp, kProbe, kNotTheGoodReply},
      {"no-boot", "LM4", kApp, kEraseRequest + kEraseConfirm + kProbe,
       Reply64(0x06) + Reply64(0x05)},
      {"refuse:boot-erase:0:0", "KT4-RV4", kBoot, "ERASE", Bin({0x15})},
      {"silent-after-erase:1", "KT4-RV4", kBoot, "ERASEERASE\x04", Bin({0x06})},
      {"nak-frame:1", "LP4", kBlocks, BlockFrame(1, std::vector<uint8_t>(128, 1)), Bin({0x15})},
      {"lost-ack:1", "LP4", kBlocks, BlockFrame(1, std::vector<uint8_t>(128, 1)), ""},
      {"corrupt-frame:1", "LP4", kBlocks, BlockFrame(1, std::vector<uint8_t>(128, 1)), Bin({0x15})},
      {"lost-frame:1", "LP4", kBlocks, BlockFrame(1, std::vector<uint8_t>(128, 1)), ""},
  };
  for (const auto& [fault, model, phase, input, want] : cases) {
    auto sim = MakeSim(model, {fault}, phase);
    const std::string reply = Exchange(*sim, input);
    if (want == kNotTheGoodReply) {
      EXPECT_NE(reply, Exchange(*MakeSim(model, {}, phase), input)) << fault;
    } else {
      EXPECT_EQ(reply, want) << fault << " " << input;
    }
    if (phase == kBlocks) {  // the tool sends the frame again: acknowledged, stored once
      EXPECT_EQ(Exchange(*sim, input), Bin({0x06})) << fault;
      EXPECT_EQ(sim->counters.framesStored, 1u) << fault;
      EXPECT_EQ(sim->imageLength, 128u) << fault;
    }
  }
  auto sim = MakeSim("LM4");  // a request split across writes
  std::string reply;
  for (char c : kProbe) reply += Exchange(*sim, std::string(1, c));
  EXPECT_EQ(reply, Reply64(0x05));
}

TEST(SimFault, RefusesMalformedTextsAndAFullTable) {
  for (const char* text :
       {"", "silent:nothing", "silent:probe:0", "silent:probe:3-2", "refuse:probe:02",
        "refuse:probe:100:01", "wrong-id:probe:0001", "wrong-id:id:10000", "random:1.5",
        "random:0.1:frame,bogus", "no-boot:1", "explode:probe", "a:b:c:d:e:f:g:h"}) {
    SimFault f;
    char error[128] = {};
    EXPECT_FALSE(SimParseFault(text, &f, error, sizeof error)) << text;
    EXPECT_NE(error[0], '\0') << text;
  }
  SimConfig config = SimDefaultConfig(0);
  for (int i = 0; i < kSimMaxFaults; ++i) EXPECT_TRUE(SimAddFault(config, "no-boot", nullptr, 0));
  EXPECT_FALSE(SimAddFault(config, "no-boot", nullptr, 0));
}

// Whatever the tool sends, in whatever state, stays inside the buffers: the
// sanitizer builds run this with every model.
TEST(SimRobustness, RandomTrafficInEveryState) {
  uint64_t x = 12345;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    return x ^= x << 17;
  };
  static const uint8_t kHot[] = {':', '\r', '\n', 0x02, 0x04, 'I', 'D', 'E', 'U', 'V', '0', 'F'};
  uint8_t chunk[600];
  for (int row = 0; row < kPlcCount; ++row) {
    auto sim =
        MakeSim(PlcName(row), {row % 3 ? "random:0.2:all" : "hostile"}, row % 2 ? kApp : kBoot);
    for (int round = 0; round < 300; ++round) {
      const uint32_t n = static_cast<uint32_t>(next() % sizeof chunk);
      for (uint32_t i = 0; i < n; ++i)
        chunk[i] = next() % 2 ? kHot[next() % sizeof kHot] : static_cast<uint8_t>(next());
      SimFeed(*sim, chunk, n);
      const uint64_t action = next() % 8;
      if (action == 0) SimIdle(*sim, 500);
      if (action == 1) SimReconnect(*sim);
      if (action == 2) SimSetLine(*sim, next() % 2 ? kModbus : kTransfer, true);
      if (action == 3) Exchange(*sim, "UPDATE");
      SimTakeOutput(*sim, chunk, static_cast<uint32_t>(next() % 100));
      ASSERT_TRUE(SimOutputSize(*sim) <= kSimOutputSize && sim->imageLength <= kSimMaxImage &&
                  sim->frameLen <= sizeof sim->frameBuf && sim->lineLen <= kSimLineSize);
    }
  }
}

TEST(SimLinkPair, TimePassesOnlyWhenAReadWaitsOutItsTimeout) {
  auto sim = MakeSim("VM500");
  SimLinkPair pair(sim.get());
  LinkHandle link = pair.Open();
  // A complete read costs nothing; one short waits out its whole time-out.
  const Timeouts timeouts[] = {kLongTimeouts, kLongTimeouts, kShortTimeouts};
  const uint32_t want[] = {19, 20, 20};
  const uint64_t clockAfter[] = {0, 3000, 3200};
  uint8_t buf[20];
  for (int i = 0; i < 3; ++i) {
    link->ApplyTimeouts(timeouts[i]);
    LinkWrite(link, reinterpret_cast<const uint8_t*>(kProbe.data()), 15);
    EXPECT_EQ(LinkRead(link, buf, want[i]), 19u);
    EXPECT_EQ(pair.NowMs(), clockAfter[i]);
  }
  CloseLink(link);
}

}  // namespace
