// The reply check, the retry budget every exchange shares, and the result a
// spent budget reads from the last reply.
#include "protocol_fixture.h"

namespace {

TEST(CheckLRC, DecodesInPlaceAndSums) {
  const struct {
    std::string digits;
    uint8_t count, result;
    Bytes decoded;  // the first places of the range afterwards
  } cases[] = {
      {"0003021234B5", 12, 0, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB5}},
      {"0003021234B7", 12, 2, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB7}},  // decodes on, returns the sum
      {"0003021234b5", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}},  // a bad character ends it at once
      {"0003021234Bf", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}},
      {"00:3021234B5", 12, 1, {0x00}},
      {std::string("0003\0"
                   "21234B5",
                   12),
       12,
       1,
       {0x00, 0x03}},
      {"", 0, 0, {}},
      {"FF0003021234B5", 2, 0xFF, {0xFF}},  // only the range counts
      {"001", 3, 1, {0x00}},                // an odd count takes no digit from behind the range
  };
  for (const auto& c : cases) {
    Bytes bytes = ToBytes(c.digits + "?");
    EXPECT_EQ(CheckLRC(bytes.data(), c.count), c.result) << c.digits;
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(c.decoded.size())), c.decoded);
    EXPECT_EQ(bytes.back(), '?');
  }
}

const char* const kBudgetOps[][3] = {
    // operation, model, result of a spent budget
    {"ConfirmComm", "KT4-RV4", "24"},    {"CheckID_A", "VM500", "24"},
    {"READ_D1386", "KT4-W", "0"},        {"READ_D1148", "LP32", "0"},
    {"read_fu_version_A", "VM500", "0"}, {"SendErase_A", "LN", "24"},
    {"CheckID_B", "LN", "16"},           {"read_fu_version_B", "VM600", "16"},
    {"SendUpdate", "LQ", "16"},
};

// Notes errCounter as each read begins.
struct ErrAtReadLink : TestLink {
  using TestLink::TestLink;
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    seen.push_back(errCounter);
    return TestLink::Read(buffer, count);
  }
  std::vector<int> seen;
};

