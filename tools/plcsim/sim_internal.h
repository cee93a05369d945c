// The parts of the simulated PLC that its files share: the reply plan that
// the faults make, the reply encoders, and the per-mode input handlers.
// Internal to the simulator.
#pragma once

#include <cstdint>

#include "sim_state.h"

namespace plc {

namespace sim_detail {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;

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

// The random plan (sim_plan.cpp).
uint64_t NextRandom(PlcSim& sim);
bool HasFault(const PlcSim& sim, SimFaultType type, const SimFault** found = nullptr);
// Counts the request and collects the faults that select it.
ReplyPlan PlanFor(PlcSim& sim, SimKind kind);

// Reply encoders (sim_reply.cpp): they queue what the plan leaves of a reply.
void Push(PlcSim& sim, const uint8_t* data, uint32_t count);
void QueueModbus(PlcSim& sim, const uint8_t* bytes, uint32_t count, const ReplyPlan& plan);
void QueueBoot(PlcSim& sim, const uint8_t* bytes, uint32_t count, const ReplyPlan& plan);
void QueueAck(PlcSim& sim, const ReplyPlan& plan);
void Reply64(PlcSim& sim, uint8_t sub, uint8_t status, uint8_t b5, uint8_t b6,
             const ReplyPlan& plan);

// Application mode (sim_app.cpp): a whole Modbus line between ':' and LF.
void ProcessLine(PlcSim& sim);
// Boot mode (sim_boot.cpp): a byte of a bootloader command or EOT.
void BootCommandByte(PlcSim& sim, uint8_t byte);
// The transfer (sim_transfer.cpp): a byte after "UPDATE".
void TransferByte(PlcSim& sim, uint8_t byte);

// The device (sim_device.cpp).
void EnterBoot(PlcSim& sim);
// One byte of input, routed by mode; a byte that ends a command out of step
// comes back here to start anew.
void FeedByte(PlcSim& sim, uint8_t byte);

}  // namespace sim_detail

}  // namespace plc
