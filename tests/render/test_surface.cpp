// The recording surface: its text metrics, the current position and the
// clip bookkeeping that painter tests rely on.
#include <gtest/gtest.h>

#include "render/RecordingSurface.h"

namespace tov {
namespace {

TEST(RecordingSurfaceTest, MetricsCountCodePageBytes) {
  RecordingSurface s;
  EXPECT_EQ(s.dpiX(), 96);
  EXPECT_EQ(s.textExtent("ab"), (DeviceSize{16, 16}));  // default font height 16
  s.selectFont(FontSpec{.height = 20, .faceName = ""});
  EXPECT_EQ(s.textExtent("k="), (DeviceSize{20, 20}));
  EXPECT_EQ(s.textExtent("透水"), (DeviceSize{40, 20}));
  EXPECT_EQ(s.textExtent("ｶﾅ"), (DeviceSize{20, 20}));  // half-width katakana: 1 byte each
}

TEST(RecordingSurfaceTest, UpdateCpAnchorsAtAndAdvancesThePosition) {
  RecordingSurface s;
  s.selectFont(FontSpec{.height = 20, .faceName = ""});
  s.moveTo(100, 200);
  s.setTextAlign(TA_UPDATECP);
  s.textOut(0, 0, "ab");
  EXPECT_EQ(s.texts()[0].at, (DevicePoint{100, 200}));
  EXPECT_EQ(s.currentPosition(), (DevicePoint{120, 200}));

  s.setTextAlign(TA_UPDATECP | TA_RIGHT);
  s.textOut(0, 0, "abc");
  EXPECT_EQ(s.currentPosition(), (DevicePoint{90, 200}));
  s.setTextAlign(TA_UPDATECP | TA_CENTER);
  s.textOut(0, 0, "abc");
  EXPECT_EQ(s.currentPosition(), (DevicePoint{90, 200}));

  // Text running upwards moves the position up.
  s.selectFont(FontSpec{.height = 20, .escapement = 900, .faceName = ""});
  s.setTextAlign(TA_UPDATECP);
  s.textOut(0, 0, "abcd");
  EXPECT_EQ(s.currentPosition(), (DevicePoint{90, 160}));

  // Without TA_UPDATECP the given point is used and the position stays.
  s.setTextAlign(TA_CENTER | TA_BOTTOM);
  s.textOut(5, 6, "x");
  EXPECT_EQ(s.texts().back().at, (DevicePoint{5, 6}));
  EXPECT_EQ(s.texts().back().align, static_cast<unsigned>(TA_CENTER | TA_BOTTOM));
  EXPECT_EQ(s.currentPosition(), (DevicePoint{90, 160}));
}

TEST(RecordingSurfaceTest, ClipsIntersectAndMarkWhatIsDrawn) {
  RecordingSurface s;
  const Pen pen{PS_SOLID, 1, 0};
  s.intersectClipRect({50, 10, 0, 100});  // given reversed
  s.intersectClipRect({20, 0, 80, 60});
  EXPECT_TRUE(s.clipActive());
  EXPECT_EQ(s.clipRect(), (DeviceRect{20, 10, 50, 60}));
  s.moveTo(0, 0);
  s.lineTo(10, 10, pen);
  s.circle(5, 5, 3, pen);
  s.resetClip();
  s.lineTo(20, 20, pen);
  ASSERT_EQ(s.lines().size(), 2u);
  EXPECT_TRUE(s.lines()[0].clipped);
  EXPECT_EQ(s.lines()[0].clip, (DeviceRect{20, 10, 50, 60}));
  EXPECT_TRUE(s.circles()[0].clipped);
  EXPECT_FALSE(s.lines()[1].clipped);
  ASSERT_EQ(s.clipChanges().size(), 3u);
  EXPECT_FALSE(s.clipChanges()[2].active);
  // Drawing order across kinds.
  EXPECT_LT(s.lines()[0].order, s.circles()[0].order);
  EXPECT_LT(s.clipChanges()[2].order, s.lines()[1].order);
}

TEST(RecordingSurfaceTest, FailingFacesAndClear) {
  RecordingSurface s;
  s.failFontFace("Broken");
  EXPECT_TRUE(s.selectFont(FontSpec{.height = 12, .faceName = "Good"}));
  EXPECT_FALSE(s.selectFont(FontSpec{.height = 30, .faceName = "Broken"}));
  EXPECT_EQ(s.currentFont().faceName, "Good");
  s.moveTo(0, 0);
  s.lineTo(10, 10, Pen{PS_SOLID, 0, kRed});  // width 0: moves only
  s.lineTo(20, 10, Pen{PS_SOLID, 1, kRed});
  ASSERT_EQ(s.lines().size(), 1u);
  EXPECT_EQ(s.lines()[0].from, (DevicePoint{10, 10}));
  s.clear();
  EXPECT_TRUE(s.lines().empty());
  EXPECT_EQ(s.currentFont().faceName, "Good");  // state survives
  EXPECT_FALSE(s.selectFont(FontSpec{.height = 30, .faceName = "Broken"}));
}

} // namespace
} // namespace tov
