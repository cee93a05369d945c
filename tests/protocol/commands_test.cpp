// Acceptance rules of the commands: device IDs, version bytes, the erase of
// both modes and its units.
#include "protocol_fixture.h"

namespace {

TEST_F(ProtocolTest, DeviceIdRules) {
  const struct {
    const char* model;
    uint16_t id;
    bool app, boot;  // accepted by CheckID_A, by CheckID_B
  } cases[] = {
      // clang-format off
      {"KT4-RV4", 0x000C, true, true}, {"KT4-RV4", 0x000D, true, true}, {"KT4-W", 0x000D, true, true},
      {"KT4-RV4", 0x000E, false, false}, {"KT4-RV4", 0x800C, false, false},
      {"36RV4-AIO", 0x000D, true, true}, {"36RV4-AIO", 0x000C, false, false},
      {"RV4-TRK", 0xA006, true, false}, {"RV4-TRK", 0x2006, false, true},  // serial boot: no bit 15
      {"KT4-N", 0x2001, false, true}, {"LP4-P", 0x2003, false, true}, {"TW5", 0x0000, true, true},
      {"TW5", 0x0100, false, false}, {"LN-P", 0xA002, true, true}, {"LN-P", 0x2002, false, false},
      {"VM500", 0x3010, true, true}, {"VM500-AIO", 0x3010, true, true}, {"VM500", 0x3000, false, false},
      {"RV5-AIO", 0x0020, true, true},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + std::to_string(c.id));
    const auto hi = static_cast<char>(c.id >> 8), lo = static_cast<char>(c.id & 0xFF);
    Reset(c.model);
    AnswerAlways(Reply19(6, static_cast<uint8_t>(hi), static_cast<uint8_t>(lo)));
    EXPECT_EQ(CheckID_A(link_), c.app ? kResultOk : kResultNoResponse);
    EXPECT_EQ(Writes(), c.app ? 1u : 6u);  // a wrong ID is a failed read
    Reset(c.model);
    AnswerAlways(std::string{'\x06', hi, lo});
    EXPECT_EQ(CheckID_B(link_), c.boot ? kResultOk : kResultBootFailure);
    EXPECT_EQ(Writes(), c.boot ? 1u : 6u);
  }
  // No ACK in front, or a short reply: a failed read.
  for (const std::string reply : {"\x15\x30\x10", "\x06\x30"}) {
    Reset("VM500");
    AnswerAlways(reply);
    EXPECT_EQ(CheckID_B(link_), kResultBootFailure);
  }
}

TEST_F(ProtocolTest, VersionBytes) {
  // Application mode: the status place, unexamined.
  Answer({Reply19(0x15, 2, 3)});
  EXPECT_EQ(read_fu_version_A(), 0x15);
  // Boot mode: the nibbles of two bytes; a failed read leaves the byte.
  const std::pair<std::string, uint8_t> cases[] = {{std::string("\x06\x01\x00", 3), 0x10},
                                                   {std::string("\x06\x00\x90", 3), 0x09},
                                                   {"\x06\x12\x34", 0x23},
                                                   {"\x06\xFF\x0F", 0xF0},
                                                   {"\x15\x01\x02", 0x77}};
  for (const auto& [reply, version] : cases) {
    Reset("VM500");
    VM_fu_version = 0x77;
    AnswerAlways(reply);
    EXPECT_EQ(read_fu_version_B(), version == 0x77 ? kResultBootFailure : kResultOk);
    EXPECT_EQ(VM_fu_version, version);
  }
  // A register read takes any function code with a correct LRC.
  Answer({Reply15(0xFFFF, 0x04)});
  EXPECT_EQ(READ_D1148(link_), 0xFFFF);
}

TEST_F(ProtocolTest, WakeUpRepliesLeaveNoTrace) {
  Reset("KT4-RV4");
  AnswerAlways(Reply19(0x15, 2, 1) + "garbage\x15\x02");
  DummyComm(link_);
  EXPECT_EQ(errCounter + totalErrCounter, 0);
  EXPECT_EQ(Writes(), 5u);
  EXPECT_EQ(Reads(), 10);
}

