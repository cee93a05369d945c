// The status panel drawn with GDI on the main window.  Each item reads the
// run state when it is drawn and draws only through the given context.
#pragma once

#include <windows.h>

namespace plc {

void DisplayElapsedTime(HWND hwnd, HDC hdc);
void DisplayProgressBar(HWND hwnd, HDC hdc);
void DisplayStatus(HWND hwnd, HDC hdc);
void DisplayErrCounter(HWND hwnd, HDC hdc);
void DisplayDate(HWND hwnd, HDC hdc);
void DisplayLogo(HWND hwnd, HDC hdc);

// The five text items in their order; with the logo last when withLogo.
void DisplayStatusPanel(HWND hwnd, HDC hdc, bool withLogo);

}  // namespace plc
