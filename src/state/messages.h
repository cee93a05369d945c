// Every text the program shows in a box, defined once: the burn, the model
// table, the window, the console and identify take them from here, and
// plcfw --list-messages prints them for the soak.
#pragma once

#include <cstddef>
#include <string>

namespace plc {

// ---- Captions
inline constexpr char kErrorCaption[] = "ERROR";
inline constexpr char kInformationCaption[] = "Information";
inline constexpr char kSerialSuccessCaption[] = "INFORMATION";
inline constexpr char kWarningCaption[] = "WARNING";

// The messages, each defined once with the reason of a run that ends with
// it: X(name, text, reason).  Every name becomes a constant below, and
// AllMessages() lists them in this order; a new message is one line here.
// clang-format off
#define PLC_MESSAGES(X) \
  /* ---- Refusals before the link is opened */ \
  X(kImageNotLoadedMessage, "The firmware image CANNOT be loaded", kImage) \
  X(kImageTooShortMessage, "The file size is BELOW the MINIMUM size (4 * 1024)", kImage) \
  /* The size texts are fixed and do not always state the compared limit. */ \
  X(kSizeDefaultMessage, "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)", kImage) \
  X(kSize512KMessage, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 4)", kImage) \
  X(kSize896KMessage, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 7)", kImage) \
  X(kSize4KMessage, "The file size EXCEEDS the MAXIMUM size (4 * 1024)", kImage) \
  X(kSize40KMessage, "The file size EXCEEDS the MAXIMUM size (40 * 1024)", kImage) \
  X(kSizeVmMessage, "The file size EXCEEDS the MAXIMUM size (2028 * 1024)", kImage) \
  /* The open failure as a pattern: OpenFailureMessage fills in the port. */ \
  X(kOpenFailurePattern, "CANNOT open %s Port!!!", kUnavailable) \
  /* ---- Failures in application mode, by the state they came in */ \
  X(kTypeWrongMessage, "PLC type is WRONG", kWrongPlc) \
  X(kRunModeMessage, "PLC in RUN MODE", kRunMode) \
  X(kUnknownError1Message, "UNKNOWN ERROR CODE @ State 1", kUnknown) \
  X(kNoResponse1Message, "NO RESPONSE @ State 1", kNoResponse) \
  X(kUnknown1Message, "UNKNOWN MESSAGE", kUnknown) \
  X(kUnknownError2Message, "UNKNOWN ERROR CODE @ State 2", kUnknown) \
  X(kNoResponse2Message, "NO RESPONSE @ State 2", kNoResponse) \
  X(kUnknown2Message, "UNKNOWN MESSAGE @ State 2", kUnknown) \
  X(kUnknownError3Message, "UNKNOWN ERROR CODE @ State 3", kUnknown) \
  /* State 3 is the erase/enter-boot command: the PLC took the ID checks. */ \
  X(kNoResponse3Message, "NO RESPONSE @ State 3", kErase) \
  X(kUnknown3Message, "UNKNOWN MESSAGE @ State 3", kUnknown) \
  /* ---- The models sharing an ID told apart */ \
  X(kKt4Mismatch, "Check PLC, KT4-RV4 is different than KT4-W", kWrongPlc) \
  X(kLp4Mismatch, "Check PLC, 16LP4 is different than 32LP4", kWrongPlc) \
  X(kLp32Mismatch, "Check PLC, 32LP4 is different than 16LP4", kWrongPlc) \
  X(kLnMismatch, "Check PLC, 16LN is different than 30LN", kWrongPlc) \
  X(kLn30Mismatch, "Check PLC, 30LN is different than 16LN", kWrongPlc) \
  /* ---- The bootloader version gate */ \
  X(kUnknownVersionMessage, \
    "The bootloader version is unknown, do not support AIO FW update", kBootloader) \
  X(kV09Message, "The bootloader version is V0.9, do not support AIO FW update", kBootloader) \
  X(kV10Message, "The bootloader version is V1.0, do not support AIO FW update", kBootloader) \
  /* ---- Boot mode */ \
  X(kVersionSilentMessage, "PLC DOES NOT respond to the version read", kBootloader) \
  X(kEraseSilentMessage, "PLC DOES NOT respond to the erasing signal", kErase) \
  /* UPDATE opens the transfer: ERASE was accepted before it. */ \
  X(kUpdateSilentMessage, "PLC DOES NOT respond to the update signal", kTransfer) \
  X(kUpdateFailedMessage, "Firmware update is FAILED", kTransfer) \
  /* ---- Prompts and the end */ \
  X(kReplugPrompt, "Please REPLUG the USB Cable, and then press OK to continue", kOk) \
  X(kPowerCyclePrompt, "Please POWER OFF=>ON the PLC, and then press OK to continue", kOk) \
  X(kUsbSuccessMessage, "Firmware update is SUCCESSFUL!, please REPLUG the USB cable", kOk) \
  X(kSerialSuccessMessage, "Firmware update is SUCCESSFUL", kOk) \
  /* ---- The window's own question */ \
  /* Closing the window ends the run as an interrupt does. */ \
  X(kCloseQuestion, \
    "A firmware update is in progress. Closing now can leave the PLC without a working program. " \
    "Close anyway?", kInterrupted)
// clang-format on

#define PLC_MESSAGE_TEXT(name, text, reason) inline constexpr char name[] = text;
PLC_MESSAGES(PLC_MESSAGE_TEXT)
#undef PLC_MESSAGE_TEXT

// "CANNOT open COM3 Port!!!": the link named by label could not be opened.
std::string OpenFailureMessage(const char* label);

// Why a run ended, from one fixed list that scripts and records rely on:
// every message above has one (a prompt or the success: kOk, the run goes
// on or went through).  A front end may narrow a message's reason where it
// knows more (an open refused because another program holds the port is
// kBusy; an ID reply of another model makes a missing answer kWrongPlc).
enum class Reason {
  kOk,
  kUsage,
  kImage,        // missing, unreadable, too large, not a raw image
  kBusy,         // held by another run or program
  kUnavailable,  // cannot be opened: not found, no permission
  kNoResponse,
  kRunMode,
  kWrongPlc,    // device type, model register, an ID reply of another model
  kBootloader,  // version gate or no answer to the version read
  kErase,
  kTransfer,
  kInterrupted,
  kUnknown,  // the "UNKNOWN ..." messages
};
inline constexpr int kReasonCount = 13;
// "no-response": the name in records and --json.
const char* ReasonName(Reason reason);

// A message with the reason of a run that ends with it.
struct ReasonedMessage {
  const char* text;
  Reason reason;
};

// Every fixed text above (the open failure as "CANNOT open %s Port!!!"),
// for listing.
struct MessageList {
  const ReasonedMessage* messages;
  size_t count;
};
MessageList AllMessages();

// The reason of a run that ends with text (the open failure with any port);
// kUnknown for a text that is none of the messages.
Reason ReasonOfMessage(const char* text);

}  // namespace plc
