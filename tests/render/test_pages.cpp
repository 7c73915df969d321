// The page composer and the data-table pages, checked on the recording surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <cmath>
#include <functional>

#include "analysis/Analysis.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "render/Primitives.h"
#include "render/RecordingSurface.h"
#include "support/FieldRecords.h"

namespace tov {
namespace {

struct Device {  // page millimetres to pixels, computed independently
  int dpi = 96;
  double left = 15, top = 15;
  double px() const { return dpi * kMmPerInchInverse; }
  int x(double mm) const { return static_cast<int>(left * px() + px() * mm); }
  int y(double mm, double shift = 0.0) const { return static_cast<int>((shift + mm) * px() + top * px()); }
  int fontPx(double points) const { return static_cast<int>(dpi * points * 0.013888888888888888); }
  double fontMm(double points) const { return fontPx(points) / px(); }
};

class PagesTest : public ::testing::Test {
protected:
  void SetUp() override {
    rec.set_formulaKind("0");
    rec.fillScaleDefaults(ds.headingDefaults());
    set({{F_surveyName, "SURVEY"}, {F_contractorName, "CONTRACTOR"}, {F_tableTitle, "TABLE TITLE"}});
    for (int i = 0; i < kFontSlotCount; ++i)  // faces F1..F6 of sizes 10, 9, 8, 7, 12, 11
      fonts[static_cast<std::size_t>(i)] = {std::vector{10.0, 9.0, 8.0, 7.0, 12.0, 11.0}[static_cast<std::size_t>(i)],
                                            cformat("F%d", i + 1), 0x10 * (i + 1), 0};
  }
  void TearDown() override { pageTransform().build(96, 96, 15, 15); }
  void set(std::initializer_list<std::pair<int, const char*>> fields) {
    for (const auto& [number, text] : fields) rec.setField(number, text);
  }
  void readings(int n) {
    for (int row = 1; row <= n; ++row) rec.setCell(row, C_time, cformat("%d", 10 * row));
  }
  PageInputs in() { return PageInputs{rec, ds, fonts, 210}; }
  RecordingSurface render(int page, int dpi = 96) {
    RecordingSurface s(dpi, dpi);
    renderPage(s, in(), page);
    return s;
  }
  static std::vector<const RecordedText*> withFace(const RecordingSurface& s, const std::string& face) {
    std::vector<const RecordedText*> found;
    for (const auto& t : s.texts())
      if (t.font.faceName == face) found.push_back(&t);
    return found;
  }

  TestRecord rec;
  DisplaySettings ds = firstStartDisplaySettings();
  std::array<FontSetting, kFontSlotCount> fonts{};
  const Device d;
};

TEST_F(PagesTest, PagingAndWhichRowsATablePageShows) {
  const std::vector<std::pair<int, int>> counts = {{0, 2}, {40, 3}, {80, 4}, {85, 4}};
  for (auto [n, pages] : counts) {
    rec.readings.clear();
    readings(n);
    EXPECT_EQ(pageCount(rec), pages) << n;
  }
  rec.readings.clear();
  readings(41);
  const auto page3 = render(3);
  const auto rows = withFace(page3, "F2");  // row 41 alone, in the first row's place
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]->text, "    410");
  EXPECT_EQ(rows[0]->at.y, d.y(20.0 + 1.5 * 170.0 / 44.5 - 0.5, 58.0));

  readings(120);
  EXPECT_EQ(withFace(render(4), "F2").back()->text, "   1200");
  EXPECT_TRUE(withFace(render(5), "F2").empty());
  for (int tablePage : {5, 0, -2}) {
    RecordingSurface s;
    drawUnsteadyTable(s, in(), 3.0, tablePage);
    EXPECT_TRUE(s.texts().empty());
  }
}

