// Every request on the wire, byte for byte, with the line settings and
// time-outs each operation applies, in order.
#include <functional>

#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "protocol/result_codes.h"
#include "protocol_fixture.h"

namespace {

struct WireCase {
  const char* name;
  const char* model;
  std::function<int(LinkHandle)> run;
  std::vector<std::string> replies;
  int result;
  std::vector<std::string> trace;
};

void PrintTo(const WireCase& c, std::ostream* os) {
  *os << c.name;
}

int Void(void (*f)(LinkHandle), LinkHandle link) {
  f(link);
  return -1;
}

const std::vector<std::string> kWakeUpTrace = {"> :007F81\\r\\n",
                                               "< 11",
                                               "> :007F81\\r\\n",
                                               "< 11",
                                               "> :007F81\\r\\n",
                                               "< 11",
                                               "> :007F81\\r\\n",
                                               "< 11",
                                               "> :007F81\\r\\n",
                                               "< 11",
                                               "< 11",
                                               "< 11",
                                               "< 11",
                                               "< 11",
                                               "< 11"};

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

class WireTest : public ProtocolTest, public ::testing::WithParamInterface<WireCase> {};

TEST_P(WireTest, RequestsSettingsAndTimeoutsInOrder) {
  const WireCase& c = GetParam();
  Select(c.model);
  UseImage(12288);  // three 4 KB units on the VM group, less the reserved tail
  Answer(c.replies);
  EXPECT_EQ(c.run(link_), c.result);
  EXPECT_EQ(Trace(wire_), c.trace);
}

const WireCase kWireCases[] = {
    {"DummyCommSerial",
     "KT4-RV4",
     [](LinkHandle l) { return Void(DummyComm, l); },
     {},
     -1,
     Join({"modbus", "short"}, kWakeUpTrace)},
    {"DummyCommUsb",
     "VM500",
     [](LinkHandle l) { return Void(DummyComm, l); },
     {},
     -1,
     Join({"short"}, kWakeUpTrace)},
    {"ConfirmCommSerial",
     "KT4-RV4",
     ConfirmComm,
     {Reply19(0x05)},
     5,
     {"modbus", "long", "> :006401590141\\r\\n", "< 19"}},
    {"ConfirmCommUsb",
     "VM500",
     ConfirmComm,
     {Reply19(0x06)},
     6,
     {"long", "> :006401590141\\r\\n", "< 19"}},
    {"ConfirmCommAioUsb",
     "VM500-AIO",
     ConfirmComm,
     {Reply19(0x05)},
     5,
     {"long", "> :0064015B013F\\r\\n", "< 19"}},
    {"ConfirmCommAioSerial",
     "36RV4-AIO",
     ConfirmComm,
     {Reply19(0x05)},
     5,
     {"modbus", "long", "> :0064015B013F\\r\\n", "< 19"}},
    {"CheckIdA",
     "KT4-RV4",
     CheckID_A,
     {Reply19(0x06, 0x00, 0x0C)},
     0,
     {"long", "> :006401594944B5\\r\\n", "< 19"}},
    {"CheckIdAAio",
     "RV5-AIO",
     CheckID_A,
     {Reply19(0x06, 0x00, 0x20)},
     0,
     {"long", "> :0064015B4944B3\\r\\n", "< 19"}},
    {"ReadD1386",
     "KT4-W",
     READ_D1386,
     {Reply15(0x4138)},
     0x4138,
     {"long", "> :0003156A00017D\\r\\n", "< 15"}},
    {"ReadD1148",
     "LP4",
     READ_D1148,
     {Reply15(0x0001)},
     1,
     {"long", "> :0003147C00016C\\r\\n", "< 15"}},
    {"ReadD1148Aio",
     "VM500-AIO",
     READ_D1148,
     {Reply15(0x0203)},
     0x0203,
     {"long", "> :0003147C00016C\\r\\n", "< 15"}},
    {"VersionA",
     "VM500",
     [](LinkHandle) { return int{read_fu_version_A()}; },
     {Reply19(0x10)},
     0x10,
     {"long", "> :00640159053D\\r\\n", "< 19"}},
    {"VersionAAioHasNoVariant",
     "VM500-AIO",
     [](LinkHandle) { return int{read_fu_version_A()}; },
     {Reply19(0x12)},
     0x12,
     {"long", "> :00640159053D\\r\\n", "< 19"}},
    {"EraseA",
     "VM500",
     SendErase_A,
     {Reply19(0x06)},
     0,
     {"long", "> :006401594552415345D2\\r\\n", "< 19", "> :00640159063C\\r\\n"}},
    {"EraseAAio",
     "VM500-AIO",
     SendErase_A,
     {Reply19(0x06)},
     0,
     {"long", "> :0064015B4552415345D0\\r\\n", "< 19", "> :0064015B063A\\r\\n"}},
    {"CheckIdB", "VM500", CheckID_B, {ToText(B({0x06, 0x30, 0x10}))}, 0, {"long", "> ID", "< 3"}},
    {"VersionB",
     "VM500",
     [](LinkHandle) { return int{read_fu_version_B()}; },
     {ToText(B({0x06, 0x01, 0x00}))},
     0,
     {"long", "> VERSION", "< 3"}},
    {"EraseB",
     "VM500",
     SendErase_B,
     {"\x06", "\x06", "\x06"},
     0,
     {"long", "> ERASE", "< 1", "> ERASE", "< 1", "> \\x04", "< 1"}},
    {"UpdateUsb", "VM500", SendUpdate, {"\x06"}, 0, {"long", "> UPDATE", "< 1", "transfer"}},
    {"UpdateSerial", "KT4-RV4", SendUpdate, {"\x06"}, 0, {"long", "> UPDATE", "< 1", "transfer"}},
};

INSTANTIATE_TEST_SUITE_P(Protocol, WireTest, ::testing::ValuesIn(kWireCases), CaseName<WireCase>);

// The serial models get the Modbus line settings from both probe steps, the
// USB models from neither.
TEST_F(ProtocolTest, LineSettingsOnlyForSerialModels) {
  for (int row = 0; row < kPlcCount; ++row) {
    TestWire wire;
    LinkHandle link = wire.Open();
    SelectModel(row);
    DummyComm(link);
    ConfirmComm(link);
    CloseLink(link);
    int applied = 0;
    for (const std::string& t : Trace(wire)) applied += t == "modbus" ? 1 : 0;
    EXPECT_EQ(applied, IsSerialModel(row) ? 2 : 0) << plcList[row];
  }
}

}  // namespace
