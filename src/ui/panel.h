// The status panel of the window as plain data: for each item the fields it
// clears and the texts it draws, in client-area pixels.  The window turns an
// item into GDI calls; everything else about the panel lives here, where
// both builds test it.
#pragma once

#include <cstdint>

namespace plc {

struct PanelRect {
  int left, top, right, bottom;  // right and bottom excluded, as FillRect
};

enum class PanelBrush { kBackground, kWhite, kRed };

struct PanelFill {
  PanelRect rect;
  PanelBrush brush;
};

inline constexpr int kPanelTextSize = 48;

struct PanelText {
  int x, y;
  char text[kPanelTextSize];
  int length;  // characters drawn; a trailing NUL of a format is not drawn
};

// One item: its fills in order, then its texts in order.
struct PanelItem {
  PanelFill fills[3];
  int fillCount;
  PanelText texts[2];
  int textCount;
};

// The bar: white from x = 10 to 520, red from 10 to ProgressBarRight.
inline constexpr PanelRect kProgressBar{10, 105, 520, 125};
// x of the red part's right edge: progress * 510 / 100 + 10, truncated;
// a value outside 0..100 is drawn as the nearest end.
int ProgressBarRight(int32_t progress);

// The phase text of flashStatus: "Idle", "Erasing", "Programming", or
// nullptr for any other value (nothing is drawn).
const char* PhaseText(int32_t flashStatus);

PanelItem ElapsedTimeItem(int32_t elapsedTime);
PanelItem ProgressBarItem(int32_t progress);
PanelItem StatusItem(int32_t flashStatus);
PanelItem ErrCounterItem(int32_t errCounter, int32_t totalErrCounter);
PanelItem DateItem();

// The logo: drawn at 435, 15, loaded at 87 x 28.
inline constexpr int kLogoX = 435;
inline constexpr int kLogoY = 15;
inline constexpr int kLogoWidth = 87;
inline constexpr int kLogoHeight = 28;

}  // namespace plc
