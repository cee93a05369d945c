#include "ui/window/status_panel_win32.h"

#include "resource_ids.h"
#include "state/run.h"
#include "ui/panel.h"

namespace plc {

namespace {

void DrawPanelItem(HDC hdc, const PanelItem& item) {
  for (int i = 0; i < item.fillCount; ++i) {
    const PanelFill& fill = item.fills[i];
    RECT rect = {fill.rect.left, fill.rect.top, fill.rect.right, fill.rect.bottom};
    HBRUSH brush = nullptr;
    bool own = true;
    switch (fill.brush) {
      case PanelBrush::kBackground:
        // The class background's colour; a system brush is only borrowed.
        brush = GetSysColorBrush(COLOR_SCROLLBAR);
        own = false;
        break;
      case PanelBrush::kWhite:
        brush = CreateSolidBrush(RGB(255, 255, 255));
        break;
      case PanelBrush::kRed:
        brush = CreateSolidBrush(RGB(255, 0, 0));
        break;
    }
    FillRect(hdc, &rect, brush);
    if (own && brush != nullptr) DeleteObject(brush);
  }
  SetBkMode(hdc, TRANSPARENT);
  for (int i = 0; i < item.textCount; ++i) {
    const PanelText& text = item.texts[i];
    TextOutA(hdc, text.x, text.y, text.text, text.length);
  }
}

}  // namespace

void DisplayElapsedTime(HWND, HDC hdc, const Run& run) {
  DrawPanelItem(hdc, ElapsedTimeItem(run.elapsedTime));
}

void DisplayProgressBar(HWND, HDC hdc, const Run& run) {
  DrawPanelItem(hdc, ProgressBarItem(run.progress));
}

void DisplayStatus(HWND, HDC hdc, const Run& run) {
  DrawPanelItem(hdc, StatusItem(run.flashStatus));
}

void DisplayErrCounter(HWND, HDC hdc, const Run& run) {
  DrawPanelItem(hdc, ErrCounterItem(run.errCounter, run.totalErrCounter));
}

void DisplayDate(HWND, HDC hdc) {
  DrawPanelItem(hdc, DateItem());
}

void DisplayLogo(HWND, HDC hdc) {
  // Loaded, scaled and released on every drawing: nothing is held between
  // ticks.
  HANDLE image = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_PLC_LOGO), IMAGE_BITMAP,
                            kLogoWidth, kLogoHeight, LR_DEFAULTCOLOR);
  if (image == nullptr) return;
  HBITMAP logo = static_cast<HBITMAP>(image);
  HDC memory = CreateCompatibleDC(hdc);
  HGDIOBJ previous = SelectObject(memory, logo);
  BITMAP info;
  if (GetObjectA(logo, sizeof info, &info) != 0) {
    BitBlt(hdc, kLogoX, kLogoY, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  }
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(logo);
}

void DisplayStatusPanel(HWND hwnd, HDC hdc, const Run& run, bool withLogo) {
  DisplayElapsedTime(hwnd, hdc, run);
  DisplayProgressBar(hwnd, hdc, run);
  DisplayStatus(hwnd, hdc, run);
  DisplayErrCounter(hwnd, hdc, run);
  DisplayDate(hwnd, hdc);
  if (withLogo) DisplayLogo(hwnd, hdc);
}

}  // namespace plc
