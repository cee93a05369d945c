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

// A closed pipe makes writes fail here without a signal; a process started
// with Ctrl-C disabled does not receive the event.
void InstallInterruptHandler() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// The control events arrive on a thread of their own, not on ours.
void HoldInterrupts(bool) {}

bool InterruptRequested() {
  return interruptRequested.load();
}

void RequestInterrupt() {
  interruptRequested.store(true);
}

bool StdinIsTerminal() {
  return _isatty(_fileno(stdin)) != 0;
}

bool WaitForEnter() {
  // An Enter typed during the run must not answer a prompt it never saw.
  if (_isatty(_fileno(stdin)) != 0) FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
  int c = 0;
  do {
    c = std::getchar();
  } while (c != '\n' && c != EOF);
  return c == '\n';
}

// The system closes a process's port handles when it ends; nothing is held
// beyond the run's own link.
void ReleasePortsBeforeExit() {}
