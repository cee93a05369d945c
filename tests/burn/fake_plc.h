// A test host noting the run state at each box and button enabling; label names the COM link.
#pragma once

#include <string>
#include <vector>

#include "engine/run_state.h"
#include "support/test_host.h"

struct StatusSnapshot {
  int32_t elapsed, flash, progress, err, totalErr;
  bool linkOpen, imageHeld;
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
  std::vector<StatusSnapshot> atBox, atEnable;
  std::string label;
};
