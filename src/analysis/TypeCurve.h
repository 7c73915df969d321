#pragma once
// The head of a slug test by a type curve: the Laplace-domain solution of a
// model of the formation, inverted numerically.
//
// Every model here has the same form. With rw the radius of the section
// (D/2), rc that of the pipe the level moves in (de/2), L the section's
// length, K the formation's permeability and Ss its specific storage, in
// the time τ = K·t / (Ss·rw²) and with α = rw²·Ss·L / rc², the head in the
// pipe over its start, f = s / H0, has the Laplace transform
//     F(p) = 1 / (p + α·g(p))
// where g(p) is the flow out of the section per unit of head at its face
// (Laplace domain): the model. f depends on τ and α only, so one curve
// serves every K at one Ss (K shifts it along ln t).
//
// The inversion is Stehfest's (N = 12): f(τ) = (ln 2 / τ)·Σ V_j F(j ln 2 / τ).
// Its weights reach 8·10^6, so g must be smooth to rounding (see
// BesselK.h). f is inverted on a half-octave grid of τ, and taken between
// its points by cubic Hermite interpolation in ln τ with the derivative
// from the same transform (error below 1E-5 of H0; against the integral
// of Cooper et al. within 7E-5). The grid's points ask g at the same p
// whatever α is (p = o·ln 2·2^(e/2), o odd), so g is evaluated once per p
// and kept: a fit evaluates it a few hundred times, however many curves
// it draws.
#include <cmath>
#include <functional>
#include <vector>

namespace tov {

// Stehfest's weights V_1..V_n for even n.
std::vector<double> stehfestWeights(int n);

// A model's g(p), p > 0.
using SlugModel = std::function<double(double)>;

// f(τ) for one α over a range of τ: the grid's values and slopes, and the
// Hermite interpolation between them.
class CurveGrid {
public:
  // f at τ (τ <= 0: 1; beyond the range: the nearest end's value).
  double at(double tau) const { return tau > 0 ? atLog2(std::log2(tau)) : 1.0; }
  // f at τ = 2^x.
  double atLog2(double x) const;

private:
  friend class TypeCurve;
  int from_ = 0;             // τ of point i is 2^((from_ + i)/2)
  std::vector<double> f_, d_;  // f and df/dln τ at the points
};

// The curves of one model: f(τ; α), any τ >= 0, any α > 0.
class TypeCurve {
public:
  explicit TypeCurve(SlugModel model);
  // The curve for α over [least, most] (both > 0). skin: a skin factor at
  // the section's face, a head loss in proportion to the flow (Agarwal et
  // al. 1970's S): 1/g grows by skin/2.
  CurveGrid grid(double alpha, double least, double most, double skin = 0) const;
  // f at each τ (τ <= 0: 1), for one α.
  std::vector<double> heads(double alpha, const std::vector<double>& tau, double skin = 0) const;

private:
  // g at p = o·ln 2·2^(e/2) (o odd, 1..11), kept.
  double gAt(int odd, int exponent) const;
  SlugModel model_;
  std::vector<double> weights_;
  mutable std::vector<std::vector<double>> cache_;  // [odd / 2][exponent - kLowest]
};

} // namespace tov
