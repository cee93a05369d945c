#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "burn/burn.h"
#include "port/ports.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run_state.h"
#include "ui/console/console.h"

namespace plc {

#ifndef PLC_VERSION
#define PLC_VERSION "unknown"
#endif

namespace {

void ListModels() {
  for (int row = 0; row < kPlcCount; ++row) {
    std::printf("%-14s %s\n", PlcName(row), IsUsbModel(row) ? "USB" : "serial");
  }
}

void ListPorts() {
  PortList list{};
  ListComPorts(&list);
  UsbPortList usb{};
  ListPlcUsbPorts(&usb);
  (void)std::fputs(PortListText(list, usb).c_str(), stdout);
}

// A prompt waits for Enter on standard input.  When that is no terminal
// (a script, < /dev/null), nobody answers it after the PLC was erased.
bool PromptRefused(const ConsoleOptions& options, std::string* error) {
  if (options.action != ConsoleAction::kBurn || options.yes || options.model < 0) return false;
  if (ReconnectRuleOf(options.model).kind == ReconnectKind::kKeepOpen) return false;
  if (StdinIsTerminal()) return false;
  *error = std::string(PlcName(options.model)) +
           " asks for a replug or power cycle and standard input is not a terminal; "
           "use --yes to answer the prompt at once";
  return true;
}

[[noreturn]] void EndInterrupted() {
  // First of all: the thread still at work must not send the PLC another
  // request while the run ends.
  StopAllLinks(true);
  ConsoleEndProgress();
  if (BurnInProgress()) {
    ConsolePrintNote(
        "plcfw: interrupted during the update: the PLC may be left without a working "
        "program. Run the update again before using the PLC.");
  } else {
    ConsolePrintNote("plcfw: interrupted");
  }
  BurnLogEnd("interrupted", kExitInterrupted);
  ReleasePortsBeforeExit();
  // The output may be stalled: it gets half a second, no more.
  (void)ConsoleOutputFinish(500);
  // The worker may be inside a platform call; end without unwinding it.
  std::_Exit(kExitInterrupted);
}

// The guard of a run that opens the PLC's link (burn and identify): only the
// main thread takes the interrupt signals, and it alone acts on them.
void StartGuard() {
  InstallInterruptHandler();
  // Every thread started from here inherits the signals held.
  HoldInterrupts(true);
  ConsoleOutputInit(StderrKindOf());
}

// Runs work on a thread of its own while the main thread draws the progress
// (burn) and watches for an interrupt, which ends the run unless the run has
// already said that it succeeded.
template <typename Work>
void RunWatched(Work work, bool progress, const ConsoleHost& host) {
  std::atomic<bool> done{false};
  std::thread worker([&work, &done] {
    work();
    done = true;
  });
  HoldInterrupts(false);
  // The status panel's 100 ms tick.
  while (!done) {
    if (progress) ConsoleProgressTick();
    for (int i = 0; i < 10 && !done; ++i) {
      if (InterruptRequested() && !host.Succeeded()) EndInterrupted();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  worker.join();
}

// The run is over; a stalled output can be left behind on Ctrl-C without
// hiding how it ended.
int EndRun(int status) {
  while (!ConsoleOutputFinish(100)) {
    if (InterruptRequested()) std::_Exit(status);
  }
  return status;
}

int Burn(const ConsoleOptions& options) {
  StartGuard();
  std::vector<uint8_t> image;
  bool imageMissing = false;
  if (options.imageGiven) {
    std::string why;
    imageMissing =
        !ReadImageFile(options.image.c_str(), SizeRuleOf(options.model).limit, &image, &why);
    if (imageMissing)
      ConsolePrintNote(("plcfw: cannot read " + options.image + ": " + why).c_str());
  }
  SelectModel(options.model);
  (void)std::snprintf(selectedPLC, sizeof selectedPLC, "%s", PlcName(options.model));
  SelectPort(options);

  ElapsedTicker ticker;
  ConsoleHost host(options, &ticker, options.imageGiven && !imageMissing ? &image : nullptr,
                   imageMissing);
  RecordingHost recorder(host, options.imageGiven ? options.image : EmbeddedFirmwareName(),
                         options.imageGiven);
  BurnLogBegin("burn", options.model, RecordPortLabel(options));
  // As the window does: the seconds start counting, then the burn thread.
  ticker.Start();
  RunWatched([&recorder] { StartBurn(recorder); }, true, host);
  ticker.Stop();
  ConsoleEndProgress();
  const int status = host.ExitStatus();
  BurnLogEnd(recorder.Result(status), status);
  return EndRun(status);
}

int IdentifyGuarded(const ConsoleOptions& options) {
  StartGuard();
  ConsoleHost host(options, nullptr, nullptr, false);
  int status = kExitFailed;
  RunWatched([&] { status = Identify(options, host); }, false, host);
  return EndRun(status);
}

}  // namespace

// Without --port a serial model takes the first listed port, as the window
// does; say which, so that a wrong guess is seen before the PLC is erased.
void SelectPort(const ConsoleOptions& options) {
  if (IsUsbModel(options.model)) {
    SetSelectedComPort("USB");
  } else if (options.portGiven) {
    SetSelectedComPort(options.port.c_str());
  } else {
    PortList list{};
    ListComPorts(&list);
    SetSelectedComPort(list.count > 0 ? list.names[0] : "");
    std::string note = list.count > 0 ? std::string("plcfw: using port ") + list.names[0]
                                      : "plcfw: no serial port is listed; name one with --port";
    for (int i = 1; i < list.count; ++i) {
      note += (i == 1 ? " (also listed: " : ", ");
      note += list.names[i];
    }
    if (list.count > 1) note += "; choose with --port)";
    ConsolePrintNote(note.c_str());
  }
}

int PlcfwMain(int argc, const char* const* argv) {
  OpenMissingStandardDescriptors();
  const char* imageName = EmbeddedFirmwareName();
  char defaultModel[kPlcNameSize] = {};
  ModelPrefixOf(imageName, defaultModel, sizeof defaultModel);

  ConsoleOptions options;
  std::string error;
  if (!ParseConsoleOptions(argc, argv, defaultModel, &options, &error) ||
      PromptRefused(options, &error)) {
    (void)std::fprintf(stderr, "plcfw: %s\nTry 'plcfw --help' for more information.\n",
                       error.c_str());
    return kExitUsage;
  }
  const bool recorded =
      options.action == ConsoleAction::kBurn || options.action == ConsoleAction::kIdentify;
  // Before anything touches the PLC: a record that cannot be kept is a usage error.
  if (recorded && !options.log.empty() && !BurnLogOpen(options.log.c_str(), &error)) {
    (void)std::fprintf(stderr, "plcfw: %s\n", error.c_str());
    return kExitUsage;
  }
  switch (options.action) {
    case ConsoleAction::kIdentify:
      return IdentifyGuarded(options);
    case ConsoleAction::kHelp:
      (void)std::fputs(ConsoleUsage(), stdout);
      return kExitSuccess;
    case ConsoleAction::kVersion:
      std::printf("plcfw %s\nbuilt-in image %s (%u bytes) for %s\n", PLC_VERSION, imageName,
                  EmbeddedFirmwareImage().length, defaultModel);
      return kExitSuccess;
    case ConsoleAction::kListModels:
      ListModels();
      return kExitSuccess;
    case ConsoleAction::kListPorts:
      ListPorts();
      return kExitSuccess;
    case ConsoleAction::kBurn:
      break;
  }
  return Burn(options);
}

}  // namespace plc
