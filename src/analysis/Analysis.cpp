// The line fit, the recommended band, the straightness test, the suggested
// segment with k and its interval, and the checks of a test.
#include "analysis/Analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

namespace {

bool usableHead(double s) { return std::isfinite(s) && s > kLeastHead; }

// "3〜5, 9" from rows in order.
std::string rowList(const std::vector<int>& rows) {
  std::string out;
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    if (!out.empty()) out += ", ";
    out += j > i ? cformat("%d〜%d", rows[i], rows[j]) : cformat("%d", rows[i]);
    i = j + 1;
  }
  return out;
}

// The usable rows of the readings with running sums, so that the fit of
// any run of them costs a few operations. Times are taken relative to the
// first usable row.
class Runs {
public:
  Runs(const Readings& readings, const AnalysisSettings& settings) : settings_(settings), step_(readings.step) {
    const int rows = static_cast<int>(readings.samples.size());
    sums_.push_back({});
    for (int row = 1; row <= rows; ++row) {
      const Sample& p = readings.samples[static_cast<std::size_t>(row - 1)];
      if (!(p.s > readings.floor) || !std::isfinite(p.s) || !std::isfinite(p.t)) continue;
      if (rows_.empty()) t0_ = p.t;
      const double t = p.t - t0_, y = std::log10(p.s);
      rows_.push_back(row);
      t_.push_back(t);
      y_.push_back(y);
      s_.push_back(p.s);
      // A row may lie rowTolerance of s plus rowSteps reading steps off the line.
      tolerance_.push_back(std::log10(1.0 + settings.rowTolerance + settings.rowSteps * step_ / p.s));
      Sum next = sums_.back();
      next.n += 1, next.t += t, next.y += y, next.tt += t * t, next.ty += t * y, next.yy += y * y;
      sums_.push_back(next);
    }
  }
  int size() const { return static_cast<int>(rows_.size()); }
  int row(int i) const { return rows_[static_cast<std::size_t>(i)]; }

  // The gradient a over usable rows i..j (positive when s falls) and log s at t0.
  struct Line {
    double a = 0, b = 0;
    bool ok = false;
    double aError = 0;  // standard error of a (from the sums; 0 when n < 3)
  };
  Line line(int i, int j) const {
    const Sum& lo = sums_[static_cast<std::size_t>(i)];
    const Sum& hi = sums_[static_cast<std::size_t>(j + 1)];
    const double n = hi.n - lo.n, st = hi.t - lo.t, sy = hi.y - lo.y;
    const double ctt = (hi.tt - lo.tt) - st * st / n, cty = (hi.ty - lo.ty) - st * sy / n;
    if (!(n >= 2) || !(ctt > 0)) return {};
    const double slope = cty / ctt;
    const double sse = std::max(0.0, (hi.yy - lo.yy) - sy * sy / n - slope * cty);
    return {-slope, sy / n - slope * st / n, true, n > 2 ? std::sqrt(sse / (n - 2) / ctt) : 0.0};
  }

  // The straightness test over usable rows i..j.
  Straightness test(int i, int j, bool full) const {
    Straightness out;
    const int n = j - i + 1;
    const Line whole = line(i, j);
    if (!whole.ok || !(whole.a > 0)) return out;
    const double span = t_[static_cast<std::size_t>(j)] - t_[static_cast<std::size_t>(i)];
    out.fall = 1.0 - std::pow(10.0, -whole.a * span);
    bool straight = out.fall >= settings_.leastFall;
    if (!straight && !full) return out;
    if (n >= 5) {
      const int half = (n + 1) / 2;
      const Line first = line(i, i + half - 1), second = line(j - half + 1, j);
      if (!first.ok || !second.ok) return out;
      out.halvesDifference = std::fabs(first.a - second.a) / whole.a;
      // One reading step at the ends of a half changes its gradient by about this.
      auto slack = [&](int from, int to) {
        const double s = std::min(s_[static_cast<std::size_t>(from)], s_[static_cast<std::size_t>(to)]);
        const double dt = t_[static_cast<std::size_t>(to)] - t_[static_cast<std::size_t>(from)];
        return dt > 0 ? step_ / (s * std::numbers::ln10 * dt) : 0.0;
      };
      const double allowed =
          settings_.halvesTolerance * whole.a + slack(i, i + half - 1) + slack(j - half + 1, j);
      straight = straight && std::fabs(first.a - second.a) <= allowed;
      if (!straight && !full) return out;
    }
    for (int k = i; k <= j; ++k) {
      const auto u = static_cast<std::size_t>(k);
      const double off = std::fabs(y_[u] - (whole.b - whole.a * t_[u]));
      if (off > tolerance_[u]) {
        straight = false;
        if (!full) return out;
      }
      if (full) out.worstRow = std::max(out.worstRow, std::pow(10.0, off) - 1.0);
    }
    out.straight = straight;
    return out;
  }

