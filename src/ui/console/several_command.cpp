#include "ui/console/several_command.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "burn/burn.h"
#include "state/image.h"
#include "state/messages.h"
#include "state/models.h"
#include "state/run.h"
#include "ui/console/advice.h"
#include "ui/console/burn_command.h"
#include "ui/console/console_host.h"
#include "ui/console/json_output.h"
#include "ui/console/outcome.h"
#include "ui/console/output.h"
#include "ui/console/progress.h"
#include "ui/console/prompt.h"
#include "ui/console/prompt_gate.h"
#include "ui/console/record.h"
#include "ui/console/run_guard.h"
#include "ui/console/several.h"
#include "ui/console/several_run.h"
#include "ui/console/target.h"
#include "ui/console/terminal.h"
#include "ui/console/ticker.h"

namespace plc {

namespace {

// The options of one PLC's burn: the run's, with this PLC's port alone.
ConsoleOptions OptionsFor(const ConsoleOptions& options, const std::string& port) {
  ConsoleOptions one = options;
  one.all = false;
  one.portGiven = true;
  one.port = port;
  one.ports = {port};
  return one;
}

class ConsoleWorker final : public PlcWorker {
 public:
  ConsoleWorker(const ConsoleOptions& options, PlcTarget target, const std::vector<uint8_t>* image,
                bool imageMissing, PromptGate* gate, int index)
      : options_(OptionsFor(options, target.port)),
        target_(std::move(target)),
        ticker_(run_),
        host_(options_, run_, &ticker_, image, imageMissing),
        recorder_(host_, run_, options.imageGiven ? options.image : EmbeddedFirmwareName(),
                  options.imageGiven),
        gate_(gate),
        index_(index) {
    SelectTarget(options_, run_);
    run_.checkOnly = options_.check;
    probeTarget_ = ProbeTargetOf(options_, target_.port);
  }

  const PlcTarget& Target() const override { return target_; }
  std::string ProbeTarget() const override { return probeTarget_; }

  void Burn() override {
    SetThreadPlc({target_.label,
                  [this](const char* caption, const char* text) {
                    const std::lock_guard<std::mutex> hold(lock_);
                    message_ = text;
                    messages_.push_back({{"caption", caption}, {"text", text}});
                  },
                  [this] { Freeze(); }});
    SetThreadPrompt(gate_, index_);
    record_.UseOnThisThread();
    BurnLogBegin(options_.check ? "check" : "burn", options_.model, RecordPortLabel(run_), run_);
    const auto start = std::chrono::steady_clock::now();
    ticker_.Start();
    StartBurn(run_, recorder_);
    ticker_.Stop();
    Freeze();
    if (gate_ != nullptr) gate_->Done(index_);
    BurnLogOutcome(host_.Outcome());
    record_.End(recorder_.Result(), host_.ExitStatus());
    ended_ = true;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::lock_guard<std::mutex> hold(lock_);
    seconds_ = took.count();
  }

  StatusSnapshot Status() const override {
    const std::lock_guard<std::mutex> hold(lock_);
    return frozen_ ? final_ : TakeStatusSnapshot(run_);
  }

  PlcEnd End() const override {
    const std::lock_guard<std::mutex> hold(lock_);
    return {target_.label, PlcName(options_.model), recorder_.Result(), message_, seconds_};
  }

  bool WithoutProgram() const { return run_.plcWithoutProgram; }
  // Its burn has ended: an interrupt changes nothing of it.
  bool Ended() const { return ended_; }
  // The record of an interrupted run: the note stands for its message.
  void EndInterrupted(const char* note) {
    record_.Outcome({Reason::kInterrupted, run_.eraseAccepted});
    record_.End("interrupted", kExitInterrupted,
                WithoutProgram() ? kWarningCaption : kInformationCaption, note);
  }
  const ConsoleHost& Host() const { return host_; }
  // Its entry of the --json document: the record, its label, its own messages.
  JsonObject JsonEntry() const {
    JsonObject entry = JsonPlcEntry(record_.Line());
    entry["label"] = target_.label;
    const std::lock_guard<std::mutex> hold(lock_);
    entry["messages"] = messages_;
    return entry;
  }

