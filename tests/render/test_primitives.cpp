// Page transform, drawing primitives and axis routines, checked on the
// recording surface.
#include <gtest/gtest.h>

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

using Texts = std::vector<std::string>;

std::vector<std::string> textsOf(const RecordingSurface& s) {
  std::vector<std::string> out;
  for (const auto& t : s.texts()) out.push_back(t.text);
  return out;
}

class PrimitivesTest : public ::testing::Test {
protected:
  void SetUp() override { pageTransform().build(96, 96, 15.0, 15.0); }
  void TearDown() override { pageTransform().build(96, 96, 15.0, 15.0); }
  // Exactly 10 px per mm without margins, so that pixels read as millimetres.
  void useTenPixelsPerMm() {
    PageTransform& t = pageTransform();
    t.build(254, 254, 0.0, 0.0);
    t.pxPerMmX = t.pxPerMmY = t.scaleX = t.scaleY = 10.0;
  }
  // The from.x (vertical) or from.y (horizontal) of every line drawn.
  std::vector<int> positions(bool vertical) const {
    std::vector<int> out;
    for (const auto& l : s.lines()) out.push_back(vertical ? l.from.x : l.from.y);
    return out;
  }
  RecordingSurface s;
};

TEST_F(PrimitivesTest, TransformTruncatesTowardZeroAndClamps) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct { int dpiX, dpiY; double margin, offsetY, mm; int x, y; } rows[] = {
      {96, 96, 15, 0, 0, 56, 56},     // 15 mm = 56.69 px
      {96, 96, 15, 0, 10, 94, 94},    // 94.49
      {96, 96, 15, 58, 0, 56, 275},   // the offset moves y only: (58 + 0) * 3.78 + 56.69
      {96, 96, 0, 0, -1, -3, -3},     // -3.78 truncates to -3, not -4
      {96, 96, 0, 0, 1e6, 32767, 32767}, {96, 96, 0, 0, -1e6, -32767, -32767},
      {96, 96, 0, 0, -1e300, -32767, -32767}, {96, 96, 0, 0, nan, 0, 0},
      {600, 300, 15, 0, 0, 354, 177}};  // 354.33, 177.17
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.dpiX << "x" << r.dpiY << " dpi, " << r.mm << " mm, offset " << r.offsetY);
    pageTransform().build(r.dpiX, r.dpiY, r.margin, r.margin);
    pageTransform().pageOffsetY = r.offsetY;
    EXPECT_EQ(toDeviceX(r.mm), r.x);
    EXPECT_EQ(toDeviceY(r.mm), r.y);
  }
}

TEST_F(PrimitivesTest, PixelLengthsFontHeightsColoursAndInterpolation) {
  EXPECT_NEAR(pixelsToMm(38), 38 / (96 / 25.4), 1e-12);
  EXPECT_EQ(fontHeightPx(9.0), 12);
  EXPECT_EQ(fontHeightPx(10.5), 14);
  pageTransform().build(600, 600, 15, 15);
  EXPECT_EQ(fontHeightPx(9.0), 75);
  pageTransform().scaleX = 0.0;
  EXPECT_EQ(pixelsToMm(100), 0.0);
  EXPECT_EQ(parseColourText("0x808080"), 0x808080u);
  EXPECT_EQ(parseColourText("255"), 255u);
  // An empty range, or a result beyond +-999999.9, interpolates to 0.
  EXPECT_DOUBLE_EQ(interpolate(5, 0, 10, 0, 100), 50.0);
  EXPECT_DOUBLE_EQ(interpolate(2, 0, 10, 100, 0), 80.0);
  EXPECT_DOUBLE_EQ(interpolate(5, 3, 3 + 5e-8, 0, 100), 0.0);
  EXPECT_DOUBLE_EQ(interpolate(1e9, 0, 1, 0, 1), 0.0);
  EXPECT_DOUBLE_EQ(interpolate(999999.9, 0, 1, 0, 1), 999999.9);
  EXPECT_DOUBLE_EQ(interpolate(std::nan(""), 0, 1, 0, 1), 0.0);
}

