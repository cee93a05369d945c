#include "protocol/probe.h"

#include <cstring>

#include "protocol/control_bytes.h"
#include "protocol/exchange.h"
#include "protocol/modbus.h"
#include "state/run.h"

namespace plc {

namespace {

constexpr uint32_t kWakeUpReplyLength = 11;
constexpr int kWakeUpFrames = 5;
constexpr int kDrainReads = 5;

constexpr uint8_t kStatusAppMode = 0x05;
constexpr uint8_t kStatusBootMode = 0x06;

// Failure code from the last reply the probe got (decoded or not).
ProtocolResult ProbeFailure(const uint8_t* reply) {
  if (reply[kStatusPos] != kNak) return kResultNoResponse;
  switch (reply[kClassPos]) {
    case 0x01:
      return kResultRefusedClass1;
    case 0x02:
      if (reply[kDetailPos] == 0x01) return kResultRefusedDetail1;
      if (reply[kDetailPos] == 0x02) return kResultRefusedDetail2;
      return kResultRefusedOther;
    default:
      return kResultUnknownError;
  }
}

}  // namespace

void DummyComm(Run& run) {
  Link* link = run.hSerial.get();
  // Silent, the wake-up takes 2 s and the probe after it 18 s: named, so
  // that a front end does not look hung.  The wake-up counts as the first try.
  run.SetActivity(kActivityProbing, 1);
  if (!SelectedIsUsb(run)) SetModbusLineSettings(link);
  SetShortTimeouts(link);
  // Whatever comes back is read away unexamined, so that the probe starts on
  // a quiet line.
  uint8_t scratch[kWakeUpReplyLength];
  const Frame wake = WakeUpFrame();
  for (int i = 0; i < kWakeUpFrames; ++i) {
    LinkWrite(link, wake.bytes, wake.length);
    LinkRead(link, scratch, sizeof scratch);
  }
  for (int i = 0; i < kDrainReads; ++i) LinkRead(link, scratch, sizeof scratch);
}

ProtocolResult ConfirmComm(Run& run) {
  Link* link = run.hSerial.get();
  // Applied here too: the probe must not depend on DummyComm having run.
  if (!SelectedIsUsb(run)) SetModbusLineSettings(link);
  SetLongTimeouts(link);

  uint8_t reply[kLongReplyLength] = {};
  ProtocolResult result = kResultNoResponse;
  run.SetActivity(kActivityProbing, 1);
  const bool accepted =
      RunRetryBudget(run, ProbeFrame(SelectedIsAio(run)), reply, sizeof reply, true, kFullBudget,
                     [&](uint32_t got) {
                       if (got != kLongReplyLength || CheckLRC(reply + 1, kLongReplyDigits) != 0) {
                         return Attempt::kFailedRead;
                       }
                       const uint8_t status = reply[kStatusPos];
                       if (status != kStatusAppMode && status != kStatusBootMode)
                         return Attempt::kFailedRead;
                       result = status == kStatusAppMode ? kResultAppMode : kResultBootMode;
                       return Attempt::kAccepted;
                     });
  run.SetActivity(kActivityNone, 0);
  if (!accepted) return ProbeFailure(reply);
  run.errCounter = 0;
  return result;
}

}  // namespace plc
