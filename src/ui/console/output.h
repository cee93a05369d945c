// Standard output carries the message lines, standard error the progress
// line, the notes and the trace.  On a terminal the progress line is redrawn
// in place, so every other output first clears it.  Lines are queued for a
// writer thread and never wait for the output; when it falls behind, trace
// and progress lines are dropped (and counted), messages and notes are kept.
// A regular file never stalls for long: written to one, the trace waits for
// room instead, so that the file holds every line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plc {

class Run;

// Standard error as the progress line sees it: on a terminal the line is
// redrawn with "\r" and cleared with the escape sequence ESC [ K, or with
// spaces where the terminal shows escape sequences as text.
enum class StderrKind { kNotTerminal, kTerminal, kTerminalWithoutEscapes };

// Starts the writer thread (call it with the interrupt signals held).
// stderrIsFile: standard error is a regular file, which takes every line.
void ConsoleOutputInit(StderrKind stderrKind, bool stderrIsFile = false);
// Waits up to milliseconds for every queued line to be written, then stops
// the writer.  False when the output did not take them in time (the writer
// is left running: end the process without waiting for it).
bool ConsoleOutputFinish(int milliseconds);
// A message line on standard output.
void ConsolePrintMessage(const char* caption, const char* text);
// A line of its own on standard error (notices, the prompt's hint).
void ConsolePrintNote(const char* line);
// A note about the whole run of several PLCs, without the label of the
// thread's PLC.
void ConsolePrintRunNote(const char* line);
// A trace line on standard error after the milliseconds since the program
// started; dropped when the output falls behind (but for a regular file).
void ConsolePrintTrace(const char* line);
// Hides the progress line (while a prompt waits, and at the end).
void ConsoleSuspendProgress(bool suspended);
// A burn of run begins: probeTarget names what the probe talks to ("ttyS0 at
// 9600 7E1").  Where standard error is no terminal, a line is printed from
// here on as each phase starts and ends, at each 10 % and for each named
// wait, as the burn thread makes the change (not when a tick samples it).
void ConsoleStartProgress(const char* probeTarget, Run& run);
// Draws the progress line on a terminal (the 100 ms tick).
void ConsoleProgressTick();
// The run has ended (its last message follows): the counters as they are
// now stand for the rest of the run, before the engine clears them; one
// last progress line shows them.
void ConsoleRunEnds();
// The line that sums up a burn: result, image length, time, errors.
void ConsolePrintSummary(const char* result, uint32_t imageLength, double seconds);
// A run of several PLCs on a terminal that takes escape sequences: the
// columns each PLC's progress line may fill; 0 elsewhere, where each PLC
// prints its own lines with its label.
int ConsoleBlockWidth();
// Draws the PLCs' progress lines together in place (the 100 ms tick of a
// run of several); nothing while the progress is hidden.
void ConsoleDrawProgressBlock(const std::vector<std::string>& lines);
// The PLC of the calling thread in a run of several: every message line,
// note and trace line the thread prints starts with the PLC's label
// ("1.4: "), each message is also told to message (caption, text), and the
// run's end (ConsoleRunEnds) goes to runEnds instead of the one progress
// line.  Set at the start of a worker's thread; a thread without one is the
// one PLC of a run of one.
struct ThreadPlc {
  std::string label;
  std::function<void(const char*, const char*)> message;
  std::function<void()> runEnds;
};
void SetThreadPlc(ThreadPlc plc);
// Clears the progress line so that the terminal is left clean; the burn's
// changes print nothing more.
void ConsoleEndProgress();

}  // namespace plc
