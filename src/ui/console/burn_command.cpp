#include "ui/console/burn_command.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "burn/burn.h"
#include "port/link.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run.h"
#include "ui/console/console_host.h"
#include "ui/console/output.h"
#include "ui/console/record.h"
#include "ui/console/run_guard.h"
#include "ui/console/target.h"
#include "ui/console/terminal.h"
#include "ui/console/ticker.h"
#include "ui/console/trace_link.h"

namespace plc {

// A prompt waits for Enter on standard input.  When that is no terminal
// (a script, < /dev/null), nobody answers it after the PLC was erased.
bool PromptRefused(const ConsoleOptions& options, std::string* error) {
  // A dry run stops before the erase: it never prompts.
  if (options.action != ConsoleAction::kBurn || options.check || options.yes || options.model < 0)
    return false;
  if (ReconnectRuleOf(options.model).kind == ReconnectKind::kKeepOpen) return false;
  if (StdinIsTerminal()) return false;
  *error = std::string(PlcName(options.model)) +
           " asks for a replug or power cycle and standard input is not a terminal; "
           "use --yes to answer the prompt at once";
  return true;
}

namespace {

// What the probe talks to, as the progress line names it: the port, and a
// serial port's line settings ("ttyS0 at 9600 7E1").
std::string ProbeTarget(const ConsoleOptions& options, const std::string& port) {
  if (options.model < 0 || IsUsbModel(options.model)) return port;
  return port + " at " + LineSettingsText(kModbusLineSettings);
}

}  // namespace

std::string ProbeTargetOf(const ConsoleOptions& options, const std::string& port) {
  return ProbeTarget(options, port);
}

bool ReadImageForBurn(const ConsoleOptions& options, std::vector<uint8_t>* image) {
  bool imageMissing = false;
  // Read under the guard: a file on a mount that hangs must not keep
  // Ctrl-C from ending the run (nothing has been sent yet).
  std::string why;
  RunWatched(
      [&] {
        imageMissing =
            !ReadImageFile(options.image.c_str(), SizeRuleOf(options.model).limit, image, &why);
      },
      false, [] { return false; });
  if (imageMissing) {
    ConsolePrintNote(("plcfw: cannot read " + options.image + ": " + why).c_str());
  } else if (const ImageKind* kind = NotARawImage(*image)) {
    // Burned as it is, its text or headers would be the PLC's program.
    imageMissing = true;
    ConsolePrintNote(("plcfw: " + options.image + " is " + kind->what +
                      ", not a raw binary image; make one first, e.g. " + kind->convert + " " +
                      options.image + " image.bin")
                         .c_str());
  }
  return !imageMissing;
}

int RunBurn(const ConsoleOptions& options) {
  StartGuard();
  std::vector<uint8_t> image;
  const bool imageMissing = options.imageGiven && !ReadImageForBurn(options, &image);
  // The one run of this process; an interrupt ends the process without
  // unwinding, so the run never meets a link closed under it.
  Run run;
  SelectTarget(options, run);
  run.checkOnly = options.check;

  ElapsedTicker ticker(run);
  ConsoleHost host(options, run, &ticker, options.imageGiven && !imageMissing ? &image : nullptr,
                   imageMissing);
  RecordingHost recorder(host, run, options.imageGiven ? options.image : EmbeddedFirmwareName(),
                         options.imageGiven);
  const std::string port = RecordPortLabel(run);
  BurnLogBegin(options.check ? "check" : "burn", options.model, port, run);
  GuardRun(&run);
  ConsoleStartProgress(ProbeTarget(options, port).c_str(), run);
  const auto start = std::chrono::steady_clock::now();
  // As the window does: the seconds start counting, then the burn thread.
  ticker.Start();
  RunWatched([&run, &recorder] { StartBurn(run, recorder); }, true,
             [&host] { return host.Succeeded(); });
  ticker.Stop();
  ConsoleEndProgress();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  ConsolePrintSummary(recorder.Result(), run.fileLength, took.count());
  if (host.ReadyInBootloader()) {
    ConsolePrintNote(
        "plcfw: the PLC answers from its bootloader: its program may already be erased; "
        "a burn would go ahead");
  } else if (options.check && host.Succeeded()) {
    ConsolePrintNote("plcfw: the PLC is ready: a burn would go ahead");
  }
  BurnLogOutcome(host.Outcome());
  const int status = host.ExitStatus();
  return EndRun(status, recorder.Result());
}

}  // namespace plc
