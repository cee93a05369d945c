#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/models.h"
#include "sim_device.h"
#include "sim_test_util.h"

namespace {

constexpr LineSettings kModbus{9600, 7, 2, 0};
constexpr LineSettings kTransfer{115200, 8, 0, 0};

std::unique_ptr<PlcSim> MakeSim(const char* model, const std::vector<const char*>& faults,
                                bool boot = false, uint64_t seed = 1) {
  auto sim = std::make_unique<PlcSim>();
  SimConfig config = SimDefaultConfig(PlcIndexByName(model));
  config.startInBoot = boot;
  config.seed = seed;
  for (const char* f : faults) {
    char error[96] = {};
    EXPECT_TRUE(SimAddFault(config, f, error, sizeof error)) << error;
  }
  SimInit(*sim, config);
  SimSetLine(*sim, kModbus, true);
  return sim;
}

std::string Reply64(uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0) {
  return ModbusRequest({0x00, 0x64, 0x01, 0x59, status, b5, b6});
}

void IntoTransfer(PlcSim& sim) {
  ASSERT_EQ(Exchange(sim, "UPDATE"), Bin({0x06}));
  SimSetLine(sim, kTransfer, true);
}

// Sum of the decoded bytes of a Modbus reply (0 when its LRC holds); -1 when
// a character is not upper-case hex.
int ReplySum(const std::string& reply) {
  auto val = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  unsigned sum = 0;
  for (size_t i = 1; i + 3 < reply.size(); i += 2) {
    const int hi = val(reply[i]);
    const int lo = val(reply[i + 1]);
    if (hi < 0 || lo < 0) return -1;
    sum += static_cast<unsigned>(hi * 16 + lo);
  }
  return static_cast<int>(sum & 0xFF);
}

// ---------------------------------------------------------------------------
// Grammar

TEST(SimFaultGrammar, ParsesEveryForm) {
  struct Case {
    const char* text;
    SimFaultType type;
    SimKind kind;
    uint32_t first;
    uint32_t last;
    int value;  // class*256+detail, status, id, units, or -1
  } cases[] = {
      {"silent:probe:3", SimFaultType::kSilent, SimKind::kProbe, 3, 3, -1},
      {"silent:boot-erase", SimFaultType::kSilent, SimKind::kBootErase, 1, UINT32_MAX, -1},
      {"bad-lrc:id:2-4", SimFaultType::kBadLrc, SimKind::kId, 2, 4, -1},
      {"lower-hex:version:*", SimFaultType::kLowerHex, SimKind::kVersion, 1, UINT32_MAX, -1},
      {"short:d1386:5+", SimFaultType::kShort, SimKind::kD1386, 5, UINT32_MAX, -1},
      {"corrupt:update", SimFaultType::kCorrupt, SimKind::kUpdate, 1, UINT32_MAX, -1},
      {"refuse:erase:02:04", SimFaultType::kRefuse, SimKind::kErase, 1, UINT32_MAX, 0x0204},
      {"refuse:probe:2:3:1", SimFaultType::kRefuse, SimKind::kProbe, 1, 1, 0x0203},
      {"status:probe:07", SimFaultType::kStatus, SimKind::kProbe, 1, UINT32_MAX, 0x07},
      {"wrong-id:id:000D", SimFaultType::kWrongId, SimKind::kId, 1, UINT32_MAX, 0x000D},
      {"wrong-id:boot-id:a001:1-2", SimFaultType::kWrongId, SimKind::kBootId, 1, 2, 0xA001},
      {"run-mode", SimFaultType::kRefuse, SimKind::kProbe, 1, UINT32_MAX, 0x0100},
      {"nak-frame:100", SimFaultType::kRefuse, SimKind::kFrame, 100, 100, 0},
      {"lost-ack:7", SimFaultType::kLostAck, SimKind::kFrame, 7, 7, -1},
      {"corrupt-frame:1-5", SimFaultType::kCorruptFrame, SimKind::kFrame, 1, 5, -1},
      {"lost-frame", SimFaultType::kLostFrame, SimKind::kFrame, 1, UINT32_MAX, -1},
      {"silent-after-erase:10", SimFaultType::kSilentAfterErase, SimKind::kBootErase, 1, UINT32_MAX,
       10},
  };
  for (const Case& c : cases) {
    SimFault f;
    char error[96] = {};
    ASSERT_TRUE(SimParseFault(c.text, &f, error, sizeof error)) << c.text << ": " << error;
    EXPECT_EQ(f.type, c.type) << c.text;
    EXPECT_EQ(f.kind, c.kind) << c.text;
    EXPECT_EQ(f.first, c.first) << c.text;
    EXPECT_EQ(f.last, c.last) << c.text;
    if (c.type == SimFaultType::kRefuse && c.value >= 0) {
      EXPECT_EQ(f.errClass * 256 + f.errDetail, c.value) << c.text;
    } else if (c.type == SimFaultType::kStatus) {
      EXPECT_EQ(f.status, c.value) << c.text;
    } else if (c.type == SimFaultType::kWrongId) {
      EXPECT_EQ(f.id, c.value) << c.text;
    } else if (c.type == SimFaultType::kSilentAfterErase) {
      EXPECT_EQ(f.afterUnits, static_cast<uint32_t>(c.value)) << c.text;
    }
  }
}

TEST(SimFaultGrammar, ParsesRandomRatesAndKinds) {
  SimFault f;
  ASSERT_TRUE(SimParseFault("random:0.01", &f, nullptr, 0));
  EXPECT_EQ(f.type, SimFaultType::kRandom);
  EXPECT_DOUBLE_EQ(f.rate, 0.01);
  EXPECT_EQ(f.kindMask,
            (1u << static_cast<int>(SimKind::kFrame)) | (1u << static_cast<int>(SimKind::kEot)));
  ASSERT_TRUE(SimParseFault("random:1:probe,boot-id", &f, nullptr, 0));
  EXPECT_EQ(f.kindMask,
            (1u << static_cast<int>(SimKind::kProbe)) | (1u << static_cast<int>(SimKind::kBootId)));
  ASSERT_TRUE(SimParseFault("random:0.5:all", &f, nullptr, 0));
  EXPECT_EQ(f.kindMask, (1u << kSimKindCount) - 1);
  ASSERT_TRUE(SimParseFault("hostile", &f, nullptr, 0));
  EXPECT_EQ(f.type, SimFaultType::kHostile);
  ASSERT_TRUE(SimParseFault("no-boot", &f, nullptr, 0));
  EXPECT_EQ(f.type, SimFaultType::kNoBoot);
}

TEST(SimFaultGrammar, RejectsMalformedTexts) {
  const char* cases[] = {
      "",
      "silent",                  // kind missing
      "silent:nothing",          // unknown kind
      "silent:probe:0",          // requests count from 1
      "silent:probe:3-2",        // empty range
      "silent:probe:x",          // not a number
      "silent:probe:3:4",        // extra field
      "refuse:probe:02",         // detail missing
      "refuse:probe:100:01",     // class beyond a byte
      "status:probe:zz",         // not hex
      "wrong-id:probe:0001",     // ID faults belong to ID requests
      "wrong-id:id:10000",       // beyond 16 bits
      "random",                  // rate missing
      "random:1.5",              // rate beyond 1
      "random:-0.1",             // negative rate
      "random:0.1:frame,bogus",  // unknown kind
      "random:0.1x",             // trailing junk
      "silent-after-erase",      // K missing
      "silent-after-erase:k",    // not a number
      "no-boot:1",               // takes nothing
      "hostile:yes",             // takes nothing
      "nak-frame:1:2",           // one selector only
      "explode:probe",           // unknown fault
      "a:b:c:d:e:f:g:h",         // too many fields
  };
  for (const char* text : cases) {
    SimFault f;
    char error[128] = {};
    EXPECT_FALSE(SimParseFault(text, &f, error, sizeof error)) << text;
    EXPECT_NE(error[0], '\0') << text;
  }
  EXPECT_FALSE(SimParseFault(nullptr, nullptr, nullptr, 0));
}

TEST(SimFaultGrammar, TableHoldsAFixedNumberOfFaults) {
  SimConfig config = SimDefaultConfig(0);
  for (int i = 0; i < kSimMaxFaults; ++i)
    ASSERT_TRUE(SimAddFault(config, "silent:probe:1", nullptr, 0));
  char error[64] = {};
  EXPECT_FALSE(SimAddFault(config, "silent:probe:1", error, sizeof error));
  EXPECT_STREQ(error, "too many faults");
}

// ---------------------------------------------------------------------------
// Modbus reply faults, on the n-th probe

TEST(SimFaultReplies, ShapeTheSelectedReplyOnly) {
  struct Case {
    const char* fault;
    std::string second;  // reply to the second probe; "" for silence
    size_t length;       // its length
    int sum;             // its decoded sum: 0 good LRC, -1 not upper-case hex
  } cases[] = {
      {"silent:probe:2", "", 0, 0},
      {"bad-lrc:probe:2", "", 19, 1},
      {"lower-hex:probe:2", "", 19, -1},
      {"short:probe:2", Reply64(0x05).substr(0, 18), 18, 0},
      {"corrupt:probe:2", "", 19, 1},
      {"refuse:probe:02:03:2", Reply64(0x15, 0x02, 0x03), 19, 0},
      {"run-mode:2", Reply64(0x15, 0x01, 0x00), 19, 0},
      {"status:probe:07:2", Reply64(0x07), 19, 0},
  };
  for (const Case& c : cases) {
    auto sim = MakeSim("KT4-RV4", {c.fault});
    EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x05)) << c.fault;
    const std::string second = Exchange(*sim, kProbe);
    EXPECT_EQ(second.size(), c.length) << c.fault;
    if (!c.second.empty()) {
      EXPECT_EQ(second, c.second) << c.fault;
    }
    if (c.length == 19) {
      EXPECT_EQ(ReplySum(second) == 0 ? 0 : ReplySum(second) < 0 ? -1 : 1, c.sum) << c.fault;
    }
    EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x05)) << c.fault;
  }
}

