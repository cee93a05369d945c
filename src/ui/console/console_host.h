// The burn engine's host in a console: message boxes become lines, the
// reconnect prompts wait for Enter, the link is the one the command line
// names (traced on request).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "burn/host.h"
#include "state/run.h"
#include "ui/console/options.h"
#include "ui/console/outcome.h"

namespace plc {

class ElapsedTicker;

class ConsoleHost : public Host {
 public:
  // image: the bytes of --image, or nullptr for the embedded image;
  // imageMissing when --image could not be read.
  // run: the run it hosts, whose values the last message's advice reads.
  ConsoleHost(const ConsoleOptions& options, const Run& run, ElapsedTicker* ticker,
              const std::vector<uint8_t>* image, bool imageMissing);

  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override;
  void RunEnds(BurnOutcome outcome) override;
  void EnableStartButton(bool enabled) override;
  void KillElapsedTimer() override;
  void PauseSeconds(int seconds) override;
  LinkHandle OpenComLink(const std::string& portName) override;
  LinkHandle OpenUsbLink(const std::string& location) override;
  FirmwareImage LoadFirmwareImage() override;

  // 0 after a success or a dry run that found the PLC ready, else the
  // status of the run's outcome (1 for a run that did not end).
  int ExitStatus() const;
  // The run succeeded: its result stands, whatever follows.
  bool Succeeded() const { return succeeded_; }
  // How the run ended; read once the burn thread is done.
  const PlcOutcome& Outcome() const { return outcome_; }
  // A dry run found a PLC in its bootloader: its program may be gone.
  bool ReadyInBootloader() const { return readyInBoot_; }
  // The last refused open was refused because another run or program holds
  // the PLC.  Burn thread only.
  bool LastOpenBusy() const { return busy_; }

 private:
  LinkHandle Traced(OpenedLink opened);
  void StopIfInterrupted() const;
  uint64_t ImageLength() const;

  const ConsoleOptions& options_;
  const Run& run_;
  ElapsedTicker* ticker_;
  const std::vector<uint8_t>* image_;
  bool imageMissing_;
  std::atomic<bool> ended_{false};
  std::atomic<bool> succeeded_{false};
  // Burn thread only, read after it ends.
  bool busy_ = false;
  bool readyInBoot_ = false;
  PlcOutcome outcome_;
};

// Reads an --image file, at most limit bytes plus one (enough for the size
// check to refuse it); false when it cannot be read or is empty, with the
// reason in the system's words in why.
bool ReadImageFile(const char* path, uint32_t limit, std::vector<uint8_t>* out, std::string* why);

// An image that is plainly no raw binary image but a file that a build
// writes for other tools: what it is and how to make the raw image of it
// ("an Intel HEX file", "objcopy -I ihex -O binary"); nullptr for a raw image.
struct ImageKind {
  const char* what;
  const char* convert;
};
const ImageKind* NotARawImage(const std::vector<uint8_t>& image);

}  // namespace plc
