// One page of the open test: the page transform, the fonts, the heading
// block, the title, the contractor line and the footer around the graph
// painters (page 1) or the table painters (pages 2 and up).
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "render/Page.h"

#include "analysis/Analysis.h"
#include "render/Primitives.h"

namespace tov {

namespace {

constexpr int kReadingsPerTablePage = 40;
constexpr double kContractorBase = 248.0;  // mm: lowest the contractor line sits above
constexpr double kTableShift = 58.0;       // mm: the table body's vertical shift
constexpr double kTitleTop = 1.0;
constexpr double kContractorRight = 160.0;

// Creates the font of a slot and returns its character height in mm.
double useFont(Surface& s, const PageInputs& in, int slot) {
  const FontSetting& f = in.font(slot);
  const int heightPx = fontHeightPx(f.pointSize);
  createFont(s, static_cast<Colour>(f.colour), heightPx, f.faceName, 0);
  const double scaleY = pageTransform().scaleY;
  return scaleY < 1e-7 ? 0.0 : heightPx / scaleY;
}

double plotBottom(int top, int height) { return static_cast<double>(top) + static_cast<double>(height); }

} // namespace

PageInputs pageInputsFrom(const TestRecord& record, const Settings& settings, int paperWidthMm) {
  std::array<FontSetting, kFontSlotCount> fonts{};
  for (int slot = 1; slot <= kFontSlotCount; ++slot) fonts.at(static_cast<std::size_t>(slot - 1)) = settings.font(slot);
  return PageInputs{record, settings.display, fonts, paperWidthMm, theAnalysisSettings().fitOnPage,
                    theAnalysisSettings().typeCurvesOnPage};
}

int pageCount(const TestRecord& record) { return record.countRows(C_time) / kReadingsPerTablePage + 2; }

void repairScalesForDrawing(TestRecord& record) {
  if (record.fieldInt(F_formulaKind) == 4) {
    // A steady test without readings that still carries the unsteady
    // defaults of the first graph gets them cleared.
    if (!isNumberText(record.cell(1, C_time)) && std::fabs(record.fieldValue(F_graphAValueFrom) - 0.1) < 1e-10 &&
        toInt(record.field(F_graphAValueGrid2)) == 4) {
      record.setField(F_graphAValueFrom, "0");
      record.setField(F_graphAValueGrid2, "");
    }
    return;
  }
  if (record.fieldValue(F_graphAValueFrom) < 1e-7) record.setField(F_graphAValueFrom, "0.1");
  if (record.fieldValue(F_graphAValueTo) < 0.0001) record.setField(F_graphAValueTo, "10");
  if (!isNumberText(record.field(F_graphAValueGrid2))) record.setField(F_graphAValueGrid2, "4");
}

void drawFooter(Surface& s, const PageInputs& in, int currentPage) {
  const TestRecord& r = in.record;
  // A position that cannot be drawn leaves the footer out.
  const auto x = r.fieldInt(F_footerCentred) != 0 ? std::optional<double>(in.paperWidthMm * 0.5)
                                                   : drawnValue(r.footerLeft());
  const auto y = drawnValue(r.footerTop());
  if (!x || !y) return;

  PageTransform& pt = pageTransform();
  s.setTextAlign(TA_CENTER | TA_TOP);
  const double savedX = pt.originX;
  const double savedY = pt.originY;
  pt.originX = 0.0;
  pt.originY = 0.0;

  const bool graphPage = currentPage == 1;
  const std::string& prefix = graphPage ? r.graphPagePrefix() : r.tablePagePrefix();
  const std::string& start = graphPage ? r.graphPageNumber() : r.tablePageNumber();
  const std::string& suffix = graphPage ? r.graphPageSuffix() : r.tablePageSuffix();
  std::string text;
  if (isNumberText(start)) {
    const long number = static_cast<long>(toInt(start)) + (graphPage ? 0 : currentPage - 2);
    text = cformat("%s%ld%s", prefix.c_str(), number, suffix.c_str());
  } else {
    text = cformat("%s%s%s", prefix.c_str(), start.c_str(), suffix.c_str());
  }
  textAtMm(s, *x, *y, text);

  s.setTextAlign(TA_LEFT | TA_TOP);
  pt.originX = savedX;
  pt.originY = savedY;
}

DisplaySettings drawnSettings(const DisplaySettings& settings) {
  DisplaySettings d = settings;
  for (int* size : {&d.upperGraphHeight, &d.lowerGraphHeight, &d.graphWidth}) *size = std::min(*size, kMaxDrawnPlotMm);
  for (int* width : {&d.frameLineWidth, &d.ruleLineWidth, &d.grid1Width, &d.grid2Width, &d.polylineWidth,
                     &d.slopeLineWidth})
    *width = std::min(*width, kMaxDrawnPenWidth);
  d.plotSize = std::min(d.plotSize, kMaxDrawnPointMm);
  return d;
}

void renderPage(Surface& s, const PageInputs& given, int currentPage) {
  const DisplaySettings drawn = drawnSettings(given.settings);
  const PageInputs in{given.record, drawn, given.fonts, given.paperWidthMm, given.fitOnPage, given.typeCurvesOnPage,
                      given.analysis};
  const TestRecord& r = in.record;
  const DisplaySettings& ds = in.settings;
  PageTransform& pt = pageTransform();
  pt.build(s.dpiX(), s.dpiY(), static_cast<double>(ds.leftMargin), static_cast<double>(ds.topMargin));
  s.setWindowOrg(0, 0);
  s.setBkModeTransparent();

  const int kind = r.fieldInt(F_formulaKind);
  const double xCentre = ds.upperGraphLeft + ds.graphWidth / 2.0;
  const int pages = pageCount(r);

  const FontSpec remembered = s.currentFont();
  s.setBkModeTransparent();
  pt.pageOffsetY = 0.0;
  const double hh = useFont(s, in, FontHeading);

  if (currentPage == 1) {
    drawHeadingBlock(s, in, ds.widerHeadingLayout != 0);
    s.setTextAlign(TA_RIGHT | TA_TOP);
    double yBase = std::max({kContractorBase, plotBottom(ds.upperGraphTop, ds.upperGraphHeight),
                             plotBottom(ds.lowerGraphTop, ds.lowerGraphHeight), ds.resultTop + 6.0 * hh});
    // Below the lines the formula block adds under k, when there are such.
    if (const int lines = kind < 4 ? formulaNoteLines(in) : 0; lines > 0) {
      const double rh = fontHeightPx(in.font(FontResults).pointSize) / pt.scaleY;
      const double lastBottom = std::max(ds.resultTop, 1) + (5.2 + lines - 1) * 1.2 * rh + rh;
      yBase = std::max(yBase, lastBottom + 1.0 - hh);
    }
    textAtMm(s, kContractorRight, yBase + hh, r.contractorName());

    double gh = useFont(s, in, FontGraph);
    if (kind < 4)
      drawLogSTPlot(s, in, gh);
    else if (kind == 4)
      drawQTPlot(s, in, gh);
    // The upper plot may have left the graph font rotated.
    gh = useFont(s, in, FontGraph);
    drawHTPlot(s, in, gh);

    const double rh = useFont(s, in, FontResults);
    drawFormulaBlock(s, in, rh);

    useFont(s, in, FontTitle);
    s.setTextAlign(TA_CENTER | TA_TOP);
    textAtMm(s, xCentre, kTitleTop, r.graphTitle());

    useFont(s, in, FontPage);
    drawFooter(s, in, currentPage);
  } else if (currentPage >= 2 && currentPage <= pages) {
    drawHeadingBlock(s, in, ds.widerHeadingLayout != 0, false);
    s.setTextAlign(TA_RIGHT | TA_TOP);
    textAtMm(s, kContractorRight, kContractorBase + hh, r.contractorName());

    pt.pageOffsetY = kTableShift;
    const double th = useFont(s, in, FontTable);
    if (kind < 4)
      drawUnsteadyTable(s, in, th, currentPage - 1);
    else if (kind == 4)
      drawSteadyTable(s, in, th, currentPage - 1);
    pt.pageOffsetY = 0.0;

    useFont(s, in, FontTitle);
    s.setTextAlign(TA_CENTER | TA_TOP);
    textAtMm(s, xCentre, kTitleTop, r.tableTitle());

    useFont(s, in, FontPage);
    drawFooter(s, in, currentPage);
  }

  s.selectFont(remembered);
  s.flush();
}

// ---------------------------------------------------------------------------
// Heading block

namespace {

// Positions of one half of the heading block (mm).
struct HeadingColumns {
  double labelStart, shortEnd, longEnd, valueShort, valueLong, symbol, symbol2, symbolHo;
};

HeadingColumns headingColumns(double shift, bool wider) {
  return {10.0 + shift, 28.0 + shift, 38.0 + shift, 35.0 + shift, (wider ? 56.5 : 54.0) + shift,
          44.0 + shift, (wider ? 50.0 : 49.0) + shift, 41.8 + shift};
}

// Left-pads to two CP932 bytes, as "%2s" pads to two bytes.
std::string padTo2(const std::string& text) {
  const int n = cp932Length(text);
  return n >= 2 ? text : std::string(static_cast<std::size_t>(2 - n), ' ') + text;
}

class HeadingPainter {
public:
  HeadingPainter(Surface& s, const PageInputs& in, bool wider, bool graphPage)
      : s_(s), in_(in), r_(in.record), wider_(wider), graphPage_(graphPage), left_(headingColumns(0.0, wider)),
        right_(headingColumns(wider ? 86.0 : 80.0, wider)) {
    rows_ = r_.fieldInt(F_showGeology) == 1 && r_.fieldInt(F_showNValue) == 1 ? 12 : 11;
    pitch_ = 42.0 / (rows_ - 1);
  }

