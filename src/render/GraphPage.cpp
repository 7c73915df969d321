// The graph page's painters: the log s - t plot (unsteady method), the
// Q - t plot (steady method), the h - t plot and the formula block.
//
// Everything is laid out in page millimetres with the primitives; values
// come from the test record as text and are converted at each use.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "render/Page.h"

#include "analysis/Analysis.h"
#include "render/Primitives.h"

namespace tov {

namespace {

constexpr unsigned kLeftTop = TA_LEFT | TA_TOP;
constexpr unsigned kRightTop = TA_RIGHT | TA_TOP;
constexpr unsigned kCentreTop = TA_CENTER | TA_TOP;

// Values below this count as zero (log axes, plot positions).
constexpr double kTinyValue = 1e-7;
// The value labels of a vertical axis end this far left of the frame.
constexpr double kLabelGapMm = 0.5;

// The plot rectangle in page millimetres.
struct PlotBox {
  double left = 0.0, right = 0.0, top = 0.0, bottom = 0.0;
  double pointRadius = 0.1;
};

// The box of a plot; false when its height setting suppresses it.
bool plotBox(const DisplaySettings& ds, int left, int top, int height, PlotBox& box) {
  if (height < 1) return false;
  const int width = std::max(ds.graphWidth, 5);
  box.left = std::max(left, 1);
  box.right = box.left + width;
  box.top = std::max(top, 1);
  box.bottom = box.top + height;
  box.pointRadius = std::max(ds.plotSize, 0.1);
  return true;
}

GridPen grid1Pen(const DisplaySettings& ds) {
  return GridPen{ds.grid1Solid, ds.grid1Blank, ds.grid1Width, kBlack};
}

GridPen grid2Pen(const DisplaySettings& ds) {
  const Colour colour = ds.gridColourMode == 0 ? parseColourText(ds.gridColour) : kBlack;
  return GridPen{ds.grid2Solid, ds.grid2Blank, ds.grid2Width, colour};
}

void drawFrame(Surface& s, const DisplaySettings& ds, const PlotBox& b) {
  const int w = ds.frameLineWidth;
  lineMm(s, b.left, b.top, b.right, b.top, PS_SOLID, w, kBlack);
  lineMm(s, b.left, b.bottom, b.right, b.bottom, PS_SOLID, w, kBlack);
  lineMm(s, b.left, b.top, b.left, b.bottom, PS_SOLID, w, kBlack);
  lineMm(s, b.right, b.top, b.right, b.bottom, PS_SOLID, w, kBlack);
}

// The ends of a linear axis as drawn. An axis with an end that is no
// drawable value (drawnValue) cannot place anything: it gets no labels, no
// inner grid lines and no points.
struct LinearAxis {
  double from = 0.0, to = 0.0;
  bool usable = false;
};

LinearAxis linearAxis(const TestRecord& r, int fromField, int toField) {
  const auto from = drawnValue(r.field(fromField));
  const auto to = drawnValue(r.field(toField));
  if (!from || !to) return {};
  return {*from, *to, true};
}

// A step or grid interval as drawn: a value out of range is no step at all.
double drawnStep(const TestRecord& r, int field) { return drawnValue(r.field(field)).value_or(0.0); }

struct TimeAxisFields {
  int from, to, step, grid1, grid2;
};
constexpr TimeAxisFields kUpperTimeAxis{F_graphATimeFrom, F_graphATimeTo, F_graphATimeStep, F_graphATimeGrid1,
                                        F_graphATimeGrid2};
constexpr TimeAxisFields kLowerTimeAxis{F_graphBTimeFrom, F_graphBTimeTo, F_graphBTimeStep, F_graphBTimeGrid1,
                                        F_graphBTimeGrid2};

// Labels, vertical grid and name of a time axis; returns the axis.
// `fallbackStepMm` is the grid step used when the limits are too close to
// space lines (it puts every line outside the frame).
LinearAxis drawTimeAxis(Surface& s, const PageInputs& in, const PlotBox& b, const TimeAxisFields& f,
                        double fallbackStepMm, double c) {
  const TestRecord& r = in.record;
  const LinearAxis t = linearAxis(r, f.from, f.to);
  const double width = b.right - b.left;
  double grid1Mm = fallbackStepMm;
  double grid2Mm = fallbackStepMm;
  if (t.usable && std::fabs(t.to - t.from) >= 0.001) {
    grid1Mm = drawnStep(r, f.grid1) * width / (t.to - t.from);
    grid2Mm = drawnStep(r, f.grid2) * width / (t.to - t.from);
  }
  s.setTextAlign(kCentreTop);
  if (t.usable) labelsLinearX(s, b.left, b.right, b.bottom + 1.0, t.from, t.to, std::fabs(drawnStep(r, f.step)));
  verticalGridLinear(s, b.left, b.right, b.top, b.bottom, 0.0, grid1Mm, grid2Mm, grid1Pen(in.settings),
                     grid2Pen(in.settings));
  s.setTextAlign(kCentreTop);
  textAtMm(s, (b.left + b.right) / 2.0, b.bottom + 2.0 * c, "時間　t(s)");
  return t;
}

// Points on the frame show up to 0.8 mm beyond it, except on the left,
// where the value labels end kLabelGapMm before the frame: there they stop
// half way, so that no point covers or touches a label.
void clipToPlot(Surface& s, const PlotBox& b) {
  clipToMm(s, b.left - kLabelGapMm / 2.0, b.top - 0.8, b.right + 0.8, b.bottom + 0.8);
}

// The readings of one plot, clipped to its frame: from row 1 up to the first
// row without a time, each drawn as a point circle and a small centre circle,
// joined by the polyline when that is on. valueY gives the y of a row's value
// cell, or nothing when the row has no drawable value; such a row, and one
// whose time is no drawable value, breaks the polyline.
template <class ValueY>
void drawRowReadings(Surface& s, const DisplaySettings& ds, const TestRecord& r, const PlotBox& b, int column,
                     const LinearAxis& time, ValueY valueY) {
  if (!time.usable) return;
  clipToPlot(s, b);
  bool havePrevious = false;
  double px = 0.0, py = 0.0;
  for (int row = 1; row <= kRowCount; ++row) {
    const std::string& t = r.cell(row, C_time);
    if (!isNumberText(t)) break;
    const std::optional<double> tValue = drawnValue(t);
    const std::optional<double> y = tValue ? valueY(row, r.cell(row, column)) : std::nullopt;
    if (!y) {
      havePrevious = false;
      continue;
    }
    const double x = interpolate(*tValue, time.from, time.to, b.left, b.right);
    circleMm(s, x, *y, b.pointRadius, PS_SOLID, ds.frameLineWidth, kBlack);
    circleMm(s, x, *y, 0.2, PS_SOLID, ds.frameLineWidth, kBlack);
    if (ds.joinReadings != 0 && havePrevious) lineMm(s, px, py, x, *y, PS_SOLID, ds.polylineWidth, kBlack);
    havePrevious = true;
    px = x;
    py = *y;
  }
  unclip(s);
}

// The same, a row's value from its cell alone.
template <class ValueY>
void drawReadings(Surface& s, const DisplaySettings& ds, const TestRecord& r, const PlotBox& b, int column,
                  const LinearAxis& time, ValueY valueY) {
  drawRowReadings(s, ds, r, b, column, time, [&](int, const std::string& cell) { return valueY(cell); });
}

// The graph font turned by 90 degrees, for the vertical axis names.
void selectRotatedGraphFont(Surface& s, const PageInputs& in) {
  const FontSetting& f = in.font(FontGraph);
  createFont(s, static_cast<Colour>(f.colour), fontHeightPx(f.pointSize), f.faceName, 90);
}

// A vertical axis name: rotated as one text, or as three stacked lines.
// `widthDigits` is the label width (in digits) the rotated name keeps
// clear of.
void drawVerticalAxisName(Surface& s, const PageInputs& in, const PlotBox& b, double c, double widthDigits,
                          const std::string& first, const std::string& second, const std::string& third) {
  s.setTextAlign(kLeftTop);
  if (in.settings.rotateAxisNames != 0) {
    const double d = digitWidthMm(s);
    selectRotatedGraphFont(s, in);
    s.setTextAlign(kLeftTop);
    const double x = std::max(b.left - std::max(3.6 * c, widthDigits * d), 1.0);
    textAtMm(s, x, (b.top + b.bottom) / 2.0 + 10.0, first + second + third);
  } else {
    const double x = std::max(b.left - 6.0 * c, 1.0);
    const double y = (b.top + b.bottom) / 2.0 - 1.5 * c;
    textAtMm(s, x, y, first);
    textAtMm(s, x, y + 1.4 * c, second);
    textAtMm(s, x, y + 2.8 * c, third);
  }
  s.setTextAlign(kLeftTop);
}

// The name of the water level in the h axis name.
std::string levelText(const std::string& letter) {
  if (letter.empty()) return " h";
  if (cp932Length(letter) == 1) return " " + letter;
  return letter;
}

// A pixel rule under the text just drawn with TA_UPDATECP: from the current
// position to `endX`, `half` pixels below the current line.
void ruleFromCurrent(Surface& s, int endX, int half, int widthPx) {
  const DevicePoint cp = s.currentPosition();
  s.moveTo(cp.x, cp.y + half);
  s.lineTo(endX, cp.y + half, Pen{PS_SOLID, widthPx, kBlack});
  s.moveTo(cp.x, cp.y);
}

// Moves the current position by (dx, dy) pixels.
void shiftCurrent(Surface& s, int dx, int dy) {
  const DevicePoint cp = s.currentPosition();
  s.moveTo(cp.x + dx, cp.y + dy);
}

// " k=" on the fraction line with the rule to the numerator's end.
void fractionLine(Surface& s, double x, double y, std::string_view label, int numeratorEnd, int half,
                  int ruleWidth) {
  s.setTextAlign(TA_UPDATECP);
  moveToMm(s, x, y);
  textAtCurrent(s, label);
  ruleFromCurrent(s, numeratorEnd, half, ruleWidth);
}

// "  =" and k as mantissa x10 with a raised exponent, when k is present.
void permeabilityResult(Surface& s, const TestRecord& r, double x, double y) {
  const std::string& k = r.field(F_permeabilityText);
  if (!isNumberText(k)) return;
  s.setTextAlign(kLeftTop);
  textAtMm(s, x, y, "  =");
  scientificText(s, x, y, "   " + k, "(m/s)");
  s.setTextAlign(kLeftTop);
}

// Labels of a flow axis written in exponent form ("5.00x10" with a raised
// "-5"). Returns the widest label in CP932 bytes.
int exponentLabelsY(Surface& s, double x, double yAtVa, double yAtVb, double va, double vb, double labelStep,
                    bool letterE) {
  if (std::fabs(vb - va) < 1e-10) return 0;
  double step = std::fabs(labelStep);
  if (step < kTinyValue) step = std::fabs(vb - va);
  if (vb < va) step = -step;
  int widest = 0;
  double v = va;
  for (int count = 0; count < 102; ++count) {
    if (step >= 0.0 ? !(v <= vb + kTinyValue) : !(v >= vb - kTinyValue)) break;
    const double y = interpolate(v, va, vb, yAtVa, yAtVb);
    const double value = std::fabs(v) < kTinyValue ? 0.0 : v;
    const std::string text = cformat("%.2E", value);  // "5.00E-005"
    const std::size_t e = text.find('E');
    const std::string mantissa = text.substr(0, e);
    const int exponent = e == std::string::npos ? 0 : toInt(std::string_view(text).substr(e + 1));
    if (std::fabs(value) >= 1e-10 || exponent != 0) {
      const std::string base = mantissa + (letterE ? "E" : "×10");
      const std::string exponentText = cformat("%+d", exponent);
      superscriptText(s, x, y, base, exponentText, "", 2);
      widest = std::max(widest, cp932Length(base) + cp932Length(exponentText));
    } else {
      s.setTextAlign(kRightTop);
      textAtMm(s, x, y, mantissa);
      widest = std::max(widest, cp932Length(mantissa));
    }
    v += step;
  }
  s.setTextAlign(kLeftTop);
  return widest;
}

// The s of the rows the graph shows where they are not the table's: the
// record's own rest level's, where the points were taken with it.
const std::vector<Sample>* ownRestShown(const AnalysisReport& report) {
  return report.pointsRest.source == RestSource::Record && !report.ownRest.empty() ? &report.ownRest : nullptr;
}

// A polyline in mm drawn as dashes `on` mm long with gaps `off` mm long,
// the pattern running on across its corners (a pen's own pattern starts
// afresh at each of the many short pieces of a curve, which then looks
// solid).
void patternedPolyline(Surface& s, const std::vector<std::pair<double, double>>& points, double on, double off,
                       int width) {
  bool drawing = true;
  double left = on;  // of the current dash or gap
  for (std::size_t i = 1; i < points.size(); ++i) {
    const auto [x0, y0] = points[i - 1];
    const auto [x1, y1] = points[i];
    const double length = std::hypot(x1 - x0, y1 - y0);
    double at = 0;
    while (at < length) {
      const double to = std::min(length, at + left);
      if (drawing && length > 0)
        lineMm(s, x0 + (x1 - x0) * at / length, y0 + (y1 - y0) * at / length, x0 + (x1 - x0) * to / length,
               y0 + (y1 - y0) * to / length, PS_SOLID, width, kBlack);
      left -= to - at;
      at = to;
      if (left <= 1e-9) {
        drawing = !drawing;
        left = drawing ? on : off;
      }
    }
  }
}

struct CurveName {
  double x = 0, y = 0;
  const char* name = "";
};
// The type curves over the readings (CBP dashed, KGS dotted), from the first
// row's t to the last's, in the s the readings are drawn with; where each
// ends in the frame, for its name (drawn once the clip is gone).
std::vector<CurveName> drawTypeCurves(Surface& s, const PageInputs& in, const PlotBox& b, double tFrom, double tTo,
                                      double lFrom, double lTo) {
  const AnalysisReport& report = pageAnalysis(in);
  const std::vector<Sample> rows = unsteadySamples(in.record);
  std::vector<CurveName> names;
  if (rows.size() < 2) return names;
  const auto& rest = report.suggestion.restLevel;
  const bool own = ownRestShown(report) != nullptr && rest.has_value();
  constexpr int kSteps = 200;
  std::vector<double> t;
  for (int i = 0; i <= kSteps; ++i) t.push_back(rows.front().t + (rows.back().t - rows.front().t) * i / kSteps);
  const int width = std::max(in.settings.slopeLineWidth, 1);
  for (const TypeCurveFit& fit : report.typeCurves) {
    if (!fit.found) continue;
    const std::vector<double> heads = fit.headsAt(t);
    // CBP dashed, KGS dotted.
    const bool dashed = fit.model == TypeCurveModel::Cbp;
    CurveName name{0, 0, typeCurveName(fit.model)};
    bool named = false;
    std::vector<std::pair<double, double>> run;
    auto drawRun = [&] {
      patternedPolyline(s, run, dashed ? 2.0 : 0.4, dashed ? 1.0 : 0.8, width);
      run.clear();
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
      const double sv = own ? rest->corrected(t[i], heads[i]) : heads[i];
      if (!std::isfinite(sv) || !(sv >= kTinyValue)) {
        drawRun();
        continue;
      }
      const double x = interpolate(t[i], tFrom, tTo, b.left, b.right);
      const double y = interpolate(std::log10(sv), lFrom, lTo, b.bottom, b.top);
      run.emplace_back(x, y);
      if (x >= b.left && x <= b.right && y >= b.top && y <= b.bottom) name = {x, y, name.name}, named = true;
    }
    drawRun();
    if (named) names.push_back(name);
  }
  return names;
}

// "(参考) 標準曲線 CBP (破線) k 2.01E-006 m/s 残差 0.4 mm, KGS (点線) k …" as
// the page writes k.
std::string typeCurvesLine(const AnalysisReport& report, int digits, bool own) {
  std::string line = "(参考) 標準曲線";
  const char* separator = " ";
  for (const TypeCurveFit& fit : report.typeCurves) {
    line += separator + std::string(typeCurveName(fit.model)) +
            (fit.found ? std::string(fit.model == TypeCurveModel::Cbp ? " (破線)" : " (点線)") + " k " +
                             formatPermeability(fit.k, digits) + " m/s 残差 " + cformat("%.1f mm", fit.rms * 1000.0)
                       : std::string(" なし"));
    separator = ", ";
  }
  return line + (own ? " (記入の ho で当てはめ)" : "");
}

// A line of ours in the formula block, left-aligned at (x, y): in a smaller
// face of the results font where it would run past the paper's edge less
// 10 mm (the results font is the current one, and is again after).
void noteLine(Surface& s, const PageInputs& in, double x, double y, const std::string& text, bool scientific) {
  const double room = in.paperWidthMm - in.settings.leftMargin - 10.0 - x;
  const double width = pixelsToMm(s.textExtent(text).cx);
  const FontSetting& f = in.font(FontResults);
  const int full = fontHeightPx(f.pointSize);
  const bool smaller = width > room && room > 10.0;
  if (smaller)
    createFont(s, static_cast<Colour>(f.colour), std::max(1, static_cast<int>(full * room / width)), f.faceName, 0);
  s.setTextAlign(kLeftTop);
  if (scientific)
    scientificLine(s, x, y, text);
  else
    textAtMm(s, x, y, text);
  if (smaller) createFont(s, static_cast<Colour>(f.colour), full, f.faceName, 0);
  s.setTextAlign(kLeftTop);
}

// The line that says which ho the graph's s are of where it is not the
// written one alone: the record's own (the points were taken with it), or
// another written ho (the points were taken before ho was changed).
std::string restNote(const TestRecord& r, const AnalysisReport& report) {
  if (ownRestShown(report) && report.suggestion.restLevel)
    return "※ グラフの s、s1、s2 と k は記録から求めた平衡水位 ho GL" +
           recordLevelText(r, *report.suggestion.restLevel) + " による (データ表の s は記入の ho)";
  if (const auto former = report.pointsRest.formerLevel)
    return "※ s1、s2、a、k は平衡水位 ho GL" + cformat("%.3f", *former) + "m のときの値です (見出しの ho は GL" +
           r.equilibriumLevel() + "m)";
  return {};
}

} // namespace

int formulaNoteLines(const PageInputs& in) {
  const int kind = in.record.fieldInt(F_formulaKind);
  if (kind < 0 || kind > 3) return 0;
  const AnalysisReport& report = pageAnalysis(in);
  int lines = restNote(in.record, report).empty() ? 0 : 1;
  if (in.fitOnPage && report.segment && report.segment->usable) lines += report.fittedInterval ? 2 : 1;
  if (in.typeCurvesOnPage && !report.typeCurves.empty()) ++lines;
  return lines;
}

const AnalysisReport& pageAnalysis(const PageInputs& in) {
  if (!in.analysis)
    in.analysis = std::make_shared<const AnalysisReport>(
        analyseRecord(in.record, theAnalysisSettings(), in.settings.digitsPermeability));
  return *in.analysis;
}

const char* resultNumberFormat(int digits) {
  static const char* const kFormats[] = {"%4.0f", "%4.1f", "%4.2f", "%4.3f", "%5.4f",
                                         "%6.5f", "%7.6f", "%8.7f", "%9.8f"};
  return kFormats[std::clamp(digits, 0, 8)];
}

void drawLogSTPlot(Surface& s, const PageInputs& in, double charHeight) {
  const DisplaySettings& ds = in.settings;
  const TestRecord& r = in.record;
  const double c = charHeight;
  PlotBox b;
  if (!plotBox(ds, ds.upperGraphLeft, ds.upperGraphTop, ds.upperGraphHeight, b)) return;

  drawFrame(s, ds, b);
  const LinearAxis time = drawTimeAxis(s, in, b, kUpperTimeAxis, 1000.0, c);

  // Head-difference axis. An end that is no drawable value is drawn as the
  // view's repair of an unusable end makes it: 0.1 at the start, 10 at the end.
  const double sFrom = drawnValue(r.field(F_graphAValueFrom)).value_or(0.1);
  const double sTo = drawnValue(r.field(F_graphAValueTo)).value_or(10.0);
  s.setTextAlign(kRightTop);
  const int n = labelsLogY(s, b.left - kLabelGapMm, b.bottom - c / 2.0, b.top - c / 2.0, sFrom, sTo,
                           r.fieldInt(F_graphAValueStep));
  horizontalGridLog(s, b.left, b.right, b.bottom, b.top, sFrom, sTo, r.fieldInt(F_graphAValueGrid2), grid1Pen(ds),
                    grid2Pen(ds), r.fieldInt(F_grid2WhenGrid1Small));
  s.setTextAlign(kLeftTop);

  // A log axis needs positive limits; without them nothing can be placed on
  // it (log10 of 0 would put points at undefined positions).
  const bool axisUsable = sFrom > kTinyValue && sTo > kTinyValue;
  const double lFrom = axisUsable ? std::log10(sFrom) : 0.0;
  const double lTo = axisUsable ? std::log10(sTo) : 0.0;

  // Readings: s of the ho the points are of (the record's own, where they
  // were taken with it; the table pages keep the written ho's s).
  const AnalysisReport& report = pageAnalysis(in);
  const std::vector<Sample>* own = ownRestShown(report);
  if (b.top > kTinyValue && b.bottom > kTinyValue && axisUsable) {
    drawRowReadings(s, ds, r, b, C_headDifference, time,
                    [&](int row, const std::string& sText) -> std::optional<double> {
                      std::optional<double> sv = drawnValue(sText);
                      if (own) {
                        const auto i = static_cast<std::size_t>(row - 1);
                        sv = i < own->size() ? std::optional<double>((*own)[i].s) : std::nullopt;
                      } else if (!isNumberText(sText)) {
                        sv.reset();
                      }
                      if (!sv || !(*sv >= kTinyValue)) return std::nullopt;
                      return interpolate(std::log10(*sv), lFrom, lTo, b.bottom, b.top);
                    });
  }

  // Analysis points, markers and the gradient line, clipped to the frame
  // as the readings are: scales that leave a point outside show nothing
  // across the page (the analysis names such points in 検討事項). A point
  // with a value that cannot be drawn is left out.
  if (axisUsable && time.usable) {
    clipToPlot(s, b);
    const double tFrom = time.from, tTo = time.to;
    bool point1 = false, point2 = false;
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    const auto t1Value = drawnValue(r.field(F_pointT1)), t2Value = drawnValue(r.field(F_pointT2));
    const double t1 = t1Value.value_or(0.0), t2 = t2Value.value_or(0.0);
    const double s1 = drawnValue(r.field(F_pointS1)).value_or(0.0);
    const double s2 = drawnValue(r.field(F_pointS2)).value_or(0.0);
    const double redRadius = 1.1 * b.pointRadius;
    if (r.fieldIsNumber(F_pointT1) && t1Value) {
      x1 = interpolate(t1, tFrom, tTo, b.left, b.right);
      if (s1 >= kTinyValue) {
        y1 = interpolate(std::log10(s1), lFrom, lTo, b.bottom, b.top);
        circleMm(s, x1, y1, redRadius, PS_SOLID, ds.frameLineWidth, kRed);
        if (ds.markGradientPoints != 0) lineMm(s, x1, y1, x1, b.bottom, PS_SOLID, ds.ruleLineWidth, kBlack);
        point1 = true;
      }
    }
    if (r.fieldIsNumber(F_pointT2) && t2Value && s2 >= kTinyValue) {
      x2 = interpolate(t2, tFrom, tTo, b.left, b.right);
      y2 = interpolate(std::log10(s2), lFrom, lTo, b.bottom, b.top);
      circleMm(s, x2, y2, redRadius, PS_SOLID, ds.frameLineWidth, kRed);
      if (ds.markGradientPoints != 0) lineMm(s, x2, y2, x2, b.bottom, PS_SOLID, ds.ruleLineWidth, kBlack);
      point2 = true;
    }
    if (point1 && point2) {
      const int w = ds.slopeLineWidth;
      if (ds.gradientLineMode == 0) {
        lineMm(s, x1, y1, x2, y2, PS_SOLID, w, kBlack);
      } else if (ds.gradientLineMode == 1) {
        const double l1 = std::log10(s1), l2 = std::log10(s2);
        const double tStart = std::min(t1, 5.0);
        const double xs = interpolate(tStart, tFrom, tTo, b.left, b.right);
        const double ls = interpolate(tStart, t1, t2, l1, l2);
        const double ys = interpolate(ls, lFrom, lTo, b.bottom, b.top);
        double tEnd = (t2 + tTo) / 2.0;
        double le = interpolate(tEnd, t1, t2, l1, l2);
        for (const double extra : {100.0, 50.0, 0.0}) {
          if (le >= lFrom) break;
          tEnd = t2 + extra;
          le = interpolate(tEnd, t1, t2, l1, l2);
        }
        const double xe = interpolate(tEnd, tFrom, tTo, b.left, b.right);
        const double ye = interpolate(le, lFrom, lTo, b.bottom, b.top);
        lineMm(s, xs, ys, xe, ye, PS_SOLID, w, kBlack);
      }
    }
    // By choice: the least-squares line of the chosen segment, dashed.
    if (in.fitOnPage) {
      if (report.segment && report.segment->usable) {
        const LineFit& fit = *report.segment;
        const std::vector<Sample> samples = unsteadySamples(r);
        const double ta = samples[static_cast<std::size_t>(fit.first - 1)].t;
        const double tb = samples[static_cast<std::size_t>(fit.last - 1)].t;
        auto x = [&](double t) { return interpolate(t, tFrom, tTo, b.left, b.right); };
        auto y = [&](double t) { return interpolate(std::log10(fit.sAt(t)), lFrom, lTo, b.bottom, b.top); };
        lineMm(s, x(ta), y(ta), x(tb), y(tb), PS_DASH, std::max(ds.slopeLineWidth, 1), kBlack);
      }
    }
    std::vector<CurveName> names;
    if (in.typeCurvesOnPage) names = drawTypeCurves(s, in, b, tFrom, tTo, lFrom, lTo);
    unclip(s);
    // The names above and right of their curves' ends (the gradient line
    // runs on below them), one over the other where they would meet.
    s.setTextAlign(kLeftTop);
    std::sort(names.begin(), names.end(), [](const CurveName& p, const CurveName& q) { return p.y > q.y; });
    double above = 1e9;
    for (const CurveName& name : names) {
      const double y = std::min(name.y - c, above - c);
      textAtMm(s, name.x + 0.5, y, name.name);
      above = y;
    }
  }

  drawVerticalAxisName(s, in, b, c, n + 1.5, "水位差", " s", "(m)");
}

void drawHTPlot(Surface& s, const PageInputs& in, double charHeight) {
  const DisplaySettings& ds = in.settings;
  const TestRecord& r = in.record;
  const double c = charHeight;
  PlotBox b;
  if (!plotBox(ds, ds.lowerGraphLeft, ds.lowerGraphTop, ds.lowerGraphHeight, b)) return;

  drawFrame(s, ds, b);
  const LinearAxis time = drawTimeAxis(s, in, b, kLowerTimeAxis, 100000.0, c);

  // Level axis, the larger value at the top edge.
  const LinearAxis level = linearAxis(r, F_graphBLevelFrom, F_graphBLevelTo);
  const double hTop = std::max(level.from, level.to);
  const double hBottom = std::min(level.from, level.to);
  const double height = b.bottom - b.top;
  double grid1Mm = 100000.0, grid2Mm = 100000.0;
  if (level.usable && hTop - hBottom >= 0.001) {
    grid1Mm = std::fabs(drawnStep(r, F_graphBLevelGrid1)) * height / (hTop - hBottom);
    grid2Mm = std::fabs(drawnStep(r, F_graphBLevelGrid2)) * height / (hTop - hBottom);
  }
  s.setTextAlign(kRightTop);
  int n = 0;
  if (level.usable)
    n = labelsLinearY(s, b.left - kLabelGapMm, b.top - c / 2.0, b.bottom - c / 2.0, hTop, hBottom,
                      std::fabs(drawnStep(r, F_graphBLevelStep)));
  horizontalGridLinear(s, b.left, b.right, b.top, b.bottom, grid1Mm, grid2Mm, grid1Pen(ds), grid2Pen(ds), 0);
  s.setTextAlign(kLeftTop);

  // Readings.
  if (b.top > kTinyValue && b.bottom > kTinyValue && level.usable) {
    drawReadings(s, ds, r, b, C_level, time, [&](const std::string& h) -> std::optional<double> {
      const auto hv = drawnValue(h);
      if (!isNumberText(h) || !hv) return std::nullopt;
      return interpolate(*hv, hTop, hBottom, b.top, b.bottom);
    });
  }

  drawVerticalAxisName(s, in, b, c, n + 2.5, "孔内水位", levelText(ds.levelLetter), "(m)");
}

void drawQTPlot(Surface& s, const PageInputs& in, double charHeight) {
  const DisplaySettings& ds = in.settings;
  const TestRecord& r = in.record;
  const double c = charHeight;
  PlotBox b;
  if (!plotBox(ds, ds.upperGraphLeft, ds.upperGraphTop, ds.upperGraphHeight, b)) return;

  drawFrame(s, ds, b);
  const LinearAxis time = drawTimeAxis(s, in, b, kUpperTimeAxis, 100000.0, c);

  // Flow axis, the larger value at the top edge.
  const LinearAxis flow = linearAxis(r, F_graphAValueFrom, F_graphAValueTo);
  const double qTop = std::max(flow.from, flow.to);
  const double qBottom = std::min(flow.from, flow.to);
  const double height = b.bottom - b.top;
  double grid1Mm = 100.0, grid2Mm = 100.0;
  if (flow.usable && std::fabs(qTop - qBottom) >= 1e-10) {
    grid1Mm = drawnStep(r, F_graphAValueGrid1) * height / (qBottom - qTop);
    grid2Mm = drawnStep(r, F_graphAValueGrid2) * height / (qBottom - qTop);
  }
  const double labelStep = std::fabs(drawnStep(r, F_graphAValueStep));
  // Exponent labels keep further off the frame: their raised exponent is
  // what would touch it.
  const bool exponentForm = r.field(F_graphAValueTo).find('E') != std::string::npos;
  const double labelX = b.left - (exponentForm ? 1.5 : 0.6);
  int n = 0;
  s.setTextAlign(kRightTop);
  if (!flow.usable) {
    // No labels on an axis that cannot be drawn.
  } else if (!exponentForm) {
    n = labelsLinearY(s, labelX, b.top - c / 2.0, b.bottom - c / 2.0, qTop, qBottom, labelStep) + 1;
  } else {
    n = exponentLabelsY(s, labelX, b.top - c / 2.0, b.bottom - c / 2.0, qTop, qBottom, labelStep,
                        ds.graphFlowScaleFormat != 0);
  }
  horizontalGridLinear(s, b.left, b.right, b.top, b.bottom, grid1Mm, grid2Mm, grid1Pen(ds), grid2Pen(ds), 0);
  s.setTextAlign(kLeftTop);

  // Readings.
  if (b.top > 1e-10 && b.bottom > 1e-10 && flow.usable) {
    drawReadings(s, ds, r, b, C_flow, time, [&](const std::string& q) -> std::optional<double> {
      const auto qv = drawnValue(q);
      if (!isNumberText(q) || !qv) return std::nullopt;
      return interpolate(*qv, qTop, qBottom, b.top, b.bottom);
    });
  }

  // Vertical axis name with the cubed metre.
  s.setTextAlign(kLeftTop);
  if (ds.rotateAxisNames != 0) {
    const double d = digitWidthMm(s);
    // The labels' left edge (n counts half-width characters), then a gap,
    // then the rotated name, which stands its text height to the right of
    // its anchor (and its raised "3" 0.8 mm to the left).
    const double labelsLeft = labelX - n * d;
    selectRotatedGraphFont(s, in);
    const double nameHeight = pixelsToMm(s.textExtent("0").cy);
    const double x = std::max(std::min(b.left - std::max(3.6 * c, (n + 3) * d), labelsLeft - 1.5 - nameHeight), 1.8);
    const double y = (b.top + b.bottom) / 2.0 + 10.0;
    // The rotated text runs upwards; "raised" is towards the left.
    const int raise = toDeviceX(0.8) - toDeviceX(0.0);
    s.setTextAlign(TA_UPDATECP);
    moveToMm(s, x, y);
    textAtCurrent(s, "流量 Q(m");
    shiftCurrent(s, -raise, 0);
    textAtCurrent(s, "3");
    shiftCurrent(s, raise, 0);
    textAtCurrent(s, "/s)");
  } else {
    // Left of the labels with a gap: the widest line of the name is "(m3/s)".
    const double labelsLeft = labelX - n * digitWidthMm(s);
    const double nameWidth = pixelsToMm(s.textExtent("(m3/s)").cx);
    const double x = std::max(std::min(b.left - 6.0 * c, labelsLeft - 1.5 - nameWidth), 1.0);
    const double y = (b.top + b.bottom) / 2.0 - 1.5 * c;
    textAtMm(s, x, y, "流量");
    textAtMm(s, x, y + 1.3 * c, " Q");
    superscriptText(s, x, y + 2.6 * c, "(m", "3", "/s)", 0);
  }
  s.setTextAlign(kLeftTop);
}

void drawFormulaBlock(Surface& s, const PageInputs& in, double charHeight) {
  const DisplaySettings& ds = in.settings;
  const TestRecord& r = in.record;
  const double c = charHeight;
  const double pitch = 1.2 * c;
  const double x0 = ds.resultLeftUnsteady;
  const double x1 = x0 + 40.0;
  const double y0 = std::max(ds.resultTop, 1);
  const double yN = y0 + 2.0 * pitch;
  const int half = toDeviceY(c / 2.0) - toDeviceY(0.0);
  const int kind = r.fieldInt(F_formulaKind);
  const int rule = ds.ruleLineWidth;

  s.setTextAlign(kLeftTop);
  if (kind != 4) {
    const char* tFormat = resultNumberFormat(ds.digitsTime);
    const char* sFormat = resultNumberFormat(ds.digitsHeadDifference);
    // A value that cannot be drawn leaves its place empty.
    auto number = [&](const char* format, int field) {
      const auto v = drawnValue(r.field(field));
      return v ? cformat(format, *v) : std::string();
    };
    textAtMm(s, x0, y0, "t1=" + number(tFormat, F_pointT1) + "(s)");
    textAtMm(s, x0, y0 + pitch, "t2=" + number(tFormat, F_pointT2) + "(s)");
    textAtMm(s, x1, y0, "s1=" + number(sFormat, F_pointS1) + "(m)");
    textAtMm(s, x1, y0 + pitch, "s2=" + number(sFormat, F_pointS2) + "(m)");
    // s1 and s2 that 推奨区間 took from the fitted line, not the readings.
    if (pageAnalysis(in).pointsOnLine) textAtMm(s, x1 + 30.0, y0, "(近似直線上の点)");

    // a = log(s1/s2) / (t2 - t1)
    s.setTextAlign(TA_UPDATECP);
    moveToMm(s, x0, y0 + 2.0 * pitch);
    textAtCurrent(s, "    log(s1/s2)");
    const int end = s.currentPosition().x;
    fractionLine(s, x0, y0 + 2.0 * pitch + pitch / 2.0, " a=", end, half, rule);
    s.setTextAlign(kLeftTop);
    textAtMm(s, x0, y0 + 3.0 * pitch, "     t2-t1");
    if (r.fieldIsNumber(F_gradientText) && drawnValue(r.gradientText()))
      textAtMm(s, x0, y0 + 4.0 * pitch, "  =" + number(resultNumberFormat(ds.digitsGradient), F_gradientText));
  }

  if (kind >= 0 && kind <= 3) {
    const double xk = x1;
    if (kind == 0 || kind == 2) {
      superscriptText(s, xk, yN, "    (2.3･de)", "2", kind == 0 ? "log(2L/D)" : "log(4L/D)", 0);
    } else {
      superscriptText(s, xk, yN, "    (2.3･de)", "2", kind == 1 ? "log{L/D+√(1+(L/D)" : "log{2L/D+√(1+(2L/D)", 0);
      superscriptText(s, -10000.0, -10000.0, "", "2", ")}", 0);
    }
    const int end = s.currentPosition().x;
    fractionLine(s, xk, yN + pitch / 2.0, " k=", end, half, rule);
    const DevicePoint line = s.currentPosition();
    s.moveTo(end, line.y);
    textAtCurrent(s, "･a");
    s.setTextAlign(kLeftTop);
    textAtMm(s, xk, yN + pitch, (kind == 0 || kind == 2) ? "         8L" : "             8L");
    permeabilityResult(s, r, xk, yN + 2.0 * pitch);
    // Our lines under k, one after the other.
    const AnalysisReport& report = pageAnalysis(in);
    double y = yN + 3.2 * pitch;
    if (const std::string note = restNote(r, report); !note.empty()) {
      noteLine(s, in, x0, y, note, false);
      y += pitch;
    }
    if (in.fitOnPage && report.segment && report.segment->usable) {
      // The fitted line's own k beside its R², never the two points' k alone.
      textAtMm(s, xk, y, "   (参考) 近似直線 " + fitCaption(*report.segment));
      y += pitch;
      // k as the line above writes it, ×10 with the exponent raised.
      if (report.fittedInterval) {
        scientificLine(s, xk, y, "   " + intervalText(*report.fittedInterval, 2));
        y += pitch;
      }
    }
    if (in.typeCurvesOnPage && !report.typeCurves.empty())
      noteLine(s, in, x0, y, typeCurvesLine(report, ds.digitsPermeability, ownRestShown(report) != nullptr), true);
  } else if (kind == 4) {
    // k = 2.3 Qo log(2L/D) / (2 pi So L)
    const double xk = ds.resultLeftSteady;
    const int lower = toDeviceY(0.4) - toDeviceY(0.0);
    s.setTextAlign(TA_UPDATECP);
    moveToMm(s, xk, yN);
    textAtCurrent(s, "    2.3 Q");
    shiftCurrent(s, 0, lower);
    textAtCurrent(s, "o");
    shiftCurrent(s, 0, -lower);
    textAtCurrent(s, "log(2L/D)");
    const int end = s.currentPosition().x;
    fractionLine(s, xk, yN + pitch / 2.0, " k=", end, half, rule);
    moveToMm(s, xk, yN + pitch);
    textAtCurrent(s, "        2πS");
    shiftCurrent(s, 0, lower);
    textAtCurrent(s, "o");
    shiftCurrent(s, 0, -lower);
    textAtCurrent(s, "L");
    s.setTextAlign(kLeftTop);
    permeabilityResult(s, r, xk, yN + 2.5 * pitch);
  }
  s.setTextAlign(kLeftTop);
}

} // namespace tov
