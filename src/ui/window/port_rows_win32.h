// The window's port list, a sorted combo box, filled from the lists the port
// layer returns.  The rows this window added are counted in its run's
// totalComPort, so that a refill removes them and nothing else.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "state/run.h"

namespace plc {

// A PLC USB device with a row of its own, when the search finds several.
struct UsbRow {
  std::string label, location, path;
};

// Fills the list for the selected model.  A USB model: the given device
// path (--port), or one row per PLC device when the search finds several
// (returned), else the single "USB" row.  A serial model: the COM ports
// found, and the given port among them.
std::vector<UsbRow> FillPortList(HWND portList, Run& run, const std::string& given);
// The row shown first: the given port, the first PLC found, or the top row.
std::string DefaultPortRow(const std::string& given, const std::vector<UsbRow>& usbRows);
// Every row's text, top to bottom.
std::vector<std::string> PortRowTexts(HWND portList);

// All COM ports found, replacing the rows added before; when the ports
// cannot be had the list stays as it was.
void EnumComPort(HWND portList, Run& run);
// The single row "USB", selected, replacing the rows added before.
void EnumUSBPort(HWND portList, Run& run);
// Removes the totalComPort rows listed so far.
void ClearPortRows(HWND portList, Run& run);
// One more row, counted in totalComPort.
void AddPortRow(HWND portList, Run& run, const std::string& text);

// The text of a combo-box row into out; "" when it does not fit.
void ComboRowText(HWND combo, LRESULT row, char* out, size_t outSize);
// The selected row's text; "" when none is selected.
std::string SelectedRowText(HWND combo);

}  // namespace plc
