#include "ui/console/run_guard.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "port/link.h"
#include "state/messages.h"
#include "state/run.h"
#include "ui/console/advice.h"
#include "ui/console/options.h"
#include "ui/console/output.h"
#include "ui/console/record.h"
#include "ui/console/terminal.h"

namespace plc {

namespace {
std::atomic<bool> ending{false};
// Set before the workers start, read once an interrupt ends the run.
SeveralInterruptedEnd severalEnd;
std::atomic<const Run*> guardedRun{nullptr};
}  // namespace

void SetSeveralInterruptedEnd(SeveralInterruptedEnd end) {
  severalEnd = std::move(end);
}

void EndInterruptedRun() {
  // The main thread and the worker may both get here: one ends the run.
  if (ending.exchange(true)) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  // The handler has stopped the links already; this only makes sure of it
  // for an interrupt that came another way.
  StopAllLinks(true);
  ConsoleEndProgress();
  if (severalEnd.notes) {
    severalEnd.notes();
    ReleasePortsBeforeExit();
    (void)ConsoleOutputFinish(500);
    if (severalEnd.records) severalEnd.records();
    std::_Exit(kExitInterrupted);
  }
  const Run* run = guardedRun.load();
  const bool withoutProgram = run != nullptr && run->plcWithoutProgram;
  const char* note = InterruptedNote(withoutProgram);
  ConsolePrintNote((std::string("plcfw: ") + note).c_str());
  ReleasePortsBeforeExit();
  // The output may be stalled: it gets half a second, no more.
  (void)ConsoleOutputFinish(500);
  // The record stands last (--log -); the note is its message.
  BurnLogOutcome({Reason::kInterrupted, run != nullptr && run->eraseAccepted});
  BurnLogEnd("interrupted", kExitInterrupted,
             withoutProgram ? kWarningCaption : kInformationCaption, note);
  // The worker may be inside a platform call; end without unwinding it.
  std::_Exit(kExitInterrupted);
}

void GuardRun(const Run* run) {
  guardedRun.store(run);
}

void StartGuard() {
  InstallInterruptHandler();
  // Every thread started from here inherits the signals held.
  HoldInterrupts(true);
  ConsoleOutputInit(StderrKindOf(), StderrIsRegularFile());
}

void RunWatched(const std::function<void()>& work, bool drawProgress,
                const std::function<bool()>& resultStands) {
  std::atomic<bool> done{false};
  std::thread worker;
  try {
    worker = std::thread([&work, &done] {
      work();
      done = true;
    });
  } catch (const std::system_error&) {
    // No thread to spare: the work runs here.  An interrupt still stops
    // the links at once; it is acted on when the work returns.
    HoldInterrupts(false);
    work();
    HoldInterrupts(true);
    return;
  }
  HoldInterrupts(false);
  // The status panel's 100 ms tick.
  while (!done) {
    if (drawProgress) ConsoleProgressTick();
    for (int i = 0; i < 10 && !done; ++i) {
      if (InterruptRequested() && !resultStands()) EndInterruptedRun();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  worker.join();
  // Threads started after this one keep the signals held again.
  HoldInterrupts(true);
}

int EndRun(int status, const char* result) {
  // Only the main thread is left to take a signal from here on.
  HoldInterrupts(false);
  while (!ConsoleOutputFinish(100)) {
    if (InterruptRequested()) {
      BurnLogEnd(result, status);
      std::_Exit(status);
    }
  }
  // After every message line: a record on standard output (--log -) comes
  // last, and a file that standard output also writes is not written over.
  BurnLogEnd(result, status);
  return status;
}

}  // namespace plc
