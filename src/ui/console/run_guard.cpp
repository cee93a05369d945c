#include "ui/console/run_guard.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "burn/burn.h"
#include "port/ports.h"
#include "ui/console/console_host.h"
#include "ui/console/options.h"
#include "ui/console/output.h"
#include "ui/console/record.h"
#include "ui/console/terminal.h"

namespace plc {

namespace {

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

}  // namespace

void StartGuard() {
  InstallInterruptHandler();
  // Every thread started from here inherits the signals held.
  HoldInterrupts(true);
  ConsoleOutputInit(StderrKindOf());
}

void RunWatched(const std::function<void()>& work, bool progress, const ConsoleHost& host) {
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

int EndRun(int status) {
  while (!ConsoleOutputFinish(100)) {
    if (InterruptRequested()) std::_Exit(status);
  }
  return status;
}

}  // namespace plc
