// Scales from the readings.
#include "analysis/AutoScales.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "record/CFormat.h"

namespace tov {

namespace {

struct Range {
  double low = INFINITY, high = -INFINITY;
  void add(double v) {
    if (!std::isfinite(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  bool known() const { return low <= high; }
};

std::string g(double v) {
  // Rounding noise of the step arithmetic stays out of the texts.
  const double rounded = std::fabs(v) < 1e-12 ? 0.0 : v;
  return cformat("%.6g", rounded);
}

// The minor grid of a step: a fifth of a 1 or 5 step, a quarter of a 2.
double minorGrid(double step) {
  const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  return std::fabs(mantissa - 2.0) < 1e-6 ? step / 4.0 : step / 5.0;
}

// A linear axis over [low, high]: about five labelled steps, the ends on
// steps.
struct Linear {
  double from, to, step;
  bool flat = false;  // one value: it lies in the middle
};
Linear linearAxis(double low, double high, bool fromZero) {
  if (fromZero) low = std::min(low, 0.0);
  double span = high - low;
  const bool flat = !(span > 0);
  if (flat) span = std::max(std::fabs(high), 1.0) * 0.2;
  const double step = roundStepAtLeast(span / 5.0);
  double from = std::floor(low / step + 1e-9) * step;
  double to = std::ceil(high / step - 1e-9) * step;
  // Past the last value: a point on the axis end is hard to see.
  if (to <= high) to += step;
  // A level held constant (a steady test's) in the middle, not along the
  // bottom edge under the axis' first label.
  if (flat && !fromZero) from -= step;
  if (to - from < step) to = from + step;
  return {from, to, step, flat && !fromZero};
}

bool pairIs(const TestRecord& r, int from, int to, std::initializer_list<std::pair<const char*, const char*>> pairs) {
  const std::string& a = r.field(from);
  const std::string& b = r.field(to);
  if (classifyNumberText(a) < 0 && classifyNumberText(b) < 0) return true;
  for (const auto& [x, y] : pairs)
    if (toDouble(a) == toDouble(x) && toDouble(b) == toDouble(y) && isNumberText(a) && isNumberText(b)) return true;
  return false;
}

} // namespace

double roundStepAtLeast(double value) {
  if (!(value > 0) || !std::isfinite(value)) return 1.0;
  const double decade = std::pow(10.0, std::floor(std::log10(value)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * decade >= value * (1 - 1e-9)) return m * decade;
  return 10.0 * decade;
}

bool scalesAreDefault(const TestRecord& r) {
  const bool steady = r.fieldInt(F_formulaKind) == 4;
  const bool value = steady ? pairIs(r, F_graphAValueFrom, F_graphAValueTo, {{"0", "10"}})
                            : pairIs(r, F_graphAValueFrom, F_graphAValueTo, {{"0.1", "10"}, {"0.01", "10"}});
  // The steady h - t time axis is the Q - t one (the dialog shows its copy).
  return value && pairIs(r, F_graphATimeFrom, F_graphATimeTo, {{"0", "1000"}, {"0", "10000"}}) &&
         (steady || pairIs(r, F_graphBTimeFrom, F_graphBTimeTo, {{"0", "10000"}})) &&
         pairIs(r, F_graphBLevelFrom, F_graphBLevelTo, {{"-10", "10"}, {"-10", "2"}});
}

ScaleTexts autoScales(const TestRecord& r) {
  const bool steady = r.fieldInt(F_formulaKind) == 4;
  Range t, s, h, q;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(r.cell(row, C_time)) || !isNumberText(r.cell(row, C_pipeLevel))) break;
    if (steady && !isNumberText(r.cell(row, C_flow))) break;
    t.add(toDouble(r.cell(row, C_time)));
    if (isNumberText(r.cell(row, C_level))) h.add(toDouble(r.cell(row, C_level)));
    const double sv = toDouble(r.cell(row, C_headDifference));
    if (isNumberText(r.cell(row, C_headDifference)) && sv >= 1e-7) s.add(sv);
    if (steady) q.add(toDouble(r.cell(row, C_flow)));
  }
  ScaleTexts out;
  if (!t.known()) return out;
  // The analysis points too (推奨区間 puts them on the fitted line, whose s
  // at the last row may lie below every reading).
  if (!steady)
    for (const auto& [tf, sf] : {std::pair{F_pointT1, F_pointS1}, std::pair{F_pointT2, F_pointS2}})
      if (r.fieldIsNumber(tf) && r.fieldIsNumber(sf) && r.fieldValue(sf) >= 1e-7) {
        t.add(r.fieldValue(tf));
        s.add(r.fieldValue(sf));
      }

  auto timeAxis = [&](int from) {
    const Linear a = linearAxis(0.0, std::max(t.high, 0.0), true);
    out[from] = g(a.from);
    out[from + 1] = g(a.to);
    out[from + 2] = g(a.step);
    out[from + 3] = g(a.step);
    out[from + 4] = g(minorGrid(a.step));
  };
  timeAxis(F_graphATimeFrom);
  timeAxis(F_graphBTimeFrom);

  if (h.known()) {
    const Linear a = linearAxis(h.low, h.high, false);
    out[F_graphBLevelFrom] = g(a.from);
    out[F_graphBLevelTo] = g(a.to);
    // A flat level between the two labels, on the grid line between them:
    // a label at its height would run into the first reading, drawn on the
    // frame beside it.
    out[F_graphBLevelStep] = g(a.flat ? 2 * a.step : a.step);
    out[F_graphBLevelGrid1] = g(a.step);
    out[F_graphBLevelGrid2] = g(minorGrid(a.step));
  }

  if (!steady && s.known()) {
    // Whole decades around the data, within what the axis accepts.
    double from = std::pow(10.0, std::floor(std::log10(s.low) + 1e-9));
    double to = std::pow(10.0, std::ceil(std::log10(s.high) - 1e-9));
    from = std::max(from, 0.00001);
    if (to <= from * 1.0001) to = from * 10;
    out[F_graphAValueFrom] = g(from);
    out[F_graphAValueTo] = g(to);
  }
  if (steady && q.known() && q.high > 0) {
    // In the exponent of the largest Q, as the picker offers it (E-1 ..
    // E-8); outside that range plain numbers.
    const int exponent = static_cast<int>(std::floor(std::log10(q.high) + 1e-9));
    const double unit = std::pow(10.0, exponent);
    const Linear a = linearAxis(0.0, q.high / unit, true);
    auto text = [&](double mantissa) {
      if (exponent >= -8 && exponent <= -1 && mantissa != 0) return g(mantissa) + cformat("E%d", exponent);
      return g(mantissa * unit);
    };
    out[F_graphAValueFrom] = "0";
    out[F_graphAValueTo] = text(a.to);
    out[F_graphAValueStep] = text(a.step);
    out[F_graphAValueGrid1] = text(a.step);
    out[F_graphAValueGrid2] = text(minorGrid(a.step));
  }
  return out;
}

} // namespace tov
