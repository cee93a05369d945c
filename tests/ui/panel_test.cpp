#include "ui/panel.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string Drawn(const PanelText& t) {
  return std::string(t.text, static_cast<size_t>(t.length));
}

bool SameRect(const PanelRect& a, const PanelRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(Panel, ProgressBarRightEdge) {
  struct Case {
    int32_t progress;
    int right;
  } cases[] = {
      {0, 10},     // no red at all: the edge is the left edge
      {1, 15},     // 510 / 100 truncated
      {50, 265},   // half the 510-pixel scale
      {99, 514},   // 50490 / 100 truncated
      {100, 520},  // exactly over the white bar
      {-5, 10},    // outside the scale: never left of the bar
      {250, 520},  // nor right of it
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressBarRight(c.progress), c.right) << c.progress;
}

TEST(Panel, ProgressBarItemClearsBarThenRedThenTextField) {
  PanelItem item = ProgressBarItem(50);
  ASSERT_EQ(item.fillCount, 3);
  EXPECT_TRUE(SameRect(item.fills[0].rect, {10, 105, 520, 125}));
  EXPECT_EQ(item.fills[0].brush, PanelBrush::kWhite);
  EXPECT_TRUE(SameRect(item.fills[1].rect, {10, 105, 265, 125}));
  EXPECT_EQ(item.fills[1].brush, PanelBrush::kRed);
  EXPECT_TRUE(SameRect(item.fills[2].rect, {10, 140, 130, 160}));
  EXPECT_EQ(item.fills[2].brush, PanelBrush::kBackground);
  ASSERT_EQ(item.textCount, 2);
  EXPECT_EQ(Drawn(item.texts[0]), "Progress:            %");
  EXPECT_EQ(item.texts[0].x, 10);
  EXPECT_EQ(item.texts[0].y, 140);
  EXPECT_EQ(Drawn(item.texts[1]), " 50");
  EXPECT_EQ(item.texts[1].x, 85);
}

TEST(Panel, NumbersAreRightAlignedInThreeColumnsAndNeverCut) {
  struct Case {
    int32_t seconds;
    const char* drawn;
  } cases[] = {
      {0, "  0"},
      {7, "  7"},
      {42, " 42"},
      {999, "999"},
      // Past the three columns the number is drawn whole.
      {1000, "1000"},
      {86400, "86400"},
      {INT_MAX, "2147483647"},
      {-1, " -1"},
  };
  for (const Case& c : cases) {
    PanelItem item = ElapsedTimeItem(c.seconds);
    ASSERT_EQ(item.textCount, 2);
    EXPECT_EQ(Drawn(item.texts[1]), c.drawn);
    EXPECT_EQ(item.texts[1].x, 270);
    EXPECT_EQ(item.texts[1].y, 70);
  }
}

TEST(Panel, ElapsedTimeLabelAndField) {
  PanelItem item = ElapsedTimeItem(3);
  ASSERT_EQ(item.fillCount, 1);
  EXPECT_TRUE(SameRect(item.fills[0].rect, {160, 70, 335, 90}));
  EXPECT_EQ(item.fills[0].brush, PanelBrush::kBackground);
  EXPECT_EQ(Drawn(item.texts[0]), "Elapsed Time:              sec");
  EXPECT_EQ(item.texts[0].length, 30);
  EXPECT_EQ(item.texts[0].x, 160);
}

TEST(Panel, StatusShowsThePhaseOrNothing) {
  struct Case {
    int32_t flashStatus;
    const char* phase;  // nullptr: only the label
  } cases[] = {
      {0, "Idle"}, {1, "Erasing"}, {2, "Programming"}, {3, nullptr}, {-1, nullptr},
  };
  for (const Case& c : cases) {
    PanelItem item = StatusItem(c.flashStatus);
    // Cleared first, so "Idle" after "Programming" leaves no trace.
    ASSERT_EQ(item.fillCount, 1);
    EXPECT_TRUE(SameRect(item.fills[0].rect, {160, 140, 300, 160}));
    EXPECT_EQ(Drawn(item.texts[0]), "Status: ");
    if (c.phase == nullptr) {
      EXPECT_EQ(item.textCount, 1) << c.flashStatus;
    } else {
      ASSERT_EQ(item.textCount, 2);
      EXPECT_EQ(Drawn(item.texts[1]), c.phase);
      EXPECT_EQ(item.texts[1].x, 209);
      EXPECT_EQ(item.texts[1].y, 140);
    }
  }
}

TEST(Panel, ErrorCounters) {
  struct Case {
    int32_t err, total;
    const char* drawn;
  } cases[] = {
      {0, 0, "# of Error/Total Error: 0/0"},
      {3, 17, "# of Error/Total Error: 3/17"},
      {INT_MIN, INT_MIN, "# of Error/Total Error: -2147483648/-2147483648"},
  };
  for (const Case& c : cases) {
    PanelItem item = ErrCounterItem(c.err, c.total);
    ASSERT_EQ(item.fillCount, 1);
    EXPECT_TRUE(SameRect(item.fills[0].rect, {320, 140, 540, 160}));
    ASSERT_EQ(item.textCount, 1);
    EXPECT_EQ(Drawn(item.texts[0]), c.drawn);
    EXPECT_EQ(item.texts[0].x, 320);
  }
}

TEST(Panel, DateIsFixedAndClearsNothing) {
  PanelItem item = DateItem();
  EXPECT_EQ(item.fillCount, 0);
  ASSERT_EQ(item.textCount, 1);
  EXPECT_EQ(Drawn(item.texts[0]), "Date: 2021/04/22");
  EXPECT_EQ(item.texts[0].x, 300);
  EXPECT_EQ(item.texts[0].y, 25);
}

}  // namespace
