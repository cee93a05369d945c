// Reply encoders: Modbus ASCII lines and bootloader bytes, as the plan
// leaves them, into the output ring.
#include <cstring>

#include "sim_internal.h"

namespace plc {

namespace sim_detail {

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

}  // namespace sim_detail

}  // namespace plc