  // The exact fit (two passes) over usable rows i..j.
  LineFit fit(int i, int j) const {
    std::vector<Sample> part;
    for (int k = i; k <= j; ++k)
      part.push_back({t_[static_cast<std::size_t>(k)] + t0_, s_[static_cast<std::size_t>(k)]});
    LineFit f = fitLine(part, 1, static_cast<int>(part.size()));
    f.first = row(i);
    f.last = row(j);
    return f;
  }

private:
  struct Sum {
    double n = 0, t = 0, y = 0, tt = 0, ty = 0, yy = 0;
  };
  const AnalysisSettings& settings_;
  double step_ = 0, t0_ = 0;
  std::vector<int> rows_;
  std::vector<double> t_, y_, s_, tolerance_;
  std::vector<Sum> sums_;
};

} // namespace

// ---- Samples and the fit ------------------------------------------------

std::vector<Sample> unsteadySamples(const TestRecord& record) {
  std::vector<Sample> samples;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_time)) || !isNumberText(record.cell(row, C_pipeLevel))) break;
    const std::string& s = record.cell(row, C_headDifference);
    samples.push_back(Sample{toDouble(record.cell(row, C_time)), isNumberText(s) ? toDouble(s) : 0.0});
  }
  return samples;
}

std::vector<Sample> steadyFlowSamples(const TestRecord& record) {
  std::vector<Sample> samples;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_pipeLevel)) || !isNumberText(record.cell(row, C_flow))) break;
    samples.push_back(Sample{toDouble(record.cell(row, C_time)), toDouble(record.cell(row, C_flow))});
  }
  return samples;
}

double readingStep(const TestRecord& record) {
  int decimals = -1;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_time)) || !isNumberText(record.cell(row, C_pipeLevel))) break;
    const std::string& s = record.cell(row, C_headDifference);
    if (!isNumberText(s)) continue;
    const std::size_t e = s.find_first_of("eE");
    const std::string mantissa = s.substr(0, e);
    const std::size_t point = mantissa.find('.');
    int d = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
    if (e != std::string::npos) d -= toInt(s.substr(e + 1));
    decimals = std::max(decimals, d);
  }
  if (decimals < 0) return 0;
  return std::pow(10.0, -std::clamp(decimals, 1, 6));
}

double LineFit::sAt(double t) const { return std::pow(10.0, logS0 - a * t); }

LineFit fitLine(const std::vector<Sample>& samples, int first, int last) {
  LineFit fit;
  fit.first = first;
  fit.last = last;
  const int rows = static_cast<int>(samples.size());
  if (first < 1 || last > rows || first > last) return fit;
  // Two passes (means first) for the exact figures of the chosen segment.
  double mt = 0, my = 0;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!usableHead(p.s) || !std::isfinite(p.t)) continue;
    ++fit.n;
    mt += p.t;
    my += std::log10(p.s);
  }
  if (fit.n == 0) return fit;
  mt /= fit.n;
  my /= fit.n;
  double tt = 0, ty = 0, yy = 0;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!usableHead(p.s) || !std::isfinite(p.t)) continue;
    const double dt = p.t - mt, dy = std::log10(p.s) - my;
    tt += dt * dt, ty += dt * dy, yy += dy * dy;
  }
  if (fit.n < kLeastFitRows || !(tt > 0)) return fit;
  fit.usable = true;
  fit.a = -ty / tt;
  fit.logS0 = my + fit.a * mt;
  fit.r2 = yy > 0 ? std::clamp(ty * ty / (tt * yy), 0.0, 1.0) : 0.0;
  if (fit.n > 2) fit.aError = std::sqrt(std::max(yy - ty * ty / tt, 0.0) / (fit.n - 2) / tt);
  return fit;
}

// ---- k ------------------------------------------------------------------

