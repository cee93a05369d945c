// A scripted PLC on a TestWire for burn-sequence tests, and a host that
// notes the run state at each window operation.
//
// The PLC answers every request of both modes with the good reply; a test
// bends single answers through `fault`, which sees the kind of each request
// (RequestKind) with the number of requests of that kind seen before.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "support/test_host.h"
#include "support/test_link.h"

// Modbus reply to a function-0x64 request: status and two data bytes.
std::string Reply64(uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0);
// Modbus reply to a register read.
std::string RegisterReply(uint16_t value);
// A refusal reply: status 0x15 with class and detail.
inline std::string Refusal(uint8_t errorClass, uint8_t detail) {
  return Reply64(0x15, errorClass, detail);
}

struct FakePlc {
  explicit FakePlc(TestWire& wire);

  bool boot = false;    // answers as its bootloader
  uint16_t appId = 0;   // reported to the application-mode ID request
  uint16_t bootId = 0;  // reported to "ID"
  uint16_t d1386 = 0;
  uint16_t d1148 = 0;
  uint8_t appVersion = 0x20;   // reply to the version request
  uint8_t bootVersion = 0x20;  // given through the bootloader's nibble formula
  bool silentErase = false;    // power-cycle models: no reply to the erase request
  bool bootOnConfirm = true;   // enters its bootloader at the erase confirmation

  // Returns the reply for a request, or nullopt for the good reply.
  std::function<std::optional<std::string>(const std::string& kind, int seen)> fault;

  std::vector<uint8_t> received;  // image bytes of the acknowledged frames
  int frames = 0;
  int eraseUnits = 0;
  std::map<std::string, int> seen;

 private:
  std::string GoodReply(const std::string& request);
  std::string AppReply(const std::string& request);
  std::string BootReply(const std::string& request);
};

// Kind of request, for faults: "wake", "probe", "id", "d1386", "d1148",
// "version", "erase", "confirm", "ID", "VERSION", "ERASE", "EOT", "UPDATE",
// "frame".
std::string RequestKind(const std::string& request);

struct StatusSnapshot {
  int32_t elapsed, flash, progress, err, totalErr;
  bool linkOpen;
  bool imageHeld;
};
StatusSnapshot TakeSnapshot();

class RecordingHost : public TestHost {
 public:
  using TestHost::TestHost;
  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override {
    atBox.push_back(TakeSnapshot());
    TestHost::ShowMessage(text, caption, icon);
  }
  void EnableStartButton(bool enabled) override {
    if (enabled) atEnable.push_back(TakeSnapshot());
    TestHost::EnableStartButton(enabled);
  }
  const char* ComLinkLabel(const char* portName) override {
    return label.empty() ? portName : label.c_str();
  }
  std::vector<StatusSnapshot> atBox;
  std::vector<StatusSnapshot> atEnable;
  std::string label;
};
