// Page transform, drawing primitives and axis routines, checked on the
// recording surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "record/Messages.h"
#include "render/Primitives.h"
#include "render/RecordingSurface.h"

namespace tov {
namespace {

// A transform of exactly 10 px per mm without margins, so that device
// pixels can be read off millimetres.
void useTenPixelsPerMm() {
  PageTransform& t = pageTransform();
  t.build(254, 254, 0.0, 0.0);
  t.pxPerMmX = t.pxPerMmY = t.scaleX = t.scaleY = 10.0;
}

std::vector<std::string> textsOf(const RecordingSurface& s) {
  std::vector<std::string> out;
  for (const auto& t : s.texts()) out.push_back(t.text);
  return out;
}

class PrimitivesTest : public ::testing::Test {
protected:
  void SetUp() override { pageTransform().build(96, 96, 15.0, 15.0); }
  void TearDown() override { pageTransform().build(96, 96, 15.0, 15.0); }
  RecordingSurface s;
};

TEST_F(PrimitivesTest, TransformTruncatesTowardZeroAndClamps) {
  const PageTransform& t = pageTransform();
  EXPECT_DOUBLE_EQ(t.pxPerMmX, 96 * 0.03937007874015748);
  EXPECT_DOUBLE_EQ(t.scaleY, t.pxPerMmY);
  EXPECT_EQ(toDeviceX(0.0), 56);   // 15 mm = 56.69 px
  EXPECT_EQ(toDeviceX(10.0), 94);  // 94.49
  EXPECT_EQ(toDeviceY(10.0), 94);

  pageTransform().pageOffsetY = 58.0;
  EXPECT_EQ(toDeviceY(0.0), 275);  // (58 + 0) * 3.78 + 56.69 = 275.9
  EXPECT_EQ(toDeviceX(0.0), 56);   // the offset moves y only

  pageTransform().build(96, 96, 0.0, 0.0);
  EXPECT_EQ(toDeviceX(-1.0), -3);  // -3.78 truncates to -3, not -4
  EXPECT_EQ(toDeviceY(-1.0), -3);
  EXPECT_EQ(toDeviceX(1e6), 32767);
  EXPECT_EQ(toDeviceX(-1e6), -32767);
  EXPECT_EQ(toDeviceY(-1e300), -32767);
  EXPECT_EQ(toDeviceX(std::numeric_limits<double>::quiet_NaN()), 0);

  pageTransform().build(600, 300, 15.0, 15.0);
  EXPECT_EQ(toDeviceX(0.0), 354);  // 354.33
  EXPECT_EQ(toDeviceY(0.0), 177);  // 177.17
}

TEST_F(PrimitivesTest, PixelLengthsAndFontHeights) {
  EXPECT_NEAR(pixelsToMm(38), 38 / (96 / 25.4), 1e-12);
  EXPECT_EQ(fontHeightPx(9.0), 12);
  EXPECT_EQ(fontHeightPx(10.5), 14);
  pageTransform().build(600, 600, 15, 15);
  EXPECT_EQ(fontHeightPx(9.0), 75);
  pageTransform().scaleX = 0.0;
  EXPECT_EQ(pixelsToMm(100), 0.0);
  EXPECT_EQ(parseColourText("0x808080"), 0x808080u);
  EXPECT_EQ(parseColourText("255"), 255u);
}

TEST_F(PrimitivesTest, DashedLines) {
  useTenPixelsPerMm();
  // 100 px rightwards, 5 on / 5 off: dashes at 0, 10, ... 90.
  dashedLineMm(s, 0, 5, 10, 5, 5, 5, 2, 0x00FF00);
  ASSERT_EQ(s.lines().size(), 10u);
  EXPECT_EQ(s.lines().front().from, (DevicePoint{0, 50}));
  EXPECT_EQ(s.lines().front().to, (DevicePoint{5, 50}));
  EXPECT_EQ(s.lines().back().from, (DevicePoint{90, 50}));
  EXPECT_EQ(s.lines().back().pen, (Pen{PS_SOLID, 2, 0x00FF00}));

  // Downwards works the same way.
  s.clear();
  dashedLineMm(s, 1, 0, 1, 10, 5, 5, 1, 0);
  ASSERT_EQ(s.lines().size(), 10u);
  EXPECT_EQ(s.lines()[1].to, (DevicePoint{10, 15}));

  // A remainder shorter than a dash stays blank.
  s.clear();
  dashedLineMm(s, 0, 0, 9.4, 0, 5, 5, 1, 0);
  EXPECT_EQ(s.lines().size(), 9u);

  // Leftwards or upwards: nothing, however short the line.
  s.clear();
  dashedLineMm(s, 10, 0, 0, 0, 5, 5, 1, 0);
  dashedLineMm(s, 0, 10, 0, 0, 5, 5, 1, 0);
  dashedLineMm(s, 1.0, 0, 0.8, 0, 5, 5, 1, 0);
  EXPECT_TRUE(s.lines().empty());

  // Zero width: nothing, solid or dashed. Zero blank: one solid line.
  // Zero solid with a blank: nothing.
  dashedLineMm(s, 0, 0, 10, 0, 5, 5, 0, 0);
  dashedLineMm(s, 0, 0, 10, 0, 5, 0, 0, 0);
  lineMm(s, 0, 0, 10, 0, PS_SOLID, 0, 0);
  dashedLineMm(s, 0, 0, 10, 0, 0, 5, 1, 0);
  EXPECT_TRUE(s.lines().empty());
  dashedLineMm(s, 0, 0, 10, 0, 5, 0, 3, kRed);
  ASSERT_EQ(s.lines().size(), 1u);
  EXPECT_EQ(s.lines()[0].from, (DevicePoint{0, 0}));
  EXPECT_EQ(s.lines()[0].to, (DevicePoint{100, 0}));
  EXPECT_EQ(s.lines()[0].pen.width, 3);
}

TEST_F(PrimitivesTest, InterpolateGuards) {
  EXPECT_DOUBLE_EQ(interpolate(5, 0, 10, 0, 100), 50.0);
  EXPECT_DOUBLE_EQ(interpolate(2, 0, 10, 100, 0), 80.0);
  EXPECT_DOUBLE_EQ(interpolate(5, 3, 3 + 5e-8, 0, 100), 0.0);
  EXPECT_DOUBLE_EQ(interpolate(1e9, 0, 1, 0, 1), 0.0);
  EXPECT_DOUBLE_EQ(interpolate(999999.9, 0, 1, 0, 1), 999999.9);
  EXPECT_DOUBLE_EQ(interpolate(std::nan(""), 0, 1, 0, 1), 0.0);
}

TEST_F(PrimitivesTest, CirclesAndClipping) {
  useTenPixelsPerMm();
  circleMm(s, 2, 3, 0.75, PS_SOLID, 1, kRed);
  circleMm(s, 2, 3, 0.75, PS_SOLID, 0, kRed);
  ASSERT_EQ(s.circles().size(), 1u);
  EXPECT_EQ(s.circles()[0].centre, (DevicePoint{20, 30}));
  EXPECT_EQ(s.circles()[0].radius, 7);  // 7.5 px truncated
  EXPECT_FALSE(s.circles()[0].clipped);

  clipToMm(s, 1, 2, 5, 6);
  lineMm(s, 0, 0, 10, 10, PS_SOLID, 1, 0);
  unclip(s);
  lineMm(s, 0, 0, 10, 10, PS_SOLID, 1, 0);
  ASSERT_EQ(s.lines().size(), 2u);
  EXPECT_TRUE(s.lines()[0].clipped);
  EXPECT_EQ(s.lines()[0].clip, (DeviceRect{10, 20, 50, 60}));
  EXPECT_FALSE(s.lines()[1].clipped);
}

TEST_F(PrimitivesTest, LogGridOfOneAndAHalfDecades) {
  useTenPixelsPerMm();
  const GridPen mainPen{5, 0, 1, kBlack};  // blank 0: solid
  const GridPen subPen{5, 0, 1, 0x808080};
  horizontalGridLog(s, 0, 50, 100, 0, 0.02, 10, 4, mainPen, subPen, 0);

  // Main lines at 0.03 ... 0.09, 0.1 ... 0.9, 1 ... 9; none on the ends.
  std::set<int> expected;
  const double la = std::log10(0.02);
  for (double decade : {0.01, 0.1, 1.0})
    for (int m = 1; m <= 9; ++m) {
      const double v = decade * m;
      if (v < 0.025 || v > 9.5) continue;
      expected.insert(toDeviceY(interpolate(std::log10(v), la, 1.0, 100, 0)));
    }
  ASSERT_EQ(expected.size(), 25u);
  std::set<int> drawn;
  for (const auto& l : s.lines()) drawn.insert(l.from.y);
  EXPECT_EQ(s.lines().size(), 25u);
  EXPECT_EQ(drawn, expected);  // nothing at 0.02 (y 1000) or 10 (y 0)
  EXPECT_EQ(s.linesWithPen(1, kBlack).size(), 25u);
}

TEST_F(PrimitivesTest, LogGridSubLineKinds) {
  useTenPixelsPerMm();
  const GridPen mainPen{5, 0, 1, kBlack};
  const GridPen subPen{5, 0, 1, 0x808080};
  auto subLines = [&](int kind, int below5) {
    RecordingSurface r;
    horizontalGridLog(r, 0, 50, 100, 0, 1, 10, kind, mainPen, subPen, below5);
    EXPECT_EQ(r.linesWithPen(1, kBlack).size(), 8u) << "kind " << kind;  // 2 ... 9
    return r.linesWithPen(1, 0x808080).size();
  };
  EXPECT_EQ(subLines(1, 0), 10u);  // 1.1, 1.2, then 2.2 ... 9.2
  EXPECT_EQ(subLines(2, 0), 30u);
  EXPECT_EQ(subLines(2, 1), 20u);  // none above 5
  EXPECT_EQ(subLines(3, 0), 64u);
  EXPECT_EQ(subLines(4, 0), 0u);
  EXPECT_EQ(subLines(0, 0), 0u);

  // Non-positive or equal ends draw nothing.
  RecordingSurface r;
  horizontalGridLog(r, 0, 50, 100, 0, 0, 10, 1, mainPen, subPen, 0);
  horizontalGridLog(r, 0, 50, 100, 0, 5, 5, 1, mainPen, subPen, 0);
  horizontalGridLog(r, 0, 50, 100, 0, -1, 10, 1, mainPen, subPen, 0);
  EXPECT_TRUE(r.lines().empty());
}

TEST_F(PrimitivesTest, LinearGrids) {
  useTenPixelsPerMm();
  const GridPen mainPen{5, 0, 2, 0x123456};  // main lines are always black
  const GridPen subPen{5, 0, 1, 0x808080};

  // x given right to left; sub lines every 2 mm, main every 5 mm from 0.
  verticalGridLinear(s, 20, 0, 0, 10, 0, 5, 2, mainPen, subPen);
  std::vector<int> subX, mainX;
  for (const auto& l : s.lines()) (l.pen.colour == kBlack ? mainX : subX).push_back(l.from.x);
  EXPECT_EQ(subX, (std::vector<int>{20, 40, 60, 80, 100, 120, 140, 160, 180}));
  EXPECT_EQ(mainX, (std::vector<int>{0, 50, 100, 150, 0, 200}));  // then both edges

  // Equal steps: no sub lines. Negative main step walks back from the offset.
  s.clear();
  verticalGridLinear(s, 0, 20, 0, 10, 20, -5, -5 + 0.0005, mainPen, subPen);
  mainX.clear();
  for (const auto& l : s.lines()) mainX.push_back(l.from.x);
  EXPECT_EQ(mainX, (std::vector<int>{200, 150, 100, 50, 0, 200}));

  // Horizontal: sub lines first, no lines on the ends, either direction.
  s.clear();
  horizontalGridLinear(s, 0, 10, 10, 0, -4, 2, mainPen, subPen, 1);
  std::vector<int> ys;
  for (const auto& l : s.lines()) ys.push_back(l.from.y);
  EXPECT_EQ(ys, (std::vector<int>{80, 60, 40, 20, 60, 20}));
  s.clear();
  horizontalGridLinear(s, 0, 10, 0, 10, 4, 4, mainPen, subPen, 0);
  ys.clear();
  for (const auto& l : s.lines()) ys.push_back(l.from.y);
  EXPECT_EQ(ys, (std::vector<int>{40, 80}));

  // A zero step draws no pile of lines on the axis end.
  s.clear();
  horizontalGridLinear(s, 0, 10, 0, 10, 0, 0, mainPen, subPen, 1);
  EXPECT_TRUE(s.lines().empty());
}

TEST_F(PrimitivesTest, LogLabels) {
  useTenPixelsPerMm();
  EXPECT_EQ(labelsLogY(s, 0, 100, 0, 0.02, 10, 1), 4);
  EXPECT_EQ(textsOf(s),
            (std::vector<std::string>{"0.02", "0.05", "0.1", "0.2", "0.5", "1", "2", "5", "10"}));
  // Positions are whole millimetres: 1 lies at 100 - 100 * 1.699 / 2.699.
  ASSERT_NE(s.findText("1"), nullptr);
  EXPECT_EQ(s.findText("1")->at.y, 370);
  EXPECT_EQ(s.findText("0.02")->at.y, 1000);
  EXPECT_EQ(s.findText("10")->at.y, 0);

  s.clear();
  EXPECT_EQ(labelsLogY(s, 0, 0, 100, 10, 1, 2), 2);
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  EXPECT_EQ(s.findText("10")->at.y, 0);

  s.clear();
  EXPECT_EQ(labelsLogY(s, 0, 100, 0, 0.001, 1000, 0), 5);  // decades only
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"0.001", "0.01", "0.1", "1", "10", "100", "1000"}));
  s.clear();
  EXPECT_EQ(labelsLogY(s, 0, 100, 0, 0, 10, 1), 0);
  EXPECT_EQ(labelsLogY(s, 0, 100, 0, 1, -10, 1), 0);
  EXPECT_TRUE(s.texts().empty());
}

