// The graph page's painters drawn on the recording surface: plot boxes,
// readings, analysis points, gradient lines, axis names, flow labels and
// the formula block, checked in device pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "files/Settings.h"
#include "render/Page.h"
#include "render/Primitives.h"
#include "render/RecordingSurface.h"

namespace tov {
namespace {

constexpr int kFrame = 2, kRule = 5, kPolyline = 3, kSlope = 4;

// Positions that went through an interpolation may differ by the
// truncation of one pixel.
void expectNear(DevicePoint actual, DevicePoint expected) {
  EXPECT_NEAR(actual.x, expected.x, 1);
  EXPECT_NEAR(actual.y, expected.y, 1);
}

class GraphPageTest : public ::testing::Test {
protected:
  void SetUp() override {
    settings = firstStartDisplaySettings();
    settings.frameLineWidth = kFrame;
    settings.ruleLineWidth = kRule;
    settings.polylineWidth = kPolyline;
    settings.slopeLineWidth = kSlope;
    for (int slot = 1; slot <= kFontSlotCount; ++slot) fonts[slot - 1] = defaultFontSetting(slot);
    fonts[FontGraph - 1].faceName = "GraphFace";
    fonts[FontGraph - 1].pointSize = 11.0;
    pageTransform().build(254, 254, 0.0, 0.0);
    // Log s - t / Q - t: t 0..100 on 25..125 mm, s 0.1..10 on 130..70 mm.
    set({{F_graphATimeFrom, "0"}, {F_graphATimeTo, "100"}, {F_graphATimeStep, "20"}, {F_graphATimeGrid1, "20"},
         {F_graphATimeGrid2, "10"}, {F_graphAValueFrom, "0.1"}, {F_graphAValueTo, "10"},
         {F_graphAValueStep, "1"}, {F_graphAValueGrid2, "4"}, {F_grid2WhenGrid1Small, "1"},
         {F_graphBTimeFrom, "0"}, {F_graphBTimeTo, "100"}, {F_graphBTimeStep, "20"}, {F_graphBTimeGrid1, "20"},
         {F_graphBTimeGrid2, "10"}, {F_graphBLevelFrom, "-10"}, {F_graphBLevelTo, "10"},
         {F_graphBLevelStep, "5"}, {F_graphBLevelGrid1, "5"}, {F_graphBLevelGrid2, "1"}});
    selectFont(9.0);
  }

  void set(std::initializer_list<std::pair<int, const char*>> fields) {
    for (const auto& [number, text] : fields) record.setField(number, text);
  }
  void reading(int row, const char* t, const char* h, const char* s, const char* q = "") {
    record.setCell(row, C_time, t);
    record.setCell(row, C_level, h);
    record.setCell(row, C_headDifference, s);
    record.setCell(row, C_flow, q);
  }
  void selectFont(double points) {
    fontPx = fontHeightPx(points);
    createFont(surface, kBlack, fontPx, "Body", 0);
    surface.clear();
  }
  PageInputs in() const { return PageInputs{record, settings, fonts, 280}; }
  // Forgets what was drawn, then draws one painter afresh.
  void draw(void (*painter)(Surface&, const PageInputs&, double)) {
    surface.clear();
    painter(surface, in(), c());
  }
  double c() const { return fontPx / pageTransform().scaleY; }
  int width(const std::string& text) const { return RecordingSurface::textWidthFor(text, fontPx); }

  std::vector<const RecordedCircle*> circles(Colour colour) const {
    std::vector<const RecordedCircle*> out;
    for (const auto& cl : surface.circles())
      if (cl.pen.colour == colour) out.push_back(&cl);
    return out;
  }
  // Vertical lines strictly inside the frame from x = 25 to x = 125 mm.
  int innerVerticalLines() const {
    int n = 0;
    for (const auto& l : surface.lines())
      if (l.isVertical() && l.from.x > toDeviceX(25.0) && l.from.x < toDeviceX(125.0)) ++n;
    return n;
  }
  const RecordedText& text(const std::string& t) const {
    const RecordedText* found = surface.findText(t);
    if (found == nullptr) ADD_FAILURE() << "no text \"" << t << "\"";
    static const RecordedText none;
    return found != nullptr ? *found : none;
  }

