#pragma once
// KGS: a section of length L in a formation thick beyond it above and
// below (the case of Hyder, Butler, McElwee and Liu 1994, "Slug tests in
// partially penetrating wells", Water Resources Research 30(11), far from
// the layer's boundaries, without skin): radial and vertical flow with
// storage, Kz/Kr = ψ. The section's face is taken as one of uniform flux
// and the head in the pipe as the mean head over it (the uniform-flux
// approximation of Dougherty and Babu 1984). By a Fourier transform in z,
// with B = L / rw, in the form the type curves share (TypeCurve.h):
//     J(p) = B·∫_0^∞ sin²(v/2)/v² · k(√(p + ψ·v²/B²)) dv,   k(x) = K0(x)/(x·K1(x)),
//     g(p) = π·B / (2·J(p)).
// For a long section J → B·k(√p)·π/4 and g becomes CBP's (CbpModel.h).
// J is taken by Gauss–Legendre quadrature on nodes fixed for the section
// (so that its error is smooth in p, which the inversion needs): a
// logarithmic part below v = 1, half periods of sin² up to v = 16π, and
// the tail beyond in 1/v.
// Cost: 102 faceHead a p, some 3 µs (error below 1E-4 of J, smooth in p);
// a fit asks a few hundred p, most of its time.
#include "analysis/TypeCurve.h"

namespace tov {

// B = L / rw; psi = Kz / Kr.
SlugModel kgsModel(double lengthOverRadius, double psi = 1.0);

} // namespace tov
