// The line fit, the recommended band, the straightness test, the suggested
// segment with k and its interval, and the checks of a test.
#include "analysis/Analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "analysis/AutoScales.h"
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
// first usable row. Mistyped rows and rows at or below the floor are not
// among them.
class Runs {
public:
  Runs(const Readings& readings, const AnalysisSettings& settings)
      : settings_(settings), step_(readings.step), resolution_(readings.resolution()) {
    const int rows = static_cast<int>(readings.samples.size());
    std::vector<char> skip(static_cast<std::size_t>(rows) + 1, 0);
    for (const auto& m : readings.mistyped)
      if (m.row >= 1 && m.row <= rows) skip[static_cast<std::size_t>(m.row)] = 1;
    double largest = 0;
    for (const Sample& p : readings.samples)
      if (std::isfinite(p.s)) largest = std::max(largest, p.s);
    unit_ = largest > 0 ? 1.0 / (largest * largest) : 1.0;
    const double unit = unit_;
    noise_ = readings.noise;
    sums_.push_back({});
    for (int row = 1; row <= rows; ++row) {
      const Sample& p = readings.samples[static_cast<std::size_t>(row - 1)];
      if (skip[static_cast<std::size_t>(row)] || !(p.s > readings.floor) || !std::isfinite(p.s) ||
          !std::isfinite(p.t))
        continue;
      if (rows_.empty()) t0_ = p.t;
      const double t = p.t - t0_, y = std::log10(p.s);
      rows_.push_back(row);
      t_.push_back(t);
      y_.push_back(y);
      s_.push_back(p.s);
      // A row may lie rowTolerance of s plus rowSteps resolutions off the line.
      tolerance_.push_back(std::log10(1.0 + settings.rowTolerance + settings.rowSteps * resolution_ / p.s));
      // Noise the same in s: log s of a row weighs s².
      const double w = p.s * p.s * unit, g = -1.0 / (p.s * std::numbers::ln10);
      Sum next = sums_.back();
      next.n += 1, next.t += t, next.y += y, next.tt += t * t, next.ty += t * y, next.yy += y * y;
      next.w += w, next.wt += w * t, next.wy += w * y, next.wtt += w * t * t, next.wty += w * t * y;
      next.wyy += w * y * y, next.wg += w * g, next.wtg += w * t * g;
      sums_.push_back(next);
    }
  }
  int size() const { return static_cast<int>(rows_.size()); }
  int row(int i) const { return rows_[static_cast<std::size_t>(i)]; }
  double s(int i) const { return s_[static_cast<std::size_t>(i)]; }

  // The gradient a over usable rows i..j (positive when s falls) and log s at t0.
  struct Line {
    double a = 0, b = 0;
    bool ok = false;
    double aError = 0;  // standard error of a (from the sums; 0 when n < 3)
  };
  // Unweighted (the straightness test's halves).
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
  // Weighted for noise the same in s, with the change of a per metre that
  // every s moves by (what a wrong ho does).
  struct Weighted {
    double a = 0, aError = 0, noiseError = 0, perMetre = 0;
    int n = 0;
    bool ok = false;
  };
  Weighted weighted(int i, int j) const {
    const Sum& lo = sums_[static_cast<std::size_t>(i)];
    const Sum& hi = sums_[static_cast<std::size_t>(j + 1)];
    const double w = hi.w - lo.w, wt = hi.wt - lo.wt, wy = hi.wy - lo.wy;
    const double ctt = (hi.wtt - lo.wtt) - wt * wt / w, cty = (hi.wty - lo.wty) - wt * wy / w;
    const int n = j - i + 1;
    if (n < 2 || !(w > 0) || !(ctt > 0)) return {};
    const double slope = cty / ctt;
    const double sse = std::max(0.0, (hi.wyy - lo.wyy) - wy * wy / w - slope * cty);
    Weighted out;
    out.ok = true;
    out.n = n;
    out.a = -slope;
    out.aError = n > 2 ? std::sqrt(sse / (n - 2) / ctt) : 0.0;
    // What the measured noise alone gives (a few rows may scatter less by chance).
    out.noiseError = noise_ / (std::numbers::ln10 * std::sqrt(unit_ * ctt));
    out.perMetre = -((hi.wtg - lo.wtg) - wt * (hi.wg - lo.wg) / w) / ctt;
    return out;
  }

  // The straightness test over usable rows i..j.
  Straightness test(int i, int j, bool full) const {
    Straightness out;
    const int n = j - i + 1;
    const Line whole = line(i, j);
    if (!whole.ok || !(whole.a > 0)) return out;
    const double span = t_[static_cast<std::size_t>(j)] - t_[static_cast<std::size_t>(i)];
    out.fall = 1.0 - std::pow(10.0, -whole.a * span);
    bool straight = out.fall >= settings_.shortestFall;
    if (!straight && !full) return out;
    if (n >= 5) {
      const int half = (n + 1) / 2;
      const Line first = line(i, i + half - 1), second = line(j - half + 1, j);
      if (!first.ok || !second.ok) return out;
      out.halvesDifference = std::fabs(first.a - second.a) / whole.a;
      // One resolution at the ends of a half changes its gradient by about
      // this; the scatter of the rows by about their standard errors.
      auto slack = [&](int from, int to) {
        const double s = std::min(s_[static_cast<std::size_t>(from)], s_[static_cast<std::size_t>(to)]);
        const double dt = t_[static_cast<std::size_t>(to)] - t_[static_cast<std::size_t>(from)];
        return dt > 0 ? step_ / (s * std::numbers::ln10 * dt) : 0.0;
      };
      const double allowed = settings_.halvesTolerance * whole.a + slack(i, i + half - 1) + slack(j - half + 1, j) +
                             2.0 * std::hypot(first.aError, second.aError);
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
    double w = 0, wt = 0, wy = 0, wtt = 0, wty = 0, wyy = 0, wg = 0, wtg = 0;
  };
  const AnalysisSettings& settings_;
  double step_ = 0, resolution_ = 0, t0_ = 0, unit_ = 1, noise_ = 0;
  std::vector<int> rows_;
  std::vector<double> t_, y_, s_, tolerance_;
  std::vector<Sum> sums_;
};

// Solves the n x n system m·x = v in place (Gaussian elimination with
// pivoting); false when it is singular.
template <std::size_t N>
bool solve(std::array<std::array<double, N>, N> m, std::array<double, N>& v, std::size_t n = N) {
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
    if (!(std::fabs(m[pivot][c]) > 0)) return false;
    std::swap(m[c], m[pivot]);
    std::swap(v[c], v[pivot]);
    for (std::size_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = m[r][c] / m[c][c];
      for (std::size_t k = c; k < n; ++k) m[r][k] -= f * m[c][k];
      v[r] -= f * v[c];
    }
  }
  for (std::size_t c = 0; c < n; ++c) v[c] /= m[c][c];
  return true;
}

