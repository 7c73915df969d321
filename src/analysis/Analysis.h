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
#include <optional>
#include <string>
#include <vector>

#include "files/AnalysisIni.h"
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

// The least-squares line log10 s = logS0 - a·t over rows first..last,
// each row weighted by s² (noise the same in s at every row).
struct LineFit {
  int first = 0, last = 0;  // the rows asked for, 1-based, inclusive
  int n = 0;                // rows used (s above kLeastHead)
  double a = 0;             // gradient as the record's a: positive when s falls
  double logS0 = 0;         // log10 s at t = 0
  double r2 = 0;            // 0 when log s does not vary
  double aError = 0;        // standard error of a from the residuals (0 when n < 3)
  // n >= kLeastFitRows and the times differ.
  bool usable = false;
  // The fitted s at t.
  double sAt(double t) const;
};
LineFit fitLine(const std::vector<Sample>& samples, int first, int last);

// What k is computed from: formulaKind, L, D, de and the steady values.
struct Geometry {
  int formula = 0;
  double length = 0, bore = 0, equivalentDiameter = 0;
  double steadyFlow = 0, steadyHead = 0;
  // L >= 0.001, D >= 0.001 (the analysis dialogs' check).
  bool usable() const { return length >= 0.001 && bore >= 0.001; }
  double ratio() const { return bore > 0 ? length / bore : 0; }
};
Geometry geometryOf(const TestRecord& record);
// k from a gradient a by the record's formula (0..3), as the dialog
// computes it from two points; nothing for unusable geometry, a failed
// formula or a k that is not above 0.
std::optional<double> permeabilityFromGradient(const Geometry& geometry, double a);

// The two-sided 95 % quantile of Student's t with df degrees of freedom.
double studentT95(int df);
// The 95 % confidence interval of k from the standard error of the fitted
// gradient (t with n - 2 degrees of freedom); k is proportional to a.
// It is printed rounded outward (intervalText).
struct KInterval {
  double k = 0, low = 0, high = 0;  // low 0: the interval reaches a <= 0
};
std::optional<KInterval> permeabilityInterval(const Geometry& geometry, const LineFit& fit);

// The recommended head range: s / H0 between bandLow and bandHigh, H0 the
// initial head difference (Sp when it is a number above 0, else s of the
// first complete row).
struct Band {
  double h0 = 0;
  double low = 0, high = 0;  // in s (m)
  bool known() const { return h0 > kLeastHead; }
};
Band recommendedBand(const TestRecord& record, const std::vector<Sample>& samples, const AnalysisSettings& settings);
enum class BandPlace { Unknown, Inside, Partly, Outside };
// Where rows first..last (their s) lie against the band.
BandPlace placeInBand(const std::vector<Sample>& samples, int first, int last, const Band& band);
// "s/H0 範囲内", "一部が s/H0 範囲内", "s/H0 範囲外", "" for Unknown.
const char* bandPlaceText(BandPlace place);

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

// The straightness test of rows first..last (see the top of this file),
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
                          const AnalysisSettings& settings);
// Without a reading step or geometry (no k).
Suggestion suggestSegment(const std::vector<Sample>& samples, const Band& band, const AnalysisSettings& settings);

