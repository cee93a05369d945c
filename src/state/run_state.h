// The run state: the process-wide variables that the window (or another
// front end) and the burn thread share.
//
// Every value that one thread writes while the other reads is atomic.  The
// status panel only needs a value at most one tick old, so relaxed order is
// enough; Shared<T> keeps the call sites as plain as integer variables.
#pragma once

#include <atomic>
#include <cstdint>

#include "state/link_handle.h"
#include "state/models.h"

namespace plc {

template <typename T>
class Shared {
 public:
  constexpr Shared() noexcept : value_(T{}) {}
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
  Shared& operator=(T v) noexcept {
    value_.store(v, std::memory_order_relaxed);
    return *this;
  }
  // Only one thread ever adds, so a relaxed read-modify-write is exact.
  Shared& operator+=(T v) noexcept {
    value_.fetch_add(v, std::memory_order_relaxed);
    return *this;
  }

 private:
  std::atomic<T> value_;
};

// Selection, written by the front end before a run.
extern Shared<int32_t> selectedPLCIdx;
extern Shared<uint16_t> selectedPLCID;
// Front end only: the model name shown in the model list, as long as a
// name of the table can be.
extern char selectedPLC[kPlcNameSize];
// The port text is chosen on the window thread, also while a run is under
// way, and read by the burn thread at the open and at a power-cycle reopen,
// so it is only ever copied whole under a lock.
inline constexpr int kComPortSize = 10;
void SetSelectedComPort(const char* text);  // cut to 9 characters
void GetSelectedComPort(char (&out)[kComPortSize]);
extern Shared<int32_t> ComSelidx;
extern int32_t totalComPort;  // front end only

// Selects a model row: sets selectedPLCIdx and selectedPLCID together.
void SelectModel(int row);

// Link and image, burn thread only.
extern LinkHandle& hSerial;
extern const uint8_t* fin;
extern uint32_t fileLength;
extern const void* hGLOBAL;
extern Shared<uint8_t> VM_fu_version;
// The PLC has no working program: in this run it accepted the
// erase/enter-boot command or the bootloader's ERASE, or it answered from its
// bootloader.  False at the start of a run and again once the last block is
// acknowledged.  A front end that ends a run early tells the user by it.
extern Shared<bool> plcWithoutProgram;
// The PLC accepted the erase/enter-boot command or ERASE in this run (and
// stays so after a success): whether the run may have cost it its program.
extern Shared<bool> eraseAccepted;
// A dry run: the burn stops before its first writing request.  Front end
// only, set before a run.
extern Shared<bool> checkOnly;
// The device type ID of the last whole ID reply, for what a front end adds
// to a failure; -1 from the start of a run until an ID reply comes.
extern Shared<int32_t> reportedPLCID;

// Status values, written by the burn thread, read by the status panel.
extern Shared<int32_t> flashStatus;  // 0 idle, 1 erasing, 2 programming
extern Shared<int32_t> progress;     // percent of the current phase
extern Shared<int32_t> errCounter;
extern Shared<int32_t> totalErrCounter;
extern Shared<int32_t> elapsedTime;  // seconds; the front end's timer adds 1

inline constexpr int32_t kFlashIdle = 0;
inline constexpr int32_t kFlashErasing = 1;
inline constexpr int32_t kFlashProgramming = 2;

// The phase and its percent are set through these, so that a front end
// that prints a line per change (rather than sampling) misses none, and
// sees a new phase at 0 % of it, never at the last phase's percent.
void StartPhase(int32_t status);  // the phase at 0 %
void SetProgress(int32_t percent);

// While Programming: bytes of the image acknowledged, and to be sent.
extern Shared<uint32_t> bytesSent;
extern Shared<uint32_t> bytesToSend;

// What the burn is doing while the bar stands still (5 to 20 s of a probe
// that gets no answer, the pause after the replug), for a front end to name
// it.  Kind and number live in one atomic: a reader never pairs the kind of
// one activity with the number of another.
inline constexpr int32_t kActivityNone = 0;
inline constexpr int32_t kActivityProbing = 1;  // number: the try, from 1
inline constexpr int32_t kActivityWaiting = 2;  // number: the seconds
struct Activity {
  int32_t kind;
  int32_t number;
};
void SetActivity(int32_t kind, int32_t number);
// The try of the exchange under way: changes the number of a named
// activity, nothing while none is named (the transfer's frames).
void SetActivityTry(int32_t number);
Activity CurrentActivity();

// Called on the burn thread after the phase, the percent or the activity
// changed; nullptr for none.  Front end only.
using StatusObserver = void (*)();
void SetStatusObserver(StatusObserver observer);

// Sets the activity and the byte counts to none, then elapsedTime,
// flashStatus, progress, errCounter, totalErrCounter to 0, in that order.
// Tells no observer: the run is over.
void ClearStatusValues();

}  // namespace plc
