// Boot mode: the bootloader's plain commands ("ID", "VERSION", "ERASE",
// EOT, "UPDATE").
#include <cstring>

#include "sim_internal.h"

namespace plc {

namespace sim_detail {

namespace {

const char* const kCommands[] = {"ID", "VERSION", "ERASE", "UPDATE"};

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
  for (const char* c : kCommands) {
    if (std::strlen(c) >= len && std::strncmp(c, buf, len) == 0) return true;
  }
  return false;
}

}  // namespace

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
  for (const char* c : kCommands) {
    if (std::strcmp(c, sim.cmdBuf) == 0) {
      sim.cmdLen = 0;
      HandleBootCommand(sim, c);
      return;
    }
  }
}

}  // namespace sim_detail

}  // namespace plc