  double rowY(int row) const {
    const double base = 12.0 + (row - 1) * pitch_;
    return row <= 4 ? base - 0.4 * pitch_ : base + 0.4 * pitch_;
  }

  void label(const HeadingColumns& c, bool longCell, int row, const std::string& text) {
    const double y = rowY(row);
    spreadTextMm(s_, c.labelStart, longCell ? c.longEnd : c.shortEnd, y, y, 2.0, 0.0, text);
  }
  void at(double x, int row, const std::string& text) {
    if (!text.empty()) textAtMm(s_, x, rowY(row), text);
  }
  // A label with its value after it.
  void shortItem(const HeadingColumns& c, int row, const std::string& name, const std::string& value) {
    label(c, false, row, name);
    at(c.valueShort, row, value);
  }
  void longItem(const HeadingColumns& c, int row, const std::string& name, const std::string& value) {
    label(c, true, row, name);
    at(c.valueLong, row, value);
  }

  void paint() {
    s_.setTextAlign(TA_LEFT | TA_TOP);
    const int kind = r_.fieldInt(F_formulaKind);
    commonRows();
    if (kind == 4)
      steadyRows();
    else
      unsteadyRows(wider_);
    optionalRows();
  }

private:
  void commonRows() {
    shortItem(left_, 1, r_.surveyNameLabel(), r_.surveyName());
    shortItem(left_, 2, r_.surveyLocationLabel(), r_.surveyLocation());

    const std::string& idLabel = r_.testIdNumberLabel();
    if (cp932Length(idLabel) > 6)
      at(left_.labelStart, 3, idLabel);
    else
      label(left_, false, 3, idLabel);
    at(left_.valueShort, 3, r_.testIdNumber());

    const std::string date = padTo2(r_.testDateYear()) + "年" + padTo2(r_.testDateMonth()) + "月" +
                             padTo2(r_.testDateDay()) + "日";
    shortItem(right_, 3, "試験年月日", date);

    // A number is printed with its unit; anything else, a number that cannot
    // be drawn included, as typed.
    const auto elevationValue = drawnValue(r_.collarElevation());
    const std::string elevation = r_.fieldIsNumber(F_collarElevation) && elevationValue
                                      ? cformat("%3.2fｍ", *elevationValue)
                                      : r_.collarElevation();
    shortItem(left_, 4, "地盤高", r_.datumKind() + " " + elevation);
    shortItem(right_, 4, "試験者", r_.testerName());

    longItem(left_, 5, "試験方法", r_.testMethod());
    longItem(right_, 5, "天　候", r_.weather());

    longItem(right_, 7, "上部離隔長", r_.upperSeparation() + "m");
    at(right_.symbol, 7, "L1'");
    longItem(right_, 8, "下部離隔長", r_.lowerSeparation() + "m");
    at(right_.symbol, 8, "L2'");

    std::string measured;
    if (r_.fieldIsNumber(F_equilibriumMeasured)) measured = r_.fieldInt(F_equilibriumMeasured) == 1 ? "試験後" : "試験前";
    longItem(left_, 8, "平衡水位測定", measured);
  }