  RecordingSurface surface{254, 254};
  TestRecord record;
  DisplaySettings settings;
  std::array<FontSetting, kFontSlotCount> fonts{};
  int fontPx = 0;
};

TEST_F(GraphPageTest, PlotBoxSuppressionAndMinimumSizes) {
  settings.upperGraphHeight = 0;
  settings.lowerGraphHeight = 0;
  reading(1, "10", "1", "1", "1E-5");
  for (auto painter : {drawLogSTPlot, drawQTPlot, drawHTPlot}) painter(surface, in(), c());
  EXPECT_TRUE(surface.lines().empty() && surface.circles().empty() && surface.texts().empty());
  EXPECT_EQ(surface.fontSelections(), 0);

  // Width 2 is drawn 5 wide, left and top below 1 are drawn at 1; the h - t
  // plot shares the width.
  settings.upperGraphHeight = 60;
  settings.lowerGraphHeight = 40;
  settings.graphWidth = 2;
  settings.upperGraphLeft = 0;
  settings.upperGraphTop = -4;
  settings.lowerGraphLeft = 30;
  drawLogSTPlot(surface, in(), c());
  drawHTPlot(surface, in(), c());
  const auto frame = surface.linesWithPen(Pen{PS_SOLID, kFrame, kBlack});
  ASSERT_EQ(frame.size(), 8u);
  EXPECT_EQ(frame[0]->from, (DevicePoint{toDeviceX(1.0), toDeviceY(1.0)}));
  EXPECT_EQ(frame[0]->to, (DevicePoint{toDeviceX(6.0), toDeviceY(1.0)}));
  EXPECT_EQ(frame[1]->from.y, toDeviceY(61.0));
  EXPECT_EQ(frame[4]->from, (DevicePoint{toDeviceX(30.0), toDeviceY(150.0)}));
  EXPECT_EQ(frame[4]->to, (DevicePoint{toDeviceX(35.0), toDeviceY(150.0)}));
  EXPECT_EQ(surface.textAlign(), TA_LEFT | TA_TOP);
}

TEST_F(GraphPageTest, ReadingsStopAtFirstRowWithoutTimeAndGapsBreakThePolyline) {
  // Row 2: s 0 and no h, skipped; row 5: negative s; row 8: no time, ends the readings.
  const char* rows[][3] = {{"10", "1", "1"},    {"20", "", "0"},    {"30", "2", "0.5"},
                           {"40", "3", "0.3"},  {"50", "4", "-0.2"}, {"60", "5", "0.2"},
                           {"70", "6", "0.15"}, {"", "7", "0.1"},   {"90", "8", "0.1"}};
  for (int row = 1; row <= 9; ++row) reading(row, rows[row - 1][0], rows[row - 1][1], rows[row - 1][2]);
  drawLogSTPlot(surface, in(), c());
  const int radius = static_cast<int>(pageTransform().scaleY * 1.0);
  int big = 0;
  for (const auto* cl : circles(kBlack)) {
    EXPECT_TRUE(cl->clipped);
    // Beyond the frame, but short of the value labels, which end 0.5 mm left of it.
    EXPECT_EQ(cl->clip.left, toDeviceX(25.0 - 0.25));
    EXPECT_EQ(cl->clip.right, toDeviceX(125.0 + 0.8));
    if (cl->radius == radius) ++big;
  }
  EXPECT_EQ(big, 5);  // rows 1, 3, 4, 6, 7
  EXPECT_EQ(circles(kBlack).size(), 10u);
  const auto poly = surface.linesWithPen(kPolyline, kBlack);
  ASSERT_EQ(poly.size(), 2u);  // 3-4 and 6-7
  EXPECT_NEAR(poly[0]->from.x, toDeviceX(55.0), 1);
  EXPECT_NEAR(poly[0]->to.x, toDeviceX(65.0), 1);
  expectNear(poly[1]->from, {toDeviceX(85.0), toDeviceY(100.0 - 30.0 * std::log10(0.2))});

  draw(drawHTPlot);
  EXPECT_EQ(circles(kBlack).size(), 12u);  // rows 1, 3 .. 7
  EXPECT_EQ(surface.linesWithPen(kPolyline, kBlack).size(), 4u);
}

TEST_F(GraphPageTest, EqualTimeLimitsGiveNoInnerGridLines) {
  drawLogSTPlot(surface, in(), c());
  EXPECT_GT(innerVerticalLines(), 0);
  set({{F_graphATimeTo, "0.0005"}, {F_graphBTimeTo, "0"}});
  for (auto painter : {drawLogSTPlot, drawHTPlot, drawQTPlot}) {
    draw(painter);
    EXPECT_EQ(innerVerticalLines(), 0);
  }
}

// The points, markers and gradient line are clipped to the frame as the
// readings are: a point outside the scales is not drawn across the page.
TEST_F(GraphPageTest, AnalysisPointsAreRedClippedToTheFrameAndMarked) {
  settings.gradientLineMode = 0;
  set({{F_pointT1, "150"}, {F_pointS1, "5"}, {F_pointT2, "40"}, {F_pointS2, "1"}});
  drawLogSTPlot(surface, in(), c());
  const auto red = circles(kRed);
  ASSERT_EQ(red.size(), 2u);
  EXPECT_TRUE(red[0]->clipped);
  EXPECT_NEAR(red[0]->centre.x, toDeviceX(175.0), 1);  // outside the frame: clipped away
  EXPECT_LT(red[0]->clip.right, red[0]->centre.x - red[0]->radius);
  EXPECT_EQ(red[0]->radius, static_cast<int>(pageTransform().scaleY * 1.1));
  const auto markers = surface.linesWithPen(kRule, kBlack);
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers[1]->from, red[1]->centre);
  EXPECT_EQ(markers[1]->to, (DevicePoint{red[1]->centre.x, toDeviceY(130.0)}));
  const auto slope = surface.linesWithPen(kSlope, kBlack);
  ASSERT_EQ(slope.size(), 1u);
  EXPECT_EQ(slope[0]->from, red[0]->centre);
  EXPECT_EQ(slope[0]->to, red[1]->centre);

