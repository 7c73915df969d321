#pragma once
// The modified Bessel functions K0 and K1 as the type curves need them:
// both at once, scaled by e^x (so that no argument underflows), and the
// ratio K0(x) / (x·K1(x)), the head at the face of a well per unit of flux
// out of it (in the Laplace domain), which every type curve evaluates
// thousands of times.
//
// The standard library's std::cyl_bessel_k gives the same values to 1E-13
// but takes over a microsecond a call, which put one fit at about a
// second; these take some 30-100 ns (faceHead some 20 ns) and are smooth in
// x to rounding (the numerical inversion of the Laplace transform
// multiplies any jump between two methods by up to 10^6).

namespace tov {

struct ScaledBesselK {
  double k0 = 0, k1 = 0;  // e^x K0(x), e^x K1(x)
};
// x > 0. Power series up to x = 2; above, the trapezoid rule on
// K_n(x) = ∫ e^(-x cosh u) cosh(nu) du, which converges geometrically for
// an integrand analytic in a strip. Relative error below 1E-13.
ScaledBesselK scaledBesselK(double x);

// K0(x) / (x·K1(x)) for x > 0: about -ln(x/2) - γ for small x, 1/x for
// large. Chebyshev series in ln x over pieces of one unit, fitted once to
// scaledBesselK (error below 1E-13), the two limits beyond them.
double faceHead(double x);

} // namespace tov
