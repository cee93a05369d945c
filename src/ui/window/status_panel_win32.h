// The status panel drawn with GDI on the main window.  Each item reads the
// run state when it is drawn and draws only through the given context.
#pragma once

#include <windows.h>

#include "state/run.h"

namespace plc {

void DisplayElapsedTime(HWND hwnd, HDC hdc, const Run& run);
void DisplayProgressBar(HWND hwnd, HDC hdc, const Run& run);
void DisplayStatus(HWND hwnd, HDC hdc, const Run& run);
void DisplayErrCounter(HWND hwnd, HDC hdc, const Run& run);
void DisplayDate(HWND hwnd, HDC hdc);
void DisplayLogo(HWND hwnd, HDC hdc);

// The five text items in their order; with the logo last when withLogo.
// The status of run, the window's one run.
void DisplayStatusPanel(HWND hwnd, HDC hdc, const Run& run, bool withLogo);

}  // namespace plc