TEST_F(PagesTest, RowsGroupedInFivesWithTheClockTimesFirst) {
  readings(40);
  rec.setCell(2, C_clockTime, "十時五分");
  rec.setCell(3, C_clockTime, "10:03");
  rec.setCell(4, C_pipeLevel, "abc");
  rec.setCell(5, C_clockTime, std::string(40, '9'));  // 18 fit in the 30 mm column at 9 points
  const auto s = render(2);
  const auto cells = withFace(s, "F2");
  std::vector<const RecordedText*> times;
  for (const auto* t : cells)
    if (t->at.x == d.x(55.0)) times.push_back(t);
  ASSERT_EQ(times.size(), 40u);
  const double p = 170.0 / 44.5;
  for (int j = 0; j < 40; ++j)
    EXPECT_EQ(times[static_cast<std::size_t>(j)]->at.y, d.y(20.0 + (j / 5 + 1) * p / 2 + (j + 1) * p - 0.5, 58.0)) << j;
  EXPECT_EQ(times[0]->align, unsigned(TA_CENTER | TA_BOTTOM));
  EXPECT_EQ(cells[0]->text, "十時五分");  // as typed, drawn before every other cell
  EXPECT_EQ(cells[0]->at.x, d.x(24.0));
  EXPECT_EQ(cells[1]->text, "10:03");
  EXPECT_EQ(cells[2]->text, std::string(18, '9'));
  EXPECT_TRUE(s.textsContaining("abc").empty());
  EXPECT_EQ(formatCell(in(), 4, TF_pipeLevel), "");
}

TEST_F(PagesTest, RulingHeadersAndCellFormats) {
  ds.levelLetter = "H";
  ds.frameLineWidth = 3;
  for (bool steady : {false, true}) {
    RecordingSurface s;
    pageTransform().build(96, 96, 15, 15);
    (steady ? drawSteadyTable : drawUnsteadyTable)(s, in(), 3.0, 1);
    EXPECT_EQ(s.linesWithPen(Pen{PS_SOLID, 3, kBlack}).size(), 4u);
    EXPECT_EQ(s.linesWithPen(Pen{PS_SOLID, 1, kBlack}).size(), steady ? 6u : 5u);
    EXPECT_NE(s.findDrawText("水位 H'"), nullptr);
    EXPECT_NE(s.findDrawText("水位 H"), nullptr);
    EXPECT_NE(s.findDrawText("管口からの"), nullptr);
  }
  ds.pipeWord = 1;  // the longer word is justified across the h' cell
  RecordingSurface s;
  drawUnsteadyTable(s, in(), 3.0, 1);
  EXPECT_EQ(s.findDrawText("パイプ天端からの"), nullptr);
  ASSERT_NE(s.findText("パ"), nullptr);
  EXPECT_EQ(s.findText("パ")->at.x, d.x(71.0));

  EXPECT_STREQ(tableCellFormat(4), "%8.4f");
  EXPECT_STREQ(tableCellFormat(12), "%12.8f");
  EXPECT_STREQ(tableCellFormat(-1), "%7.0f");
  rec.setCell(1, C_level, "+2.25");
  ds.digitsLevel = 4;
  EXPECT_EQ(formatCell(in(), 1, TF_level), "  2.2500");
  EXPECT_EQ(formatCell(in(), 121, TF_clockTime), "");
  rec.setCell(1, C_flow, "2.5E-5");
  rec.setCell(2, C_flow, "1234.5");
  const struct { int row, format, digits; const char* text; } flows[] = {
      {1, 0, 2, "2.50×10-5"}, {1, 1, 2, "2.50E-5"}, {1, 2, 2, "   0.00"},
      {2, 2, 2, "1234.50"},   {2, 0, 2, "1.23×10+3"}, {2, 1, 2, "1.23E+3"}, {1, 0, 12, "2.50000000×10-5"}};
  for (const auto& f : flows) {
    ds.tableFlowFormat = f.format;
    ds.digitsFlow = f.digits;
    EXPECT_EQ(formatCell(in(), f.row, TF_flow), f.text) << "row " << f.row << " format " << f.format;
  }
}

