#pragma once
// The rows of a test as the analysis reads them: (t, s) pairs, the reading
// step the h' readings are written to, how far the written ho can be off,
// and s with its sign (a wrong ho makes late rows cross 0).
#include <cmath>
#include <vector>

#include "record/TestRecord.h"

namespace tov {

// s at or below this cannot be fitted on a log axis (the gradient rule of
// the two points uses the same limit).
inline constexpr double kLeastHead = 0.0001;
// A suggested segment has at least this many rows (all usable rows when the
// test has fewer); a fit needs at least kLeastFitRows usable rows.
inline constexpr int kLeastStraightRows = 5;
inline constexpr int kLeastFitRows = 3;

// One reading row: elapsed time t (s) and head difference s (m).
struct Sample {
  double t = 0;
  double s = 0;
};
// The complete rows of an unsteady test (leading rows with numeric t and
// h'), t from column 1 and s from column 5 (0 when s is not a number).
std::vector<Sample> unsteadySamples(const TestRecord& record);
// The reading step of s (m): one unit in the last decimal the h' readings
// of the complete rows give (0.001 for readings to 1 mm), at most 0.1 and
// at least 0.000001; 0 when there are no readings.
double readingStep(const TestRecord& record);
// How far the written ho can be off: one unit in its last decimal, at
// least the reading step; the reading step when ho is no number.
double restLevelError(const TestRecord& record, double step);
// s with its sign, ho - h of each complete row taken positive at the first
// row (a wrong ho makes late rows cross 0); column 5 where h or ho is no
// number.
std::vector<Sample> signedSamples(const TestRecord& record);
// The steady method's complete rows (h' and Q numeric), as (t, Q).
std::vector<Sample> steadyFlowSamples(const TestRecord& record);
// s that a log axis can take.
inline bool usableHead(double s) { return std::isfinite(s) && s > kLeastHead; }

} // namespace tov
