#include "sim_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/models.h"
#include "sim_test_util.h"

namespace {

constexpr LineSettings kModbus{9600, 7, 2, 0};
constexpr LineSettings kTransfer{115200, 8, 0, 0};

std::unique_ptr<PlcSim> MakeSim(const char* model, const std::vector<const char*>& faults = {},
                                bool boot = false) {
  auto sim = std::make_unique<PlcSim>();
  SimConfig config = SimDefaultConfig(PlcIndexByName(model));
  config.startInBoot = boot;
  for (const char* f : faults) {
    char error[96] = {};
    EXPECT_TRUE(SimAddFault(config, f, error, sizeof error)) << error;
  }
  SimInit(*sim, config);
  SimSetLine(*sim, kModbus, true);
  return sim;
}

std::string Reply64(uint8_t sub, uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0) {
  return ModbusRequest({0x00, 0x64, 0x01, sub, status, b5, b6});
}

std::string RegisterReply(uint16_t value) {
  return ModbusRequest(
      {0x00, 0x03, 0x02, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

// Drives a serial or USB model from application mode into the transfer phase.
void IntoTransfer(PlcSim& sim) {
  sim.mode = SimMode::kBoot;
  sim.phase = SimBootPhase::kCommands;
  ASSERT_EQ(Exchange(sim, "UPDATE"), Bin({0x06}));
  SimSetLine(sim, kTransfer, true);
}

std::vector<uint8_t> Pattern(uint32_t length, uint32_t seed) {
  std::vector<uint8_t> out(length);
  for (uint32_t i = 0; i < length; ++i) out[i] = static_cast<uint8_t>((i * 131 + seed) >> 3);
  return out;
}

// ---------------------------------------------------------------------------
// Application mode

TEST(SimApplication, AnswersEveryRequestOfTheFrameTable) {
  auto sim = MakeSim("VM500");
  sim->config.d1386 = 0x4138;
  sim->config.d1148 = 0x0102;
  sim->config.version = 0x23;
  struct Case {
    const std::string& request;
    std::string reply;
  } cases[] = {
      {kWakeUp, ":007F0081\r\n"},
      {kProbe, Reply64(0x59, 0x05)},
      {kIdRequest, Reply64(0x59, 0x06, 0x30, 0x10)},
      {kReadD1386, RegisterReply(0x4138)},
      {kReadD1148, RegisterReply(0x0102)},
      {kVersionRequest, Reply64(0x59, 0x23)},
      {kEraseRequest, Reply64(0x59, 0x06)},
      {kEraseConfirm, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Exchange(*sim, c.request), c.reply) << c.request;
  }
  EXPECT_EQ(cases[0].reply.size(), 11u);
  EXPECT_EQ(cases[1].reply.size(), 19u);
  EXPECT_EQ(cases[3].reply.size(), 15u);
}

TEST(SimApplication, AioModelsAnswerOnlyTheirVariant) {
  struct Case {
    const char* model;
    const std::string& probe;
    const std::string& otherProbe;
    uint8_t sub;
  } cases[] = {
      {"36RV4-AIO", kProbeAio, kProbe, 0x5B}, {"VM500-AIO", kProbeAio, kProbe, 0x5B},
      {"RV5-AIO", kProbeAio, kProbe, 0x5B},   {"VM500", kProbe, kProbeAio, 0x59},
      {"KT4-RV4", kProbe, kProbeAio, 0x59},
  };
  for (const Case& c : cases) {
    auto sim = MakeSim(c.model);
    EXPECT_EQ(Exchange(*sim, c.probe), Reply64(c.sub, 0x05)) << c.model;
    EXPECT_EQ(Exchange(*sim, c.otherProbe), "") << c.model;
    // The version request carries 0x59 for every model.
    EXPECT_EQ(Exchange(*sim, kVersionRequest), Reply64(0x59, 0x10)) << c.model;
  }
}

TEST(SimApplication, ReportsTheModelIdWithAllSixteenBits) {
  for (int row = 0; row < kPlcCount; ++row) {
    auto sim = MakeSim(PlcName(row));
    const std::string& request = IsAioModel(row) ? kIdRequestAio : kIdRequest;
    const uint8_t sub = IsAioModel(row) ? 0x5B : 0x59;
    EXPECT_EQ(Exchange(*sim, request), Reply64(sub, 0x06, static_cast<uint8_t>(plcID[row] >> 8),
                                               static_cast<uint8_t>(plcID[row])))
        << PlcName(row);
  }
}

TEST(SimApplication, IgnoresMalformedRequests) {
  auto sim = MakeSim("KT4-RV4");
  const std::string cases[] = {
      ":006401590142\r\n",    // wrong LRC
      ":006401590141\n",      // no CR
      ":00640159014\r\n",     // odd digit count
      ":0064015901411\r\n",   // odd digit count
      ":016401590140\r\n",    // station 1
      ":00640159053d\r\n",    // lower-case hex from the tool
      ":0003156B00017C\r\n",  // another register
      "junk without colon\r\n",
      ":00640159",  // cut off and never finished (idle below)
  };
  for (const std::string& c : cases) EXPECT_EQ(Exchange(*sim, c), "") << c;
  SimIdle(*sim, kSimInterFrameGapMs);
  EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x59, 0x05));
  EXPECT_EQ(sim->counters.requests[static_cast<int>(SimKind::kProbe)], 1u);
}

TEST(SimApplication, ReassemblesRequestsSplitAcrossWrites) {
  auto sim = MakeSim("LM4");
  std::string reply;
  for (char c : kProbe) reply += Exchange(*sim, std::string(1, c));
  EXPECT_EQ(reply, Reply64(0x59, 0x05));
  // Two requests in one write get two replies, in order.
  EXPECT_EQ(Exchange(*sim, kProbe + kIdRequest),
            Reply64(0x59, 0x05) + Reply64(0x59, 0x06, 0x00, 0x0E));
}

TEST(SimApplication, WakeUpAnswerCanBeSwitchedOff) {
  auto sim = MakeSim("LQ");
  sim->config.answerWakeUp = false;
  EXPECT_EQ(Exchange(*sim, kWakeUp), "");
  EXPECT_EQ(sim->counters.requests[static_cast<int>(SimKind::kWakeUp)], 1u);
}

// ---------------------------------------------------------------------------
// Line speed

TEST(SimLine, TrafficAtAWrongSpeedIsNoise) {
  struct Case {
    const char* model;
    bool lineSet;
    LineSettings line;
    bool framingKnown;
    bool answered;
  } cases[] = {
      {"KT4-RV4", true, kModbus, true, true},
      {"KT4-RV4", false, kModbus, true, false},          // never set
      {"KT4-RV4", true, {19200, 7, 2, 0}, true, false},  // wrong speed
      {"KT4-RV4", true, {9600, 8, 0, 0}, true, false},   // 8N1 at 9600
      {"KT4-RV4", true, {9600, 8, 0, 0}, false, true},   // a pty cannot tell
      {"VM500", false, kModbus, true, true},             // USB: any speed
      {"VM500", true, {38400, 8, 0, 0}, true, true},
  };
  for (const Case& c : cases) {
    auto sim = std::make_unique<PlcSim>();
    SimInit(*sim, SimDefaultConfig(PlcIndexByName(c.model)));
    if (c.lineSet) SimSetLine(*sim, c.line, c.framingKnown);
    EXPECT_EQ(!Exchange(*sim, kProbe).empty(), c.answered)
        << c.model << " " << c.line.baudRate << " " << int(c.line.byteSize);
  }
}

TEST(SimLine, TransferExpects115200ForEveryModel) {
  for (const char* model : {"KT4-RV4", "VM500"}) {
    auto sim = MakeSim(model, {}, true);
    EXPECT_EQ(Exchange(*sim, "UPDATE"), Bin({0x06})) << model;
    const std::string frame = BlockFrame(1, std::vector<uint8_t>(SimBlockSize(sim->config.row), 7));
    EXPECT_EQ(Exchange(*sim, frame), "") << model;  // still at 9600 (or unset)
    SimSetLine(*sim, kTransfer, true);
    EXPECT_EQ(Exchange(*sim, frame), Bin({0x06})) << model;
  }
}

// ---------------------------------------------------------------------------
// Entering the bootloader

TEST(SimBootEntry, EachModelComesUpWhereItsRulesSay) {
  enum class Expect { kNow, kAtReconnect };
  for (int row = 0; row < kPlcCount; ++row) {
    auto sim = MakeSim(PlcName(row));
    const bool aio = IsAioModel(row);
    const bool silentErase = IsPowerCycleModel(row);
    const std::string erase = Exchange(*sim, aio ? kEraseRequestAio : kEraseRequest);
    EXPECT_EQ(erase.empty(), silentErase) << PlcName(row);
    if (!silentErase) {
      EXPECT_EQ(Exchange(*sim, aio ? kEraseConfirmAio : kEraseConfirm), "");
    }
    const Expect expect =
        IsUsbModel(row) || IsPowerCycleModel(row) ? Expect::kAtReconnect : Expect::kNow;
    const uint8_t sub = aio ? 0x5B : 0x59;
    const std::string& probe = aio ? kProbeAio : kProbe;
    if (expect == Expect::kAtReconnect) {
      EXPECT_EQ(Exchange(*sim, probe), Reply64(sub, 0x05)) << PlcName(row);
      SimReconnect(*sim);
    }
    EXPECT_EQ(Exchange(*sim, probe), Reply64(sub, 0x06)) << PlcName(row);
  }
}

TEST(SimBootEntry, ConfirmationWithoutAnAcceptedEraseIsIgnored) {
  auto sim = MakeSim("LM4");
  EXPECT_EQ(Exchange(*sim, kEraseConfirm), "");
  EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x59, 0x05));
  auto refused = MakeSim("LM4", {"refuse:erase:02:04"});
  EXPECT_EQ(Exchange(*refused, kEraseRequest), Reply64(0x59, 0x15, 0x02, 0x04));
  Exchange(*refused, kEraseConfirm);
  EXPECT_EQ(Exchange(*refused, kProbe), Reply64(0x59, 0x05));
}