Geometry geometryOf(const TestRecord& record) {
  Geometry g;
  g.formula = record.fieldInt(F_formulaKind);
  g.length = record.fieldValue(F_sectionLength);
  g.bore = record.fieldValue(F_boreDiameter);
  g.equivalentDiameter = record.fieldValue(F_equivalentDiameter);
  g.steadyFlow = record.fieldValue(F_steadyFlow);
  g.steadyHead = record.fieldValue(F_steadyHeadDifference);
  return g;
}

std::optional<double> permeabilityFromGradient(const Geometry& g, double a) {
  if (!g.usable() || !std::isfinite(a)) return std::nullopt;
  const double k = computePermeability(static_cast<unsigned>(g.formula), g.ratio(), g.equivalentDiameter, g.length,
                                       a, g.steadyFlow, g.steadyHead);
  if (!(k > kPermeabilityFailureLimit) || !(k > 0)) return std::nullopt;
  return k;
}

double studentT95(int df) {
  if (df < 1) return INFINITY;
  // P(|T| < x) for integer df in closed form, then bisection.
  auto inside = [df](double x) {
    const double theta = std::atan(x / std::sqrt(static_cast<double>(df)));
    const double c2 = std::cos(theta) * std::cos(theta);
    double sum = 0, term = 1;
    if (df % 2 == 1) {
      if (df == 1) return 2.0 * theta / std::numbers::pi;
      for (int k = 1; k <= (df - 1) / 2; ++k) {
        sum += term;
        term *= c2 * (2.0 * k) / (2.0 * k + 1);
      }
      return 2.0 / std::numbers::pi * (theta + std::sin(theta) * std::cos(theta) * sum);
    }
    for (int k = 1; k <= df / 2; ++k) {
      sum += term;
      term *= c2 * (2.0 * k - 1) / (2.0 * k);
    }
    return std::sin(theta) * sum;
  };
  double low = 0, high = 1000;
  for (int i = 0; i < 100; ++i) {
    const double mid = (low + high) / 2;
    (inside(mid) < 0.95 ? low : high) = mid;
  }
  return (low + high) / 2;
}

std::optional<KInterval> permeabilityInterval(const Geometry& geometry, const LineFit& fit) {
  if (!fit.usable || fit.n < 3) return std::nullopt;
  const auto k = permeabilityFromGradient(geometry, fit.a);
  if (!k) return std::nullopt;
  const double half = studentT95(fit.n - 2) * fit.aError;
  KInterval out;
  out.k = *k;
  // k is proportional to a.
  out.low = fit.a - half > 0 ? *k * (fit.a - half) / fit.a : 0.0;
  out.high = *k * (fit.a + half) / fit.a;
  return out;
}

std::string intervalText(const KInterval& k, int digits) {
  return "k " + formatPermeability(k.k, digits) + " (95 % " +
         (k.low > 0 ? formatPermeability(k.low, digits) : std::string("0")) + "〜" +
         formatPermeability(k.high, digits) + ")";
}

std::string fittedHeadText(const LineFit& fit, double t) { return cformat("%.6g", fit.sAt(t)); }

std::optional<double> percentDifference(double pointsK, double fittedK) {
  if (!(std::fabs(pointsK) > 0) || !std::isfinite(pointsK) || !std::isfinite(fittedK)) return std::nullopt;
  return (fittedK - pointsK) / pointsK * 100.0;
}

std::string fitCaption(const LineFit& fit) {
  return "R² " + r2Text(fit.r2) + cformat(" (n %d)", fit.n);
}

std::string r2Text(double r2) { return cformat("%.4f", std::floor(r2 * 10000.0 + 1e-6) / 10000.0); }

// ---- The band -------------------------------------------------------------

Band recommendedBand(const TestRecord& record, const std::vector<Sample>& samples, const AnalysisSettings& settings) {
  Band band;
  const std::string& sp = record.field(F_startHeadDifference);
  if (isNumberText(sp) && toDouble(sp) > 0) band.h0 = toDouble(sp);
  else if (!samples.empty() && usableHead(samples.front().s)) band.h0 = samples.front().s;
  if (!std::isfinite(band.h0)) band.h0 = 0;
  band.low = band.h0 * settings.bandLow;
  band.high = band.h0 * settings.bandHigh;
  return band;
}

