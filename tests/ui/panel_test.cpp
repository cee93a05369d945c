#include "ui/panel.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

namespace plc {

namespace {

TEST(Panel, ProgressBarRightEdge) {
  const int cases[][2] = {{0, 10}, {1, 15}, {50, 265}, {100, 520}};
  for (const auto& c : cases) EXPECT_EQ(ProgressBarRight(c[0]), c[1]) << c[0];
}

// Each item clears its field first, so a shorter text leaves no trace of a
// longer one, then draws its last text.
TEST(Panel, ItemsClearTheirFieldThenDrawTheirText) {
  const std::pair<PanelItem, const char*> cases[] = {
      {ElapsedTimeItem(7), "  7"},
      {ElapsedTimeItem(INT_MAX), "2147483647"},  // past three columns drawn whole, never cut
      {ProgressBarItem(50), " 50"},
      {StatusItem(2), "Programming"},
      {StatusItem(3), "Status: "},
      {ErrCounterItem(3, 17), "# of Error/Total Error: 3/17"},
  };
  for (const auto& [item, text] : cases) {
    ASSERT_TRUE(item.fillCount >= 1 && item.textCount >= 1) << text;
    const PanelRect& f = item.fills[0].rect;
    EXPECT_TRUE(f.left < f.right && f.top < f.bottom) << text;
    const PanelText& t = item.texts[item.textCount - 1];
    EXPECT_EQ(std::string(t.text, static_cast<size_t>(t.length)), text);
  }
}

}  // namespace

}  // namespace plc