TEST(SimFaultReplies, SelectorsPickRequestsByTheirNumber) {
  struct Case {
    const char* fault;
    const char* pattern;  // per probe: '.' answered, 's' silent
  } cases[] = {
      {"silent:probe:3", "..s..."},  {"silent:probe:2-4", ".sss.."},
      {"silent:probe:5+", "....ss"}, {"silent:probe:*", "ssssss"},
      {"silent:probe", "ssssss"},    {"silent:id:1", "......"},  // another kind
  };
  for (const Case& c : cases) {
    auto sim = MakeSim("LQ4", {c.fault});
    std::string got;
    for (int i = 0; i < 6; ++i) got += Exchange(*sim, kProbe).empty() ? 's' : '.';
    EXPECT_EQ(got, c.pattern) << c.fault;
  }
}

TEST(SimFaultReplies, WrongIdAndRefusalsPerRequestKind) {
  auto sim = MakeSim("KT4-N", {"wrong-id:id:2001:1", "refuse:id:02:02:2", "wrong-id:boot-id:A001",
                               "refuse:d1148:02:00"});
  EXPECT_EQ(Exchange(*sim, kIdRequest), Reply64(0x06, 0x20, 0x01));
  EXPECT_EQ(Exchange(*sim, kIdRequest), Reply64(0x15, 0x02, 0x02));
  EXPECT_EQ(Exchange(*sim, kIdRequest), Reply64(0x06, 0xA0, 0x01));
  EXPECT_EQ(Exchange(*sim, kReadD1148), ModbusRequest({0x00, 0x83, 0x02}));
  sim->mode = SimMode::kBoot;
  EXPECT_EQ(Exchange(*sim, "ID"), Bin({0x06, 0xA0, 0x01}));
}