TEST_F(PrimitivesTest, DashedLines) {
  useTenPixelsPerMm();
  auto dash = [&](double x1, double y1, double x2, double y2, int solid, int blank, int width, Colour c = 0) {
    s.clear();
    dashedLineMm(s, x1, y1, x2, y2, solid, blank, width, c);
    return s.lines();
  };
  auto l = dash(0, 5, 10, 5, 5, 5, 2, 0x00FF00);  // 100 px, 5 on / 5 off: dashes at 0, 10, ... 90
  ASSERT_EQ(l.size(), 10u);
  EXPECT_EQ(l.front().from, (DevicePoint{0, 50}));
  EXPECT_EQ(l.front().to, (DevicePoint{5, 50}));
  EXPECT_EQ(l.back().from, (DevicePoint{90, 50}));
  EXPECT_EQ(l.back().pen, (Pen{PS_SOLID, 2, 0x00FF00}));
  l = dash(1, 0, 1, 10, 5, 5, 1);  // downwards
  ASSERT_EQ(l.size(), 10u);
  EXPECT_EQ(l[1].to, (DevicePoint{10, 15}));
  EXPECT_EQ(dash(0, 0, 9.4, 0, 5, 5, 1).size(), 9u);  // a remainder shorter than a dash stays blank

  // Leftwards or upwards however short, zero width solid or dashed, zero
  // solid with a blank: nothing. Zero blank: one solid line.
  int row = 0;
  for (const auto& none : {dash(10, 0, 0, 0, 5, 5, 1), dash(0, 10, 0, 0, 5, 5, 1), dash(1.0, 0, 0.8, 0, 5, 5, 1),
                           dash(0, 0, 10, 0, 5, 5, 0), dash(0, 0, 10, 0, 5, 0, 0), dash(0, 0, 10, 0, 0, 5, 1)})
    EXPECT_TRUE(none.empty()) << "row " << row++;
  lineMm(s, 0, 0, 10, 0, PS_SOLID, 0, 0);
  EXPECT_TRUE(s.lines().empty());
  l = dash(0, 0, 10, 0, 5, 0, 3, kRed);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].from, (DevicePoint{0, 0}));
  EXPECT_EQ(l[0].to, (DevicePoint{100, 0}));
  EXPECT_EQ(l[0].pen.width, 3);
}

TEST_F(PrimitivesTest, CirclesAndClipping) {
  useTenPixelsPerMm();
  circleMm(s, 2, 3, 0.75, PS_SOLID, 1, kRed);
  circleMm(s, 2, 3, 0.75, PS_SOLID, 0, kRed);  // width 0: still drawn, with the thinnest pen
  ASSERT_EQ(s.circles().size(), 2u);
  EXPECT_EQ(s.circles()[1].pen.width, 0);
  EXPECT_EQ(s.circles()[0].centre, (DevicePoint{20, 30}));
  EXPECT_EQ(s.circles()[0].radius, 7);  // 7.5 px truncated

  clipToMm(s, 1, 2, 5, 6);
  lineMm(s, 0, 0, 10, 10, PS_SOLID, 1, 0);
  unclip(s);
  lineMm(s, 0, 0, 10, 10, PS_SOLID, 1, 0);
  ASSERT_EQ(s.lines().size(), 2u);
  EXPECT_TRUE(s.lines()[0].clipped);
  EXPECT_EQ(s.lines()[0].clip, (DeviceRect{10, 20, 50, 60}));
  EXPECT_FALSE(s.lines()[1].clipped);
}

TEST_F(PrimitivesTest, LogGrids) {
  useTenPixelsPerMm();
  const GridPen mainPen{5, 0, 1, kBlack};  // blank 0: solid
  const GridPen subPen{5, 0, 1, 0x808080};
  // One and a half decades: main lines at 0.03 ... 0.09, 0.1 ... 0.9, 1 ... 9,
  // none on the ends (0.02 at y 1000, 10 at y 0).
  horizontalGridLog(s, 0, 50, 100, 0, 0.02, 10, 4, mainPen, subPen, 0);
  std::set<int> expected;
  for (double decade : {0.01, 0.1, 1.0})
    for (int m = 1; m <= 9; ++m)
      if (decade * m > 0.025 && decade * m < 9.5)
        expected.insert(toDeviceY(interpolate(std::log10(decade * m), std::log10(0.02), 1.0, 100, 0)));
  const std::vector<int> ys = positions(false);
  EXPECT_EQ(std::set<int>(ys.begin(), ys.end()), expected);
  EXPECT_EQ(s.lines().size(), 25u);
  EXPECT_EQ(s.linesWithPen(1, kBlack).size(), 25u);

  // Sub lines by kind over one decade (main lines 2 ... 9 every time).
  // Kind 1: 1.1, 1.2, then 2.2 ... 9.2; below5: none above 5.
  const struct { int kind, below5; std::size_t sub; } kinds[] = {{1, 0, 10}, {2, 0, 30}, {2, 1, 20},
                                                                 {3, 0, 64}, {4, 0, 0},  {0, 0, 0}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(testing::Message() << "kind " << k.kind << " below5 " << k.below5);
    s.clear();
    horizontalGridLog(s, 0, 50, 100, 0, 1, 10, k.kind, mainPen, subPen, k.below5);
    EXPECT_EQ(s.linesWithPen(1, kBlack).size(), 8u);
    EXPECT_EQ(s.linesWithPen(1, 0x808080).size(), k.sub);
  }
  // Non-positive or equal ends draw nothing.
  s.clear();
  for (auto [va, vb] : {std::pair{0.0, 10.0}, {5.0, 5.0}, {-1.0, 10.0}})
    horizontalGridLog(s, 0, 50, 100, 0, va, vb, 1, mainPen, subPen, 0);
  EXPECT_TRUE(s.lines().empty());
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
  EXPECT_EQ(positions(true), (std::vector<int>{200, 150, 100, 50, 0, 200}));

  // Horizontal: sub lines first, no lines on the ends, either direction; a
  // zero step draws no pile of lines on the axis end.
  s.clear();
  horizontalGridLinear(s, 0, 10, 10, 0, -4, 2, mainPen, subPen, 1);
  EXPECT_EQ(positions(false), (std::vector<int>{80, 60, 40, 20, 60, 20}));
  s.clear();
  horizontalGridLinear(s, 0, 10, 0, 10, 4, 4, mainPen, subPen, 0);
  EXPECT_EQ(positions(false), (std::vector<int>{40, 80}));
  s.clear();
  horizontalGridLinear(s, 0, 10, 0, 10, 0, 0, mainPen, subPen, 1);
  EXPECT_TRUE(s.lines().empty());
}

