#include "support/test_host.h"

namespace plc {

void TestHost::ShowMessage(const char* text, const char* caption, BoxIcon icon) {
  events_.push_back({HostEvent::Kind::kMessage, text, caption, icon, 0});
  if (onMessage) onMessage(text);
}

void TestHost::PauseSeconds(int seconds) {
  // A front end names the pause by the activity the engine published.
  const Activity now = run_.CurrentActivity();
  const bool named = now.kind == kActivityWaiting && now.number == seconds;
  Note(HostEvent::Kind::kPause, named ? "" : "unnamed ", seconds);
  wire_->Clock().nowMs += static_cast<uint64_t>(seconds) * 1000u;
}

LinkHandle TestHost::OpenComLink(const std::string& portName) {
  Note(HostEvent::Kind::kOpen, portName);
  return failOpen && failOpen() ? kNoLink : wire_->Open();
}

LinkHandle TestHost::OpenUsbLink(const std::string&) {
  Note(HostEvent::Kind::kOpen, "USB");
  return failOpen && failOpen() ? kNoLink : wire_->Open();
}

FirmwareImage TestHost::LoadFirmwareImage() {
  if (missingImage_) return {nullptr, 0};
  if (useImage_) return {image_.data(), static_cast<uint32_t>(image_.size())};
  return EmbeddedFirmwareImage();
}

std::vector<std::string> TestHost::Messages() const {
  std::vector<std::string> out;
  for (const HostEvent& e : events_)
    if (e.kind == HostEvent::Kind::kMessage) out.push_back(e.text);
  return out;
}

std::vector<std::string> TestHost::Trace() const {
  static const char* const kNames[] = {"box:", "enable", "disable", "kill", "pause:", "open:"};
  std::vector<std::string> out;
  for (const HostEvent& e : events_) {
    const bool box = e.kind == HostEvent::Kind::kMessage;
    out.push_back(kNames[static_cast<int>(e.kind)] + (box ? e.caption + ":" : "") + e.text +
                  (e.kind == HostEvent::Kind::kPause ? std::to_string(e.seconds) : ""));
  }
  return out;
}

}  // namespace plc
