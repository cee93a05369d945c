#include "ui/console/outcome.h"

namespace plc {

bool OpenRefusedAsBusy(const Refusal& refusal) {
  return refusal.kind == RefusalKind::kBusy;
}

int ExitStatusOf(const PlcOutcome& outcome) {
  switch (outcome.reason) {
    case Reason::kOk:
      return kExitSuccess;
    case Reason::kUsage:
      return kExitUsage;
    case Reason::kInterrupted:
      return kExitInterrupted;
    default:
      break;
  }
  // A PLC that lost its program needs a hand whatever else held it.
  if (outcome.erased) return kExitErased;
  return outcome.reason == Reason::kBusy ? kExitBusy : kExitFailed;
}

namespace {

// The higher, the worse: an interrupt stops every PLC, a PLC without its
// program needs a hand, a failure a look, a busy PLC only a later try.
int Rank(int status) {
  switch (status) {
    case kExitSuccess:
      return 0;
    case kExitBusy:
      return 1;
    case kExitErased:
      return 3;
    case kExitInterrupted:
      return 4;
    case kExitUsage:
      return 5;
    default:
      return 2;
  }
}

}  // namespace

int WorseExitStatus(int a, int b) {
  const int worse = Rank(a) >= Rank(b) ? a : b;
  return Rank(worse) == 2 ? kExitFailed : worse;
}

}  // namespace plc
