// The simulated PLC hears only the line the tool must set, and tells a power
// cycle from the tool's reopen of the link.  The rest of it (its block store,
// its faults) is proven by the burns that use it: a simulator that misbehaves
// changes the image or the message a burn test expects.
#include <gtest/gtest.h>

#include <initializer_list>
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

// A Modbus ASCII request with its LRC.
std::string Modbus(std::initializer_list<uint8_t> bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string line = ":";
  unsigned sum = 0;
  for (const uint8_t b : bytes) {
    line += kHex[b >> 4];
    line += kHex[b & 15];
    sum += b;
  }
  const auto lrc = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  return line + kHex[lrc >> 4] + kHex[lrc & 15] + "\r\n";
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

// The PLC's program is gone once the erase is accepted: a power cycle (the
// cable pulled and plugged in again, the PLC switched off and on) brings up
// its bootloader, fresh, until a transfer has been completed.  The tool's
// reopen of the link is no power cycle, except where it stands in for the
// one that follows the erase.
TEST(SimPower, ACycleStartsTheBootloaderUntilATransferIsComplete) {
  enum Before { kApplication, kErased, kMidTransfer, kDone };
  enum Event { kPowerCycle, kToolReopen };
  constexpr auto kApp = SimMode::kApplication;
  constexpr auto kBoot = SimMode::kBoot;
  constexpr auto kCommands = SimBootPhase::kCommands;
  constexpr auto kBlocks = SimBootPhase::kTransfer;
  // model, state before, event, mode, phase, speed listened at after it
  const std::tuple<const char*, Before, Event, SimMode, SimBootPhase, uint32_t> cases[] = {
      {"VM500", kApplication, kPowerCycle, kApp, kCommands, 0},
      {"VM500", kErased, kToolReopen, kBoot, kCommands, 0},
      {"VM500", kErased, kPowerCycle, kBoot, kCommands, 0},
      {"VM500", kMidTransfer, kToolReopen, kBoot, kBlocks, 115200},
      {"VM500", kMidTransfer, kPowerCycle, kBoot, kCommands, 0},
      {"VM500", kDone, kToolReopen, kApp, kCommands, 0},
      {"VM500", kDone, kPowerCycle, kApp, kCommands, 0},
      {"LM4", kApplication, kPowerCycle, kApp, kCommands, 9600},
      {"LM4", kErased, kPowerCycle, kBoot, kCommands, 9600},
      {"LM4", kMidTransfer, kToolReopen, kBoot, kBlocks, 115200},
      {"LM4", kMidTransfer, kPowerCycle, kBoot, kCommands, 9600},
      {"LM4", kDone, kPowerCycle, kApp, kCommands, 9600},
      {"KT4-W", kErased, kToolReopen, kBoot, kCommands, 9600},  // silent erase
      {"KT4-W", kErased, kPowerCycle, kBoot, kCommands, 9600},
      {"KT4-W", kMidTransfer, kToolReopen, kBoot, kBlocks, 115200},
      {"KT4-W", kMidTransfer, kPowerCycle, kBoot, kCommands, 9600},
  };
  const std::string erase = Modbus({0x00, 0x64, 0x01, 0x59, 'E', 'R', 'A', 'S', 'E'});
  const std::string confirm = Modbus({0x00, 0x64, 0x01, 0x59, 0x06});
  for (const auto& [model, before, event, mode, phase, baud] : cases) {
    const std::string label = std::string(model) + " before " + std::to_string(before) + " event " +
                              std::to_string(event);
    auto sim = std::make_unique<PlcSim>();
    const SimConfig config = SimDefaultConfig(PlcIndexByName(model));
    SimInit(*sim, config);
    SimSetLine(*sim, kModbus, true);
    if (before != kApplication) {
      (void)Exchange(*sim, erase);
      (void)Exchange(*sim, confirm);
    }
    if (before == kMidTransfer || before == kDone) {
      SimReconnect(*sim);  // the tool's reopen after the replug prompt
      ASSERT_EQ(Exchange(*sim, "UPDATE"), "\x06") << label;
      SimSetLine(*sim, kTransfer, true);
      const uint32_t size = SimBlockSize(config.row);
      ASSERT_EQ(Exchange(*sim, BlockFrame(std::vector<uint8_t>(size, 7))), "\x06") << label;
    }
    if (before == kDone) {
      ASSERT_EQ(Exchange(*sim, "\x04"), "\x06") << label;
    }
    if (event == kPowerCycle) {
      SimPowerCycle(*sim);
    } else {
      SimReconnect(*sim);
    }
    EXPECT_EQ(sim->mode, mode) << label;
    EXPECT_EQ(sim->phase, phase) << label;
    EXPECT_EQ(SimExpectedBaud(*sim), baud) << label;
    if (mode == kBoot && phase == kCommands) {
      // Ready for the tool's first question, at the speed of the commands.
      SimSetLine(*sim, kModbus, true);
      const std::string id = {'\x06', static_cast<char>(config.bootId >> 8),
                              static_cast<char>(config.bootId & 0xFF)};
      EXPECT_EQ(Exchange(*sim, "ID"), id) << label;
    }
  }
}

}  // namespace

}  // namespace plc
