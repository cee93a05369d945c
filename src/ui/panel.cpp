#include "ui/panel.h"

#include <cstdio>
#include <cstring>

namespace plc {

namespace {

void AddFill(PanelItem& item, PanelRect rect, PanelBrush brush) {
  item.fills[item.fillCount++] = {rect, brush};
}

// A fixed label drawn with exactly `length` characters.
void AddLabel(PanelItem& item, int x, int y, const char* label, int length) {
  PanelText& t = item.texts[item.textCount++];
  t.x = x;
  t.y = y;
  std::memset(t.text, 0, sizeof t.text);
  std::memcpy(t.text, label, static_cast<size_t>(length));
  t.length = length;
}

// A number right-aligned in three columns; wider numbers are drawn in full.
void AddNumber(PanelItem& item, int x, int y, int32_t value) {
  PanelText& t = item.texts[item.textCount++];
  t.x = x;
  t.y = y;
  std::memset(t.text, 0, sizeof t.text);
  int n = std::snprintf(t.text, sizeof t.text, "%3d", static_cast<int>(value));
  t.length = n > 0 ? n : 0;
}

PanelItem Empty() {
  PanelItem item;
  std::memset(&item, 0, sizeof item);
  return item;
}

}  // namespace

int ProgressBarRight(int32_t progress) {
  if (progress < 0) progress = 0;
  if (progress > 100) progress = 100;
  return progress * 510 / 100 + 10;
}

const char* PhaseText(int32_t flashStatus) {
  switch (flashStatus) {
    case 0:
      return "Idle";
    case 1:
      return "Erasing";
    case 2:
      return "Programming";
    default:
      return nullptr;
  }
}

PanelItem ElapsedTimeItem(int32_t elapsedTime) {
  PanelItem item = Empty();
  AddFill(item, {160, 70, 335, 90}, PanelBrush::kBackground);
  // The number stands in the label's blank run.
  AddLabel(item, 160, 70, "Elapsed Time:              sec", 30);
  AddNumber(item, 270, 70, elapsedTime);
  return item;
}

PanelItem ProgressBarItem(int32_t progress) {
  PanelItem item = Empty();
  AddFill(item, kProgressBar, PanelBrush::kWhite);
  AddFill(item,
          {kProgressBar.left, kProgressBar.top, ProgressBarRight(progress), kProgressBar.bottom},
          PanelBrush::kRed);
  AddFill(item, {10, 140, 130, 160}, PanelBrush::kBackground);
  AddLabel(item, 10, 140, "Progress:            %", 22);
  AddNumber(item, 85, 140, progress);
  return item;
}

PanelItem StatusItem(int32_t flashStatus) {
  PanelItem item = Empty();
  AddFill(item, {160, 140, 300, 160}, PanelBrush::kBackground);
  AddLabel(item, 160, 140, "Status: ", 8);
  const char* phase = PhaseText(flashStatus);
  if (phase != nullptr) AddLabel(item, 209, 140, phase, static_cast<int>(std::strlen(phase)));
  return item;
}

PanelItem ErrCounterItem(int32_t errCounter, int32_t totalErrCounter) {
  PanelItem item = Empty();
  AddFill(item, {320, 140, 540, 160}, PanelBrush::kBackground);
  PanelText& t = item.texts[item.textCount++];
  t.x = 320;
  t.y = 140;
  std::memset(t.text, 0, sizeof t.text);
  int n = std::snprintf(t.text, sizeof t.text, "# of Error/Total Error: %d/%d",
                        static_cast<int>(errCounter), static_cast<int>(totalErrCounter));
  t.length = n > 0 ? n : 0;
  return item;
}

PanelItem DateItem() {
  PanelItem item = Empty();
  AddLabel(item, 300, 25, "Date: 2021/04/22", 16);
  return item;
}

}  // namespace plc
