// The state of a simulated PLC and of its configuration: what the device,
// its modes and the simulator program all read.
#pragma once

#include <cstdint>
#include <vector>

#include "port/link.h"
#include "sim_fault.h"
#include "state/image.h"
#include "state/models.h"

namespace plc {

inline constexpr int kSimMaxFaults = 32;
// Room for the largest image any model accepts, plus the filler of one frame.
inline constexpr uint32_t kSimMaxImage = 0x1FB000 + 256;
inline constexpr uint32_t kSimOutputSize = 8192;
inline constexpr uint32_t kSimLineSize = 64;
// A frame whose rest does not follow within this quiet time is dropped.
inline constexpr uint32_t kSimInterFrameGapMs = 100;

// The model a simulator is when nothing else is asked: the one the built-in
// image is made for, as plcfw burns it by default (the first row for an
// image that names no model).
inline int SimDefaultRow() {
  const int row = EmbeddedImageRow();
  return row >= 0 ? row : 0;
}

struct SimConfig {
  int row = SimDefaultRow();  // model row
  uint16_t appId = 0;         // ID reported in application mode
  uint16_t bootId = 0;        // ID reported by the bootloader
  uint16_t d1386 = 0;
  uint16_t d1148 = 0;
  uint8_t version = 0x10;    // version byte (application and boot mode)
  bool answerWakeUp = true;  // 11-character answer to wake-up frames
  bool startInBoot = false;  // power up in the bootloader
  bool checkFraming = true;  // data bits and parity are known (not on a pty)
  uint64_t seed = 1;
  int faultCount = 0;
  SimFault faults[kSimMaxFaults];
};

enum class SimMode : uint8_t { kApplication, kBoot };
enum class SimBootPhase : uint8_t { kCommands, kTransfer };

struct SimCounters {
  uint32_t requests[kSimKindCount] = {};  // recognised requests by kind
  uint32_t frames = 0;                    // block frames received (resends included)
  uint32_t framesStored = 0;
  uint32_t duplicates = 0;  // repeats of the last acknowledged block
  uint32_t naks = 0;        // NAKs sent for block frames
  uint32_t crcErrors = 0;
  uint32_t sequenceErrors = 0;  // frames with an unexpected block number
  uint32_t eraseUnits = 0;      // "ERASE" acknowledged
  uint32_t badRequests = 0;     // frames with a bad LRC, bad hex or unknown content
  uint32_t garbageBytes = 0;    // bytes dropped: wrong speed or no frame
  uint32_t droppedFrames = 0;   // frames cut off by a quiet line
  uint32_t outputOverflow = 0;  // reply bytes lost because nobody read
  uint32_t reconnects = 0;
};

struct PlcSim {
  SimConfig config;
  SimMode mode = SimMode::kApplication;
  SimBootPhase phase = SimBootPhase::kCommands;
  bool bootAtReconnect = false;  // erase accepted; bootloader starts at the next open
  bool eraseAccepted = false;    // application-mode erase request answered
  bool silenced = false;         // silent-after-erase reached
  bool transferDone = false;     // final EOT acknowledged
  uint32_t finishedTransfers = 0;
  uint32_t finalAcks = 0;  // ACKs sent for the final EOT (resends included)
  uint8_t nextBlock = 1;
  LineSettings line{};
  bool lineKnown = false;
  bool framingKnown = false;

  // Input assembly.
  uint8_t lineBuf[kSimLineSize] = {};  // Modbus line after ':'
  uint32_t lineLen = 0;
  bool inLine = false;
  char cmdBuf[8] = {};  // boot command letters so far
  uint32_t cmdLen = 0;
  uint8_t frameBuf[kMaxFrameBytes + 5] = {};  // STX, number, complement, data, CRC
  uint32_t frameLen = 0;
  bool inFrame = false;

  // Output queue (ring).
  uint8_t out[kSimOutputSize] = {};
  uint32_t outHead = 0;
  uint32_t outCount = 0;

  std::vector<uint8_t> image;  // sized kSimMaxImage at SimInit
  uint32_t imageLength = 0;    // bytes received in stored frames (filler included)
  uint64_t rng = 0;
  SimCounters counters;
};

}  // namespace plc