// KT4-W and RV4-TRK drop off the line once they take the erase request: a
// short read is their acceptance, a complete reply with a wrong LRC is not.
TEST_F(ProtocolTest, EraseAShortReadAcceptsOnlyPowerCycleModels) {
  const struct {
    const char* model;
    std::string reply;
    int result, requests, confirmations;
  } cases[] = {
      {"KT4-W", "", 0, 1, 0},
      {"RV4-TRK", "", 0, 1, 0},
      {"KT4-W", Reply19(6).substr(0, 10), 0, 1, 0},
      {"RV4-TRK", WithWrongLrc(Reply19(6)), 0, 2, 0},
      {"KT4-W", Reply19(6), 0, 1, 1},
      {"KT4-RV4", "", 24, 6, 0},
      {"LN", Reply19(6).substr(0, 18), 24, 6, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model + (" " + c.reply));
    Reset(c.model);
    Answer({c.reply});
    EXPECT_EQ(SendErase_A(link_), c.result);
    EXPECT_EQ(wire_->CountWrites(":006401594552415345D2\r\n"), c.requests);
    EXPECT_EQ(wire_->CountWrites(":00640159063C\r\n"), c.confirmations);
    EXPECT_EQ(totalErrCounter, c.result ? 6 : c.requests - 1);
  }
}

TEST_F(ProtocolTest, EraseUnitsAndBootErase) {
  const struct {
    const char* model;
    uint32_t length;
    uint16_t units;
  } cases[] = {
      // clang-format off
      {"KT4-W", 524288, 5}, {"KT4-W", 524287, 4}, {"RV4-TRK", 0, 1}, {"LP32", 131072, 2},
      {"KT4-G", 917504, 8}, {"LN30", 1, 1}, {"LN", 49152, 4}, {"LN-P", 16383, 1},
      {"VM500", 2076672, 506}, {"VM600", 4096, 0}, {"KT5", 4097, 1}, {"BRK-T", 8192, 1},
      {"VM400", 8193, 2}, {"VM500", 4095, 0}, {"VM500", 0, 0}, {"VM500-AIO", 40960, 20},
      {"VM500-AIO", 40961, 21}, {"RV5-AIO", 0, 0}, {"RV5-AIO", 1, 1}, {"36RV4-AIO", 0, 4},
      {"36RV4-AIO", 12288, 4}, {"KT4-RV4", 493568, 242}, {"TW5", 2048, 2}, {"KT-RV-TW4", 2047, 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model + (" " + std::to_string(c.length)));
    EXPECT_EQ(EraseUnitCount(PlcIndexByName(c.model), c.length), c.units);
    Reset(c.model);
    fileLength = c.length;
    std::vector<int> progressAtWrite;
    wire_->SetResponder([&](TestWire& w, const Bytes&) {
      progressAtWrite.push_back(progress);
      w.Reply("\x06");
    });
    EXPECT_EQ(SendErase_B(link_), kResultOk);
    EXPECT_EQ(wire_->CountWrites("ERASE"), c.units);
    EXPECT_EQ(wire_->Writes().back(), Bytes{kEot});
    EXPECT_EQ(flashStatus, kFlashErasing);
    EXPECT_EQ(progress, 100);
    if (c.units == 506) {  // progress after k ACKs: k * 100 / 506
      EXPECT_EQ(progressAtWrite[6], 0);
      EXPECT_EQ(progressAtWrite[7], 1);
      EXPECT_EQ(progressAtWrite[506], 99);
    }
  }
}

// The VM group gives each unit one attempt; the others the full budget.
TEST_F(ProtocolTest, BootEraseFailures) {
  const struct {
    const char* model;
    int requests, err;
  } cases[] = {{"VM500", 10, 1}, {"KT5", 10, 1}, {"VM500-AIO", 15, 6}, {"KT4-RV4", 15, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    Reset(c.model);
    fileLength = 204800;
    wire_->SetResponder([this](TestWire& w, const Bytes&) {
      if (++writes_ < 10) w.Reply("\x06");  // silent from the tenth "ERASE" on
    });
    EXPECT_EQ(SendErase_B(link_), kResultBootFailure);
    EXPECT_EQ(wire_->CountWrites("ERASE"), c.requests);
    EXPECT_EQ(wire_->CountWrites("\x04"), 0);
    EXPECT_EQ(errCounter, c.err);
    EXPECT_EQ(totalErrCounter, c.err);
  }
  Reset("VM400");  // a NAK on a VM unit ends at once
  fileLength = 4096 * 4;
  Answer({"\x06", "\x15", "\x06"});
  EXPECT_EQ(SendErase_B(link_), kResultBootFailure);
  EXPECT_EQ(wire_->CountWrites("ERASE"), 2);
  Reset("VM500");  // no unit: the EOT under the full budget
  fileLength = 4096;
  Answer({"", "\x15", "", "\x06"});
  EXPECT_EQ(SendErase_B(link_), kResultOk);
  EXPECT_EQ(wire_->CountWrites("\x04"), 4);
  EXPECT_EQ(totalErrCounter, 3);
}

}  // namespace
