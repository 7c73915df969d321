#pragma once
// The straightness test of a run of rows and the suggested segment
// ("推奨区間") with its k.
#include <optional>
#include <string>
#include <vector>

#include "analysis/Band.h"
#include "analysis/LineFit.h"
#include "analysis/Readings.h"
#include "analysis/RestLevel.h"
#include "files/AnalysisIni.h"

namespace tov {

// The straightness test of rows first..last (see the top of Analysis.h),
// over the rows not left out.
struct Straightness {
  bool straight = false;
  LineFit fit;
  double halvesDifference = 0;  // |a1 - a2| / a (0 without halves)
  double worstRow = 0;          // the largest |s - line| / s of a row
  double fall = 0;              // 1 - s(end) / s(start) along the line
};
Straightness straightnessOf(const Readings& readings, int first, int last, const AnalysisSettings& settings);

// The suggested segment ("推奨区間"). The rule:
//  1. A candidate has at least kLeastStraightRows usable rows (all of them
//     when the test has fewer, at least kLeastFitRows), starts and ends on
//     a usable row, and passes the straightness test (s falls over it).
//  2. Each candidate's uncertainty u combines the 95 % half-width of its k
//     and how far its k moves when ho moves by what it can be off by
//     (relative to k). Candidates whose s falls by at least leastFall come
//     first; short falls only when there is no other.
//  3. Of the candidates with u within twice the least u plus 1 %, the one
//     that ends at the latest row (the late part of a recovery is the
//     formation's; an early steep part is the drainage of the filter pack
//     or the water in the pipe); of those, the longest. A later line whose
//     k is that uncertain (rows with s of a few reading steps or noise
//     widths, or a tail bent by a wrong ho) is named, not taken.
//  4. No candidate: no segment and no k, with the reason.
// When the record's rest level is off (recordRestLevel), the rule runs on
// the rows taken from the record's rest level, and the k from the written
// ho is kept beside it.
// A record bent by storage (a type curve with the written ho explains it,
// one recovery s = A·e^(-λt) does not: it has no straight part over its
// fall, and the rule above would take the flattest tail) gets the rows of
// the recommended head range instead (Butler's s/H0 0.15-0.25 for the
// Hvorslev-type formulas), at least kLeastFitRows of them (the nearest
// rows added where the range holds fewer); the same where the rule finds
// no segment at all.
// An earlier straight line (a candidate ending at or before the segment's
// first row, its gradient differing by more than halvesTolerance) is named
// with its own k.
// Cost: every run of rows is a candidate (n²/2 for n usable rows), each
// tested in a few operations from running sums plus its rows until one
// fails; the rest level fits a few windows of rows 70 times each.
struct Suggestion {
  bool found = false;  // a segment is given (fit.first .. fit.last)
  LineFit fit;
  BandPlace band = BandPlace::Unknown;
  std::optional<KInterval> k;          // k of the fitted line with its 95 % interval
  std::optional<LineFit> earlier;      // an earlier straight line
  std::optional<double> earlierK;
  std::optional<LineFit> later;        // a later line not taken (its k too uncertain)
  std::optional<double> laterK;
  double fall = 0;                     // of s along the segment's line
  bool shortFall = false;              // fall below leastFall
  double restSensitivity = 0;          // |k change| / k when ho moves by restError
  double restError = 0;
  std::optional<RestLevel> restLevel;  // the record's rest level, when the written ho is off
  std::optional<TypeCurveFit> storage; // the curve that explains a record bent by storage (the band's rows taken)
  double bandLow = 0, bandHigh = 0;    // the range of s/H0 then taken
  std::optional<LineFit> writtenFit;   // the segment with the written ho
  std::optional<double> writtenK;
  // "区間の取り方による k の幅": k over the sub-segments of the segment that
  // pass the straightness test.
  int subSegments = 0;
  double spreadLow = 0, spreadHigh = 0;
  std::string reason;  // shown beside the button
  // "10〜30 行 (n 21) k 2.01E-006 (95 % 2.00E-006〜2.02E-006)", or
  // "なし (the reason)"; k with `digits` decimals.
  std::string summary(int digits = 2) const;
  std::string spreadText(int digits = 2) const;
  // The range alone: "2.01E-006〜2.06E-006 (183 区間)", or "なし".
  std::string spreadRange(int digits = 2) const;
};
Suggestion suggestSegment(const Readings& readings, const Band& band, const Geometry& geometry,
                          const AnalysisSettings& settings, const std::vector<TypeCurveFit>& curves = {});
// Without a reading step or geometry (no k).
Suggestion suggestSegment(const std::vector<Sample>& samples, const Band& band, const AnalysisSettings& settings);

} // namespace tov
