// The 24 PLC models, their device type IDs, groups and per-model rules.
//
// Every model-dependent decision compares the name of a row with literal
// model names, exactly and case-sensitively: "LN" is never LN-P or LN30.
#pragma once

#include <cstdint>

inline constexpr int kPlcCount = 24;
inline constexpr int kPlcNameSize = 15;

extern const char plcList[kPlcCount][kPlcNameSize];
extern const uint16_t plcID[kPlcCount];

// Row whose name equals name exactly; -1 when none does (or name is null).
int PlcIndexByName(const char* name);
// Name of a row; "" for an index outside 0..23.
const char* PlcName(int row);

// Group membership of a row (false for an index outside 0..23).
bool IsUsbModel(int row);     // LN, LN-P, VM600, VM500, VM500-AIO, LN30, KT5, BRK-T, VM400, RV5-AIO
bool IsSerialModel(int row);  // the 14 others
bool IsAioModel(int row);     // 36RV4-AIO, VM500-AIO, RV5-AIO
bool IsVmGroup(int row);      // VM600, VM500, KT5, BRK-T, VM400
bool IsPowerCycleModel(int row);  // KT4-W, RV4-TRK
// True for the device type IDs whose bootloader version is read.
bool IsVersionReadId(uint16_t id);

// Image size limit (an image longer than limit is refused with message).
struct SizeRule {
  uint32_t limit;
  const char* message;
};
SizeRule SizeRuleOf(int row);

// Model check in application mode for the IDs that several models share.
// Returns the error text when the device's register value says it is not
// the selected row's model, nullptr when it is (or the ID needs no check).
// registerRead tells which register the check reads for this ID.
enum class ModelRegister { kNone, kD1386, kD1148 };
ModelRegister ModelCheckRegister(uint16_t id);
const char* ModelCheckMismatch(int row, uint16_t id, uint16_t registerValue);

// Bootloader-version gate: the refusal text, or nullptr when the version passes.
const char* VersionGateRefusal(int row, uint8_t version);

// What follows an accepted erase/enter-boot command.
enum class ReconnectKind { kKeepOpen, kReplugUsb, kPowerCycle };
struct ReconnectRule {
  ReconnectKind kind;
  int pauseSeconds;
  const char* prompt;  // nullptr for kKeepOpen
};
ReconnectRule ReconnectRuleOf(int row);

struct Message {
  const char* text;
  const char* caption;
};
Message SuccessMessageOf(int row);
