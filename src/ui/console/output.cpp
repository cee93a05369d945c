#include "ui/console/output.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ui/console/json_output.h"
#include "ui/console/progress.h"
#include "ui/console/terminal.h"

namespace plc {

// Every line goes through one bounded queue that a writer thread drains.
// The burn thread and the main thread only copy a line into it: a terminal
// on hold, a pager that stopped reading or a pipe whose reader went away
// blocks the writer alone, never the transfer and never Ctrl-C.

namespace {

enum class Kind : unsigned char { kMessage, kNote, kTrace, kProgress, kClear };

constexpr size_t kQueueSize = 64 * 1024;
// Trace and progress lines stop short of this much room, so that the run's
// messages and notes always find a place behind them.
constexpr size_t kKeptReserve = 8 * 1024;
constexpr size_t kHeaderSize = 3;    // kind, length (two bytes)
constexpr size_t kMaxLine = 4096;    // longer lines are cut
constexpr int kDefaultColumns = 80;  // a terminal that does not say its width

using Clock = std::chrono::steady_clock;
// The trace's times count from here.
const Clock::time_point programStart = Clock::now();

struct OutputQueue {
  std::mutex lock;
  std::condition_variable wake;     // for the writer: a line or the stop
  std::condition_variable drained;  // for Finish: everything written
  std::condition_variable room;     // for a trace to a file: a line taken
  char bytes[kQueueSize];
  size_t head = 0;  // bytes taken so far
  size_t tail = 0;  // bytes put so far
  bool writing = false;
  bool stop = false;
  bool running = false;  // a writer thread takes the lines
  StderrKind stderrKind = StderrKind::kNotTerminal;
  bool blockWhenFull = false;  // standard error is a regular file
  bool suspended = false;
  unsigned long dropped = 0;
  ProgressLog progressLog;
  // The burn's progress: what the probe talks to, when the phase began (for
  // the rate), the counters frozen at the run's end, the last line printed.
  bool progressStarted = false;
  std::string probeTarget;
  PhaseClock phase;
  bool frozen = false;
  StatusSnapshot finalStatus{};
  std::string lastLine;
  // The run whose progress is shown, from ConsoleStartProgress on.
  Run* run = nullptr;
  std::thread writer;
};

OutputQueue q;

thread_local ThreadPlc threadPlc;

// "1.4: line" on a worker's thread of a run of several, else the line.
std::string OfThisPlc(const char* line) {
  if (threadPlc.label.empty()) return line;
  return threadPlc.label + ": " + line;
}

void PutBytesLocked(const char* data, size_t count) {
  for (size_t i = 0; i < count; ++i) q.bytes[(q.tail + i) % kQueueSize] = data[i];
  q.tail += count;
}

void TakeBytesLocked(char* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = q.bytes[(q.head + i) % kQueueSize];
  q.head += count;
}

bool FitsLocked(size_t length, size_t room) {
  return q.tail - q.head + kHeaderSize + length <= room;
}

void PutEntryLocked(Kind kind, const char* text, size_t length) {
  const char header[kHeaderSize] = {static_cast<char>(kind), static_cast<char>(length & 0xFF),
                                    static_cast<char>(length >> 8)};
  PutBytesLocked(header, kHeaderSize);
  PutBytesLocked(text, length);
  q.wake.notify_one();
}

// Says once how many lines were dropped, when the output has taken in half
// of the queue again (force: at the end, in the kept room).  Until then the
// trace stays cut, so that the notice stands where the gap is.
void ReportDroppedLocked(bool force) {
  if (q.dropped == 0) return;
  char note[128];
  const int n = std::snprintf(note, sizeof note,
                              "plcfw: %lu trace and progress lines dropped: the output was not "
                              "read fast enough",
                              q.dropped);
  const size_t length = n < 0 ? 0 : static_cast<size_t>(n);
  if (!FitsLocked(length, force ? kQueueSize : kQueueSize / 2)) return;
  PutEntryLocked(Kind::kNote, note, length);
  q.dropped = 0;
}

void WriteEntry(Kind kind, const char* line, size_t length, StderrKind stderrKind,
                size_t& shownWidth, size_t& shownLines);

void PutLocked(std::unique_lock<std::mutex>& hold, Kind kind, const char* text) {
  size_t length = std::strlen(text);
  if (length > kMaxLine) length = kMaxLine;
  if (!q.running) {
    // Before and after a run nothing else writes: straight out.
    size_t shownWidth = 0;
    size_t shownLines = 0;
    WriteEntry(kind, text, length, q.stderrKind, shownWidth, shownLines);
    return;
  }
  ReportDroppedLocked(false);
  const bool droppable = kind == Kind::kTrace || kind == Kind::kProgress;
  if (droppable && q.blockWhenFull) {
    // A file takes the lines at the disk's pace: waiting costs the burn
    // little, and the file keeps the whole trace.
    q.room.wait(hold, [length] { return FitsLocked(length, kQueueSize - kKeptReserve); });
  }
  // A kept line finds no room only when 8 KiB of messages wait, which a run
  // never writes; waiting here would stall the burn thread.
  const bool fits = droppable ? q.dropped == 0 && FitsLocked(length, kQueueSize - kKeptReserve)
                              : FitsLocked(length, kQueueSize);
  if (!fits) {
    ++q.dropped;
    return;
  }
  PutEntryLocked(kind, text, length);
}

void Put(Kind kind, const char* text) {
  std::unique_lock<std::mutex> hold(q.lock);
  PutLocked(hold, kind, text);
}

// The run state now, or as it was at the run's end; the phase's time.
StatusSnapshot SnapshotLocked() {
  if (q.frozen) return q.finalStatus;
  StatusSnapshot s = TakeStatusSnapshot(*q.run);
  q.phase.Time(s);
  return s;
}

void PutProgressLocked(std::unique_lock<std::mutex>& hold, const StatusSnapshot& s) {
  const bool terminal = q.stderrKind != StderrKind::kNotTerminal;
  int width = 0;
  if (terminal) {
    width = StderrColumns();
    if (width <= 0) width = kDefaultColumns;
  }
  char line[kMaxLine];
  FormatProgressLine(s, q.probeTarget.c_str(), width, line, sizeof line);
  // Off a terminal the same line twice says nothing new.
  if (!terminal && q.lastLine == line) return;
  q.lastLine = line;
  PutLocked(hold, Kind::kProgress, line);
}

// On the burn thread, as the phase, the percent or the activity changes.
void OnStatusChange(void*) {
  std::unique_lock<std::mutex> hold(q.lock);
  if (!q.progressStarted || q.frozen) return;
  const StatusSnapshot s = SnapshotLocked();
  if (q.stderrKind != StderrKind::kNotTerminal || q.suspended) return;
  if (ProgressLineDue(q.progressLog, s)) PutProgressLocked(hold, s);
}

// Blanks what is left of a shown line of that width past column from.
void PadWithSpaces(size_t from, size_t shownWidth) {
  for (size_t i = from; i < shownWidth; ++i) (void)std::fputc(' ', stderr);
}

// On a terminal the progress line is redrawn in place, so every other
// output first clears it.  shownWidth: the width of the line shown, 0 for
// none; shownLines: the lines of a block of several PLCs' progress (only
// drawn where the terminal takes escape sequences).
void WriteEntry(Kind kind, const char* line, size_t length, StderrKind stderrKind,
                size_t& shownWidth, size_t& shownLines) {
  FILE* out = kind == Kind::kMessage ? stdout : stderr;
  const bool escapes = stderrKind == StderrKind::kTerminal;
  if (shownWidth > 0 && (kind != Kind::kProgress || shownLines > 1)) {
    if (escapes) {
      // A block of several PLCs' lines: back to its first line, then clear
      // to the end of the screen.
      if (shownLines > 1) {
        (void)std::fprintf(stderr, "\r\033[%luA\033[J", static_cast<unsigned long>(shownLines - 1));
      }
      (void)std::fputs("\r\033[K", stderr);
    } else {
      (void)std::fputc('\r', stderr);
      PadWithSpaces(0, shownWidth);
      (void)std::fputc('\r', stderr);
    }
    (void)std::fflush(stderr);
    shownWidth = 0;
    shownLines = 0;
  }
  if (kind == Kind::kClear) return;
  if (kind == Kind::kProgress && stderrKind != StderrKind::kNotTerminal) {
    (void)std::fprintf(stderr, "\r%s", line);
    if (escapes) {
      (void)std::fputs("\033[K", stderr);
    } else {
      PadWithSpaces(length, shownWidth);
    }
    shownWidth = length > 0 ? length : 1;
    shownLines = 1 + static_cast<size_t>(std::count(line, line + length, '\n'));
  } else {
    (void)std::fwrite(line, 1, length, out);
    (void)std::fputc('\n', out);
  }
  // A failed write (a reader that went away) is dropped like any other.
  (void)std::fflush(out);
}

void WriterLoop() {
  static char line[kMaxLine + 1];
  size_t shownWidth = 0;
  size_t shownLines = 0;
  std::unique_lock<std::mutex> hold(q.lock);
  for (;;) {
    q.wake.wait(hold, [] { return q.stop || q.tail != q.head; });
    if (q.tail == q.head) return;
    unsigned char header[kHeaderSize];
    TakeBytesLocked(reinterpret_cast<char*>(header), kHeaderSize);
    const size_t length = header[1] | static_cast<size_t>(header[2]) << 8;
    TakeBytesLocked(line, length);
    line[length] = '\0';
    q.room.notify_all();
    const StderrKind stderrKind = q.stderrKind;
    q.writing = true;
    hold.unlock();
    WriteEntry(static_cast<Kind>(header[0]), line, length, stderrKind, shownWidth, shownLines);
    hold.lock();
    q.writing = false;
    if (q.tail == q.head) q.drained.notify_all();
  }
}

}  // namespace

void ConsoleOutputInit(StderrKind stderrKind, bool stderrIsFile) {
  std::lock_guard<std::mutex> hold(q.lock);
  q.head = q.tail = 0;
  q.writing = q.stop = q.suspended = false;
  q.stderrKind = stderrKind;
  q.blockWhenFull = stderrIsFile;
  q.dropped = 0;
  q.progressLog = ProgressLog{};
  q.run = nullptr;
  if (!q.writer.joinable()) {
    try {
      q.writer = std::thread(WriterLoop);
    } catch (const std::system_error&) {
      return;  // no writer: every line goes straight out
    }
  }
  q.running = true;
}

bool ConsoleOutputFinish(int milliseconds) {
  std::unique_lock<std::mutex> hold(q.lock);
  ReportDroppedLocked(true);
  if (!q.drained.wait_for(hold, std::chrono::milliseconds(milliseconds),
                          [] { return q.tail == q.head && !q.writing; })) {
    return false;
  }
  q.stop = true;
  q.running = false;
  hold.unlock();
  q.wake.notify_one();
  if (q.writer.joinable()) q.writer.join();
  return true;
}

void ConsolePrintMessage(const char* caption, const char* text) {
  if (threadPlc.message) threadPlc.message(caption, text);
  // Under --json the lines go into the one object on standard output.
  if (JsonOutput()) {
    JsonTakeMessage(caption, text);
    return;
  }
  char line[kMaxLine];
  (void)std::snprintf(line, sizeof line, "%s: %s", caption, text);
  Put(Kind::kMessage, OfThisPlc(line).c_str());
}

void ConsolePrintNote(const char* line) {
  Put(Kind::kNote, OfThisPlc(line).c_str());
}

void ConsolePrintRunNote(const char* line) {
  Put(Kind::kNote, line);
}

void SetThreadPlc(ThreadPlc plc) {
  threadPlc = std::move(plc);
}

void ConsolePrintTrace(const char* line) {
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - programStart).count();
  char stamped[kMaxLine];
  (void)std::snprintf(stamped, sizeof stamped, "%6lld ms %s", ms, line);
  Put(Kind::kTrace, OfThisPlc(stamped).c_str());
}

