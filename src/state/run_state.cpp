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
Shared<int32_t> reportedPLCID;
Shared<int32_t> blocksAcked;
Shared<int32_t> blockCount;

Shared<int32_t> flashStatus;
Shared<int32_t> progress;
Shared<int32_t> errCounter;
Shared<int32_t> totalErrCounter;
Shared<int32_t> elapsedTime;

namespace {
std::mutex comPortLock;
char selectedComPort[kComPortSize];
}  // namespace

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
  elapsedTime = 0;
  flashStatus = kFlashIdle;
  progress = 0;
  errCounter = 0;
  totalErrCounter = 0;
}

}  // namespace plc
