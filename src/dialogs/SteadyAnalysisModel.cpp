// The steady analysis: one steady reading gives k by the steady formula;
// the scales of the Q - t and h - t graphs, Q typed as a mantissa with an
// exponent picked from a list.
#include <algorithm>
#include <cmath>
#include <utility>

#include "dialogs/AnalysisModel.h"
#include "dialogs/FieldCheck.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"

namespace tov {

namespace {

constexpr Colour kGrey = 0x808080;
constexpr Colour kGreen = 0x00FF00;
constexpr Colour kBlue = 0xFF0000;  // 0x00BBGGRR
// The smallest Q the Q - t preview places, and the least Q range.
constexpr double kLeastFlow = 1e-10;
// More grid intervals than this over an axis are refused.
constexpr double kMaxGridIntervals = 200;

bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }
bool hasExponent(const std::string& text) { return text.find_first_of("Ee") != std::string::npos; }
// 1 for "x1", 1e-5 for "E-5".
double exponentScale(const std::string& exponent) {
  return exponent.find('E') != std::string::npos ? toDouble("1" + exponent) : 1.0;
}
std::size_t flowIndex(int field) { return static_cast<std::size_t>(field - F_graphAValueFrom); }

} // namespace

const std::array<const char*, 9>& SteadyAnalysisModel::exponentChoices() {
  static const std::array<const char*, 9> choices{"x1", "E-1", "E-2", "E-3", "E-4", "E-5", "E-6", "E-7", "E-8"};
  return choices;
}

const std::string& SteadyAnalysisModel::exponent(int field) const {
  if (field == F_graphAValueGrid1 || field == F_graphAValueGrid2) field = F_graphAValueStep;
  static const std::string none;
  if (field < F_graphAValueFrom || field > F_graphAValueStep) return none;
  return exponents_[flowIndex(field)];
}

void SteadyAnalysisModel::setExponent(int field, std::string text) {
  if (field < F_graphAValueFrom || field > F_graphAValueStep) return;
  exponents_[flowIndex(field)] = std::move(text);
}

SteadyAnalysisModel::SplitFlow SteadyAnalysisModel::splitAxisFlow(const std::string& text) {
  const std::size_t e = text.find('E');
  if (e != std::string::npos) {
    // "E-05" is the picker's "E-6"'s neighbour "E-5": the exponent is
    // matched by its value, so a text written with two digits keeps it.
    const std::optional<int> power = parseIntegerField(std::string_view(text).substr(e + 1));
    if (power && *power >= -8 && *power <= -1) return SplitFlow{text.substr(0, e), cformat("E%d", *power)};
  }
  // No exponent, or one the picker does not offer: the text stays whole.
  return SplitFlow{text, "x1"};
}

std::string SteadyAnalysisModel::gridMantissa(const std::string& text, const std::string& stepExponent) {
  if (stepExponent.find('E') == std::string::npos) return text;
  const SplitFlow split = splitAxisFlow(text);
  if (split.exponent == stepExponent) return split.mantissa;
  // A spacing written with another exponent is rewritten in the step's,
  // keeping its value.
  if (!isNumberText(text)) return text;
  const std::string mantissa = cformat("%.12g", toDouble(text) / exponentScale(stepExponent));
  return hasExponent(mantissa) ? text : mantissa;
}

std::string SteadyAnalysisModel::joined(const std::string& mantissa, const std::string& exponent) {
  // A blank stays blank; a mantissa with an exponent of its own keeps it.
  if (classifyNumberText(mantissa) < 0 || hasExponent(mantissa)) return mantissa;
  return exponent.find('E') != std::string::npos ? mantissa + exponent : mantissa;
}

double SteadyAnalysisModel::flowValue(int field) const {
  return toDouble(joined(text(field), exponent(field)));
}

double SteadyAnalysisModel::inStepUnits(int field) const {
  const std::string& step = exponent(F_graphAValueStep);
  // In the step's own exponent the mantissa is the value (as typed).
  if (exponent(field) == step && !hasExponent(text(field))) return toDouble(text(field));
  return flowValue(field) / exponentScale(step);
}

void SteadyAnalysisModel::setText(int field, std::string value) {
  // The h - t time axis is the Q - t one.
  if (field >= F_graphATimeFrom && field <= F_graphATimeStep) {
    if (value != text(field)) timeAxisSet_ = true;
    working_.setField(field + 10, value);
  }
  if (field >= F_pointT1 && field <= F_pointS2 && value != text(field)) typedField_ = field;
  AnalysisModel::setText(field, std::move(value));
}

void SteadyAnalysisModel::fieldLeft(int field) {
  AnalysisModel::fieldLeft(field);
  if (field == typedField_) settleTypedPoint();
}

