#include "support/test_host.h"

void TestHost::ShowMessage(const char* text, const char* caption, BoxIcon icon) {
  events_.push_back({HostEvent::Kind::kMessage, text, caption, icon, 0});
  if (onMessage) onMessage(text);
}

void TestHost::EnableStartButton(bool enabled) {
  events_.push_back({enabled ? HostEvent::Kind::kEnableButton : HostEvent::Kind::kDisableButton,
                     "", "", BoxIcon::kError, 0});
}

void TestHost::KillElapsedTimer() {
  events_.push_back({HostEvent::Kind::kKillTimer, "", "", BoxIcon::kError, 0});
}

void TestHost::PauseSeconds(int seconds) {
  events_.push_back({HostEvent::Kind::kPause, "", "", BoxIcon::kError, seconds});
  wire_->Clock().nowMs += static_cast<uint64_t>(seconds) * 1000u;
}

LinkHandle TestHost::OpenComLink(const char* portName) {
  events_.push_back({HostEvent::Kind::kOpenCom, portName, "", BoxIcon::kError, 0});
  if (failOpen && failOpen()) return kNoLink;
  return wire_->Open();
}

LinkHandle TestHost::OpenUsbLink() {
  events_.push_back({HostEvent::Kind::kOpenUsb, "USB", "", BoxIcon::kError, 0});
  if (failOpen && failOpen()) return kNoLink;
  return wire_->Open();
}

void TestHost::UseImage(const std::vector<uint8_t>& image) {
  image_ = image;
  useImage_ = true;
}

FirmwareImage TestHost::LoadFirmwareImage() {
  if (missingImage_) return {nullptr, 0};
  if (useImage_) return {image_.data(), static_cast<uint32_t>(image_.size())};
  return EmbeddedFirmwareImage();
}

std::vector<std::string> TestHost::Messages() const {
  std::vector<std::string> out;
  for (const HostEvent& e : events_) {
    if (e.kind == HostEvent::Kind::kMessage) out.push_back(e.text);
  }
  return out;
}

std::vector<std::string> TestHost::Trace() const {
  std::vector<std::string> out;
  for (const HostEvent& e : events_) {
    switch (e.kind) {
      case HostEvent::Kind::kMessage:
        out.push_back("box:" + e.caption + ":" + e.text);
        break;
      case HostEvent::Kind::kEnableButton:
        out.push_back("enable");
        break;
      case HostEvent::Kind::kDisableButton:
        out.push_back("disable");
        break;
      case HostEvent::Kind::kKillTimer:
        out.push_back("kill");
        break;
      case HostEvent::Kind::kPause:
        out.push_back("pause:" + std::to_string(e.seconds));
        break;
      case HostEvent::Kind::kOpenCom:
        out.push_back("open:" + e.text);
        break;
      case HostEvent::Kind::kOpenUsb:
        out.push_back("open:USB");
        break;
    }
  }
  return out;
}
