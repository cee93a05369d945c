// The reply check and the retry budget that every exchange shares.
#include "protocol/modbus.h"

#include <cstring>
#include <functional>

#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "protocol/result_codes.h"
#include "protocol_fixture.h"

namespace {

struct LrcCase {
  const char* name;
  std::string digits;
  uint8_t count;
  uint8_t result;
  Bytes decoded;  // expected in the first places of the range afterwards
};

TEST(CheckLRC, DecodesInPlaceAndSums) {
  const LrcCase cases[] = {
      {"register reply", "0003021234B5", 12, 0, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB5}},
      {"read request", "0003156A00017D", 14, 0, {0x00, 0x03, 0x15, 0x6A, 0x00, 0x01, 0x7D}},
      // A wrong LRC still decodes to the end and returns the sum.
      {"wrong LRC", "0003021234B6", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB6}},
      {"sum two", "0003021234B7", 12, 2, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB7}},
      // A bad character ends the check at once; decoded bytes before it stay.
      {"lower case", "0003021234b5", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}},
      {"lower case low digit", "0003021234Bf", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}},
      {"colon", "00:3021234B5", 12, 1, {0x00}},
      {"space", " 003021234B5", 12, 1, {}},
      {"NUL",
       std::string("0003\0"
                   "21234B5",
                   12),
       12,
       1,
       {0x00, 0x03}},
      {"G", "0G03021234B5", 12, 1, {}},
      {"empty", "", 0, 0, {}},
      {"only the range counts", "FF0003021234B5", 2, 0xFF, {0xFF}},
  };
  for (const LrcCase& c : cases) {
    std::string buffer = c.digits + "??";  // guard characters behind the range
    Bytes bytes(buffer.begin(), buffer.end());
    EXPECT_EQ(CheckLRC(bytes.data(), c.count), c.result) << c.name;
    for (size_t k = 0; k < c.decoded.size(); ++k) {
      EXPECT_EQ(bytes[k], c.decoded[k]) << c.name << " byte " << k;
    }
    // Characters behind the decoded bytes and behind the range stay.
    EXPECT_EQ(bytes[buffer.size() - 1], '?') << c.name;
    if (c.result == 0 && c.count > 0) {
      EXPECT_EQ(bytes[c.count / 2], static_cast<uint8_t>(c.digits[c.count / 2])) << c.name;
    }
  }
}

// An odd count must not take the low digit from behind the range.
TEST(CheckLRC, OddCountStaysInRange) {
  uint8_t one[1] = {'0'};
  EXPECT_EQ(CheckLRC(one, 1), 1);
  uint8_t three[3] = {'0', '0', '1'};
  EXPECT_EQ(CheckLRC(three, 3), 1);
  EXPECT_EQ(three[0], 0x00);
}

// Every application-mode frame is one the PLC accepts: its bytes sum to 0.
TEST_F(ProtocolTest, EveryFrameCarriesItsLrc) {
  for (const char* model : {"KT4-RV4", "VM500-AIO"}) {
    Select(model);
    AnswerAlways({});
    DummyComm(link_);
    ConfirmComm(link_);
    CheckID_A(link_);
    READ_D1386(link_);
    READ_D1148(link_);
    read_fu_version_A();
    Answer({Reply19(0x06)});
    SendErase_A(link_);
  }
  int frames = 0;
  for (Bytes frame : wire_.Writes()) {
    ASSERT_GE(frame.size(), 5u);
    EXPECT_EQ(frame.front(), ':');
    EXPECT_EQ(frame[frame.size() - 2], '\r');
    EXPECT_EQ(frame.back(), '\n');
    const auto digits = static_cast<uint8_t>(frame.size() - 3);
    EXPECT_EQ(digits % 2, 0);
    EXPECT_EQ(CheckLRC(frame.data() + 1, digits), 0) << ToText(frame);
    ++frames;
  }
  EXPECT_EQ(frames, 2 * (5 + 6 + 6 + 6 + 6 + 6 + 2));
}

