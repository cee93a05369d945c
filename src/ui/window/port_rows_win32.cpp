#include "ui/window/port_rows_win32.h"

#include "port/ports_win32.h"
#include "state/models.h"
#include "state/run.h"
#include "ui/port_choice.h"

namespace plc {

void ClearPortRows(HWND portList, Run& run) {
  for (int32_t i = 0; i < run.totalComPort; ++i) SendMessageA(portList, CB_DELETESTRING, 0, 0);
  run.totalComPort = 0;
}

void EnumComPort(HWND portList, Run& run) {
  PortList found;
  if (!FindComPorts(&found)) return;
  ClearPortRows(portList, run);
  for (int i = 0; i < found.count; ++i) {
    SendMessageA(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.names[i]));
    run.totalComPort = run.totalComPort + 1;
  }
}

void EnumUSBPort(HWND portList, Run& run) {
  ClearPortRows(portList, run);
  SendMessageA(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("USB"));
  SendMessageA(portList, CB_SETCURSEL, 0, 0);
  run.totalComPort = 1;
}

void AddPortRow(HWND portList, Run& run, const std::string& text) {
  SendMessageA(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  run.totalComPort = run.totalComPort + 1;
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

namespace {

std::vector<UsbRow> FillUsbRows(HWND portList, Run& run, const std::string& given) {
  std::vector<UsbRow> rows;
  PlcUsbDevice found[kMaxUsbPorts];
  const int count = given.empty() ? FindPlcUsbDevices(found, kMaxUsbPorts) : 0;
  if (given.empty() && count <= 1) {
    EnumUSBPort(portList, run);
    return rows;
  }
  ClearPortRows(portList, run);
  if (!given.empty()) {
    AddPortRow(portList, run, given);
    return rows;
  }
  std::vector<std::string> locations;
  locations.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) locations.emplace_back(found[i].location);
  const std::vector<std::string> labels = UsbRowLabels(locations);
  for (int i = 0; i < count; ++i) {
    rows.push_back({labels[i], found[i].location, found[i].path});
    AddPortRow(portList, run, labels[i]);
  }
  return rows;
}

}  // namespace

std::vector<UsbRow> FillPortList(HWND portList, Run& run, const std::string& given) {
  if (IsUsbModel(run.selectedPLCIdx)) return FillUsbRows(portList, run, given);
  EnumComPort(portList, run);
  if (!given.empty() && SendMessageA(portList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(given.c_str())) == CB_ERR) {
    AddPortRow(portList, run, given);
  }
  return {};
}

std::string DefaultPortRow(const std::string& given, const std::vector<UsbRow>& usbRows) {
  if (!given.empty()) return given;
  return usbRows.empty() ? std::string() : usbRows.front().label;
}

std::vector<std::string> PortRowTexts(HWND portList) {
  std::vector<std::string> rows;
  const LRESULT count = SendMessageA(portList, CB_GETCOUNT, 0, 0);
  for (LRESULT row = 0; row < count; ++row) {
    char text[MAX_PATH];
    ComboRowText(portList, row, text, sizeof text);
    rows.emplace_back(text);
  }
  return rows;
}

}  // namespace plc
