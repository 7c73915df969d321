#pragma once
// The readings as the suggestion sees them: the measured noise of s, the
// floor below which rows are left out, and the rows mistyped or misread.
#include <vector>

#include "analysis/Samples.h"
#include "files/AnalysisIni.h"

namespace tov {

// The readings as the suggestion sees them.
struct Readings {
  std::vector<Sample> samples;
  double step = 0;            // the reading step of s (0: unknown, only kLeastHead applies)
  double noise = 0;           // the measured noise of s (m, one standard deviation)
  double restError = 0;       // how far the written ho can be off (m)
  std::vector<int> leftOut;   // rows within zeroSteps reading steps or 3 noise widths of 0
  double floor = kLeastHead;  // s at or below this is left out
  // Rows far off the line their neighbours make, with the s that line gives.
  struct Mistyped {
    int row = 0;
    double s = 0, expected = 0;
  };
  std::vector<Mistyped> mistyped;
  // The noise and resolution the straightness test allows for.
  double resolution() const;
};
// restError 0: the reading step.
Readings readingsOf(std::vector<Sample> samples, double step, const AnalysisSettings& settings,
                    double restError = 0);
// The noise of s (one standard deviation, m): the median scatter of each
// row about a quadratic in t through its two neighbours on either side.
double measuredNoise(const std::vector<Sample>& samples, double step);

} // namespace tov
