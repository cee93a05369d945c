#include "sim_bench.h"

StatusSnapshot TakeSnapshot() {
  return {elapsedTime,     flashStatus,        progress,          errCounter,
          totalErrCounter, hSerial != kNoLink, hGLOBAL != nullptr};
}
