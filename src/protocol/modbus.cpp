#include "protocol/modbus.h"

#include "protocol/exchange.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

namespace {

// The frames are stored as text, never built at run time, so what goes on
// the wire is exactly what is written here.
constexpr char kWakeUp[] = ":007F81\r\n";
constexpr char kProbe[] = ":006401590141\r\n";
constexpr char kProbeAio[] = ":0064015B013F\r\n";
constexpr char kIdRequest[] = ":006401594944B5\r\n";
constexpr char kIdRequestAio[] = ":0064015B4944B3\r\n";
constexpr char kReadD1386[] = ":0003156A00017D\r\n";
constexpr char kReadD1148[] = ":0003147C00016C\r\n";
constexpr char kVersionRequest[] = ":00640159053D\r\n";
constexpr char kEraseRequest[] = ":006401594552415345D2\r\n";
constexpr char kEraseRequestAio[] = ":0064015B4552415345D0\r\n";
constexpr char kEraseConfirm[] = ":00640159063C\r\n";
constexpr char kEraseConfirmAio[] = ":0064015B063A\r\n";

static_assert(sizeof kWakeUp - 1 == 9, "wake-up frame");
static_assert(sizeof kProbe - 1 == 15 && sizeof kProbeAio - 1 == 15, "probe frame");
static_assert(sizeof kIdRequest - 1 == 17 && sizeof kIdRequestAio - 1 == 17, "ID request");
static_assert(sizeof kReadD1386 - 1 == 17 && sizeof kReadD1148 - 1 == 17, "register reads");
static_assert(sizeof kVersionRequest - 1 == 15, "version request");
static_assert(sizeof kEraseRequest - 1 == 23 && sizeof kEraseRequestAio - 1 == 23, "erase");
static_assert(sizeof kEraseConfirm - 1 == 15 && sizeof kEraseConfirmAio - 1 == 15, "confirm");

template <size_t N>
Frame FrameOf(const char (&text)[N]) {
  // Character data may be read through unsigned char.
  return {reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(N - 1)};
}

// 0..15 for "0"-"9" and "A"-"F"; -1 for anything else, lower case included.
int HexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Frame WakeUpFrame() {
  return FrameOf(kWakeUp);
}
Frame ProbeFrame(bool aio) {
  return aio ? FrameOf(kProbeAio) : FrameOf(kProbe);
}
Frame IdRequestFrame(bool aio) {
  return aio ? FrameOf(kIdRequestAio) : FrameOf(kIdRequest);
}
Frame ReadD1386Frame() {
  return FrameOf(kReadD1386);
}
Frame ReadD1148Frame() {
  return FrameOf(kReadD1148);
}
Frame VersionRequestFrame() {
  return FrameOf(kVersionRequest);
}
Frame EraseRequestFrame(bool aio) {
  return aio ? FrameOf(kEraseRequestAio) : FrameOf(kEraseRequest);
}
Frame EraseConfirmFrame(bool aio) {
  return aio ? FrameOf(kEraseConfirmAio) : FrameOf(kEraseConfirm);
}

bool SelectedIsUsb(const Run& run) {
  return IsUsbModel(run.selectedPLCIdx);
}
bool SelectedIsAio(const Run& run) {
  return IsAioModel(run.selectedPLCIdx);
}

uint8_t CheckLRC(uint8_t* chars, uint8_t count) {
  if (chars == nullptr) return count == 0 ? 0 : 1;
  uint8_t sum = 0;
  uint8_t remaining = count;
  uint8_t* in = chars;
  uint8_t* out = chars;
  while (remaining != 0) {
    const int high = HexDigit(*in++);
    if (high < 0) return 1;
    --remaining;
    // An odd count would put the low digit past the range: refuse rather
    // than read beyond it.
    if (remaining == 0) return 1;
    const int low = HexDigit(*in++);
    if (low < 0) return 1;
    const auto byte = static_cast<uint8_t>(high * 16 + low);
    *out++ = byte;
    sum = static_cast<uint8_t>(sum + byte);
    --remaining;
  }
  return sum;
}

}  // namespace plc
