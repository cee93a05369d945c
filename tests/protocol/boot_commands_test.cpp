// Boot-mode commands: ID rules, version nibbles, erase units and the switch
// to the transfer line settings.
#include "protocol/boot_commands.h"

#include "protocol/result_codes.h"
#include "protocol_fixture.h"

namespace {

struct BootIdCase {
  const char* model;
  Bytes reply;
  bool accepted;
};

TEST_F(ProtocolTest, CheckIdBRules) {
  const BootIdCase cases[] = {
      // Serial models of ID 12 also take 13.
      {"KT4-RV4", {0x06, 0x00, 0x0C}, true},
      {"KT4-RV4", {0x06, 0x00, 0x0D}, true},
      {"KT4-W", {0x06, 0x00, 0x0D}, true},
      {"KT4-RV4", {0x06, 0x00, 0x0E}, false},
      // Other serial models: the ID without bit 15.
      {"KT4-N", {0x06, 0x20, 0x01}, true},
      {"KT4-N", {0x06, 0xA0, 0x01}, false},
      {"LP4-P", {0x06, 0x20, 0x03}, true},
      {"RV4-TRK", {0x06, 0x20, 0x06}, true},
      {"RV4-TRK", {0x06, 0xA0, 0x06}, false},
      {"36RV4-AIO", {0x06, 0x00, 0x0D}, true},
      {"36RV4-AIO", {0x06, 0x00, 0x0C}, false},
      {"TW5", {0x06, 0x00, 0x00}, true},
      // USB models: all 16 bits.
      {"LN-P", {0x06, 0xA0, 0x02}, true},
      {"LN-P", {0x06, 0x20, 0x02}, false},
      {"BRK-T", {0x06, 0xA0, 0x0B}, true},
      {"BRK-T", {0x06, 0x20, 0x0B}, false},
      {"VM500", {0x06, 0x30, 0x10}, true},
      {"RV5-AIO", {0x06, 0x00, 0x20}, true},
      // Anything but an ACK in front, or a short reply, is a failed read.
      {"VM500", {0x15, 0x30, 0x10}, false},
      {"VM500", {0x06, 0x30}, false},
      {"KT4-RV4", {0x06, 0x00}, false},
  };
  for (const BootIdCase& c : cases) {
    TestWire wire;
    LinkHandle link = wire.Open();
    Select(c.model);
    ClearStatusValues();
    const Bytes reply = c.reply;
    wire.SetResponder([&](TestWire& w, const Bytes&) { w.Reply(reply); });
    EXPECT_EQ(CheckID_B(link), c.accepted ? kResultOk : kResultBootFailure) << c.model;
    EXPECT_EQ(wire.CountWrites("ID"), c.accepted ? 1 : 6) << c.model;
    EXPECT_EQ(Trace(wire).front(), "long");
    CloseLink(link);
  }
}

TEST_F(ProtocolTest, VersionNibbles) {
  struct {
    Bytes reply;
    uint8_t version;
  } const cases[] = {
      {{0x06, 0x01, 0x00}, 0x10},
      {{0x06, 0x00, 0x90}, 0x09},
      {{0x06, 0x12, 0x34}, 0x23},
      {{0x06, 0xFF, 0x0F}, 0xF0},
  };
  Select("VM500");
  for (const auto& c : cases) {
    VM_fu_version = 0x77;
    Answer({ToText(c.reply)});
    EXPECT_EQ(read_fu_version_B(), kResultOk);
    EXPECT_EQ(VM_fu_version, c.version);
  }
  // A failed read leaves the byte as it was.
  VM_fu_version = 0x77;
  AnswerAlways({0x15, 0x01, 0x00});
  EXPECT_EQ(read_fu_version_B(), kResultBootFailure);
  EXPECT_EQ(VM_fu_version, 0x77);
  EXPECT_EQ(wire_.CountWrites("VERSION"), 4 + 6);
}

struct UnitCase {
  const char* model;
  uint32_t length;
  uint16_t units;
};

TEST(EraseUnits, CountPerModel) {
  const UnitCase cases[] = {
      {"KT4-W", 524288, 5},
      {"KT4-W", 524287, 4},
      {"RV4-TRK", 0, 1},
      {"LP32", 131072, 2},
      {"KT4-G", 917504, 8},
      {"LN30", 1, 1},
      {"LN", 49152, 4},
      {"LN-P", 16383, 1},
      {"VM500", 2076672, 506},
      {"VM600", 4096, 0},
      {"KT5", 4097, 1},
      {"BRK-T", 8192, 1},
      {"VM400", 8193, 2},
      {"VM500", 4095, 0},
      {"VM500", 0, 0},
      {"VM500-AIO", 40960, 20},
      {"VM500-AIO", 40961, 21},
      {"RV5-AIO", 0, 0},
      {"RV5-AIO", 1, 1},
      {"36RV4-AIO", 0, 4},
      {"36RV4-AIO", 12288, 4},
      {"KT4-RV4", 493568, 242},
      {"LM4", 0, 1},
      {"TW5", 2048, 2},
      {"KT-RV-TW4", 2047, 1},
  };
  for (const UnitCase& c : cases) {
    EXPECT_EQ(EraseUnitCount(PlcIndexByName(c.model), c.length), c.units)
        << c.model << " " << c.length;
  }
}

TEST_F(ProtocolTest, EraseSendsOneRequestPerUnitThenEot) {
  const UnitCase cases[] = {
      {"KT4-W", 524288, 5},  {"KT4-W", 524287, 4}, {"VM500-AIO", 40961, 21},
      {"36RV4-AIO", 100, 4}, {"VM500", 4096, 0},   {"LN", 49152, 4},
  };
  for (const UnitCase& c : cases) {
    TestWire wire;
    LinkHandle link = wire.Open();
    Select(c.model);
    ClearStatusValues();
    fileLength = c.length;
    wire.SetResponder([](TestWire& w, const Bytes&) { w.Reply(B({kAck})); });
    EXPECT_EQ(SendErase_B(link), kResultOk) << c.model;
    EXPECT_EQ(wire.CountWrites("ERASE"), c.units) << c.model;
    const std::vector<std::string> trace = Trace(wire);
    EXPECT_EQ(trace.front(), "long");
    EXPECT_EQ(trace[trace.size() - 2], "> \\x04") << c.model;
    EXPECT_EQ(flashStatus, kFlashErasing);
    EXPECT_EQ(progress, 100);
    CloseLink(link);
  }
}

TEST_F(ProtocolTest, EraseProgressOverTheEmbeddedImage) {
  Select("VM500");
  fileLength = 2076672;
  std::vector<int> progressAtWrite;
  wire_.SetResponder([&](TestWire& wire, const Bytes&) {
    progressAtWrite.push_back(progress);
    wire.Reply(B({kAck}));
  });
  EXPECT_EQ(SendErase_B(link_), kResultOk);
  ASSERT_EQ(progressAtWrite.size(), 507u);
  EXPECT_EQ(progressAtWrite[0], 0);     // before the first ACK
  EXPECT_EQ(progressAtWrite[1], 0);     // after the first ACK
  EXPECT_EQ(progressAtWrite[6], 0);     // 5 * 100 / 506
  EXPECT_EQ(progressAtWrite[7], 1);     // 6 * 100 / 506
  EXPECT_EQ(progressAtWrite[506], 99);  // after the last "ERASE" ACK
  EXPECT_EQ(progress, 100);
  EXPECT_EQ(errCounter, 0);
}

struct SilentUnitCase {
  const char* model;
  int eraseRequests;
  int errAfter;
  int totalAfter;
};

// The bootloader stays silent from the tenth "ERASE" on.
TEST_F(ProtocolTest, EraseSilenceOnTheTenthUnit) {
  const SilentUnitCase cases[] = {
      {"VM500", 10, 1, 1},  // one attempt per unit, no EOT
      {"KT5", 10, 1, 1},
      {"VM500-AIO", 15, 6, 6},  // the full budget on that unit
      {"KT4-RV4", 15, 6, 6},
  };
  for (const SilentUnitCase& c : cases) {
    TestWire wire;
    LinkHandle link = wire.Open();
    Select(c.model);
    ClearStatusValues();
    totalErrCounter = 2;
    fileLength = 204800;  // 49 units on the VM group, 100 or more elsewhere
    int erases = 0;
    wire.SetResponder([&](TestWire& w, const Bytes&) {
      if (++erases < 10) w.Reply(B({kAck}));
    });
    EXPECT_EQ(SendErase_B(link), kResultBootFailure) << c.model;
    EXPECT_EQ(wire.CountWrites("ERASE"), c.eraseRequests) << c.model;
    EXPECT_EQ(wire.CountWrites("\x04"), 0) << c.model;
    EXPECT_EQ(errCounter, c.errAfter) << c.model;
    EXPECT_EQ(totalErrCounter, 2 + c.totalAfter) << c.model;
    EXPECT_EQ(flashStatus, kFlashErasing);
    CloseLink(link);
  }
}

TEST_F(ProtocolTest, EraseNakOnAVmUnitEndsAtOnce) {
  Select("VM400");
  fileLength = 4096 * 4;
  Answer({"\x06", "\x15", "\x06"});
  EXPECT_EQ(SendErase_B(link_), kResultBootFailure);
  EXPECT_EQ(wire_.CountWrites("ERASE"), 2);
  EXPECT_EQ(progress, 0);
}

TEST_F(ProtocolTest, EraseEotUnderTheFullBudget) {
  Select("VM500");
  fileLength = 4096;  // no unit: straight to EOT
  Answer({"", "\x15", "", "\x06"});
  EXPECT_EQ(SendErase_B(link_), kResultOk);
  EXPECT_EQ(wire_.CountWrites("\x04"), 4);
  EXPECT_EQ(wire_.CountWrites("ERASE"), 0);
  EXPECT_EQ(errCounter, 0);
  EXPECT_EQ(totalErrCounter, 3);
  Answer({});
  EXPECT_EQ(SendErase_B(link_), kResultBootFailure);
  EXPECT_EQ(errCounter, 6);
}

TEST_F(ProtocolTest, UpdateSwitchesTheLineOnlyAfterTheAck) {
  Select("KT4-RV4");
  Answer({"", "\x15", "\x06"});
  EXPECT_EQ(SendUpdate(link_), kResultOk);
  EXPECT_EQ(Trace(wire_), (std::vector<std::string>{"long", "> UPDATE", "< 1", "> UPDATE", "< 1",
                                                    "> UPDATE", "< 1", "transfer"}));
  EXPECT_EQ(errCounter, 0);
  EXPECT_EQ(totalErrCounter, 2);
}

TEST_F(ProtocolTest, UpdateUnansweredLeavesTheLineAlone) {
  Select("VM500");
  EXPECT_EQ(SendUpdate(link_), kResultBootFailure);
  for (const std::string& t : Trace(wire_)) EXPECT_NE(t, "transfer");
  EXPECT_EQ(wire_.CountWrites("UPDATE"), 6);
}

}  // namespace