TEST(SimFaultReplies, BootCommandFaults) {
  struct Case {
    const char* fault;
    const char* command;
    std::string reply;
  } cases[] = {
      {"refuse:boot-id:00:00", "ID", Bin({0x15})},
      {"short:boot-id", "ID", Bin({0x06, 0x00})},
      {"corrupt:boot-version", "VERSION", Bin({0x55, 0x01, 0x00})},
      {"silent:boot-erase", "ERASE", ""},
      {"refuse:boot-erase:0:0", "ERASE", Bin({0x15})},
      {"corrupt:update", "UPDATE", Bin({0x55})},
      {"short:update", "UPDATE", ""},
      {"silent:boot-eot", "\x04", ""},
  };
  for (const Case& c : cases) {
    auto sim = MakeSim("LM4", {c.fault}, true);
    EXPECT_EQ(Exchange(*sim, c.command), c.reply) << c.fault;
  }
  // A refused or silent erase unit does not count.
  auto sim = MakeSim("LM4", {"silent:boot-erase:2", "refuse:boot-erase:0:0:3"}, true);
  for (int i = 0; i < 4; ++i) Exchange(*sim, "ERASE");
  EXPECT_EQ(sim->counters.eraseUnits, 2u);
}

TEST(SimFaultReplies, EraseSilenceAndALostConfirmation) {
  // KT4-W says nothing to the erase request even without a fault.
  auto sim = MakeSim("KT4-W", {});
  EXPECT_EQ(Exchange(*sim, kEraseRequest), "");
  EXPECT_TRUE(sim->bootAtReconnect);
  // With a fault it answers, and has not taken the command.
  auto lrc = MakeSim("RV4-TRK", {"bad-lrc:erase:1"});
  const std::string reply = Exchange(*lrc, kEraseRequest);
  EXPECT_EQ(reply.size(), 19u);
  EXPECT_EQ(ReplySum(reply), 1);
  EXPECT_FALSE(lrc->bootAtReconnect);
  EXPECT_EQ(Exchange(*lrc, kEraseRequest), "");
  EXPECT_TRUE(lrc->bootAtReconnect);
  auto silent = MakeSim("LM4", {"silent:confirm"});
  Exchange(*silent, kEraseRequest);
  Exchange(*silent, kEraseConfirm);
  EXPECT_EQ(silent->mode, SimMode::kApplication);
}

