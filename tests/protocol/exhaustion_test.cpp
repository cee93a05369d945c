// Result codes of a spent budget, read from the last reply as it lies in the
// reply buffer.
#include <functional>

#include "protocol/app_commands.h"
#include "protocol/probe.h"
#include "protocol/result_codes.h"
#include "protocol_fixture.h"

namespace {

struct ExhaustionCase {
  const char* name;
  const char* model;
  std::function<int(LinkHandle)> run;
  std::vector<std::string> replies;  // one per request, then silence
  int writesThatGoThrough;           // later writes move nothing; -1: all go through
  int result;
};

void PrintTo(const ExhaustionCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<std::string> Six(const std::string& reply) {
  return std::vector<std::string>(6, reply);
}

std::vector<std::string> FiveThen(const std::string& five, const std::string& last) {
  std::vector<std::string> out(5, five);
  out.push_back(last);
  return out;
}

const std::string kNak = "\x15";
// Raw characters of a short read: ":0000" then NAK, 0x02, 0x01 in positions
// 5, 6 and 7.  They were never decoded, yet they are what the buffer holds.
const std::string kShortRaw = std::string(":0000\x15\x02\x01", 8);

const ExhaustionCase kCases[] = {
    // The probe.
    {"probe silent", "KT4-RV4", ConfirmComm, Six(""), -1, 24},
    {"probe status 07 every time", "KT4-RV4", ConfirmComm, Six(Reply19(0x07)), -1, 24},
    {"probe class 01", "KT4-RV4", ConfirmComm, Six(Reply19(0x15, 0x01, 0x09)), -1, 22},
    {"probe class 02 detail 01", "VM500", ConfirmComm, Six(Reply19(0x15, 0x02, 0x01)), -1, 17},
    {"probe class 02 detail 02", "VM500", ConfirmComm, Six(Reply19(0x15, 0x02, 0x02)), -1, 18},
    {"probe class 02 detail 03", "VM500", ConfirmComm, Six(Reply19(0x15, 0x02, 0x03)), -1, 21},
    {"probe class 03", "VM500", ConfirmComm, Six(Reply19(0x15, 0x03, 0x01)), -1, 23},
    {"probe class 00", "VM500", ConfirmComm, Six(Reply19(0x15, 0x00, 0x02)), -1, 23},
    {"probe refusals then silence", "VM500", ConfirmComm, FiveThen(Reply19(0x15, 0x01), ""), -1,
     24},
    {"probe wrong LRC on the last read decides", "VM500-AIO", ConfirmComm,
     FiveThen("", WithWrongLrc(Reply19(0x15, 0x02, 0x01))), -1, 17},
    {"probe short read raw characters", "VM500", ConfirmComm, Six(kShortRaw), -1, 17},
    {"probe one character short is not decoded", "VM500", ConfirmComm,
     Six(Reply19(0x15, 0x01).substr(0, 18)), -1, 24},
    {"probe failed writes keep the last read", "KT4-RV4", ConfirmComm,
     Six(Reply19(0x15, 0x02, 0x02)), 5, 18},
    // Upper case this would be a class-01 refusal (22); the lower-case digit
    // ends the decoding before the status byte.
    {"probe lower case refusal", "VM500", ConfirmComm, Six(":0064015b1501002A\r\n"), -1, 24},
    {"probe upper case refusal", "VM500", ConfirmComm, Six(":0064015B1501002A\r\n"), -1, 22},
    // The ID check.
    {"ID silent", "KT4-RV4", CheckID_A, Six(""), -1, 24},
    {"ID another device type", "KT4-RV4", CheckID_A, Six(Reply19(0x06, 0x00, 0x0E)), -1, 24},
    {"ID class 02 detail 02", "KT4-RV4", CheckID_A, Six(Reply19(0x15, 0x02, 0x02)), -1, 18},
    {"ID class 02 detail 03", "LN", CheckID_A, Six(Reply19(0x15, 0x02, 0x03)), -1, 19},
    {"ID class 02 detail 01", "LN", CheckID_A, Six(Reply19(0x15, 0x02, 0x01)), -1, 21},
    {"ID class 02 detail 04", "LN", CheckID_A, Six(Reply19(0x15, 0x02, 0x04)), -1, 21},
    {"ID class 01", "LN", CheckID_A, Six(Reply19(0x15, 0x01, 0x02)), -1, 23},
    {"ID class 03", "RV5-AIO", CheckID_A, Six(Reply19(0x15, 0x03, 0x03)), -1, 23},
    {"ID wrong LRC on the last read decides", "LN", CheckID_A,
     FiveThen("", WithWrongLrc(Reply19(0x15, 0x02, 0x03))), -1, 19},
    // The erase request.
    {"erase silent", "VM500", SendErase_A, Six(""), -1, 24},
    {"erase status 07", "VM500", SendErase_A, Six(Reply19(0x07)), -1, 24},
    {"erase class 02 detail 03", "VM500", SendErase_A, Six(Reply19(0x15, 0x02, 0x03)), -1, 19},
    {"erase class 02 detail 04", "LN-P", SendErase_A, Six(Reply19(0x15, 0x02, 0x04)), -1, 20},
    {"erase class 02 detail 02", "LN-P", SendErase_A, Six(Reply19(0x15, 0x02, 0x02)), -1, 21},
    {"erase class 01", "36RV4-AIO", SendErase_A, Six(Reply19(0x15, 0x01, 0x03)), -1, 23},
    {"erase wrong LRC on the last read decides", "KT4-RV4", SendErase_A,
     FiveThen("", WithWrongLrc(Reply19(0x15, 0x02, 0x04))), -1, 20},
    {"erase wrong LRC decides also on KT4-W", "KT4-W", SendErase_A,
     Six(WithWrongLrc(Reply19(0x15, 0x02, 0x03))), -1, 19},
};

class ExhaustionTest : public ProtocolTest, public ::testing::WithParamInterface<ExhaustionCase> {};

TEST_P(ExhaustionTest, LastReplyDecides) {
  const ExhaustionCase& c = GetParam();
  Select(c.model);
  Answer(c.replies);
  int writes = 0;
  if (c.writesThatGoThrough >= 0) {
    wire_.SetWritePolicy([&](uint32_t n) { return ++writes <= c.writesThatGoThrough ? n : 0; });
  }
  EXPECT_EQ(c.run(link_), c.result);
  EXPECT_EQ(errCounter, 6);
  EXPECT_EQ(totalErrCounter, static_cast<int>(wire_.Writes().size()));
}

INSTANTIATE_TEST_SUITE_P(Protocol, ExhaustionTest, ::testing::ValuesIn(kCases),
                         CaseName<ExhaustionCase>);

// A confirmation that never goes out whole: the buffer still holds the
// accepted reply, so the result is 24, after six erase requests and six
// confirmations.
TEST_F(ProtocolTest, EraseConfirmationNeverWrittenInFull) {
  Select("VM500");
  AnswerAlways(ToBytes(Reply19(0x06)));
  wire_.SetWritePolicy([](uint32_t n) { return n == 15 ? 14 : n; });
  EXPECT_EQ(SendErase_A(link_), 24);
  EXPECT_EQ(wire_.CountWrites(":006401594552415345D2\r\n"), 6);
  EXPECT_EQ(wire_.Writes().size(), 12u);
  EXPECT_EQ(errCounter, 6);
  EXPECT_EQ(totalErrCounter, 6);
}

}  // namespace