// The diagonal element `which` of the inverse of m (n x n).
template <std::size_t N>
double inverseDiagonal(const std::array<std::array<double, N>, N>& m, std::size_t which, std::size_t n = N) {
  std::array<double, N> unit{};
  unit[which] = 1;
  if (!solve(m, unit, n)) return INFINITY;
  return unit[which];
}

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

namespace {

// Decimals of a number text ("1.250" 3, "2.5E-3" 4), -1 when it is none.
int decimalsOf(const std::string& text) {
  if (!isNumberText(text)) return -1;
  const std::size_t e = text.find_first_of("eE");
  const std::string mantissa = text.substr(0, e);
  const std::size_t point = mantissa.find('.');
  int d = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  // No double has an exponent beyond a few hundred: a typed "1E-99999999999"
  // is held there instead of overflowing the count.
  if (e != std::string::npos) d -= std::clamp(toInt(text.substr(e + 1)), -400, 400);
  return d;
}

} // namespace

double readingStep(const TestRecord& record) {
  int decimals = -1;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_time)) || !isNumberText(record.cell(row, C_pipeLevel))) break;
    decimals = std::max(decimals, decimalsOf(record.cell(row, C_pipeLevel)));
  }
  if (decimals < 0) return 0;
  return std::pow(10.0, -std::clamp(decimals, 1, 6));
}

double restLevelError(const TestRecord& record, double step) {
  // A tape's 1 cm at most: "-1.5" is read as written to 1 cm, not 10.
  const int decimals = decimalsOf(record.field(F_equilibriumLevel));
  if (decimals < 0) return step;
  return std::max(step, std::min(0.01, std::pow(10.0, -std::clamp(decimals, 0, 6))));
}

std::vector<Sample> signedSamples(const TestRecord& record) {
  std::vector<Sample> samples = unsteadySamples(record);
  const std::string& ho = record.field(F_equilibriumLevel);
  if (!isNumberText(ho) || samples.empty()) return samples;
  const double rest = toDouble(ho);
  double sign = 0;
  std::vector<Sample> out = samples;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::string& h = record.cell(static_cast<int>(i) + 1, C_level);
    if (!isNumberText(h)) return samples;
    const double d = rest - toDouble(h);
    // Only where column 5 is this head (a file whose s was written elsewhere stays as it is).
    if (!(std::fabs(std::fabs(d) - samples[i].s) <= 1e-6 + 1e-6 * std::fabs(d))) return samples;
    if (sign == 0 && std::fabs(d) > 0) sign = d > 0 ? 1 : -1;
    out[i].s = d;
  }
  if (sign == 0) return samples;
  for (Sample& p : out) p.s *= sign;
  return out;
}

double LineFit::sAt(double t) const { return std::pow(10.0, logS0 - a * t); }

LineFit fitLine(const std::vector<Sample>& samples, int first, int last) {
  LineFit fit;
  fit.first = first;
  fit.last = last;
  const int rows = static_cast<int>(samples.size());
  if (first < 1 || last > rows || first > last) return fit;
  // Two passes (weighted means first) for the exact figures of the chosen
  // segment. Noise the same in s: log s of a row weighs s².
  double largest = 0;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (usableHead(p.s) && std::isfinite(p.t)) largest = std::max(largest, p.s);
  }
  double w = 0, mt = 0, my = 0;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!usableHead(p.s) || !std::isfinite(p.t)) continue;
    ++fit.n;
    const double wi = (p.s / largest) * (p.s / largest);
    w += wi;
    mt += wi * p.t;
    my += wi * std::log10(p.s);
  }
  if (fit.n == 0) return fit;
  mt /= w;
  my /= w;
  double tt = 0, ty = 0, yy = 0;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!usableHead(p.s) || !std::isfinite(p.t)) continue;
    const double wi = (p.s / largest) * (p.s / largest);
    const double dt = p.t - mt, dy = std::log10(p.s) - my;
    tt += wi * dt * dt, ty += wi * dt * dy, yy += wi * dy * dy;
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

namespace {

// k rounded down (up) to `digits` decimals of its mantissa, as
// formatPermeability prints it.
std::string roundedOutward(double k, int digits, bool up) {
  const int exponent = static_cast<int>(std::floor(std::log10(k)));
  const double unit = std::pow(10.0, exponent - digits);
  const double units = k / unit;
  // A value already on a unit (to rounding noise) stays there.
  const double near = std::round(units);
  const double whole = std::fabs(units - near) < 1e-9 * units ? near : (up ? std::ceil(units) : std::floor(units));
  return formatPermeability(whole * unit, digits);
}

} // namespace

std::pair<std::string, std::string> intervalBounds(const KInterval& k, int digits) {
  digits = std::clamp(digits, 0, 8);
  // Enough digits that the ends differ and that rounding them outward
  // widens the interval by a tenth of it at most (the printed interval
  // covers what the computed one does, not much more).
  for (int d = digits;; ++d) {
    const std::string low = k.low > 0 ? roundedOutward(k.low, d, false) : std::string("0");
    const std::string high = k.high > 0 ? roundedOutward(k.high, d, true) : std::string("0");
    const double widened = (k.low - toDouble(low)) + (toDouble(high) - k.high);
    if (d >= 8 || !(k.high > k.low) || (low != high && widened <= 0.1 * (k.high - k.low))) return {low, high};
  }
}

std::string intervalText(const KInterval& k, int digits) {
  const auto [low, high] = intervalBounds(k, digits);
  return "k " + formatPermeability(k.k, std::clamp(digits, 0, 8)) + " (95 % " + low + "〜" + high + ")";
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
  case BandPlace::Inside: return "s/H0 範囲内";
  case BandPlace::Partly: return "一部が s/H0 範囲内";
  case BandPlace::Outside: return "s/H0 範囲外";
  case BandPlace::Unknown: break;
  }
  return "";
}

// ---- The straightness test and the suggestion ------------------------------------

double Readings::resolution() const { return std::max(step, 3.5 * noise); }

namespace {

// Student's t (95 %, two-sided) for the degrees of freedom of up to 120 rows,
// computed once.
double t95(int df) {
  static const std::array<double, 121> table = [] {
    std::array<double, 121> t{};
    for (int d = 1; d <= 120; ++d) t[static_cast<std::size_t>(d)] = studentT95(d);
    return t;
  }();
  if (df >= 1 && df <= 120) return table[static_cast<std::size_t>(df)];
  return studentT95(df);
}

// The rows of samples above `least` (indices), in order.
std::vector<std::size_t> rowsAbove(const std::vector<Sample>& samples, double least) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (std::isfinite(samples[i].t) && std::isfinite(samples[i].s) && samples[i].s > least) out.push_back(i);
  return out;
}

