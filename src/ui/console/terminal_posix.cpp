#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "port/link.h"
#include "port/link_posix.h"
#include "ui/console/terminal.h"

namespace plc {

namespace {

// Set by the handler, read by the main thread: an atomic that needs no lock
// is safe in a handler and between threads.
std::atomic<int> interruptRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

// Ctrl-\ too: a core dump would leave the port's settings changed and the
// run without a record.
constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The links stop here, not when the main thread next looks: the burn thread
// must not send the PLC one more frame once the user has asked to stop.
// Both stores are lock-free atomics, safe in a handler.
void OnInterrupt(int) {
  StopAllLinks(true);
  interruptRequested.store(1);
}

}  // namespace

void OpenMissingStandardDescriptors() {
  // A descriptor left closed by the caller (2>&-) would be the next one
  // open() returns: the PLC's link or the record file would become standard
  // error, and progress lines would go to the PLC.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) (void)close(null);  // fd was opened meanwhile
  }
}

StderrKind StderrKindOf() {
  return isatty(STDERR_FILENO) != 0 ? StderrKind::kTerminal : StderrKind::kNotTerminal;
}

bool StderrIsRegularFile() {
  struct stat st {};
  return fstat(STDERR_FILENO, &st) == 0 && S_ISREG(st.st_mode);
}

int StderrColumns() {
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = std::getenv("COLUMNS");
  return columns != nullptr ? std::atoi(columns) : 0;
}

void InstallInterruptHandler() {
  // A reader that goes away (| head) must not end a burn: the writes to it
  // fail and are dropped.
  (void)signal(SIGPIPE, SIG_IGN);
  // A record larger than the file size limit (ulimit -f) must fail as a
  // write, which is reported, not end a burn that succeeded.
  (void)signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signo : kInterruptSignals) {
    struct sigaction old {};
    // What the caller chose to ignore (nohup, a background job's SIGINT)
    // stays ignored.
    if (sigaction(signo, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    (void)sigaction(signo, &action, nullptr);
  }
}

void HoldInterrupts(bool hold) {
  sigset_t set;
  sigemptyset(&set);
  for (int signo : kInterruptSignals) sigaddset(&set, signo);
  (void)pthread_sigmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

bool InterruptRequested() {
  return interruptRequested.load() != 0;
}

void RequestInterrupt() {
  StopAllLinks(true);
  interruptRequested.store(1);
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) != 0;
}

bool WaitForEnter() {
  // An Enter typed during the run must not answer a prompt it never saw.
  if (isatty(STDIN_FILENO) != 0) (void)tcflush(STDIN_FILENO, TCIFLUSH);
  for (;;) {
    char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
  }
}

void ReleasePortsBeforeExit() {
  ReleaseHeldPorts();
}

}  // namespace plc
