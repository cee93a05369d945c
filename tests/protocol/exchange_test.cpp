// The reply check, the retry budget every exchange shares, the result a spent
// budget reads from the last reply, and the rules of the single commands.
#include "protocol_fixture.h"

namespace {

TEST(CheckLRC, DecodesInPlaceAndSums) {
  const std::tuple<std::string, uint8_t, uint8_t, Bytes> cases[] = {
      // clang-format off
      {"0003021234B5", 12, 0, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB5}}, {"", 0, 0, {}},
      {"0003021234B7", 12, 2, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB7}},  // decodes on, returns the sum
      {"0003021234b5", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}},  // a bad character ends it at once
      {"0003021234Bf", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}}, {"00:3021234B5", 12, 1, {0x00}},
      {std::string("0003\0" "21234B5", 12), 12, 1, {0x00, 0x03}},
      {"FF0003021234B5", 2, 0xFF, {0xFF}},  // only the range counts
      {"001", 3, 1, {0x00}},  // an odd count takes no digit from behind the range
      // clang-format on
  };
  for (const auto& [digits, count, result, decoded] : cases) {
    Bytes bytes = ToBytes(digits + "?");  // decoded: the first places of the range afterwards
    EXPECT_EQ(CheckLRC(bytes.data(), count), result) << digits;
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(decoded.size())), decoded);
    EXPECT_EQ(bytes.back(), '?');
  }
}