TEST_F(PrimitivesTest, LinearLabelDecimals) {
  useTenPixelsPerMm();
  labelsLinearX(s, 0, 100, 5, 0, 10, 2);
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"0", "2", "4", "6", "8", "10"}));
  EXPECT_EQ(s.texts()[1].at, (DevicePoint{200, 50}));

  s.clear();
  labelsLinearX(s, 0, 100, 5, 0, 1, 0.25);
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"0.00", "0.25", "0.50", "0.75", "1.00"}));

  // "%g" writes 1e-005 without a point: no decimals from the step.
  s.clear();
  labelsLinearX(s, 0, 100, 5, 0, 1, 0.00001);
  EXPECT_EQ(s.texts().size(), 103u);
  EXPECT_EQ(s.texts()[1].text, "0");
  // Seven or more characters after the point: six decimals.
  s.clear();
  labelsLinearX(s, 0, 100, 5, 0, 1, 1.23456789e-5);
  EXPECT_EQ(s.texts()[1].text, "0.000012");

  // Descending, a zero step covering the whole range, a collapsed range.
  s.clear();
  labelsLinearX(s, 0, 100, 5, 10, 0, 5);
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"10", "5", "0"}));
  s.clear();
  labelsLinearX(s, 0, 100, 5, 2, 4, 0);
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"2", "4"}));
  s.clear();
  labelsLinearX(s, 0, 100, 5, 2, 2, 1);
  EXPECT_TRUE(s.texts().empty());

  // A value that only rounding keeps off zero prints as 0, never -0.0.
  s.clear();
  labelsLinearX(s, 0, 100, 5, -0.3, 0.3, 0.1);
  ASSERT_EQ(s.texts().size(), 7u);
  EXPECT_EQ(s.texts()[3].text, "0.0");

  s.clear();
  EXPECT_EQ(labelsLinearY(s, 3, 100, 0, 0, 100, 25), 3);
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"0", "25", "50", "75", "100"}));
  EXPECT_EQ(s.texts()[1].at, (DevicePoint{30, 750}));
  s.clear();
  labelsLinearY(s, 0, 0, 100, 0, 1000, 1);
  EXPECT_EQ(s.texts().size(), 102u);
}

