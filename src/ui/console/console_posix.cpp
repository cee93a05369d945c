#include <signal.h>
#include <unistd.h>

#include "port/link_posix.h"
#include "ui/console/console.h"

namespace {

volatile sig_atomic_t interruptRequested = 0;

void OnInterrupt(int) {
  interruptRequested = 1;
}

}  // namespace

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) != 0;
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Restarted calls: the prompt's read of standard input goes on waiting and
  // the main thread, which polls the flag, ends the process.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool InterruptRequested() {
  return interruptRequested != 0;
}

void ReleasePortsBeforeExit() {
  ReleaseHeldPorts();
}
