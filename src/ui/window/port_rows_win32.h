// The window's port list, a sorted combo box, filled from the lists the port
// layer returns.  The rows this window added are counted in totalComPort, so
// that a refill removes them and nothing else.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace plc {

// All COM ports found, replacing the rows added before; when the ports
// cannot be had the list stays as it was.
void EnumComPort(HWND portList);
// The single row "USB", selected, replacing the rows added before.
void EnumUSBPort(HWND portList);
// Removes the totalComPort rows listed so far.
void ClearPortRows(HWND portList);
// One more row, counted in totalComPort.
void AddPortRow(HWND portList, const std::string& text);

// The text of a combo-box row into out; "" when it does not fit.
void ComboRowText(HWND combo, LRESULT row, char* out, size_t outSize);
// The selected row's text; "" when none is selected.
std::string SelectedRowText(HWND combo);

}  // namespace plc