TEST_F(PrimitivesTest, SuperscriptAndScientificText) {
  useTenPixelsPerMm();
  FontSpec font;
  font.height = 20;  // 10 px per byte on the recording surface
  s.selectFont(font);
  const int raise = toDeviceY(0.8) - toDeviceY(0.0);
  ASSERT_EQ(raise, 8);

  superscriptText(s, 10, 20, "10", "-5", "cm", 0);
  ASSERT_EQ(s.texts().size(), 3u);
  EXPECT_EQ(s.texts()[0].at, (DevicePoint{100, 200}));
  EXPECT_EQ(s.texts()[1].at, (DevicePoint{120, 192}));
  EXPECT_EQ(s.texts()[2].at, (DevicePoint{140, 200}));
  EXPECT_EQ(s.textAlign(), 0u);

  // Right-aligned: the whole ends at the point. Far-off coordinates continue
  // from the current position.
  s.clear();
  superscriptText(s, 10, 20, "10", "-5", "cm", 2);
  EXPECT_EQ(s.texts()[0].at, (DevicePoint{40, 200}));
  EXPECT_EQ(s.currentPosition(), (DevicePoint{100, 200}));
  superscriptText(s, -10000, -10000, "x", "2", "", 0);
  EXPECT_EQ(s.texts()[3].at, (DevicePoint{100, 200}));

  s.clear();
  scientificText(s, 10, 20, "1.23E-05", " cm/s");
  EXPECT_EQ(textsOf(s), (std::vector<std::string>{"1.23×10", "-5", " cm/s"}));
  EXPECT_EQ(s.texts()[1].at.y, 192);
  EXPECT_EQ(s.texts()[1].at.x, 100 + RecordingSurface::textWidthFor("1.23×10", 20));
  s.clear();
  scientificText(s, 10, 20, "2.5E+03", "");
  EXPECT_EQ(s.texts()[1].text, "3");

  // Not a number, or no exponent: nothing, and the alignment is left as
  // plain left/top.
  s.clear();
  scientificText(s, 10, 20, "abcE5", "x");
  scientificText(s, 10, 20, "0.5", "x");
  EXPECT_TRUE(s.texts().empty());
  EXPECT_EQ(s.textAlign(), 0u);
}

