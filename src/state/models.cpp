#include "state/models.h"

#include <cctype>
#include <cstring>
#include <iterator>
#include <vector>

#include "state/messages.h"
#include "state/nearest.h"

namespace plc {

namespace {

constexpr ModelLink kSer = ModelLink::kSerial;
constexpr ModelLink kUsb = ModelLink::kUsb;
// The flags of a row, by name.
constexpr bool kOnce = true, kRetried = false;    // tries per erase unit
constexpr bool kSilent = true, kAnswers = false;  // at the erase request
constexpr bool kAio = true, kPlain = false;       // probe, ID and erase frames

constexpr SizeRule kSizeDefault{0x78800, kSizeDefaultMessage};
constexpr SizeRule kSize512K{0x80000, kSize512KMessage};
constexpr SizeRule kSize896K{0xE0000, kSize896KMessage};
constexpr SizeRule kSize36Aio{0x3000, kSize4KMessage};
constexpr SizeRule kSizeSmallAio{0xA000, kSize40KMessage};
constexpr SizeRule kSizeVm{0x1FB000, kSizeVmMessage};

constexpr EraseRule kErase2K{EraseCount::kOneMore, 2048, 0};
constexpr EraseRule kErase16K{EraseCount::kOneMore, 16384, 0};
constexpr EraseRule kErase128K{EraseCount::kOneMore, 131072, 0};
constexpr EraseRule kErase2KUp{EraseCount::kRoundUp, 2048, 0};
constexpr EraseRule kErase4KUp{EraseCount::kRoundUp, 4096, 0};
constexpr EraseRule kEraseFour{EraseCount::kFixed, 0, 4};

// The VM group keeps the last 4,096 bytes of its image.
constexpr uint32_t kVmTail = 4096;

constexpr ReconnectRule kKeepOpen{ReconnectKind::kKeepOpen, 1, nullptr};
constexpr ReconnectRule kReplug2{ReconnectKind::kReplugUsb, 2, kReplugPrompt};
constexpr ReconnectRule kReplug5{ReconnectKind::kReplugUsb, 5, kReplugPrompt};
constexpr ReconnectRule kPowerCycle{ReconnectKind::kPowerCycle, 2, kPowerCyclePrompt};

constexpr RegisterTell kNoTell{ModelRegister::kNone, false, 0, {0, 0}, nullptr};
// KT4-RV4 and KT4-W: D1386 holds 0x4138 or 0x4137 on a KT4-W.
constexpr RegisterTell Kt4Tell(bool kt4W) {
  return {ModelRegister::kD1386, kt4W, 2, {0x4138, 0x4137}, kKt4Mismatch};
}
// The 16-point models and their larger twins: D1148 is 0 on the 16-point one.
constexpr RegisterTell SixteenPointTell(bool sixteen, const char* mismatch) {
  return {ModelRegister::kD1148, sixteen, 1, {0, 0}, mismatch};
}
constexpr RegisterTell kTellKt4Rv4 = Kt4Tell(false);
constexpr RegisterTell kTellKt4W = Kt4Tell(true);
constexpr RegisterTell kTellLp4 = SixteenPointTell(true, kLp4Mismatch);
constexpr RegisterTell kTellLp32 = SixteenPointTell(false, kLp32Mismatch);
constexpr RegisterTell kTellLn = SixteenPointTell(true, kLnMismatch);
constexpr RegisterTell kTellLn30 = SixteenPointTell(false, kLn30Mismatch);

constexpr VersionRule kNoVersion{false, false, 0, 0, nullptr};
constexpr VersionRule kReadVersion{true, false, 0, 0, nullptr};
constexpr VersionRule kGateV09{true, true, 0x0F, 0x09, kV09Message};
constexpr VersionRule kGateV10{true, true, 0x11, 0x10, kV10Message};

// The IDs a row takes: its own, for the ID-12 models also 13.  Serial
// bootloaders report the ID without bit 15, USB ones all 16 bits.
constexpr IdRule kIdSerial{false, 0, true};
constexpr IdRule kIdUsb{false, 0, false};
constexpr IdRule kId12Or13{true, 0x000D, true};

// What an index outside the table gets: the serial defaults, no name.
constexpr PlcModel kNoModel{"",           kSer,     0,          128,      0,
                            kSizeDefault, kErase2K, kRetried,   kAnswers, kPlain,
                            kKeepOpen,    kNoTell,  kNoVersion, kIdSerial};

}  // namespace

// Columns: name, link, device type ID, frame bytes, reserved tail, size rule,
// erase rule, tries per erase unit, silence at the erase request, frames,
// reconnect, register check, version rule, IDs taken.
constexpr PlcModel plcList[] = {
    // clang-format off
    {"KT4-RV4",   kSer, 0x000C, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kTellKt4Rv4, kNoVersion,   kId12Or13},
    {"LM4",       kSer, 0x000E, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"LQ4",       kSer, 0x000F, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"LP4",       kSer, 0x0013, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kTellLp4,    kNoVersion,   kIdSerial},
    {"KT4-W",     kSer, 0x000C, 128, 0,       kSize512K,     kErase128K, kRetried, kSilent,  kPlain, kPowerCycle, kTellKt4W,   kNoVersion,   kId12Or13},
    {"LN",        kUsb, 0x0015, 256, 0,       kSizeDefault,  kErase16K,  kRetried, kAnswers, kPlain, kReplug2,    kTellLn,     kNoVersion,   kIdUsb},
    {"TW5",       kSer, 0x0000, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"36RV4-AIO", kSer, 0x000D, 256, 0,       kSize36Aio,    kEraseFour, kRetried, kAnswers, kAio,   kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"LQ",        kSer, 0x0008, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"KT4-N",     kSer, 0xA001, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"LN-P",      kUsb, 0xA002, 256, 0,       kSizeDefault,  kErase16K,  kRetried, kAnswers, kPlain, kReplug2,    kNoTell,     kNoVersion,   kIdUsb},
    {"LP4-P",     kSer, 0xA003, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"VM600",     kUsb, 0x3000, 256, kVmTail, kSizeVm,       kErase4KUp, kOnce,    kAnswers, kPlain, kReplug5,    kNoTell,     kReadVersion, kIdUsb},
    {"KT-RV-TW4", kSer, 0x0003, 128, 0,       kSizeDefault,  kErase2K,   kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"RV4-TRK",   kSer, 0xA006, 128, 0,       kSize512K,     kErase128K, kRetried, kSilent,  kPlain, kPowerCycle, kNoTell,     kNoVersion,   kIdSerial},
    {"LP32",      kSer, 0x0013, 128, 0,       kSize512K,     kErase128K, kRetried, kAnswers, kPlain, kKeepOpen,   kTellLp32,   kNoVersion,   kIdSerial},
    {"KT4-G",     kSer, 0x0017, 128, 0,       kSize896K,     kErase128K, kRetried, kAnswers, kPlain, kKeepOpen,   kNoTell,     kNoVersion,   kIdSerial},
    {"VM500",     kUsb, 0x3010, 256, kVmTail, kSizeVm,       kErase4KUp, kOnce,    kAnswers, kPlain, kReplug5,    kNoTell,     kReadVersion, kIdUsb},
    {"VM500-AIO", kUsb, 0x3010, 256, 0,       kSizeSmallAio, kErase2KUp, kRetried, kAnswers, kAio,   kReplug5,    kNoTell,     kGateV09,     kIdUsb},
    {"LN30",      kUsb, 0x0015, 128, 0,       kSize896K,     kErase128K, kRetried, kAnswers, kPlain, kReplug2,    kTellLn30,   kNoVersion,   kIdUsb},
    {"KT5",       kUsb, 0x0020, 256, kVmTail, kSizeVm,       kErase4KUp, kOnce,    kAnswers, kPlain, kReplug5,    kNoTell,     kReadVersion, kIdUsb},
    {"BRK-T",     kUsb, 0xA00B, 256, kVmTail, kSizeVm,       kErase4KUp, kOnce,    kAnswers, kPlain, kReplug5,    kNoTell,     kReadVersion, kIdUsb},
    {"VM400",     kUsb, 0x3020, 256, kVmTail, kSizeVm,       kErase4KUp, kOnce,    kAnswers, kPlain, kReplug5,    kNoTell,     kReadVersion, kIdUsb},
    {"RV5-AIO",   kUsb, 0x0020, 256, 0,       kSizeSmallAio, kErase2KUp, kRetried, kAnswers, kAio,   kReplug5,    kNoTell,     kGateV10,     kIdUsb},
    // clang-format on
};

const int kPlcCount = static_cast<int>(std::size(plcList));

namespace {

// Two rows that answer alike (one ID, the same frames) are told apart by one
// register: the same values mean one model to the one and the other to the
// other.  Rows of one ID agree on the version read, which goes by the ID.
constexpr bool ToldApart(const PlcModel& a, const PlcModel& b) {
  if (a.id != b.id) return true;
  if (a.version.read != b.version.read) return false;
  if (a.aio != b.aio) return true;
  const RegisterTell& x = a.tell;
  const RegisterTell& y = b.tell;
  return x.reg != ModelRegister::kNone && x.reg == y.reg && x.valueIn != y.valueIn &&
         x.valueCount == y.valueCount && x.values[0] == y.values[0] && x.values[1] == y.values[1];
}

// What the code takes for granted of every row: frames that fit the
// transfer's buffers, a tail of whole frames (the last frame's filler is
// counted from the image length), a unit size for every counted erase,
// register lists within their room, and rows that can be told apart.
constexpr bool RowsAreSound() {
  for (const PlcModel& m : plcList) {
    if (m.name[0] == '\0' || m.frameBytes == 0 || m.frameBytes > kMaxFrameBytes) return false;
    if (m.reservedTail % m.frameBytes != 0) return false;
    if (m.erase.count != EraseCount::kFixed && m.erase.unitBytes == 0) return false;
    if (m.tell.valueCount > std::size(m.tell.values)) return false;
    for (const PlcModel& other : plcList) {
      if (&other != &m && !ToldApart(m, other)) return false;
    }
  }
  return true;
}
static_assert(RowsAreSound(), "a row of the model table breaks a rule the code relies on");

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

int PlcIndexByTypedName(const char* name) {
  const int exact = PlcIndexByName(name);
  if (exact >= 0 || name == nullptr) return exact;
  int found = -1;
  for (int row = 0; row < kPlcCount; ++row) {
    const char* known = plcList[row].name;
    size_t i = 0;
    while (known[i] != '\0' && std::toupper(static_cast<unsigned char>(name[i])) ==
                                   std::toupper(static_cast<unsigned char>(known[i]))) {
      ++i;
    }
    if (known[i] != '\0' || name[i] != '\0') continue;
    if (found >= 0) return -1;  // two rows match: the typed name says neither
    found = row;
  }
  return found;
}

std::string NearestPlcNames(const char* typed) {
  std::vector<std::string> names;
  for (const PlcModel& model : plcList) names.emplace_back(model.name);
  return OneOf(NearestNames(typed != nullptr ? typed : "", names));
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

uint16_t BootReportedId(int row) {
  const PlcModel& model = ModelOf(row);
  return model.ids.bootClearsBit15 ? static_cast<uint16_t>(model.id & 0x7FFF) : model.id;
}

bool RowTakesId(int row, uint16_t reported, bool bootloader) {
  const PlcModel& model = ModelOf(row);
  const uint16_t own = bootloader ? BootReportedId(row) : model.id;
  return reported == own || (model.ids.takesOther && reported == model.ids.other);
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
  bool listed = false;
  for (int i = 0; i < tell.valueCount; ++i) listed = listed || tell.values[i] == registerValue;
  return listed == tell.valueIn ? nullptr : tell.mismatch;
}

const char* VersionGateRefusal(int row, uint8_t version) {
  const VersionRule& rule = ModelOf(row).version;
  if (!rule.gated || version > rule.highestRefused) return nullptr;
  return version == rule.knownVersion ? rule.knownRefusal : kUnknownVersionMessage;
}

ReconnectRule ReconnectRuleOf(int row) {
  return ModelOf(row).reconnect;
}

Message SuccessMessageOf(int row) {
  if (IsUsbModel(row)) {
    return {kUsbSuccessMessage, kInformationCaption};
  }
  return {kSerialSuccessMessage, kSerialSuccessCaption};
}

}  // namespace plc
