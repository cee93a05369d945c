// One run: the model row, the port, the link, the image cursor and the
// status values of one burn (or one identification).  Nothing of a run is
// process-wide: two runs in one process share no value, so two PLCs can be
// burnt at once, each from its own thread with its own Run.
//
// Every value that one thread writes while the other reads is atomic.  The
// status panel only needs a value at most one tick old, so relaxed order is
// enough; Shared<T> keeps the call sites as plain as integer variables.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "state/image.h"
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

inline constexpr int32_t kFlashIdle = 0;
inline constexpr int32_t kFlashErasing = 1;
inline constexpr int32_t kFlashProgramming = 2;

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

// Called on the burn thread after the phase, the percent or the activity
// changed, with the context it was set with.  Front end only.
using StatusObserver = void (*)(void* context);

class Run {
 public:
  Run() = default;
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Selection, written by the front end before a run.
  Shared<int32_t> selectedPLCIdx;
  Shared<uint16_t> selectedPLCID;
  // Front end only: the model name shown in the model list, as long as a
  // name of the table can be.
  char selectedPLC[kPlcNameSize] = {};
  Shared<int32_t> ComSelidx;
  int32_t totalComPort = 0;  // front end only
  // Selects a model row: sets selectedPLCIdx and selectedPLCID together.
  void SelectModel(int row);
  // The port this run opens: a COM port's name or path, or a USB device's
  // path ("" or "USB": the device the search finds).  The window chooses it
  // on its thread, also while a run is under way, and the burn thread reads
  // it at the open and at a reopen, so it is only ever copied whole under a
  // lock.
  void SetSelectedComPort(const std::string& text);
  std::string SelectedComPort() const;

  // Link and image, burn thread only.
  LinkHandle hSerial;
  const uint8_t* fin = nullptr;
  uint32_t fileLength = 0;
  Shared<uint8_t> VM_fu_version;
  // The PLC has no working program: in this run it accepted the
  // erase/enter-boot command or the bootloader's ERASE, or it answered from
  // its bootloader.  False at the start of a run and again once the last
  // block is acknowledged.  A front end that ends a run early tells the user
  // by it.
  Shared<bool> plcWithoutProgram;
  // The PLC accepted the erase/enter-boot command or ERASE in this run (and
  // stays so after a success): whether the run may have cost it its program.
  Shared<bool> eraseAccepted;
  // A dry run: the burn stops before its first writing request.  Front end
  // only, set before a run.
  Shared<bool> checkOnly;
  // The device type ID of the last whole ID reply, for what a front end adds
  // to a failure; -1 from the start of a run until an ID reply comes.
  Shared<int32_t> reportedPLCID;

  // Loads the image of the run: fin (the cursor, at the first byte) and
  // fileLength.
  // False when the image is missing.
  bool LoadFirmware(const FirmwareImage& image);
  // Copies count bytes from the cursor into destination and advances the
  // cursor; returns the count (0 for a count of 0 or less).  The caller
  // never asks for more than remains of fileLength.
  int32_t FileRead(uint8_t* destination, int32_t count);
  // Releases the image of the run: the cursor is null again (fileLength stays
  // for the summary after the run).
  void CloseFile();

  // Status values, written by the burn thread, read by the status panel.
  Shared<int32_t> flashStatus;  // 0 idle, 1 erasing, 2 programming
  Shared<int32_t> progress;     // percent of the current phase
  Shared<int32_t> errCounter;
  Shared<int32_t> totalErrCounter;
  Shared<int32_t> elapsedTime;  // seconds; the front end's timer adds 1
  // While Programming: bytes of the image acknowledged, and to be sent.
  Shared<uint32_t> bytesSent;
  Shared<uint32_t> bytesToSend;

  // The phase and its percent are set through these, so that a front end
  // that prints a line per change (rather than sampling) misses none, and
  // sees a new phase at 0 % of it, never at the last phase's percent.
  void StartPhase(int32_t status);  // the phase at 0 %
  void SetProgress(int32_t percent);
  void SetActivity(int32_t kind, int32_t number);
  // The try of the exchange under way: changes the number of a named
  // activity, nothing while none is named (the transfer's frames).
  void SetActivityTry(int32_t number);
  Activity CurrentActivity() const;
  // nullptr for none.  Set before the run starts and cleared after it.
  void SetStatusObserver(StatusObserver observer, void* context = nullptr);

  // Sets the activity and the byte counts to none, then elapsedTime,
  // flashStatus, progress, errCounter, totalErrCounter to 0, in that order.
  // Tells no observer: the run is over.
  void ClearStatusValues();

  // A run is claimed atomically before it starts and released at its
  // finish: a second start of the same Run while it is under way is refused.
  bool Claim();
  void Release();
  // True from the moment the run was claimed until its finish (after the
  // image is released).  Front ends may poll it to learn that a run ended.
  bool BurnInProgress() const;

 private:
  void TellObserver();

  mutable std::mutex comPortLock_;
  std::string selectedComPort_;
  // The kind in the top byte, the number below it.
  Shared<uint32_t> activity_;
  std::atomic<StatusObserver> statusObserver_{nullptr};
  std::atomic<void*> observerContext_{nullptr};
  std::atomic<bool> claimed_{false};
};

}  // namespace plc
