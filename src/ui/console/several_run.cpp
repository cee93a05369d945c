#include "ui/console/several_run.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "ui/console/output.h"
#include "ui/console/progress_block.h"
#include "ui/console/run_guard.h"
#include "ui/console/terminal.h"

namespace plc {

namespace {

// The main thread's view of one PLC's progress: when its phase began (for
// the rate), and which lines it has printed off a terminal.
struct Watched {
  PhaseClock phase;
  ProgressLog log;
  std::string lastLine;
};

StatusSnapshot StatusOf(const PlcWorker& worker, Watched& watched) {
  StatusSnapshot s = worker.Status();
  watched.phase.Time(s);
  return s;
}

void DrawProgress(const std::vector<std::unique_ptr<PlcWorker>>& workers,
                  std::vector<Watched>& watched) {
  const int width = ConsoleBlockWidth();
  if (width > 0) {
    std::vector<PlcStatus> block;
    block.reserve(workers.size());
    for (size_t i = 0; i < workers.size(); ++i) {
      block.push_back({workers[i]->Target().label, workers[i]->ProbeTarget(),
                       StatusOf(*workers[i], watched[i])});
    }
    ConsoleDrawProgressBlock(FormatProgressBlock(block, width));
    return;
  }
  for (size_t i = 0; i < workers.size(); ++i) {
    const StatusSnapshot s = StatusOf(*workers[i], watched[i]);
    if (!ProgressLineDue(watched[i].log, s)) continue;
    char line[4096];
    FormatProgressLine(s, workers[i]->ProbeTarget().c_str(), 0, line, sizeof line);
    if (watched[i].lastLine == line) continue;
    watched[i].lastLine = line;
    ConsolePrintNote(Labelled(workers[i]->Target().label, line).c_str());
  }
}

}  // namespace

void RunWorkers(const std::vector<std::unique_ptr<PlcWorker>>& workers) {
  std::atomic<size_t> running{0};
  std::vector<std::thread> threads;
  std::vector<PlcWorker*> left;  // no thread to spare for these
  threads.reserve(workers.size());
  for (const auto& worker : workers) {
    PlcWorker* plc = worker.get();
    ++running;
    try {
      threads.emplace_back([&running, plc] {
        plc->Burn();
        --running;
      });
    } catch (const std::system_error&) {
      --running;
      left.push_back(plc);
    }
  }
  HoldInterrupts(false);
  std::vector<Watched> watched(workers.size());
  for (;;) {
    // Read before the drawing: a PLC that ends while it is drawn is drawn
    // once more, so that its last state is never left out.
    const bool ended = running == 0;
    DrawProgress(workers, watched);
    if (ended) break;
    for (int i = 0; i < 10 && running > 0; ++i) {
      if (InterruptRequested()) EndInterruptedRun();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  for (std::thread& thread : threads) thread.join();
  // One after another on this thread; an interrupt still stops the links
  // at once and is acted on by the worker's own host.
  for (PlcWorker* plc : left) plc->Burn();
  if (!left.empty()) DrawProgress(workers, watched);
  HoldInterrupts(true);
}

}  // namespace plc
