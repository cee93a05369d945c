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

// ---- Refusals before the link is opened
inline constexpr char kImageNotLoadedMessage[] = "The firmware image CANNOT be loaded";
inline constexpr char kImageTooShortMessage[] =
    "The file size is BELOW the MINIMUM size (4 * 1024)";
// The size texts are fixed and do not always state the compared limit.
inline constexpr char kSizeDefaultMessage[] =
    "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)";
inline constexpr char kSize512KMessage[] =
    "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 4)";
inline constexpr char kSize896KMessage[] =
    "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 7)";
inline constexpr char kSize4KMessage[] = "The file size EXCEEDS the MAXIMUM size (4 * 1024)";
inline constexpr char kSize40KMessage[] = "The file size EXCEEDS the MAXIMUM size (40 * 1024)";
inline constexpr char kSizeVmMessage[] = "The file size EXCEEDS the MAXIMUM size (2028 * 1024)";

// ---- Failures in application mode, by the state they came in
inline constexpr char kTypeWrongMessage[] = "PLC type is WRONG";
inline constexpr char kRunModeMessage[] = "PLC in RUN MODE";
inline constexpr char kUnknownError1Message[] = "UNKNOWN ERROR CODE @ State 1";
inline constexpr char kNoResponse1Message[] = "NO RESPONSE @ State 1";
inline constexpr char kUnknown1Message[] = "UNKNOWN MESSAGE";
inline constexpr char kUnknownError2Message[] = "UNKNOWN ERROR CODE @ State 2";
inline constexpr char kNoResponse2Message[] = "NO RESPONSE @ State 2";
inline constexpr char kUnknown2Message[] = "UNKNOWN MESSAGE @ State 2";
inline constexpr char kUnknownError3Message[] = "UNKNOWN ERROR CODE @ State 3";
inline constexpr char kNoResponse3Message[] = "NO RESPONSE @ State 3";
inline constexpr char kUnknown3Message[] = "UNKNOWN MESSAGE @ State 3";

// ---- The models sharing an ID told apart
inline constexpr char kKt4Mismatch[] = "Check PLC, KT4-RV4 is different than KT4-W";
inline constexpr char kLp4Mismatch[] = "Check PLC, 16LP4 is different than 32LP4";
inline constexpr char kLp32Mismatch[] = "Check PLC, 32LP4 is different than 16LP4";
inline constexpr char kLnMismatch[] = "Check PLC, 16LN is different than 30LN";
inline constexpr char kLn30Mismatch[] = "Check PLC, 30LN is different than 16LN";

// ---- The bootloader version gate
inline constexpr char kUnknownVersionMessage[] =
    "The bootloader version is unknown, do not support AIO FW update";
inline constexpr char kV09Message[] =
    "The bootloader version is V0.9, do not support AIO FW update";
inline constexpr char kV10Message[] =
    "The bootloader version is V1.0, do not support AIO FW update";

// ---- Boot mode
inline constexpr char kVersionSilentMessage[] = "PLC DOES NOT respond to the version read";
inline constexpr char kEraseSilentMessage[] = "PLC DOES NOT respond to the erasing signal";
inline constexpr char kUpdateSilentMessage[] = "PLC DOES NOT respond to the update signal";
inline constexpr char kUpdateFailedMessage[] = "Firmware update is FAILED";

// ---- Prompts and the end
inline constexpr char kReplugPrompt[] =
    "Please REPLUG the USB Cable, and then press OK to continue";
inline constexpr char kPowerCyclePrompt[] =
    "Please POWER OFF=>ON the PLC, and then press OK to continue";
inline constexpr char kUsbSuccessMessage[] =
    "Firmware update is SUCCESSFUL!, please REPLUG the USB cable";
inline constexpr char kSerialSuccessMessage[] = "Firmware update is SUCCESSFUL";

// ---- The window's own question
inline constexpr char kCloseQuestion[] =
    "A firmware update is in progress. Closing now can leave the PLC without a working program. "
    "Close anyway?";

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
