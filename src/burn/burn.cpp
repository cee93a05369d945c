#include "burn/burn.h"

#include <cstdio>
#include <functional>
#include <string>
#include <system_error>
#include <thread>

#include "port/ports.h"
#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "protocol/transfer.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

namespace {

void ErrorBox(Host& host, const char* text, BurnOutcome outcome = BurnOutcome::kFailed) {
  host.RunEnds(outcome);
  host.ShowMessage(text, kErrorCaption, BoxIcon::kError);
}

// The end of a run that got as far as opening the link.
void Finish(Run& run, Host& host) {
  run.ClearStatusValues();
  host.EnableStartButton(true);
  run.hSerial.reset();
  run.CloseFile();
}

// The end of a run refused before the link was opened (image missing, too
// large or too small).  The counters are still 0 here.
void RefuseImage(Run& run, Host& host, const char* text) {
  host.KillElapsedTimer();
  ErrorBox(host, text, BurnOutcome::kRefused);
  host.EnableStartButton(true);
  run.elapsedTime = 0;
  run.CloseFile();
}

const char* ImageRefusal(const Run& run, int row, bool loaded) {
  if (!loaded) return kImageNotLoadedMessage;
  const SizeRule rule = SizeRuleOf(row);
  if (run.fileLength > rule.limit) return rule.message;
  if (run.fileLength < ModelOf(row).reservedTail) return kImageTooShortMessage;
  return nullptr;
}

LinkHandle OpenLink(const Run& run, Host& host, bool usb) {
  const std::string port = run.SelectedComPort();
  return usb ? host.OpenUsbLink(port) : host.OpenComLink(port);
}

void ReportOpenFailure(Run& run, Host& host, bool usb) {
  host.KillElapsedTimer();
  const std::string port = run.SelectedComPort();
  ErrorBox(host, OpenFailureMessage(usb ? "USB" : port.c_str()).c_str());
  run.elapsedTime = 0;
  host.EnableStartButton(true);
  run.CloseFile();
}

// Reads the register that tells apart the models sharing the selected ID and
// shows the mismatch box; true when the device is another model.
bool ModelMismatch(Run& run, Host& host, int row) {
  const ModelRegister reg = ModelOf(row).tell.reg;
  if (reg == ModelRegister::kNone) return false;
  // A failed read gives 0, which the row's register rule judges like any value.
  uint16_t value = 0;
  (void)ReadModelRegister_A(run, reg, &value);
  const char* text = ModelCheckMismatch(row, value);
  if (text == nullptr) return false;
  host.KillElapsedTimer();
  ErrorBox(host, text);
  return true;
}

// The version refusal keeps the seconds counting while its box is open: the
// box comes first, the timer kill after it.  True when the run ended.
bool VersionRefused(Run& run, Host& host, int row) {
  const char* text = VersionGateRefusal(row, run.VM_fu_version);
  if (text == nullptr) return false;
  ErrorBox(host, text);
  host.KillElapsedTimer();
  Finish(run, host);
  return true;
}

// A dry run ends where the first writing request would go: nothing is
// shown, the front end says that the update would go ahead.
bool StopsHere(Run& run, Host& host) {
  if (!run.checkOnly) return false;
  host.KillElapsedTimer();
  host.RunEnds(BurnOutcome::kReady);
  Finish(run, host);
  return true;
}

// The pause is named: a bar standing still for seconds looks hung.
void Pause(Run& run, Host& host, int seconds) {
  run.SetActivity(kActivityWaiting, seconds);
  host.PauseSeconds(seconds);
  run.SetActivity(kActivityNone, 0);
}

void Reconnect(Run& run, Host& host, int row) {
  const ReconnectRule rule = ReconnectRuleOf(row);
  if (rule.kind == ReconnectKind::kKeepOpen) {
    Pause(run, host, rule.pauseSeconds);
    return;
  }
  run.hSerial.reset();
  host.ShowMessage(rule.prompt, kInformationCaption, BoxIcon::kInformation);
  Pause(run, host, rule.pauseSeconds);
  // Not tested here: a failed reopen makes the next probe report no response.
  run.hSerial = OpenLink(run, host, rule.kind == ReconnectKind::kReplugUsb);
}

// Application mode.  True when the erase/enter-boot command was accepted
// and another pass follows; false when the pass ends the run (a box was
// shown, and the finish may already be done, see finished).
bool ApplicationPass(Run& run, Host& host, int row, bool& finished) {
  const uint16_t id = run.selectedPLCID;
  ProtocolResult code = CheckID_A(run);
  if (code != kResultOk) {
    host.KillElapsedTimer();
    ErrorBox(host, CheckIdFailureMessage(code));
    return false;
  }
  if (ModelMismatch(run, host, row)) return false;
  if (IsVersionReadId(id)) {
    uint8_t version = 0;
    (void)ReadVersion_A(run, &version);
    run.VM_fu_version = version;
    if (VersionRefused(run, host, row)) {
      finished = true;
      return false;
    }
  }
  if (StopsHere(run, host)) {
    finished = true;
    return false;
  }
  code = SendErase_A(run);
  if (code != kResultOk) {
    host.KillElapsedTimer();
    ErrorBox(host, EraseFailureMessage(code));
    return false;
  }
  run.plcWithoutProgram = true;
  run.eraseAccepted = true;
  Reconnect(run, host, row);
  return true;
}

void BootFailure(Run& run, Host& host, const char* text) {
  host.KillElapsedTimer();
  ErrorBox(host, text);
  Finish(run, host);
}

// Boot mode: every outcome ends the run.
void BootPass(Run& run, Host& host, int row) {
  if (CheckID_B(run) != kResultOk) {
    BootFailure(run, host, kTypeWrongMessage);
    return;
  }
  if (IsVersionReadId(run.selectedPLCID)) {
    uint8_t version = 0;
    if (!ReadVersion_B(run, &version)) {
      BootFailure(run, host, kVersionSilentMessage);
      return;
    }
    run.VM_fu_version = version;
    if (VersionRefused(run, host, row)) return;
  }
  if (StopsHere(run, host)) return;
  if (SendErase_B(run) != kResultOk) {
    BootFailure(run, host, kEraseSilentMessage);
    return;
  }
  run.plcWithoutProgram = true;
  run.eraseAccepted = true;
  if (SendUpdate(run) != kResultOk) {
    BootFailure(run, host, kUpdateSilentMessage);
    return;
  }
  if (SendFW(run) != kResultOk) {
    BootFailure(run, host, kUpdateFailedMessage);
    return;
  }
  run.plcWithoutProgram = false;
  host.KillElapsedTimer();
  const Message success = SuccessMessageOf(row);
  host.RunEnds(BurnOutcome::kSuccess);
  host.ShowMessage(success.text, success.caption, BoxIcon::kInformation);
  Finish(run, host);
}

// The run itself, once claimed.
void RunBurn(Run& run, Host& host) {
  run.plcWithoutProgram = false;
  run.eraseAccepted = false;
  run.reportedPLCID = -1;
  const bool loaded = run.LoadFirmware(host.LoadFirmwareImage());
  host.EnableStartButton(false);

  const int row = run.selectedPLCIdx;
  if (const char* refusal = ImageRefusal(run, row, loaded)) {
    RefuseImage(run, host, refusal);
    return;
  }

  const bool usb = IsUsbModel(row);
  run.hSerial = OpenLink(run, host, usb);
  if (run.hSerial == kNoLink) {
    ReportOpenFailure(run, host, usb);
    return;
  }

  for (;;) {
    DummyComm(run);
    const ProtocolResult state = ConfirmComm(run);
    if (state == kResultBootMode) {
      // A bootloader has no program to run: a PLC found in it was erased
      // by a run before this one.
      run.plcWithoutProgram = true;
      BootPass(run, host, row);
      return;
    }
    if (state != kResultAppMode) {
      host.KillElapsedTimer();
      ErrorBox(host, ProbeFailureMessage(state));
      break;
    }
    bool finished = false;
    if (!ApplicationPass(run, host, row, finished)) {
      if (finished) return;
      break;
    }
  }
  Finish(run, host);
}

void RunClaimed(Run& run, Host& host) {
  RunBurn(run, host);
  // Every way out of the run has closed the link: the PLC is let go.
  ReleaseRunHolds();
  run.Release();
}

}  // namespace

