// plcfw, the console front end: the burn engine with message boxes printed
// as lines on standard output and the status panel drawn as one line of
// progress on standard error.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "burn/host.h"
#include "port/link.h"
#include "port/ports.h"

namespace plc {

// ---- Command line -------------------------------------------------------

enum class ConsoleAction { kBurn, kIdentify, kHelp, kVersion, kListPorts, kListModels };

struct ConsoleOptions {
  ConsoleAction action = ConsoleAction::kBurn;
  int model = -1;  // row of the model table
  bool portGiven = false;
  std::string port;
  bool imageGiven = false;
  std::string image;
  bool yes = false;
  bool trace = false;
  std::string log;  // --log FILE: the burn record; empty for none
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 3;

// Fills options from the arguments; returns false with a one-line reason in
// error for a usage error.  defaultModel is the model the image is for.
bool ParseConsoleOptions(int argc, const char* const* argv, const char* defaultModel,
                         ConsoleOptions* options, std::string* error);
// The --help text.
const char* ConsoleUsage();
// "LM4, LQ4, ..." : the 24 model names.
std::string ModelNameList();

// ---- Output -------------------------------------------------------------
// Standard output carries the message lines, standard error the progress
// line, the notes and the trace.  On a terminal the progress line is redrawn
// in place, so every other output first clears it.  Lines are queued for a
// writer thread and never wait for the output; when it falls behind, trace
// and progress lines are dropped (and counted), messages and notes are kept.

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

struct StatusSnapshot {
  int32_t elapsed;
  int32_t status;
  int32_t progress;
  int32_t errors;
  int32_t totalErrors;
};
StatusSnapshot TakeStatusSnapshot();
const char* PhaseName(int32_t flashStatus);
// The one-line picture of the status panel.
void FormatProgressLine(const StatusSnapshot& s, char* out, size_t outSize);

// When not on a terminal: a line per phase change and per 10 %.  A run
// starts idle at 0 %, which needs no line of its own.
struct ProgressLog {
  int32_t lastStatus = 0;
  int32_t lastTenth = 0;
};
bool ProgressLineDue(ProgressLog& log, const StatusSnapshot& s);

// ---- Trace --------------------------------------------------------------

// "3A 30 31  |:01|": the bytes in hex and as text, non-printing as '.'.
std::string HexAndText(const uint8_t* data, uint32_t count);

// A link that prints every request and reply on standard error.
class TraceLink : public Link {
 public:
  explicit TraceLink(LinkHandle inner) : inner_(std::move(inner)) {}
  uint32_t Write(const uint8_t* data, uint32_t count) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  void ApplyLineSettings(const LineSettings& settings) override;
  void ApplyTimeouts(const Timeouts& timeouts) override;

 private:
  LinkHandle inner_;  // closed with the trace link
};

// ---- The host -----------------------------------------------------------

// Adds a second to elapsedTime every second from Start until Stop.
class ElapsedTicker {
 public:
  ElapsedTicker() = default;
  ElapsedTicker(const ElapsedTicker&) = delete;
  ElapsedTicker& operator=(const ElapsedTicker&) = delete;
  ~ElapsedTicker() { Stop(); }
  void Start();
  void Stop();

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

class ConsoleHost : public Host {
 public:
  // image: the bytes of --image, or nullptr for the embedded image;
  // imageMissing when --image could not be read.
  ConsoleHost(const ConsoleOptions& options, ElapsedTicker* ticker,
              const std::vector<uint8_t>* image, bool imageMissing);

  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override;
  void EnableStartButton(bool enabled) override;
  void KillElapsedTimer() override;
  void PauseSeconds(int seconds) override;
  LinkHandle OpenComLink(const char* portName) override;
  const char* ComLinkLabel(const char* portName) override;
  LinkHandle OpenUsbLink() override;
  FirmwareImage LoadFirmwareImage() override;

  // 0 after the success message, 1 after an error (or no message at all).
  int ExitStatus() const;
  // The success message is out: the run's result stands, whatever follows.
  bool Succeeded() const { return sawSuccess_; }

 private:
  LinkHandle Traced(LinkHandle link) const;