BandPlace placeInBand(const std::vector<Sample>& samples, int first, int last, const Band& band) {
  const int rows = static_cast<int>(samples.size());
  if (!band.known() || first < 1 || last > rows || first > last) return BandPlace::Unknown;
  double low = INFINITY, high = -INFINITY;
  for (int row = first; row <= last; ++row) {
    const double s = samples[static_cast<std::size_t>(row - 1)].s;
    if (!usableHead(s)) continue;
    low = std::min(low, s);
    high = std::max(high, s);
  }
  if (!(low <= high)) return BandPlace::Unknown;
  if (low >= band.low && high <= band.high) return BandPlace::Inside;
  // The segment's s range overlapping the band: the line crosses it.
  if (high >= band.low && low <= band.high) return BandPlace::Partly;
  return BandPlace::Outside;
}

const char* bandPlaceText(BandPlace place) {
  switch (place) {
  case BandPlace::Inside: return "推奨範囲内";
  case BandPlace::Partly: return "一部が推奨範囲内";
  case BandPlace::Outside: return "推奨範囲外";
  case BandPlace::Unknown: break;
  }
  return "";
}

// ---- The straightness test and the suggestion ------------------------------------

Readings readingsOf(std::vector<Sample> samples, double step, const AnalysisSettings& settings) {
  Readings readings;
  readings.samples = std::move(samples);
  readings.step = step > 0 && std::isfinite(step) ? step : 0;
  readings.floor = std::max(kLeastHead, settings.zeroSteps * readings.step);
  for (std::size_t i = 0; i < readings.samples.size(); ++i)
    if (!(readings.samples[i].s > readings.floor) || !std::isfinite(readings.samples[i].s))
      readings.leftOut.push_back(static_cast<int>(i) + 1);
  return readings;
}

Straightness straightnessOf(const Readings& readings, int first, int last, const AnalysisSettings& settings) {
  const Runs runs(readings, settings);
  int i = -1, j = -1;
  for (int u = 0; u < runs.size(); ++u) {
    if (runs.row(u) >= first && i < 0) i = u;
    if (runs.row(u) <= last) j = u;
  }
  Straightness out;
  if (i < 0 || j < i || j - i + 1 < kLeastFitRows) return out;
  out = runs.test(i, j, true);
  out.fit = runs.fit(i, j);
  return out;
}

