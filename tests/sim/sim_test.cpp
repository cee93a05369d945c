// The simulated PLC hears only the line the tool must set.  The rest of it (its
// block store, its faults) is proven by the burns that use it: a simulator that
// misbehaves changes the image or the message a burn test expects.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "sim_device.h"
#include "state/models.h"

namespace plc {

namespace {

constexpr LineSettings kModbus{9600, 7, 2, 0};
constexpr LineSettings kTransfer{115200, 8, 0, 0};

std::string Exchange(PlcSim& sim, const std::string& request) {
  SimFeed(sim, reinterpret_cast<const uint8_t*>(request.data()),
          static_cast<uint32_t>(request.size()));
  std::string out;
  uint8_t buf[256];
  for (uint32_t n = 0; (n = SimTakeOutput(sim, buf, sizeof buf)) > 0;) out.append(buf, buf + n);
  return out;
}

// A block frame as the tool sends it, with the simulator's own CRC.
std::string BlockFrame(const std::vector<uint8_t>& data) {
  const uint16_t crc = SimCrc16(data.data(), static_cast<uint32_t>(data.size()));
  return std::string("\x02\x01\xFE") + std::string(data.begin(), data.end()) +
         static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

TEST(SimLine, TrafficAtAWrongSpeedIsGarbage) {
  // model, blocks (after UPDATE), line set, line settings, framing known, answered
  const std::tuple<const char*, bool, bool, LineSettings, bool, bool> cases[] = {
      {"KT4-RV4", false, true, kModbus, true, true},
      {"KT4-RV4", false, false, kModbus, true, false},          // never set
      {"KT4-RV4", false, true, {19200, 7, 2, 0}, true, false},  // wrong speed
      {"KT4-RV4", false, true, {9600, 8, 0, 0}, true, false},   // 8N1 at 9600
      {"KT4-RV4", false, true, {9600, 7, 0, 0}, true, false},   // 7N1: no parity
      {"KT4-RV4", false, true, {9600, 8, 0, 0}, false, true},   // a pty cannot tell
      {"VM500", false, false, kModbus, true, true},             // USB: any speed
      {"KT4-RV4", true, true, kModbus, true, false},            // blocks at 115200 only
      {"VM500", true, true, kTransfer, true, true},
  };
  for (const auto& [model, blocks, lineSet, line, framingKnown, answered] : cases) {
    auto sim = std::make_unique<PlcSim>();
    SimConfig config = SimDefaultConfig(PlcIndexByName(model));
    config.startInBoot = blocks;
    SimInit(*sim, config);
    SimSetLine(*sim, kModbus, true);
    if (blocks) {
      EXPECT_EQ(Exchange(*sim, "UPDATE"), "\x06");
      SimSetLine(*sim, kTransfer, true);
    }
    sim->lineKnown = false;
    if (lineSet) SimSetLine(*sim, line, framingKnown);
    const std::string request =
        blocks ? BlockFrame(std::vector<uint8_t>(256, 7)) : ":006401590141\r\n";
    EXPECT_EQ(!Exchange(*sim, request).empty(), answered) << model << " " << line.baudRate;
  }
}

}  // namespace

}  // namespace plc
