// What the console needs of the platform (terminal_posix.cpp,
// terminal_win32.cpp): the standard descriptors, Ctrl-C, the prompt's
// Enter, the port hand-back at an interrupted exit.
#pragma once

#include "ui/console/output.h"

namespace plc {

// Opens the standard descriptors that are not open on the null device, so
// that nothing the program opens later becomes one of them.  Called first.
void OpenMissingStandardDescriptors();
// What standard error is.  A platform whose terminal needs it switched on
// for escape sequences does that here.
StderrKind StderrKindOf();
// Standard error is a regular file (which never stalls a writer for long).
bool StderrIsRegularFile();
// The width of the terminal on standard error in columns (the COLUMNS
// variable where the terminal does not say); 0 when unknown.
int StderrColumns();
// Ctrl-C (and a termination request) only sets a flag that the main thread
// polls; the burn thread is never interrupted in the middle of a call.  A
// signal that was ignored at start stays ignored, and a closed output only
// makes writes fail.
void InstallInterruptHandler();
// Holds (true) or releases the interrupt signals on the calling thread.
// Threads started while they are held keep them held, so that only the main
// thread takes them.
void HoldInterrupts(bool hold);
bool InterruptRequested();
// Ends the run as Ctrl-C does (end of input at a prompt).
void RequestInterrupt();
bool StdinIsTerminal();
// Discards what was typed before, then waits for Enter; false at the end
// of input.
bool WaitForEnter();
// Gives the port back to other programs before the process ends mid-run.
void ReleasePortsBeforeExit();

}  // namespace plc
