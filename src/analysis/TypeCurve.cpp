// Type curves by Stehfest's inversion on a half-octave grid of τ.
#include "analysis/TypeCurve.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace tov {

namespace {

constexpr int kTerms = 12;
// Exponents e of p = o·ln 2·2^(e/2) that the cache holds.
constexpr int kLowest = -480, kHighest = 480;

double factorial(int n) {
  double f = 1;
  for (int i = 2; i <= n; ++i) f *= i;
  return f;
}

} // namespace

std::vector<double> stehfestWeights(int n) {
  std::vector<double> v(static_cast<std::size_t>(n));
  const int half = n / 2;
  for (int i = 1; i <= n; ++i) {
    double sum = 0;
    for (int k = (i + 1) / 2; k <= std::min(i, half); ++k)
      sum += std::pow(k, half) * factorial(2 * k) /
             (factorial(half - k) * factorial(k) * factorial(k - 1) * factorial(i - k) * factorial(2 * k - i));
    v[static_cast<std::size_t>(i - 1)] = ((i + half) % 2 == 0 ? 1.0 : -1.0) * sum;
  }
  return v;
}

TypeCurve::TypeCurve(SlugModel model) : model_(std::move(model)), weights_(stehfestWeights(kTerms)) {
  cache_.assign(kTerms / 2, std::vector<double>(kHighest - kLowest + 1, NAN));
}

double TypeCurve::gAt(int odd, int exponent) const {
  auto p = [&] { return odd * std::numbers::ln2 * std::exp2(exponent / 2.0); };
  if (exponent < kLowest || exponent > kHighest) return model_(p());
  double& slot = cache_[static_cast<std::size_t>(odd / 2)][static_cast<std::size_t>(exponent - kLowest)];
  if (std::isnan(slot)) slot = model_(p());
  return slot;
}

CurveGrid TypeCurve::grid(double alpha, double least, double most, double skin) const {
  CurveGrid out;
  // A record spans a few decades of τ; one row typed 1E-88 s must not make
  // the grid hundreds of octaves long. Below 2^-64 of the last τ the curve
  // is its first point's (f is 1 there to far beyond a reading's digits).
  // Beyond 2^±900 no record reaches; held there, the grid's ends stay whole numbers.
  most = std::clamp(std::isfinite(most) ? most : 0x1p900, 0x1p-900, 0x1p900);
  least = std::clamp(std::isnan(least) ? 0.0 : least, most * 0x1p-64, most);
  // Points m: τ_m = 2^(m/2), one beyond either end.
  out.from_ = static_cast<int>(std::floor(2.0 * std::log2(least))) - 1;
  const int to = std::max(static_cast<int>(std::ceil(2.0 * std::log2(most))) + 1, out.from_ + 1);
  out.f_.reserve(static_cast<std::size_t>(to - out.from_ + 1));
  out.d_.reserve(static_cast<std::size_t>(to - out.from_ + 1));
  for (int m = out.from_; m <= to; ++m) {
    const double tauM = std::ldexp(m % 2 == 0 ? 1.0 : std::numbers::sqrt2, m >= 0 ? m / 2 : (m - 1) / 2);
    double sumF = 0, sumD = 0;
    for (int j = 1; j <= kTerms; ++j) {
      // j = odd·2^q: p = j ln 2 / τ_m = odd·ln 2·2^((2q - m)/2).
      int odd = j, q = 0;
      while (odd % 2 == 0) odd /= 2, ++q;
      const double p = j * std::numbers::ln2 / tauM;
      const double g = gAt(odd, 2 * q - m);
      const double ag = alpha * g / (1.0 + 0.5 * skin * g);
      const double F = 1.0 / (p + ag);
      const double v = weights_[static_cast<std::size_t>(j - 1)];
      sumF += v * F;
      sumD += v * ag * F;
    }
    out.f_.push_back(std::numbers::ln2 / tauM * sumF);
    // τ·f'(τ), f' the inverse of p·F - 1 = -α g F.
    out.d_.push_back(-std::numbers::ln2 * sumD);
  }
  return out;
}

double CurveGrid::atLog2(double log2Tau) const {
  if (f_.size() < 2 || !std::isfinite(log2Tau)) return log2Tau < 0 || f_.empty() ? 1.0 : f_.back();
  const double step = std::numbers::ln2 / 2;  // of ln τ between points
  const double x = 2.0 * log2Tau - from_;
  const auto last = static_cast<int>(f_.size()) - 2;
  if (x <= 0) return f_.front();
  if (x >= last + 1) return f_.back();
  const int i = std::clamp(static_cast<int>(std::floor(x)), 0, last);
  const auto k = static_cast<std::size_t>(i);
  const double s = x - i, s2 = s * s, s3 = s2 * s;
  return (2 * s3 - 3 * s2 + 1) * f_[k] + (s3 - 2 * s2 + s) * step * d_[k] + (-2 * s3 + 3 * s2) * f_[k + 1] +
         (s3 - s2) * step * d_[k + 1];
}

std::vector<double> TypeCurve::heads(double alpha, const std::vector<double>& tau, double skin) const {
  std::vector<double> out(tau.size(), 1.0);
  double least = INFINITY, most = 0;
  for (double t : tau)
    if (t > 0 && std::isfinite(t)) least = std::min(least, t), most = std::max(most, t);
  if (!(most > 0)) return out;
  const CurveGrid curve = grid(alpha, least, most, skin);
  for (std::size_t i = 0; i < tau.size(); ++i)
    if (tau[i] > 0 && std::isfinite(tau[i])) out[i] = curve.at(tau[i]);
  return out;
}

} // namespace tov
