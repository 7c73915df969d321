#pragma once
// The record's own rest level: where the recovery the rows follow levels
// off (or drifts to), against the written ho.
#include <optional>
#include <vector>

#include "analysis/Readings.h"

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
// The rest level the rows support, when the written one is off beyond
// restError (and the fit's own error); nothing when it is not, or when the
// rows do not follow one recovery with a constant or drifting rest level.
std::optional<RestLevel> recordRestLevel(const Readings& readings);
// The readings with s from the record's own rest level (noise, step and
// mistyped rows kept; the rows left out found again).
Readings restCorrected(const Readings& readings, const RestLevel& rest);

} // namespace tov
