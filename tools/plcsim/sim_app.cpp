// Application mode: Modbus ASCII requests and their replies, up to the
// erase that sends the PLC to its bootloader.
#include <cstring>

#include "sim_internal.h"
#include "state/models.h"

namespace plc {

namespace sim_detail {

namespace {

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case too: the tool must send upper-case hex
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

}  // namespace

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

}  // namespace sim_detail

}  // namespace plc