TEST_F(PrimitivesTest, LogLabels) {
  useTenPixelsPerMm();
  const struct { double yFrom, yTo, va, vb; int kind, returned; Texts texts; bool tenAtTop = false; } rows[] = {
      {100, 0, 0.02, 10, 1, 4, {"0.02", "0.05", "0.1", "0.2", "0.5", "1", "2", "5", "10"}, true},
      {0, 100, 10, 1, 2, 2, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}, true},
      {100, 0, 0.001, 1000, 0, 5, {"0.001", "0.01", "0.1", "1", "10", "100", "1000"}},  // decades only
      {100, 0, 0, 10, 1, 0, {}},
      {100, 0, 1, -10, 1, 0, {}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.va << " .. " << r.vb << " kind " << r.kind);
    s.clear();
    EXPECT_EQ(labelsLogY(s, 0, r.yFrom, r.yTo, r.va, r.vb, r.kind), r.returned);
    EXPECT_EQ(textsOf(s), r.texts);
    if (r.tenAtTop) {
      EXPECT_EQ(s.findText("10")->at.y, 0);
    }
  }
  // Positions are whole millimetres: 1 lies at 100 - 100 * 1.699 / 2.699.
  s.clear();
  labelsLogY(s, 0, 100, 0, 0.02, 10, 1);
  EXPECT_EQ(s.findText("1")->at.y, 370);
  EXPECT_EQ(s.findText("0.02")->at.y, 1000);
}

TEST_F(PrimitivesTest, LinearLabelDecimals) {
  useTenPixelsPerMm();
  auto x = [&](double from, double to, double step) {
    s.clear();
    labelsLinearX(s, 0, 100, 5, from, to, step);
    return textsOf(s);
  };
  EXPECT_EQ(x(0, 10, 2), (Texts{"0", "2", "4", "6", "8", "10"}));
  EXPECT_EQ(s.texts()[1].at, (DevicePoint{200, 50}));
  EXPECT_EQ(x(0, 1, 0.25), (Texts{"0.00", "0.25", "0.50", "0.75", "1.00"}));
  // "%g" writes 1e-005 without a point: no decimals from the step.
  Texts t = x(0, 1, 0.00001);
  ASSERT_EQ(t.size(), 103u);
  EXPECT_EQ(t[1], "0");
  EXPECT_EQ(x(0, 1, 1.23456789e-5).at(1), "0.000012");  // seven or more after the point: six
  // Descending, a zero step covering the whole range, a collapsed range.
  EXPECT_EQ(x(10, 0, 5), (Texts{"10", "5", "0"}));
  EXPECT_EQ(x(2, 4, 0), (Texts{"2", "4"}));
  EXPECT_TRUE(x(2, 2, 1).empty());
  // A value that only rounding keeps off zero prints as 0, never -0.0.
  t = x(-0.3, 0.3, 0.1);
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[3], "0.0");
  EXPECT_EQ(x(0.3, -0.3, 0.1).at(3), "0.0");  // descending, the walk lands at -2.8e-17

  s.clear();
  EXPECT_EQ(labelsLinearY(s, 3, 100, 0, 0, 100, 25), 3);
  EXPECT_EQ(textsOf(s), (Texts{"0", "25", "50", "75", "100"}));
  EXPECT_EQ(s.texts()[1].at, (DevicePoint{30, 750}));
  s.clear();
  labelsLinearY(s, 0, 0, 100, 0, 1000, 1);
  EXPECT_EQ(s.texts().size(), 102u);
}

