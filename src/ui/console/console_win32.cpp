#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "ui/console/console.h"

namespace {

// The console's control handler runs on a thread of its own.
std::atomic<bool> interruptRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      interruptRequested.store(true);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

void InstallInterruptHandler() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() {
  return interruptRequested.load();
}

// The system closes a process's port handles when it ends; nothing is held
// beyond the run's own link.
void ReleasePortsBeforeExit() {}
