// The unsteady analysis: two points of the log s - t line give the
// gradient a and k; the scales of the log s - t and h - t graphs.
#include <algorithm>
#include <cmath>

#include "dialogs/AnalysisModel.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"

namespace tov {

namespace {

constexpr Colour kGrey = 0x808080;
constexpr Colour kGreen = 0x00FF00;
constexpr Colour kBlue = 0xFF0000;  // 0x00BBGGRR
// The recommended band (light yellow) and the fitted line (orange).
constexpr Colour kBandShade = 0xB4F0FF;
constexpr Colour kFitLine = 0x0080FF;
constexpr Colour kEarlierLine = 0xC000C0;  // the earlier straight line (purple)
// The smallest s the log s - t preview can place.
constexpr double kLeastS = 0.0000001;

bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

} // namespace

int UnsteadyAnalysisModel::choice(int field) const {
  switch (field) {
  case F_graphAValueStep: return labelSet_;
  case F_graphAValueGrid2: return grid2Set_;
  case F_grid2WhenGrid1Small: return grid2WhenSmall_;
  default: return 0;
  }
}

void UnsteadyAnalysisModel::setChoice(int field, int value) {
  switch (field) {
  case F_graphAValueStep: labelSet_ = value >= 0 && value <= 2 ? value : 0; break;
  case F_graphAValueGrid2: grid2Set_ = value >= 0 && value <= 4 ? value : 0; break;
  case F_grid2WhenGrid1Small: grid2WhenSmall_ = value != 0 ? 1 : 0; break;
  default: break;
  }
}

bool UnsteadyAnalysisModel::rowComplete(int row) const {
  return isNumberText(working_.cell(row, C_time)) && isNumberText(working_.cell(row, C_pipeLevel));
}

void UnsteadyAnalysisModel::openFields() {
  // A code that is none of a group's shows its first choice.
  setChoice(F_graphAValueStep, working_.fieldInt(F_graphAValueStep));
  setChoice(F_graphAValueGrid2, working_.fieldInt(F_graphAValueGrid2));
  setChoice(F_grid2WhenGrid1Small, working_.fieldInt(F_grid2WhenGrid1Small));

  // The same clamping as every other place that reads the points' rows.
  const auto [row1, row2] = pointRows(working_, completeRows_);
  chosen_ = {row1, row2};
  highlighted_ = chosen_;
  openedChoices_ = {labelSet_, grid2Set_, grid2WhenSmall_};
  const AnalysisReport opened = analyseRecord(working_, settings_);
  ownRest_ = opened.ownRest;
  ownLevel_ = opened.suggestion.restLevel ? recordLevelText(working_, *opened.suggestion.restLevel) : std::string();
  // The ho the points are of; points of an earlier ho are taken again with
  // the ho the analysis finds (afterOpening).
  formerLevel_ = opened.pointsRest.formerLevel;
  formerK_ = working_.permeabilityText();
  source_ = formerLevel_ ? (ownRest_.empty() ? RestSource::Written : RestSource::Record) : opened.pointsRest.source;
  // Points left on the fitted line by 推奨区間 keep their s.
  const std::string s1 = working_.field(F_pointS1), s2 = working_.field(F_pointS2);
  fillPointEdits(1, row1);
  fillPointEdits(2, row2);
  if (opened.pointsOnLine) {
    working_.setField(F_pointS1, s1);
    working_.setField(F_pointS2, s2);
  }
  typedPoint_ = 0;
  active_ = 1;
  cursor_ = row1;
}

void UnsteadyAnalysisModel::afterOpening() {
  // a and k of the s the points now show, never beside those of another ho.
  if (formerLevel_) gradientFromPoints();
}

double UnsteadyAnalysisModel::shownHead(int row) const {
  const auto i = static_cast<std::size_t>(row - 1);
  if (source_ == RestSource::Record && row >= 1 && i < ownRest_.size()) return ownRest_[i].s;
  return toDouble(working_.cell(row, C_headDifference));
}

void UnsteadyAnalysisModel::fillPointEdits(int point, int row) {
  working_.setField(point == 1 ? F_pointT1 : F_pointT2, working_.cell(row, C_time));
  const bool own = source_ == RestSource::Record && row >= 1 && static_cast<std::size_t>(row) <= ownRest_.size();
  working_.setField(point == 1 ? F_pointS1 : F_pointS2,
                    own ? headText(shownHead(row)) : working_.cell(row, C_headDifference));
}

void UnsteadyAnalysisModel::gradientFromPoints() {
  const auto a = computeGradient(working_.fieldValue(F_pointT1), working_.fieldValue(F_pointS1),
                                 working_.fieldValue(F_pointT2), working_.fieldValue(F_pointS2));
  const auto k = a ? permeabilityFromGradient(geometryOf(working_), *a) : std::nullopt;
  working_.setField(F_gradientText, a ? cformat("%g", *a) : std::string());
  working_.setField(F_permeabilityText, k ? formatPermeability(*k, digits_) : std::string());
}

void UnsteadyAnalysisModel::setRecordRest(bool on) {
  const RestSource wanted = on && !ownRest_.empty() ? RestSource::Record : RestSource::Written;
  if (wanted == source_) return;
  // Points on the fitted line stay on the line of the other ho's s.
  const bool onLine = analysis().pointsRest.taken == PointsTaken::Line;
  source_ = wanted;
  formerLevel_.reset();
  const std::vector<Sample> written = unsteadySamples(working_);
  const auto texts = pointHeadTexts(source_ == RestSource::Record ? ownRest_ : written, chosen_[0], chosen_[1], onLine);
  if (texts) {
    working_.setField(F_pointS1, texts->first);
    working_.setField(F_pointS2, texts->second);
    gradientFromPoints();
  }
  redrawPreviews();
}

std::string UnsteadyAnalysisModel::restText() const {
  if (ownRest_.empty() && !formerLevel_) return {};
  const std::string written = "GL" + working_.equilibriumLevel() + "m";
  std::string text;
  if (!ownRest_.empty())
    text = source_ == RestSource::Record ? "s の ho: 記録から求めた GL" + ownLevel_ + " (記入は " + written + ")"
                                         : "s の ho: 記入の " + written + " (記録からは GL" + ownLevel_ + ")";
  if (formerLevel_) {
    if (!text.empty()) text += "\n";
    text += "点の s, a, k は ho GL" + cformat("%.3f", *formerLevel_) + "m のときの値 (k " +
            (formerK_.empty() ? std::string("なし") : formerK_) + ") だったため、今の s で計算し直しました. "
            "ｷｬﾝｾﾙ で元のままです.";
  }
  return text;
}

void UnsteadyAnalysisModel::setText(int field, std::string text) {
  if ((field == F_pointT1 || field == F_pointS1 || field == F_pointT2 || field == F_pointS2) &&
      text != working_.field(field))
    typedPoint_ = field == F_pointT1 || field == F_pointS1 ? 1 : 2;
  AnalysisModel::setText(field, std::move(text));
}

void UnsteadyAnalysisModel::fieldLeft(int field) {
  AnalysisModel::fieldLeft(field);
  const int point = field == F_pointT1 || field == F_pointS1 ? 1 : field == F_pointT2 || field == F_pointS2 ? 2 : 0;
  if (point == 0 || point != typedPoint_ || completeRows_ == 0) return;
  typedPoint_ = 0;
  int row = chosen_[index(point)];
  const std::string& typed = text(point == 1 ? F_pointT1 : F_pointT2);
  if (isNumberText(typed)) {
    // The nearest complete row by t.
    const double t = toDouble(typed);
    double best = INFINITY;
    for (int r = 1; r <= completeRows_; ++r) {
      const double off = std::fabs(toDouble(working_.cell(r, C_time)) - t);
      if (off < best) best = off, row = r;
    }
  }
  const int other = chosen_[index(point == 1 ? 2 : 1)];
  if (row == other) {
    // Both points on one row give no line: the point keeps its row.
    reportMessage(IDS_POINTS_SAME_ROW);
    row = chosen_[index(point)];
  }
  chosen_[index(point)] = row;
  highlighted_[index(point)] = row;
  if (point == active_) cursor_ = row;
  fillPointEdits(point, row);
  orderPoints();
  redrawPending_ = true;
}

bool UnsteadyAnalysisModel::orderPoints() {
  const double t1 = working_.fieldValue(F_pointT1), t2 = working_.fieldValue(F_pointT2);
  if (!(t1 > t2)) return false;
  // Point 1 is the earlier one: the points change places, with a word.
  std::swap(chosen_[0], chosen_[1]);
  std::swap(highlighted_[0], highlighted_[1]);
  const std::string tA = text(F_pointT1), sA = text(F_pointS1);
  working_.setField(F_pointT1, text(F_pointT2));
  working_.setField(F_pointS1, text(F_pointS2));
  working_.setField(F_pointT2, tA);
  working_.setField(F_pointS2, sA);
  cursor_ = chosen_[index(active_)];
  reportMessage(IDS_POINTS_SWAPPED);
  return true;
}

void UnsteadyAnalysisModel::selectPoint(int point) {
  active_ = point == 2 ? 2 : 1;
  cursor_ = chosen_[index(active_)];
  const std::size_t other = index(active_ == 1 ? 2 : 1);
  highlighted_[other] = chosen_[other];
  redrawPreviews();
}

bool UnsteadyAnalysisModel::isScaleRangeField(int field) const {
  switch (field) {
  case F_graphATimeFrom: case F_graphATimeTo: case F_graphAValueFrom: case F_graphAValueTo:
  case F_graphBTimeFrom: case F_graphBTimeTo: case F_graphBLevelFrom: case F_graphBLevelTo: return true;
  default: return false;
  }
}

bool UnsteadyAnalysisModel::validateScales(bool showMessage) {
  auto value = [this](int field) { return working_.fieldValue(field); };
  bool reset = false;
  double from = value(F_graphATimeFrom), to = value(F_graphATimeTo);
  reset = checkPair(F_graphATimeFrom, F_graphATimeTo, !finite(from, to) || !(to - from >= 0.1), "0", "1000") || reset;
  from = value(F_graphAValueFrom), to = value(F_graphAValueTo);
  reset = checkPair(F_graphAValueFrom, F_graphAValueTo,
                    !finite(from, to) || !(to - from >= 0.001) || !(from >= 0.00001), "0.01", "10") ||
          reset;
  from = value(F_graphBTimeFrom), to = value(F_graphBTimeTo);
  reset = checkPair(F_graphBTimeFrom, F_graphBTimeTo, !finite(from, to) || !(to - from >= 0.1), "0", "10000") || reset;
  // The level axis may run downwards.
  from = value(F_graphBLevelFrom), to = value(F_graphBLevelTo);
  reset = checkPair(F_graphBLevelFrom, F_graphBLevelTo, !finite(from, to) || !(std::fabs(to - from) >= 0.001), "-10",
                    "2") ||
          reset;

  ranges_[0] = AxisRange{value(F_graphATimeFrom), value(F_graphATimeTo), value(F_graphAValueFrom),
                         value(F_graphAValueTo)};
  ranges_[1] = AxisRange{value(F_graphBTimeFrom), value(F_graphBTimeTo), value(F_graphBLevelFrom),
                         value(F_graphBLevelTo)};
  labels_[0] = PreviewLabels{timeLabel(text(F_graphATimeFrom)), text(F_graphATimeTo), text(F_graphAValueFrom),
                             text(F_graphAValueTo)};
  labels_[1] = PreviewLabels{timeLabel(text(F_graphBTimeFrom)), text(F_graphBTimeTo), text(F_graphBLevelFrom),
                             text(F_graphBLevelTo)};
  if (reset && showMessage) reportMessage(IDS_BAD_SCALE);
  return !reset;
}

void UnsteadyAnalysisModel::recomputePermeability() {
  if (completeRows_ == 0) return;
  autoScalesAtFirstAnalysis();
  working_.setField(F_gradientText, "");
  const double length = working_.fieldValue(F_sectionLength);
  const double bore = working_.fieldValue(F_boreDiameter);
  if (!(length >= 0.001) || !(bore >= 0.001) || !(length / bore >= 0.0001)) {
    reportMessage(IDS_BAD_GEOMETRY);
    return;
  }
  highlighted_ = chosen_;
  // The points as their edits hold them: a row's readings, or after
  // 推奨区間 the fitted line's s at the rows' t.
  auto inRange = [this](int row) { return row >= 1 && row <= completeRows_; };
  if (inRange(chosen_[0]) && inRange(chosen_[1])) {
    orderPoints();
    if (std::fabs(working_.fieldValue(F_pointT2) - working_.fieldValue(F_pointT1)) <= 0.01) {
      // Never an empty k without a word.
      working_.setField(F_permeabilityText, "");
      reportMessage(IDS_POINTS_SAME_TIME);
      return;
    }
  }
  const int row1 = chosen_[0], row2 = chosen_[1];
  std::optional<double> a;
  if (inRange(row1) && inRange(row2))
    a = computeGradient(working_.fieldValue(F_pointT1), working_.fieldValue(F_pointS1), working_.fieldValue(F_pointT2),
                        working_.fieldValue(F_pointS2));
  if (!a) {
    working_.setField(F_permeabilityText, "");
    return;
  }
  working_.setField(F_gradientText, cformat("%g", *a));
  const double k = computePermeability(static_cast<unsigned>(working_.fieldInt(F_formulaKind)), length / bore,
                                       working_.fieldValue(F_equivalentDiameter), length, *a,
                                       working_.fieldValue(F_steadyFlow), working_.fieldValue(F_steadyHeadDifference));
  working_.setField(F_permeabilityText, k > kPermeabilityFailureLimit ? formatPermeability(k, digits_) : "");
}

void UnsteadyAnalysisModel::storeAnalysis(TestRecord& record) const {
  if (pointsChanged()) {
    for (int field = F_pointT1; field <= F_pointS2; ++field) record.setField(field, text(field));
    record.setField(F_point1Row, cformat("%d", chosen_[0]));
    record.setField(F_point2Row, cformat("%d", chosen_[1]));
  }
  for (int field = F_permeabilityText; field <= F_graphAValueTo; ++field) storeIfChanged(record, field);
  for (int field = F_graphBTimeFrom; field <= F_gradientText; ++field) storeIfChanged(record, field);
  storeCode(record, F_graphAValueStep, labelSet_, openedChoices_[0]);
  storeCode(record, F_graphAValueGrid2, grid2Set_, openedChoices_[1]);
  storeCode(record, F_grid2WhenGrid1Small, grid2WhenSmall_, openedChoices_[2]);
}

AnalysisReport UnsteadyAnalysisModel::analysis() const {
  TestRecord probe = working_;
  probe.setField(F_point1Row, cformat("%d", chosen_[0]));
  probe.setField(F_point2Row, cformat("%d", chosen_[1]));
  if (!analysedRecord_ || !(*analysedRecord_ == probe) || !(analysedSettings_ == settings_)) {
    analysed_ = analyseRecord(probe, settings_, digits_);
    analysedRecord_ = std::move(probe);
    analysedSettings_ = settings_;
  }
  return analysed_;
}

std::string UnsteadyAnalysisModel::fitText() const {
  const AnalysisReport report = analysis();
  if (!report.segment || !report.segment->usable) return "照合: 点 1〜2 の行に s の使える行が 3 行以上ありません";
  const LineFit& fit = *report.segment;
  std::string text = cformat("照合: 行 %d〜%d の近似直線 a ", fit.first, fit.last) + cformat("%g", fit.a) + "  " +
                     (report.fittedInterval ? intervalText(*report.fittedInterval, digits_) : std::string("k -")) +
                     "\n" + fitCaption(fit);
  if (report.pointsOnLine || report.pointsRest.taken == PointsTaken::Line)
    text += "  点 1, 2 は近似直線上の点";
  else if (report.pointsK && report.fittedK)
    if (const auto diff = percentDifference(*report.pointsK, *report.fittedK))
      text += cformat("  2点の k との差 %+.1f %%", *diff);
  return text;
}

std::string UnsteadyAnalysisModel::bandText() const {
  const AnalysisReport report = analysis();
  const Band& band = report.band;
  if (!band.known()) return "s/H0 範囲: 初期水位差 H0 (Sp または最初の s) がありません";
  std::string text = cformat("s/H0 範囲 %g〜%g (s %s〜%s m)", settings_.bandLow, settings_.bandHigh,
                             cformat("%.3g", band.low).c_str(), cformat("%.3g", band.high).c_str());
  if (report.segmentPlace != BandPlace::Unknown) text += std::string(": 区間は") + bandPlaceText(report.segmentPlace);
  return text;
}

void UnsteadyAnalysisModel::applySuggestion() {
  // The rule is the analysis module's; scales the engineer typed here stay.
  const AppliedSuggestion done = tov::applySuggestion(working_, settings_, digits_, scalesTyped_);
  suggestionText_ = done.text;
  if (done.applied) {
    source_ = ownRest_.empty() ? RestSource::Written : RestSource::Record;
    formerLevel_.reset();
    chosen_ = {working_.fieldInt(F_point1Row), working_.fieldInt(F_point2Row)};
    highlighted_ = chosen_;
    cursor_ = chosen_[index(active_)];
  }
  redrawPreviews();
}

std::string UnsteadyAnalysisModel::spreadText() const {
  const AnalysisReport report = analysis();
  std::string text = report.suggestion.found ? "照合: " + report.suggestion.spreadText(digits_) : std::string();
  if (report.bandK) {
    if (!text.empty()) text += "\n";
    text += cformat("照合: s/H0 範囲内の行 %d〜%d (n %d) の k ", report.bandFit->first, report.bandFit->last, report.bandFit->n) +
            formatPermeability(*report.bandK, digits_);
  }
  return text;
}

std::string UnsteadyAnalysisModel::typeCurvesText() const {
  std::string text;
  for (const std::string& line : typeCurveTexts(analysis(), digits_))
    text += (text.empty() ? "" : "\n") + std::string("照合: 標準曲線 ") + line;
  return text;
}

std::vector<std::string> UnsteadyAnalysisModel::checkTexts() const {
  std::vector<std::string> texts;
  for (const Check& check : analysis().checks) texts.push_back(check.text);
  return texts;
}

void UnsteadyAnalysisModel::drawPoints(Surface& surface, PreviewGraph graph, const Shown& shown, int width,
                                       int height) const {
  const Pen grey{PS_SOLID, kPointPen, kGrey}, green{PS_SOLID, kPointPen, kGreen}, blue{PS_SOLID, kPointPen, kBlue},
      red{PS_SOLID, kPointPen, kRed};
  auto penFor = [&](int row) {
    if (row == shown.highlighted[0]) return green;
    if (row == shown.highlighted[1]) return blue;
    return grey;
  };
  auto t = [this](int row) { return toDouble(working_.cell(row, C_time)); };
  auto circle = [&](DevicePoint at, const Pen& pen) { surface.circle(at.x, at.y, kPointRadius, pen); };
  auto cursorRing = [&](DevicePoint at) { surface.circle(at.x, at.y, kCursorRadius, red); };

  if (graph == PreviewGraph::First) {
    // log s against t above, the residuals of the chosen segment below.
    const int plotHeight = height >= kLeastResidualsHeight ? height - kResidualStrip : height;
    const AxisRange& r = shown.ranges[0];
    const AxisRange logRange{r.timeFrom, r.timeTo, std::log10(r.valueFrom), std::log10(r.valueTo)};
    auto s = [this](int row) { return shownHead(row); };
    auto map = [&](double time, double value) { return mapToArea(logRange, time, std::log10(value), width, plotHeight); };
    auto at = [&](int row) { return map(t(row), s(row)); };
    // The readings, the points, the line and the residuals all of the s of
    // the ho in use.
    const AnalysisReport report = analysis();
    if (report.band.known() && report.band.low > 0) {
      // The recommended band, shaded under the readings.
      const int top = map(0, report.band.high).y;
      const int bottom = map(0, report.band.low).y;
      const Pen shade{PS_SOLID, 1, kBandShade};
      for (int y = std::max(std::min(top, bottom), 0); y <= std::min(std::max(top, bottom), plotHeight); ++y) {
        surface.moveTo(0, y);
        surface.lineTo(width, y, shade);
      }
    }
    auto drawLine = [&](const LineFit& fit, const Pen& pen) {
      const double t1 = t(fit.first), t2 = t(fit.last);
      const DevicePoint from = map(t1, fit.sAt(t1)), to = map(t2, fit.sAt(t2));
      surface.moveTo(from.x, from.y);
      surface.lineTo(to.x, to.y, pen);
    };
    // The earlier straight line the suggestion named (drainage), then the
    // fitted line across the chosen segment.
    if (report.suggestion.earlier) drawLine(*report.suggestion.earlier, Pen{PS_SOLID, 2, kEarlierLine});
    if (report.segment && report.segment->usable) drawLine(*report.segment, Pen{PS_SOLID, 2, kFitLine});
    for (int row = 1; row <= kRows; ++row) {
      if (!isNumberText(working_.cell(row, C_pipeLevel)) || !isNumberText(working_.cell(row, C_headDifference)) ||
          !(s(row) >= kLeastS))
        continue;
      circle(at(row), penFor(row));
    }
    if (shown.cursor >= 1 && s(shown.cursor) >= kLeastS) cursorRing(at(shown.cursor));

    if (plotHeight < height && report.segment && report.segment->usable) {
      // Residuals in per cent of the line's s, on a scale of at least ±5 %.
      const LineFit& fit = *report.segment;
      // The label has the strip's first line to itself: no bar crosses it.
      FontSpec font;
      font.height = -12;
      surface.selectFont(font);
      const int labelTop = plotHeight + 4;
      const int top = labelTop + surface.textExtent("残差").cy + 2, bottom = height - 2, zero = (top + bottom) / 2;
      double largest = 5;
      for (int row = fit.first; row <= fit.last; ++row)
        if (s(row) > kLeastHead) largest = std::max(largest, std::fabs(s(row) / fit.sAt(t(row)) - 1) * 100);
      const Pen axis{PS_SOLID, 1, kGrey}, bar{PS_SOLID, 2, kFitLine};
      surface.moveTo(0, labelTop - 2);
      surface.lineTo(width, labelTop - 2, axis);
      surface.moveTo(0, zero);
      surface.lineTo(width, zero, axis);
      for (int row = fit.first; row <= fit.last; ++row) {
        if (!(s(row) > kLeastHead)) continue;
        const double percent = (s(row) / fit.sAt(t(row)) - 1) * 100;
        const int x = map(t(row), 1).x;
        const int y = zero - static_cast<int>(std::lround(percent / largest * (zero - top)));
        surface.moveTo(x, zero);
        surface.lineTo(x, y, bar);
      }
      surface.setTextColor(0x000000);
      surface.setTextAlign(TA_LEFT | TA_TOP);
      surface.textOut(kInset, labelTop, cformat("残差 (%%) ±%.0f", largest));
    }
  } else {
    // h against t.
    auto h = [this](int row) { return toDouble(working_.cell(row, C_level)); };
    auto at = [&](int row) { return mapToArea(shown.ranges[1], t(row), h(row), width, height); };
    for (int row = 1; row <= completeRows_; ++row)
      if (isNumberText(working_.cell(row, C_level))) circle(at(row), penFor(row));
    if (shown.cursor >= 1 && isNumberText(working_.cell(shown.cursor, C_level))) cursorRing(at(shown.cursor));
  }
}

} // namespace tov