Suggestion suggestSegment(const Readings& readings, const Band& band, const Geometry& geometry,
                          const AnalysisSettings& settings) {
  Suggestion suggestion;
  const Runs runs(readings, settings);
  const int usable = runs.size();
  if (usable < kLeastFitRows) {
    suggestion.reason = cformat("推奨区間なし: s の使える行が %d 行しかありません (3 行以上必要)", usable);
    return suggestion;
  }
  const int least = std::min(kLeastStraightRows, usable);
  // Rules 1 and 2: the latest end first, then the longest.
  int bestI = -1, bestJ = -1;
  for (int j = usable - 1; j >= least - 1 && bestJ < 0; --j)
    for (int i = 0; i + least - 1 <= j; ++i)
      if (runs.test(i, j, false).straight) {
        bestI = i, bestJ = j;
        break;
      }
  if (bestJ < 0) {
    const Runs::Line all = runs.line(0, usable - 1);
    const LineFit whole = runs.fit(0, usable - 1);
    const double fall = whole.usable ? 1.0 - whole.sAt(readings.samples[static_cast<std::size_t>(whole.last - 1)].t) /
                                                 whole.sAt(readings.samples[static_cast<std::size_t>(whole.first - 1)].t)
                                     : 0.0;
    if (!all.ok)
      suggestion.reason = "推奨区間なし: 時間の異なる行がありません";
    else if (!(all.a > 0))
      suggestion.reason = "推奨区間なし: s が下がっていません (全体の a " + cformat("%.3g", all.a) + ")。k は求められません";
    else if (fall < settings.leastFall)
      suggestion.reason = cformat("推奨区間なし: s の低下が %.0f %% しかありません (%.0f %% 以上必要)。k は出しません",
                                  fall * 100.0, settings.leastFall * 100.0);
    else
      suggestion.reason = "推奨区間なし: 直線とみなせる区間がありません (曲がっているか、ばらつきが大きい)。k は出しません";
    return suggestion;
  }
  // The best determined candidate (the least standard error of its
  // gradient) ending at or before usable row `end`; {-1, -1} when there is none.
  auto bestDeterminedUpTo = [&](int end) {
    int from = -1, to = -1;
    double leastError = 0;
    for (int j = end; j >= least - 1; --j)
      for (int i = 0; i + least - 1 <= j; ++i) {
        if (!runs.test(i, j, false).straight) continue;
        const double e = runs.line(i, j).aError;
        if (from < 0 || e < leastError) from = i, to = j, leastError = e;
      }
    return std::pair{from, to};
  };
  // Rule 2a: a late candidate whose gradient does not differ from that of a
  // better determined line before it by more than its own scatter explains
  // (that line's gradient inside its 95 % interval) is the scattered tail of
  // that line (a few rows where s is only some reading steps), not a line of
  // its own: that line is taken.
  std::optional<LineFit> tail;
  for (LineFit late = runs.fit(bestI, bestJ); late.usable;) {
    const auto [i, j] = bestDeterminedUpTo(bestI);
    if (i < 0) break;
    const LineFit before = runs.fit(i, j);
    if (!before.usable || !(before.aError < late.aError) ||
        std::fabs(before.a - late.a) > studentT95(late.n - 2) * late.aError)
      break;
    if (!tail) tail = late;
    bestI = i, bestJ = j, late = before;
  }
  suggestion.found = true;
  suggestion.fit = runs.fit(bestI, bestJ);
  suggestion.k = permeabilityInterval(geometry, suggestion.fit);
  suggestion.band = placeInBand(readings.samples, suggestion.fit.first, suggestion.fit.last, band);

  // The sensitivity to the choice of segment.
  for (int i = bestI; i <= bestJ; ++i)
    for (int j = i + least - 1; j <= bestJ; ++j) {
      if (!runs.test(i, j, false).straight) continue;
      const auto k = permeabilityFromGradient(geometry, runs.line(i, j).a);
      if (!k) continue;
      if (suggestion.subSegments == 0) suggestion.spreadLow = suggestion.spreadHigh = *k;
      suggestion.spreadLow = std::min(suggestion.spreadLow, *k);
      suggestion.spreadHigh = std::max(suggestion.spreadHigh, *k);
      ++suggestion.subSegments;
    }

  // An earlier line, ending at or before the segment's first row.
  const double a = suggestion.fit.a;
  for (int j = bestI; j >= least - 1 && !suggestion.earlier; --j)
    for (int i = 0; i + least - 1 <= j; ++i) {
      if (!runs.test(i, j, false).straight) continue;
      const Runs::Line line = runs.line(i, j);
      if (std::fabs(line.a - a) <= settings.halvesTolerance * a) continue;
      suggestion.earlier = runs.fit(i, j);
      suggestion.earlierK = permeabilityFromGradient(geometry, suggestion.earlier->a);
      break;
    }

  const LineFit& fit = suggestion.fit;
  suggestion.reason = cformat("推奨区間 %d〜%d 行 (n %d, R² %s", fit.first, fit.last, fit.n, r2Text(fit.r2).c_str()) +
                      (suggestion.band == BandPlace::Unknown ? "" : std::string(", ") + bandPlaceText(suggestion.band)) +
                      "): 直線とみなせる区間のうち最も後のもの。点 1, 2 は近似直線上の点";
  if (tail) {
    // The rows after the segment that follow the same line within their scatter.
    suggestion.reason += cformat("。%d〜%d 行は s が小さく、ばらつきの範囲で同じ直線", fit.last + 1, tail->last);
  }
  if (suggestion.earlier) {
    suggestion.reason += cformat("。前半の直線 %d〜%d 行", suggestion.earlier->first, suggestion.earlier->last);
    if (suggestion.earlierK) suggestion.reason += " k " + formatPermeability(*suggestion.earlierK, 1);
    suggestion.reason += ": フィルター材や孔内の水の排水による可能性";
  }
  return suggestion;
}

Suggestion suggestSegment(const std::vector<Sample>& samples, const Band& band, const AnalysisSettings& settings) {
  return suggestSegment(readingsOf(samples, 0, settings), band, Geometry{}, settings);
}

std::string Suggestion::summary() const {
  // Shown after a "推奨区間" label: the reason without its own.
  const std::string none = "推奨区間なし: ";
  if (!found) return reason.rfind(none, 0) == 0 ? "なし (" + reason.substr(none.size()) + ")" : reason;
  std::string text = cformat("%d〜%d 行 (n %d)", fit.first, fit.last, fit.n);
  if (k) text += " " + intervalText(*k, 2);
  return text;
}

std::string Suggestion::spreadRange() const {
  if (subSegments == 0) return "なし";
  return formatPermeability(spreadLow, 2) + "〜" + formatPermeability(spreadHigh, 2) + cformat(" (%d 区間)", subSegments);
}

