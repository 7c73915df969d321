#pragma once
// How far k can be trusted: the straight-line fit of log10 s on t, the
// recommended head range, the suggested segment with k from its fitted line
// and the interval of that k, and the checks of the test's fitness
// ("検討事項").
//
// Every place that shows these numbers (the analysis dialogs, the graph
// page, the command-line summary, the logger import and the batch summary)
// calls this module, so they all agree. Plain C++, no widgets.
//
// Typical use, for one test record:
//
//   const AnalysisSettings settings = readAnalysisSettings(installFolder);
//   const AnalysisReport report = analyseRecord(record, settings);
//   report.segment      // fit over the chosen points' rows (fields 40, 41)
//   report.fittedK      // k from the fitted a, by the record's formula
//   report.suggestion   // the "推奨区間": rows, k, its interval, the reason
//   report.checks       // "検討事項", each with its number and text
//
// When is a segment straight? R² alone cannot tell: it weighs the noise
// against the span of s, so a gentle curve over a long fall reaches 0.999
// while a straight record read to 1 cm fails on a few rows. A segment is
// straight (isStraight) when
//   - s falls over it by at least shortestFall (20 %) along the fitted line
//     (below leastFall, 40 %, the fall is short: its k comes with a note,
//     since the test below is weak over a short fall);
//   - the gradients of its first and second half (each at least 3 rows,
//     sharing the middle row when odd; segments of fewer than 5 rows have
//     no halves) agree within
//     halvesTolerance (10 %) of the whole one, plus what one resolution
//     (the reading step or 2.5 noise widths, the larger) at the ends of each
//     half can change them by: this sees curvature;
//   - every row lies within rowTolerance (3 %) of the line's s plus rowSteps
//     (1) resolutions: this sees a row across a break.
// The reading step is found from the digits of the h' readings (3 decimals:
// 1 mm; 2: 1 cm), never from ho's. The noise of s is measured from the
// scatter of each row about a smooth curve through its neighbours. Rows
// whose s is within zeroSteps (3) reading steps or 3 noise widths of 0 are
// left out of the suggestion and named; a row far off the line its
// neighbours make (a mistyped reading) is left out and named.
//
// The fit is weighted for noise that is the same in s at every row (what a
// tape or a logger gives): log s of a row at small s counts less. The 95 %
// interval of k comes from that fit's residuals (Student's t).
//
// The rest level: the record's own rest level is estimated by fitting
// s = c (+ r·t) + A·e^(-λt) to the rows; where c (or the drift r over the
// test) is beyond what the written ho can be off by (its last digit, the
// reading step) the rows are taken from that level, the rest level is
// named with both k, and the suggested k is the record's. The tolerances
// are in Analysis.ini (files/AnalysisIni.h). R² is still shown beside
// each fit.
//
// Rows are numbered from 1 as in the reading table.
//
// Each concern has a file of its own; this header brings them together and
// is the one door every caller uses:
//   Samples      the rows as (t, s), the reading step, s with its sign
//   LineFit      the straight line, k from its gradient, the interval, texts
//   Band         the recommended head range (s/H0 範囲)
//   Readings     the measured noise, the floor, mistyped rows
//   RestLevel    the record's own rest level against the written ho
//   PointsRest   which ho the analysis points are of
//   Suggestion   the straightness test and the suggested segment
//   Checks       検討事項
//   UnwrittenHo  検討事項 of a test whose ho was never written
//   SteadyPoint  the steady method's point, from the settled flow, and its k
//   TypeCurve, CbpModel, KgsModel, TypeCurveFit, BesselK
//                K and Ss by type curves with storage (CBP, KGS)
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/Band.h"
#include "analysis/Checks.h"
#include "analysis/LineFit.h"
#include "analysis/PointsRest.h"
#include "analysis/Readings.h"
#include "analysis/RestLevel.h"
#include "analysis/Samples.h"
#include "analysis/SteadyPoint.h"
#include "analysis/Suggestion.h"
#include "analysis/TypeCurveFit.h"
#include "analysis/UnwrittenHo.h"
#include "files/AnalysisIni.h"
#include "record/TestRecord.h"

namespace tov {

// The rows of points 1 and 2 (fields 40, 41) as the analysis dialog takes
// them for a test of `rows` complete rows: beyond the last row, the last
// row; 0 or less, row 1 (point 2: half the rows, at least 2, at most the
// last).
std::pair<int, int> pointRows(const TestRecord& record, int rows);

// Everything above for one record, the segment being the chosen points'
// rows (pointRows).
struct AnalysisReport {
  bool steady = false;
  int completeRows = 0;
  std::optional<LineFit> segment;  // unsteady, with at least one complete row
  std::optional<double> pointsK;   // k from the two points as written (as the dialog)
  std::optional<double> fittedK;   // k from the fitted a
  std::optional<KInterval> fittedInterval;
  Band band;
  BandPlace segmentPlace = BandPlace::Unknown;
  Suggestion suggestion;
  // k of the rows inside the band (at least 3), as a cross-check.
  std::optional<LineFit> bandFit;
  std::optional<double> bandK;
  // Points 1 and 2 are the suggested segment's end rows and their s the
  // fitted line's (fittedHeadText): "近似直線上の点".
  bool pointsOnLine = false;
  // s of each complete row from the record's own rest level, where it
  // differs from the written ho; empty otherwise.
  std::vector<Sample> ownRest;
  // The ho the points are of (PointsRest.h): the segment over their rows,
  // its k and its checks are of the same s.
  PointsRest pointsRest;
  // The type curves fitted with the written ho (CBP, KGS), as cross-checks;
  // empty without L, D and de.
  std::vector<TypeCurveFit> typeCurves;
  std::vector<Check> checks;
};
// The type curves of the record's complete rows with the written ho (the
// mistyped rows left out), with a skin or without; nothing without L, D
// and de.
std::vector<TypeCurveFit> typeCurvesOf(const TestRecord& record, const Readings& readings,
                                       const AnalysisSettings& settings, bool withSkin = false);
// One text per type curve of an unsteady report (TypeCurveFit::summary,
// k with `digits` decimals), or one saying why there is none; nothing for
// the steady method.
std::vector<std::string> typeCurveTexts(const AnalysisReport& report, int digits);
// digits: of k in the texts.
AnalysisReport analyseRecord(const TestRecord& record, const AnalysisSettings& settings, int digits = 2);

// "推奨区間" applied to a record: points 1 and 2 become the suggested
// segment's first and last rows with the fitted line's s at their t (so
// the two points' gradient is the fitted one, and older programs compute
// the same a and k from the file), a and k are computed (k with `digits`).
// Where the scales would leave the points or readings off the graph, they
// are set as 自動目盛り sets them, unless keepScales. Without a segment, a
// and k are emptied (no old k stays under a "no k"). The text says what
// was done (the suggestion's reason).
struct AppliedSuggestion {
  bool applied = false;  // the points were set
  std::string text;
};
AppliedSuggestion applySuggestion(TestRecord& record, const AnalysisSettings& settings, int digits,
                                  bool keepScales = false);

} // namespace tov