TEST(SimBootEntry, NoBootKeepsTheApplicationRunning) {
  for (const char* model : {"LM4", "VM500", "KT4-W"}) {
    auto sim = MakeSim(model, {"no-boot"});
    Exchange(*sim, kEraseRequest);
    Exchange(*sim, kEraseConfirm);
    SimReconnect(*sim);
    EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x59, 0x05)) << model;
  }
}

TEST(SimBootEntry, AReconnectAfterACompleteTransferRunsTheNewProgram) {
  auto sim = MakeSim("LN", {}, true);
  SimReconnect(*sim);  // still the bootloader: nothing was sent yet
  EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x59, 0x06));
  IntoTransfer(*sim);
  EXPECT_EQ(Exchange(*sim, BlockFrame(1, Pattern(256, 4))), Bin({0x06}));
  SimReconnect(*sim);  // a transfer cut short leaves the bootloader in charge
  SimSetLine(*sim, kTransfer, true);
  EXPECT_EQ(Exchange(*sim, BlockFrame(2, Pattern(256, 4))), Bin({0x06}));
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), Bin({0x06}));
  SimReconnect(*sim);
  EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x59, 0x05));
  EXPECT_TRUE(SimTransferOk(*sim));
  EXPECT_EQ(sim->imageLength, 512u);
}