std::string Suggestion::spreadText() const { return "区間の取り方による k の幅 " + spreadRange(); }

// ---- Checks ------------------------------------------------------------------

std::vector<Check> unsteadyChecks(const TestRecord& record, const std::vector<Sample>& samples, int first, int last,
                                  const AnalysisSettings& settings) {
  std::vector<Check> checks;
  const Geometry g = geometryOf(record);
  if ((g.formula == ApproxNoLayer || g.formula == ApproxWithLayer) && g.usable() && g.ratio() < kLeastApproxRatio)
    checks.push_back({CheckKind::ShapeRatio, g.ratio(),
                      cformat("近似式の条件 L/D ≥ 4 を満たしていません (L/D %.2f)。基本式を検討してください", g.ratio())});

  const LineFit fit = fitLine(samples, std::min(first, last), std::max(first, last));
  if (fit.n < kLeastFitRows) {
    checks.push_back({CheckKind::FewRows, static_cast<double>(fit.n),
                      cformat("区間の使える行が 3 行未満です (%d 行)", fit.n)});
  } else if (fit.usable) {
    if (!(fit.a > 0)) {
      checks.push_back({CheckKind::NotFalling, fit.a,
                        cformat("区間で s が下がっていません (a %s)。水位の符号や ho を確かめてください",
                                cformat("%g", fit.a).c_str())});
    } else {
      // The shape of the chosen rows (the fall is the suggestion's concern).
      const Readings readings = readingsOf(samples, readingStep(record), settings);
      AnalysisSettings anyFall = settings;
      anyFall.leastFall = 0;
      const Straightness shape = straightnessOf(readings, fit.first, fit.last, anyFall);
      if (shape.fit.usable && !shape.straight)
        checks.push_back({CheckKind::Straightness, shape.halvesDifference,
                          cformat("区間が直線とみなせません (前半と後半の勾配の差 %.0f %%, 直線から最も離れた行 %.1f %%, R² %s)",
                                  shape.halvesDifference * 100.0, shape.worstRow * 100.0, r2Text(fit.r2).c_str())});
      else if (fit.r2 < settings.straightness)
        checks.push_back({CheckKind::LowR2, fit.r2,
                          cformat("区間の R² が %g 未満です (R² %s)", settings.straightness, r2Text(fit.r2).c_str())});
    }
  }

  const std::string& spText = record.field(F_startHeadDifference);
  const double sp = toDouble(spText);
  if (isNumberText(spText) && sp > 0 && !samples.empty() && std::isfinite(samples.front().s)) {
    const double s1 = samples.front().s;
    const double off = std::fabs(s1 - sp) / sp;
    if (off > kFirstHeadTolerance)
      checks.push_back({CheckKind::FirstHeadVsSp, off * 100.0,
                        cformat("最初の s が Sp と %.0f %% 違います (s %s, Sp %s)。水位か ho の入力を確かめてください",
                                off * 100.0, cformat("%g", s1).c_str(), cformat("%g", sp).c_str())});
  }

  const Band band = recommendedBand(record, samples, settings);
  if (fit.n >= 1 && placeInBand(samples, fit.first, fit.last, band) == BandPlace::Outside) {
    const double from = samples[static_cast<std::size_t>(fit.first - 1)].s / band.h0;
    const double to = samples[static_cast<std::size_t>(fit.last - 1)].s / band.h0;
    checks.push_back({CheckKind::OutsideBand, from,
                      cformat("区間が推奨範囲 s/H0 %g〜%g の外にあります (s/H0 %.2f〜%.2f)", settings.bandLow,
                              settings.bandHigh, from, to)});
  }
  return checks;
}

