#include "ui/window/window_host_win32.h"

#include "port/ports_win32.h"

namespace plc {

void WindowHost::ShowMessage(const char* text, const char* caption, BoxIcon icon) {
  UINT style = MB_OK;
  switch (icon) {
    case BoxIcon::kError:
      style |= MB_ICONERROR;
      break;
    case BoxIcon::kInformation:
      style |= MB_ICONINFORMATION;
      break;
    case BoxIcon::kWarning:
      style |= MB_ICONWARNING;
      break;
  }
  MessageBoxA(param_->hwnd, text, caption, style);
}

void WindowHost::EnableStartButton(bool enabled) {
  EnableWindow(param_->hwndButton, enabled ? TRUE : FALSE);
}

void WindowHost::KillElapsedTimer() {
  KillTimer(param_->hwnd, kElapsedTimer);
}

void WindowHost::PauseSeconds(int seconds) {
  if (seconds > 0) Sleep(static_cast<DWORD>(seconds) * 1000u);
}

LinkHandle WindowHost::OpenComLink(const std::string& portName) {
  return OpenComPort(portName.c_str()).link;
}

LinkHandle WindowHost::OpenUsbLink(const std::string&) {
  // The window's "CANNOT open" box is the whole answer: the reason stays here.
  if (!given_.empty()) return OpenUsbPath(given_.c_str()).link;
  const UsbRow row = ChosenUsbRow();
  if (!row.location.empty()) return OpenPlcUsbAt(row.location.c_str()).link;
  if (!row.path.empty()) return OpenUsbPath((row.path + "\\").c_str()).link;
  return OpenMyDevPipe("").link;
}

void WindowHost::ChooseUsbRow(const UsbRow& row) {
  std::lock_guard<std::mutex> hold(mutex_);
  usbRow_ = row;
}

UsbRow WindowHost::ChosenUsbRow() {
  std::lock_guard<std::mutex> hold(mutex_);
  return usbRow_;
}

}  // namespace plc
