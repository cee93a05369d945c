// A simulated PLC: the device end of the link, for any of the 24 models.
//
// It is a byte-stream device.  SimFeed() consumes what the tool writes and
// queues the replies, which SimTakeOutput() hands out.  The caller tells it
// the line settings the tool applied (SimSetLine), when the tool opens the
// link anew (SimReconnect: a replug or a power cycle) and when the line has
// been quiet for a while (SimIdle: drops a half-received frame).  After a
// complete transfer the next reconnect starts the new program (application
// mode again), so one simulator serves burn after burn.
//
// Application mode speaks Modbus ASCII; the bootloader speaks plain commands
// ("ID", "VERSION", "ERASE", EOT, "UPDATE") and then takes block frames at
// 115200 baud.  Nothing is allocated after SimInit(): the received image has
// its room from the start, and input and output are fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "port/link.h"
#include "sim_fault.h"
#include "state/models.h"

namespace plc {

inline constexpr int kSimMaxFaults = 32;
// Room for the largest image any model accepts, plus the filler of one frame.
inline constexpr uint32_t kSimMaxImage = 0x1FB000 + 256;
inline constexpr uint32_t kSimOutputSize = 8192;
inline constexpr uint32_t kSimLineSize = 64;
// A frame whose rest does not follow within this quiet time is dropped.
inline constexpr uint32_t kSimInterFrameGapMs = 100;

struct SimConfig {
  int row = 17;         // model row (VM500)
  uint16_t appId = 0;   // ID reported in application mode
  uint16_t bootId = 0;  // ID reported by the bootloader
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

// Defaults for a model row: its device type ID in application mode, the same with
// bit 15 cleared from the bootloader of a serial model, registers 0.
SimConfig SimDefaultConfig(int row);
// Adds a fault in text form; false (with a reason) when it does not parse or
// the table is full.
bool SimAddFault(SimConfig& config, const char* text, char* error, size_t errorSize);

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

void SimInit(PlcSim& sim, const SimConfig& config);
void SimFeed(PlcSim& sim, const uint8_t* data, uint32_t count);
uint32_t SimOutputSize(const PlcSim& sim);
uint32_t SimTakeOutput(PlcSim& sim, uint8_t* buffer, uint32_t max);
// framingKnown: whether data bits and parity are real (false on a pty, which
// reports 8 bits and no parity whatever the tool asked for).
void SimSetLine(PlcSim& sim, const LineSettings& line, bool framingKnown);
void SimReconnect(PlcSim& sim);
void SimIdle(PlcSim& sim, uint32_t quietMs);
// A request or frame has begun but not ended (SimIdle would drop it).
bool SimHasPartialInput(const PlcSim& sim);

// The model table, tab-separated with a header line: one row per model with
// the facts a script needs (frame size, reserved tail, link, ...).
void SimPrintModelTable(std::FILE* out);
// Data size of a block frame for the model: 256 or 128.
uint32_t SimBlockSize(int row);
// Line speed the model listens at now; 0 when any speed will do.
uint32_t SimExpectedBaud(const PlcSim& sim);
// The tool closed the transfer with EOT.  Every stored frame passed its CRC
// and came in sequence (others are refused), so the image is then complete.
bool SimTransferOk(const PlcSim& sim);
// CRC-16/XMODEM, computed independently of the tool's own.
uint16_t SimCrc16(const uint8_t* data, uint32_t length);

}  // namespace plc