TEST_F(PagesTest, FontsTransformContractorLineAndRestoredFont) {
  readings(3);
  for (int dpi : {96, 600}) {
    SCOPED_TRACE(dpi);
    const Device dev{dpi, 20, 30};
    ds.leftMargin = 20;
    ds.topMargin = 30;
    const std::vector<std::pair<int, std::string>> pages = {{1, "F3"}, {1, "F4"}, {2, "F2"}};
    for (const auto& [page, face] : pages) EXPECT_FALSE(withFace(render(page, dpi), face).empty()) << face;
    RecordingSurface s(dpi, dpi);
    FontSpec before{7, 0, 0, 0, false, false, 128, 0, 1, "before"};
    s.selectFont(before);
    renderPage(s, in(), 2);
    EXPECT_EQ(s.currentFont(), before);
    EXPECT_EQ(pageTransform().pageOffsetY, 0.0);
    const std::vector<std::pair<std::string, double>> slots = {
        {"SURVEY", 10.0}, {"     10", 9.0}, {"TABLE TITLE", 12.0}, {"表-1", 11.0}};
    rec.set_tablePagePrefix("表-");
    rec.set_tablePageNumber("1");
    s = render(2, dpi);
    for (const auto& [text, points] : slots) {
      ASSERT_NE(s.findText(text), nullptr) << text;
      EXPECT_EQ(s.findText(text)->font.height, dev.fontPx(points)) << text;
    }
    EXPECT_EQ(s.findText("SURVEY")->colour, 0x10u);
    EXPECT_EQ(s.findText("SURVEY")->at.x, dev.x(35.0));
    EXPECT_EQ(s.findText("TABLE TITLE")->at, (DevicePoint{dev.x(75.0), dev.y(1.0)}));
    EXPECT_EQ(s.lines().front().from.y, dev.y(5.0, 58.0));
    EXPECT_EQ(s.findText("CONTRACTOR")->at, (DevicePoint{dev.x(160.0), dev.y(248.0 + dev.fontMm(10.0))}));
  }
  // Tall plots push the contractor line down on the graph page only.
  ds = firstStartDisplaySettings();
  ds.lowerGraphTop = 200;
  ds.lowerGraphHeight = 70;
  EXPECT_EQ(render(1).findText("CONTRACTOR")->at.y, d.y(270.0 + d.fontMm(10.0)));
  EXPECT_EQ(render(2).findText("CONTRACTOR")->at.y, d.y(248.0 + d.fontMm(10.0)));
}

TEST_F(PagesTest, Footers) {
  readings(85);
  set({{F_graphPagePrefix, "(付表-"}, {F_graphPageNumber, "3"}, {F_graphPageSuffix, ")"},
       {F_tablePageNumber, "5"}, {F_footerTop, "280"}, {F_footerLeft, "100"}});
  const Device paper{96, 0, 0};
  std::vector<std::string> texts;
  for (int page = 1; page <= 4; ++page) {
    const auto s = render(page);
    const auto f = withFace(s, "F6");
    ASSERT_EQ(f.size(), 1u);
    texts.push_back(f[0]->text);
    EXPECT_EQ(f[0]->at, (DevicePoint{paper.x(100.0), paper.y(280.0)}));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"(付表-3)", "5", "6", "7"}));
  rec.set_tablePageNumber("A");
  for (int page = 2; page <= 4; ++page) EXPECT_EQ(withFace(render(page), "F6")[0]->text, "A");
  rec.set_footerCentred("1");
  for (int margin : {0, 40}) {
    ds.leftMargin = ds.topMargin = margin;
    EXPECT_EQ(withFace(render(1), "F6")[0]->at, (DevicePoint{paper.x(105.0), paper.y(280.0)}));
  }
  // Nothing on pages that do not exist; a face that fails keeps the font in use.
  EXPECT_TRUE(render(6).texts().empty());
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  RecordingSurface s;
  s.failFontFace("F5");
  renderPage(s, in(), 2);
  EXPECT_EQ(s.findText("TABLE TITLE")->font.faceName, "F2");
  EXPECT_EQ(sink.reported, std::vector<std::string>{"Can't create font"});
}

TEST_F(PagesTest, ScaleGuard) {
  set({{F_graphAValueFrom, "0"}, {F_graphAValueTo, "0.00001"}, {F_graphAValueGrid2, "x"}});
  repairScalesForDrawing(rec);
  EXPECT_EQ(rec.graphAValueFrom() + rec.graphAValueTo() + rec.graphAValueGrid2(), "0.1104");
  rec.set_formulaKind("4");
  rec.setCell(1, C_time, "60");
  repairScalesForDrawing(rec);
  EXPECT_EQ(rec.graphAValueFrom() + "|" + rec.graphAValueGrid2(), "0.1|4");
  rec.setCell(1, C_time, "");
  repairScalesForDrawing(rec);
  EXPECT_EQ(rec.graphAValueFrom() + "|" + rec.graphAValueGrid2(), "0|");
}