  const ConsoleOptions& options_;
  ElapsedTicker* ticker_;
  const std::vector<uint8_t>* image_;
  bool imageMissing_;
  std::atomic<bool> sawError_{false};
  std::atomic<bool> sawSuccess_{false};
};

// Reads an --image file, at most limit bytes plus one (enough for the size
// check to refuse it); false when it cannot be read or is empty, with the
// reason in the system's words in why.
bool ReadImageFile(const char* path, uint32_t limit, std::vector<uint8_t>* out, std::string* why);

// Runs the whole program; main only calls this.
int PlcfwMain(int argc, const char* const* argv);
// Selects the port of a run (burn or identify): "USB", --port, or the first
// listed serial port, which it names on standard error.
void SelectPort(const ConsoleOptions& options);

// The --list-ports text: a port a line, and beside a PLC's USB device its
// stable name ("ttyACM0  /dev/serial/by-path/...").  A PLC device that the
// port list does not hold gets a line of its own.
std::string PortListText(const PortList& ports, const UsbPortList& plcDevices);

// ---- Identify (identify.cpp) and the burn record (burn_log.cpp) ---------

// One fact of the identify report: a line "Label: text" on standard output
// and "key": "text" in the record.
struct ReportFact {
  std::string key;
  std::string label;
  std::string text;
};
struct IdentifyReport {
  std::vector<ReportFact> facts;
  int exitStatus;
};
// Opens the selected model's link through host, asks the PLC who it is
// (changing nothing on it) and describes the answer.
IdentifyReport IdentifySelected(Host& host, const char* portLabel);
// plcfw --identify through host: the report on standard output, the
// record, the status.
int Identify(const ConsoleOptions& options, ConsoleHost& host);

// The record of a run: one JSON object on one line, appended to the --log
// file when the run ends.  Without --log these do nothing.
// Opens the file; false (with the reason in error) when it cannot be opened.
bool BurnLogOpen(const char* path, std::string* error);
// Starts a record: the start time, the action ("burn" or "identify"), the
// model and the port or device path used.
void BurnLogBegin(const char* action, int model, const std::string& port);
void BurnLogImage(const std::string& name, const uint8_t* data, uint32_t length);
void BurnLogFacts(const std::vector<ReportFact>& facts);
// Appends the record with one write, flushes it to the disk and closes the
// file; the result is "success", "failed", "refused", "interrupted",
// "identified".  Later calls do nothing.
void BurnLogEnd(const char* result, int exitStatus);
// The record as one line (without its newline), for the tests.
std::string BurnLogLine(const char* result, int exitStatus);
// The port text a record names: the --port given, else the selected port
// ("USB" when the USB device is searched for).
std::string RecordPortLabel(const ConsoleOptions& options);

// Passes every call on to a host and notes for the record what the burn did:
// the image it loaded, whether it opened the link, its last message and the
// failure count at that message (the finish clears the count).
class RecordingHost : public Host {
 public:
  // imageName: the --image file (imageIsFile) or the built-in image's name.
  RecordingHost(Host& inner, const std::string& imageName, bool imageIsFile)
      : inner_(inner), imageName_(imageName), imageIsFile_(imageIsFile) {}
  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override;
  void EnableStartButton(bool enabled) override { inner_.EnableStartButton(enabled); }
  void KillElapsedTimer() override { inner_.KillElapsedTimer(); }
  void PauseSeconds(int seconds) override { inner_.PauseSeconds(seconds); }
  LinkHandle OpenComLink(const char* portName) override;
  const char* ComLinkLabel(const char* portName) override { return inner_.ComLinkLabel(portName); }
  LinkHandle OpenUsbLink() override;
  FirmwareImage LoadFirmwareImage() override;
  // "success", "failed" or "refused" (ended before any open of the link).
  const char* Result(int exitStatus) const;

 private:
  Host& inner_;
  std::string imageName_;
  bool imageIsFile_;
  std::atomic<bool> opened_{false};
};

// ---- Platform (console_posix.cpp, console_win32.cpp) --------------------

// Opens the standard descriptors that are not open on the null device, so
// that nothing the program opens later becomes one of them.  Called first.
void OpenMissingStandardDescriptors();
// What standard error is.  A platform whose terminal needs it switched on
// for escape sequences does that here.
StderrKind StderrKindOf();
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
