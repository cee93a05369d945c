// Standard output carries the message lines, standard error the progress
// line, the notes and the trace.  On a terminal the progress line is redrawn
// in place, so every other output first clears it.  Lines are queued for a
// writer thread and never wait for the output; when it falls behind, trace
// and progress lines are dropped (and counted), messages and notes are kept.
#pragma once

namespace plc {

// Standard error as the progress line sees it: on a terminal the line is
// redrawn with "\r" and cleared with the escape sequence ESC [ K, or with
// spaces where the terminal shows escape sequences as text.
enum class StderrKind { kNotTerminal, kTerminal, kTerminalWithoutEscapes };

// Starts the writer thread (call it with the interrupt signals held).
void ConsoleOutputInit(StderrKind stderrKind);
// Waits up to milliseconds for every queued line to be written, then stops
// the writer.  False when the output did not take them in time (the writer
// is left running: end the process without waiting for it).
bool ConsoleOutputFinish(int milliseconds);
// A message line on standard output.
void ConsolePrintMessage(const char* caption, const char* text);
// A line of its own on standard error (notices, the prompt's hint).
void ConsolePrintNote(const char* line);
// A trace line on standard error; dropped when the output falls behind.
void ConsolePrintTrace(const char* line);
// Hides the progress line (while a prompt waits, and at the end).
void ConsoleSuspendProgress(bool suspended);
// Draws the progress (terminal) or prints it when due (not a terminal).
void ConsoleProgressTick();
// Clears the progress line so that the terminal is left clean.
void ConsoleEndProgress();

}  // namespace plc