TEST_F(ProtocolTest, RetryBudgetArithmetic) {
  const std::tuple<const char*, const char*, int> ops[] = {
      // clang-format off
      {"ConfirmComm", "KT4-RV4", 24}, {"CheckID_A", "VM500", 24}, {"READ_D1386", "KT4-W", 0},
      {"READ_D1148", "LP32", 0}, {"read_fu_version_A", "VM500", 0}, {"SendErase_A", "LN", 24},
      {"CheckID_B", "LN", 16}, {"read_fu_version_B", "VM600", 16}, {"SendUpdate", "LQ", 16}};
  // clang-format on
  for (const auto& [op, model, spent] : ops) {
    SCOPED_TRACE(op);
    Reset(model);         // six failed writes
    totalErrCounter = 7;  // earlier failures of the run stay counted
    wire_->SetWritePolicy([](uint32_t n) { return n - 1; });
    EXPECT_EQ(RunOp(op, link_), spent);
    EXPECT_EQ(Counters(), (std::vector<long>{6, 7 + 6, 6}));
    Reset(model);  // five failed writes, then six failed reads: 11 attempts, 33 virtual s
    std::vector<int> errAtWrite;
    wire_->SetWritePolicy([&](uint32_t n) {
      errAtWrite.push_back(errCounter);
      return ++writes_ <= 5 ? 0 : n;
    });
    EXPECT_EQ(RunOp(op, link_), spent);
    EXPECT_EQ(Counters(), (std::vector<long>{6, 11, 11}));
    EXPECT_EQ(errAtWrite, (std::vector<int>{0, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
    EXPECT_EQ(wire_->NowMs(), 11u * 3000u);
    EXPECT_EQ(Ints(RunOp(op, kNoLink), errCounter), Ints(spent, 6));  // no link at all
  }
}

std::vector<std::string> Six(const std::string& reply, const std::string& last = "same") {
  std::vector<std::string> out(6, reply);
  if (last != "same") out[5] = last;
  return out;
}

// Replies in order, then silence: result, errCounter, totalErrCounter, requests.  A spent
// budget decides by the last reply as it lies in the buffer, even with a wrong LRC.
TEST_F(ProtocolTest, ExchangesEndWithTheirResultAndCounters) {
  const std::string lower = ":0064015906000c7b\r\n", ok3("\x06\x00\x0D", 3), ack = "\x06",
                    nak = "\x15";
  const std::string raw(":0000\x15\x02\x01", 8), cut = Reply19(0x15, 1).substr(0, 18);
  const auto r = [](uint8_t c, uint8_t d) { return Reply19(0x15, c, d); };
  const auto bad = [&r](uint8_t c, uint8_t d) { return WithWrongLrc(r(c, d)); };
  const std::tuple<const char*, const char*, std::vector<std::string>, int, long, long, long>
      cases[] = {
          // clang-format off
      {"ConfirmComm", "KT4-RV4", {"", lower, Reply19(5)}, 5, 0, 2, 3},
      {"SendErase_A", "VM500", {"", "", Reply19(6), ""}, 0, 0, 2, 4},
      {"CheckID_A", "KT4-RV4", {lower, "", Reply19(6, 0, 0x0C)}, 0, 2, 2, 3},
      {"READ_D1386", "KT4-RV4", {"", WithWrongLrc(Reply15(7)), Reply15(0x4137, 4)}, 0x4137, 2, 2, 3},
      {"READ_D1148", "LN", {"", "", Reply15(9)}, 9, 2, 2, 3},
      {"read_fu_version_A", "VM500", {"", "", Reply19(0x10)}, 0x10, 2, 2, 3},
      {"read_fu_version_A", "VM500", {r(2, 3)}, 0x15, 0, 0, 1},  // the status place, unexamined
      {"CheckID_B", "VM500", {"", "\x15\x30\x10", "\x06\x30\x10"}, 0, 0, 2, 3},
      {"CheckID_B", "KT4-W", {"", ack, ok3}, 0, 2, 2, 3},
      {"read_fu_version_B", "VM500", {"", "\x15\x01", ok3}, 0, 0, 2, 3},
      {"SendUpdate", "LN", {"", "\x15", ack}, 0, 0, 2, 3},
      {"SendFW", "KT4-RV4", {ack, nak, nak, nak, nak, nak, nak}, 16, 6, 6, 7},  // no EOT
      // Silent from the tenth "ERASE": the VM group gives a unit one attempt.
      {"SendErase_B", "VM500", std::vector<std::string>(9, ack), 16, 1, 1, 10},
      {"SendErase_B", "KT4-RV4", std::vector<std::string>(9, ack), 16, 6, 6, 15},
      // Late characters open the next read: nothing is discarded between attempts.
      {"ConfirmComm", "VM500", {Reply19(7), Reply19(7) + Reply19(5), ""}, 5, 0, 2, 3},
      // KT4-W and RV4-TRK drop off the line once they take the erase request:
      // a short read accepts, a complete reply with a wrong LRC does not.
      {"SendErase_A", "KT4-W", {""}, 0, 0, 0, 1}, {"SendErase_A", "RV4-TRK", {""}, 0, 0, 0, 1},
      {"SendErase_A", "KT4-W", {Reply19(6).substr(0, 10)}, 0, 0, 0, 1},
      {"SendErase_A", "RV4-TRK", {WithWrongLrc(Reply19(6))}, 0, 0, 1, 2},
      {"SendErase_A", "KT4-W", {Reply19(6)}, 0, 0, 0, 2},
      {"SendErase_A", "LN", {Reply19(6).substr(0, 18)}, 24, 6, 6, 6},
      // Spent budgets.
      {"ConfirmComm", "KT4-RV4", {}, 24, 6, 6, 6}, {"ConfirmComm", "KT4-RV4", Six(Reply19(7)), 24, 6, 6, 6},
      {"ConfirmComm", "KT4-RV4", Six(r(1, 9)), 22, 6, 6, 6}, {"ConfirmComm", "VM500", Six(r(2, 1)), 17, 6, 6, 6},
      {"ConfirmComm", "VM500", Six(r(2, 2)), 18, 6, 6, 6}, {"ConfirmComm", "VM500", Six(r(2, 3)), 21, 6, 6, 6},
      {"ConfirmComm", "VM500", Six(r(3, 1)), 23, 6, 6, 6}, {"ConfirmComm", "VM500", Six(r(1, 0), ""), 24, 6, 6, 6},
      {"ConfirmComm", "VM500-AIO", Six("", bad(2, 1)), 17, 6, 6, 6}, {"ConfirmComm", "VM500", Six(cut), 24, 6, 6, 6},
      {"ConfirmComm", "VM500", Six(raw), 17, 6, 6, 6},  // never decoded, yet in the buffer
      {"ConfirmComm", "VM500", Six(":0064015b1501002A\r\n"), 24, 6, 6, 6},
      {"CheckID_A", "KT4-RV4", Six(Reply19(6, 0, 0x0E)), 24, 6, 6, 6}, {"CheckID_A", "LN", Six(r(2, 1)), 21, 6, 6, 6},
      {"CheckID_A", "KT4-RV4", Six(r(2, 2)), 18, 6, 6, 6}, {"CheckID_A", "RV5-AIO", Six(r(3, 3)), 23, 6, 6, 6},
      {"CheckID_A", "LN", Six("", bad(2, 3)), 19, 6, 6, 6}, {"SendErase_A", "VM500", Six(Reply19(7)), 24, 6, 6, 6},
      {"SendErase_A", "VM500", Six(r(2, 3)), 19, 6, 6, 6}, {"SendErase_A", "LN-P", Six(r(2, 4)), 20, 6, 6, 6},
      {"SendErase_A", "LN-P", Six(r(2, 2)), 21, 6, 6, 6}, {"SendErase_A", "36RV4-AIO", Six(r(1, 3)), 23, 6, 6, 6},
      {"SendErase_A", "KT4-RV4", Six("", bad(2, 4)), 20, 6, 6, 6},
          // clang-format on
      };
  for (const auto& [op, model, replies, result, err, total, writes] : cases) {
    SCOPED_TRACE(std::string(op) + " " + model + " " + (replies.empty() ? "" : replies[0]));
    Reset(model, 204800);
    Answer(replies);
    EXPECT_EQ(RunOp(op, link_), result);
    EXPECT_EQ(Counters(), (std::vector<long>{err, total, writes}));
  }
  Reset("KT4-RV4");  // failed writes after the reads leave the last reply in the buffer
  AnswerAlways(r(2, 2));
  wire_->SetWritePolicy([this](uint32_t n) { return ++writes_ <= 5 ? n : 0; });
  EXPECT_EQ(ConfirmComm(link_), 18);
  Reset("VM500");  // a confirmation that never goes out whole: 24 after six of each
  AnswerAlways(Reply19(6));
  wire_->SetWritePolicy([](uint32_t n) { return n == 15 ? 14 : n; });
  EXPECT_EQ(SendErase_A(link_), 24);
  EXPECT_EQ(Ints(Writes(), totalErrCounter), Ints(12, 6));
}

// Accepted by CheckID_A, by CheckID_B.
TEST_F(ProtocolTest, DeviceIdRules) {
  const std::tuple<const char*, uint16_t, bool, bool> cases[] = {
      // clang-format off
      {"KT4-RV4", 0x000C, true, true}, {"KT4-RV4", 0x000D, true, true}, {"KT4-RV4", 0x800C, false, false},
      {"36RV4-AIO", 0x000D, true, true}, {"36RV4-AIO", 0x000C, false, false}, {"TW5", 0, true, true},
      {"RV4-TRK", 0xA006, true, false}, {"RV4-TRK", 0x2006, false, true},  // serial boot: no bit 15
      {"LN-P", 0xA002, true, true}, {"LN-P", 0x2002, false, false}, {"VM500", 0x3000, false, false},
      // clang-format on
  };
  for (const auto& [model, id, app, boot] : cases) {
    SCOPED_TRACE(std::string(model) + " " + std::to_string(id));
    const auto hi = static_cast<uint8_t>(id >> 8), lo = static_cast<uint8_t>(id & 0xFF);
    Reset(model);
    AnswerAlways(Reply19(6, hi, lo));
    EXPECT_EQ(CheckID_A(link_), app ? kResultOk : kResultNoResponse);
    EXPECT_EQ(Writes(), app ? 1u : 6u);  // a wrong ID is a failed read
    Reset(model);
    AnswerAlways(ToText({kAck, hi, lo}));
    EXPECT_EQ(CheckID_B(link_), boot ? kResultOk : kResultBootFailure);
    EXPECT_EQ(Writes(), boot ? 1u : 6u);
  }
}

// The boot-mode version: nibbles of two bytes; a failed read leaves it as it was.
TEST_F(ProtocolTest, BootVersionNibbles) {
  const std::pair<Bytes, uint8_t> cases[] = {// clang-format off
      {{6, 0x01, 0x00}, 0x10}, {{6, 0x00, 0x90}, 0x09}, {{6, 0x12, 0x34}, 0x23},
      {{6, 0xFF, 0x0F}, 0xF0}, {{0x15, 0x01, 0x02}, 0x77}};
  // clang-format on
  for (const auto& [reply, version] : cases) {
    Reset("VM500");
    VM_fu_version = 0x77;
    AnswerAlways(ToText(reply));
    EXPECT_EQ(read_fu_version_B(), version == 0x77 ? kResultBootFailure : kResultOk);
    EXPECT_EQ(VM_fu_version, version);
  }
}

TEST_F(ProtocolTest, EraseUnitsAndBootErase) {
  const std::tuple<const char*, uint32_t, uint16_t> cases[] = {
      // clang-format off
      {"KT4-W", 524288, 5}, {"KT4-W", 524287, 4}, {"RV4-TRK", 0, 1}, {"LP32", 131072, 2},
      {"KT4-G", 917504, 8}, {"LN30", 1, 1}, {"LN", 49152, 4}, {"LN-P", 16383, 1},
      {"VM500", 2076672, 506}, {"VM600", 4096, 0}, {"KT5", 4097, 1}, {"BRK-T", 8192, 1},
      {"VM400", 8193, 2}, {"VM500", 4095, 0}, {"VM500", 0, 0}, {"VM500-AIO", 40960, 20},
      {"VM500-AIO", 40961, 21}, {"RV5-AIO", 0, 0}, {"RV5-AIO", 1, 1}, {"36RV4-AIO", 0, 4},
      {"36RV4-AIO", 12288, 4}, {"KT4-RV4", 493568, 242}, {"TW5", 2048, 2}, {"KT-RV-TW4", 2047, 1},
      // clang-format on
  };
  for (const auto& [model, length, units] : cases) {
    SCOPED_TRACE(model + (" " + std::to_string(length)));
    EXPECT_EQ(EraseUnitCount(PlcIndexByName(model), length), units);
    Reset(model);
    fileLength = length;
    AnswerAlways("\x06");
    EXPECT_EQ(SendErase_B(link_), kResultOk);
    EXPECT_EQ(wire_->CountWrites("ERASE"), units);
    EXPECT_EQ(wire_->Writes().back(), Bytes{kEot});
    EXPECT_EQ(Ints(flashStatus, progress), Ints(kFlashErasing, 100));
  }
}

}  // namespace
