// Faults the simulated PLC can be told to commit, and their text form.
//
// The grammar is kSimFaultGrammar, which plcsim --help prints.  A selector
// counts the requests of its kind from 1 over the whole session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plc {

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

// Parses one fault text.  On failure returns false with the reason in why
// (when given).
bool SimParseFault(const char* text, SimFault* fault, std::string* why);

// The text form of the faults, one per line with what each does.
extern const char kSimFaultGrammar[];

const char* SimKindName(SimKind kind);
// Kind by its name; false when there is none.
bool SimKindByName(const char* name, size_t length, SimKind* kind);
bool SimFaultSelects(const SimFault& fault, uint32_t number);

}  // namespace plc
