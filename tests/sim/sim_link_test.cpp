#include "sim_link.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/models.h"
#include "port/link.h"
#include "sim_test_util.h"

namespace {

struct Rig {
  explicit Rig(const char* model, uint64_t* clock = nullptr) : sim(std::make_unique<PlcSim>()) {
    SimInit(*sim, SimDefaultConfig(PlcIndexByName(model)));
    pair = std::make_unique<SimLinkPair>(sim.get(), clock);
  }
  std::unique_ptr<PlcSim> sim;
  std::unique_ptr<SimLinkPair> pair;
};

uint32_t Send(LinkHandle link, const std::string& text) {
  return LinkWrite(link, reinterpret_cast<const uint8_t*>(text.data()),
                   static_cast<uint32_t>(text.size()));
}

std::string Receive(LinkHandle link, uint32_t count) {
  uint8_t buf[300] = {};
  const uint32_t n = LinkRead(link, buf, count);
  return std::string(buf, buf + n);
}

TEST(SimLinkPair, TimeOnlyPassesWhenAReadWaitsOutItsTimeout) {
  Rig rig("VM500");
  LinkHandle link = rig.pair->Open();
  struct Step {
    const Timeouts& timeouts;
    const std::string& request;
    uint32_t want;
    size_t got;
    uint64_t clockAfter;
  } steps[] = {
      {kLongTimeouts, kProbe, 19, 19, 0},     // complete: no wait
      {kLongTimeouts, kProbe, 20, 19, 3000},  // one short: the whole time-out
      {kShortTimeouts, kWakeUp, 11, 11, 3000},     {kShortTimeouts, kWakeUp, 12, 11, 3200},
      {kLongTimeouts, kEraseConfirm, 19, 0, 6200},  // nothing comes
  };
  for (const Step& s : steps) {
    link->ApplyTimeouts(s.timeouts);
    Send(link, s.request);
    EXPECT_EQ(Receive(link, s.want).size(), s.got) << s.request;
    EXPECT_EQ(rig.pair->NowMs(), s.clockAfter) << s.request;
  }
  EXPECT_EQ(rig.pair->ReadTimeouts(), 3u);
  CloseLink(link);
}

TEST(SimLinkPair, SharesTheCallersClock) {
  uint64_t clock = 5000;
  Rig rig("LN", &clock);
  LinkHandle link = rig.pair->Open();
  SetLongTimeouts(link);
  Receive(link, 1);
  EXPECT_EQ(clock, 8000u);
  clock += 2000;  // the host pauses on the same clock
  EXPECT_EQ(rig.pair->NowMs(), 10000u);
  CloseLink(link);
}

TEST(SimLinkPair, LineSettingsReachTheDevice) {
  Rig rig("KT4-RV4");
  LinkHandle link = rig.pair->Open();
  SetLongTimeouts(link);
  Send(link, kProbe);
  EXPECT_EQ(Receive(link, 19), "") << "no line settings applied yet";
  SetModbusLineSettings(link);
  Send(link, kProbe);
  EXPECT_EQ(Receive(link, 19).size(), 19u);
  SetTransferLineSettings(link);
  Send(link, kProbe);
  EXPECT_EQ(Receive(link, 19), "") << "8N1 at 115200 is noise to the application";
  CloseLink(link);
}

TEST(SimLinkPair, EveryOpenIsAReconnect) {
  Rig rig("VM500");
  LinkHandle link = rig.pair->Open();
  SetLongTimeouts(link);
  Send(link, kEraseRequest);
  EXPECT_EQ(Receive(link, 19).size(), 19u);
  Send(link, kEraseConfirm);
  Send(link, kProbe);  // the answer is lost with the unplugged cable
  CloseLink(link);
  EXPECT_EQ(rig.pair->OpenLinks(), 0);
  rig.pair->failOpen = true;
  EXPECT_EQ(rig.pair->Open(), kNoLink);
  rig.pair->failOpen = false;
  link = rig.pair->Open();
  EXPECT_EQ(rig.pair->OpenLinks(), 1);
  EXPECT_EQ(rig.sim->counters.reconnects, 2u);
  SetLongTimeouts(link);
  Send(link, kProbe);
  EXPECT_EQ(Receive(link, 19), ModbusRequest({0x00, 0x64, 0x01, 0x59, 0x06, 0x00, 0x00}));
  CloseLink(link);
}

TEST(SimLinkPair, AReadTimeoutDropsAHalfFrame) {
  Rig rig("VM500");
  rig.sim->mode = SimMode::kBoot;
  LinkHandle link = rig.pair->Open();
  SetLongTimeouts(link);
  Send(link, "UPDATE");
  EXPECT_EQ(Receive(link, 1), Bin({0x06}));
  SetTransferLineSettings(link);
  const std::string frame = BlockFrame(1, std::vector<uint8_t>(256, 9));
  Send(link, frame.substr(0, 200));
  EXPECT_EQ(Receive(link, 1), "");
  Send(link, frame);
  EXPECT_EQ(Receive(link, 1), Bin({0x06}));
  EXPECT_EQ(rig.sim->counters.droppedFrames, 1u);
  CloseLink(link);
}

TEST(SimLinkPair, LineRateChargesTenBitTimesPerCharacter) {
  struct Case {
    const LineSettings& line;
    uint32_t characters;
    uint64_t ms;
  } cases[] = {
      {kModbusLineSettings, 960, 1000},          // 960 characters a second
      {kTransferLineSettings, 261 * 100, 2265},  // 100 frames at 115200
  };
  for (const Case& c : cases) {
    Rig rig("KT4-RV4");
    rig.pair->lineRate = true;
    LinkHandle link = rig.pair->Open();
    link->ApplyLineSettings(c.line);
    const std::string noise(c.characters, 'x');
    Send(link, noise);
    EXPECT_EQ(rig.pair->NowMs(), c.ms) << c.line.baudRate;
    CloseLink(link);
  }
}

}  // namespace