TEST_F(PrimitivesTest, SpreadTextByCodePageBytes) {
  useTenPixelsPerMm();
  s.setTextAlign(TA_CENTER | TA_BOTTOM);
  // Two full-width characters over 20 mm with a 4 mm character: the second
  // starts at byte 2, i.e. 16 mm in, and ends at the cell's right edge.
  spreadTextMm(s, 10, 30, 0, 10, 4, 3, "試験");
  EXPECT_EQ(s.textAlign(), 0u);
  ASSERT_EQ(s.texts().size(), 2u);
  EXPECT_EQ(s.texts()[0].at, (DevicePoint{100, 35}));  // top (0 + 10 - 3) / 2
  EXPECT_EQ(s.texts()[1].at, (DevicePoint{260, 35}));

  // Mixed widths: a (byte 0) Ｂ (byte 1) ｶ (byte 3, half-width) c (byte 4).
  s.clear();
  spreadTextMm(s, 0, 10, 0, 10, 4, 3, "aＢｶc");
  ASSERT_EQ(s.texts().size(), 4u);
  EXPECT_EQ(s.texts()[1].at.x, 20);  // step (10 - 4) / 3 = 2 mm
  EXPECT_EQ(s.texts()[2].at.x, 60);
  EXPECT_EQ(s.texts()[3].at.x, 80);

  // A text ending in a half-width character ends inside its cell: "No."
  // over 10..28 mm (minimum 2 mm) puts "." at 27 mm, not at 42 mm beyond
  // the value that follows the label.
  s.clear();
  spreadTextMm(s, 10, 28, 0, 10, 2, 0, "No.");
  ASSERT_EQ(s.texts().size(), 3u);
  EXPECT_EQ(s.texts()[1].at.x, 185);
  EXPECT_EQ(s.texts()[2].at.x, 270);

  // Up to two bytes: half the span per byte; a narrow cell spans the minimum.
  s.clear();
  spreadTextMm(s, 0, 2, 0, 10, 4, 3, "ab");
  EXPECT_EQ(s.texts()[1].at.x, 20);
}