// The shape of a spent budget, whatever the command.
struct BudgetCase {
  const char* name;
  const char* model;
  std::function<int(LinkHandle)> run;
  int spent;  // the result of a spent budget
};

void PrintTo(const BudgetCase& c, std::ostream* os) {
  *os << c.name;
}

const BudgetCase kBudgetCases[] = {
    {"ConfirmComm", "KT4-RV4", ConfirmComm, kResultNoResponse},
    {"CheckID_A", "VM500", CheckID_A, kResultNoResponse},
    {"READ_D1386", "KT4-W", READ_D1386, 0},
    {"READ_D1148", "LP32", READ_D1148, 0},
    {"read_fu_version_A", "VM500", [](LinkHandle) { return int{read_fu_version_A()}; }, 0},
    {"SendErase_A", "LN", SendErase_A, kResultNoResponse},
    {"CheckID_B", "LN", CheckID_B, kResultBootFailure},
    {"read_fu_version_B", "VM600", [](LinkHandle) { return int{read_fu_version_B()}; },
     kResultBootFailure},
    {"SendUpdate", "LQ", SendUpdate, kResultBootFailure},
};

class BudgetTest : public ProtocolTest, public ::testing::WithParamInterface<BudgetCase> {
 protected:
  void SetUp() override {
    ProtocolTest::SetUp();
    Select(GetParam().model);
    totalErrCounter = 7;  // earlier failures of the run stay counted
  }
  // Records errCounter as each request goes out and as each read is made.
  std::vector<int> errAtWrite_;
};

TEST_P(BudgetTest, SixFailedWrites) {
  wire_.SetWritePolicy([](uint32_t n) { return n - 1; });
  EXPECT_EQ(GetParam().run(link_), GetParam().spent);
  EXPECT_EQ(wire_.Writes().size(), 6u);
  EXPECT_EQ(Reads(), 0);
  EXPECT_EQ(errCounter, 6);
  EXPECT_EQ(totalErrCounter, 7 + 6);
}

// Notes errCounter as each read begins.
class ErrAtReadLink : public TestLink {
 public:
  using TestLink::TestLink;
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    seen.push_back(errCounter);
    return TestLink::Read(buffer, count);
  }
  std::vector<int> seen;
};

