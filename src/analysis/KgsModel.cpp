// The partially penetrating section.
#include "analysis/KgsModel.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/BesselK.h"

namespace tov {

namespace {

// Gauss–Legendre nodes and weights on [-1, 1] (Newton on P_n).
struct Rule {
  std::vector<double> x, w;
};
Rule gaussLegendre(int n) {
  Rule r;
  for (int i = 1; i <= n; ++i) {
    double x = std::cos(std::numbers::pi * (i - 0.25) / (n + 0.5)), dp = 0;
    for (int it = 0; it < 100; ++it) {
      double p0 = 1, p1 = x;
      for (int k = 2; k <= n; ++k) {
        const double p2 = ((2.0 * k - 1) * x * p1 - (k - 1.0) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (x * p1 - p0) / (x * x - 1);
      const double dx = p1 / dp;
      x -= dx;
      if (std::fabs(dx) < 1e-16) break;
    }
    r.x.push_back(x);
    r.w.push_back(2.0 / ((1 - x * x) * dp * dp));
  }
  return r;
}

// The nodes of J: J(p) = Σ weight·k(√(p + c)), c = ψ·v²/B².
struct Nodes {
  std::vector<double> c, weight;
};

Nodes kgsNodes(double b, double psi) {
  Nodes out;
  const Rule four = gaussLegendre(4), six = gaussLegendre(6);
  auto add = [&](double v, double w) {
    out.c.push_back(psi * v * v / (b * b));
    out.weight.push_back(w);
  };
  auto sinc2 = [](double v) {
    const double s = std::sin(v / 2);
    return s * s / (v * v);
  };
  // Below v = 1, in u = ln v (dv = v du): panels widening leftwards; what
  // lies below v = e^-25 is left out (below 1E-11 of J).
  const double cuts[] = {0, -1, -2.5, -4.5, -7, -10, -14, -19, -25};
  for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
    const double hi = cuts[i], lo = cuts[i + 1], half = (hi - lo) / 2, mid = (hi + lo) / 2;
    for (std::size_t k = 0; k < four.x.size(); ++k) {
      const double v = std::exp(mid + half * four.x[k]);
      add(v, b * half * four.w[k] * sinc2(v) * v);
    }
  }
  // From v = 1 to V = 16π, by half periods of sin²(v/2).
  constexpr int kHalfPeriods = 16;
  const double end = kHalfPeriods * std::numbers::pi;
  for (int i = 0; i < kHalfPeriods; ++i) {
    const double lo = i == 0 ? 1.0 : i * std::numbers::pi, hi = (i + 1) * std::numbers::pi;
    const double half = (hi - lo) / 2, mid = (hi + lo) / 2;
    for (std::size_t k = 0; k < four.x.size(); ++k) {
      const double v = mid + half * four.x[k];
      add(v, b * half * four.w[k] * sinc2(v));
    }
  }
  // Beyond V: sin² averages 1/2; with w = V / v, ∫_V^∞ k/(2v²) dv =
  // (1 / 2V)·∫_0^1 k dw. The rest, ∫ cos(v)·k/(2v²), is below k / V³ (V a
  // whole number of periods), under 1E-5 of J.
  for (std::size_t k = 0; k < six.x.size(); ++k) {
    const double w = 0.5 + 0.5 * six.x[k];
    add(end / w, b * 0.5 * six.w[k] / (2.0 * end));
  }
  return out;
}

} // namespace

SlugModel kgsModel(double lengthOverRadius, double psi) {
  auto nodes = std::make_shared<const Nodes>(kgsNodes(lengthOverRadius, psi));
  const double b = lengthOverRadius;
  return [nodes, b](double p) {
    double j = 0;
    for (std::size_t i = 0; i < nodes->c.size(); ++i) j += nodes->weight[i] * faceHead(std::sqrt(p + nodes->c[i]));
    return std::numbers::pi * b / (2.0 * j);
  };
}

} // namespace tov
