// What the burn sequence needs of the window, called on the burn thread:
// its message boxes, the start button, the elapsed-seconds timer and the
// ports the user chose.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "burn/host.h"
#include "ui/window/port_rows_win32.h"

namespace plc {

// The timer that counts a run's elapsed seconds; the burn thread kills it.
inline constexpr UINT_PTR kElapsedTimer = 5;

// Handed to the burn thread: the owner of its message boxes and of timer 5,
// and the button it disables and enables again.
struct ParamStruct {
  HWND hwnd;
  HWND hwndButton;
};

class WindowHost final : public Host {
 public:
  explicit WindowHost(const ParamStruct* param) : param_(param) {}

  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override;
  void EnableStartButton(bool enabled) override;
  void KillElapsedTimer() override;
  void PauseSeconds(int seconds) override;
  // The run's port is the selected row's whole text: a port named on the
  // command line opens as given, however long.
  LinkHandle OpenComLink(const std::string& portName) override;
  // The row's text names no USB device: the device is the one given on the
  // command line, or the chosen row's (ChooseUsbRow), else the search's.
  LinkHandle OpenUsbLink(const std::string& location) override;

  // The port named on the command line; set once, before the first run.
  void SetGivenPort(const std::string& port) { given_ = port; }
  const std::string& GivenPort() const { return given_; }
  // One of several PLC USB devices, chosen on the window thread at any
  // time, read by the burn thread at the open and at the reopen after the
  // replug.  Empty: the first device the search finds.
  void ChooseUsbRow(const UsbRow& row);

 private:
  UsbRow ChosenUsbRow();

  const ParamStruct* param_;
  std::string given_;
  std::mutex mutex_;
  UsbRow usbRow_;
};

}  // namespace plc