// Least squares of log10 s on a polynomial in t (degree 1 or 2) through the
// rows u[p - 2], u[p - 1], u[p + 1], u[p + 2]: log10 s at row u[p] and the
// factor by which the prediction's variance exceeds one row's.
struct Neighbours {
  bool ok = false;
  double y = 0, variance = 0;
  double worst = 0;  // the largest |s - line| of the four (m)
};
Neighbours fromNeighbours(const std::vector<Sample>& samples, const std::vector<std::size_t>& u, std::size_t p,
                          int degree) {
  Neighbours out;
  const double tc = samples[u[p]].t;
  const double scale = samples[u[p + 2]].t - samples[u[p - 2]].t;
  if (!(scale > 0)) return out;
  const std::size_t q = static_cast<std::size_t>(degree) + 1;
  std::array<std::array<double, 3>, 3> m{};
  std::array<double, 3> v{};
  const std::size_t around[4] = {u[p - 2], u[p - 1], u[p + 1], u[p + 2]};
  for (std::size_t k : around) {
    const double x = (samples[k].t - tc) / scale, y = std::log10(samples[k].s);
    const double b[3] = {1, x, x * x};
    for (std::size_t r = 0; r < q; ++r) {
      for (std::size_t c = 0; c < q; ++c) m[r][c] += b[r] * b[c];
      v[r] += b[r] * y;
    }
  }
  std::array<double, 3> coef = v;
  if (!solve(m, coef, q)) return out;
  out.ok = true;
  out.y = coef[0];
  out.variance = 1.0 + inverseDiagonal(m, 0, q);
  for (std::size_t k : around) {
    const double x = (samples[k].t - tc) / scale;
    const double line = coef[0] + coef[1] * x + (q > 2 ? coef[2] * x * x : 0.0);
    out.worst = std::max(out.worst, std::fabs(samples[k].s - std::pow(10.0, line)));
  }
  return out;
}

} // namespace

double measuredNoise(const std::vector<Sample>& samples, double step) {
  const std::vector<std::size_t> u = rowsAbove(samples, std::max(kLeastHead, 3.0 * step));
  std::vector<double> off;
  for (std::size_t p = 2; p + 2 < u.size(); ++p) {
    const Neighbours n = fromNeighbours(samples, u, p, 2);
    if (!n.ok) continue;
    const Sample& here = samples[u[p]];
    off.push_back(std::fabs(std::log10(here.s) - n.y) * here.s * std::numbers::ln10 / std::sqrt(n.variance));
  }
  if (off.size() < 3) return 0;
  std::nth_element(off.begin(), off.begin() + static_cast<std::ptrdiff_t>(off.size() / 2), off.end());
  return 1.4826 * off[off.size() / 2];
}

Readings readingsOf(std::vector<Sample> samples, double step, const AnalysisSettings& settings, double restError) {
  Readings readings;
  readings.samples = std::move(samples);
  readings.step = step > 0 && std::isfinite(step) ? step : 0;
  readings.restError = restError > 0 && std::isfinite(restError) ? restError : readings.step;
  // Believed up to what readings can have: 3 reading steps or 1 % of the
  // middle s (a record bent at the scale of its rows, an oscillation, is
  // not noise).
  std::vector<double> heads;
  for (const Sample& p : readings.samples)
    if (std::isfinite(p.s) && p.s > kLeastHead) heads.push_back(p.s);
  double middle = 0;
  if (!heads.empty()) {
    std::nth_element(heads.begin(), heads.begin() + static_cast<std::ptrdiff_t>(heads.size() / 2), heads.end());
    middle = heads[heads.size() / 2];
  }
  readings.noise = std::min(measuredNoise(readings.samples, readings.step), std::max(3.0 * readings.step, 0.01 * middle));
  readings.floor = std::max({kLeastHead, settings.zeroSteps * readings.step, 3.0 * readings.noise});
  for (std::size_t i = 0; i < readings.samples.size(); ++i)
    if (!(readings.samples[i].s > readings.floor) || !std::isfinite(readings.samples[i].s))
      readings.leftOut.push_back(static_cast<int>(i) + 1);
  // A row far off the line its two neighbours on either side make, while
  // they make one: a reading mistyped or misread.
  const std::vector<std::size_t> u = rowsAbove(readings.samples, readings.floor);
  for (std::size_t p = 2; p + 2 < u.size(); ++p) {
    const Neighbours n = fromNeighbours(readings.samples, u, p, 1);
    if (!n.ok) continue;
    const double expected = std::pow(10.0, n.y), s = readings.samples[u[p]].s, off = std::fabs(s - expected);
    const double lineHolds = std::max({0.01 * expected, 3.0 * readings.noise, readings.step});
    if (n.worst <= lineHolds &&
        off > std::max({0.03 * expected, 10.0 * readings.noise, 5.0 * readings.step, 5.0 * n.worst}))
      readings.mistyped.push_back({static_cast<int>(u[p]) + 1, s, expected});
  }
  return readings;
}

namespace {

// Rows first..last with both t and s known: t from the first row's, and s.
void knownRows(const std::vector<Sample>& samples, int first, int last, std::vector<double>& t,
               std::vector<double>& s) {
  const double t0 = samples[static_cast<std::size_t>(first - 1)].t;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!std::isfinite(p.t) || !std::isfinite(p.s)) continue;
    t.push_back(p.t - t0);
    s.push_back(p.s);
  }
}

// The recovery alone (no offset): s = A·e^(-λ(t - t0)); its rms, or
// infinity when it cannot be fitted.
double recoveryAloneRms(const std::vector<Sample>& samples, int first, int last) {
  std::vector<double> t, s;
  knownRows(samples, first, last, t, s);
  const std::size_t n = t.size();
  if (n < 4 || !(t.back() > 0)) return INFINITY;
  // With A chosen best for each λ: sse = Σs² - (Σs·e)² / Σe².
  double ss = 0;
  for (double v : s) ss += v * v;
  auto sseAt = [&](double rate) {
    double se = 0, ee = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double e = std::exp(-rate * t[i]);
      se += s[i] * e, ee += e * e;
    }
    return ee > 0 ? std::max(ss - se * se / ee, 0.0) : ss;
  };
  const double span = t.back();
  double lo = std::log(0.05 / span), hi = std::log(200.0 / span);
  // The best of a grid, then golden sections about it.
  double best = lo, bestSse = INFINITY;
  for (int k = 0; k < 24; ++k) {
    const double x = lo + (hi - lo) * k / 23.0, sse = sseAt(std::exp(x));
    if (sse < bestSse) bestSse = sse, best = x;
  }
  const double width = (hi - lo) / 23.0;
  lo = best - width, hi = best + width;
  const double g = (std::sqrt(5.0) - 1) / 2;
  double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo), f1 = sseAt(std::exp(x1)), f2 = sseAt(std::exp(x2));
  for (int i = 0; i < 24; ++i) {
    if (f1 < f2) hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = sseAt(std::exp(x1));
    else lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = sseAt(std::exp(x2));
  }
  return std::sqrt(std::min({f1, f2, bestSse}) / static_cast<double>(n - 2));
}

} // namespace

