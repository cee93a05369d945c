// The run of several PLCs: a worker thread per PLC, while the main thread
// draws their progress and watches for an interrupt.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/console/progress.h"
#include "ui/console/several.h"

namespace plc {

// One PLC's part of the run, as the run drives it.
class PlcWorker {
 public:
  PlcWorker() = default;
  PlcWorker(const PlcWorker&) = delete;
  PlcWorker& operator=(const PlcWorker&) = delete;
  virtual ~PlcWorker() = default;

  virtual const PlcTarget& Target() const = 0;
  // What the probe talks to, as the progress line names it.
  virtual std::string ProbeTarget() const = 0;
  // The whole burn of this PLC, on a thread of its own.  Whatever happens
  // to this PLC, it returns: the other PLCs go on.
  virtual void Burn() = 0;
  // Its progress now; read by the main thread while the burn runs.
  virtual StatusSnapshot Status() const = 0;
  // How it ended, once Burn has returned.
  virtual PlcEnd End() const = 0;
};

// Runs every worker on a thread of its own (in order, on this thread, where
// no thread can be started) and returns once all have ended.  Meanwhile
// the progress is drawn every 100 ms: on a terminal as a block of a line
// per PLC, elsewhere as each PLC's lines with its label when the phase,
// the tenth of it or the activity changes.  An interrupt ends the run as
// EndInterruptedRun does.
void RunWorkers(const std::vector<std::unique_ptr<PlcWorker>>& workers);

}  // namespace plc