// The checks of the test's fitness. They warn; nothing is blocked.
enum class CheckKind {
  ShapeRatio,      // formulas 0 and 2 need L/D >= 4; value L/D
  Straightness,    // the chosen segment fails the straightness test; value its halves' difference
  FewRows,         // fewer than 3 usable rows in the segment; value rows
  NotFalling,      // s does not fall over the segment; value a
  FirstHeadVsSp,   // first s more than 20 % from Sp; value percent
  OutsideBand,     // the segment wholly outside the band; value s/H0 at its middle
  SteadyFlowDrift, // Q of the last three readings varies more than 5 %; value percent
  RecordedK,       // the recorded k is not the k of the recorded a (steady: Qo, So) and sizes; value percent
  Oscillation,     // s rises again after falling by more than a few reading steps; value the rise (m)
  Incomplete,      // the tail flattens: late gradient a small fraction of the segment's; value percent
  Rising,          // s does not fall over the record; value a of the whole record
  BelowResolution, // rows left out near s = 0; value their count
  LowR2,           // the chosen segment's R² below the straightness setting; value R²
  RestLevel,       // the record's rest level differs from the written ho; value the difference (m)
  RestSensitive,   // the suggested k moves much when ho moves within its error; value percent
  EarlierLine,     // an earlier straight line with another k; value that k
  LaterLine,       // a later line not taken, its k too uncertain; value that k
  ShortFall,       // the suggested segment's s falls less than leastFall; value percent
  MistypedRow,     // a row far off its neighbours' line; value the row
  PointsOutside,   // an analysis point outside the graph's scales; value the point
};
struct Check {
  CheckKind kind;
  double value = 0;
  std::string text;  // Japanese, with the number
};
inline constexpr double kLeastApproxRatio = 4.0;
inline constexpr double kFirstHeadTolerance = 0.20;
inline constexpr double kSteadyFlowTolerance = 0.05;
// A tail whose gradient is below this fraction of the segment's flattens.
inline constexpr double kFlatTail = 0.3;
// A rise of s by more than this many reading steps (and 1 % of s) is an oscillation.
inline constexpr double kOscillationSteps = 3.0;

// Checks of an unsteady test over rows first..last.
std::vector<Check> unsteadyChecks(const TestRecord& record, const std::vector<Sample>& samples, int first, int last,
                                  const AnalysisSettings& settings);
// Checks of the record's shape: oscillation, a flattening tail after the
// suggested segment, s rising, rows left out, mistyped rows. The rise and
// the flattening are compared with the measured noise.
std::vector<Check> recordChecks(const Readings& readings, const Suggestion& suggestion);
// The notes of the suggestion: the rest level, its sensitivity, an earlier
// or later line, a short fall. digits: of k.
std::vector<Check> suggestionChecks(const TestRecord& record, const Suggestion& suggestion, int digits = 2);
// Analysis points outside the log s - t graph's scales (fields 43, 44, 48,
// 49): the page would draw them off its frame.
std::optional<Check> pointsOutsideCheck(const TestRecord& record);
// Checks of a steady test (the flow of the last three complete readings).
std::vector<Check> steadyChecks(const TestRecord& record);
// The recorded k against the k its own headings give (a, or Qo and So, with
// L, D and de): a check when the recorded text cannot be that k rounded to
// the text's own digits (a file edited elsewhere, or an old one).
std::optional<Check> recordedPermeabilityCheck(const TestRecord& record);
// The steady method's complete rows (h' and Q numeric), as (t, Q).
std::vector<Sample> steadyFlowSamples(const TestRecord& record);

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
  std::optional<double> pointsK;   // k from the two points (as the dialog)
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
  // differs from the written ho (the segment and its checks are of these);
  // empty otherwise.
  std::vector<Sample> ownRest;
  std::vector<Check> checks;
};
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

// (fitted - points) / points in percent.
std::optional<double> percentDifference(double pointsK, double fittedK);
// "R² 0.9980 (n 12)".
std::string fitCaption(const LineFit& fit);
// R² cut (not rounded) to four decimals, "0.9999": a fit that is not
// perfect never shows as 1.0000, nor one below a limit as reaching it.
// Every R² shown goes through this.
std::string r2Text(double r2);
// "k 2.01E-006 (95 % 2.00E-006〜2.02E-006)": k with `digits` decimals,
// the bounds rounded outward, with more digits (up to 8) where the two
// would print alike.
std::string intervalText(const KInterval& k, int digits);
// The two bounds as intervalText prints them.
std::pair<std::string, std::string> intervalBounds(const KInterval& k, int digits);
// The fitted line's s at t as the point fields hold it ("%.6g"): the two
// points' gradient is then the fitted gradient to 6 digits.
std::string fittedHeadText(const LineFit& fit, double t);

} // namespace tov
