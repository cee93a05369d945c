#include "ui/console/console_host.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "port/ports.h"
#include "state/models.h"
#include "state/run_state.h"
#include "ui/console/advice.h"
#include "ui/console/options.h"
#include "ui/console/output.h"
#include "ui/console/run_guard.h"
#include "ui/console/terminal.h"
#include "ui/console/ticker.h"
#include "ui/console/trace_link.h"

namespace plc {

ConsoleHost::ConsoleHost(const ConsoleOptions& options, ElapsedTicker* ticker,
                         const std::vector<uint8_t>* image, bool imageMissing)
    : options_(options), ticker_(ticker), image_(image), imageMissing_(imageMissing) {}

// Once interrupted, this thread shows nothing and does nothing more: the
// run ends as interrupted.  A failure that the stopped link causes is no
// failure of the update.
void ConsoleHost::StopIfInterrupted() const {
  if (InterruptRequested() && !succeeded_) EndInterruptedRun();
}

void ConsoleHost::ShowMessage(const char* text, const char* caption, BoxIcon) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "";
  StopIfInterrupted();
  // The box that ends the run: no progress after it.
  const bool prompt = !ended_;
  if (!prompt) ConsoleSuspendProgress(true);
  ConsolePrintMessage(caption, text);
  if (!prompt && !succeeded_) {
    if (const char* advice = AdviceAfter(text, plcWithoutProgram)) ConsolePrintNote(advice);
  }
  if (!prompt || options_.yes) return;
  ConsoleSuspendProgress(true);
  ConsolePrintNote("Press Enter to continue.");
  if (!WaitForEnter()) {
    // End of input is no answer: the PLC was never replugged or switched
    // off and on.  The run ends as for Ctrl-C; this thread must not go on
    // to the probe.
    RequestInterrupt();
    EndInterruptedRun();
  }
  ConsoleSuspendProgress(false);
}

void ConsoleHost::RunEnds(BurnOutcome outcome) {
  // Noted before the last line goes out: once the user can read it, a
  // Ctrl-C no longer turns the run into an interrupted one.
  succeeded_ = outcome == BurnOutcome::kSuccess;
  ended_ = true;
  // The engine clears the counters after the last box: keep them for the
  // last progress line and the summary.
  ConsoleRunEnds();
}

void ConsoleHost::EnableStartButton(bool) {}

void ConsoleHost::KillElapsedTimer() {
  if (ticker_ != nullptr) ticker_->Stop();
}

void ConsoleHost::PauseSeconds(int seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(seconds));
  // The reopen after the pause must not touch the PLC of an ended run.
  StopIfInterrupted();
}

LinkHandle ConsoleHost::Traced(LinkHandle link) const {
  if (link == kNoLink) {
    // The "CANNOT open" box cannot tell a busy PLC from a missing one.
    if (PortRefusal()[0] != '\0')
      ConsolePrintNote((std::string("plcfw: ") + PortRefusal()).c_str());
    return link;
  }
  if (!options_.trace) return link;
  return LinkHandle(new TraceLink(std::move(link)));
}

LinkHandle ConsoleHost::OpenComLink(const char* portName) {
  // A path given on the command line may be longer than the 9 characters
  // the selected port keeps: open it as given.
  const char* target = options_.portGiven ? options_.port.c_str() : portName;
  StopIfInterrupted();
  return Traced(OpenComPort(target));
}

const char* ConsoleHost::ComLinkLabel(const char* portName) {
  return options_.portGiven ? options_.port.c_str() : portName;
}

LinkHandle ConsoleHost::OpenUsbLink() {
  StopIfInterrupted();
  if (options_.portGiven) return Traced(OpenUsbPath(options_.port.c_str()));
  return Traced(OpenMyDevPipe(""));
}

FirmwareImage ConsoleHost::LoadFirmwareImage() {
  if (imageMissing_) return {nullptr, 0};
  if (image_ != nullptr) return {image_->data(), static_cast<uint32_t>(image_->size())};
  return EmbeddedFirmwareImage();
}

int ConsoleHost::ExitStatus() const {
  return succeeded_ ? kExitSuccess : kExitFailed;
}

bool ReadImageFile(const char* path, uint32_t limit, std::vector<uint8_t>* out, std::string* why) {
  out->clear();
  std::error_code ignored;
  // Some systems open a directory and fail only at the read, others refuse
  // the open with no telling reason: say it the same way everywhere.
  const auto status = std::filesystem::status(path, ignored);
  if (std::filesystem::is_directory(status)) {
    *why = std::strerror(EISDIR);
    return false;
  }
  // A FIFO or a device would block the open or the read for as long as
  // its writer likes, and is no image file.
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    *why = "not a regular file";
    return false;
  }
  errno = 0;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    *why = std::strerror(errno);
    return false;
  }
  // One byte past the limit is enough for the size check to refuse the
  // image with the model's own message; nothing more is read.
  const size_t most = static_cast<size_t>(limit) + 1;
  uint8_t chunk[65536];
  bool failed = false;
  while (out->size() < most) {
    size_t want = most - out->size();
    if (want > sizeof chunk) want = sizeof chunk;
    errno = 0;
    size_t n = std::fread(chunk, 1, want, f);
    out->insert(out->end(), chunk, chunk + n);
    if (n < want) {
      failed = std::ferror(f) != 0;
      if (failed) *why = std::strerror(errno);
      break;
    }
  }
  (void)std::fclose(f);
  // An empty file is no image: burning it would leave the PLC erased.
  if (!failed && out->empty()) *why = "the file is empty";
  return !failed && !out->empty();
}

}  // namespace plc