std::vector<Check> recordChecks(const Readings& readings, const Suggestion& suggestion) {
  std::vector<Check> checks;
  std::vector<std::size_t> usable;
  for (std::size_t i = 0; i < readings.samples.size(); ++i)
    if (readings.samples[i].s > readings.floor && std::isfinite(readings.samples[i].s)) usable.push_back(i);
  const auto& p = readings.samples;

  // s rising over the record.
  bool rising = false;
  if (usable.size() >= 2) {
    std::vector<Sample> kept;
    for (std::size_t i : usable) kept.push_back(p[i]);
    const LineFit all = fitLine(kept, 1, static_cast<int>(kept.size()));
    if ((all.usable && !(all.a > 0)) || p[usable.back()].s >= p[usable.front()].s) {
      rising = true;
      checks.push_back({CheckKind::Rising, all.a,
                        "s が全体として下がっていません (最初の s " + cformat("%g", p[usable.front()].s) + " m, 最後の s " +
                            cformat("%g", p[usable.back()].s) + " m)。k は求められません。水位の符号や ho を確かめてください"});
    }
  }

  // Oscillation: s rising again after it fell.
  if (!rising && !usable.empty()) {
    double least = p[usable.front()].s;
    std::size_t leastAt = usable.front();
    for (std::size_t i : usable) {
      const double margin = kOscillationSteps * readings.step + 0.01 * least;
      if (p[i].s - least > margin && least < p[usable.front()].s - margin) {
        checks.push_back({CheckKind::Oscillation, p[i].s - least,
                          cformat("振動: 行 %d で s が %s m 戻っています (行 %d の %s m から)。透水性が高く応答が振動している可能性があり、"
                                  "直線による方法は当てはまりません (振動を扱う解析法や標準曲線法を検討してください)",
                                  static_cast<int>(i) + 1, cformat("%.3g", p[i].s - least).c_str(),
                                  static_cast<int>(leastAt) + 1, cformat("%g", least).c_str())});
        break;
      }
      if (p[i].s < least) least = p[i].s, leastAt = i;
    }
  }

  // A flattening tail after the segment: incomplete recovery.
  if (suggestion.found && suggestion.fit.a > 0) {
    const int tailRows = std::max<int>(3, static_cast<int>(usable.size()) / 5);
    if (static_cast<int>(usable.size()) >= tailRows && static_cast<int>(usable.back()) + 1 > suggestion.fit.last) {
      std::vector<Sample> tail;
      for (std::size_t u = usable.size() - static_cast<std::size_t>(tailRows); u < usable.size(); ++u) tail.push_back(p[usable[u]]);
      const LineFit late = fitLine(tail, 1, static_cast<int>(tail.size()));
      const double ratio = late.usable ? late.a / suggestion.fit.a : 1.0;
      if (late.usable && ratio < kFlatTail)
        checks.push_back({CheckKind::Incomplete, ratio * 100.0,
                          cformat("回復が頭打ち: 最後の %d 行の勾配が推奨区間の %.0f %% です。静水位 (ho) が違うか"
                                  "回復が終わっていない可能性があり、k が小さく出ます",
                                  tailRows, ratio * 100.0)});
    }
  }

  if (!readings.leftOut.empty())
    checks.push_back({CheckKind::BelowResolution, static_cast<double>(readings.leftOut.size()),
                      "行 " + rowList(readings.leftOut) + " は s が 0 に近い (" +
                          (readings.step > 0 ? cformat("読み取り単位 %g m の %g 倍", readings.step,
                                                       readings.floor / readings.step)
                                             : cformat("%g m", readings.floor)) +
                          " 以下) ため近似から除いています"});
  return checks;
}

std::pair<int, int> pointRows(const TestRecord& record, int n) {
  int row1 = record.fieldInt(F_point1Row);
  if (row1 >= n) row1 = n;
  if (row1 <= 0) row1 = 1;
  int row2 = record.fieldInt(F_point2Row);
  if (row2 >= n) row2 = n;
  if (row2 <= 0) row2 = n / 2 >= 2 ? n / 2 : 2;
  // The default row 2 must be a complete row too (one complete row: both
  // points on it).
  if (n >= 1 && row2 > n) row2 = n;
  return {row1, row2};
}

std::vector<Check> steadyChecks(const TestRecord& record) {
  std::vector<Check> checks;
  const std::vector<Sample> flows = steadyFlowSamples(record);
  if (flows.size() < 3) return checks;
  double low = INFINITY, high = -INFINITY, sum = 0;
  for (std::size_t i = flows.size() - 3; i < flows.size(); ++i) {
    low = std::min(low, flows[i].s);
    high = std::max(high, flows[i].s);
    sum += flows[i].s;
  }
  const double mean = sum / 3;
  if (!(std::fabs(mean) > 0) || !std::isfinite(mean)) return checks;
  const double drift = (high - low) / std::fabs(mean);
  if (drift > kSteadyFlowTolerance)
    checks.push_back({CheckKind::SteadyFlowDrift, drift * 100.0,
                      cformat("最後の 3 点の Q が %.1f %% 変動しています (5 %% 超)。定常に達していない可能性があります",
                              drift * 100.0)});
  return checks;
}

