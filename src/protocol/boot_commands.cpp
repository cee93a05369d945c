#include "protocol/boot_commands.h"

#include "protocol/control_bytes.h"
#include "protocol/exchange.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

namespace {

// Bootloader commands: the letters alone, no terminator, no checksum.
constexpr uint8_t kIdCommand[] = {'I', 'D'};
constexpr uint8_t kVersionCommand[] = {'V', 'E', 'R', 'S', 'I', 'O', 'N'};
constexpr uint8_t kEraseCommand[] = {'E', 'R', 'A', 'S', 'E'};
constexpr uint8_t kUpdateCommand[] = {'U', 'P', 'D', 'A', 'T', 'E'};
constexpr uint8_t kEotCommand[] = {kEot};

constexpr uint32_t kDataReplyLength = 3;  // ACK and two data bytes
constexpr uint32_t kAckReplyLength = 1;

template <size_t N>
constexpr Frame CommandOf(const uint8_t (&bytes)[N]) {
  return {bytes, static_cast<uint32_t>(N)};
}

// Exchanges one command for a lone ACK under a budget of `limit` failures.
bool ExchangeForAck(Run& run, const Frame& command, uint8_t limit) {
  uint8_t ack = 0;
  return RunRetryBudget(run, command, &ack, kAckReplyLength, false, limit, [&](uint32_t got) {
    return got == kAckReplyLength && ack == kAck ? Attempt::kAccepted : Attempt::kFailedRead;
  });
}

// "ID" under the retry budget: a reply is taken when it is whole, starts
// with ACK and fits(reported ID) holds.
template <typename Fits>
bool BootIdExchange(Run& run, uint16_t* reported, Fits&& fits) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  uint8_t reply[kDataReplyLength] = {};
  return RunRetryBudget(run, CommandOf(kIdCommand), reply, sizeof reply, false, kFullBudget,
                        [&](uint32_t got) {
                          if (got != kDataReplyLength || reply[0] != kAck)
                            return Attempt::kFailedRead;
                          *reported = static_cast<uint16_t>(reply[1] << 8 | reply[2]);
                          run.reportedPLCID = *reported;
                          return fits(*reported) ? Attempt::kAccepted : Attempt::kFailedRead;
                        });
}

}  // namespace

uint16_t EraseUnitCount(int row, uint32_t length) {
  const PlcModel& model = ModelOf(row);
  // The reserved tail stays out; a shorter image has nothing to erase.
  if (length < model.reservedTail) return 0;
  const uint32_t sent = length - model.reservedTail;
  const EraseRule& rule = model.erase;
  uint32_t units = rule.fixedUnits;
  if (rule.count == EraseCount::kOneMore) {
    units = sent / rule.unitBytes + 1;
  } else if (rule.count == EraseCount::kRoundUp) {
    units = sent / rule.unitBytes + (sent % rule.unitBytes != 0 ? 1 : 0);
  }
  // Held in 16 bits; the size check keeps every accepted image far below.
  return static_cast<uint16_t>(units);
}

ProtocolResult CheckID_B(Run& run) {
  const int row = run.selectedPLCIdx;
  // The bootloader of a model that also takes another ID (the ID-12 ones
  // take 13) leaves errCounter at the failed reads of this exchange.
  const bool takesOther = ModelOf(row).ids.takesOther;
  uint16_t reported = 0;
  if (!BootIdExchange(run, &reported, [row](uint16_t id) { return RowTakesId(row, id, true); })) {
    return kResultBootFailure;
  }
  if (!takesOther) run.errCounter = 0;
  return kResultOk;
}

bool ReadID_B(Run& run, uint16_t* reported) {
  *reported = 0;
  if (!BootIdExchange(run, reported, [](uint16_t) { return true; })) return false;
  run.errCounter = 0;
  return true;
}

bool ReadVersion_B(Run& run, uint8_t* version) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  uint8_t reply[kDataReplyLength] = {};
  const bool accepted = RunRetryBudget(
      run, CommandOf(kVersionCommand), reply, sizeof reply, false, kFullBudget, [&](uint32_t got) {
        return got == kDataReplyLength && reply[0] == kAck ? Attempt::kAccepted
                                                           : Attempt::kFailedRead;
      });
  if (!accepted) return false;
  // Low nibble of byte 1 becomes the major, high nibble of byte 2 the minor.
  *version = static_cast<uint8_t>((reply[1] * 16 + reply[2] / 16) % 256);
  run.errCounter = 0;
  return true;
}

ProtocolResult SendErase_B(Run& run) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  const int row = run.selectedPLCIdx;
  const uint16_t units = EraseUnitCount(row, run.fileLength);
  // Some bootloaders get one try per unit: a unit that fails is not asked
  // again.
  const uint8_t unitBudget = ModelOf(row).eraseUnitOnce ? 1 : kFullBudget;
  run.StartPhase(kFlashErasing);
  for (uint16_t k = 0; k < units; ++k) {
    if (!ExchangeForAck(run, CommandOf(kEraseCommand), unitBudget)) return kResultBootFailure;
    run.errCounter = 0;
    run.SetProgress(k * 100 / units);
  }
  if (!ExchangeForAck(run, CommandOf(kEotCommand), kFullBudget)) return kResultBootFailure;
  run.errCounter = 0;
  run.SetProgress(100);
  return kResultOk;
}

ProtocolResult SendUpdate(Run& run) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  if (!ExchangeForAck(run, CommandOf(kUpdateCommand), kFullBudget)) return kResultBootFailure;
  // The same switch for every model, USB links included.
  SetTransferLineSettings(link);
  run.errCounter = 0;
  return kResultOk;
}

}  // namespace plc
