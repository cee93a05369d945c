// The reply check, the retry budget every exchange shares, the result a spent
// budget reads from the last reply, and the rules of the single commands.
#include "protocol_fixture.h"

namespace plc {

namespace {

TEST(CheckLRC, DecodesInPlaceAndSums) {
  const std::tuple<std::string, uint8_t, uint8_t, Bytes> cases[] = {
      // clang-format off
      {"0003021234B5", 12, 0, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB5}}, {"", 0, 0, {}},
      {"0003021234B7", 12, 2, {0x00, 0x03, 0x02, 0x12, 0x34, 0xB7}},  // decodes on, returns the sum
      {"0003021234b5", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}},  // a bad character ends it at once
      {"0003021234Bf", 12, 1, {0x00, 0x03, 0x02, 0x12, 0x34}}, {"00:3021234B5", 12, 1, {0x00}},
      {std::string("0003\0" "21234B5", 12), 12, 1, {0x00, 0x03}},
      {"FF0003021234B5", 2, 0xFF, {0xFF}}, {"001", 3, 1, {0x00}},  // only the range counts
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
      {"ConfirmComm", "KT4-RV4", kResultNoResponse}, {"ReadD1148_A", "LP32", -1}, {"ReadVersion_A", "VM500", -1},
      {"SendErase_A", "LN", kResultNoResponse}, {"ReadVersion_B", "VM600", -1}, {"SendUpdate", "LQ", kResultBootFailure}};
  // clang-format on
  for (const auto& [op, model, spent] : ops) {
    SCOPED_TRACE(op);
    Reset(model);               // six failed writes
    run_->totalErrCounter = 7;  // earlier failures of the run stay counted
    wire_->SetWritePolicy([](uint32_t n) { return n - 1; });
    EXPECT_EQ(RunOp(op, *run_), spent);
    EXPECT_EQ(Counters(), (std::vector<long>{6, 7 + 6, 6}));
    Reset(model);            // five failed writes, then six failed reads: 11 attempts, 33 virtual s
    std::vector<int> seen;   // errCounter at each write and each read
    std::vector<int> tries;  // the try a front end shows at each read: the probe's alone
    wire_->SetWritePolicy(
        [&](uint32_t n) { return seen.push_back(run_->errCounter), ++writes_ <= 5 ? 0 : n; });
    wire_->onRead = [&] {
      seen.push_back(run_->errCounter), tries.push_back(run_->CurrentActivity().number);
    };
    EXPECT_EQ(RunOp(op, *run_), spent);
    EXPECT_EQ(Counters(), (std::vector<long>{6, 11, 11}));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5}));
    const std::vector<int> probeTries{6, 7, 8, 9, 10, 11};
    EXPECT_EQ(tries, std::string(op) == "ConfirmComm" ? probeTries : std::vector<int>(6, 0));
    EXPECT_EQ(run_->CurrentActivity().kind, kActivityNone);
    EXPECT_EQ(wire_->NowMs(), 11u * 3000u);
    run_->hSerial.reset();  // no link at all
    EXPECT_EQ(Ints(RunOp(op, *run_), run_->errCounter), Ints(spent, 6));
  }
}

