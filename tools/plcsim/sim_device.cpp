#include "sim_device.h"

#include <cstring>

#include "sim_internal.h"
#include "state/models.h"

namespace plc {

using sim_detail::EnterBoot;
using sim_detail::FeedByte;
using sim_detail::HasFault;
using sim_detail::NextRandom;
using sim_detail::Push;

namespace {

void ResetInput(PlcSim& sim) {
  sim.inLine = false;
  sim.lineLen = 0;
  sim.cmdLen = 0;
  sim.inFrame = false;
  sim.frameLen = 0;
}

bool LineMatches(const PlcSim& sim) {
  const uint32_t baud = SimExpectedBaud(sim);
  if (baud == 0) return true;
  if (!sim.lineKnown || sim.line.baudRate != baud) return false;
  if (!sim.framingKnown) return true;
  const LineSettings& want = baud == 9600 ? kModbusLineSettings : kTransferLineSettings;
  return sim.line.byteSize == want.byteSize && sim.line.parity == want.parity &&
         sim.line.stopBits == want.stopBits;
}

}  // namespace

namespace sim_detail {

void EnterBoot(PlcSim& sim) {
  sim.mode = SimMode::kBoot;
  sim.phase = SimBootPhase::kCommands;
  sim.bootAtReconnect = false;
  sim.eraseAccepted = false;
}

void FeedByte(PlcSim& sim, uint8_t byte) {
  if (sim.mode == SimMode::kBoot && sim.phase == SimBootPhase::kTransfer) {
    TransferByte(sim, byte);
    return;
  }
  if (sim.inLine) {
    if (byte == ':') {
      ++sim.counters.badRequests;  // a new frame cuts the old one off
      sim.lineLen = 0;
    } else if (byte == '\n') {
      sim.inLine = false;
      ProcessLine(sim);
    } else if (sim.lineLen < kSimLineSize) {
      sim.lineBuf[sim.lineLen++] = byte;
    } else {
      sim.inLine = false;
      ++sim.counters.badRequests;
    }
    return;
  }
  if (byte == ':' && sim.cmdLen == 0) {
    sim.inLine = true;
    sim.lineLen = 0;
    return;
  }
  if (sim.mode == SimMode::kApplication) {
    ++sim.counters.garbageBytes;
    return;
  }
  BootCommandByte(sim, byte);
}

}  // namespace sim_detail

SimConfig SimDefaultConfig(int row) {
  SimConfig config;
  config.row = row >= 0 && row < kPlcCount ? row : SimDefaultRow();
  config.appId = plcList[config.row].id;
  config.bootId = BootReportedId(config.row);
  return config;
}

bool SimAddFault(SimConfig& config, const char* text, std::string* why) {
  SimFault fault;
  if (!SimParseFault(text, &fault, why)) return false;
  if (config.faultCount >= kSimMaxFaults) {
    if (why != nullptr) *why = "too many faults";
    return false;
  }
  config.faults[config.faultCount++] = fault;
  return true;
}

void SimInit(PlcSim& sim, const SimConfig& config) {
  std::vector<uint8_t> image = std::move(sim.image);
  sim = PlcSim{};
  sim.config = config;
  if (sim.config.row < 0 || sim.config.row >= kPlcCount) sim.config.row = SimDefaultRow();
  if (sim.config.faultCount < 0 || sim.config.faultCount > kSimMaxFaults) {
    sim.config.faultCount = 0;
  }
  sim.image = std::move(image);
  sim.image.assign(kSimMaxImage, 0);
  sim.rng = config.seed;
  if (config.startInBoot) EnterBoot(sim);
}

void SimFeed(PlcSim& sim, const uint8_t* data, uint32_t count) {
  if (data == nullptr || count == 0) return;
  if (HasFault(sim, SimFaultType::kHostile)) {
    uint8_t noise[48];
    const uint32_t n = static_cast<uint32_t>(NextRandom(sim) % sizeof noise);
    for (uint32_t i = 0; i < n; ++i) noise[i] = static_cast<uint8_t>(NextRandom(sim));
    Push(sim, noise, n);
    return;
  }
  if (sim.silenced) return;
  if (!LineMatches(sim)) {
    // A UART at another speed makes noise of it: nothing gets through.
    sim.counters.garbageBytes += count;
    ResetInput(sim);
    return;
  }
  uint32_t i = 0;
  while (i < count && !sim.silenced) {
    if (sim.inFrame && sim.frameLen > 0) {
      // The body of a block frame: take it in one piece, up to the CRC's last byte.
      const uint32_t size = SimBlockSize(sim.config.row) + 5;
      const uint32_t need = size - sim.frameLen - 1;
      const uint32_t take = count - i < need ? count - i : need;
      std::memcpy(sim.frameBuf + sim.frameLen, data + i, take);
      sim.frameLen += take;
      i += take;
      if (i == count) break;
    }
    FeedByte(sim, data[i++]);
  }
}

uint32_t SimOutputSize(const PlcSim& sim) {
  return sim.outCount;
}

uint32_t SimTakeOutput(PlcSim& sim, uint8_t* buffer, uint32_t max) {
  uint32_t n = 0;
  while (n < max && sim.outCount > 0) {
    buffer[n++] = sim.out[sim.outHead];
    sim.outHead = (sim.outHead + 1) % kSimOutputSize;
    --sim.outCount;
  }
  return n;
}

void SimSetLine(PlcSim& sim, const LineSettings& line, bool framingKnown) {
  sim.line = line;
  sim.lineKnown = true;
  sim.framingKnown = framingKnown;
}

void SimReconnect(PlcSim& sim) {
  ++sim.counters.reconnects;
  ResetInput(sim);
  sim.outHead = 0;
  sim.outCount = 0;
  if (sim.bootAtReconnect) {
    EnterBoot(sim);
  } else if (sim.mode == SimMode::kBoot && sim.transferDone) {
    // Replugged or powered up after a complete transfer: the new program runs.
    sim.mode = SimMode::kApplication;
    sim.phase = SimBootPhase::kCommands;
  }
}

void SimPowerCycle(PlcSim& sim) {
  ResetInput(sim);
  sim.outHead = 0;
  sim.outCount = 0;
  // An erase request answered but not confirmed dies with the power.
  sim.eraseAccepted = false;
  const bool programGone = sim.bootAtReconnect || (sim.mode == SimMode::kBoot && !sim.transferDone);
  if (!programGone) {
    sim.mode = SimMode::kApplication;
    sim.phase = SimBootPhase::kCommands;
    return;
  }
  // The bootloader starts afresh: the blocks of a cut-off transfer are lost.
  EnterBoot(sim);
  sim.nextBlock = 1;
  sim.imageLength = 0;
  sim.transferDone = false;
}

void SimIdle(PlcSim& sim, uint32_t quietMs) {
  if (quietMs < kSimInterFrameGapMs) return;
  if (sim.inFrame) ++sim.counters.droppedFrames;
  if (sim.inLine) ++sim.counters.badRequests;
  ResetInput(sim);
}

bool SimHasPartialInput(const PlcSim& sim) {
  return sim.inLine || sim.cmdLen > 0 || sim.inFrame;
}

uint32_t SimExpectedBaud(const PlcSim& sim) {
  if (sim.mode == SimMode::kBoot && sim.phase == SimBootPhase::kTransfer) return 115200;
  return IsUsbModel(sim.config.row) ? 0 : 9600;
}

uint32_t SimWritingRequests(const PlcSim& sim) {
  uint32_t count = 0;
  for (SimKind kind : {SimKind::kErase, SimKind::kConfirm, SimKind::kBootErase, SimKind::kBootEot,
                       SimKind::kUpdate, SimKind::kFrame, SimKind::kEot}) {
    count += sim.counters.requests[static_cast<int>(kind)];
  }
  return count;
}

bool SimTransferOk(const PlcSim& sim) {
  // Frames are stored only in sequence and with a good CRC, so an image that
  // the tool closed with EOT is complete as far as the device can tell.
  return sim.transferDone;
}

}  // namespace plc
