#include "state/messages.h"

namespace plc {

namespace {

constexpr char kOpenFailurePattern[] = "CANNOT open %s Port!!!";

constexpr const char* kAll[] = {
    kImageNotLoadedMessage, kImageTooShortMessage,  kSizeDefaultMessage,   kSize512KMessage,
    kSize896KMessage,       kSize4KMessage,         kSize40KMessage,       kSizeVmMessage,
    kOpenFailurePattern,    kTypeWrongMessage,      kRunModeMessage,       kUnknownError1Message,
    kNoResponse1Message,    kUnknown1Message,       kUnknownError2Message, kNoResponse2Message,
    kUnknown2Message,       kUnknownError3Message,  kNoResponse3Message,   kUnknown3Message,
    kKt4Mismatch,           kLp4Mismatch,           kLp32Mismatch,         kLnMismatch,
    kLn30Mismatch,          kUnknownVersionMessage, kV09Message,           kV10Message,
    kVersionSilentMessage,  kEraseSilentMessage,    kUpdateSilentMessage,  kUpdateFailedMessage,
    kReplugPrompt,          kPowerCyclePrompt,      kUsbSuccessMessage,    kSerialSuccessMessage,
    kCloseQuestion,
};

}  // namespace

std::string OpenFailureMessage(const char* label) {
  return std::string("CANNOT open ") + label + " Port!!!";
}

MessageList AllMessages() {
  return {kAll, sizeof kAll / sizeof kAll[0]};
}

}  // namespace plc