// ---------------------------------------------------------------------------
// Block frame faults

TEST(SimFaultFrames, EachFrameFaultActsAsOnALine) {
  struct Case {
    const char* fault;
    std::string first;  // reply to the first arrival of block 1
    uint32_t storedAfterFirst;
  } cases[] = {
      {"nak-frame:1", Bin({0x15}), 0},     {"lost-ack:1", "", 1},
      {"corrupt-frame:1", Bin({0x15}), 0}, {"lost-frame:1", "", 0},
      {"silent:frame:1", "", 0},           {"corrupt:frame:1", Bin({0x55}), 1},
  };
  const std::vector<uint8_t> data(128, 0x42);
  for (const Case& c : cases) {
    auto sim = MakeSim("LP4", {c.fault}, true);
    IntoTransfer(*sim);
    EXPECT_EQ(Exchange(*sim, BlockFrame(1, data)), c.first) << c.fault;
    EXPECT_EQ(sim->counters.framesStored, c.storedAfterFirst) << c.fault;
    // The tool sends the same frame again: acknowledged, stored once.
    EXPECT_EQ(Exchange(*sim, BlockFrame(1, data)), Bin({0x06})) << c.fault;
    EXPECT_EQ(sim->counters.framesStored, 1u) << c.fault;
    EXPECT_EQ(sim->imageLength, 128u) << c.fault;
  }
}