TEST_F(PagesTest, HeadingBlock) {
  auto draw = [&](bool wider) {
    RecordingSurface s;
    pageTransform().build(96, 96, 15, 15);
    createFont(s, kBlack, d.fontPx(10.0), "F1", 0);
    drawHeadingBlock(s, in(), wider);
    return s;
  };
  set({{F_nValue, "NVALUE"}, {F_geologyName, "GEO"}, {F_showGeology, "1"}});
  for (int rows : {11, 12}) {
    rec.set_showNValue(rows == 12 ? "1" : "0");
    const double q = 42.0 / (rows - 1);
    const auto s = draw(false);
    EXPECT_EQ(s.findText("SURVEY")->at.y, d.y(12.0 - 0.4 * q)) << rows;
    EXPECT_EQ(s.findText("GEO")->at, (DevicePoint{d.x(54.0), d.y(12.0 + 10 * q + 0.4 * q)})) << rows;
    EXPECT_EQ(s.findText("NVALUE") != nullptr, rows == 12);
  }
  set({{F_testDateYear, "2024"}, {F_testDateMonth, "4"}, {F_testDateDay, "１"}, {F_datumKind, "T.P."},
       {F_collarElevation, "12.5"}, {F_depthFrom, "5"}, {F_depthTo, "6.5"}, {F_testIdNumberLabel, "ボーリングNo."}});
  rec.set_geologyName("砂混じりシルト質粘土");  // 20 bytes: justified from 54 to 90
  auto s = draw(false);
  for (const char* text : {"2024年 4月１日", "T.P. 12.50ｍ", "5.00～6.50m", "ボーリングNo.", "hoGL"})
    EXPECT_NE(s.findText(text), nullptr) << text;
  EXPECT_EQ(s.findText("ボーリングNo.")->at.x, d.x(10.0));
  EXPECT_EQ(s.findText("土")->at.x, d.x(54.0 + 18 * 34.0 / 18.0));
  set({{F_depthTo, ""}, {F_testerName, "TESTER"}});
  s = draw(true);
  EXPECT_NE(s.findText("　　～"), nullptr);
  EXPECT_EQ(s.findText("TESTER")->at.x, d.x(121.0));

  set({{F_formulaKind, "4"}, {F_steadyFlow, "2.5E-6"}, {F_upperSeparation, "1"}, {F_lowerSeparation, "1"},
       {F_pipeTopHeight, "1"}, {F_boreDiameter, "1"}, {F_sectionLength, "1"}});
  s = draw(false);
  const RecordedText* mantissa = s.findText("2.5×10");
  const RecordedText* exponent = s.findText("-6");
  ASSERT_TRUE(mantissa && exponent && s.findText("m") && s.findText("3") && s.findText("/s"));
  const int raise = d.y(0.8) - d.y(0.0);
  EXPECT_EQ(exponent->at, (DevicePoint{mantissa->at.x + RecordingSurface::textWidthFor("2.5×10", d.fontPx(10.0)),
                                       mantissa->at.y - raise}));
  EXPECT_EQ(s.findText("m")->at, (DevicePoint{exponent->at.x + d.fontPx(10.0) + 1, mantissa->at.y}));
  EXPECT_EQ(s.findText("3")->at.y, mantissa->at.y - raise);
}

bool hasTextWith(const RecordingSurface& s, const std::string& part) {
  return std::any_of(s.texts().begin(), s.texts().end(),
                     [&](const RecordedText& t) { return t.text.find(part) != std::string::npos; });
}

// The points' s as the rows of column 5 give them.
void rowsPoints(TestRecord& r) {
  for (const auto& [t, s, row] : {std::tuple{F_pointT1, F_pointS1, r.fieldInt(F_point1Row)},
                                 std::tuple{F_pointT2, F_pointS2, r.fieldInt(F_point2Row)}}) {
    r.setField(t, r.cell(row, C_time));
    r.setField(s, r.cell(row, C_headDifference));
  }
}

