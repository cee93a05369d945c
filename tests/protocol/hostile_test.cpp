// Whatever the device sends, every operation stays inside its buffers and
// ends with a result code from its own table.  Run under the asan preset.
#include <set>

#include "protocol_fixture.h"

namespace {

// Every reply, every operation ({}: any result), every model.
TEST(Hostile, MalformedReplies) {
  const std::pair<const char*, std::set<int>> ops[] = {
      // clang-format off
      {"DummyComm", {-1}}, {"ConfirmComm", {5, 6, 17, 18, 21, 22, 23, 24}},
      {"CheckID_A", {0, 18, 19, 21, 23, 24}}, {"READ_D1386", {}}, {"READ_D1148", {}},
      {"read_fu_version_A", {}}, {"SendErase_A", {0, 19, 20, 21, 23, 24}}, {"CheckID_B", {0, 16}},
      {"read_fu_version_B", {0, 16}}, {"SendErase_B", {0, 16}}, {"SendUpdate", {0, 16}},
      {"SendFW", {0, 16}},
      // clang-format on
  };
  const std::string good = Reply19(0x15, 2, 3);
  for (const std::string& reply :
       {std::string(), std::string(":"), good.substr(0, 18), good + good + "trailing garbage",
        std::string(":0064015b1502030F\r\n"), ":0G" + good.substr(3), WithWrongLrc(good),
        Reply15(0x4138), std::string(19, '\xFF'), std::string(19, '\0'), std::string(300, '\x15'),
        std::string(300, '\x06'), std::string(5000, ':')}) {
    for (int row = 0; row < kPlcCount; ++row) {
      for (const auto& [op, results] : ops) {
        SCOPED_TRACE(std::string(op) + " on " + plcList[row] + ": " + reply.substr(0, 20));
        TestWire wire;
        LinkHandle link = hSerial = wire.Open();
        SelectModel(row);
        ClearStatusValues();
        std::vector<uint8_t> image(row % 2 ? 4200 : 5000, 0x5A);  // a short last block
        LoadFirmware({image.data(), static_cast<uint32_t>(image.size())});
        wire.SetResponder([&reply](TestWire& w, const Bytes&) { w.Reply(reply); });
        const int result = RunOp(op, link);
        EXPECT_TRUE(results.empty() || results.count(result)) << result;
        EXPECT_TRUE(errCounter >= 0 && errCounter <= 6 && progress >= 0 && progress <= 100);
        EXPECT_LE(fin, image.data() + image.size());
        hSerial = kNoLink, CloseLink(link);
      }
    }
  }
}

}  // namespace