void ConsoleSuspendProgress(bool suspend) {
  std::unique_lock<std::mutex> hold(q.lock);
  q.suspended = suspend;
  if (suspend) PutLocked(hold, Kind::kClear, "");
}

void ConsoleStartProgress(const char* probeTarget, Run& run) {
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.progressStarted = true;
    q.probeTarget = probeTarget;
    q.phase = PhaseClock{};
    q.frozen = false;
    q.progressLog = ProgressLog{};
    q.lastLine.clear();
    q.run = &run;
  }
  run.SetStatusObserver(OnStatusChange);
}

void ConsoleProgressTick() {
  std::unique_lock<std::mutex> hold(q.lock);
  if (q.suspended || q.stderrKind == StderrKind::kNotTerminal || q.run == nullptr) return;
  PutProgressLocked(hold, SnapshotLocked());
}

void ConsoleRunEnds() {
  if (threadPlc.runEnds) {
    threadPlc.runEnds();
    return;
  }
  std::unique_lock<std::mutex> hold(q.lock);
  if (!q.progressStarted || q.frozen || q.run == nullptr) return;
  q.finalStatus = SnapshotLocked();
  q.frozen = true;
  if (!q.suspended) PutProgressLocked(hold, q.finalStatus);
}

void ConsolePrintSummary(const char* result, uint32_t imageLength, double seconds) {
  int32_t errors = 0;
  {
    std::lock_guard<std::mutex> hold(q.lock);
    if (q.frozen) {
      errors = q.finalStatus.totalErrors;
    } else if (q.run != nullptr) {
      errors = q.run->totalErrCounter;
    }
  }
  char line[256];
  (void)std::snprintf(line, sizeof line,
                      "plcfw: result %s, image %lu bytes, time %.1f s, total errors %ld", result,
                      static_cast<unsigned long>(imageLength), seconds, static_cast<long>(errors));
  Put(Kind::kNote, line);
}

int ConsoleBlockWidth() {
  std::lock_guard<std::mutex> hold(q.lock);
  if (q.stderrKind != StderrKind::kTerminal) return 0;
  const int width = StderrColumns();
  return width > 0 ? width : kDefaultColumns;
}

void ConsoleDrawProgressBlock(const std::vector<std::string>& lines) {
  std::string block;
  for (const std::string& line : lines) block += (block.empty() ? "" : "\n") + line;
  std::unique_lock<std::mutex> hold(q.lock);
  if (q.suspended || q.stderrKind != StderrKind::kTerminal) return;
  PutLocked(hold, Kind::kProgress, block.c_str());
}

void ConsoleEndProgress() {
  std::unique_lock<std::mutex> hold(q.lock);
  if (q.run != nullptr) q.run->SetStatusObserver(nullptr);
  PutLocked(hold, Kind::kClear, "");
  q.suspended = true;
  q.progressStarted = false;
}

}  // namespace plc
