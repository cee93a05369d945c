// The reply plan: which faults in force, picked or drawn at random, shape
// the reply to one request.
#include "sim_internal.h"

namespace plc {

namespace sim_detail {

namespace {

double RandomUnit(PlcSim& sim) {
  return static_cast<double>(NextRandom(sim) >> 11) * (1.0 / 9007199254740992.0);
}

bool IsModbusKind(SimKind kind) {
  return kind <= SimKind::kConfirm;
}

}  // namespace

uint64_t NextRandom(PlcSim& sim) {
  // splitmix64: small, fast and the same on every platform for a seed.
  uint64_t z = (sim.rng += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool HasFault(const PlcSim& sim, SimFaultType type, const SimFault** found) {
  for (int i = 0; i < sim.config.faultCount; ++i) {
    if (sim.config.faults[i].type == type) {
      if (found) *found = &sim.config.faults[i];
      return true;
    }
  }
  return false;
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

}  // namespace sim_detail

}  // namespace plc
