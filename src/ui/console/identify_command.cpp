#include "ui/console/identify_command.h"

#include <cstdio>
#include <string>

#include "burn/burn.h"
#include "burn/identify.h"
#include "state/messages.h"
#include "state/models.h"
#include "state/run.h"
#include "ui/console/advice.h"
#include "ui/console/console_host.h"
#include "ui/console/output.h"
#include "ui/console/record.h"
#include "ui/console/run_guard.h"
#include "ui/console/target.h"
#include "ui/console/terminal.h"

namespace plc {

namespace {

std::string Hex4(uint16_t value) {
  char text[8];
  (void)std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

// "V1.0": the major version in the high nibble, the minor in the low one.
std::string VersionText(uint8_t version) {
  char text[16];
  (void)std::snprintf(text, sizeof text, "V%u.%u (0x%02X)", version >> 4, version & 0x0Fu, version);
  return text;
}

// The rows whose names the test yields, "LN, LN30"; "none" for none.
template <typename Test>
std::string RowsWhere(Test&& test) {
  std::string names;
  for (int row = 0; row < kPlcCount; ++row) {
    if (!test(row)) continue;
    if (!names.empty()) names += ", ";
    names += PlcName(row);
  }
  return names.empty() ? "none" : names;
}

std::string IdText(const DeviceIdentity& d) {
  return DeviceIdText(d.id, d.mode == DeviceMode::kBoot);
}

std::string RegisterText(const DeviceIdentity& d) {
  if (!d.registerRead) return "no answer";
  // The models taking the ID that were told apart by this register, and of
  // them the ones the value stands for.
  return Hex4(d.registerValue) + " (" + RowsWhere([&](int row) {
           return RowTakesId(row, d.id, false) && ModelOf(row).tell.reg == d.reg &&
                  ModelCheckMismatch(row, d.registerValue) == nullptr;
         }) +
         ")";
}

}  // namespace

IdentifyReport IdentifySelected(Run& run, Host& host, const char* portLabel,
                                const std::function<bool()>& openBusy) {
  const int row = run.selectedPLCIdx;
  IdentifyReport report{{}, kExitFailed, {}};
  auto add = [&report](const char* key, const char* label, const std::string& text) {
    report.facts.push_back({key, label, text});
  };
  add("port", "Port", portLabel);
  add("model", "Selected model", PlcName(row));
  const DeviceIdentity d = IdentifyDevice(run, host);
  if (!d.opened) {
    // The burn's words for it.
    add("link", "Link", OpenFailureMessage(IsUsbModel(row) ? "USB" : portLabel));
    report.outcome.reason = openBusy && openBusy() ? Reason::kBusy : Reason::kUnavailable;
    report.exitStatus = ExitStatusOf(report.outcome);
    return report;
  }
  if (d.mode == DeviceMode::kNone) {
    // A PLC that runs its program answers the probe with a refusal.
    const char* probe = ProbeFailureMessage(d.probe);
    report.outcome.reason = ReasonOfMessage(probe);
    if (probe == kRunModeMessage) {
      add("mode", "Mode", "application, RUN (switch the PLC to STOP to update it)");
    } else if (probe == kNoResponse1Message) {
      add("mode", "Mode", std::string("no answer to the probe: ") + probe);
    } else {
      add("mode", "Mode", std::string("the probe's answer was refused: ") + probe);
    }
    return report;
  }
  add("mode", "Mode", d.mode == DeviceMode::kApplication ? "application" : "bootloader");
  if (!d.idRead) {
    report.outcome.reason = Reason::kNoResponse;
    add("deviceId", "Device type ID",
        d.mode == DeviceMode::kApplication
            ? std::string("no answer: ") + CheckIdFailureMessage(d.idFailure)
            : "no answer");
    return report;
  }
  add("deviceId", "Device type ID", IdText(d));
  if (d.reg != ModelRegister::kNone) {
    add("register", d.reg == ModelRegister::kD1386 ? "Register D1386" : "Register D1148",
        RegisterText(d));
  }
  if (d.versionAsked)
    add("version", "Version", d.versionRead ? VersionText(d.version) : "no answer");
  const bool fits = IdentityFits(row, d);
  add("fits", "Fits the selected model", fits ? "yes" : "no");
  if (!fits) {
    add("fitsModels", "Fits the models",
        RowsWhere([&d](int other) { return IdentityFits(other, d); }));
  }
  report.outcome.reason = fits ? Reason::kOk : Reason::kWrongPlc;
  report.exitStatus = ExitStatusOf(report.outcome);
  return report;
}

int Identify(const ConsoleOptions& options, Run& run, ConsoleHost& host) {
  SelectTarget(options, run);
  const std::string port = RecordPortLabel(run);
  BurnLogBegin("identify", options.model, port, run);
  const IdentifyReport report =
      IdentifySelected(run, host, port.c_str(), [&host] { return host.LastOpenBusy(); });
  // A probe cut short by an interrupt reports nothing of the PLC.
  if (InterruptRequested()) EndInterruptedRun();
  for (const ReportFact& fact : report.facts) {
    ConsolePrintMessage(fact.label.c_str(), fact.text.c_str());
  }
  BurnLogFacts(report.facts);
  BurnLogOutcome(report.outcome);
  return report.exitStatus;
}

int RunIdentify(const ConsoleOptions& options) {
  StartGuard();
  Run run;
  GuardRun(&run);
  ConsoleHost host(options, run, nullptr, nullptr, false);
  int status = kExitFailed;
  RunWatched([&] { status = Identify(options, run, host); }, false, [] { return false; });
  return EndRun(status, status == kExitSuccess ? "identified" : "failed");
}

}  // namespace plc
