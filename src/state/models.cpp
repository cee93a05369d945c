#include "state/models.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr ModelLink kSer = ModelLink::kSerial;
constexpr ModelLink kUsb = ModelLink::kUsb;

// The size texts are fixed and do not always state the compared limit
// (36RV4-AIO and the default).
constexpr SizeRule kSizeDefault{0x78800, "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)"};
constexpr SizeRule kSize512K{0x80000, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 4)"};
constexpr SizeRule kSize896K{0xE0000, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 7)"};
constexpr SizeRule kSize36Aio{0x3000, "The file size EXCEEDS the MAXIMUM size (4 * 1024)"};
constexpr SizeRule kSizeSmallAio{0xA000, "The file size EXCEEDS the MAXIMUM size (40 * 1024)"};
constexpr SizeRule kSizeVm{0x1FB000, "The file size EXCEEDS the MAXIMUM size (2028 * 1024)"};

constexpr EraseRule kErase2K{EraseCount::kOneMore, 2048, 0};
constexpr EraseRule kErase16K{EraseCount::kOneMore, 16384, 0};
constexpr EraseRule kErase128K{EraseCount::kOneMore, 131072, 0};
constexpr EraseRule kErase2KUp{EraseCount::kRoundUp, 2048, 0};
constexpr EraseRule kErase4KUp{EraseCount::kRoundUp, 4096, 0};
constexpr EraseRule kEraseFour{EraseCount::kFixed, 0, 4};

// The VM group keeps the last 4,096 bytes of its image.
constexpr uint32_t kVmTail = 4096;

constexpr char kReplugPrompt[] = "Please REPLUG the USB Cable, and then press OK to continue";
constexpr char kPowerCyclePrompt[] = "Please POWER OFF=>ON the PLC, and then press OK to continue";
constexpr ReconnectRule kKeepOpen{ReconnectKind::kKeepOpen, 1, nullptr};
constexpr ReconnectRule kReplug2{ReconnectKind::kReplugUsb, 2, kReplugPrompt};
constexpr ReconnectRule kReplug5{ReconnectKind::kReplugUsb, 5, kReplugPrompt};
constexpr ReconnectRule kPowerCycle{ReconnectKind::kPowerCycle, 2, kPowerCyclePrompt};

constexpr char kKtMismatch[] = "Check PLC, KT4-RV4 is different than KT4-W";
constexpr RegisterTell kNoTell{ModelRegister::kNone, false, 0, {0, 0}, nullptr};
constexpr RegisterTell kTellKt4Rv4{ModelRegister::kD1386, false, 2, {0x4138, 0x4137}, kKtMismatch};
constexpr RegisterTell kTellKt4W{ModelRegister::kD1386, true, 2, {0x4138, 0x4137}, kKtMismatch};
constexpr RegisterTell kTellLp4{
    ModelRegister::kD1148, true, 1, {0, 0}, "Check PLC, 16LP4 is different than 32LP4"};
constexpr RegisterTell kTellLp32{
    ModelRegister::kD1148, false, 1, {0, 0}, "Check PLC, 32LP4 is different than 16LP4"};
constexpr RegisterTell kTellLn{
    ModelRegister::kD1148, true, 1, {0, 0}, "Check PLC, 16LN is different than 30LN"};
constexpr RegisterTell kTellLn30{
    ModelRegister::kD1148, false, 1, {0, 0}, "Check PLC, 30LN is different than 16LN"};

constexpr char kUnknownVersion[] =
    "The bootloader version is unknown, do not support AIO FW update";
constexpr VersionRule kNoVersion{false, false, 0, 0, nullptr};
constexpr VersionRule kReadVersion{true, false, 0, 0, nullptr};
constexpr VersionRule kGateV09{true, true, 0x0F, 0x09,
                               "The bootloader version is V0.9, do not support AIO FW update"};
constexpr VersionRule kGateV10{true, true, 0x11, 0x10,
                               "The bootloader version is V1.0, do not support AIO FW update"};

// What an index outside the table gets: the serial defaults, no name.
constexpr PlcModel kNoModel{"",    0,   kSer,  false,     kSizeDefault, 0,         kErase2K,
                            false, 128, false, kKeepOpen, kNoTell,      kNoVersion};

}  // namespace

