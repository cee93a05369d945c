#include "sim_device.h"

#include <cstring>

#include "state/models.h"

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

// What the faults in force make of one reply.
struct ReplyPlan {
  bool silent = false;
  bool badLrc = false;
  bool lowerHex = false;
  bool shortReply = false;
  bool corrupt = false;
  bool refuse = false;
  uint8_t errClass = 0;
  uint8_t errDetail = 0;
  bool statusSet = false;
  uint8_t status = 0;
  bool idSet = false;
  uint16_t id = 0;
  bool lostAck = false;
  bool corruptFrame = false;
  bool lostFrame = false;
};

uint64_t NextRandom(PlcSim& sim) {
  // splitmix64: small, fast and the same on every platform for a seed.
  uint64_t z = (sim.rng += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double RandomUnit(PlcSim& sim) {
  return static_cast<double>(NextRandom(sim) >> 11) * (1.0 / 9007199254740992.0);
}

bool HasFault(const PlcSim& sim, SimFaultType type, const SimFault** found = nullptr) {
  for (int i = 0; i < sim.config.faultCount; ++i) {
    if (sim.config.faults[i].type == type) {
      if (found) *found = &sim.config.faults[i];
      return true;
    }
  }
  return false;
}

bool IsModbusKind(SimKind kind) {
  return kind <= SimKind::kConfirm;
}

// Counts the request and collects the faults that select it.
ReplyPlan PlanFor(PlcSim& sim, SimKind kind) {
  uint32_t number = ++sim.counters.requests[static_cast<int>(kind)];
  ReplyPlan plan;
  for (int i = 0; i < sim.config.faultCount; ++i) {
    const SimFault& f = sim.config.faults[i];
    if (f.type == SimFaultType::kRandom) {
      if ((f.kindMask & (1u << static_cast<int>(kind))) == 0) continue;
      if (RandomUnit(sim) >= f.rate) continue;
      uint64_t pick = NextRandom(sim);
      if (kind == SimKind::kFrame) {
        switch (pick % 4) {
          case 0:
            plan.corruptFrame = true;
            break;
          case 1:
            plan.lostFrame = true;
            break;
          case 2:
            plan.lostAck = true;
            break;
          default:
            plan.corrupt = true;
            break;
        }
      } else if (IsModbusKind(kind)) {
        switch (pick % 4) {
          case 0:
            plan.silent = true;
            break;
          case 1:
            plan.badLrc = true;
            break;
          case 2:
            plan.shortReply = true;
            break;
          default:
            plan.corrupt = true;
            break;
        }
      } else {
        switch (pick % 3) {
          case 0:
            plan.silent = true;
            break;
          case 1:
            plan.lostAck = true;
            break;
          default:
            plan.corrupt = true;
            break;
        }
      }
      continue;
    }
    if (f.kind != kind || !SimFaultSelects(f, number)) continue;
    switch (f.type) {
      case SimFaultType::kSilent:
        plan.silent = true;
        break;
      case SimFaultType::kBadLrc:
        plan.badLrc = true;
        break;
      case SimFaultType::kLowerHex:
        plan.lowerHex = true;
        break;
      case SimFaultType::kShort:
        plan.shortReply = true;
        break;
      case SimFaultType::kCorrupt:
        plan.corrupt = true;
        break;
      case SimFaultType::kRefuse:
        plan.refuse = true;
        plan.errClass = f.errClass;
        plan.errDetail = f.errDetail;
        break;
      case SimFaultType::kStatus:
        plan.statusSet = true;
        plan.status = f.status;
        break;
      case SimFaultType::kWrongId:
        plan.idSet = true;
        plan.id = f.id;
        break;
      case SimFaultType::kLostAck:
        plan.lostAck = true;
        break;
      case SimFaultType::kCorruptFrame:
        plan.corruptFrame = true;
        break;
      case SimFaultType::kLostFrame:
        plan.lostFrame = true;
        break;
      default:
        break;
    }
  }
  return plan;
}

void Push(PlcSim& sim, const uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (sim.outCount == kSimOutputSize) {
      sim.counters.outputOverflow += count - i;
      return;
    }
    sim.out[(sim.outHead + sim.outCount) % kSimOutputSize] = data[i];
    ++sim.outCount;
  }
}

// Queues a Modbus ASCII reply: ':' + hex of the bytes + LRC + CR LF.
void QueueModbus(PlcSim& sim, const uint8_t* bytes, uint32_t count, const ReplyPlan& plan) {
  const char* digits = plan.lowerHex ? "0123456789abcdef" : "0123456789ABCDEF";
  uint8_t text[kSimLineSize] = {};
  uint32_t n = 0;
  text[n++] = ':';
  unsigned sum = 0;
  for (uint32_t i = 0; i < count && n + 6 < sizeof text; ++i) {
    text[n++] = static_cast<uint8_t>(digits[bytes[i] >> 4]);
    text[n++] = static_cast<uint8_t>(digits[bytes[i] & 0x0F]);
    sum += bytes[i];
  }
  uint8_t lrc = static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
  if (plan.badLrc) lrc = static_cast<uint8_t>(lrc + 1);
  text[n++] = static_cast<uint8_t>(digits[lrc >> 4]);
  text[n++] = static_cast<uint8_t>(digits[lrc & 0x0F]);
  text[n++] = '\r';
  text[n++] = '\n';
  // Damage the low digit of the status byte: still hex, so only the LRC tells.
  if (plan.corrupt && n > 11) text[10] = text[10] == '0' ? '1' : '0';
  if (plan.shortReply) --n;
  Push(sim, text, n);
}

// Queues a bootloader reply of raw bytes, ACK first.
void QueueBoot(PlcSim& sim, const uint8_t* bytes, uint32_t count, const ReplyPlan& plan) {
  if (plan.silent || plan.lostAck) return;
  uint8_t reply[3] = {};
  uint32_t n = count < 3 ? count : 3;
  std::memcpy(reply, bytes, n);
  if (plan.refuse) {
    reply[0] = kNak;
    n = 1;
  }
  if (plan.corrupt) reply[0] = 0x55;
  if (plan.shortReply) --n;
  Push(sim, reply, n);
}

void QueueAck(PlcSim& sim, const ReplyPlan& plan) {
  uint8_t ack = kAck;
  QueueBoot(sim, &ack, 1, plan);
}

void EnterBoot(PlcSim& sim) {
  sim.mode = SimMode::kBoot;
  sim.phase = SimBootPhase::kCommands;
  sim.bootAtReconnect = false;
  sim.eraseAccepted = false;
}

void ResetInput(PlcSim& sim) {
  sim.inLine = false;
  sim.lineLen = 0;
  sim.cmdLen = 0;
  sim.inFrame = false;
  sim.frameLen = 0;
}

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case too: the tool must send upper-case hex
}