// One ho on the graph page: the readings are drawn with the s the points
// were taken with (the record's own rest level, or the written ho), the
// heading shows the record's beside the written one when it is used, and
// a line says which ho; points taken before ho was changed are named so.
// The table pages keep the written ho's s.
TEST_F(PagesTest, TheGraphPageDrawsEverySOfTheHoThePointsAreOf) {
  struct Row {
    const char* what;
    double off;
    std::function<void(TestRecord&)> take;
    bool own;            // the readings drawn with the record's own rest level
    const char* note;    // the start of the line under k ("" none)
  };
  const Row rows[] = {
      {"推奨区間 on the record's ho", 0.05, [](TestRecord& r) { applySuggestion(r, AnalysisSettings{}, 2); }, true,
       "※ グラフの s、s1、s2 と k は記録から求めた平衡水位 ho GL-1.000"},
      {"the rows' s as written", 0.05, rowsPoints, false, ""},
      {"the rows' s before ho was changed", 0.05,
       [](TestRecord& r) {
         rowsPoints(r);
         r.setField(F_equilibriumLevel, "-0.930");
         r.deriveAllRows();
       },
       false, "※ s1、s2、a、k は平衡水位 ho GL-0.950m のときの値です (見出しの ho は GL-0.930m)"},
      {"a clean record", 0, [](TestRecord& r) { applySuggestion(r, AnalysisSettings{}, 2); }, false, ""},
  };
  for (const Row& row : rows) {
    fieldrecords::Shape shape;
    shape.restOff = row.off;
    rec = fieldrecords::make(shape);
    rec.fillScaleDefaults(ds.headingDefaults());
    rec.setField(F_graphATimeTo, "1200");
    rec.setField(F_graphAValueFrom, "0.01");
    row.take(rec);
    const RecordingSurface page = render(1);
    EXPECT_EQ(hasTextWith(page, "(記録から)"), row.own) << row.what;
    EXPECT_EQ(hasTextWith(page, "※"), *row.note != 0) << row.what;
    if (*row.note) {
      EXPECT_TRUE(hasTextWith(page, row.note)) << row.what;
    }
    // Every reading where its s of that ho puts it.
    const AnalysisReport report = analyseRecord(rec, AnalysisSettings{});
    const double top = ds.upperGraphTop, bottom = top + ds.upperGraphHeight, left = ds.upperGraphLeft;
    for (int r = 1; r <= 28; ++r) {
      const double sv = row.own ? report.ownRest[static_cast<std::size_t>(r - 1)].s : toDouble(rec.cell(r, C_headDifference));
      if (sv < 0.01) continue;
      const DevicePoint at{toDeviceX(interpolate(toDouble(rec.cell(r, C_time)), 0, 1200, left, left + ds.graphWidth)),
                           toDeviceY(interpolate(std::log10(sv), -2, 1, bottom, top))};
      EXPECT_TRUE(std::any_of(page.circles().begin(), page.circles().end(), [&](const RecordedCircle& c) {
        return c.pen.colour == kBlack && std::abs(c.centre.x - at.x) <= 1 && std::abs(c.centre.y - at.y) <= 1;
      })) << row.what << ": row " << r;
    }
    // The table keeps the written ho's s, and its heading the written ho.
    const RecordingSurface table = render(2);
    EXPECT_TRUE(hasTextWith(table, cformat("%.3f", toDouble(rec.cell(28, C_headDifference))))) << row.what;
    EXPECT_FALSE(hasTextWith(table, "(記録から)")) << row.what;
  }
}

// The type curves are drawn over the readings, named, and their k printed
// under the formula only when asked for (the page is the sheet it is
// otherwise); the contractor's line keeps below every line of the block.
TEST_F(PagesTest, TypeCurvesOnTheGraphPageOnlyWhenAsked) {
  rec = fieldrecords::make(fieldrecords::Shape{});
  rec.fillScaleDefaults(ds.headingDefaults());
  applySuggestion(rec, AnalysisSettings{}, 2);
  rec.setField(F_contractorName, "CONTRACTOR");
  // A large results font low on the page: the block runs past where the
  // contractor's line would be.
  fonts[FontResults - 1].pointSize = 12.0;
  ds.resultTop = 225;
  for (const bool fit : {false, true}) {
    for (const bool curves : {false, true}) {
      RecordingSurface page;
      renderPage(page, PageInputs{rec, ds, fonts, 210, fit, curves}, 1);
      EXPECT_EQ(page.findText("CBP") != nullptr && page.findText("KGS") != nullptr, curves) << fit;
      EXPECT_EQ(hasTextWith(page, "(参考) 標準曲線 CBP (破線) k "), curves) << fit;
      EXPECT_EQ(hasTextWith(page, "(参考) 近似直線"), fit) << curves;
      int lowest = 0;
      for (const RecordedText& t : page.texts())
        if (t.font.faceName == "F4" && t.text != "CONTRACTOR") lowest = std::max(lowest, t.at.y + t.font.height);
      ASSERT_NE(page.findText("CONTRACTOR"), nullptr);
      EXPECT_GT(page.findText("CONTRACTOR")->at.y, lowest) << fit << curves;
    }
  }
}

} // namespace
} // namespace tov