TEST(SimBootEntry, PartialInputIsKnownUntilTheLineGoesQuiet) {
  struct Case {
    std::string bytes;
    bool boot;
    bool transfer;
    bool partial;
  } cases[] = {
      {":0064", false, false, true},         {kProbe, false, false, false},
      {"xyz", false, false, false},  // garbage is dropped at once
      {"VERS", true, false, true},           {"VERSION", true, false, false},
      {Bin({0x02, 0x01}), true, true, true},
  };
  for (const Case& c : cases) {
    auto sim = MakeSim("LM4", {}, c.boot);
    if (c.transfer) IntoTransfer(*sim);
    Exchange(*sim, c.bytes);
    EXPECT_EQ(SimHasPartialInput(*sim), c.partial) << c.bytes;
    SimIdle(*sim, kSimInterFrameGapMs);
    EXPECT_FALSE(SimHasPartialInput(*sim)) << c.bytes;
  }
}

// ---------------------------------------------------------------------------
// Boot mode commands

TEST(SimBoot, IdDropsBit15OnSerialModelsOnly) {
  struct Case {
    const char* model;
    uint16_t id;
  } cases[] = {
      {"KT4-N", 0x2001}, {"LP4-P", 0x2003}, {"RV4-TRK", 0x2006}, {"LN-P", 0xA002},
      {"BRK-T", 0xA00B}, {"TW5", 0x0000},   {"KT4-RV4", 0x000C}, {"VM500", 0x3010},
  };
  for (const Case& c : cases) {
    auto sim = MakeSim(c.model, {}, true);
    EXPECT_EQ(Exchange(*sim, "ID"),
              Bin({0x06, static_cast<uint8_t>(c.id >> 8), static_cast<uint8_t>(c.id & 0xFF)}))
        << c.model;
  }
}