TEST_P(BudgetTest, FiveFailedWritesThenSixFailedReads) {
  int writes = 0;
  std::vector<int> errAtWrite;
  wire_.SetWritePolicy([&](uint32_t n) {
    errAtWrite.push_back(errCounter);
    return ++writes <= 5 ? 0 : n;
  });
  ErrAtReadLink link(&wire_);
  hSerial = &link;  // the version reads take their link from hSerial
  EXPECT_EQ(GetParam().run(&link), GetParam().spent);
  hSerial = link_;
  EXPECT_EQ(wire_.Writes().size(), 11u);
  EXPECT_EQ(Reads(), 6);
  EXPECT_EQ(errCounter, 6);
  EXPECT_EQ(totalErrCounter, 7 + 11);
  // The failed writes count up; once a write goes through, errCounter shows
  // the failed reads while the reply is awaited.
  EXPECT_EQ(errAtWrite, (std::vector<int>{0, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
  EXPECT_EQ(link.seen, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  // Six read time-outs of 3 s and five write time-outs of 3 s, all virtual.
  EXPECT_EQ(wire_.NowMs(), 11u * 3000u);
}

TEST_P(BudgetTest, FailedReadsThenFailedWritesStillEndAtSix) {
  int writes = 0;
  wire_.SetWritePolicy([&](uint32_t n) { return ++writes <= 5 ? n : 0; });
  EXPECT_EQ(GetParam().run(link_), GetParam().spent);
  EXPECT_EQ(wire_.Writes().size(), 11u);
  EXPECT_EQ(Reads(), 5);
  EXPECT_EQ(errCounter, 6);
  EXPECT_EQ(totalErrCounter, 7 + 11);
}

TEST_P(BudgetTest, NoLinkSpendsTheBudgetSoftly) {
  EXPECT_EQ(GetParam().run(kNoLink), GetParam().spent);
  EXPECT_EQ(errCounter, 6);
  EXPECT_EQ(totalErrCounter, 7 + 6);
}

INSTANTIATE_TEST_SUITE_P(Protocol, BudgetTest, ::testing::ValuesIn(kBudgetCases),
                         CaseName<BudgetCase>);

// Two bad replies, then a good one: which commands clear errCounter and
// which leave the count of failed reads.
struct SuccessCase {
  const char* name;
  const char* model;
  std::function<int(LinkHandle)> run;
  std::vector<std::string> replies;
  int result;
  int errAfter;
};

void PrintTo(const SuccessCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kLower = ":0064015906000c7b\r\n";  // lower-case hex: a failed read

const SuccessCase kSuccessCases[] = {
    {"ConfirmComm", "KT4-RV4", ConfirmComm, {"", kLower, Reply19(0x05)}, 5, 0},
    {"SendErase_A", "VM500", SendErase_A, {"", "", Reply19(0x06), ""}, 0, 0},
    {"CheckID_A", "KT4-RV4", CheckID_A, {kLower, "", Reply19(0x06, 0x00, 0x0C)}, 0, 2},
    {"READ_D1386",
     "KT4-RV4",
     READ_D1386,
     {"", WithWrongLrc(Reply15(7)), Reply15(0x4137)},
     0x4137,
     2},
    {"READ_D1148", "LN", READ_D1148, {"", "", Reply15(9)}, 9, 2},
    {"read_fu_version_A",
     "VM500",
     [](LinkHandle) { return int{read_fu_version_A()}; },
     {"", "", Reply19(0x10)},
     0x10,
     2},
    {"CheckID_B usb", "VM500", CheckID_B, {"", "\x15\x30\x10", "\x06\x30\x10"}, 0, 0},
    {"CheckID_B twelve", "KT4-W", CheckID_B, {"", "\x06", std::string("\x06\x00\x0D", 3)}, 0, 2},
    {"CheckID_B masked", "KT4-N", CheckID_B, {"", "", "\x06\x20\x01"}, 0, 0},
    {"read_fu_version_B",
     "VM500",
     [](LinkHandle) { return int{read_fu_version_B()}; },
     {"", std::string("\x15\x01\x00", 3), std::string("\x06\x01\x00", 3)},
     0,
     0},
    {"SendUpdate", "LN", SendUpdate, {"", "\x15", "\x06"}, 0, 0},
};

class SuccessTest : public ProtocolTest, public ::testing::WithParamInterface<SuccessCase> {};

TEST_P(SuccessTest, CountersAfterTwoFailedReads) {
  const SuccessCase& c = GetParam();
  Select(c.model);
  totalErrCounter = 3;
  Answer(c.replies);
  EXPECT_EQ(c.run(link_), c.result);
  EXPECT_EQ(errCounter, c.errAfter);
  EXPECT_EQ(totalErrCounter, 3 + 2);
}

INSTANTIATE_TEST_SUITE_P(Protocol, SuccessTest, ::testing::ValuesIn(kSuccessCases),
                         CaseName<SuccessCase>);

// Characters that arrive after a read has ended are what the next read gets
// first: nothing is discarded between attempts.
TEST_F(ProtocolTest, LateCharactersOpenTheNextRead) {
  Select("VM500");
  Answer({Reply19(0x07) + Reply19(0x05), ""});
  EXPECT_EQ(ConfirmComm(link_), kResultAppMode);
  EXPECT_EQ(wire_.Writes().size(), 2u);
  EXPECT_EQ(totalErrCounter, 1);
}

}  // namespace