std::optional<RestLevel> fitRestLevel(const std::vector<Sample>& samples, int first, int last, bool withDrift) {
  const int rows = static_cast<int>(samples.size());
  if (first < 1 || last > rows || first >= last) return std::nullopt;
  std::vector<double> t, s;
  knownRows(samples, first, last, t, s);
  const std::size_t n = t.size(), q = withDrift ? 3 : 2;
  if (n < q + 4) return std::nullopt;
  const double span = t.back() - t.front();
  if (!(span > 0)) return std::nullopt;
  // For a rate λ the rest is linear: offset, A (and drift) by least squares.
  std::vector<double> e(n);
  auto fitAt = [&](double rate, std::array<double, 3>& coef) {
    std::array<std::array<double, 3>, 3> m{};
    std::array<double, 3> v{};
    for (std::size_t i = 0; i < n; ++i) {
      e[i] = std::exp(-rate * t[i]);
      const double b[3] = {1, e[i], t[i] / span};
      for (std::size_t r = 0; r < q; ++r) {
        for (std::size_t c = 0; c < q; ++c) m[r][c] += b[r] * b[c];
        v[r] += b[r] * s[i];
      }
    }
    coef = v;
    if (!solve(m, coef, q)) return static_cast<double>(INFINITY);
    double sse = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double b[3] = {1, e[i], t[i] / span};
      double f = 0;
      for (std::size_t r = 0; r < q; ++r) f += coef[r] * b[r];
      sse += (s[i] - f) * (s[i] - f);
    }
    return sse;
  };
  // λ·span from 0.3 to 60 on a grid, then golden sections about the best.
  constexpr int kGrid = 24;
  std::array<double, 3> coef{};
  int best = 0;
  double bestSse = INFINITY;
  auto rateOf = [&](double k) { return 0.3 * std::pow(200.0, k / (kGrid - 1)) / span; };
  for (int k = 0; k < kGrid; ++k) {
    const double sse = fitAt(rateOf(k), coef);
    if (sse < bestSse) bestSse = sse, best = k;
  }
  double lo = std::log(rateOf(std::max(best - 1, 0))), hi = std::log(rateOf(std::min(best + 1, kGrid - 1)));
  const double g = (std::sqrt(5.0) - 1) / 2;
  double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
  double f1 = fitAt(std::exp(x1), coef), f2 = fitAt(std::exp(x2), coef);
  for (int i = 0; i < 24; ++i) {
    if (f1 < f2) hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = fitAt(std::exp(x1), coef);
    else lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = fitAt(std::exp(x2), coef);
  }
  RestLevel out;
  out.first = first, out.last = last, out.t0 = samples[static_cast<std::size_t>(first - 1)].t, out.withDrift = withDrift;
  out.rate = std::exp((lo + hi) / 2);
  const double sse = fitAt(out.rate, coef);
  if (!std::isfinite(sse)) return std::nullopt;
  out.offset = coef[0];
  out.amplitude = coef[1];
  out.drift = withDrift ? coef[2] / span : 0.0;
  out.rms = std::sqrt(sse / static_cast<double>(n - q - 1));
  // Errors from the model's derivatives (λ included).
  const std::size_t p = q + 1;
  std::array<std::array<double, 4>, 4> m{};
  for (std::size_t i = 0; i < n; ++i) {
    const double e = std::exp(-out.rate * t[i]);
    const double b4[4] = {1, e, withDrift ? t[i] / span : -out.amplitude * t[i] * e, -out.amplitude * t[i] * e};
    for (std::size_t r = 0; r < p; ++r)
      for (std::size_t c = 0; c < p; ++c) m[r][c] += b4[r] * b4[c];
  }
  out.offsetError = out.rms * std::sqrt(std::max(inverseDiagonal(m, 0, p), 0.0));
  out.driftError = withDrift ? out.rms * std::sqrt(std::max(inverseDiagonal(m, 2, p), 0.0)) / span : 0.0;
  return out;
}