TEST(SimFaultFrames, NakOfTheNthArrivalCountsResends) {
  auto sim = MakeSim("LP4", {"nak-frame:2-6"}, true);
  IntoTransfer(*sim);
  const std::vector<uint8_t> data(128, 1);
  EXPECT_EQ(Exchange(*sim, BlockFrame(1, data)), Bin({0x06}));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Exchange(*sim, BlockFrame(2, data)), Bin({0x15}));
  EXPECT_EQ(Exchange(*sim, BlockFrame(2, data)), Bin({0x06}));
  EXPECT_EQ(sim->counters.naks, 5u);
  EXPECT_EQ(sim->counters.frames, 7u);
}

// A tool-side stop-and-wait sender with the retry budget of six, written here
// from the wire description: returns whether the EOT was acknowledged.
bool SendImage(PlcSim& sim, const std::vector<uint8_t>& image, uint32_t size) {
  const uint32_t blocks = static_cast<uint32_t>((image.size() + size - 1) / size);
  for (uint32_t c = 0; c < blocks; ++c) {
    std::vector<uint8_t> data(size, 0x1A);
    const size_t take = std::min<size_t>(size, image.size() - c * size);
    std::copy_n(image.begin() + c * size, take, data.begin());
    const std::string frame = BlockFrame(static_cast<uint8_t>(c + 1), data);
    int failures = 0;
    while (Exchange(sim, frame) != Bin({0x06})) {
      SimIdle(sim, 3000);
      if (++failures == 6) return false;
    }
  }
  for (int failures = 0; Exchange(sim, Bin({0x04})) != Bin({0x06});) {
    if (++failures == 6) return false;
  }
  return true;
}

TEST(SimFaultFrames, RandomFaultsLeaveTheImageIntact) {
  std::vector<uint8_t> image(40000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  for (uint64_t seed : {1ull, 2ull, 99ull}) {
    auto sim = MakeSim("VM500-AIO", {"random:0.05"}, true, seed);
    IntoTransfer(*sim);
    ASSERT_TRUE(SendImage(*sim, image, 256)) << seed;
    EXPECT_TRUE(SimTransferOk(*sim));
    EXPECT_GT(sim->counters.frames, sim->counters.framesStored) << "faults happened";
    EXPECT_EQ(sim->counters.framesStored, 157u);
    ASSERT_GE(sim->imageLength, image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), sim->image.begin())) << seed;
  }
}

TEST(SimFaultFrames, RandomFaultsRepeatForTheSameSeed) {
  auto run = [](uint64_t seed) {
    auto sim = MakeSim("KT4-RV4", {"random:0.3:probe"}, false, seed);
    std::string all;
    for (int i = 0; i < 40; ++i) all += Exchange(*sim, kProbe) + "|";
    return all;
  };
  EXPECT_EQ(run(7), run(7));
  EXPECT_NE(run(7), run(8));
  EXPECT_NE(run(7).find("||"), std::string::npos) << "some probes went unanswered";
}

TEST(SimFaultFrames, ARateThatSpendsTheBudgetFailsTheTransfer) {
  auto sim = MakeSim("VM500", {"random:1"}, true);
  IntoTransfer(*sim);
  EXPECT_FALSE(SendImage(*sim, std::vector<uint8_t>(1024, 3), 256));
  EXPECT_FALSE(SimTransferOk(*sim));
}

TEST(SimFaultFrames, HostileDeviceAnswersNoiseAndNeverOverflows) {
  auto sim = MakeSim("VM500", {"hostile"}, false, 5);
  uint32_t total = 0;
  for (int i = 0; i < 1000; ++i) {
    SimFeed(*sim, reinterpret_cast<const uint8_t*>(kProbe.data()), 15);
    total += SimOutputSize(*sim) > 0 ? 1 : 0;
  }
  EXPECT_GT(total, 0u);
  EXPECT_LE(SimOutputSize(*sim), kSimOutputSize);
  EXPECT_GT(sim->counters.outputOverflow, 0u);
  EXPECT_EQ(sim->mode, SimMode::kApplication);
}

}  // namespace
