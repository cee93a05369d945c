#include "protocol/app_commands.h"

#include "protocol/control_bytes.h"
#include "protocol/exchange.h"
#include "protocol/modbus.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

namespace {

// Failure code of the ID check from its last reply.
ProtocolResult IdFailure(const uint8_t* reply) {
  if (reply[kStatusPos] != kNak) return kResultNoResponse;
  if (reply[kClassPos] != 0x02) return kResultUnknownError;
  if (reply[kDetailPos] == 0x02) return kResultRefusedDetail2;
  if (reply[kDetailPos] == 0x03) return kResultRefusedDetail3;
  return kResultRefusedOther;
}

// Failure code of the erase request from its last reply.
ProtocolResult EraseFailure(const uint8_t* reply) {
  if (reply[kStatusPos] != kNak) return kResultNoResponse;
  if (reply[kClassPos] != 0x02) return kResultUnknownError;
  if (reply[kDetailPos] == 0x03) return kResultRefusedDetail3;
  if (reply[kDetailPos] == 0x04) return kResultRefusedDetail4;
  return kResultRefusedOther;
}

// The ID request under the retry budget: a reply is taken when it is whole,
// its sum is good, its status is ACK and fits(reported ID) holds.  The
// failure code when the budget is spent.
template <typename Fits>
ProtocolResult IdExchange(Run& run, uint16_t* reported, Fits&& fits) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  uint8_t reply[kLongReplyLength] = {};
  const bool accepted =
      RunRetryBudget(run, IdRequestFrame(SelectedIsAio(run)), reply, sizeof reply, true,
                     kFullBudget, [&](uint32_t got) {
                       if (got != kLongReplyLength || CheckLRC(reply + 1, kLongReplyDigits) != 0) {
                         return Attempt::kFailedRead;
                       }
                       *reported = static_cast<uint16_t>(reply[kClassPos] << 8 | reply[kDetailPos]);
                       if (reply[kStatusPos] != kAck) return Attempt::kFailedRead;
                       run.reportedPLCID = *reported;
                       return fits(*reported) ? Attempt::kAccepted : Attempt::kFailedRead;
                     });
  return accepted ? kResultOk : IdFailure(reply);
}

// One register read; false when the budget is spent.  errCounter keeps the
// number of failed reads before the good reply.
bool ReadRegister(Run& run, const Frame& request, uint16_t* value) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  uint8_t reply[kShortReplyLength] = {};
  const bool accepted =
      RunRetryBudget(run, request, reply, sizeof reply, true, kFullBudget, [&](uint32_t got) {
        return got == kShortReplyLength && CheckLRC(reply + 1, kShortReplyDigits) == 0
                   ? Attempt::kAccepted
                   : Attempt::kFailedRead;
      });
  // Decoded bytes 3 and 4: the register value, high byte first.
  *value = accepted ? static_cast<uint16_t>(reply[4] << 8 | reply[5]) : uint16_t{0};
  return accepted;
}

}  // namespace

ProtocolResult CheckID_A(Run& run) {
  const int row = run.selectedPLCIdx;
  uint16_t reported = 0;
  return IdExchange(run, &reported, [row](uint16_t id) { return RowTakesId(row, id, false); });
}

ProtocolResult ReadID_A(Run& run, uint16_t* reported) {
  *reported = 0;
  return IdExchange(run, reported, [](uint16_t) { return true; });
}

bool ReadD1386_A(Run& run, uint16_t* value) {
  return ReadRegister(run, ReadD1386Frame(), value);
}

bool ReadD1148_A(Run& run, uint16_t* value) {
  return ReadRegister(run, ReadD1148Frame(), value);
}

bool ReadModelRegister_A(Run& run, ModelRegister reg, uint16_t* value) {
  switch (reg) {
    case ModelRegister::kD1386:
      return ReadD1386_A(run, value);
    case ModelRegister::kD1148:
      return ReadD1148_A(run, value);
    case ModelRegister::kNone:
      break;
  }
  *value = 0;
  return false;
}

bool ReadVersion_A(Run& run, uint8_t* version) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  uint8_t reply[kLongReplyLength] = {};
  const bool accepted = RunRetryBudget(
      run, VersionRequestFrame(), reply, sizeof reply, true, kFullBudget, [&](uint32_t got) {
        return got == kLongReplyLength && CheckLRC(reply + 1, kLongReplyDigits) == 0
                   ? Attempt::kAccepted
                   : Attempt::kFailedRead;
      });
  // The status place carries the version; it is not tested.
  *version = accepted ? reply[kStatusPos] : 0;
  return accepted;
}

ProtocolResult SendErase_A(Run& run) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  const bool aio = SelectedIsAio(run);
  // Some models drop off the line at once when they take the erase
  // request, so their silence counts as acceptance.
  const bool silentOk = ModelOf(run.selectedPLCIdx).silentErase;
  const Frame confirm = EraseConfirmFrame(aio);
  uint8_t reply[kLongReplyLength] = {};
  const bool accepted = RunRetryBudget(
      run, EraseRequestFrame(aio), reply, sizeof reply, true, kFullBudget, [&](uint32_t got) {
        if (got < kLongReplyLength) {
          if (!silentOk) return Attempt::kFailedRead;
          run.errCounter = 0;
          return Attempt::kAccepted;
        }
        if (got != kLongReplyLength || CheckLRC(reply + 1, kLongReplyDigits) != 0 ||
            reply[kStatusPos] != kAck) {
          return Attempt::kFailedRead;
        }
        run.errCounter = 0;
        // No reply follows the confirmation; only a short write fails it,
        // and then the whole attempt starts again with the erase request.
        return LinkWrite(link, confirm.bytes, confirm.length) == confirm.length
                   ? Attempt::kAccepted
                   : Attempt::kFailedWrite;
      });
  if (!accepted) return EraseFailure(reply);
  run.errCounter = 0;
  return kResultOk;
}

}  // namespace plc