void SteadyAnalysisModel::settleTypedPoint() {
  const int typed = std::exchange(typedField_, 0);
  if (typed == 0 || completeRows_ == 0) return;
  int row = chosen_[0];
  if (typed == F_pointT1 && isNumberText(text(F_pointT1))) {
    // The nearest complete row by t: its t, h, Q and s together.
    const double t = toDouble(text(F_pointT1));
    double best = INFINITY;
    for (int r = 1; r <= completeRows_; ++r) {
      const double off = std::fabs(toDouble(working_.cell(r, C_time)) - t);
      if (off < best) best = off, row = r;
    }
  }
  chosen_[0] = highlighted_[0] = cursor_ = row;
  fillPointEdits(1, row);
  redrawPending_ = true;
}

void SteadyAnalysisModel::moveCursorTo(int row) {
  if (completeRows_ == 0) return;
  typedField_ = 0;
  cursor_ = std::clamp(row, 1, completeRows_);
  redrawPreviews();
  chosen_[0] = cursor_;
  fillPointEdits(1, cursor_);
}

int SteadyAnalysisModel::rowAt(PreviewGraph graph, int x, int y, int width, int height) const {
  if (!shown_.drawn) return 0;
  const bool flow = graph == PreviewGraph::First;
  const AxisRange& range = shown_.ranges[graphIndex(graph)];
  int nearest = 0;
  double best = INFINITY;
  for (int row = 1; row <= completeRows_; ++row) {
    const double value = toDouble(working_.cell(row, flow ? C_flow : C_level));
    if (flow ? !(value >= kLeastFlow) : !isNumberText(working_.cell(row, C_level))) continue;
    const DevicePoint at = mapToArea(range, toDouble(working_.cell(row, C_time)), value, width, height);
    const double dx = at.x - x, dy = at.y - y, distance = dx * dx + dy * dy;
    if (distance < best) best = distance, nearest = row;
  }
  return nearest;
}

void SteadyAnalysisModel::applySuggestion() {
  typedField_ = 0;
  const SteadyPoint point = suggestSteadyPoint(working_);
  suggestionText_ = point.text;
  if (point.found) {
    chosen_[0] = highlighted_[0] = cursor_ = point.row;
    fillPointEdits(1, point.row);
    recomputePermeability();
  }
  redrawPreviews();
}

bool SteadyAnalysisModel::rowComplete(int row) const {
  return isNumberText(working_.cell(row, C_pipeLevel)) && isNumberText(working_.cell(row, C_flow));
}

void SteadyAnalysisModel::openFields() {
  permeabilityRow_ = 0;
  typedField_ = 0;
  timeAxisSet_ = false;
  suggestionText_.clear();
  int row = working_.fieldInt(F_point1Row);
  if (row >= completeRows_) row = completeRows_;
  if (row < 1) row = 1;
  chosen_ = {row, 0};
  highlighted_ = chosen_;
  active_ = 1;
  cursor_ = row;
  fillPointEdits(1, row);

  for (int field = F_graphAValueFrom; field <= F_graphAValueGrid2; ++field)
    openedFlowTexts_[flowIndex(field)] = text(field);
  for (int field = F_graphAValueFrom; field <= F_graphAValueStep; ++field) {
    SplitFlow split = splitAxisFlow(text(field));
    working_.setField(field, std::move(split.mantissa));
    exponents_[flowIndex(field)] = std::move(split.exponent);
  }
  for (int field : {F_graphAValueGrid1, F_graphAValueGrid2})
    working_.setField(field, gridMantissa(text(field), exponent(F_graphAValueStep)));
}

void SteadyAnalysisModel::fillPointEdits(int, int row) {
  working_.setField(F_pointT1, working_.cell(row, C_time));
  working_.setField(F_pointT2, working_.cell(row, C_level));
  working_.setField(F_pointS1, working_.cell(row, C_flow));
  working_.setField(F_pointS2, working_.cell(row, C_headDifference));
}

bool SteadyAnalysisModel::isScaleRangeField(int field) const {
  switch (field) {
  case F_graphATimeFrom: case F_graphATimeTo: case F_graphAValueFrom: case F_graphAValueTo:
  case F_graphBLevelFrom: case F_graphBLevelTo: return true;
  default: return false;
  }
}

bool SteadyAnalysisModel::isGridField(int field) const {
  return field == F_graphATimeGrid1 || field == F_graphATimeGrid2 || field == F_graphAValueGrid1 ||
         field == F_graphAValueGrid2;
}

