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
      {"KT4-RV4", 0x000E, false, false}, {"KT4-RV4", 0x800C, false, false}, {"TW5", 0, true, true},
      {"36RV4-AIO", 0x000D, true, true}, {"36RV4-AIO", 0x000C, false, false},
      {"RV4-TRK", 0xA006, true, false}, {"RV4-TRK", 0x2006, false, true},  // serial boot: no bit 15
      {"KT4-N", 0x2001, false, true}, {"LN-P", 0xA002, true, true}, {"LN-P", 0x2002, false, false},
      {"VM500", 0x3010, true, true}, {"VM500-AIO", 0x3010, true, true}, {"VM500", 0x3000, false, false},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + std::to_string(c.id));
    const auto hi = static_cast<uint8_t>(c.id >> 8), lo = static_cast<uint8_t>(c.id & 0xFF);
    Reset(c.model);
    AnswerAlways(Reply19(6, hi, lo));
    EXPECT_EQ(CheckID_A(link_), c.app ? kResultOk : kResultNoResponse);
    EXPECT_EQ(Writes(), c.app ? 1u : 6u);  // a wrong ID is a failed read
    Reset(c.model);
    AnswerAlways(ToText({kAck, hi, lo}));
    EXPECT_EQ(CheckID_B(link_), c.boot ? kResultOk : kResultBootFailure);
    EXPECT_EQ(Writes(), c.boot ? 1u : 6u);
  }
  for (const char* reply : {"\x15\x30\x10", "\x06\x30"}) {  // no ACK in front, or short
    Reset("VM500");
    AnswerAlways(reply);
    EXPECT_EQ(CheckID_B(link_), kResultBootFailure);
  }
}

TEST_F(ProtocolTest, VersionBytes) {
  Answer({Reply19(0x15, 2, 3)});  // application mode: the status place, unexamined
  EXPECT_EQ(read_fu_version_A(), 0x15);
  // Boot mode: the nibbles of two bytes; a failed read leaves the byte as it was.
  const std::pair<Bytes, uint8_t> cases[] = {{{6, 0x01, 0x00}, 0x10},
                                             {{6, 0x00, 0x90}, 0x09},
                                             {{6, 0x12, 0x34}, 0x23},
                                             {{6, 0xFF, 0x0F}, 0xF0},
                                             {{0x15, 0x01, 0x02}, 0x77}};
  for (const auto& [reply, version] : cases) {
    Reset("VM500");
    VM_fu_version = 0x77;
    AnswerAlways(ToText(reply));
    EXPECT_EQ(read_fu_version_B(), version == 0x77 ? kResultBootFailure : kResultOk);
    EXPECT_EQ(VM_fu_version, version);
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
    EXPECT_EQ(Ints(flashStatus, progress), Ints(kFlashErasing, 100));
    if (c.units == 506) {  // after k ACKs: k * 100 / 506
      EXPECT_EQ(progressAtWrite[6], 0);
      EXPECT_EQ(progressAtWrite[7], 1);
      EXPECT_EQ(progressAtWrite[506], 99);
    }
  }
}

TEST_F(ProtocolTest, BootEraseFailures) {
  // Silent from the tenth "ERASE": the VM group gives a unit one attempt.
  const std::tuple<const char*, int, int> cases[] = {
      {"VM500", 10, 1}, {"KT5", 10, 1}, {"VM500-AIO", 15, 6}, {"KT4-RV4", 15, 6}};
  for (const auto& [model, requests, err] : cases) {
    SCOPED_TRACE(model);
    Reset(model);
    fileLength = 204800;
    wire_->SetResponder(
        [this](TestWire& w, const Bytes&) { w.Reply(++writes_ < 10 ? "\x06" : ""); });
    EXPECT_EQ(SendErase_B(link_), kResultBootFailure);
    EXPECT_EQ(wire_->CountWrites("ERASE"), requests);
    EXPECT_EQ(wire_->CountWrites("\x04"), 0);
    EXPECT_EQ(Ints(errCounter, totalErrCounter), Ints(err, err));
  }
}

}  // namespace