  std::string depthText() const {
    const auto from = drawnValue(r_.depthFrom()), to = drawnValue(r_.depthTo());
    if (r_.fieldIsNumber(F_depthFrom) && r_.fieldIsNumber(F_depthTo) && from && to)
      return cformat("%3.2f～%3.2fm", *from, *to);
    return "　　～";
  }
  std::string equilibriumText() const {
    return r_.fieldIsNumber(F_equilibriumLevel) ? r_.equilibriumLevel() + "m" : std::string();
  }
  // Row 9's 平衡水位: the written ho, and beside it the record's own where
  // the graph's s are of that one, in a smaller face where the heading's
  // would run into the right half.
  void equilibriumItem() {
    label(left_, true, 9, "平衡水位");
    const int kind = r_.fieldInt(F_formulaKind);
    std::string own;
    if (graphPage_ && kind >= 0 && kind <= 3) {
      const AnalysisReport& report = pageAnalysis(in_);
      if (report.pointsRest.source == RestSource::Record && report.suggestion.restLevel && !report.ownRest.empty())
        own = recordLevelText(r_, *report.suggestion.restLevel);
    }
    if (own.empty()) {
      at(left_.valueLong, 9, equilibriumText());
      return;
    }
    const std::string text = equilibriumText() + "(記入) " + own + "(記録から)";
    const double room = right_.labelStart - 2.0 - left_.valueLong;
    const double width = pixelsToMm(s_.textExtent(text).cx);
    if (width <= room) {
      at(left_.valueLong, 9, text);
      return;
    }
    const FontSetting& f = in_.font(FontHeading);
    const int full = fontHeightPx(f.pointSize);
    createFont(s_, static_cast<Colour>(f.colour), std::max(1, static_cast<int>(full * room / width)), f.faceName, 0);
    s_.setTextAlign(TA_LEFT | TA_TOP);
    at(left_.valueLong, 9, text);
    createFont(s_, static_cast<Colour>(f.colour), full, f.faceName, 0);
    s_.setTextAlign(TA_LEFT | TA_TOP);
  }

