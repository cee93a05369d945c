// Application-mode commands and the probe: acceptance rules and the details
// of their exchanges.
#include "protocol/app_commands.h"

#include "protocol/probe.h"
#include "protocol/result_codes.h"
#include "protocol_fixture.h"

namespace {

struct IdCase {
  const char* model;
  uint16_t reported;
  bool accepted;
};

TEST_F(ProtocolTest, CheckIdAAcceptsOnlyTheSelectedType) {
  const IdCase cases[] = {
      {"KT4-RV4", 0x000C, true},    {"KT4-RV4", 0x000D, true},  {"KT4-W", 0x000D, true},
      {"KT4-RV4", 0x000E, false},   {"KT4-RV4", 0x800C, false}, {"36RV4-AIO", 0x000D, true},
      {"36RV4-AIO", 0x000C, false}, {"RV4-TRK", 0xA006, true},  {"RV4-TRK", 0x2006, false},
      {"KT4-N", 0x2001, false},     {"LN-P", 0xA002, true},     {"TW5", 0x0000, true},
      {"TW5", 0x0100, false},       {"VM500", 0x3010, true},    {"VM500-AIO", 0x3010, true},
      {"VM500", 0x3000, false},
  };
  for (const IdCase& c : cases) {
    TestWire wire;
    LinkHandle link = wire.Open();
    Select(c.model);
    ClearStatusValues();
    const std::string reply =
        Reply19(0x06, static_cast<uint8_t>(c.reported >> 8), static_cast<uint8_t>(c.reported));
    wire.SetResponder([&](TestWire& w, const Bytes&) { w.Reply(reply); });
    EXPECT_EQ(CheckID_A(link), c.accepted ? kResultOk : kResultNoResponse)
        << c.model << " " << c.reported;
    // A wrong ID is a failed read: the request goes out again, six times.
    EXPECT_EQ(wire.Writes().size(), c.accepted ? 1u : 6u) << c.model;
    EXPECT_EQ(totalErrCounter, c.accepted ? 0 : 6) << c.model;
    CloseLink(link);
  }
}

TEST_F(ProtocolTest, CheckIdARefusalWithTheRightIdIsAFailedRead) {
  Select("VM500");
  Answer({Reply19(0x15, 0x30, 0x10), Reply19(0x06, 0x30, 0x10)});
  EXPECT_EQ(CheckID_A(link_), kResultOk);
  EXPECT_EQ(errCounter, 1);
  EXPECT_EQ(totalErrCounter, 1);
}

TEST_F(ProtocolTest, ProbeDoesNotExamineFramingCharacters) {
  Select("LN");
  std::string reply = Reply19(0x06);
  reply[0] = '#';
  reply[17] = 'x';
  reply[18] = 'y';
  Answer({reply});
  EXPECT_EQ(ConfirmComm(link_), kResultBootMode);
  EXPECT_EQ(totalErrCounter, 0);
}

TEST_F(ProtocolTest, ProbeRetriesAfterAWrongLrc) {
  Select("KT4-RV4");
  totalErrCounter = 4;
  Answer({WithWrongLrc(Reply19(0x05)), Reply19(0x06)});
  EXPECT_EQ(ConfirmComm(link_), kResultBootMode);
  EXPECT_EQ(errCounter, 0);
  EXPECT_EQ(totalErrCounter, 5);
  EXPECT_EQ(wire_.CountWrites(":006401590141\r\n"), 2);
}

TEST_F(ProtocolTest, WakeUpAnswersLeaveNoTrace) {
  Select("KT4-RV4");
  AnswerAlways(ToBytes(Reply19(0x15, 0x02, 0x01) + "garbage\x15\x02"));
  DummyComm(link_);
  EXPECT_EQ(errCounter, 0);
  EXPECT_EQ(totalErrCounter, 0);
  EXPECT_EQ(wire_.Writes().size(), 5u);
  EXPECT_EQ(Reads(), 10);
  // Ten 200 ms waits at most; here the five late reads find nothing.
  EXPECT_LE(wire_.NowMs(), 10u * 200u);
}

TEST_F(ProtocolTest, RegisterReads) {
  Select("KT4-RV4");
  // Another function code with a correct LRC is accepted.
  Answer({Reply15(0x1234, 0x04)});
  EXPECT_EQ(READ_D1386(link_), 0x1234);
  Answer({Reply15(0xFFFF)});
  EXPECT_EQ(READ_D1148(link_), 0xFFFF);
  // A PLC that never answers: 0 after six read time-outs.
  Answer({});
  const uint64_t before = wire_.NowMs();
  EXPECT_EQ(READ_D1386(link_), 0);
  EXPECT_EQ(wire_.NowMs() - before, 6u * 3000u);
  EXPECT_EQ(errCounter, 6);
}

TEST_F(ProtocolTest, VersionByteIsTheStatusPlaceUntested) {
  Select("RV5-AIO");
  Answer({Reply19(0x15, 0x02, 0x03)});
  EXPECT_EQ(read_fu_version_A(), 0x15);
  EXPECT_EQ(errCounter, 0);
  Answer({"", Reply19(0x11)});
  EXPECT_EQ(read_fu_version_A(), 0x11);
  EXPECT_EQ(errCounter, 1);
}

struct SilentEraseCase {
  const char* model;
  std::vector<std::string> replies;
  int result;
  int requests;
  int confirmations;
  int totalErrors;
};

// KT4-W and RV4-TRK drop off the line once they take the erase request; a
// short read is their acceptance, a complete reply with a wrong LRC is not.
TEST_F(ProtocolTest, EraseShortReadSuccessOnlyForPowerCycleModels) {
  const SilentEraseCase cases[] = {
      {"KT4-W", {}, 0, 1, 0, 0},
      {"RV4-TRK", {}, 0, 1, 0, 0},
      {"KT4-W", {Reply19(0x06).substr(0, 10)}, 0, 1, 0, 0},
      {"RV4-TRK", {WithWrongLrc(Reply19(0x06))}, 0, 2, 0, 1},
      {"KT4-W", {Reply19(0x06)}, 0, 1, 1, 0},
      {"KT4-RV4", {}, 24, 6, 0, 6},
      {"LN", {Reply19(0x06).substr(0, 18)}, 24, 6, 0, 6},
  };
  for (const SilentEraseCase& c : cases) {
    TestWire wire;
    LinkHandle link = wire.Open();
    Select(c.model);
    ClearStatusValues();
    std::vector<Bytes> script;
    for (const std::string& r : c.replies) script.push_back(ToBytes(r));
    wire.Script(script);
    EXPECT_EQ(SendErase_A(link), c.result) << c.model;
    EXPECT_EQ(wire.CountWrites(":006401594552415345D2\r\n"), c.requests) << c.model;
    EXPECT_EQ(wire.CountWrites(":00640159063C\r\n"), c.confirmations) << c.model;
    EXPECT_EQ(totalErrCounter, c.totalErrors) << c.model;
    EXPECT_EQ(errCounter, c.result == 0 ? 0 : 6) << c.model;
    CloseLink(link);
  }
}

TEST_F(ProtocolTest, EraseShortConfirmationStartsAgainWithTheRequest) {
  Select("VM500-AIO");
  AnswerAlways(ToBytes(Reply19(0x06)));
  int confirmations = 0;
  wire_.SetWritePolicy([&](uint32_t n) { return n == 15 && ++confirmations == 1 ? 3 : n; });
  EXPECT_EQ(SendErase_A(link_), kResultOk);
  EXPECT_EQ(Trace(wire_), (std::vector<std::string>{"long", "> :0064015B4552415345D0\\r\\n", "< 19",
                                                    "> :00", "> :0064015B4552415345D0\\r\\n",
                                                    "< 19", "> :0064015B063A\\r\\n"}));
  EXPECT_EQ(errCounter, 0);
  EXPECT_EQ(totalErrCounter, 1);
}

}  // namespace
