// A host for burn tests: records every window operation; pauses run on virtual time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "burn/host.h"
#include "state/run.h"
#include "support/test_link.h"

namespace plc {

struct HostEvent {
  enum class Kind { kMessage, kEnableButton, kDisableButton, kKillTimer, kPause, kOpen };
  Kind kind;
  std::string text;     // message text, or the port name opened
  std::string caption;  // message caption
  BoxIcon icon = BoxIcon::kError;
  int seconds = 0;  // pause
};

class TestHost : public Host {
 public:
  // run: the run it hosts, whose activity names a pause.
  TestHost(TestWire* wire, const Run& run) : wire_(wire), run_(run) {}

  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override;
  void EnableStartButton(bool enabled) override {
    Note(enabled ? HostEvent::Kind::kEnableButton : HostEvent::Kind::kDisableButton);
  }
  void KillElapsedTimer() override { Note(HostEvent::Kind::kKillTimer); }
  void PauseSeconds(int seconds) override;
  LinkHandle OpenComLink(const std::string& portName) override;
  LinkHandle OpenUsbLink(const std::string& location) override;
  FirmwareImage LoadFirmwareImage() override;

  // Image for the run; defaults to the embedded image.
  void UseImage(const std::vector<uint8_t>& image) { image_ = image, useImage_ = true; }
  void UseMissingImage() { missingImage_ = true; }
  // When set, opens fail (return kNoLink) while this returns true.
  std::function<bool()> failOpen;
  // Called when a message box is shown (e.g. to replug the simulated PLC).
  std::function<void(const std::string& text)> onMessage;

  const std::vector<HostEvent>& Events() const { return events_; }
  std::vector<std::string> Messages() const;
  // Compact trace of the events: "kill", "box:ERROR:text", "enable", ...
  std::vector<std::string> Trace() const;

 private:
  void Note(HostEvent::Kind kind, const std::string& text = "", int seconds = 0) {
    events_.push_back({kind, text, "", BoxIcon::kError, seconds});
  }
  TestWire* wire_;
  const Run& run_;
  std::vector<HostEvent> events_;
  std::vector<uint8_t> image_;
  bool useImage_ = false;
  bool missingImage_ = false;
};

}  // namespace plc