  // Rows 6, 7 and 9 of the left half in the wider form (also the steady form).
  void leftDepthRowsWide() {
    longItem(left_, 6, "試験区間の深さ", depthText());
    at(left_.symbol2, 6, "GL");
    longItem(left_, 7, "試験区間の長さ", r_.sectionLength() + "m");
    at(left_.symbol, 7, "L");
    equilibriumItem();
    at(left_.symbol, 9, "ho");
    at(left_.symbol2, 9, "GL");
  }

  void unsteadyRows(bool wide) {
    if (wide) {
      leftDepthRowsWide();
    } else {
      longItem(left_, 6, "試験区間の深さ", depthText());
      at(left_.symbol, 6, "GL");
      longItem(left_, 7, "試験区間の長さ", " " + r_.sectionLength() + "m");
      at(left_.symbol, 7, "L");
      equilibriumItem();
      at(left_.symbolHo, 9, "hoGL");
    }
    longItem(left_, 10, "試験開始水位差", r_.startHeadDifference() + "m");
    at(left_.symbol, 10, "sp");

    longItem(right_, 6, "管口の高さ", r_.pipeTopHeight() + "m");
    at(wide ? right_.symbol2 : right_.symbol, 6, "GL");
    longItem(right_, 9, "試験区間の孔径", r_.boreDiameter() + "m");
    at(right_.symbol, 9, wide ? "D" : " D");
    longItem(right_, 10, "測定パイプの内径", r_.pipeInnerDiameter() + "m");
    at(right_.symbol, 10, wide ? "d " : " d ");
    longItem(right_, 11, "等価内径", r_.equivalentDiameter() + "m");
    at(right_.symbol, 11, wide ? "de" : " de");
  }

