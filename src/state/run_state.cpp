#include "state/run_state.h"

#include <cstring>
#include <mutex>

#include "state/models.h"

namespace plc {

Shared<int32_t> selectedPLCIdx;
Shared<uint16_t> selectedPLCID;
char selectedPLC[kPlcNameSize];
Shared<int32_t> ComSelidx;
int32_t totalComPort;

// Never destroyed: a run still going when the process ends keeps its link to
// the end, and must not meet one closed under it by the exit's destructors.
LinkHandle& hSerial = *new LinkHandle;
const uint8_t* fin;
uint32_t fileLength;
const void* hGLOBAL;
Shared<uint8_t> VM_fu_version;
Shared<bool> plcWithoutProgram;
Shared<bool> eraseAccepted;
Shared<bool> checkOnly;
Shared<int32_t> reportedPLCID;

Shared<int32_t> flashStatus;
Shared<int32_t> progress;
Shared<int32_t> errCounter;
Shared<int32_t> totalErrCounter;
Shared<int32_t> elapsedTime;
Shared<uint32_t> bytesSent;
Shared<uint32_t> bytesToSend;

namespace {
std::mutex comPortLock;
char selectedComPort[kComPortSize];

// The kind in the top byte, the number below it.
Shared<uint32_t> activity;
std::atomic<StatusObserver> statusObserver{nullptr};

constexpr uint32_t kNumberMask = 0xFFFFFF;

uint32_t Packed(int32_t kind, int32_t number) {
  return static_cast<uint32_t>(kind) << 24 | (static_cast<uint32_t>(number) & kNumberMask);
}

void TellObserver() {
  if (StatusObserver observer = statusObserver.load(std::memory_order_acquire)) observer();
}
}  // namespace

void StartPhase(int32_t status) {
  progress = 0;
  flashStatus = status;
  TellObserver();
}

void SetProgress(int32_t percent) {
  if (progress == percent) return;
  progress = percent;
  TellObserver();
}

void SetActivity(int32_t kind, int32_t number) {
  const uint32_t value = Packed(kind, number);
  if (activity == value) return;
  activity = value;
  TellObserver();
}

void SetActivityTry(int32_t number) {
  // Only the burn thread writes the activity: read and write need no lock.
  const auto kind = static_cast<int32_t>(static_cast<uint32_t>(activity) >> 24);
  if (kind != kActivityNone) SetActivity(kind, number);
}

Activity CurrentActivity() {
  const uint32_t value = activity;
  return {static_cast<int32_t>(value >> 24), static_cast<int32_t>(value & kNumberMask)};
}

void SetStatusObserver(StatusObserver observer) {
  statusObserver.store(observer, std::memory_order_release);
}

void SetSelectedComPort(const char* text) {
  std::lock_guard<std::mutex> hold(comPortLock);
  std::memset(selectedComPort, 0, sizeof selectedComPort);
  if (text != nullptr) std::strncpy(selectedComPort, text, sizeof selectedComPort - 1);
}

void GetSelectedComPort(char (&out)[kComPortSize]) {
  std::lock_guard<std::mutex> hold(comPortLock);
  std::memcpy(out, selectedComPort, sizeof out);
}

void SelectModel(int row) {
  if (row < 0 || row >= kPlcCount) return;
  selectedPLCIdx = row;
  selectedPLCID = plcList[row].id;
}

void ClearStatusValues() {
  activity = 0;
  bytesSent = 0;
  bytesToSend = 0;
  elapsedTime = 0;
  flashStatus = kFlashIdle;
  progress = 0;
  errCounter = 0;
  totalErrCounter = 0;
}

}  // namespace plc