 private:
  // The engine clears the counters after the last box: keep them for the
  // last progress line and the summary.
  void Freeze() {
    const std::lock_guard<std::mutex> hold(lock_);
    if (frozen_) return;
    final_ = TakeStatusSnapshot(run_);
    frozen_ = true;
  }

  ConsoleOptions options_;
  PlcTarget target_;
  Run run_;
  ElapsedTicker ticker_;
  ConsoleHost host_;
  RecordingHost recorder_;
  PlcRecord record_;
  PromptGate* gate_;
  int index_;
  std::string probeTarget_;
  mutable std::mutex lock_;
  bool frozen_ = false;
  StatusSnapshot final_{};
  std::string message_;
  JsonObject messages_ = JsonObject::array();
  double seconds_ = 0;
  std::atomic<bool> ended_{false};
};

}  // namespace

int RunSeveral(const ConsoleOptions& options) {
  StartGuard();
  const std::vector<PlcTarget> targets = options.all ? FindAllPlcs() : TargetsOf(options.ports);
  if (targets.empty()) {
    ConsolePrintNote("plcfw: --all: the USB search finds no PLC; --list-ports shows what is");
    return EndRun(kExitFailed, "failed");
  }
  std::vector<uint8_t> image;
  bool imageMissing = false;
  if (options.imageGiven && !ReadImageForBurn(options, &image)) imageMissing = true;

  std::vector<std::unique_ptr<PlcWorker>> workers;
  std::vector<ConsoleWorker*> plcs;
  PromptGate gate(static_cast<int>(targets.size()), [&plcs](const std::vector<int>& waiting) {
    std::vector<std::string> labels;
    labels.reserve(waiting.size());
    for (const int i : waiting) labels.push_back(plcs[static_cast<size_t>(i)]->Target().label);
    return AskForThese(labels);
  });
  for (size_t i = 0; i < targets.size(); ++i) {
    auto worker = std::make_unique<ConsoleWorker>(
        options, targets[i], options.imageGiven && !imageMissing ? &image : nullptr, imageMissing,
        options.yes ? nullptr : &gate, static_cast<int>(i));
    plcs.push_back(worker.get());
    workers.push_back(std::move(worker));
  }
  SetSeveralInterruptedEnd({[&plcs] {
                              for (const ConsoleWorker* plc : plcs) {
                                if (plc->Ended()) continue;
                                ConsolePrintRunNote((plc->Target().label + ": plcfw: " +
                                                     InterruptedNote(plc->WithoutProgram()))
                                                        .c_str());
                              }
                            },
                            [&plcs] {
                              for (ConsoleWorker* plc : plcs) {
                                plc->EndInterrupted(InterruptedNote(plc->WithoutProgram()));
                              }
                              BurnLogClose();
                            }});
  RunWorkers(workers);
  ConsoleEndProgress();
  std::vector<PlcEnd> ends;
  int status = kExitSuccess;
  for (const ConsoleWorker* plc : plcs) {
    ends.push_back(plc->End());
    status = WorseExitStatus(status, plc->Host().ExitStatus());
  }
  const std::string table = SummaryTable(ends);
  for (size_t at = 0; at < table.size();) {
    const size_t end = table.find('\n', at);
    ConsolePrintRunNote(table.substr(at, end - at).c_str());
    at = end + 1;
  }
  BurnLogClose();
  const char* result = status == kExitSuccess ? (options.check ? "ready" : "success") : "failed";
  if (JsonOutput()) {
    // The run's reason is that of the first PLC that decided its status.
    const char* reason = ReasonName(Reason::kOk);
    for (const ConsoleWorker* plc : plcs) {
      if (plc->Host().ExitStatus() != status) continue;
      reason = ReasonName(plc->Host().Outcome().reason);
      break;
    }
    JsonObject doc = JsonDocument({options.check ? "check" : "burn", status, result, reason, ""});
    for (const ConsoleWorker* plc : plcs) doc["plcs"].push_back(plc->JsonEntry());
    (void)ConsoleOutputFinish(5000);
    JsonPrint(doc);
  }
  return EndRun(status, result);
}

}  // namespace plc
