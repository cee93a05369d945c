// The transfer: block frames after "UPDATE", checked and stored in
// sequence, and the closing EOT.
#include <cstring>

#include "sim_device.h"
#include "sim_internal.h"
#include "state/models.h"

namespace plc {

namespace sim_detail {

namespace {

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

}  // namespace

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

}  // namespace sim_detail

uint32_t SimBlockSize(int row) {
  return ModelOf(row).frameBytes;
}

}  // namespace plc