TEST(SimBoot, VersionBytesGiveTheVersionByTheNibbleFormula) {
  for (int v : {0x00, 0x09, 0x10, 0x11, 0x12, 0x23, 0xFF}) {
    auto sim = MakeSim("RV5-AIO", {}, true);
    sim->config.version = static_cast<uint8_t>(v);
    const std::string reply = Exchange(*sim, "VERSION");
    ASSERT_EQ(reply.size(), 3u);
    const int b1 = static_cast<uint8_t>(reply[1]);
    const int b2 = static_cast<uint8_t>(reply[2]);
    EXPECT_EQ(reply[0], 0x06);
    EXPECT_EQ((b1 * 16 + b2 / 16) % 256, v);
  }
}

TEST(SimBoot, CountsEraseUnitsAndAcksTheClosingEot) {
  auto sim = MakeSim("LN", {}, true);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Exchange(*sim, "ERASE"), Bin({0x06}));
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), Bin({0x06}));
  EXPECT_EQ(sim->counters.eraseUnits, 4u);
  EXPECT_EQ(sim->counters.requests[static_cast<int>(SimKind::kBootEot)], 1u);
  // The probe still works between commands, and stray letters resynchronise.
  EXPECT_EQ(Exchange(*sim, kProbe), Reply64(0x59, 0x06));
  EXPECT_EQ(Exchange(*sim, "XXEIDRASE"), Bin({0x06, 0x00, 0x15}));
  EXPECT_EQ(Exchange(*sim, Bin({'V', 'E', 0x04})), Bin({0x06}));   // EOT cuts a command off
  EXPECT_EQ(Exchange(*sim, "VER" + kProbe), Reply64(0x59, 0x06));  // and so does a frame
  EXPECT_EQ(Exchange(*sim, "UPDAUPDATE"), Bin({0x06}));
  EXPECT_EQ(sim->phase, SimBootPhase::kTransfer);
}

TEST(SimBoot, SilentAfterEraseUnitK) {
  auto sim = MakeSim("VM500", {"silent-after-erase:10"}, true);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Exchange(*sim, "ERASE"), Bin({0x06}));
  EXPECT_EQ(Exchange(*sim, "ERASE"), "");
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), "");
  EXPECT_EQ(Exchange(*sim, kProbe), "");
  EXPECT_EQ(sim->counters.eraseUnits, 10u);
}

// ---------------------------------------------------------------------------
// Block transfer

TEST(SimTransfer, StoresGoodFramesAndNaksBadOnes) {
  auto sim = MakeSim("KT4-RV4", {}, true);
  IntoTransfer(*sim);
  const std::vector<uint8_t> data = Pattern(128, 1);
  std::string badCrc = BlockFrame(1, data);
  badCrc[10] ^= 0x01;
  std::string badComplement = BlockFrame(1, data);
  badComplement[2] = 0x00;
  struct Case {
    const char* what;
    std::string frame;
    int reply;
    uint32_t stored;
  } cases[] = {
      {"bad CRC", badCrc, 0x15, 0},
      {"bad complement", badComplement, 0x15, 0},
      {"skips ahead", BlockFrame(2, data), 0x15, 0},
      {"first", BlockFrame(1, data), 0x06, 1},
      {"repeat of the last", BlockFrame(1, data), 0x06, 1},
      {"second", BlockFrame(2, data), 0x06, 2},
      {"old block", BlockFrame(1, data), 0x15, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Exchange(*sim, c.frame), Bin({c.reply})) << c.what;
    EXPECT_EQ(sim->counters.framesStored, c.stored) << c.what;
  }
  EXPECT_EQ(sim->counters.duplicates, 1u);
  EXPECT_EQ(sim->counters.naks, 4u);
  EXPECT_EQ(sim->counters.crcErrors, 1u);
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), Bin({0x06}));
  EXPECT_TRUE(sim->transferDone);
  EXPECT_EQ(sim->imageLength, 256u);
}

