// Every request on the wire, byte for byte, with the line settings and
// time-outs each operation applies, in order; and the result it reads.
#include "protocol_fixture.h"

namespace plc {

namespace {

std::string Rep(const std::string& t, int n) {
  return n > 0 ? t + Rep(t, n - 1) : "";
}

TEST_F(ProtocolTest, RequestsSettingsAndTimeoutsInOrder) {
  const std::string ack = "\x06", wake = Rep(">:007F81\r\n|<11|", 5) + Rep("<11|", 5);
  const std::tuple<const char*, const char*, std::vector<std::string>, int, std::string> cases[] = {
      // clang-format off
    {"KT4-RV4", "DummyComm", {}, -1, "modbus|short|" + wake},
    {"KT4-RV4", "ConfirmComm", {Reply19(5)}, kResultAppMode, "modbus|long|>:006401590141\r\n|<19|"},
    {"VM500-AIO", "ConfirmComm", {Reply19(5)}, kResultAppMode, "long|>:0064015B013F\r\n|<19|"},
    {"KT4-RV4", "CheckID_A", {Reply19(6, 0, 0x0C)}, kResultOk, "long|>:006401594944B5\r\n|<19|"},
    {"RV5-AIO", "CheckID_A", {Reply19(6, 0, 0x20)}, kResultOk, "long|>:0064015B4944B3\r\n|<19|"},
    {"KT4-W", "ReadD1386_A", {Reply15(0x4138)}, 0x4138, "long|>:0003156A00017D\r\n|<15|"},
    {"VM500-AIO", "ReadD1148_A", {Reply15(0x0203)}, 0x0203, "long|>:0003147C00016C\r\n|<15|"},
    {"VM500", "ReadVersion_A", {Reply19(0x10)}, 0x10, "long|>:00640159053D\r\n|<19|"},
    {"VM500", "SendErase_A", {Reply19(6)}, kResultOk, "long|>:006401594552415345D2\r\n|<19|>:00640159063C\r\n|"},
    {"VM500-AIO", "SendErase_A", {Reply19(6)}, kResultOk, "long|>:0064015B4552415345D0\r\n|<19|>:0064015B063A\r\n|"},
    {"VM500", "CheckID_B", {"\x06\x30\x10"}, kResultOk, "long|>ID|<3|"},
    {"VM500", "ReadVersion_B", {std::string("\x06\x01\x00", 3)}, 0x10, "long|>VERSION|<3|"},
    {"VM500", "SendErase_B", {ack, ack, ack}, kResultOk, "long|>ERASE|<1|>ERASE|<1|>\x04|<1|"},
    {"VM500", "SendUpdate", {ack}, kResultOk, "long|>UPDATE|<1|transfer|"},
    // The line changes only after the ACK.
    {"KT4-RV4", "SendUpdate", {"", "\x15", ack}, kResultOk, "long|" + Rep(">UPDATE|<1|", 3) + "transfer|"},
    {"VM500", "SendUpdate", {}, kResultBootFailure, "long|" + Rep(">UPDATE|<1|", 6)},
      // clang-format on
  };
  for (const auto& [model, op, replies, result, trace] : cases) {
    SCOPED_TRACE(std::string(model) + " " + op);
    Reset(model, 12288);  // three erase units on the VM group
    Answer(replies);
    EXPECT_EQ(RunOp(op, *run_), result);
    EXPECT_EQ(Trace(*wire_), trace);
  }
}

}  // namespace

}  // namespace plc
