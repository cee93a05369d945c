// The record of a run (--log FILE): one JSON object on one line, appended
// to the file when the run ends.  Without --log these do nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "burn/host.h"
#include "state/run.h"
#include "ui/console/identify_command.h"
#include "ui/console/outcome.h"

namespace plc {

// Opens the file ("-": standard output); false (with the reason in error)
// when it cannot be opened.
bool BurnLogOpen(const char* path, std::string* error);
// Starts a record: the start time, the action ("burn" or "identify"), the
// model and the port or device path used.
void BurnLogBegin(const char* action, int model, const std::string& port, const Run& run);
void BurnLogImage(const std::string& name, const uint8_t* data, uint32_t length);
void BurnLogFacts(const std::vector<ReportFact>& facts);
// How the run ended: its reason, whether the PLC took the erase, and a
// stopped transfer's blocks.
void BurnLogOutcome(const PlcOutcome& outcome);
// Appends the record with one write, flushes it to the disk and closes the
// file (and under --json prints the document with the record as its one
// PLC); the result is "success", "failed", "refused", "interrupted",
// "identified", "ready".  A run that ended without a box of its own (an interrupt)
// gives the caption and message that stand for it.  Later calls do nothing.
void BurnLogEnd(const char* result, int exitStatus, const char* caption = nullptr,
                const char* message = nullptr);
// A run of several PLCs keeps a record per PLC: its worker's thread fills
// it (the calls above, made on that thread), and it is appended once that
// PLC's run ends; the file stays open for the others until BurnLogClose.
struct PendingRecord;
class PlcRecord {
 public:
  PlcRecord();
  PlcRecord(const PlcRecord&) = delete;
  PlcRecord& operator=(const PlcRecord&) = delete;
  ~PlcRecord();
  // From now on the calling thread's record calls fill this record.
  void UseOnThisThread();
  // As BurnLogEnd, for this PLC; any thread, later calls do nothing.
  void End(const char* result, int exitStatus, const char* caption = nullptr,
           const char* message = nullptr);
  // As BurnLogOutcome, for this PLC; any thread.
  void Outcome(const PlcOutcome& outcome);
  // The record's line once End has made it (also without --log).
  std::string Line() const;

 private:
  std::unique_ptr<PendingRecord> data_;
};
void BurnLogClose();

// Passes every call on to a host and notes for the record what the burn did:
// the image it loaded, whether it opened the link, its last message and the
// failure count at that message (the finish clears the count).
class RecordingHost : public Host {
 public:
  // imageName: the --image file (imageIsFile) or the built-in image's name.
  RecordingHost(Host& inner, const Run& run, const std::string& imageName, bool imageIsFile)
      : inner_(inner), run_(run), imageName_(imageName), imageIsFile_(imageIsFile) {}
  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override;
  void RunEnds(BurnOutcome outcome) override;
  void EnableStartButton(bool enabled) override { inner_.EnableStartButton(enabled); }
  void KillElapsedTimer() override { inner_.KillElapsedTimer(); }
  void PauseSeconds(int seconds) override { inner_.PauseSeconds(seconds); }
  LinkHandle OpenComLink(const std::string& portName) override {
    return inner_.OpenComLink(portName);
  }
  LinkHandle OpenUsbLink(const std::string& location) override {
    return inner_.OpenUsbLink(location);
  }
  FirmwareImage LoadFirmwareImage() override;
  // "success", "failed", "refused" (the image refused before any open
  // of the link) or "ready" (a dry run); "failed" for a run that did not end.
  const char* Result() const;

 private:
  Host& inner_;
  const Run& run_;
  std::string imageName_;
  bool imageIsFile_;
  std::atomic<BurnOutcome> outcome_{BurnOutcome::kFailed};
};

}  // namespace plc
