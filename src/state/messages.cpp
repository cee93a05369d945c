#include "state/messages.h"

#include <cstring>

namespace plc {

namespace {

constexpr char kOpenFailurePrefix[] = "CANNOT open ";
constexpr char kOpenFailurePattern[] = "CANNOT open %s Port!!!";

// Each message beside its reason: an entry without a reason does not build
// (warnings are errors, missing initializers among them).
constexpr ReasonedMessage kAll[] = {
    {kImageNotLoadedMessage, Reason::kImage},
    {kImageTooShortMessage, Reason::kImage},
    {kSizeDefaultMessage, Reason::kImage},
    {kSize512KMessage, Reason::kImage},
    {kSize896KMessage, Reason::kImage},
    {kSize4KMessage, Reason::kImage},
    {kSize40KMessage, Reason::kImage},
    {kSizeVmMessage, Reason::kImage},
    {kOpenFailurePattern, Reason::kUnavailable},
    {kTypeWrongMessage, Reason::kWrongPlc},
    {kRunModeMessage, Reason::kRunMode},
    {kUnknownError1Message, Reason::kUnknown},
    {kNoResponse1Message, Reason::kNoResponse},
    {kUnknown1Message, Reason::kUnknown},
    {kUnknownError2Message, Reason::kUnknown},
    {kNoResponse2Message, Reason::kNoResponse},
    {kUnknown2Message, Reason::kUnknown},
    {kUnknownError3Message, Reason::kUnknown},
    // State 3 is the erase/enter-boot command: the PLC took the ID checks.
    {kNoResponse3Message, Reason::kErase},
    {kUnknown3Message, Reason::kUnknown},
    {kKt4Mismatch, Reason::kWrongPlc},
    {kLp4Mismatch, Reason::kWrongPlc},
    {kLp32Mismatch, Reason::kWrongPlc},
    {kLnMismatch, Reason::kWrongPlc},
    {kLn30Mismatch, Reason::kWrongPlc},
    {kUnknownVersionMessage, Reason::kBootloader},
    {kV09Message, Reason::kBootloader},
    {kV10Message, Reason::kBootloader},
    {kVersionSilentMessage, Reason::kBootloader},
    {kEraseSilentMessage, Reason::kErase},
    // UPDATE opens the transfer: ERASE was accepted before it.
    {kUpdateSilentMessage, Reason::kTransfer},
    {kUpdateFailedMessage, Reason::kTransfer},
    {kReplugPrompt, Reason::kOk},
    {kPowerCyclePrompt, Reason::kOk},
    {kUsbSuccessMessage, Reason::kOk},
    {kSerialSuccessMessage, Reason::kOk},
    // Closing the window ends the run as an interrupt does.
    {kCloseQuestion, Reason::kInterrupted},
};

constexpr const char* kReasonNames[kReasonCount] = {
    "ok",        "usage",      "image", "busy",     "unavailable", "no-response", "run-mode",
    "wrong-plc", "bootloader", "erase", "transfer", "interrupted", "unknown",
};

}  // namespace

std::string OpenFailureMessage(const char* label) {
  return std::string(kOpenFailurePrefix) + label + " Port!!!";
}

MessageList AllMessages() {
  return {kAll, sizeof kAll / sizeof kAll[0]};
}

const char* ReasonName(Reason reason) {
  const auto at = static_cast<size_t>(reason);
  return at < kReasonCount ? kReasonNames[at] : "unknown";
}

Reason ReasonOfMessage(const char* text) {
  if (text == nullptr) return Reason::kUnknown;
  for (const ReasonedMessage& m : kAll) {
    if (std::strcmp(m.text, text) == 0) return m.reason;
  }
  if (std::strncmp(text, kOpenFailurePrefix, sizeof kOpenFailurePrefix - 1) == 0)
    return Reason::kUnavailable;
  return Reason::kUnknown;
}

}  // namespace plc
