// Faults the simulated PLC can be told to commit, and their text form.
//
// Grammar (one fault per text; fields separated by ':'):
//   silent:KIND[:SEL]            no reply
//   bad-lrc:KIND[:SEL]           Modbus reply with a wrong LRC
//   lower-hex:KIND[:SEL]         Modbus reply in lower-case hex
//   short:KIND[:SEL]             reply one character (byte) short
//   corrupt:KIND[:SEL]           one reply byte altered (a boot ACK becomes garbage)
//   refuse:KIND:CLASS:DETAIL[:SEL]  refusal: status 0x15 with class and detail (hex);
//                                in boot mode a lone NAK (0x15)
//   status:KIND:BYTE[:SEL]       Modbus reply with another status byte (hex)
//   wrong-id:KIND:ID[:SEL]       report this device type ID (hex); KIND id or boot-id
//   run-mode[:SEL]               the probe is refused with class 0x01 ("PLC in RUN MODE")
//   nak-frame[:SEL]              block frames answered with NAK
//   lost-ack[:SEL]               block frame stored but its ACK lost
//   corrupt-frame[:SEL]          block frame damaged on the line (fails its CRC, NAK)
//   lost-frame[:SEL]             block frame lost on the line (no reply, not stored)
//   silent-after-erase:K         the bootloader falls silent after erase unit K
//   no-boot                      the PLC never enters its bootloader
//   random:RATE[:KINDS]          random faults at RATE (0..1) per request; KINDS is
//                                a ','-list of kinds or "all" (default: frame,eot)
//   hostile                      every request is answered with random bytes
// KIND: wakeup probe id d1386 d1148 version erase confirm boot-id boot-version
//       boot-erase boot-eot update frame eot
// SEL selects by the request's number of that kind, counted from 1 over the
// whole session: N (only the N-th), N-M, N+ (N-th and later), * (every; the
// default).
#pragma once

#include <cstddef>
#include <cstdint>

enum class SimKind : uint8_t {
  kWakeUp,
  kProbe,
  kId,
  kD1386,
  kD1148,
  kVersion,
  kErase,
  kConfirm,
  kBootId,
  kBootVersion,
  kBootErase,
  kBootEot,
  kUpdate,
  kFrame,
  kEot,
};
inline constexpr int kSimKindCount = 15;

enum class SimFaultType : uint8_t {
  kSilent,
  kBadLrc,
  kLowerHex,
  kShort,
  kCorrupt,
  kRefuse,
  kStatus,
  kWrongId,
  kLostAck,
  kCorruptFrame,
  kLostFrame,
  kSilentAfterErase,
  kNoBoot,
  kRandom,
  kHostile,
};

struct SimFault {
  SimFaultType type = SimFaultType::kSilent;
  SimKind kind = SimKind::kProbe;
  uint32_t first = 1;  // selector: requests first..last of the kind
  uint32_t last = UINT32_MAX;
  uint8_t errClass = 0;     // kRefuse
  uint8_t errDetail = 0;    // kRefuse
  uint8_t status = 0;       // kStatus
  uint16_t id = 0;          // kWrongId
  uint32_t afterUnits = 0;  // kSilentAfterErase
  double rate = 0.0;        // kRandom
  uint32_t kindMask = 0;    // kRandom: bit per SimKind
};

// Parses one fault text.  On failure returns false and writes a reason into
// error (when given).
bool SimParseFault(const char* text, SimFault* fault, char* error, size_t errorSize);

const char* SimKindName(SimKind kind);
// Kind by its name; false when there is none.
bool SimKindByName(const char* name, size_t length, SimKind* kind);
bool SimFaultSelects(const SimFault& fault, uint32_t number);