// Replies in order, then silence: result, errCounter, totalErrCounter, requests.  A spent
// budget decides by the last reply as it lies in the buffer, even with a wrong LRC.
TEST_F(ProtocolTest, ExchangesEndWithTheirResultAndCounters) {
  const std::string lower = ":0064015906000c7b\r\n", ok3("\x06\x00\x0D", 3), ack = "\x06",
                    nak = "\x15";
  const auto Six = [](const std::string& x) { return std::vector<std::string>(6, x); };
  const auto r = [](uint8_t c, uint8_t d) { return Reply19(0x15, c, d); };
  const auto bad = [&r](uint8_t c, uint8_t d) { return WithWrongLrc(r(c, d)); };
  const std::tuple<const char*, const char*, std::vector<std::string>, int, long, long, long>
      cases[] = {
          // clang-format off
      {"ConfirmComm", "KT4-RV4", {"", lower, Reply19(5)}, kResultAppMode, 0, 2, 3},
      {"SendErase_A", "VM500", {"", "", Reply19(6), ""}, kResultOk, 0, 2, 4},
      {"CheckID_A", "KT4-RV4", {lower, "", Reply19(6, 0, 0x0C)}, kResultOk, 2, 2, 3},
      {"ReadD1386_A", "KT4-RV4", {"", WithWrongLrc(Reply15(7)), Reply15(0x4137, 4)}, 0x4137, 2, 2, 3},
      {"CheckID_B", "VM500", {"", "\x15\x30\x10", "\x06\x30\x10"}, kResultOk, 0, 2, 3},
      {"ReadVersion_B", "VM500", {"", "\x15\x01", ok3}, 0, 0, 2, 3},
      {"SendUpdate", "LN", {"", "\x15", ack}, kResultOk, 0, 2, 3},
      {"SendFW", "KT4-RV4", {ack, nak, nak, nak, nak, nak, nak}, kResultBootFailure, 6, 6, 7},  // no EOT
      // Silent from the tenth "ERASE": the VM group gives a unit one attempt.
      {"SendErase_B", "VM500", std::vector<std::string>(9, ack), kResultBootFailure, 1, 1, 10},
      {"SendErase_B", "KT4-RV4", std::vector<std::string>(9, ack), kResultBootFailure, 6, 6, 15},
      // Late characters open the next read: nothing is discarded between attempts.
      {"ConfirmComm", "VM500", {Reply19(7), Reply19(7) + Reply19(5), ""}, kResultAppMode, 0, 2, 3},
      // KT4-W and RV4-TRK drop off the line after the erase request: silence accepts, a bad LRC not.
      {"SendErase_A", "KT4-W", {""}, kResultOk, 0, 0, 1}, {"SendErase_A", "RV4-TRK", {""}, kResultOk, 0, 0, 1},
      {"SendErase_A", "RV4-TRK", {WithWrongLrc(Reply19(6))}, kResultOk, 0, 1, 2},
      {"SendErase_A", "LN", {Reply19(6).substr(0, 18)}, kResultNoResponse, 6, 6, 6},
      // Spent budgets.
      {"ConfirmComm", "KT4-RV4", {}, kResultNoResponse, 6, 6, 6}, {"ConfirmComm", "KT4-RV4", Six(Reply19(7)), kResultNoResponse, 6, 6, 6},
      {"ConfirmComm", "KT4-RV4", Six(r(1, 9)), kResultRefusedClass1, 6, 6, 6}, {"ConfirmComm", "VM500", Six(r(2, 1)), kResultRefusedDetail1, 6, 6, 6},
      {"ConfirmComm", "VM500", Six(r(3, 1)), kResultUnknownError, 6, 6, 6}, {"ConfirmComm", "VM500", Six(r(2, 2)), kResultRefusedDetail2, 6, 6, 6},
      {"ConfirmComm", "VM500-AIO", {"", "", "", "", "", bad(2, 1)}, kResultRefusedDetail1, 6, 6, 6}, {"ConfirmComm", "VM500", Six(r(1, 0).substr(0, 18)), kResultNoResponse, 6, 6, 6},
      {"ConfirmComm", "VM500", Six(":0064015b1501002A\r\n"), kResultNoResponse, 6, 6, 6},
      // Device IDs: bit 15 set in the application, clear in the serial boot of RV4-TRK.
      {"CheckID_A", "KT4-RV4", Six(Reply19(6, 0x80, 0x0C)), kResultNoResponse, 6, 6, 6}, {"CheckID_A", "LN-P", {Reply19(6, 0xA0, 2)}, kResultOk, 0, 0, 1},
      {"CheckID_A", "RV4-TRK", Six(Reply19(6, 0x20, 6)), kResultNoResponse, 6, 6, 6}, {"CheckID_B", "RV4-TRK", {"\x06\x20\x06"}, kResultOk, 0, 0, 1},
      {"CheckID_B", "LN-P", Six("\x06\x20\x02"), kResultBootFailure, 6, 6, 6}, {"CheckID_B", "RV4-TRK", Six("\x06\xA0\x06"), kResultBootFailure, 6, 6, 6},
      {"CheckID_A", "KT4-RV4", Six(Reply19(6, 0, 0x0E)), kResultNoResponse, 6, 6, 6}, {"CheckID_A", "LN", Six(r(2, 1)), kResultRefusedOther, 6, 6, 6},
      {"CheckID_A", "KT4-W", {Reply19(6, 0, 0x0D)}, kResultOk, 0, 0, 1},  // ID 12 takes a PLC reporting 13
      {"CheckID_A", "LN", {"", "", "", "", "", bad(2, 3)}, kResultRefusedDetail3, 6, 6, 6}, {"SendErase_A", "VM500", Six(Reply19(7)), kResultNoResponse, 6, 6, 6},
      {"SendErase_A", "LN-P", Six(r(2, 2)), kResultRefusedOther, 6, 6, 6}, {"SendErase_A", "36RV4-AIO", Six(r(1, 3)), kResultUnknownError, 6, 6, 6},
      {"SendErase_A", "KT4-RV4", {"", "", "", "", "", bad(2, 4)}, kResultRefusedDetail4, 6, 6, 6},
          // clang-format on
      };
  for (const auto& [op, model, replies, result, err, total, writes] : cases) {
    SCOPED_TRACE(std::string(op) + " " + model + " " + (replies.empty() ? "" : replies[0]));
    Reset(model, 204800);
    Answer(replies);
    EXPECT_EQ(RunOp(op, *run_), result);
    EXPECT_EQ(Counters(), (std::vector<long>{err, total, writes}));
  }
}

TEST_F(ProtocolTest, EraseUnitsAndBootErase) {
  const std::tuple<const char*, uint32_t, uint16_t> cases[] = {
      // clang-format off
      {"KT4-W", 524288, 5}, {"KT4-W", 524287, 4}, {"RV4-TRK", 0, 1}, {"LP32", 131072, 2},
      {"VM500", 2076672, 506}, {"VM600", 4096, 0}, {"KT5", 4097, 1}, {"BRK-T", 8192, 1},
      {"VM400", 8193, 2}, {"VM500", 4095, 0}, {"VM500", 0, 0}, {"VM500-AIO", 40960, 20},
      {"36RV4-AIO", 12288, 4}, {"KT4-RV4", 493568, 242}, {"TW5", 2048, 2}, {"KT-RV-TW4", 2047, 1},
      {"LN", 16384, 2}, {"LN-P", 16383, 1},
      // clang-format on
  };
  for (const auto& [model, length, units] : cases) {
    SCOPED_TRACE(model + (" " + std::to_string(length)));
    EXPECT_EQ(EraseUnitCount(PlcIndexByName(model), length), units);
    Reset(model, length);
    AnswerAlways("\x06");
    EXPECT_EQ(SendErase_B(*run_), kResultOk);
    EXPECT_EQ(wire_->CountWrites("ERASE"), units);
    EXPECT_EQ(wire_->Writes().back(), Bytes{kEot});
    EXPECT_EQ(Ints(run_->flashStatus, run_->progress), Ints(kFlashErasing, 100));
  }
}

}  // namespace

}  // namespace plc
