// Whatever the device sends, every operation stays inside its buffers and
// ends with a result code from its own table.  Run under the asan preset.
#include <functional>
#include <random>
#include <set>

#include "protocol_fixture.h"

namespace {

// Every operation for every model, each request answered by reply(request).
void RunAll(const std::function<std::string(const Bytes&)>& reply) {
  const std::pair<const char*, std::set<int>> ops[] = {
      // {}: any value
      // clang-format off
      {"DummyComm", {-1}}, {"ConfirmComm", {5, 6, 17, 18, 21, 22, 23, 24}},
      {"CheckID_A", {0, 18, 19, 21, 23, 24}}, {"READ_D1386", {}}, {"READ_D1148", {}},
      {"read_fu_version_A", {}}, {"SendErase_A", {0, 19, 20, 21, 23, 24}}, {"CheckID_B", {0, 16}},
      {"read_fu_version_B", {0, 16}}, {"SendErase_B", {0, 16}}, {"SendUpdate", {0, 16}},
      {"SendFW", {0, 16}},
      // clang-format on
  };
  for (int row = 0; row < kPlcCount; ++row) {
    for (const auto& [op, results] : ops) {
      SCOPED_TRACE(std::string(op) + " on " + plcList[row]);
      TestWire wire;
      LinkHandle link = hSerial = wire.Open();
      SelectModel(row);
      ClearStatusValues();
      std::vector<uint8_t> image(row % 2 ? 4200 : 5000, 0x5A);  // a short last block
      LoadImage({image.data(), static_cast<uint32_t>(image.size())});
      wire.SetResponder([&reply](TestWire& w, const Bytes& request) { w.Reply(reply(request)); });
      const int result = RunOp(op, link);
      EXPECT_TRUE(results.empty() || results.count(result)) << result;
      EXPECT_TRUE(errCounter >= 0 && errCounter <= 6 && progress >= 0 && progress <= 100);
      EXPECT_LE(fin, image.data() + image.size());
      hSerial = kNoLink;
      CloseLink(link);
    }
  }
}

TEST(Hostile, MalformedReplies) {
  const std::string good = Reply19(0x15, 2, 3);
  for (const std::string& r :
       {std::string(), std::string(":"), good.substr(0, 18), good + good + "trailing garbage",
        std::string(":0064015b1502030F\r\n"), ":0G" + good.substr(3), WithWrongLrc(good),
        Reply15(0x4138), std::string(19, '\xFF'), std::string(19, '\0'), std::string(300, '\x15'),
        std::string(300, '\x06'), std::string(5000, ':')}) {
    SCOPED_TRACE(r.substr(0, 20));
    RunAll([&r](const Bytes&) { return r; });
  }
}

// Random bytes, and replies of good form more often than not with random
// content, so that the deeper paths (accepted IDs, partial transfers) run.
TEST(Hostile, RandomReplies) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    std::mt19937 r(seed);
    const auto byte = [&r] { return static_cast<char>(r()); };
    RunAll([&](const Bytes&) {
      std::string reply(r() % 48, '\0');
      for (char& b : reply) b = byte();
      return reply;
    });
    RunAll([&](const Bytes& request) {
      std::string reply(1, r() % 4 ? '\x06' : byte());
      for (uint32_t i = r() % 4; i > 0; --i) reply.push_back(byte());
      if (request.empty() || request[0] != ':') return reply;
      const uint8_t status[] = {0x05, 0x06, 0x15, static_cast<uint8_t>(r())};
      reply = request.size() == 17 ? Reply15(static_cast<uint16_t>(r()))
                                   : Reply19(status[r() % 4], r() % 4, static_cast<uint8_t>(r()));
      if (r() % 5 == 0) reply = WithWrongLrc(reply);
      if (r() % 7 == 0) reply.resize(r() % reply.size());
      return reply;
    });
  }
}

}  // namespace