  void steadyRows() {
    leftDepthRowsWide();
    label(left_, true, 10, "定常時の流量");
    at(left_.symbol, 10, "Qo");
    if (r_.fieldIsNumber(F_steadyFlow)) steadyFlow(left_.valueLong, rowY(10), r_.steadyFlow());

    longItem(right_, 6, "管口の高さ", r_.pipeTopHeight() + "m");
    at(right_.symbol2, 6, "GL");
    longItem(right_, 9, "試験区間の孔径", r_.boreDiameter() + "m");
    at(right_.symbol, 9, "D");
    longItem(right_, 10, "定常時の水位", r_.steadyLevel() + "m");
    at(right_.symbol, 10, "h");
    at(right_.symbol2, 10, "GL");
    longItem(right_, 11, "定常時の水位差", r_.steadyHeadDifference() + "m");
    at(right_.symbol, 11, "so");
  }

  // The steady flow as mantissa x 10 with a raised exponent (or as typed),
  // then the unit m, superscript 3, /s one pixel further right.
  void steadyFlow(double x, double y, const std::string& text) {
    const int raise = toDeviceY(0.8) - toDeviceY(0.0);
    s_.setTextAlign(TA_UPDATECP);
    s_.moveTo(toDeviceX(x), toDeviceY(y));
    auto draw = [&](std::string_view t) {
      if (!t.empty()) textAtCurrent(s_, t);
    };
    auto shift = [&](int dx, int dy) {
      const DevicePoint p = s_.currentPosition();
      s_.moveTo(p.x + dx, p.y + dy);
    };
    if (text.find('E') != std::string::npos) {
      draw(splitFlowText(text, 0) + "×10");
      shift(0, -raise);
      draw(cformat("%d", toInt(splitFlowText(text, 2))));
      shift(0, raise);
    } else {
      draw(text);
    }
    shift(1, 0);
    draw("m");
    shift(0, -raise);
    draw("3");
    shift(0, raise);
    draw("/s");
    s_.setTextAlign(TA_LEFT | TA_TOP);
  }

  void optionalRows() {
    const bool geology = r_.fieldInt(F_showGeology) == 1;
    const bool nValue = r_.fieldInt(F_showNValue) == 1;
    if (geology) {
      label(left_, true, 11, "地質名");
      const std::string& name = r_.geologyName();
      const double y = rowY(11);
      if (cp932Length(name) <= 14)
        at(left_.valueLong, 11, name);
      else
        spreadTextMm(s_, left_.valueLong, right_.labelStart, y, y, 2.0, 0.0, name);
    }
    if (nValue) longItem(left_, geology ? 12 : 11, "Ｎ　値", r_.nValue());
  }

  Surface& s_;
  const PageInputs& in_;
  const TestRecord& r_;
  bool wider_;
  bool graphPage_;
  HeadingColumns left_, right_;
  int rows_ = 11;
  double pitch_ = 4.2;
};

} // namespace

void drawHeadingBlock(Surface& s, const PageInputs& in, bool widerLayout, bool graphPage) {
  HeadingPainter(s, in, widerLayout, graphPage).paint();
}

} // namespace tov
