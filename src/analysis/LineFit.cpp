// The straight line of log10 s on t, k from its gradient, the interval of
// k and the texts they are shown with.
#include "analysis/LineFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

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

namespace {

double computedT95(int df) {
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

} // namespace

// Computed once for the degrees of freedom of up to 120 rows.
double studentT95(int df) {
  if (df < 1) return INFINITY;
  static const std::array<double, 121> table = [] {
    std::array<double, 121> t{};
    for (int d = 1; d <= 120; ++d) t[static_cast<std::size_t>(d)] = computedT95(d);
    return t;
  }();
  if (df <= 120) return table[static_cast<std::size_t>(df)];
  return computedT95(df);
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
} // namespace tov
