// The simulated PLC in-process: it hears only the line the tool must set, and
// stores each block once, in order.  Its faults are proven by the burns that
// use them (a fault that misfires changes the message a burn test expects).
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "sim_device.h"
#include "state/models.h"

namespace {

constexpr LineSettings kModbus{9600, 7, 2, 0};
constexpr LineSettings kTransfer{115200, 8, 0, 0};
enum Phase { kApp, kBoot, kBlocks };

std::string Exchange(PlcSim& sim, const std::string& request) {
  SimFeed(sim, reinterpret_cast<const uint8_t*>(request.data()),
          static_cast<uint32_t>(request.size()));
  std::string out;
  uint8_t buf[256];
  for (uint32_t n = 0; (n = SimTakeOutput(sim, buf, sizeof buf)) > 0;) out.append(buf, buf + n);
  return out;
}

std::string Bin(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

// A block frame as the tool sends it, with the simulator's own CRC.
std::string BlockFrame(uint8_t number, const std::vector<uint8_t>& data) {
  const uint16_t crc = SimCrc16(data.data(), static_cast<uint32_t>(data.size()));
  return Bin({0x02, number, 255 - number}) + std::string(data.begin(), data.end()) +
         Bin({crc >> 8, crc & 0xFF});
}

std::unique_ptr<PlcSim> MakeSim(const char* model, Phase phase) {
  auto sim = std::make_unique<PlcSim>();
  SimConfig config = SimDefaultConfig(PlcIndexByName(model));
  config.startInBoot = phase != kApp;
  SimInit(*sim, config);
  SimSetLine(*sim, kModbus, true);
  if (phase == kBlocks) {
    EXPECT_EQ(Exchange(*sim, "UPDATE"), Bin({0x06}));
    SimSetLine(*sim, kTransfer, true);
  }
  return sim;
}

TEST(SimLine, TrafficAtAWrongSpeedIsGarbage) {
  // model, phase, line set, line settings, framing known, answered
  const std::tuple<const char*, Phase, bool, LineSettings, bool, bool> cases[] = {
      {"KT4-RV4", kApp, true, kModbus, true, true},
      {"KT4-RV4", kApp, false, kModbus, true, false},          // never set
      {"KT4-RV4", kApp, true, {19200, 7, 2, 0}, true, false},  // wrong speed
      {"KT4-RV4", kApp, true, {9600, 8, 0, 0}, true, false},   // 8N1 at 9600
      {"KT4-RV4", kApp, true, {9600, 8, 0, 0}, false, true},   // a pty cannot tell
      {"VM500", kApp, false, kModbus, true, true},             // USB: any speed
      {"KT4-RV4", kBlocks, true, kModbus, true, false},        // blocks at 115200 only
      {"VM500", kBlocks, true, kTransfer, true, true},
  };
  for (const auto& [model, phase, lineSet, line, framingKnown, answered] : cases) {
    auto sim = MakeSim(model, phase);
    sim->lineKnown = false;
    if (lineSet) SimSetLine(*sim, line, framingKnown);
    const std::string request =
        phase == kApp ? ":006401590141\r\n" : BlockFrame(1, std::vector<uint8_t>(256, 7));
    EXPECT_EQ(!Exchange(*sim, request).empty(), answered) << model << " " << line.baudRate;
  }
}

TEST(SimTransfer, StoresEachBlockOnceInOrderAndNaksBadFrames) {
  auto sim = MakeSim("VM500", kBlocks);
  std::vector<uint8_t> image(2 * 256);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 131) >> 3);
  auto block = [&image](uint8_t n) {
    return BlockFrame(n, {image.begin() + (n - 1) * 256, image.begin() + n * 256});
  };
  std::string badCrc = block(1), badComplement = block(1);
  badCrc[10] ^= 0x01;
  badComplement[2] = 0x00;
  const std::tuple<const char*, std::string, int, uint32_t> cases[] = {
      // clang-format off
      {"bad CRC", badCrc, 0x15, 0}, {"bad complement", badComplement, 0x15, 0},
      {"skips ahead", block(2), 0x15, 0}, {"first", block(1), 0x06, 1},
      {"repeat of the last", block(1), 0x06, 1}, {"second", block(2), 0x06, 2},
      {"old block", block(1), 0x15, 2},
      // clang-format on
  };
  for (const auto& [what, frame, reply, stored] : cases) {
    EXPECT_EQ(Exchange(*sim, frame), Bin({reply})) << what;
    EXPECT_EQ(sim->counters.framesStored, stored) << what;
  }
  EXPECT_EQ(Exchange(*sim, Bin({0x04})), Bin({0x06}));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), sim->image.begin()));
}

}  // namespace
