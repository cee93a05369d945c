#include "ui/window/port_rows_win32.h"

#include "port/ports_win32.h"
#include "state/run_state.h"

namespace plc {

void ClearPortRows(HWND portList) {
  for (int32_t i = 0; i < totalComPort; ++i) SendMessageA(portList, CB_DELETESTRING, 0, 0);
  totalComPort = 0;
}

void EnumComPort(HWND portList) {
  PortList found;
  if (!FindComPorts(&found)) return;
  ClearPortRows(portList);
  for (int i = 0; i < found.count; ++i) {
    SendMessageA(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.names[i]));
    totalComPort = totalComPort + 1;
  }
}

void EnumUSBPort(HWND portList) {
  ClearPortRows(portList);
  SendMessageA(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("USB"));
  SendMessageA(portList, CB_SETCURSEL, 0, 0);
  totalComPort = 1;
}

void AddPortRow(HWND portList, const std::string& text) {
  SendMessageA(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  totalComPort = totalComPort + 1;
}

void ComboRowText(HWND combo, LRESULT row, char* out, size_t outSize) {
  out[0] = '\0';
  if (row < 0) return;
  LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0);
  if (length < 0 || static_cast<size_t>(length) >= outSize) return;
  SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(out));
}

std::string SelectedRowText(HWND combo) {
  char text[MAX_PATH];
  ComboRowText(combo, SendMessageA(combo, CB_GETCURSEL, 0, 0), text, sizeof text);
  return text;
}

}  // namespace plc