TEST_F(ProtocolTest, RetryBudgetArithmetic) {
  for (const auto& op : kBudgetOps) {
    SCOPED_TRACE(op[0]);
    const int spent = std::stoi(op[2]);
    // Six failed writes.
    Reset(op[1]);
    totalErrCounter = 7;  // earlier failures of the run stay counted
    wire_->SetWritePolicy([](uint32_t n) { return n - 1; });
    EXPECT_EQ(RunOp(op[0], link_), spent);
    EXPECT_EQ(Writes(), 6u);
    EXPECT_EQ(Reads(), 0);
    EXPECT_EQ(errCounter, 6);
    EXPECT_EQ(totalErrCounter, 7 + 6);
    // Five failed writes, then six failed reads: 11 attempts, 33 virtual s.
    Reset(op[1]);
    std::vector<int> errAtWrite;
    wire_->SetWritePolicy([&](uint32_t n) {
      errAtWrite.push_back(errCounter);
      return ++writes_ <= 5 ? 0 : n;
    });
    ErrAtReadLink link(wire_.get());
    hSerial = &link;  // the version reads take their link from hSerial
    EXPECT_EQ(RunOp(op[0], &link), spent);
    hSerial = link_;
    EXPECT_EQ(Writes(), 11u);
    EXPECT_EQ(errCounter, 6);
    EXPECT_EQ(totalErrCounter, 11);
    EXPECT_EQ(errAtWrite, (std::vector<int>{0, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
    EXPECT_EQ(link.seen, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(wire_->NowMs(), 11u * 3000u);
    // Five failed reads, then six failed writes; and no link at all.
    Reset(op[1]);
    wire_->SetWritePolicy([this](uint32_t n) { return ++writes_ <= 5 ? n : 0; });
    EXPECT_EQ(RunOp(op[0], link_), spent);
    EXPECT_EQ(Writes(), 11u);
    EXPECT_EQ(errCounter, 6);
    EXPECT_EQ(RunOp(op[0], kNoLink), spent);
    EXPECT_EQ(errCounter, 6);
  }
}

// Two failed reads, then a good reply: which operations clear errCounter and
// which keep the count of failed reads.
TEST_F(ProtocolTest, CountersAfterSuccess) {
  const std::string lower = ":0064015906000c7b\r\n";  // lower-case hex: a failed read
  const struct {
    const char *op, *model;
    std::vector<std::string> replies;
    int result, errAfter;
  } cases[] = {
      {"ConfirmComm", "KT4-RV4", {"", lower, Reply19(5)}, 5, 0},
      {"SendErase_A", "VM500", {"", "", Reply19(6), ""}, 0, 0},
      {"CheckID_A", "KT4-RV4", {lower, "", Reply19(6, 0, 0x0C)}, 0, 2},
      {"READ_D1386", "KT4-RV4", {"", WithWrongLrc(Reply15(7)), Reply15(0x4137, 4)}, 0x4137, 2},
      {"READ_D1148", "LN", {"", "", Reply15(9)}, 9, 2},
      {"read_fu_version_A", "VM500", {"", "", Reply19(0x10)}, 0x10, 2},
      {"CheckID_B", "VM500", {"", "\x15\x30\x10", "\x06\x30\x10"}, 0, 0},
      {"CheckID_B", "KT4-W", {"", "\x06", std::string("\x06\x00\x0D", 3)}, 0, 2},
      {"read_fu_version_B", "VM500", {"", "\x15\x01", std::string("\x06\x01\x00", 3)}, 0, 0},
      {"SendUpdate", "LN", {"", "\x15", "\x06"}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + c.model);
    Reset(c.model);
    totalErrCounter = 3;
    Answer(c.replies);
    EXPECT_EQ(RunOp(c.op, link_), c.result);
    EXPECT_EQ(errCounter, c.errAfter);
    EXPECT_EQ(totalErrCounter, 3 + 2);
  }
  // Characters that arrive after a read ended open the next read.
  Reset("VM500");
  Answer({Reply19(7) + Reply19(5), ""});
  EXPECT_EQ(ConfirmComm(link_), kResultAppMode);
  EXPECT_EQ(Writes(), 2u);
}

// Five replies, then the sixth (the same unless given): the last read decides.
TEST_F(ProtocolTest, SpentBudgetResultFromTheLastReply) {
  const std::string raw(":0000\x15\x02\x01", 8);  // never decoded, yet in the buffer
  const struct {
    const char *op, *model;
    std::string reply;
    int result;
    std::string last = "same";  // the sixth reply
  } cases[] = {
      {"ConfirmComm", "KT4-RV4", "", 24},
      {"ConfirmComm", "KT4-RV4", Reply19(7), 24},
      {"ConfirmComm", "KT4-RV4", Reply19(0x15, 1, 9), 22},
      {"ConfirmComm", "VM500", Reply19(0x15, 2, 1), 17},
      {"ConfirmComm", "VM500", Reply19(0x15, 2, 2), 18},
      {"ConfirmComm", "VM500", Reply19(0x15, 2, 3), 21},
      {"ConfirmComm", "VM500", Reply19(0x15, 3, 1), 23},
      {"ConfirmComm", "VM500", Reply19(0x15, 0, 2), 23},
      {"ConfirmComm", "VM500", Reply19(0x15, 1), 24, ""},
      {"ConfirmComm", "VM500-AIO", "", 17, WithWrongLrc(Reply19(0x15, 2, 1))},
      {"ConfirmComm", "VM500", raw, 17},
      {"ConfirmComm", "VM500", Reply19(0x15, 1).substr(0, 18), 24},
      {"ConfirmComm", "VM500", ":0064015b1501002A\r\n", 24},
      {"CheckID_A", "KT4-RV4", "", 24},
      {"CheckID_A", "KT4-RV4", Reply19(6, 0, 0x0E), 24},
      {"CheckID_A", "KT4-RV4", Reply19(0x15, 2, 2), 18},
      {"CheckID_A", "LN", Reply19(0x15, 2, 1), 21},
      {"CheckID_A", "LN", Reply19(0x15, 2, 4), 21},
      {"CheckID_A", "RV5-AIO", Reply19(0x15, 3, 3), 23},
      {"CheckID_A", "LN", "", 19, WithWrongLrc(Reply19(0x15, 2, 3))},
      {"SendErase_A", "VM500", Reply19(7), 24},
      {"SendErase_A", "VM500", Reply19(0x15, 2, 3), 19},
      {"SendErase_A", "LN-P", Reply19(0x15, 2, 4), 20},
      {"SendErase_A", "LN-P", Reply19(0x15, 2, 2), 21},
      {"SendErase_A", "36RV4-AIO", Reply19(0x15, 1, 3), 23},
      {"SendErase_A", "KT4-RV4", "", 20, WithWrongLrc(Reply19(0x15, 2, 4))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + c.model + " " + c.reply + c.last);
    Reset(c.model);
    Answer({c.reply, c.reply, c.reply, c.reply, c.reply, c.last == "same" ? c.reply : c.last});
    EXPECT_EQ(RunOp(c.op, link_), c.result);
    EXPECT_EQ(errCounter, 6);
    EXPECT_EQ(totalErrCounter, 6);
  }
  // Failed writes after the reads leave the last reply in the buffer.
  Reset("KT4-RV4");
  AnswerAlways(Reply19(0x15, 2, 2));
  WritesGoThrough(5);
  EXPECT_EQ(ConfirmComm(link_), 18);
  // A confirmation that never goes out whole: 24 after six of each.
  Reset("VM500");
  AnswerAlways(Reply19(6));
  wire_->SetWritePolicy([](uint32_t n) { return n == 15 ? 14 : n; });
  EXPECT_EQ(SendErase_A(link_), 24);
  EXPECT_EQ(Writes(), 12u);
  EXPECT_EQ(totalErrCounter, 6);
}

}  // namespace
