#include "state/messages.h"

#include <cstring>

namespace plc {

namespace {

constexpr char kOpenFailurePrefix[] = "CANNOT open ";

// Each message beside its reason, in the order of their definitions.
#define PLC_MESSAGE_ENTRY(name, text, reason) {name, Reason::reason},
constexpr ReasonedMessage kAll[] = {PLC_MESSAGES(PLC_MESSAGE_ENTRY)};
#undef PLC_MESSAGE_ENTRY

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