TEST_F(PrimitivesTest, BoxedAndPreviewText) {
  useTenPixelsPerMm();
  textInBoxMm(s, 5, 6, 1, 2, "中央");
  ASSERT_EQ(s.drawTexts().size(), 1u);
  EXPECT_EQ(s.drawTexts()[0].rect, (DeviceRect{11, 21, 49, 59}));
  EXPECT_EQ(s.drawTexts()[0].flags, 0x125u);

  FontSpec page;
  page.height = 30;
  page.faceName = "ＭＳ 明朝";
  s.selectFont(page);
  s.clear();
  textInPixelRect(s, 100, 50, 10, 5, "見本", 0x0000FF, 14);
  ASSERT_EQ(s.drawTexts().size(), 1u);
  const RecordedDrawText& t = s.drawTexts()[0];
  EXPECT_EQ(t.rect, (DeviceRect{11, 6, 99, 49}));
  EXPECT_EQ(t.flags, 0x110u);
  EXPECT_EQ(t.font.height, 14);
  EXPECT_EQ(t.font.faceName, "");
  EXPECT_EQ(t.colour, 0x0000FFu);
  EXPECT_EQ(s.currentFont(), page);  // the page font is back

  s.clear();
  s.failFontFace("");
  textInPixelRect(s, 0, 0, 100, 100, "見本", 0, 14);
  EXPECT_TRUE(s.drawTexts().empty());
  EXPECT_EQ(s.currentFont(), page);
}