// Reply of a function-0x64 request: 7 bytes before the LRC.
void Reply64(PlcSim& sim, uint8_t sub, uint8_t status, uint8_t b5, uint8_t b6,
             const ReplyPlan& plan) {
  if (plan.silent) return;
  uint8_t bytes[7] = {0x00, 0x64, 0x01, sub, status, b5, b6};
  if (plan.statusSet) bytes[4] = plan.status;
  if (plan.refuse) {
    bytes[4] = kNak;
    bytes[5] = plan.errClass;
    bytes[6] = plan.errDetail;
  }
  QueueModbus(sim, bytes, 7, plan);
}

void HandleModbus(PlcSim& sim, const uint8_t* b, uint32_t n) {
  // b: decoded bytes without the LRC.
  const int row = sim.config.row;
  const uint8_t variant = IsAioModel(row) ? 0x5B : 0x59;
  const bool app = sim.mode == SimMode::kApplication;
  if (n < 2 || b[0] != 0x00) {
    ++sim.counters.badRequests;
    return;
  }
  if (b[1] == 0x7F && n == 2) {
    ReplyPlan plan = PlanFor(sim, SimKind::kWakeUp);
    if (!sim.config.answerWakeUp || plan.silent) return;
    const uint8_t bytes[3] = {0x00, 0x7F, 0x00};
    QueueModbus(sim, bytes, 3, plan);
    return;
  }
  if (b[1] == 0x64 && n >= 5 && b[2] == 0x01) {
    const uint8_t sub = b[3];
    const uint8_t* cmd = b + 4;
    const uint32_t len = n - 4;
    if (len == 1 && cmd[0] == 0x01 && sub == variant) {
      ReplyPlan plan = PlanFor(sim, SimKind::kProbe);
      Reply64(sim, sub, app ? 0x05 : 0x06, 0, 0, plan);
      return;
    }
    if (app && len == 2 && cmd[0] == 'I' && cmd[1] == 'D' && sub == variant) {
      ReplyPlan plan = PlanFor(sim, SimKind::kId);
      uint16_t id = plan.idSet ? plan.id : sim.config.appId;
      Reply64(sim, sub, kAck, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), plan);
      return;
    }
    if (app && len == 1 && cmd[0] == 0x05 && sub == 0x59) {
      ReplyPlan plan = PlanFor(sim, SimKind::kVersion);
      Reply64(sim, sub, sim.config.version, 0, 0, plan);
      return;
    }
    if (app && len == 5 && std::memcmp(cmd, "ERASE", 5) == 0 && sub == variant) {
      ReplyPlan plan = PlanFor(sim, SimKind::kErase);
      if (plan.silent) return;
      const bool shaped = plan.refuse || plan.statusSet || plan.badLrc || plan.corrupt ||
                          plan.lowerHex || plan.shortReply;
      const bool silentErase = ModelOf(row).silentErase;
      if (silentErase && !shaped) {
        // These PLCs say nothing; the bootloader comes up at the power cycle.
        if (!HasFault(sim, SimFaultType::kNoBoot)) sim.bootAtReconnect = true;
        return;
      }
      if (silentErase) {
        // A fault makes it answer after all: it has not taken the command.
        Reply64(sim, sub, kAck, 0, 0, plan);
        return;
      }
      if (!plan.refuse && !plan.statusSet) sim.eraseAccepted = true;
      Reply64(sim, sub, kAck, 0, 0, plan);
      return;
    }
    if (app && len == 1 && cmd[0] == 0x06 && sub == variant) {
      ReplyPlan plan = PlanFor(sim, SimKind::kConfirm);
      if (plan.silent || !sim.eraseAccepted) return;
      sim.eraseAccepted = false;
      if (HasFault(sim, SimFaultType::kNoBoot)) return;
      if (IsUsbModel(row)) {
        sim.bootAtReconnect = true;  // comes up when the cable is plugged in again
      } else {
        EnterBoot(sim);
      }
      return;
    }
  }
  if (app && b[1] == 0x03 && n == 6 && b[4] == 0x00 && b[5] == 0x01) {
    const uint16_t address = static_cast<uint16_t>(b[2] << 8 | b[3]);
    if (address == 0x156A || address == 0x147C) {
      const bool d1386 = address == 0x156A;
      ReplyPlan plan = PlanFor(sim, d1386 ? SimKind::kD1386 : SimKind::kD1148);
      if (plan.silent) return;
      const uint16_t value = d1386 ? sim.config.d1386 : sim.config.d1148;
      if (plan.refuse) {
        // Modbus exception reply: function with bit 7 set, then the code.
        const uint8_t bytes[3] = {0x00, 0x83, plan.errClass};
        QueueModbus(sim, bytes, 3, plan);
        return;
      }
      const uint8_t bytes[5] = {0x00, 0x03, 0x02, static_cast<uint8_t>(value >> 8),
                                static_cast<uint8_t>(value)};
      QueueModbus(sim, bytes, 5, plan);
      return;
    }
  }
  ++sim.counters.badRequests;
}