bool SteadyAnalysisModel::validateScales(bool showMessage) {
  auto value = [this](int field) { return working_.fieldValue(field); };
  bool reset = false;
  double from = value(F_graphATimeFrom), to = value(F_graphATimeTo);
  reset = checkPair(F_graphATimeFrom, F_graphATimeTo, !finite(from, to) || !(to - from >= 0.1), "0", "10000") || reset;
  for (int field = F_graphATimeFrom; field <= F_graphATimeStep; ++field) working_.setField(field + 10, text(field));

  from = flowValue(F_graphAValueFrom), to = flowValue(F_graphAValueTo);
  if (!finite(from, to) || !(to - from >= kLeastFlow)) {
    working_.setField(F_graphAValueFrom, "0");
    working_.setField(F_graphAValueTo, "10");
    exponents_[flowIndex(F_graphAValueFrom)] = exponents_[flowIndex(F_graphAValueTo)] = "x1";
    reset = true;
  }
  from = value(F_graphBLevelFrom), to = value(F_graphBLevelTo);
  reset = checkPair(F_graphBLevelFrom, F_graphBLevelTo, !finite(from, to) || !(std::fabs(to - from) >= 0.001), "-10",
                    "2") ||
          reset;

  const double tFrom = value(F_graphATimeFrom), tTo = value(F_graphATimeTo);
  ranges_[0] = AxisRange{tFrom, tTo, flowValue(F_graphAValueFrom), flowValue(F_graphAValueTo)};
  ranges_[1] = AxisRange{tFrom, tTo, value(F_graphBLevelFrom), value(F_graphBLevelTo)};
  const std::string timeFrom = timeLabel(text(F_graphATimeFrom));
  labels_[0] = PreviewLabels{timeFrom, text(F_graphATimeTo), joined(text(F_graphAValueFrom), exponent(F_graphAValueFrom)),
                             joined(text(F_graphAValueTo), exponent(F_graphAValueTo))};
  labels_[1] = PreviewLabels{timeFrom, text(F_graphATimeTo), text(F_graphBLevelFrom), text(F_graphBLevelTo)};
  if (reset && showMessage) reportMessage(IDS_BAD_SCALE);
  return !reset;
}

bool SteadyAnalysisModel::checkGridSpacing(int field) {
  if (!isGridField(field) || !isNumberText(text(field))) return true;
  const bool time = field == F_graphATimeGrid1 || field == F_graphATimeGrid2;
  double span = 0, grid = 0;
  std::string axisEnd;
  if (time) {
    span = std::fabs(working_.fieldValue(F_graphATimeTo) - working_.fieldValue(F_graphATimeFrom));
    grid = working_.fieldValue(field);
    axisEnd = text(F_graphATimeTo);
  } else {
    // Q spacings count in the step's exponent; the axis ends are brought
    // into it, so that ends written with other exponents compare rightly.
    span = std::fabs(inStepUnits(F_graphAValueTo) - inStepUnits(F_graphAValueFrom));
    grid = inStepUnits(field);
    const std::string& step = exponent(F_graphAValueStep);
    axisEnd = exponent(F_graphAValueTo) == step && !hasExponent(text(F_graphAValueTo))
                  ? text(F_graphAValueTo)
                  : gridMantissa(joined(text(F_graphAValueTo), exponent(F_graphAValueTo)), step);
  }
  if (!(span > 0) || !(grid > 1e-10) || !(span / grid > kMaxGridIntervals)) return true;
  working_.setField(field, axisEnd);
  reportMessage(IDS_GRID_TOO_SMALL);
  return false;
}

void SteadyAnalysisModel::recomputePermeability() {
  if (completeRows_ == 0) return;
  settleTypedPoint();
  autoScalesAtFirstAnalysis();
  working_.setField(F_gradientText, "");
  const double length = working_.fieldValue(F_sectionLength);
  const double bore = working_.fieldValue(F_boreDiameter);
  if (!(length >= 0.001) || !(bore >= 0.001) || !(length / bore >= 0.0001)) {
    reportMessage(IDS_BAD_GEOMETRY);
    return;
  }
  working_.setField(F_permeabilityText, "");
  permeabilityRow_ = 0;
  highlighted_[0] = chosen_[0];
  const double ratio = length / bore;
  const double shape = std::log10(2 * ratio);
  working_.setField(F_gradientText, cformat("%g", shape));
  const int row = chosen_[0];
  if (row < 1 || row > completeRows_) return;
  const double k = computePermeability(Steady, ratio, working_.fieldValue(F_equivalentDiameter), length, shape,
                                       toDouble(working_.cell(row, C_flow)),
                                       toDouble(working_.cell(row, C_headDifference)));
  if (k > kPermeabilityFailureLimit) {
    working_.setField(F_permeabilityText, formatPermeability(k, digits_));
    permeabilityRow_ = row;
  }
}

std::vector<std::string> SteadyAnalysisModel::checkTexts() const {
  std::vector<std::string> texts;
  for (const Check& check : steadyChecks(working_)) texts.push_back(check.text);
  if (const auto check = steadyPointCheck(working_, chosen_[0])) texts.push_back(check->text);
  return texts;
}

