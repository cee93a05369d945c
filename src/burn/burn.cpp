#include "burn/burn.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <system_error>
#include <thread>

#include "port/ports.h"
#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "protocol/result_codes.h"
#include "protocol/transfer.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run_state.h"

namespace plc {

namespace {

std::atomic<bool> burnClaimed{false};

void ErrorBox(Host& host, const char* text, BurnOutcome outcome = BurnOutcome::kFailed) {
  host.RunEnds(outcome);
  host.ShowMessage(text, kErrorCaption, BoxIcon::kError);
}

// The end of a run that got as far as opening the link.
void Finish(Host& host) {
  ClearStatusValues();
  host.EnableStartButton(true);
  hSerial.reset();
  CloseFile();
}

// The end of a run refused before the link was opened (image missing, too
// large or too small).  The counters are still 0 here.
void RefuseImage(Host& host, const char* text) {
  host.KillElapsedTimer();
  ErrorBox(host, text, BurnOutcome::kRefused);
  host.EnableStartButton(true);
  elapsedTime = 0;
  CloseFile();
}

const char* ImageRefusal(int row, bool loaded) {
  if (!loaded) return kImageNotLoadedMessage;
  const SizeRule rule = SizeRuleOf(row);
  if (fileLength > rule.limit) return rule.message;
  if (fileLength < ModelOf(row).reservedTail) return kImageTooShortMessage;
  return nullptr;
}

LinkHandle OpenLink(Host& host, bool usb) {
  if (usb) return host.OpenUsbLink();
  char port[kComPortSize];
  GetSelectedComPort(port);
  return host.OpenComLink(port);
}

void ReportOpenFailure(Host& host, bool usb) {
  host.KillElapsedTimer();
  char port[kComPortSize];
  GetSelectedComPort(port);
  const char* label = "USB";
  if (!usb) {
    label = host.ComLinkLabel(port);
    if (label == nullptr) label = port;
  }
  ErrorBox(host, OpenFailureMessage(label).c_str());
  elapsedTime = 0;
  host.EnableStartButton(true);
  CloseFile();
}

// Reads the register that tells apart the models sharing the selected ID and
// shows the mismatch box; true when the device is another model.
bool ModelMismatch(Host& host, int row) {
  uint16_t value = 0;
  switch (ModelOf(row).tell.reg) {
    case ModelRegister::kD1386:
      (void)ReadD1386_A(hSerial.get(), &value);
      break;
    case ModelRegister::kD1148:
      (void)ReadD1148_A(hSerial.get(), &value);
      break;
    case ModelRegister::kNone:
      return false;
  }
  const char* text = ModelCheckMismatch(row, value);
  if (text == nullptr) return false;
  host.KillElapsedTimer();
  ErrorBox(host, text);
  return true;
}

// The version refusal keeps the seconds counting while its box is open: the
// box comes first, the timer kill after it.  True when the run ended.
bool VersionRefused(Host& host, int row) {
  const char* text = VersionGateRefusal(row, VM_fu_version);
  if (text == nullptr) return false;
  ErrorBox(host, text);
  host.KillElapsedTimer();
  Finish(host);
  return true;
}

// A dry run ends where the first writing request would go: nothing is
// shown, the front end says that the update would go ahead.
bool StopsHere(Host& host) {
  if (!checkOnly) return false;
  host.KillElapsedTimer();
  host.RunEnds(BurnOutcome::kReady);
  Finish(host);
  return true;
}

// The pause is named: a bar standing still for seconds looks hung.
void Pause(Host& host, int seconds) {
  SetActivity(kActivityWaiting, seconds);
  host.PauseSeconds(seconds);
  SetActivity(kActivityNone, 0);
}

void Reconnect(Host& host, int row) {
  const ReconnectRule rule = ReconnectRuleOf(row);
  if (rule.kind == ReconnectKind::kKeepOpen) {
    Pause(host, rule.pauseSeconds);
    return;
  }
  hSerial.reset();
  host.ShowMessage(rule.prompt, kInformationCaption, BoxIcon::kInformation);
  Pause(host, rule.pauseSeconds);
  // Not tested here: a failed reopen makes the next probe report no response.
  hSerial = OpenLink(host, rule.kind == ReconnectKind::kReplugUsb);
}

// Application mode.  True when the erase/enter-boot command was accepted
// and another pass follows; false when the pass ends the run (a box was
// shown, and the finish may already be done, see finished).
bool ApplicationPass(Host& host, int row, bool& finished) {
  const uint16_t id = selectedPLCID;
  ProtocolResult code = CheckID_A(hSerial.get());
  if (code != kResultOk) {
    host.KillElapsedTimer();
    ErrorBox(host, CheckIdFailureMessage(code));
    return false;
  }
  if (ModelMismatch(host, row)) return false;
  if (IsVersionReadId(id)) {
    uint8_t version = 0;
    (void)ReadVersion_A(hSerial.get(), &version);
    VM_fu_version = version;
    if (VersionRefused(host, row)) {
      finished = true;
      return false;
    }
  }
  if (StopsHere(host)) {
    finished = true;
    return false;
  }
  code = SendErase_A(hSerial.get());
  if (code != kResultOk) {
    host.KillElapsedTimer();
    ErrorBox(host, EraseFailureMessage(code));
    return false;
  }
  plcWithoutProgram = true;
  eraseAccepted = true;
  Reconnect(host, row);
  return true;
}

void BootFailure(Host& host, const char* text) {
  host.KillElapsedTimer();
  ErrorBox(host, text);
  Finish(host);
}

// Boot mode: every outcome ends the run.
void BootPass(Host& host, int row) {
  if (CheckID_B(hSerial.get()) != kResultOk) {
    BootFailure(host, kTypeWrongMessage);
    return;
  }
  if (IsVersionReadId(selectedPLCID)) {
    uint8_t version = 0;
    if (!ReadVersion_B(hSerial.get(), &version)) {
      BootFailure(host, kVersionSilentMessage);
      return;
    }
    VM_fu_version = version;
    if (VersionRefused(host, row)) return;
  }
  if (StopsHere(host)) return;
  if (SendErase_B(hSerial.get()) != kResultOk) {
    BootFailure(host, kEraseSilentMessage);
    return;
  }
  plcWithoutProgram = true;
  eraseAccepted = true;
  if (SendUpdate(hSerial.get()) != kResultOk) {
    BootFailure(host, kUpdateSilentMessage);
    return;
  }
  if (SendFW(hSerial.get()) != kResultOk) {
    BootFailure(host, kUpdateFailedMessage);
    return;
  }
  plcWithoutProgram = false;
  host.KillElapsedTimer();
  const Message success = SuccessMessageOf(row);
  host.RunEnds(BurnOutcome::kSuccess);
  host.ShowMessage(success.text, success.caption, BoxIcon::kInformation);
  Finish(host);
}

// The run itself, once claimed.
void RunBurn(Host& host) {
  plcWithoutProgram = false;
  eraseAccepted = false;
  reportedPLCID = -1;
  const bool loaded = LoadFirmware(host.LoadFirmwareImage());
  host.EnableStartButton(false);

  const int row = selectedPLCIdx;
  if (const char* refusal = ImageRefusal(row, loaded)) {
    RefuseImage(host, refusal);
    return;
  }

  const bool usb = IsUsbModel(row);
  hSerial = OpenLink(host, usb);
  if (hSerial == kNoLink) {
    ReportOpenFailure(host, usb);
    return;
  }

  for (;;) {
    DummyComm(hSerial.get());
    const ProtocolResult state = ConfirmComm(hSerial.get());
    if (state == kResultBootMode) {
      // A bootloader has no program to run: a PLC found in it was erased
      // by a run before this one.
      plcWithoutProgram = true;
      BootPass(host, row);
      return;
    }
    if (state != kResultAppMode) {
      host.KillElapsedTimer();
      ErrorBox(host, ProbeFailureMessage(state));
      break;
    }
    bool finished = false;
    if (!ApplicationPass(host, row, finished)) {
      if (finished) return;
      break;
    }
  }
  Finish(host);
}

bool Claim() {
  bool expected = false;
  return burnClaimed.compare_exchange_strong(expected, true, std::memory_order_acq_rel);
}

void Release() {
  burnClaimed.store(false, std::memory_order_release);
}

void RunClaimed(Host& host) {
  RunBurn(host);
  // Every way out of the run has closed the link: the PLC is let go.
  ReleaseRunHolds();
  Release();
}

}  // namespace

const char* ProbeFailureMessage(ProtocolResult code) {
  switch (code & 0x0F) {
    case 1:
    case 2:
    case 5:
      return kTypeWrongMessage;
    case 6:
      return kRunModeMessage;
    case 7:
      return kUnknownError1Message;
    case 8:
      return kNoResponse1Message;
    default:
      return kUnknown1Message;
  }
}

const char* CheckIdFailureMessage(ProtocolResult code) {
  switch (code & 0x0F) {
    case 2:
    case 3:
    case 5:
      return kTypeWrongMessage;
    case 7:
      return kUnknownError2Message;
    case 8:
      return kNoResponse2Message;
    default:
      return kUnknown2Message;
  }
}

const char* EraseFailureMessage(ProtocolResult code) {
  switch (code & 0x0F) {
    case 3:
    case 4:
    case 5:
      return kTypeWrongMessage;
    case 7:
      return kUnknownError3Message;
    case 8:
      return kNoResponse3Message;
    default:
      return kUnknown3Message;
  }
}

int StartBurn(Host& host) {
  if (!Claim()) return 0;
  RunClaimed(host);
  return 0;
}

bool BurnInProgress() {
  return burnClaimed.load(std::memory_order_acquire);
}

bool StartBurnThread(Host& host) {
  if (!Claim()) return false;
  try {
    std::thread(RunClaimed, std::ref(host)).detach();
  } catch (const std::system_error&) {
    Release();
    return false;
  }
  return true;
}

}  // namespace plc
