#include "ui/console/advice.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "state/messages.h"
#include "state/models.h"

namespace plc {

namespace {

// A PLC whose program is gone comes back in its bootloader only after a
// power cycle: a bootloader cut off in the middle of the transfer keeps
// waiting for blocks at the transfer's speed and answers no probe.
constexpr char kWithoutProgramNote[] =
    "plcfw: the PLC has no working program now. Switch the PLC off and on (a USB PLC: "
    "unplug and plug in its cable), then run the update again.";

constexpr char kInterruptedErasedNote[] =
    "interrupted during the update: the PLC may be left without a working program. "
    "Switch the PLC off and on (a USB PLC: unplug and plug in its cable), then run the "
    "update again before using it.";

constexpr char kNoAnswerNote[] =
    "plcfw: the PLC did not answer the probe: check the cable, the port and the PLC's power. "
    "If an update was cut short, the PLC waits in its bootloader: switch it off and on (a USB "
    "PLC: unplug and plug in its cable), then run the update again.";

constexpr char kRunModeNote[] =
    "plcfw: the PLC runs its program (RUN mode): switch it to STOP, then run the update again.";

bool Is(const char* text, const char* message) {
  return std::strcmp(text, message) == 0;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  (void)std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// The ID answered is not the selected model's: the PLC is another model.
std::string IdMismatch(const RunEnd& end) {
  const bool idEnd = Is(end.text, kNoResponse2Message) || Is(end.text, kTypeWrongMessage);
  if (!idEnd || end.reportedId < 0) return "";
  const auto reported = static_cast<uint16_t>(end.reportedId);
  const uint16_t selected = plcList[end.row].id;
  // A type refusal after the PLC lost its program came from its bootloader.
  const bool boot = Is(end.text, kTypeWrongMessage) && end.withoutProgram;
  if (RowTakesId(end.row, reported, boot)) return "";
  return Format("plcfw: the PLC%s answers with device type ID %s, not %s; --identify tells more",
                boot ? "'s bootloader" : "", DeviceIdText(reported, boot).c_str(),
                DeviceIdText(selected, false).c_str());
}

std::string SizeNote(const RunEnd& end) {
  const SizeRule rule = SizeRuleOf(end.row);
  const char* name = PlcName(end.row);
  const auto length = static_cast<unsigned long long>(end.imageLength);
  if (Is(end.text, rule.message)) {
    return Format("plcfw: the image is %llu bytes; the %s takes at most %lu bytes", length, name,
                  static_cast<unsigned long>(rule.limit));
  }
  if (Is(end.text, kImageTooShortMessage)) {
    return Format("plcfw: the image is %llu bytes; the %s needs at least %lu bytes", length, name,
                  static_cast<unsigned long>(ModelOf(end.row).reservedTail));
  }
  return "";
}

// The transfer's blocks: the one that failed (from 1), the number in all.
struct Blocks {
  uint32_t failed;
  uint32_t total;
};
bool StoppedTransfer(const RunEnd& end, Blocks* blocks) {
  const uint32_t frame = ModelOf(end.row).frameBytes;
  if (!Is(end.text, kUpdateFailedMessage) || end.bytesToSend == 0 || frame == 0) return false;
  *blocks = {end.bytesSent / frame + 1, (end.bytesToSend + frame - 1) / frame};
  return true;
}

std::string TransferNote(const RunEnd& end) {
  Blocks blocks{};
  if (!StoppedTransfer(end, &blocks)) return "";
  return Format(
      "plcfw: the transfer stopped at block %u of %u: the PLC acknowledged %u of %u bytes",
      blocks.failed, blocks.total, end.bytesSent, end.bytesToSend);
}

}  // namespace

const char* InterruptedNote(bool withoutProgram) {
  return withoutProgram ? kInterruptedErasedNote : "interrupted";
}

std::string DeviceIdText(uint16_t id, bool boot) {
  std::string names;
  for (int row = 0; row < kPlcCount; ++row) {
    // A bootloader's report is read by the boot ID rule of the row.
    const bool reports = boot ? RowTakesId(row, id, true) : plcList[row].id == id;
    if (!reports) continue;
    if (!names.empty()) names += ", ";
    names += PlcName(row);
  }
  char hex[8];
  (void)std::snprintf(hex, sizeof hex, "0x%04X", id);
  return std::string(hex) + " (" + (names.empty() ? "no model" : names) + ")";
}

PlcOutcome OutcomeOf(const RunEnd& end) {
  PlcOutcome outcome;
  outcome.erased = end.eraseAccepted;
  outcome.reason = ReasonOfMessage(end.text);
  if (outcome.reason == Reason::kUnavailable && end.busy) outcome.reason = Reason::kBusy;
  if (outcome.reason == Reason::kNoResponse && !IdMismatch(end).empty())
    outcome.reason = Reason::kWrongPlc;
  Blocks blocks{};
  if (StoppedTransfer(end, &blocks)) {
    outcome.transfer = true;
    outcome.failedBlock = blocks.failed;
    outcome.blocksAcknowledged = blocks.failed - 1;
    outcome.blocks = blocks.total;
  }
  return outcome;
}

std::vector<std::string> AdviceAfter(const RunEnd& end) {
  std::vector<std::string> notes;
  if (end.text == nullptr) return notes;
  for (const std::string& cause : {IdMismatch(end), SizeNote(end), TransferNote(end)}) {
    if (!cause.empty()) notes.push_back(cause);
  }
  if (end.withoutProgram) {
    notes.emplace_back(kWithoutProgramNote);
  } else if (Is(end.text, kNoResponse1Message)) {
    notes.emplace_back(kNoAnswerNote);
  } else if (Is(end.text, kRunModeMessage)) {
    notes.emplace_back(kRunModeNote);
  }
  return notes;
}

}  // namespace plc
