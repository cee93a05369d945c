#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "port/link.h"
#include "ui/console/terminal.h"

namespace plc {

namespace {

// The console's control handler runs on a thread of its own.
std::atomic<bool> interruptRequested{false};
// Set once the interrupted run has written its record and let go of the
// port: a closing console ends the process when the handler returns.
HANDLE runReleased = CreateEventA(nullptr, TRUE, FALSE, nullptr);

// The close, logoff and shutdown events allow about 5 s.
constexpr DWORD kCloseWaitMs = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // The links stop at once: the burn thread sends nothing more.
      StopAllLinks(true);
      interruptRequested.store(true);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      StopAllLinks(true);
      interruptRequested.store(true);
      if (runReleased != nullptr) (void)WaitForSingleObject(runReleased, kCloseWaitMs);
      return TRUE;
    default:
      return FALSE;
  }
}

// _isatty holds for every character device, NUL included: only a console
// answers GetConsoleMode.
bool IsConsole(DWORD standardHandle, DWORD* mode) {
  return GetConsoleMode(GetStdHandle(standardHandle), mode) != 0;
}

}  // namespace

void OpenMissingStandardDescriptors() {
  // A process started without a standard handle (a service, a detached
  // parent) gets the null device there, so that its own files and the
  // PLC's link never share a number with one.
  const struct {
    DWORD id;
    FILE* stream;
    const char* mode;
  } standard[] = {{STD_INPUT_HANDLE, stdin, "r"},
                  {STD_OUTPUT_HANDLE, stdout, "w"},
                  {STD_ERROR_HANDLE, stderr, "w"}};
  for (const auto& s : standard) {
    const HANDLE h = GetStdHandle(s.id);
    if (h != nullptr && h != INVALID_HANDLE_VALUE && _fileno(s.stream) >= 0) continue;
    if (std::freopen("NUL", s.mode, s.stream) == nullptr) continue;
    const intptr_t null = _get_osfhandle(_fileno(s.stream));
    if (null != -1) SetStdHandle(s.id, reinterpret_cast<HANDLE>(null));
  }
}

StderrKind StderrKindOf() {
  DWORD mode = 0;
  if (!IsConsole(STD_ERROR_HANDLE, &mode)) return StderrKind::kNotTerminal;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
      SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    return StderrKind::kTerminal;
  }
  // An older console shows the escape sequence as text.
  return StderrKind::kTerminalWithoutEscapes;
}

bool StderrIsRegularFile() {
  return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_DISK;
}

int StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) != 0) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  const char* columns = std::getenv("COLUMNS");
  return columns != nullptr ? std::atoi(columns) : 0;
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
  StopAllLinks(true);
  interruptRequested.store(true);
}

bool StdinIsTerminal() {
  DWORD mode = 0;
  return IsConsole(STD_INPUT_HANDLE, &mode);
}

bool WaitForEnter() {
  // An Enter typed during the run must not answer a prompt it never saw.
  if (StdinIsTerminal()) FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
  int c = 0;
  do {
    c = std::getchar();
  } while (c != '\n' && c != EOF);
  return c == '\n';
}

// The system closes a process's port handles when it ends; nothing is held
// beyond the run's own link.  A closing console waits for this point.
void ReleasePortsBeforeExit() {
  if (runReleased != nullptr) (void)SetEvent(runReleased);
}

}  // namespace plc