TEST_F(PrimitivesTest, CreateFontFillsTheRequestAndReportsFailures) {
  RecordingMessageSink sink;
  ScopedMessageSink guard(sink);

  ASSERT_TRUE(createFont(s, 0x00FF0000, 12, "ＭＳ 明朝", 90));
  const FontSpec& f = s.currentFont();
  EXPECT_EQ(f.height, 12);
  EXPECT_EQ(f.escapement, 900);
  EXPECT_EQ(f.charSet, 128);
  EXPECT_EQ(f.quality, 1);
  EXPECT_EQ(f.faceName, "ＭＳ 明朝");
  EXPECT_EQ(s.textColour(), 0x00FF0000u);

  const FontSpec before = s.currentFont();
  s.failFontFace("Bad Face");
  EXPECT_FALSE(createFont(s, kRed, 20, "Bad Face", 0));
  EXPECT_FALSE(createFont(s, kRed, 20, "Bad Face", 0));
  EXPECT_EQ(sink.reported, (std::vector<std::string>{"Can't create font", "Can't create font"}));
  EXPECT_EQ(s.currentFont(), before);
  EXPECT_EQ(s.textColour(), 0x00FF0000u);

  // Drawing goes on in the previous font.
  textAtMm(s, 0, 0, "k");
  EXPECT_EQ(s.texts().back().font, before);
}

} // namespace
} // namespace tov
