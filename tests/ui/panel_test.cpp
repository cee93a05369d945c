#include "ui/panel.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <utility>

namespace plc {

namespace {

std::array<int, 4> Corners(const PanelRect& r) {
  return {r.left, r.top, r.right, r.bottom};
}

TEST(Panel, ProgressBarRightEdge) {
  const int cases[][2] = {{0, 10}, {1, 15}, {50, 265}, {100, 520}};
  for (const auto& c : cases) EXPECT_EQ(ProgressBarRight(c[0]), c[1]) << c[0];
}

// Each item clears its field first, so a shorter text leaves no trace of a
// longer one, then draws its last text at a fixed place.
TEST(Panel, ItemsClearTheirFieldThenDrawTheirText) {
  struct Case {
    PanelItem item;
    PanelRect cleared;
    const char* text;
    int x, y;
  } cases[] = {
      {ElapsedTimeItem(7), {160, 70, 335, 90}, "  7", 270, 70},
      // Past three columns the number is drawn whole, never cut.
      {ElapsedTimeItem(1000), {160, 70, 335, 90}, "1000", 270, 70},
      {ElapsedTimeItem(INT_MAX), {160, 70, 335, 90}, "2147483647", 270, 70},
      {ProgressBarItem(50), {10, 105, 520, 125}, " 50", 85, 140},
      {StatusItem(2), {160, 140, 300, 160}, "Programming", 209, 140},
      {StatusItem(3), {160, 140, 300, 160}, "Status: ", 160, 140},
      {ErrCounterItem(3, 17), {320, 140, 540, 160}, "# of Error/Total Error: 3/17", 320, 140},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.item.fillCount >= 1 && c.item.textCount >= 1) << c.text;
    EXPECT_EQ(Corners(c.item.fills[0].rect), Corners(c.cleared)) << c.text;
    const PanelText& t = c.item.texts[c.item.textCount - 1];
    EXPECT_EQ(std::string(t.text, static_cast<size_t>(t.length)), c.text);
    EXPECT_EQ(std::make_pair(t.x, t.y), std::make_pair(c.x, c.y)) << c.text;
  }
}

}  // namespace

}  // namespace plc