std::optional<Check> recordedPermeabilityCheck(const TestRecord& record) {
  const std::string& text = record.permeabilityText();
  const auto computed = permeabilityFromHeadings(record);
  if (!isNumberText(text) || !computed || !(*computed > 0)) return std::nullopt;
  const double recorded = toDouble(text);
  // Half a unit in the last digit the text gives, and a little for a
  // rounded a (or Qo, So) against the one k was computed from.
  const std::size_t e = text.find_first_of("eE");
  const std::string mantissa = text.substr(0, e);
  const std::size_t point = mantissa.find('.');
  const int decimals = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  const double exponent = e == std::string::npos ? 0.0 : toDouble(text.substr(e + 1));
  const double halfUnit = 0.5 * std::pow(10.0, exponent - decimals);
  if (std::fabs(recorded - *computed) <= halfUnit + 1e-3 * *computed) return std::nullopt;
  const double percent = (recorded - *computed) / *computed * 100.0;
  const bool steady = record.fieldInt(F_formulaKind) == Steady;
  return Check{CheckKind::RecordedK, percent,
               cformat("記録の k %s は%sと寸法から求めた k %s と %.1f %% 違います", text.c_str(),
                       steady ? " Qo・So " : "勾配 a ", formatPermeability(*computed, std::max(decimals, 2)).c_str(),
                       std::fabs(percent))};
}

// ---- One record -------------------------------------------------------------------

AnalysisReport analyseRecord(const TestRecord& record, const AnalysisSettings& settings) {
  AnalysisReport report;
  const Geometry g = geometryOf(record);
  report.steady = g.formula == Steady;
  if (report.steady) {
    report.completeRows = static_cast<int>(steadyFlowSamples(record).size());
    report.checks = steadyChecks(record);
    if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
    return report;
  }
  const std::vector<Sample> samples = unsteadySamples(record);
  const int n = static_cast<int>(samples.size());
  report.completeRows = n;
  report.band = recommendedBand(record, samples, settings);
  const Readings readings = readingsOf(samples, readingStep(record), settings);
  report.suggestion = suggestSegment(readings, report.band, g, settings);
  // The same rows the dialog opens with.
  const auto [row1, row2] = pointRows(record, n);
  if (n >= 1) {
    const int first = std::min(row1, row2), last = std::max(row1, row2);
    report.segment = fitLine(samples, first, last);
    if (report.segment->usable) {
      report.fittedK = permeabilityFromGradient(g, report.segment->a);
      report.fittedInterval = permeabilityInterval(g, *report.segment);
    }
    const Sample& p1 = samples[static_cast<std::size_t>(row1 - 1)];
    const Sample& p2 = samples[static_cast<std::size_t>(row2 - 1)];
    if (const auto a = computeGradient(p1.t, p1.s, p2.t, p2.s)) report.pointsK = permeabilityFromGradient(g, *a);
    report.segmentPlace = placeInBand(samples, first, last, report.band);
    report.checks = unsteadyChecks(record, samples, first, last, settings);
    const LineFit& line = report.suggestion.fit;
    report.pointsOnLine = report.suggestion.found && first == line.first && last == line.last && row1 < row2 &&
                          record.field(F_pointS1) == fittedHeadText(line, p1.t) &&
                          record.field(F_pointS2) == fittedHeadText(line, p2.t);
  } else {
    report.checks = unsteadyChecks(record, samples, 0, 0, settings);
  }
  // The rows inside the band, as a cross-check.
  if (report.band.known()) {
    std::vector<Sample> inside;
    int firstRow = 0, lastRow = 0;
    for (int row = 1; row <= n; ++row) {
      const double s = samples[static_cast<std::size_t>(row - 1)].s;
      if (!(s > readings.floor) || s < report.band.low || s > report.band.high) continue;
      inside.push_back(samples[static_cast<std::size_t>(row - 1)]);
      if (firstRow == 0) firstRow = row;
      lastRow = row;
    }
    LineFit fit = fitLine(inside, 1, static_cast<int>(inside.size()));
    if (fit.usable && fit.a > 0) {
      fit.first = firstRow, fit.last = lastRow;
      report.bandFit = fit;
      report.bandK = permeabilityFromGradient(g, fit.a);
    }
  }
  for (Check& check : recordChecks(readings, report.suggestion)) report.checks.push_back(std::move(check));
  if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
  return report;
}

} // namespace tov