void SteadyAnalysisModel::takeScales(const std::map<int, std::string>& texts) {
  timeAxisSet_ = true;
  for (const auto& [field, value] : texts) {
    if (field >= F_graphAValueFrom && field <= F_graphAValueStep) {
      SplitFlow split = splitAxisFlow(value);
      working_.setField(field, std::move(split.mantissa));
      exponents_[flowIndex(field)] = std::move(split.exponent);
    } else if (field == F_graphAValueGrid1 || field == F_graphAValueGrid2) {
      working_.setField(field, value);
    } else {
      setText(field, value);
    }
  }
  for (int field : {F_graphAValueGrid1, F_graphAValueGrid2})
    working_.setField(field, gridMantissa(text(field), exponent(F_graphAValueStep)));
}

void SteadyAnalysisModel::storeAnalysis(TestRecord& record) const {
  if (pointsChanged()) {
    // The point is a row: its t, h, Q and s, whatever an edit still holds.
    const int row = chosen_[0];
    record.setField(F_pointT1, working_.cell(row, C_time));
    record.setField(F_pointT2, working_.cell(row, C_level));
    record.setField(F_pointS1, working_.cell(row, C_flow));
    record.setField(F_pointS2, working_.cell(row, C_headDifference));
    record.setField(F_point1Row, cformat("%d", row));
  }
  for (int field = F_permeabilityText; field <= F_gradientText; ++field) storeIfChanged(record, field);
  // The h - t graph's time axis as shown, once the time axis was set here
  // (opened, its copies stood in the edits without being the record's).
  if (timeAxisSet_)
    for (int field = F_graphBTimeFrom; field <= F_graphBTimeStep; ++field) record.setField(field, text(field));
  // The page prints k with the Qo and So it was computed from: the steady
  // values become those of the row k came from, as the headings' "↑"
  // buttons would take them.
  if (permeabilityRow_ >= 1 && isNumberText(text(F_permeabilityText))) {
    record.setField(F_steadyFlow, working_.cell(permeabilityRow_, C_flow));
    record.setField(F_steadyLevel, working_.cell(permeabilityRow_, C_level));
    record.setField(F_steadyHeadDifference, working_.cell(permeabilityRow_, C_headDifference));
  }
  for (int field = F_graphAValueFrom; field <= F_graphAValueGrid2; ++field) {
    const std::string value = joined(text(field), exponent(field));
    // A value left as it was keeps the spelling it was opened with.
    // (Whether the "to" text has an exponent chooses the page's Q labels.)
    const std::string& opened = openedFlowTexts_[flowIndex(field)];
    const bool unchanged = toDouble(value) == toDouble(opened) &&
                           classifyNumberText(value) == classifyNumberText(opened) &&
                           (field != F_graphAValueTo || hasExponent(value) == hasExponent(opened));
    record.setField(field, unchanged ? opened : value);
  }
}

void SteadyAnalysisModel::drawPoints(Surface& surface, PreviewGraph graph, const Shown& shown, int width,
                                     int height) const {
  const Pen grey{PS_SOLID, kPointPen, kGrey}, red{PS_SOLID, kPointPen, kRed};
  const Pen highlight{PS_SOLID, kPointPen, graph == PreviewGraph::First ? kGreen : kBlue};
  auto t = [this](int row) { return toDouble(working_.cell(row, C_time)); };
  auto circle = [&](DevicePoint at, const Pen& pen) { surface.circle(at.x, at.y, kPointRadius, pen); };
  const int cursor = shown.cursor;

  if (graph == PreviewGraph::First) {
    // Q against t.
    auto q = [this](int row) { return toDouble(working_.cell(row, C_flow)); };
    auto at = [&](int row) { return mapToArea(shown.ranges[0], t(row), q(row), width, height); };
    for (int row = 1; row <= completeRows_; ++row)
      if (q(row) >= kLeastFlow) circle(at(row), row == shown.highlighted[0] ? highlight : grey);
    if (cursor >= 1 && q(cursor) >= kLeastFlow) surface.circle(at(cursor).x, at(cursor).y, kCursorRadius, red);
  } else {
    // h against t.
    auto h = [this](int row) { return toDouble(working_.cell(row, C_level)); };
    auto at = [&](int row) { return mapToArea(shown.ranges[1], t(row), h(row), width, height); };
    for (int row = 1; row <= completeRows_; ++row)
      if (isNumberText(working_.cell(row, C_level))) circle(at(row), row == shown.highlighted[0] ? highlight : grey);
    if (cursor >= 1 && isNumberText(working_.cell(cursor, C_level)))
      surface.circle(at(cursor).x, at(cursor).y, kCursorRadius, red);
  }
}

} // namespace tov