const PlcModel plcList[kPlcCount] = {
    // clang-format off
    // name        id      link  aio    size           tail     erase       unit1  frame silent reconnect    tell         version
    {"KT4-RV4",   0x000C, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kTellKt4Rv4, kNoVersion},
    {"LM4",       0x000E, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"LQ4",       0x000F, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"LP4",       0x0013, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kTellLp4,    kNoVersion},
    {"KT4-W",     0x000C, kSer, false, kSize512K,     0,       kErase128K, false, 128, true,  kPowerCycle, kTellKt4W,   kNoVersion},
    {"LN",        0x0015, kUsb, false, kSizeDefault,  0,       kErase16K,  false, 256, false, kReplug2,    kTellLn,     kNoVersion},
    {"TW5",       0x0000, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"36RV4-AIO", 0x000D, kSer, true,  kSize36Aio,    0,       kEraseFour, false, 256, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"LQ",        0x0008, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"KT4-N",     0xA001, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"LN-P",      0xA002, kUsb, false, kSizeDefault,  0,       kErase16K,  false, 256, false, kReplug2,    kNoTell,     kNoVersion},
    {"LP4-P",     0xA003, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"VM600",     0x3000, kUsb, false, kSizeVm,       kVmTail, kErase4KUp, true,  256, false, kReplug5,    kNoTell,     kReadVersion},
    {"KT-RV-TW4", 0x0003, kSer, false, kSizeDefault,  0,       kErase2K,   false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"RV4-TRK",   0xA006, kSer, false, kSize512K,     0,       kErase128K, false, 128, true,  kPowerCycle, kNoTell,     kNoVersion},
    {"LP32",      0x0013, kSer, false, kSize512K,     0,       kErase128K, false, 128, false, kKeepOpen,   kTellLp32,   kNoVersion},
    {"KT4-G",     0x0017, kSer, false, kSize896K,     0,       kErase128K, false, 128, false, kKeepOpen,   kNoTell,     kNoVersion},
    {"VM500",     0x3010, kUsb, false, kSizeVm,       kVmTail, kErase4KUp, true,  256, false, kReplug5,    kNoTell,     kReadVersion},
    {"VM500-AIO", 0x3010, kUsb, true,  kSizeSmallAio, 0,       kErase2KUp, false, 256, false, kReplug5,    kNoTell,     kGateV09},
    {"LN30",      0x0015, kUsb, false, kSize896K,     0,       kErase128K, false, 128, false, kReplug2,    kTellLn30,   kNoVersion},
    {"KT5",       0x0020, kUsb, false, kSizeVm,       kVmTail, kErase4KUp, true,  256, false, kReplug5,    kNoTell,     kReadVersion},
    {"BRK-T",     0xA00B, kUsb, false, kSizeVm,       kVmTail, kErase4KUp, true,  256, false, kReplug5,    kNoTell,     kReadVersion},
    {"VM400",     0x3020, kUsb, false, kSizeVm,       kVmTail, kErase4KUp, true,  256, false, kReplug5,    kNoTell,     kReadVersion},
    {"RV5-AIO",   0x0020, kUsb, true,  kSizeSmallAio, 0,       kErase2KUp, false, 256, false, kReplug5,    kNoTell,     kGateV10},
    // clang-format on
};

namespace {

bool ValidRow(int row) {
  return row >= 0 && row < kPlcCount;
}

}  // namespace

int PlcIndexByName(const char* name) {
  if (name == nullptr) return -1;
  for (int row = 0; row < kPlcCount; ++row) {
    if (std::strcmp(plcList[row].name, name) == 0) return row;
  }
  return -1;
}

const char* PlcName(int row) {
  return ModelOf(row).name;
}

const PlcModel& ModelOf(int row) {
  return ValidRow(row) ? plcList[row] : kNoModel;
}

bool IsUsbModel(int row) {
  return ValidRow(row) && plcList[row].link == ModelLink::kUsb;
}
bool IsSerialModel(int row) {
  return ValidRow(row) && plcList[row].link == ModelLink::kSerial;
}
bool IsAioModel(int row) {
  return ModelOf(row).aio;
}

bool IsVersionReadId(uint16_t id) {
  for (const PlcModel& model : plcList) {
    if (model.id == id && model.version.read) return true;
  }
  return false;
}

SizeRule SizeRuleOf(int row) {
  return ModelOf(row).size;
}

ModelRegister ModelCheckRegister(uint16_t id) {
  for (const PlcModel& model : plcList) {
    if (model.id == id && model.tell.reg != ModelRegister::kNone) return model.tell.reg;
  }
  return ModelRegister::kNone;
}

const char* ModelCheckMismatch(int row, uint16_t registerValue) {
  const RegisterTell& tell = ModelOf(row).tell;
  if (tell.reg == ModelRegister::kNone) return nullptr;
  const size_t count = std::min<size_t>(tell.valueCount, std::size(tell.values));
  bool listed = false;
  for (size_t i = 0; i < count; ++i) listed = listed || tell.values[i] == registerValue;
  return listed == tell.valueIn ? nullptr : tell.mismatch;
}

const char* VersionGateRefusal(int row, uint8_t version) {
  const VersionRule& rule = ModelOf(row).version;
  if (!rule.gated || version > rule.highestRefused) return nullptr;
  return version == rule.knownVersion ? rule.knownRefusal : kUnknownVersion;
}

ReconnectRule ReconnectRuleOf(int row) {
  return ModelOf(row).reconnect;
}

Message SuccessMessageOf(int row) {
  if (IsUsbModel(row)) {
    return {"Firmware update is SUCCESSFUL!, please REPLUG the USB cable", "Information"};
  }
  return {"Firmware update is SUCCESSFUL", "INFORMATION"};
}