void ProcessLine(PlcSim& sim) {
  // lineBuf holds what came between ':' and LF; it must end in CR.
  uint32_t len = sim.lineLen;
  if (len < 7 || sim.lineBuf[len - 1] != '\r' || (len - 1) % 2 != 0) {
    ++sim.counters.badRequests;
    return;
  }
  uint8_t bytes[kSimLineSize / 2] = {};
  uint32_t n = 0;
  unsigned sum = 0;
  for (uint32_t i = 0; i + 1 < len; i += 2) {
    int hi = HexValue(sim.lineBuf[i]);
    int lo = HexValue(sim.lineBuf[i + 1]);
    if (hi < 0 || lo < 0) {
      ++sim.counters.badRequests;
      return;
    }
    bytes[n] = static_cast<uint8_t>(hi * 16 + lo);
    sum += bytes[n++];
  }
  if ((sum & 0xFF) != 0) {
    ++sim.counters.badRequests;
    return;
  }
  HandleModbus(sim, bytes, n - 1);
}

void HandleBootCommand(PlcSim& sim, const char* cmd) {
  if (std::strcmp(cmd, "ID") == 0) {
    ReplyPlan plan = PlanFor(sim, SimKind::kBootId);
    uint16_t id = plan.idSet ? plan.id : sim.config.bootId;
    const uint8_t reply[3] = {kAck, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
    QueueBoot(sim, reply, 3, plan);
  } else if (std::strcmp(cmd, "VERSION") == 0) {
    ReplyPlan plan = PlanFor(sim, SimKind::kBootVersion);
    // The tool reads (b1 * 16 + b2 / 16) mod 256: the version's high nibble
    // goes in the low nibble of b1, its low nibble in the high nibble of b2.
    const uint8_t v = sim.config.version;
    const uint8_t reply[3] = {kAck, static_cast<uint8_t>(v >> 4),
                              static_cast<uint8_t>((v & 0x0F) << 4)};
    QueueBoot(sim, reply, 3, plan);
  } else if (std::strcmp(cmd, "ERASE") == 0) {
    ReplyPlan plan = PlanFor(sim, SimKind::kBootErase);
    if (plan.silent) return;
    const SimFault* f = nullptr;
    if (HasFault(sim, SimFaultType::kSilentAfterErase, &f) &&
        sim.counters.eraseUnits >= f->afterUnits) {
      sim.silenced = true;
      return;
    }
    if (!plan.refuse) ++sim.counters.eraseUnits;
    QueueAck(sim, plan);
  } else if (std::strcmp(cmd, "UPDATE") == 0) {
    ReplyPlan plan = PlanFor(sim, SimKind::kUpdate);
    if (plan.silent) return;
    if (!plan.refuse) {
      sim.phase = SimBootPhase::kTransfer;
      sim.nextBlock = 1;
      sim.imageLength = 0;
      sim.transferDone = false;
    }
    QueueAck(sim, plan);
  }
}

bool IsCommandPrefix(const char* buf, uint32_t len) {
  static const char* const kCommands[] = {"ID", "VERSION", "ERASE", "UPDATE"};
  for (const char* c : kCommands) {
    if (std::strlen(c) >= len && std::strncmp(c, buf, len) == 0) return true;
  }
  return false;
}

void FeedByte(PlcSim& sim, uint8_t byte);

void BootCommandByte(PlcSim& sim, uint8_t byte) {
  if (sim.cmdLen == 0 && byte == kEot) {
    ReplyPlan plan = PlanFor(sim, SimKind::kBootEot);
    QueueAck(sim, plan);
    return;
  }
  const uint32_t had = sim.cmdLen;
  sim.cmdBuf[sim.cmdLen++] = static_cast<char>(byte);
  sim.cmdBuf[sim.cmdLen] = '\0';
  if (!IsCommandPrefix(sim.cmdBuf, sim.cmdLen)) {
    // Out of step: drop what came so far; the byte itself may start anew
    // (a command, EOT or a Modbus frame).
    sim.cmdLen = 0;
    if (had == 0) {
      ++sim.counters.garbageBytes;
      return;
    }
    sim.counters.garbageBytes += had;
    FeedByte(sim, byte);
    return;
  }
  static const char* const kCommands[] = {"ID", "VERSION", "ERASE", "UPDATE"};
  for (const char* c : kCommands) {
    if (std::strcmp(c, sim.cmdBuf) == 0) {
      sim.cmdLen = 0;
      HandleBootCommand(sim, c);
      return;
    }
  }
}

void HandleFrame(PlcSim& sim) {
  const uint32_t size = SimBlockSize(sim.config.row);
  ++sim.counters.frames;
  ReplyPlan plan = PlanFor(sim, SimKind::kFrame);
  if (plan.silent || plan.lostFrame) return;
  uint8_t* f = sim.frameBuf;
  if (plan.corruptFrame) f[3 + NextRandom(sim) % size] ^= 0x10;
  const uint8_t block = f[1];
  const uint16_t crc = static_cast<uint16_t>(f[3 + size] << 8 | f[4 + size]);
  bool good = f[2] == static_cast<uint8_t>(255 - block);
  if (good && SimCrc16(f + 3, size) != crc) {
    ++sim.counters.crcErrors;
    good = false;
  }
  uint8_t reply = kAck;
  if (!good || plan.refuse) {
    reply = kNak;
  } else if (block == sim.nextBlock && sim.imageLength + size <= kSimMaxImage) {
    std::memcpy(sim.image.data() + sim.imageLength, f + 3, size);
    sim.imageLength += size;
    ++sim.counters.framesStored;
    sim.nextBlock = static_cast<uint8_t>(sim.nextBlock + 1);
  } else if (sim.counters.framesStored > 0 && block == static_cast<uint8_t>(sim.nextBlock - 1)) {
    ++sim.counters.duplicates;  // our ACK was lost: acknowledge again, keep one copy
  } else {
    ++sim.counters.sequenceErrors;
    reply = kNak;
  }
  if (reply == kNak) {
    ++sim.counters.naks;
    const uint8_t nak = kNak;
    Push(sim, &nak, 1);
    return;
  }
  if (plan.lostAck) return;
  if (plan.corrupt) reply = 0x55;
  Push(sim, &reply, 1);
}

void TransferByte(PlcSim& sim, uint8_t byte) {
  if (sim.inFrame) {
    sim.frameBuf[sim.frameLen++] = byte;
    if (sim.frameLen == SimBlockSize(sim.config.row) + 5) {
      sim.inFrame = false;
      HandleFrame(sim);
    }
    return;
  }
  if (byte == kStx) {
    sim.inFrame = true;
    sim.frameBuf[0] = byte;
    sim.frameLen = 1;
    return;
  }
  if (byte == kEot) {
    ReplyPlan plan = PlanFor(sim, SimKind::kEot);
    if (plan.silent) return;
    if (!plan.refuse && !sim.transferDone) {
      sim.transferDone = true;
      ++sim.finishedTransfers;
    }
    const uint32_t before = sim.outCount;
    QueueAck(sim, plan);
    if (sim.outCount > before && !plan.corrupt && !plan.refuse) ++sim.finalAcks;
    return;
  }
  ++sim.counters.garbageBytes;
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

SimConfig SimDefaultConfig(int row) {
  SimConfig config;
  config.row = row >= 0 && row < kPlcCount ? row : 17;
  const uint16_t id = plcList[config.row].id;
  config.appId = id;
  // The bootloader of a serial model reports its ID without bit 15.
  config.bootId = IsSerialModel(config.row) ? static_cast<uint16_t>(id & 0x7FFF) : id;
  return config;
}

bool SimAddFault(SimConfig& config, const char* text, char* error, size_t errorSize) {
  SimFault fault;
  if (!SimParseFault(text, &fault, error, errorSize)) return false;
  if (config.faultCount >= kSimMaxFaults) {
    if (error && errorSize > 0) std::strncpy(error, "too many faults", errorSize - 1);
    return false;
  }
  config.faults[config.faultCount++] = fault;
  return true;
}

void SimInit(PlcSim& sim, const SimConfig& config) {
  std::vector<uint8_t> image = std::move(sim.image);
  sim = PlcSim{};
  sim.config = config;
  if (sim.config.row < 0 || sim.config.row >= kPlcCount) sim.config.row = 17;
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

void SimIdle(PlcSim& sim, uint32_t quietMs) {
  if (quietMs < kSimInterFrameGapMs) return;
  if (sim.inFrame) ++sim.counters.droppedFrames;
  if (sim.inLine) ++sim.counters.badRequests;
  ResetInput(sim);
}

bool SimHasPartialInput(const PlcSim& sim) {
  return sim.inLine || sim.cmdLen > 0 || sim.inFrame;
}

uint32_t SimBlockSize(int row) {
  return ModelOf(row).frameBytes;
}

uint32_t SimExpectedBaud(const PlcSim& sim) {
  if (sim.mode == SimMode::kBoot && sim.phase == SimBootPhase::kTransfer) return 115200;
  return IsUsbModel(sim.config.row) ? 0 : 9600;
}

bool SimTransferOk(const PlcSim& sim) {
  // Frames are stored only in sequence and with a good CRC, so an image that
  // the tool closed with EOT is complete as far as the device can tell.
  return sim.transferDone;
}