std::optional<RestLevel> recordRestLevel(const Readings& readings) {
  std::vector<Sample> rows = readings.samples;
  for (const auto& m : readings.mistyped) rows[static_cast<std::size_t>(m.row - 1)].s = NAN;
  int first = 0, last = 0;
  for (int row = 1; row <= static_cast<int>(rows.size()); ++row) {
    const Sample& p = rows[static_cast<std::size_t>(row - 1)];
    if (!std::isfinite(p.s) || !std::isfinite(p.t)) continue;
    if (first == 0 && p.s > readings.floor) first = row;
    last = row;
  }
  if (first == 0) return std::nullopt;
  // Windows from the first row, and from where s first falls below a part
  // of its first value (an early steep part of drainage is then left out).
  const double head = rows[static_cast<std::size_t>(first - 1)].s;
  std::vector<int> starts{first};
  for (const double part : {0.7, 0.5, 0.35, 0.25})
    for (int row = starts.back(); row <= last; ++row)
      if (std::isfinite(rows[static_cast<std::size_t>(row - 1)].s) && rows[static_cast<std::size_t>(row - 1)].s <= part * head) {
        if (row > starts.back()) starts.push_back(row);
        break;
      }
  const double noise = std::max(readings.noise, 0.3 * readings.step);
  for (const int start : starts) {
    // Rows that follow the written ho within the noise say nothing against it.
    const double alone = recoveryAloneRms(rows, start, last);
    if (alone <= 2.0 * noise) return std::nullopt;
    const auto plain = fitRestLevel(rows, start, last, false);
    const auto drift = fitRestLevel(rows, start, last, true);
    const double span = rows[static_cast<std::size_t>(last - 1)].t - rows[static_cast<std::size_t>(start - 1)].t;
    // One recovery within the noise, seen over most of its fall.
    auto follows = [&](const std::optional<RestLevel>& f) {
      return f && f->amplitude > 0 && f->rate > 0 && std::exp(-f->rate * span) <= 0.4 && f->rms <= 2.0 * noise;
    };
    const bool plainFits = follows(plain), driftFits = follows(drift);
    if (!plainFits && !driftFits) continue;
    // Nor those the written ho explains about as well.
    const double better = std::min(plainFits ? plain->rms : INFINITY, driftFits ? drift->rms : INFINITY);
    if (alone <= 1.5 * better) return std::nullopt;
    if (driftFits && (!plainFits || plain->rms > 1.3 * drift->rms) &&
        std::fabs(drift->drift) * span > readings.restError + 3.0 * drift->driftError * span)
      return drift;
    // Beyond what ho can be off by, the fit's own error besides.
    if (plainFits && std::fabs(plain->offset) > readings.restError + 3.0 * plain->offsetError) return plain;
    return std::nullopt;  // the rows follow the written ho
  }
  return std::nullopt;
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

namespace {

// A line whose k is known no better than this (relative) is never taken
// over a better determined one.
constexpr double kLeastDetermined = 0.3;

struct Candidate {
  int i = 0, j = 0;
  double a = 0, u = 0, sensitivity = 0, fall = 0;
  bool full = false;
};

// Rules 1 to 3 over the usable rows of `runs`.
struct Choice {
  std::optional<Candidate> best, later;
  std::vector<Candidate> candidates;
};
Choice choose(const Runs& runs, const Readings& readings, const AnalysisSettings& settings) {
  Choice choice;
  const int usable = runs.size();
  if (usable < kLeastFitRows) return choice;
  const int least = std::min(kLeastStraightRows, usable);
  choice.candidates.reserve(static_cast<std::size_t>(usable));
  // For each last row the longest run that passes: starting earlier adds
  // rows of larger s, so it is the best determined of those ending there.
  for (int j = least - 1; j < usable; ++j)
    for (int i = 0; i + least - 1 <= j; ++i) {
      const Straightness st = runs.test(i, j, false);
      if (!st.straight) continue;
      const Runs::Weighted w = runs.weighted(i, j);
      if (!w.ok || !(w.a > 0)) continue;
      Candidate c;
      c.i = i, c.j = j, c.a = w.a, c.fall = st.fall, c.full = st.fall >= settings.leastFall;
      // A short fall is the record's own end (a test stopped early), never
      // a piece of a longer curve.
      if (!c.full && j != usable - 1) continue;
      const double statistical = w.n > 2 ? t95(w.n - 2) * std::max(w.aError, w.noiseError) / w.a : 1.0;
      // A line the scatter could make (its k not known within a half) is none.
      if (!(statistical < 0.5)) continue;
      c.sensitivity = std::fabs(w.perMetre) * readings.restError / w.a;
      c.u = std::sqrt(statistical * statistical + c.sensitivity * c.sensitivity);
      choice.candidates.push_back(c);
      break;
    }
  if (choice.candidates.empty()) return choice;
  const bool anyFull = std::any_of(choice.candidates.begin(), choice.candidates.end(), [](const Candidate& c) { return c.full; });
  double least_u = INFINITY;
  for (const Candidate& c : choice.candidates)
    if (c.full || !anyFull) least_u = std::min(least_u, c.u);
  const double limit = 2.0 * least_u + 0.01;
  const Candidate* sharpest = nullptr;
  for (const Candidate& c : choice.candidates)
    if ((c.full || !anyFull) && (!sharpest || c.u < sharpest->u)) sharpest = &c;
  // Well determined; or, less so, a line of its own: its gradient differs
  // from the best determined line's by more than both their uncertainties
  // explain (a later line after drainage), where a tail bent by noise or by
  // ho's error stays within its own.
  auto acceptable = [&](const Candidate& c) {
    if (c.u <= limit) return true;
    return c.u <= kLeastDetermined && std::fabs(c.a - sharpest->a) > 2.0 * (c.u * c.a + sharpest->u * sharpest->a);
  };
  auto later = [](const Candidate& x, const Candidate& y) { return x.j > y.j || (x.j == y.j && x.i < y.i); };
  for (const Candidate& c : choice.candidates) {
    if (anyFull && !c.full) continue;
    std::optional<Candidate>& slot = acceptable(c) ? choice.best : choice.later;
    if (!slot || later(c, *slot)) slot = c;
  }
  // A later line is named only when it ends after the segment and differs from it.
  if (choice.later && (!choice.best || choice.later->j <= choice.best->j ||
                       std::fabs(choice.later->a - choice.best->a) <= settings.halvesTolerance * choice.best->a))
    choice.later.reset();
  return choice;
}

// The readings with s from the record's own rest level (noise, step and
// mistyped rows kept).
Readings restCorrected(const Readings& readings, const RestLevel& rest) {
  Readings out = readings;
  for (Sample& p : out.samples) p.s = rest.corrected(p.t, p.s);
  out.leftOut.clear();
  for (std::size_t i = 0; i < out.samples.size(); ++i)
    if (!(out.samples[i].s > out.floor) || !std::isfinite(out.samples[i].s)) out.leftOut.push_back(static_cast<int>(i) + 1);
  return out;
}

std::string noSegmentReason(const Runs& runs, const Readings& readings, const AnalysisSettings& settings) {
  const int usable = runs.size();
  if (usable < kLeastFitRows)
    return cformat("推奨区間なし: s の使える行が %d 行しかありません (3 行以上必要)", usable);
  const Runs::Line all = runs.line(0, usable - 1);
  const LineFit whole = runs.fit(0, usable - 1);
  const double fall = whole.usable ? 1.0 - whole.sAt(readings.samples[static_cast<std::size_t>(whole.last - 1)].t) /
                                               whole.sAt(readings.samples[static_cast<std::size_t>(whole.first - 1)].t)
                                   : 0.0;
  if (!all.ok) return "推奨区間なし: 時間の異なる行がありません";
  if (!(all.a > 0)) return "推奨区間なし: s が下がっていません (全体の a " + cformat("%.3g", all.a) + "). k は求められません";
  if (fall < settings.shortestFall)
    return cformat("推奨区間なし: s の低下が %.0f %% しかありません (%.0f %% 以上必要). k は出しません", fall * 100.0,
                   settings.shortestFall * 100.0);
  return "推奨区間なし: 直線とみなせる区間がありません (曲がっているか、ばらつきが大きい). k は出しません";
}

} // namespace

Suggestion suggestSegment(const Readings& given, const Band& band, const Geometry& geometry,
                          const AnalysisSettings& settings) {
  Suggestion suggestion;
  suggestion.restError = given.restError;
  const Runs written(given, settings);
  const Choice writtenChoice = choose(written, given, settings);
  // The record's own rest level, where the written one is off.
  std::optional<Readings> corrected;
  std::optional<Runs> correctedRuns;
  Choice choice = writtenChoice;
  if (const auto rest = recordRestLevel(given)) {
    corrected = restCorrected(given, *rest);
    correctedRuns.emplace(*corrected, settings);
    Choice other = choose(*correctedRuns, *corrected, settings);
    if (other.best) {
      suggestion.restLevel = rest;
      if (writtenChoice.best) {
        suggestion.writtenFit = written.fit(writtenChoice.best->i, writtenChoice.best->j);
        suggestion.writtenK = permeabilityFromGradient(geometry, suggestion.writtenFit->a);
      }
      choice = std::move(other);
    }
  }
  const bool useCorrected = suggestion.restLevel.has_value();
  const Readings& readings = useCorrected ? *corrected : given;
  const Runs& runs = useCorrected ? *correctedRuns : written;
  if (!choice.best) {
    suggestion.reason = noSegmentReason(runs, readings, settings);
    return suggestion;
  }
  const Candidate best = *choice.best;
  suggestion.found = true;
  suggestion.fit = runs.fit(best.i, best.j);
  suggestion.k = permeabilityInterval(geometry, suggestion.fit);
  suggestion.band = placeInBand(readings.samples, suggestion.fit.first, suggestion.fit.last, band);
  suggestion.fall = best.fall;
  suggestion.shortFall = !best.full;
  suggestion.restSensitivity = best.sensitivity;

  // The sensitivity to the choice of segment.
  const int least = std::min(kLeastStraightRows, runs.size());
  for (int i = best.i; i <= best.j; ++i)
    for (int j = i + least - 1; j <= best.j; ++j) {
      if (!runs.test(i, j, false).straight) continue;
      const Runs::Weighted w = runs.weighted(i, j);
      const auto k = w.ok ? permeabilityFromGradient(geometry, w.a) : std::nullopt;
      if (!k) continue;
      if (suggestion.subSegments == 0) suggestion.spreadLow = suggestion.spreadHigh = *k;
      suggestion.spreadLow = std::min(suggestion.spreadLow, *k);
      suggestion.spreadHigh = std::max(suggestion.spreadHigh, *k);
      ++suggestion.subSegments;
    }

  // An earlier line, ending at or before the segment's first row: the
  // latest such, then the longest.
  std::optional<Candidate> earlier;
  for (const Candidate& c : choice.candidates) {
    if (c.j > best.i || std::fabs(c.a - best.a) <= settings.halvesTolerance * best.a) continue;
    if (!earlier || c.j > earlier->j || (c.j == earlier->j && c.i < earlier->i)) earlier = c;
  }
  if (earlier) {
    suggestion.earlier = runs.fit(earlier->i, earlier->j);
    suggestion.earlierK = permeabilityFromGradient(geometry, suggestion.earlier->a);
  }
  if (choice.later) {
    suggestion.later = runs.fit(choice.later->i, choice.later->j);
    suggestion.laterK = permeabilityFromGradient(geometry, suggestion.later->a);
  }

  const LineFit& fit = suggestion.fit;
  suggestion.reason = cformat("推奨区間 %d〜%d 行 (n %d, R² %s): 直線で k の決まる区間のうち最も後のもの",
                              fit.first, fit.last, fit.n, r2Text(fit.r2).c_str());
  if (useCorrected) suggestion.reason += ". s は記録から求めた平衡水位 ho による (検討事項)";
  if (suggestion.shortFall) suggestion.reason += cformat(". s の低下が %.0f %% と短い (検討事項)", suggestion.fall * 100.0);
  return suggestion;
}

Suggestion suggestSegment(const std::vector<Sample>& samples, const Band& band, const AnalysisSettings& settings) {
  return suggestSegment(readingsOf(samples, 0, settings), band, Geometry{}, settings);
}

std::string Suggestion::summary(int digits) const {
  // Shown after a "推奨区間" label: the reason without its own.
  const std::string none = "推奨区間なし: ";
  if (!found) return reason.rfind(none, 0) == 0 ? "なし (" + reason.substr(none.size()) + ")" : reason;
  std::string text = cformat("%d〜%d 行 (n %d)", fit.first, fit.last, fit.n);
  if (k) text += " " + intervalText(*k, digits);
  return text;
}

std::string Suggestion::spreadRange(int digits) const {
  if (subSegments == 0) return "なし";
  return formatPermeability(spreadLow, digits) + "〜" + formatPermeability(spreadHigh, digits) +
         cformat(" (%d 区間)", subSegments);
}

std::string Suggestion::spreadText(int digits) const { return "区間の取り方による k の幅 " + spreadRange(digits); }

// ---- Checks ------------------------------------------------------------------

std::vector<Check> unsteadyChecks(const TestRecord& record, const std::vector<Sample>& samples, int first, int last,
                                  const AnalysisSettings& settings) {
  std::vector<Check> checks;
  const Geometry g = geometryOf(record);
  if ((g.formula == ApproxNoLayer || g.formula == ApproxWithLayer) && g.usable() && g.ratio() < kLeastApproxRatio)
    checks.push_back({CheckKind::ShapeRatio, g.ratio(),
                      cformat("近似式の条件 L/D ≥ 4 を満たしていません (L/D %.2f). 基本式を検討してください", g.ratio())});

  const LineFit fit = fitLine(samples, std::min(first, last), std::max(first, last));
  if (fit.n < kLeastFitRows) {
    checks.push_back({CheckKind::FewRows, static_cast<double>(fit.n),
                      cformat("区間の使える行が 3 行未満です (%d 行)", fit.n)});
  } else if (fit.usable) {
    if (!(fit.a > 0)) {
      checks.push_back({CheckKind::NotFalling, fit.a,
                        cformat("区間で s が下がっていません (a %s). 水位の符号や ho を確かめてください",
                                cformat("%g", fit.a).c_str())});
    } else {
      // The shape of the chosen rows (the fall is the suggestion's concern).
      const Readings readings = readingsOf(samples, readingStep(record), settings);
      AnalysisSettings anyFall = settings;
      anyFall.leastFall = 0;
      anyFall.shortestFall = 0;
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
                        cformat("最初の s が Sp と %.0f %% 違います (s %s, Sp %s). 水位か ho の入力を確かめてください",
                                off * 100.0, cformat("%g", s1).c_str(), cformat("%g", sp).c_str())});
  }

  const Band band = recommendedBand(record, samples, settings);
  if (fit.n >= 1 && placeInBand(samples, fit.first, fit.last, band) == BandPlace::Outside) {
    const double from = samples[static_cast<std::size_t>(fit.first - 1)].s / band.h0;
    const double to = samples[static_cast<std::size_t>(fit.last - 1)].s / band.h0;
    checks.push_back({CheckKind::OutsideBand, from,
                      cformat("区間が s/H0 範囲 (%g〜%g) の外にあります (s/H0 %.2f〜%.2f)", settings.bandLow,
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
                            cformat("%g", p[usable.back()].s) + " m). k は求められません. 水位の符号や ho を確かめてください"});
    }
  }

  // Oscillation: s rising again after it fell.
  if (!rising && !usable.empty()) {
    double least = p[usable.front()].s;
    std::size_t leastAt = usable.front();
    for (std::size_t i : usable) {
      // A rise beyond what the reading step and the measured noise explain.
      const double margin = std::max(kOscillationSteps * readings.step, 4.0 * readings.noise) + 0.01 * least;
      if (p[i].s - least > margin && least < p[usable.front()].s - margin) {
        checks.push_back({CheckKind::Oscillation, p[i].s - least,
                          cformat("振動: 行 %d で s が %s m 戻っています (行 %d の %s m から). 透水性が高く応答が振動している可能性があり、"
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
      // A record that ran on to full recovery levels off at s = 0 within its
      // noise: that is no flattening. The tail must stand well above it.
      double level = INFINITY;
      for (const Sample& q : tail) level = std::min(level, q.s);
      const double noiseLevel = std::max({readings.step, readings.noise, kLeastHead});
      if (late.usable && ratio < kFlatTail && level > 10.0 * noiseLevel)
        checks.push_back({CheckKind::Incomplete, ratio * 100.0,
                          cformat("回復が頭打ち: 最後の %d 行の勾配が推奨区間の %.0f %% です. 平衡水位 ho が違うか"
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
                      cformat("最後の 3 点の Q が %.1f %% 変動しています (5 %% 超). 定常に達していない可能性があります",
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

// ---- The suggestion's notes ----------------------------------------------------

namespace {

// ho - h of the first complete row taken positive: +1 when the water stands
// below the rest level, -1 above; 0 when h or ho is no number.
double headSign(const TestRecord& record) {
  if (!record.fieldIsNumber(F_equilibriumLevel)) return 0;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_level))) return 0;
    const double d = record.fieldValue(F_equilibriumLevel) - toDouble(record.cell(row, C_level));
    if (d != 0) return d > 0 ? 1 : -1;
  }
  return 0;
}

std::string metres(double v) { return cformat("%.3f", v); }
std::string kText(const std::optional<double>& k, int digits) {
  return k ? formatPermeability(*k, digits) : std::string("なし");
}

} // namespace

std::vector<Check> suggestionChecks(const TestRecord& record, const Suggestion& suggestion, int digits) {
  std::vector<Check> checks;
  const std::optional<double> k = suggestion.k ? std::optional<double>(suggestion.k->k) : std::nullopt;
  if (const auto& rest = suggestion.restLevel) {
    const double sign = headSign(record);
    const std::string written =
        suggestion.writtenFit ? cformat("%d〜%d 行", suggestion.writtenFit->first, suggestion.writtenFit->last) : std::string();
    const std::string withWritten =
        "記入の ho では k " + kText(suggestion.writtenK, digits) + (written.empty() ? "" : " (" + written + ")");
    const std::string withRecord = "記録の ho では k " + kText(k, digits) +
                                   cformat(" (%d〜%d 行)", suggestion.fit.first, suggestion.fit.last);
    std::string text;
    if (!rest->withDrift) {
      if (sign != 0) {
        const double ho = record.fieldValue(F_equilibriumLevel);
        text = "平衡水位 ho: 記入の ho " + metres(ho) + " m に対し、回復の記録が向かう ho は " + metres(ho - sign * rest->offset) +
               cformat(" m です (差 %.1f cm)", std::fabs(rest->offset) * 100.0);
      } else {
        text = cformat("平衡水位 ho: 回復の記録は s = %s m に向かっています (ho が %.1f cm 違う可能性)",
                       metres(rest->offset).c_str(), std::fabs(rest->offset) * 100.0);
      }
    } else {
      // s moves by offset + drift·(t - t0): ho by -sign times that.
      const double rate = rest->drift * 3600.0 * 100.0;  // cm/h
      if (sign != 0) {
        const double ho = record.fieldValue(F_equilibriumLevel);
        const std::vector<Sample> samples = unsteadySamples(record);
        const double tEnd = samples.empty() ? rest->t0 : samples.back().t;
        const double atStart = ho - sign * rest->offset;
        const double atEnd = ho - sign * (rest->offset + rest->drift * (tEnd - rest->t0));
        text = "平衡水位 ho: 回復の記録から、ho は試験中に " + cformat("%+.1f cm/h", -sign * rate) + " 変化しています (記入の ho " +
               metres(ho) + " m, 記録からは " + metres(atStart) + " m から " + metres(atEnd) + " m)";
      } else {
        text = "平衡水位 ho: 回復の記録から、ho が試験中に " + cformat("%.1f cm/h", std::fabs(rate)) + " 変化しています";
      }
    }
    text += ". " + withWritten + ", " + withRecord + ". 推奨区間の k は記録の ho によるものです. ho を確かめてください.";
    checks.push_back({CheckKind::RestLevel, rest->offset, text});
  } else if (suggestion.found && suggestion.restSensitivity > 0.05) {
    checks.push_back({CheckKind::RestSensitive, suggestion.restSensitivity * 100.0,
                      cformat("平衡水位 ho が %s m 違うと推奨区間の k は %.0f %% 変わります. ho を確かめてください.",
                              cformat("%g", suggestion.restError).c_str(), suggestion.restSensitivity * 100.0)});
  }
  if (suggestion.earlier)
    checks.push_back({CheckKind::EarlierLine, suggestion.earlierK.value_or(0),
                      cformat("前半の直線 %d〜%d 行 (n %d) k %s: フィルター材や孔内の水の排水による可能性があります.",
                              suggestion.earlier->first, suggestion.earlier->last, suggestion.earlier->n,
                              kText(suggestion.earlierK, digits).c_str())});
  if (suggestion.later)
    checks.push_back({CheckKind::LaterLine, suggestion.laterK.value_or(0),
                      cformat("後半の行 %d〜%d の直線 (k %s) は s が小さく、ho や読み取りの誤差で k が大きく変わるため"
                              "推奨区間にしていません.",
                              suggestion.later->first, suggestion.later->last, kText(suggestion.laterK, digits).c_str())});
  if (suggestion.found && suggestion.shortFall)
    checks.push_back({CheckKind::ShortFall, suggestion.fall * 100.0,
                      cformat("推奨区間の s の低下が %.0f %% と短く (%.0f %% 未満)、直線かどうかの判定が弱い区間です. "
                              "k にはこのことを書き添えてください.",
                              suggestion.fall * 100.0, AnalysisSettings{}.leastFall * 100.0)});
  return checks;
}

namespace {

// A mistyped row, in h' where h' can be given from s.
Check mistypedCheck(const TestRecord& record, const Readings::Mistyped& m) {
  const std::string& typed = record.cell(m.row, C_pipeLevel);
  const double sign = headSign(record);
  std::string text;
  if (sign != 0 && record.fieldIsNumber(F_pipeTopHeight)) {
    // h = ho - sign·s, h' = pipe top - h.
    const double expected =
        record.fieldValue(F_pipeTopHeight) - (record.fieldValue(F_equilibriumLevel) - sign * m.expected);
    const int decimals = std::max(0, static_cast<int>(typed.size()) - static_cast<int>(typed.find('.')) - 1);
    text = cformat("行 %d の h' %s が前後の行の直線から外れています (直線では %.*f)", m.row, typed.c_str(),
                   typed.find('.') == std::string::npos ? 0 : decimals, expected);
  } else {
    text = cformat("行 %d の s %s が前後の行の直線から外れています (直線では %s)", m.row, cformat("%g", m.s).c_str(),
                   cformat("%.4g", m.expected).c_str());
  }
  text += ". 読み違いか入力の誤りを確かめてください. この行は推奨区間の近似に使っていません.";
  return {CheckKind::MistypedRow, static_cast<double>(m.row), text};
}

} // namespace

std::optional<Check> pointsOutsideCheck(const TestRecord& record) {
  if (record.fieldInt(F_formulaKind) == Steady) return std::nullopt;
  const double tFrom = record.fieldValue(F_graphATimeFrom), tTo = record.fieldValue(F_graphATimeTo);
  const double sFrom = record.fieldValue(F_graphAValueFrom), sTo = record.fieldValue(F_graphAValueTo);
  if (!record.fieldIsNumber(F_graphATimeFrom) || !record.fieldIsNumber(F_graphATimeTo) ||
      !record.fieldIsNumber(F_graphAValueFrom) || !record.fieldIsNumber(F_graphAValueTo))
    return std::nullopt;
  for (int point = 1; point <= 2; ++point) {
    const int tf = point == 1 ? F_pointT1 : F_pointT2, sf = point == 1 ? F_pointS1 : F_pointS2;
    if (!record.fieldIsNumber(tf) || !record.fieldIsNumber(sf)) continue;
    const double t = record.fieldValue(tf), s = record.fieldValue(sf);
    const bool inside = t >= std::min(tFrom, tTo) && t <= std::max(tFrom, tTo) && s >= std::min(sFrom, sTo) &&
                        s <= std::max(sFrom, sTo);
    if (!inside)
      return Check{CheckKind::PointsOutside, static_cast<double>(point),
                   cformat("点 %d (t %s, s %s) が log s-t グラフの目盛りの外にあり、ページに描かれません. "
                           "目盛りを直すか「自動目盛り」を使ってください.",
                           point, record.field(tf).c_str(), record.field(sf).c_str())};
  }
  return std::nullopt;
}

// ---- One record -------------------------------------------------------------------

AnalysisReport analyseRecord(const TestRecord& record, const AnalysisSettings& settings, int digits) {
  AnalysisReport report;
  const Geometry g = geometryOf(record);
  report.steady = g.formula == Steady;
  if (report.steady) {
    report.completeRows = static_cast<int>(steadyFlowSamples(record).size());
    report.checks = steadyChecks(record);
    if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
    return report;
  }
  const int n = static_cast<int>(unsteadySamples(record).size());
  report.completeRows = n;
  report.band = recommendedBand(record, unsteadySamples(record), settings);
  const double step = readingStep(record);
  const Readings readings = readingsOf(signedSamples(record), step, settings, restLevelError(record, step));
  report.suggestion = suggestSegment(readings, report.band, g, settings);
  // Where the record's rest level differs from the written one, the fit of
  // the chosen rows and their checks are of the s it gives.
  const auto& rest = report.suggestion.restLevel;
  std::vector<Sample> samples = rest ? signedSamples(record) : unsteadySamples(record);
  if (rest) {
    for (Sample& p : samples) p.s = rest->corrected(p.t, p.s);
    report.ownRest = samples;
  }
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
  for (Check& check : suggestionChecks(record, report.suggestion, digits)) report.checks.push_back(std::move(check));
  for (const auto& m : readings.mistyped) report.checks.push_back(mistypedCheck(record, m));
  // The shape of the record as its own rest level gives it, where that differs.
  const Readings shaped = rest ? restCorrected(readings, *rest) : readings;
  for (Check& check : recordChecks(shaped, report.suggestion)) report.checks.push_back(std::move(check));
  if (auto check = pointsOutsideCheck(record)) report.checks.push_back(std::move(*check));
  if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
  return report;
}

// ---- 推奨区間 applied to a record ---------------------------------------------------

AppliedSuggestion applySuggestion(TestRecord& record, const AnalysisSettings& settings, int digits, bool keepScales) {
  AppliedSuggestion out;
  const AnalysisReport report = analyseRecord(record, settings, digits);
  const Suggestion& suggestion = report.suggestion;
  out.text = suggestion.reason;
  const Geometry g = geometryOf(record);
  if (!suggestion.found) {
    // No k under a "no k": the k and a of other rows go.
    if (!record.permeabilityText().empty() || !record.gradientText().empty())
      out.text += ". k と a の欄を空にしました";
    record.setField(F_gradientText, "");
    record.setField(F_permeabilityText, "");
    return out;
  }
  const LineFit& fit = suggestion.fit;
  if (!permeabilityFromGradient(g, fit.a)) {
    out.text += ". 寸法と計算式から正の k が求まらないため、点は変えていません";
    return out;
  }
  const std::vector<Sample> samples = unsteadySamples(record);
  const double t1 = samples[static_cast<std::size_t>(fit.first - 1)].t;
  const double t2 = samples[static_cast<std::size_t>(fit.last - 1)].t;
  record.setField(F_point1Row, cformat("%d", fit.first));
  record.setField(F_point2Row, cformat("%d", fit.last));
  record.setField(F_pointT1, record.cell(fit.first, C_time));
  record.setField(F_pointT2, record.cell(fit.last, C_time));
  record.setField(F_pointS1, fittedHeadText(fit, t1));
  record.setField(F_pointS2, fittedHeadText(fit, t2));
  // a and k from the two points as they are written, as every program
  // reading the file computes them.
  const auto a = computeGradient(record.fieldValue(F_pointT1), record.fieldValue(F_pointS1),
                                 record.fieldValue(F_pointT2), record.fieldValue(F_pointS2));
  const auto k = a ? permeabilityFromGradient(g, *a) : std::nullopt;
  record.setField(F_gradientText, a ? cformat("%g", *a) : std::string());
  record.setField(F_permeabilityText, k ? formatPermeability(*k, digits) : std::string());
  out.applied = true;
  if (!keepScales && (scalesAreDefault(record) || pointsOutsideCheck(record))) {
    for (const auto& [field, text] : autoScales(record)) record.setField(field, text);
  }
  return out;
}

} // namespace tov