TEST_F(PrimitivesTest, SuperscriptAndScientificText) {
  useTenPixelsPerMm();
  s.selectFont(FontSpec{.height = 20, .faceName = ""});  // 10 px per byte here
  superscriptText(s, 10, 20, "10", "-5", "cm", 0);  // the exponent 0.8 mm (8 px) up
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
  EXPECT_EQ(textsOf(s), (Texts{"1.23×10", "-5", " cm/s"}));
  EXPECT_EQ(s.texts()[1].at, (DevicePoint{100 + RecordingSurface::textWidthFor("1.23×10", 20), 192}));
  s.clear();
  scientificText(s, 10, 20, "2.5E+03", "");
  EXPECT_EQ(s.texts()[1].text, "3");

  // A line with several: each number in E notation raised, the rest as is.
  s.clear();
  scientificLine(s, 10, 20, "k 2.01E-006 (95 % 0〜2.02E+003)");
  EXPECT_EQ(textsOf(s), (Texts{"k ", "2.01×10", "-6", " (95 % 0〜", "2.02×10", "3", ")"}));
  EXPECT_EQ(s.texts()[2].at.y, 192);
  EXPECT_EQ(s.texts()[3].at.y, 200);
  EXPECT_EQ(s.textAlign(), 0u);

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
  auto spread = [&](double x1, double x2, double minimum, double height, const char* text) {
    s.clear();
    spreadTextMm(s, x1, x2, 0, 10, minimum, height, text);
    std::vector<int> xs;
    for (const auto& t : s.texts()) xs.push_back(t.at.x);
    return xs;
  };
  // Two full-width characters over 20 mm with a 4 mm character: the second
  // starts at byte 2, i.e. 16 mm in, and ends at the cell's right edge.
  EXPECT_EQ(spread(10, 30, 4, 3, "試験"), (std::vector<int>{100, 260}));
  EXPECT_EQ(s.textAlign(), 0u);
  EXPECT_EQ(s.texts()[0].at.y, 35);  // top (0 + 10 - 3) / 2
  // Mixed widths: a (byte 0) Ｂ (byte 1) ｶ (byte 3, half-width) c (byte 4),
  // step (10 - 4) / 3 = 2 mm.
  EXPECT_EQ(spread(0, 10, 4, 3, "aＢｶc"), (std::vector<int>{0, 20, 60, 80}));
  // A text ending in a half-width character ends inside its cell: "No."
  // over 10..28 mm (minimum 2 mm) puts "." at 27 mm, not at 42 mm beyond
  // the value that follows the label.
  EXPECT_EQ(spread(10, 28, 2, 0, "No."), (std::vector<int>{100, 185, 270}));
  // Up to two bytes: half the span per byte; a narrow cell spans the minimum.
  EXPECT_EQ(spread(0, 2, 4, 3, "ab"), (std::vector<int>{0, 20}));
}

TEST_F(PrimitivesTest, BoxedAndPreviewText) {
  useTenPixelsPerMm();
  textInBoxMm(s, 5, 6, 1, 2, "中央");
  ASSERT_EQ(s.drawTexts().size(), 1u);
  EXPECT_EQ(s.drawTexts()[0].rect, (DeviceRect{11, 21, 49, 59}));
  EXPECT_EQ(s.drawTexts()[0].flags, 0x125u);

  const FontSpec page{.height = 30, .faceName = "ＭＳ 明朝"};
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
  const FontSpec before{.height = 12, .escapement = 900, .charSet = 128, .quality = 1, .faceName = "ＭＳ 明朝"};
  EXPECT_EQ(s.currentFont(), before);
  EXPECT_EQ(s.textColour(), 0x00FF0000u);

  // Every failure is reported; drawing goes on in the previous font and colour.
  s.failFontFace("Bad Face");
  EXPECT_FALSE(createFont(s, kRed, 20, "Bad Face", 0));
  EXPECT_FALSE(createFont(s, kRed, 20, "Bad Face", 0));
  EXPECT_EQ(sink.reported, (Texts{"Can't create font", "Can't create font"}));
  EXPECT_EQ(s.textColour(), 0x00FF0000u);
  textAtMm(s, 0, 0, "k");
  EXPECT_EQ(s.texts().back().font, before);
}

} // namespace
} // namespace tov
