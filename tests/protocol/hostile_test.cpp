// Whatever the device sends, every operation stays inside its buffers and
// ends with a result code from its own table.  Run under the asan preset.
#include <functional>
#include <random>
#include <set>

#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "protocol/transfer.h"
#include "protocol_fixture.h"

namespace {

struct Operation {
  const char* name;
  std::function<int(LinkHandle)> run;
  std::set<int> results;  // empty: any value (register and version reads)
};

int NoResult(void (*f)(LinkHandle), LinkHandle link) {
  f(link);
  return 0;
}

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> ops = {
      {"DummyComm", [](LinkHandle l) { return NoResult(DummyComm, l); }, {0}},
      {"ConfirmComm", ConfirmComm, {5, 6, 17, 18, 21, 22, 23, 24}},
      {"CheckID_A", CheckID_A, {0, 18, 19, 21, 23, 24}},
      {"READ_D1386", READ_D1386, {}},
      {"READ_D1148", READ_D1148, {}},
      {"read_fu_version_A", [](LinkHandle) { return int{read_fu_version_A()}; }, {}},
      {"SendErase_A", SendErase_A, {0, 19, 20, 21, 23, 24}},
      {"CheckID_B", CheckID_B, {0, 16}},
      {"read_fu_version_B", [](LinkHandle) { return int{read_fu_version_B()}; }, {0, 16}},
      {"SendErase_B", SendErase_B, {0, 16}},
      {"SendUpdate", SendUpdate, {0, 16}},
      {"SendFW", SendFW, {0, 16}},
  };
  return ops;
}

// Fixed malformed replies, each sent in answer to every request.
std::vector<std::pair<std::string, Bytes>> FixedReplies() {
  const std::string good = Reply19(0x15, 0x02, 0x03);
  std::string lower = ":0064015b1502030F\r\n";
  std::string nonHex = good;
  nonHex[3] = 'G';
  std::vector<std::pair<std::string, Bytes>> out = {
      {"silence", {}},
      {"colon", ToBytes(":")},
      {"one short", ToBytes(good.substr(0, 18))},
      {"long", ToBytes(good + good + "trailing garbage")},
      {"lower case", ToBytes(lower)},
      {"non-hex", ToBytes(nonHex)},
      {"wrong LRC", ToBytes(WithWrongLrc(good))},
      {"register reply to everything", ToBytes(Reply15(0x4138))},
      {"0xFF", Bytes(19, 0xFF)},
      {"zeros", Bytes(19, 0x00)},
      {"NAKs", Bytes(300, 0x15)},
      {"ACKs", Bytes(300, 0x06)},
      {"flood", Bytes(5000, ':')},
  };
  return out;
}

class HostileTest : public ProtocolTest {
 protected:
  // Runs every operation for every model, with a fresh link each time.
  void RunAll(const std::string& kind, const std::function<void(TestWire&)>& arm) {
    for (int row = 0; row < kPlcCount; ++row) {
      for (const Operation& op : Operations()) {
        TestWire wire;
        LinkHandle link = wire.Open();
        hSerial = link;
        SelectModel(row);
        ClearStatusValues();
        UseImage(row % 2 == 0 ? 5000 : 4200);  // a short last block either way
        arm(wire);
        const int result = op.run(link);
        if (!op.results.empty()) {
          EXPECT_EQ(op.results.count(result), 1u)
              << op.name << " on " << plcList[row] << " with " << kind << ": " << result;
        }
        EXPECT_GE(errCounter, 0);
        EXPECT_LE(errCounter, 6) << op.name << " " << kind;
        EXPECT_GE(progress, 0);
        EXPECT_LE(progress, 100);
        EXPECT_LE(fin, image_.data() + image_.size());
        hSerial = kNoLink;
        CloseLink(link);
      }
    }
  }
};

TEST_F(HostileTest, MalformedReplies) {
  for (const auto& [kind, bytes] : FixedReplies()) {
    const Bytes reply = bytes;
    RunAll(kind, [reply](TestWire& wire) {
      wire.SetResponder([reply](TestWire& w, const Bytes&) { w.Reply(reply); });
    });
  }
}

TEST_F(HostileTest, RandomBytes) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    auto rng = std::make_shared<std::mt19937>(seed);
    RunAll("seed " + std::to_string(seed), [rng](TestWire& wire) {
      wire.SetResponder([rng](TestWire& w, const Bytes&) {
        const auto n = static_cast<size_t>((*rng)() % 48);
        Bytes bytes(n);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>((*rng)());
        w.Reply(bytes);
      });
    });
  }
}

// Replies that are well formed more often than not, with random content,
// so that the deeper paths (accepted IDs, partial erases and transfers) run.
TEST_F(HostileTest, PlausibleRepliesWithRandomContent) {
  for (uint32_t seed = 100; seed < 108; ++seed) {
    auto rng = std::make_shared<std::mt19937>(seed);
    RunAll("plausible seed " + std::to_string(seed), [rng](TestWire& wire) {
      wire.SetResponder([rng](TestWire& w, const Bytes& request) {
        std::mt19937& r = *rng;
        const auto byte = [&r] { return static_cast<uint8_t>(r()); };
        const uint8_t pick[] = {0x05, 0x06, 0x15, byte()};
        std::string reply;
        if (!request.empty() && request[0] == ':') {
          reply = request.size() == 17 && request[4] == '3'
                      ? Reply15(static_cast<uint16_t>(r()))
                      : Reply19(pick[r() % 4], static_cast<uint8_t>(r() % 4), byte());
          if (r() % 5 == 0) reply = WithWrongLrc(reply);
          if (r() % 7 == 0) reply.resize(static_cast<size_t>(r() % reply.size()));
        } else {
          reply.push_back(static_cast<char>(r() % 4 != 0 ? 0x06 : byte()));
          const auto extra = static_cast<uint32_t>(r() % 4);
          for (uint32_t i = 0; i < extra; ++i) reply.push_back(static_cast<char>(byte()));
        }
        w.Reply(reply);
      });
    });
  }
}

// A link that claims more bytes than were asked for must not lead anyone to
// index past the reply buffer.
class OverreportingLink : public Link {
 public:
  uint32_t Write(const uint8_t*, uint32_t count) override { return count; }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    for (uint32_t i = 0; i < count; ++i) buffer[i] = i == 0 ? 0x06 : 'A';
    return count + 100;
  }
  void ApplyLineSettings(const LineSettings&) override {}
  void ApplyTimeouts(const Timeouts&) override {}
};

TEST_F(HostileTest, LinkThatOverreportsReads) {
  OverreportingLink link;
  for (int row = 0; row < kPlcCount; ++row) {
    for (const Operation& op : Operations()) {
      hSerial = &link;
      SelectModel(row);
      ClearStatusValues();
      UseImage(5000);
      const int result = op.run(&link);
      if (!op.results.empty()) {
        EXPECT_EQ(op.results.count(result), 1u) << op.name << " " << result;
      }
    }
  }
  hSerial = link_;
}

}  // namespace
