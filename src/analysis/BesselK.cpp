// K0 and K1 for the type curves.
#include "analysis/BesselK.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace tov {

ScaledBesselK scaledBesselK(double x) {
  if (x <= 2.0) {
    // I0, I1 and K0 by their series (A&S 9.6.12, 9.6.13); K1 from the
    // Wronskian I0·K1 + I1·K0 = 1/x.
    const double q = x * x / 4;
    double term0 = 1, term1 = 1, harmonic = 0;
    double i0 = 1, i1Sum = 1, k0Sum = 0;
    for (int k = 1; k <= 40; ++k) {
      term0 *= q / (static_cast<double>(k) * k);
      term1 *= q / (static_cast<double>(k) * (k + 1));
      harmonic += 1.0 / k;
      i0 += term0;
      i1Sum += term1;
      k0Sum += harmonic * term0;
      if (term0 < 1e-18 * i0) break;
    }
    const double i1 = x / 2 * i1Sum;
    const double k0 = -(std::log(x / 2) + std::numbers::egamma) * i0 + k0Sum;
    const double k1 = (1.0 / x - i1 * k0) / i0;
    const double e = std::exp(x);
    return {k0 * e, k1 * e};
  }
  // e^x K_n(x) = ∫_0^∞ e^(-x (cosh u - 1)) cosh(nu) du. The integrand's
  // peak is 1/√x wide: steps of at most 0.75/√x keep the rule's error
  // below 1E-13; terms end where they fall below e^-40.
  const double h = std::min(0.2, 0.75 / std::sqrt(x));
  const double coshStep = std::cosh(h);
  double before = coshStep, c = 1.0;  // cosh((j-1)h) and cosh(jh), by the recurrence
  double s0 = 0.5, s1 = 0.5;
  for (int j = 1; j < 400; ++j) {
    const double next = 2.0 * coshStep * c - before;
    before = c;
    c = next;
    const double v = std::exp(-x * (c - 1.0));
    s0 += v;
    s1 += v * c;
    if (x * (c - 1.0) > 40.0) break;
  }
  return {s0 * h, s1 * h};
}

namespace {

// ln(x·faceHead(x)) in u = ln x, by Chebyshev series over pieces of one
// unit of u from kFrom to kTo.
constexpr int kFrom = -20, kTo = 12, kDegree = 19;

double exactLogXHead(double u) {
  const double x = std::exp(u);
  const ScaledBesselK k = scaledBesselK(x);
  return std::log(k.k0 / k.k1);
}

struct Pieces {
  std::array<std::array<double, kDegree + 1>, kTo - kFrom> c{};
  Pieces() {
    constexpr int n = kDegree + 1;
    std::array<double, n> f{};
    for (int piece = 0; piece < kTo - kFrom; ++piece) {
      const double mid = kFrom + piece + 0.5;
      for (int k = 0; k < n; ++k) f[static_cast<std::size_t>(k)] =
          exactLogXHead(mid + 0.5 * std::cos(std::numbers::pi * (k + 0.5) / n));
      for (int j = 0; j < n; ++j) {
        double sum = 0;
        for (int k = 0; k < n; ++k) sum += f[static_cast<std::size_t>(k)] * std::cos(std::numbers::pi * j * (k + 0.5) / n);
        c[static_cast<std::size_t>(piece)][static_cast<std::size_t>(j)] = 2.0 * sum / n;
      }
    }
  }
};

} // namespace

double faceHead(double x) {
  const double u = std::log(x);
  if (!(u >= kFrom)) return -std::log(x / 2) - std::numbers::egamma;  // error below x²·|ln x|
  if (u >= kTo) {
    const ScaledBesselK k = scaledBesselK(x);
    return k.k0 / (x * k.k1);
  }
  static const Pieces pieces;
  const int piece = std::min(static_cast<int>(std::floor(u)) - kFrom, kTo - kFrom - 1);
  const auto& c = pieces.c[static_cast<std::size_t>(piece)];
  // Clenshaw's recurrence at y in [-1, 1].
  const double y = 2.0 * (u - (kFrom + piece + 0.5));
  double b1 = 0, b2 = 0;
  for (int j = kDegree; j >= 1; --j) {
    const double b = 2.0 * y * b1 - b2 + c[static_cast<std::size_t>(j)];
    b2 = b1;
    b1 = b;
  }
  const double logXHead = y * b1 - b2 + 0.5 * c[0];
  return std::exp(logXHead) / x;
}

} // namespace tov
