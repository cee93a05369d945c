#include "ui/console/console_host.h"

#include <cctype>
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
#include "state/run.h"
#include "ui/console/advice.h"
#include "ui/console/options.h"
#include "ui/console/output.h"
#include "ui/console/prompt.h"
#include "ui/console/run_guard.h"
#include "ui/console/target.h"
#include "ui/console/terminal.h"
#include "ui/console/ticker.h"
#include "ui/console/trace_link.h"

namespace plc {

ConsoleHost::ConsoleHost(const ConsoleOptions& options, const Run& run, ElapsedTicker* ticker,
                         const std::vector<uint8_t>* image, bool imageMissing)
    : options_(options), run_(run), ticker_(ticker), image_(image), imageMissing_(imageMissing) {}

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
    RunEnd end;
    end.text = text;
    end.row = run_.selectedPLCIdx;
    end.withoutProgram = run_.plcWithoutProgram;
    end.reportedId = run_.reportedPLCID;
    end.bytesSent = run_.bytesSent;
    end.bytesToSend = run_.bytesToSend;
    end.imageLength = ImageLength();
    end.eraseAccepted = run_.eraseAccepted;
    end.busy = busy_;
    outcome_ = OutcomeOf(end);
    for (const std::string& note : AdviceAfter(end)) ConsolePrintNote(note.c_str());
  }
  if (!prompt || options_.yes) return;
  if (!AnswerPrompt()) {
    // End of input is no answer: the PLC was never replugged or switched
    // off and on.  The run ends as for Ctrl-C; this thread must not go on
    // to the probe.
    RequestInterrupt();
    EndInterruptedRun();
  }
}

void ConsoleHost::RunEnds(BurnOutcome outcome) {
  // Noted before the last line goes out: once the user can read it, a
  // Ctrl-C no longer turns the run into an interrupted one.
  succeeded_ = outcome == BurnOutcome::kSuccess || outcome == BurnOutcome::kReady;
  if (succeeded_) outcome_ = {Reason::kOk, run_.eraseAccepted};
  // Only a bootloader answers a dry run without the erase having been sent.
  readyInBoot_ = outcome == BurnOutcome::kReady && run_.plcWithoutProgram;
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

LinkHandle ConsoleHost::Traced(OpenedLink opened) {
  if (opened.link == kNoLink) {
    // The "CANNOT open" box cannot tell a busy PLC from a missing one.
    std::string why = opened.refusal.text;
    if (why.empty()) return kNoLink;
    // Held by another run or program (not a missing device or a refused
    // permission): the run may be tried again later as it is.
    busy_ = OpenRefusedAsBusy(opened.refusal);
    // The search found nothing: where to look, and how to name a device.
    if (!options_.portGiven && opened.refusal.kind == RefusalKind::kNotFound)
      why += "; --list-ports shows what is; --port names a device";
    ConsolePrintNote(("plcfw: " + why).c_str());
    return kNoLink;
  }
  if (!options_.trace) return std::move(opened.link);
  return LinkHandle(new TraceLink(std::move(opened.link)));
}

LinkHandle ConsoleHost::OpenComLink(const std::string& portName) {
  StopIfInterrupted();
  return Traced(OpenComPort(portName.c_str()));
}

LinkHandle ConsoleHost::OpenUsbLink(const std::string& location) {
  StopIfInterrupted();
  if (location.empty() || location == kSearchedUsb) return Traced(OpenMyDevPipe(""));
  return Traced(OpenUsbPath(location.c_str()));
}

FirmwareImage ConsoleHost::LoadFirmwareImage() {
  if (imageMissing_) return {nullptr, 0};
  if (image_ != nullptr) return {image_->data(), static_cast<uint32_t>(image_->size())};
  return EmbeddedFirmwareImage();
}

// The image's own length: an --image file may be read only up to one byte
// past the model's limit.
uint64_t ConsoleHost::ImageLength() const {
  if (!options_.imageGiven) return EmbeddedFirmwareImage().length;
  std::error_code failed;
  const auto size = std::filesystem::file_size(options_.image, failed);
  if (!failed) return size;
  return image_ != nullptr ? image_->size() : 0;
}

int ConsoleHost::ExitStatus() const {
  return succeeded_ ? kExitSuccess : ExitStatusOf(outcome_);
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

namespace {

// Every line (CR LF or LF) of the text begins with lead and goes on in hex
// digits; false for anything else, an empty file included.
bool AllLinesOf(const std::vector<uint8_t>& text, bool (*lead)(const uint8_t*, size_t)) {
  size_t lines = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = at;
    while (end < text.size() && text[end] != '\n') ++end;
    size_t stop = end;
    if (stop > at && text[stop - 1] == '\r') --stop;
    if (stop > at) {
      if (!lead(&text[at], stop - at)) return false;
      ++lines;
    }
    at = end + 1;
  }
  return lines > 0;
}

bool HexDigits(const uint8_t* from, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (std::isxdigit(from[i]) == 0) return false;
  }
  return true;
}

bool IntelHexLine(const uint8_t* line, size_t length) {
  return length >= 11 && line[0] == ':' && HexDigits(line + 1, length - 1);
}

bool SRecordLine(const uint8_t* line, size_t length) {
  return length >= 4 && line[0] == 'S' && std::isdigit(line[1]) != 0 &&
         HexDigits(line + 2, length - 2);
}

}  // namespace

const ImageKind* NotARawImage(const std::vector<uint8_t>& image) {
  static const ImageKind kElf{"an ELF file", "objcopy -O binary"};
  static const ImageKind kIntelHex{"an Intel HEX file", "objcopy -I ihex -O binary"};
  static const ImageKind kSRecord{"an S-record file", "objcopy -I srec -O binary"};
  if (image.size() >= 4 && image[0] == 0x7F && image[1] == 'E' && image[2] == 'L' &&
      image[3] == 'F') {
    return &kElf;
  }
  if (AllLinesOf(image, IntelHexLine)) return &kIntelHex;
  if (AllLinesOf(image, SRecordLine)) return &kSRecord;
  return nullptr;
}

}  // namespace plc
