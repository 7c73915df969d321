// The measured noise of s, the floor and the mistyped rows.
#include "analysis/Readings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "analysis/SmallSolve.h"

namespace tov {

using detail::inverseDiagonal;
using detail::solve;

double Readings::resolution() const { return std::max(step, 3.5 * noise); }

namespace {

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
} // namespace tov
