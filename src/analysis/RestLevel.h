#pragma once
// The record's own rest level: where the recovery the rows follow levels
// off (or drifts to), against the written ho.
//
// The written ho is trusted until the record shows otherwise. A recovery
// with storage in the formation (or a filter pack, skin, partial
// penetration) bends log s - t upwards from the start, and s = c + A·e^(-λt)
// fits such a bend within millimetres with a c that is no rest level at
// all. So the rest level is named only where
//   - no type curve with the written ho (TypeCurveFit.h: storage, radial
//     and partially penetrating flow) explains the rows within kExplained
//     noise widths,
//   - a recovery towards an offset or a drifting level does, beyond what
//     the written ho can be off by, and
//   - the rows show it themselves: the late rows cross the written ho, or
//     fall over the last fifth of the record by several noise widths less
//     than the best curve with the written ho does (they level off), or
//     more (they head for 0 and beyond, as under an ho written low).
#include <optional>
#include <vector>

#include "analysis/Readings.h"
#include "analysis/TypeCurveFit.h"

namespace tov {

// The record's own rest level: s = offset + drift·(t - t0) + A·e^(-λ(t-t0))
// fitted to rows first..last (t0 the first row's t), noise the same in s.
struct RestLevel {
  int first = 0, last = 0;
  double t0 = 0;
  double offset = 0, drift = 0;  // m, m/s (drift 0 when not fitted)
  double offsetError = 0, driftError = 0;
  double amplitude = 0, rate = 0;  // A, λ
  double rms = 0;                  // of the residuals (m)
  bool withDrift = false;
  // s of a row taken from the record's rest level.
  double corrected(double t, double s) const { return s - offset - drift * (t - t0); }
};
std::optional<RestLevel> fitRestLevel(const std::vector<Sample>& samples, int first, int last, bool withDrift);
// The noise misfits are compared with: the measured noise, at least what
// rounding to the reading step gives.
double misfitNoise(const Readings& readings);
// A model explains the rows when its rms is within this many noise widths.
inline constexpr double kExplained = 2.0;
// The best type curve (least rms) when it explains the rows; nullptr
// otherwise.
const TypeCurveFit* explainingCurve(const Readings& readings, const std::vector<TypeCurveFit>& curves);
// The rows, mistyped ones left out, with t and s known.
std::vector<Sample> knownSamples(const Readings& readings);
// The rms of one recovery s = A·e^(-λt) towards the written ho fitted to
// the usable rows (infinity where it cannot be fitted).
double oneRecoveryRms(const Readings& readings);
// The curve of a record bent by storage: one recovery towards the written
// ho does not explain the rows, the best type curve does (even at the
// least Ss searched, its tail is not one recovery's): within kExplained noise widths, or within twice
// that and half the recovery's rms (real records carry early rows off any
// model: a slug put in over seconds, the water's inertia); nullptr
// otherwise.
const TypeCurveFit* bendingCurve(const Readings& readings, const std::vector<TypeCurveFit>& curves);
// The rows show themselves that the written ho is not their rest level:
// at least two of them cross it by 3 noise widths, or, s still clear of
// 0, their last fifth falls by 4 of its standard errors less (or more)
// than the best curve with the written ho does over the same rows. Without
// curves only the crossing counts, or a last fifth that is flat while well
// above 0.
bool restLevelShown(const Readings& readings, const std::vector<TypeCurveFit>& curves);
// The rest level the rows support, when the written one is off beyond
// restError (and the fit's own error) and the rules above name it; nothing
// otherwise, or when the rows do not follow one recovery with a constant or
// drifting rest level.
std::optional<RestLevel> recordRestLevel(const Readings& readings, const std::vector<TypeCurveFit>& curves = {});
// The readings with s from the record's own rest level (noise, step and
// mistyped rows kept; the rows left out found again).
Readings restCorrected(const Readings& readings, const RestLevel& rest);

} // namespace tov
