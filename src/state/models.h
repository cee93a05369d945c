// The PLC models: one row per model holding every fact that a
// model-dependent rule needs.  Code decides by the fields of the selected
// row, never by its name; a new model is a new row.
//
// Names are looked up exactly and case-sensitively: "LN" is never LN-P or
// LN30.  Only a name as a user types it is matched more loosely, once, to
// the row's own name.
#pragma once

#include <cstdint>
#include <string>

namespace plc {

// A name of up to 14 characters and its NUL.
inline constexpr int kPlcNameSize = 15;
// The largest block frame of any model: the transfer's buffers have this room.
inline constexpr uint16_t kMaxFrameBytes = 256;

// The link a model is reached by.
enum class ModelLink : uint8_t { kSerial, kUsb };

// Image size limit (an image longer than limit is refused with message).
struct SizeRule {
  uint32_t limit;
  const char* message;
};

// How many "ERASE" units the bootloader gets for the part of the image that
// is sent.
enum class EraseCount : uint8_t {
  kOneMore,  // sent / unitBytes + 1
  kRoundUp,  // sent / unitBytes, rounded up
  kFixed,    // fixedUnits, whatever the length
};
struct EraseRule {
  EraseCount count;
  uint32_t unitBytes;
  uint16_t fixedUnits;
};

// What follows an accepted erase/enter-boot command.
enum class ReconnectKind { kKeepOpen, kReplugUsb, kPowerCycle };
struct ReconnectRule {
  ReconnectKind kind;
  int pauseSeconds;
  const char* prompt;  // nullptr for kKeepOpen
};

// Models that report the same device type ID in application mode are told
// apart by a register: the row's model is on the line when the register's
// value is one of `values` (valueIn) or none of them (!valueIn).  A failed
// read gives 0.
enum class ModelRegister { kNone, kD1386, kD1148 };
struct RegisterTell {
  ModelRegister reg;
  bool valueIn;
  uint8_t valueCount;
  uint16_t values[2];
  const char* mismatch;  // shown when another model of the ID answers
};

// The bootloader version: whether it is read (before the erase in
// application mode, after it in boot mode), and the versions up to
// highestRefused that refuse the update.  knownVersion has its own text;
// every other refused version is "unknown".
struct VersionRule {
  bool read;
  bool gated;
  uint8_t highestRefused;
  uint8_t knownVersion;
  const char* knownRefusal;
};

// The device type IDs a row takes for its own, and how its bootloader
// reports them: some models also take a PLC that reports another ID (the
// ID-12 ones take 13), and serial bootloaders report the ID with bit 15
// cleared.
struct IdRule {
  bool takesOther;
  uint16_t other;
  bool bootClearsBit15;
};

struct PlcModel {
  char name[kPlcNameSize];
  ModelLink link;
  uint16_t id;          // device type ID
  uint16_t frameBytes;  // data bytes per block frame
  // Bytes at the end of the image that are never erased nor sent; an image
  // shorter than this is refused.
  uint32_t reservedTail;
  SizeRule size;
  EraseRule erase;
  bool eraseUnitOnce;  // one try per "ERASE" unit instead of the full budget
  bool silentErase;    // may fall silent at once when it takes the erase request
  bool aio;            // its own probe, ID and erase frames
  ReconnectRule reconnect;
  RegisterTell tell;
  VersionRule version;
  IdRule ids;
};

extern const PlcModel plcList[];
// The rows of plcList, counted from the table.
extern const int kPlcCount;

// Row whose name equals name exactly; -1 when none does (or name is null).
int PlcIndexByName(const char* name);
// Row of a name as a user types it: the exact name, else the only name that
// equals it when letter case is ignored ("lm4" is LM4); -1 otherwise.
int PlcIndexByTypedName(const char* name);
// The names nearest to a mistyped one ("LM4", "LP4 or LQ4"); "" when none is
// a typo away.
std::string NearestPlcNames(const char* typed);
// Name of a row; "" for an index outside the table.
const char* PlcName(int row);
// The row; for an index outside the table a row without a name whose rules are
// the serial defaults.
const PlcModel& ModelOf(int row);

// Link of a row (both false for an index outside the table).
bool IsUsbModel(int row);
bool IsSerialModel(int row);
bool IsAioModel(int row);
// True for the device type IDs whose bootloader version is read.
bool IsVersionReadId(uint16_t id);

SizeRule SizeRuleOf(int row);

// The row's device type ID as its bootloader reports it.
uint16_t BootReportedId(int row);
// True when a PLC that reports this ID is taken for the row's model: its ID
// (in boot mode as the bootloader reports it) or the other ID the row takes.
bool RowTakesId(int row, uint16_t reported, bool bootloader);

// The register that tells apart the models sharing this device type ID.
ModelRegister ModelCheckRegister(uint16_t id);
// The error text when the register value says another model than the row's
// answers, nullptr when it is the row's model (or the row needs no check).
const char* ModelCheckMismatch(int row, uint16_t registerValue);

// Bootloader-version gate: the refusal text, or nullptr when the version passes.
const char* VersionGateRefusal(int row, uint8_t version);

ReconnectRule ReconnectRuleOf(int row);

struct Message {
  const char* text;
  const char* caption;
};
Message SuccessMessageOf(int row);

}  // namespace plc