const char* ProbeFailureMessage(ProtocolResult code) {
  switch (ResultChoiceOf(code)) {
    case ResultChoice::kRefusedDetail1:
    case ResultChoice::kRefusedDetail2:
    case ResultChoice::kRefusedOther:
      return kTypeWrongMessage;
    case ResultChoice::kRefusedClass1:
      return kRunModeMessage;
    case ResultChoice::kUnknownError:
      return kUnknownError1Message;
    case ResultChoice::kNoResponse:
      return kNoResponse1Message;
    default:
      return kUnknown1Message;
  }
}

const char* CheckIdFailureMessage(ProtocolResult code) {
  switch (ResultChoiceOf(code)) {
    case ResultChoice::kRefusedDetail2:
    case ResultChoice::kRefusedDetail3:
    case ResultChoice::kRefusedOther:
      return kTypeWrongMessage;
    case ResultChoice::kUnknownError:
      return kUnknownError2Message;
    case ResultChoice::kNoResponse:
      return kNoResponse2Message;
    default:
      return kUnknown2Message;
  }
}

const char* EraseFailureMessage(ProtocolResult code) {
  switch (ResultChoiceOf(code)) {
    case ResultChoice::kRefusedDetail3:
    case ResultChoice::kRefusedDetail4:
    case ResultChoice::kRefusedOther:
      return kTypeWrongMessage;
    case ResultChoice::kUnknownError:
      return kUnknownError3Message;
    case ResultChoice::kNoResponse:
      return kNoResponse3Message;
    default:
      return kUnknown3Message;
  }
}

void StartBurn(Run& run, Host& host) {
  if (run.Claim()) RunClaimed(run, host);
}

bool StartBurnThread(Run& run, Host& host) {
  if (!run.Claim()) return false;
  try {
    std::thread(RunClaimed, std::ref(run), std::ref(host)).detach();
  } catch (const std::system_error&) {
    run.Release();
    return false;
  }
  return true;
}

}  // namespace plc