TEST(SimTransfer, BlockNumbersWrapAndTheImageIsKeptInOrder) {
  auto sim = MakeSim("VM500", {}, true);
  IntoTransfer(*sim);
  const std::vector<uint8_t> image = Pattern(300 * 256, 5);
  for (uint32_t c = 0; c < 300; ++c) {
    const std::vector<uint8_t> block(image.begin() + c * 256, image.begin() + (c + 1) * 256);
    ASSERT_EQ(Exchange(*sim, BlockFrame(static_cast<uint8_t>(c + 1), block)), Bin({0x06})) << c;
  }
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), Bin({0x06}));
  EXPECT_TRUE(SimTransferOk(*sim));
  ASSERT_EQ(sim->imageLength, image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), sim->image.begin()));
}

TEST(SimTransfer, AFrameCutOffByAQuietLineIsDropped) {
  auto sim = MakeSim("LN30", {}, true);
  IntoTransfer(*sim);
  const std::string frame = BlockFrame(1, Pattern(128, 2));
  EXPECT_EQ(Exchange(*sim, frame.substr(0, 60)), "");
  SimIdle(*sim, kSimInterFrameGapMs - 1);  // a short gap keeps it
  EXPECT_EQ(Exchange(*sim, frame.substr(60)), Bin({0x06}));
  EXPECT_EQ(Exchange(*sim, BlockFrame(2, Pattern(128, 3)).substr(0, 100)), "");
  SimIdle(*sim, 3000);
  EXPECT_EQ(Exchange(*sim, BlockFrame(2, Pattern(128, 3))), Bin({0x06}));
  EXPECT_EQ(sim->counters.droppedFrames, 1u);
}

TEST(SimTransfer, FrameSizeFollowsTheModel) {
  for (int row = 0; row < kPlcCount; ++row) {
    const char* n = PlcName(row);
    const bool big =
        IsVmGroup(row) || IsAioModel(row) || std::string(n) == "LN" || std::string(n) == "LN-P";
    EXPECT_EQ(SimBlockSize(row), big ? 256u : 128u) << n;
  }
}

TEST(SimTransfer, CrcMatchesTheXmodemCheckValues) {
  const std::string digits = "123456789";
  EXPECT_EQ(SimCrc16(reinterpret_cast<const uint8_t*>(digits.data()), 9), 0x31C3);
  EXPECT_EQ(SimCrc16(reinterpret_cast<const uint8_t*>("abc"), 3), 0x9DD6);
  const std::vector<uint8_t> filler(256, 0x1A);
  EXPECT_EQ(SimCrc16(filler.data(), 256), 0x83C2);
  EXPECT_EQ(SimCrc16(nullptr, 0), 0x0000);
}

}  // namespace

namespace {

// Whatever the tool sends, in whatever state, stays inside the buffers: the
// sanitizer builds run this with every model.
TEST(SimRobustness, RandomTrafficInEveryState) {
  uint64_t x = 12345;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  std::vector<uint8_t> chunk(600);
  for (int row = 0; row < kPlcCount; ++row) {
    auto sim = MakeSim(PlcName(row), {"random:0.2:all"}, row % 2 == 0);
    for (int round = 0; round < 300; ++round) {
      const uint32_t n = static_cast<uint32_t>(next() % chunk.size());
      // Mostly bytes the parsers care about, so every path gets taken.
      static const uint8_t kHot[] = {':', '\r', '\n', 0x02, 0x04, 'I',
                                     'D', 'E',  'U',  'V',  '0',  'F'};
      for (uint32_t i = 0; i < n; ++i) {
        chunk[i] = next() % 2 ? kHot[next() % sizeof kHot] : static_cast<uint8_t>(next());
      }
      SimFeed(*sim, chunk.data(), n);
      switch (next() % 8) {
        case 0:
          SimIdle(*sim, 500);
          break;
        case 1:
          SimReconnect(*sim);
          break;
        case 2:
          SimSetLine(*sim, next() % 2 ? kModbus : kTransfer, true);
          break;
        case 3:
          sim->mode = SimMode::kBoot;
          Exchange(*sim, "UPDATE");
          break;
        default:
          break;
      }
      uint8_t out[100];
      SimTakeOutput(*sim, out, static_cast<uint32_t>(next() % sizeof out));
      ASSERT_LE(SimOutputSize(*sim), kSimOutputSize);
      ASSERT_LE(sim->imageLength, kSimMaxImage);
      ASSERT_LT(sim->frameLen, sizeof sim->frameBuf + 1);
      ASSERT_LE(sim->lineLen, kSimLineSize);
    }
  }
}

}  // namespace
