#pragma once
// CBP: Cooper, Bredehoeft and Papadopulos (1967), "Response of a finite-
// diameter well to an instantaneous charge of water", Water Resources
// Research 3(1): the section open over the whole thickness of a confined
// layer, flow radial, with storage. In the form the type curves share
// (TypeCurve.h: F(p) = 1 / (p + α·g(p)) in the time τ = K·t / (Ss·rw²),
// α = rw²·Ss·L / rc²):
//     g(p) = 2·√p·K1(√p) / K0(√p).
// Cost: one faceHead (BesselK.h) a p, some 20 ns.
#include "analysis/TypeCurve.h"

namespace tov {

SlugModel cbpModel();

} // namespace tov
