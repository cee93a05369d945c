#include "state/models.h"

#include <cstring>

const char plcList[kPlcCount][kPlcNameSize] = {
    "KT4-RV4", "LM4",   "LQ4",       "LP4",   "KT4-W", "LN",        "TW5",     "36RV4-AIO",
    "LQ",      "KT4-N", "LN-P",      "LP4-P", "VM600", "KT-RV-TW4", "RV4-TRK", "LP32",
    "KT4-G",   "VM500", "VM500-AIO", "LN30",  "KT5",   "BRK-T",     "VM400",   "RV5-AIO",
};

const uint16_t plcID[kPlcCount] = {
    0x000C, 0x000E, 0x000F, 0x0013, 0x000C, 0x0015, 0x0000, 0x000D, 0x0008, 0xA001, 0xA002, 0xA003,
    0x3000, 0x0003, 0xA006, 0x0013, 0x0017, 0x3010, 0x3010, 0x0015, 0x0020, 0xA00B, 0x3020, 0x0020,
};

namespace {

bool ValidRow(int row) {
  return row >= 0 && row < kPlcCount;
}

bool NameIs(int row, const char* name) {
  return ValidRow(row) && std::strcmp(plcList[row], name) == 0;
}

template <int N>
bool NameIn(int row, const char* const (&names)[N]) {
  for (const char* name : names) {
    if (NameIs(row, name)) return true;
  }
  return false;
}

const char* const kUsbModels[] = {"LN",   "LN-P", "VM600", "VM500", "VM500-AIO",
                                  "LN30", "KT5",  "BRK-T", "VM400", "RV5-AIO"};
const char* const kAioModels[] = {"36RV4-AIO", "VM500-AIO", "RV5-AIO"};
const char* const kVmGroup[] = {"VM600", "VM500", "KT5", "BRK-T", "VM400"};
const char* const kPowerCycleModels[] = {"KT4-W", "RV4-TRK"};
const char* const k512KModels[] = {"KT4-W", "RV4-TRK", "LP32"};
const char* const k896KModels[] = {"KT4-G", "LN30"};
const char* const kSmallAio[] = {"VM500-AIO", "RV5-AIO"};
const char* const kShortReplug[] = {"LN", "LN-P", "LN30"};

const char kReplugPrompt[] = "Please REPLUG the USB Cable, and then press OK to continue";
const char kPowerCyclePrompt[] = "Please POWER OFF=>ON the PLC, and then press OK to continue";

}  // namespace

int PlcIndexByName(const char* name) {
  if (name == nullptr) return -1;
  for (int row = 0; row < kPlcCount; ++row) {
    if (std::strcmp(plcList[row], name) == 0) return row;
  }
  return -1;
}

const char* PlcName(int row) {
  return ValidRow(row) ? plcList[row] : "";
}

bool IsUsbModel(int row) {
  return NameIn(row, kUsbModels);
}
bool IsSerialModel(int row) {
  return ValidRow(row) && !IsUsbModel(row);
}
bool IsAioModel(int row) {
  return NameIn(row, kAioModels);
}
bool IsVmGroup(int row) {
  return NameIn(row, kVmGroup);
}
bool IsPowerCycleModel(int row) {
  return NameIn(row, kPowerCycleModels);
}

bool IsVersionReadId(uint16_t id) {
  return id == 0x3000 || id == 0x3010 || id == 0x0020 || id == 0xA00B || id == 0x3020;
}

SizeRule SizeRuleOf(int row) {
  // Tested in this order, the last being the default.  The texts are fixed
  // and do not always state the compared limit (36RV4-AIO and the default).
  if (NameIn(row, k512KModels)) {
    return {0x80000, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 4)"};
  }
  if (NameIn(row, k896KModels)) {
    return {0xE0000, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 7)"};
  }
  if (NameIs(row, "36RV4-AIO")) {
    return {0x3000, "The file size EXCEEDS the MAXIMUM size (4 * 1024)"};
  }
  if (NameIn(row, kSmallAio)) {
    return {0xA000, "The file size EXCEEDS the MAXIMUM size (40 * 1024)"};
  }
  if (IsVmGroup(row)) {
    return {0x1FB000, "The file size EXCEEDS the MAXIMUM size (2028 * 1024)"};
  }
  return {0x78800, "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)"};
}

ModelRegister ModelCheckRegister(uint16_t id) {
  switch (id) {
    case 0x000C:
      return ModelRegister::kD1386;
    case 0x0013:
    case 0x0015:
      return ModelRegister::kD1148;
    default:
      return ModelRegister::kNone;
  }
}

const char* ModelCheckMismatch(int row, uint16_t id, uint16_t registerValue) {
  switch (id) {
    case 0x000C: {
      // A failed read gives 0, which counts as KT4-RV4.
      const bool deviceIsKt4W = registerValue == 0x4138 || registerValue == 0x4137;
      const char* device = deviceIsKt4W ? "KT4-W" : "KT4-RV4";
      return NameIs(row, device) ? nullptr : "Check PLC, KT4-RV4 is different than KT4-W";
    }
    case 0x0013:
      if (registerValue != 0) {
        return NameIs(row, "LP32") ? nullptr : "Check PLC, 16LP4 is different than 32LP4";
      }
      return NameIs(row, "LP4") ? nullptr : "Check PLC, 32LP4 is different than 16LP4";
    case 0x0015:
      if (registerValue != 0) {
        return NameIs(row, "LN30") ? nullptr : "Check PLC, 16LN is different than 30LN";
      }
      return NameIs(row, "LN") ? nullptr : "Check PLC, 30LN is different than 16LN";
    default:
      return nullptr;
  }
}

const char* VersionGateRefusal(int row, uint8_t version) {
  if (NameIs(row, "VM500-AIO") && version <= 0x0F) {
    return version == 0x09 ? "The bootloader version is V0.9, do not support AIO FW update"
                           : "The bootloader version is unknown, do not support AIO FW update";
  }
  if (NameIs(row, "RV5-AIO") && version <= 0x11) {
    return version == 0x10 ? "The bootloader version is V1.0, do not support AIO FW update"
                           : "The bootloader version is unknown, do not support AIO FW update";
  }
  return nullptr;
}

ReconnectRule ReconnectRuleOf(int row) {
  if (NameIn(row, kShortReplug)) return {ReconnectKind::kReplugUsb, 2, kReplugPrompt};
  if (IsUsbModel(row)) return {ReconnectKind::kReplugUsb, 5, kReplugPrompt};
  if (IsPowerCycleModel(row)) return {ReconnectKind::kPowerCycle, 2, kPowerCyclePrompt};
  return {ReconnectKind::kKeepOpen, 1, nullptr};
}

Message SuccessMessageOf(int row) {
  if (IsUsbModel(row)) {
    return {"Firmware update is SUCCESSFUL!, please REPLUG the USB cable", "Information"};
  }
  return {"Firmware update is SUCCESSFUL", "INFORMATION"};
}