  // No gradient line unless both points are drawn; no markers when off.
  settings.markGradientPoints = 0;
  record.setField(F_pointS2, "0");
  draw(drawLogSTPlot);
  EXPECT_EQ(circles(kRed).size(), 1u);
  EXPECT_TRUE(surface.linesWithPen(kSlope, kBlack).empty());
  EXPECT_TRUE(surface.linesWithPen(kRule, kBlack).empty());
}

TEST_F(GraphPageTest, ExtendedGradientLineStartAndEnd) {
  settings.gradientLineMode = 1;
  auto slopeLine = [&](const char* t1, const char* s1, const char* t2, const char* s2) {
    set({{F_pointT1, t1}, {F_pointS1, s1}, {F_pointT2, t2}, {F_pointS2, s2}});
    draw(drawLogSTPlot);
    const auto lines = surface.linesWithPen(kSlope, kBlack);
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? RecordedLine{} : *lines[0];
  };
  // t1 = 2 starts at t = 2; the end is midway between t2 and the axis end.
  RecordedLine l = slopeLine("2", "5", "40", "1");
  EXPECT_NEAR(l.from.x, toDeviceX(27.0), 1);
  EXPECT_NEAR(l.to.x, toDeviceX(95.0), 1);
  // The line runs through both red points (within a pixel of truncation).
  for (const auto* p : circles(kRed)) {
    const double cross = double(l.to.x - l.from.x) * (p->centre.y - l.from.y) -
                         double(l.to.y - l.from.y) * (p->centre.x - l.from.x);
    const double length = std::hypot(l.to.x - l.from.x, l.to.y - l.from.y);
    EXPECT_LE(std::fabs(cross) / length, 1.5);
  }
  EXPECT_NEAR(slopeLine("30", "5", "60", "1").from.x, toDeviceX(30.0), 1);  // starts at t = 5

  // Ends when the mid time would fall below the axis: t2 + 100, + 50, + 0.
  record.setField(F_graphATimeTo, "10000");
  for (auto [s2, end] : {std::pair{"4.99", 5010.0}, {"4", 120.0}, {"3", 70.0}})
    EXPECT_NEAR(slopeLine("10", "5", "20", s2).to.x, toDeviceX(25.0 + end / 100.0), 1) << "s2 " << s2;
  l = slopeLine("10", "5", "20", "1");
  expectNear(l.to, {toDeviceX(25.0 + 20 / 100.0), toDeviceY(100.0)});  // s = 1 is the middle of 0.1 .. 10
}

TEST_F(GraphPageTest, AxisNamesRotatedAndStackedWithTheLevelLetter) {
  settings.levelLetter = "H";
  drawHTPlot(surface, in(), c());
  const RecordedText& name = text("孔内水位 H(m)");
  EXPECT_EQ(name.font.escapement, 900);
  EXPECT_EQ(name.font.faceName, "GraphFace");
  EXPECT_EQ(name.font.height, fontHeightPx(11.0));
  EXPECT_EQ(name.at.y, toDeviceY(180.0));
  EXPECT_EQ(surface.textAlign(), TA_LEFT | TA_TOP);

  // "ｴ": one CP932 byte, three UTF-8 bytes.
  for (auto [letter, name] : {std::pair{"Ｈ", "孔内水位Ｈ(m)"}, {"ｴ", "孔内水位 ｴ(m)"}, {"", "孔内水位 h(m)"}}) {
    settings.levelLetter = letter;
    draw(drawHTPlot);
    text(name);
  }

  // Not rotated: three lines, 1.4c apart, in the caller's font.
  selectFont(9.0);
  settings.rotateAxisNames = 0;
  settings.levelLetter = "H";
  drawLogSTPlot(surface, in(), c());
  drawHTPlot(surface, in(), c());
  EXPECT_EQ(surface.fontSelections(), 0);
  const RecordedText& first = text("水位差");
  EXPECT_EQ(first.at, (DevicePoint{toDeviceX(25.0 - 6 * c()), toDeviceY(100.0 - 1.5 * c())}));
  EXPECT_EQ(text(" s").at.y, toDeviceY(100.0 - 1.5 * c() + 1.4 * c()));
  EXPECT_EQ(text(" H").at.y, toDeviceY(170.0 - 1.5 * c() + 1.4 * c()));
}

TEST_F(GraphPageTest, FlowLabelsDecimalOrExponent) {
  record.setField(F_formulaKind, "4");
  set({{F_graphAValueFrom, "0"}, {F_graphAValueTo, "0.0001"}, {F_graphAValueStep, "0.00005"},
       {F_graphAValueGrid1, "0.00005"}, {F_graphAValueGrid2, "0.00001"}});
  drawQTPlot(surface, in(), c());
  text("0.0000");
  EXPECT_EQ(text("0.0001").at.y, toDeviceY(70.0 - c() / 2));
  EXPECT_TRUE(surface.textsContaining("×10").empty());

  record.setField(F_graphAValueTo, "1.0E-04");
  draw(drawQTPlot);
  EXPECT_GT(text("1.00×10").at.y, text("-4").at.y);  // raised exponent
  EXPECT_GT(text("5.00×10").at.y, text("-5").at.y);
  const RecordedText& zero = text("0.00");
  EXPECT_EQ(zero.align & kHorizontalAlignMask, TA_RIGHT);
  expectNear(zero.at, {toDeviceX(25.0 - 1.5), toDeviceY(130.0 - c() / 2)});
  EXPECT_TRUE(surface.textsContaining("+0").empty());
  EXPECT_EQ(surface.textAlign(), TA_LEFT | TA_TOP);

  settings.graphFlowScaleFormat = 1;
  draw(drawQTPlot);
  text("5.00E");
  EXPECT_TRUE(surface.textsContaining("×10").empty());
}

TEST_F(GraphPageTest, FlowLabelsKeepClearOfTheFrameAndTheAxisName) {
  settings = firstStartDisplaySettings();
  fonts[FontGraph - 1] = defaultFontSetting(FontGraph);
  record.setField(F_formulaKind, "4");
  set({{F_graphAValueFrom, "0"}, {F_graphAValueTo, "4.0E-05"}, {F_graphAValueStep, "0.00001"},
       {F_graphAValueGrid1, "0.00001"}, {F_graphAValueGrid2, "0.000005"}});
  const std::vector<std::string> name{"流量 Q(m", "3", "/s)"};
  selectFont(9.0);
  draw(drawQTPlot);
  int labelsLeft = 1 << 30, nameRight = -(1 << 30), labels = 0;
  for (const RecordedText& t : surface.texts()) {
    if (t.at.y > toDeviceY(130.0)) continue;  // the time axis below the frame
    const int h = std::abs(t.font.height);
    const int w = RecordingSurface::textWidthFor(t.text, h);
    if (std::find(name.begin(), name.end(), t.text) != name.end()) {
      ASSERT_EQ(t.font.escapement, 900);
      nameRight = std::max(nameRight, t.at.x + h);  // a rotated text stands its height right of its anchor
      continue;
    }
    const int left = (t.align & kHorizontalAlignMask) == TA_RIGHT ? t.at.x - w : t.at.x;
    ++labels;
    labelsLeft = std::min(labelsLeft, left);
    EXPECT_LE(left + w, toDeviceX(25.0 - 1.0)) << t.text << ": at least 1 mm off the frame";
  }
  EXPECT_GE(labels, 5);
  EXPECT_LE(nameRight, labelsLeft - (toDeviceX(0.5) - toDeviceX(0.0))) << "the name at least 0.5 mm off the labels";
}

TEST_F(GraphPageTest, FlowAxisNameWithCubedMetre) {
  drawQTPlot(surface, in(), c());
  const RecordedText& first = text("流量 Q(m");
  const RecordedText& cube = text("3");
  const RecordedText& tail = text("/s)");
  EXPECT_EQ(first.font.escapement, 900);
  const int raise = toDeviceX(0.8) - toDeviceX(0.0);
  const int h = fontHeightPx(11.0);
  EXPECT_EQ(cube.at, (DevicePoint{first.at.x - raise, first.at.y - RecordingSurface::textWidthFor("流量 Q(m", h)}));
  EXPECT_EQ(tail.at, (DevicePoint{first.at.x, cube.at.y - RecordingSurface::textWidthFor("3", h)}));
  EXPECT_EQ(surface.textAlign(), TA_LEFT | TA_TOP);

  selectFont(9.0);
  settings.rotateAxisNames = 0;
  drawQTPlot(surface, in(), c());
  EXPECT_EQ(text(" Q").at.y, toDeviceY(100.0 - 1.5 * c() + 1.3 * c()));
  EXPECT_NE(surface.allText().find("(m3/s)"), std::string::npos);
}

TEST_F(GraphPageTest, FormulaBlockUnsteadyKinds) {
  set({{F_pointT1, "2"}, {F_pointT2, "40"}, {F_pointS1, "5"}, {F_pointS2, "1"}, {F_gradientText, "0.0184"},
       {F_permeabilityText, "2.15E-006"}, {F_formulaKind, "0"}});
  drawFormulaBlock(surface, in(), c());
  const double p = 1.2 * c();
  EXPECT_EQ(text("t1=   2(s)").at, (DevicePoint{toDeviceX(50.0), toDeviceY(220.0)}));
  EXPECT_EQ(text("t2=  40(s)").at.y, toDeviceY(220.0 + p));
  EXPECT_EQ(text("s1=5.000(m)").at, (DevicePoint{toDeviceX(90.0), toDeviceY(220.0)}));
  text("  =0.0184");
  EXPECT_EQ(text("log(2L/D)").at.y, toDeviceY(220.0 + 2 * p));
  EXPECT_LT(text("2").at.y, text("log(2L/D)").at.y);
  text("         8L");
  // The rules: from the end of " a=" / " k=" to the numerator's end, half a
  // character below the line.
  const int half = toDeviceY(c() / 2) - toDeviceY(0.0);
  const auto rules = surface.linesWithPen(kRule, kBlack);
  ASSERT_EQ(rules.size(), 2u);
  const RecordedText& a = text(" a=");
  EXPECT_EQ(rules[0]->from, (DevicePoint{a.at.x + width(" a="), a.at.y + half}));
  EXPECT_EQ(rules[0]->to.x, text("    log(s1/s2)").at.x + width("    log(s1/s2)"));
  const RecordedText& k = text(" k=");
  const int numeratorEnd = text("log(2L/D)").at.x + width("log(2L/D)");
  EXPECT_EQ(rules[1]->from, (DevicePoint{k.at.x + width(" k="), k.at.y + half}));
  EXPECT_EQ(rules[1]->to.x, numeratorEnd);
  EXPECT_EQ(text("･a").at, (DevicePoint{numeratorEnd, k.at.y}));
  EXPECT_EQ(text("  =").at.y, toDeviceY(220.0 + 2 * p + 2 * p));
  EXPECT_NE(surface.allText().find("   2.15×10-6(m/s)"), std::string::npos);
  EXPECT_GT(text("(m/s)").at.y, text("-6").at.y);
  EXPECT_EQ(surface.textAlign(), TA_LEFT | TA_TOP);

  // Time digits: 2 decimals; above 8 used as 8; negative used as 0. Then the
  // other unsteady kinds.
  const struct { int digits; const char* kind; std::vector<std::string> texts; } rows[] = {
      {2, "0", {"t1=2.00(s)"}}, {12, "0", {"t1=2.00000000(s)"}}, {-3, "0", {"t1=   2(s)"}},
      {0, "2", {"log(4L/D)", "         8L"}},
      {0, "1", {"log{L/D+√(1+(L/D)", ")}", "             8L"}},
      {0, "3", {"log{2L/D+√(1+(2L/D)", ")}", "             8L"}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "kind " << r.kind << " digits " << r.digits);
    settings.digitsTime = r.digits;
    record.setField(F_formulaKind, r.kind);
    draw(drawFormulaBlock);
    for (const auto& t : r.texts) text(t);
  }

  // No k: no result line. Unknown kind: no permeability formula.
  record.setField(F_permeabilityText, "");
  draw(drawFormulaBlock);
  EXPECT_EQ(surface.findText("  ="), nullptr);
  EXPECT_TRUE(surface.textsContaining("(m/s)").empty());
  record.setField(F_formulaKind, "7");
  draw(drawFormulaBlock);
  EXPECT_EQ(surface.findText(" k="), nullptr);
  text("t1=   2(s)");
}

TEST_F(GraphPageTest, FormulaBlockSteadyKind) {
  set({{F_formulaKind, "4"}, {F_permeabilityText, "3.40E-005"}, {F_pointT1, "60"}});
  drawFormulaBlock(surface, in(), c());
  const double p = 1.2 * c();
  const int lower = toDeviceY(0.4) - toDeviceY(0.0);
  EXPECT_TRUE(surface.textsContaining("t1=").empty());
  const RecordedText& q = text("    2.3 Q");
  EXPECT_EQ(q.at, (DevicePoint{toDeviceX(75.0), toDeviceY(220.0 + 2 * p)}));
  const auto subscripts = surface.textsContaining("o");
  ASSERT_GE(subscripts.size(), 2u);
  EXPECT_EQ(subscripts[0]->text, "o");
  EXPECT_EQ(subscripts[0]->at, (DevicePoint{q.at.x + width("    2.3 Q"), q.at.y + lower}));
  const RecordedText& log = text("log(2L/D)");
  EXPECT_EQ(log.at.y, q.at.y);
  const auto rules = surface.linesWithPen(kRule, kBlack);
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_EQ(rules[0]->to.x, log.at.x + width("log(2L/D)"));
  EXPECT_EQ(text("        2πS").at.y, toDeviceY(220.0 + 2 * p + p));
  EXPECT_EQ(text("L").at.y, toDeviceY(220.0 + 2 * p + p));
  EXPECT_EQ(text("  =").at, (DevicePoint{toDeviceX(75.0), toDeviceY(220.0 + 2 * p + 2.5 * p)}));
  EXPECT_NE(surface.allText().find("   3.40×10-5(m/s)"), std::string::npos);
  EXPECT_EQ(surface.textAlign(), TA_LEFT | TA_TOP);
}

} // namespace
} // namespace tov
