#pragma once
// How far k can be trusted: the straight-line fit of log10 s on t, the
// recommended head range, the suggested segment, the spread of k over every
// straight segment, and the checks of the test's fitness ("検討事項").
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
//   report.suggestion   // the "推奨区間", with its reason text
//   report.spread       // "k の幅 ..." over every straight segment
//   report.checks       // "検討事項", each with its number and text
//
// For readings that are not (yet) in a record, build the samples yourself
// (row r of the record is samples[r - 1]) and call fitLine,
// suggestSegment, permeabilitySpread with a Geometry.
//
// Rows are numbered from 1 as in the reading table. Rows whose s is not
// above kLeastHead cannot be put on a log axis and are left out of fits
// (they still count as rows for the row numbers).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "record/TestRecord.h"

namespace tov {

// s at or below this cannot be fitted on a log axis (the gradient rule of
// the two points uses the same limit).
inline constexpr double kLeastHead = 0.0001;
// A straight segment for the suggestion and the spread has at least this
// many rows; a fit needs at least kLeastFitRows usable rows.
inline constexpr int kLeastStraightRows = 5;
inline constexpr int kLeastFitRows = 3;

// Our own settings, in kAnalysisSettingsFile in the install folder (beside
// Sys.ndx, which is never touched). Lines "name=value"; unknown names and
// unusable values are ignored (the defaults stand).
inline constexpr const char* kAnalysisSettingsFile = "Analysis.ini";
struct AnalysisSettings {
  double straightness = 0.99;  // R² a segment must reach to count as straight
  double bandLow = 0.15;       // the recommended band of s / H0
  double bandHigh = 0.25;
  bool fitOnPage = false;      // draw the fitted line and "R² .. (n ..)" on the page
  bool operator==(const AnalysisSettings&) const = default;
};
AnalysisSettings readAnalysisSettings(const std::filesystem::path& installFolder);
// False when the file could not be written.
bool writeAnalysisSettings(const std::filesystem::path& installFolder, const AnalysisSettings& settings);
// The lines of the file and back (what read and write use).
std::vector<std::string> analysisSettingsLines(const AnalysisSettings& settings);
AnalysisSettings analysisSettingsFromLines(const std::vector<std::string>& lines);
// The settings the running program uses (read where Sys.ndx is read).
AnalysisSettings& theAnalysisSettings();

// One reading row: elapsed time t (s) and head difference s (m).
struct Sample {
  double t = 0;
  double s = 0;
};
// The complete rows of an unsteady test (leading rows with numeric t and
// h'), t from column 1 and s from column 5 (0 when s is not a number).
std::vector<Sample> unsteadySamples(const TestRecord& record);

// The least-squares line log10 s = logS0 - a·t over rows first..last.
struct LineFit {
  int first = 0, last = 0;  // the rows asked for, 1-based, inclusive
  int n = 0;                // rows used (s above kLeastHead)
  double a = 0;             // gradient as the record's a: positive when s falls
  double logS0 = 0;         // log10 s at t = 0
  double r2 = 0;            // 0 when log s does not vary
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
// computes it from two points; nothing for unusable geometry or a failed
// formula.
std::optional<double> permeabilityFromGradient(const Geometry& geometry, double a);

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
// "推奨範囲内", "一部が推奨範囲内", "推奨範囲外", "" for Unknown.
const char* bandPlaceText(BandPlace place);

// The suggested segment ("推奨区間"). The rule:
//  1. A segment is straight when it has at least kLeastStraightRows usable
//     rows (all of them when the test has fewer), s falls over it (a > 0)
//     and its R² reaches the straightness setting.
//  2. Of the straight segments, the one that ends at the latest row (the
//     late part of a recovery is the formation's; an early steep part is
//     the drainage of the filter pack or the pipe); of those, the longest.
//  3. No straight segment: the segment of as many rows with the highest R²
//     (of those where s falls), marked poor.
//  4. Fewer than kLeastFitRows usable rows: no segment, marked poor.
struct Suggestion {
  bool found = false;  // a segment is given (fit.first .. fit.last)
  bool poor = true;    // it does not meet the rule's straightness
  LineFit fit;
  BandPlace band = BandPlace::Unknown;
  std::string reason;  // shown beside the button
};
Suggestion suggestSegment(const std::vector<Sample>& samples, const Band& band, const AnalysisSettings& settings);

// The spread of k: the lowest and highest k over every straight segment
// (rule 1 above, always at least kLeastStraightRows rows).
struct KSpread {
  int segments = 0;
  double low = 0, high = 0;
  // "k の幅 1.9E-006 〜 2.3E-006 (12 区間)", or "k の幅 なし (直線区間がありません)".
  std::string text() const;
};
KSpread permeabilitySpread(const std::vector<Sample>& samples, const Geometry& geometry,
                           const AnalysisSettings& settings);

// The checks of the test's fitness. They warn; nothing is blocked.
enum class CheckKind {
  ShapeRatio,      // formulas 0 and 2 need L/D >= 4; value L/D
  Straightness,    // the segment's R² below the setting; value R²
  FewRows,         // fewer than 3 usable rows in the segment; value rows
  NotFalling,      // s does not fall over the segment; value a
  FirstHeadVsSp,   // first s more than 20 % from Sp; value percent
  OutsideBand,     // the segment wholly outside the band; value s/H0 at its middle
  SteadyFlowDrift, // Q of the last three readings varies more than 5 %; value percent
  RecordedK,       // the recorded k is not the k of the recorded a (steady: Qo, So) and sizes; value percent
};
struct Check {
  CheckKind kind;
  double value = 0;
  std::string text;  // Japanese, with the number
};
inline constexpr double kLeastApproxRatio = 4.0;
inline constexpr double kFirstHeadTolerance = 0.20;
inline constexpr double kSteadyFlowTolerance = 0.05;

// Checks of an unsteady test over rows first..last.
std::vector<Check> unsteadyChecks(const TestRecord& record, const std::vector<Sample>& samples, int first, int last,
                                  const AnalysisSettings& settings);
// Checks of a steady test (the flow of the last three complete readings).
std::vector<Check> steadyChecks(const TestRecord& record);
// The recorded k against the k its own headings give (a, or Qo and So, with
// L, D and de): a check when the recorded text cannot be that k rounded to
// the text's own digits (a file edited elsewhere, or an old one).
std::optional<Check> recordedPermeabilityCheck(const TestRecord& record);
// The steady method's complete rows (h' and Q numeric), as (t, Q).
std::vector<Sample> steadyFlowSamples(const TestRecord& record);

// Everything above for one record, the segment being the chosen points'
// rows (fields 40 and 41) clamped to the complete rows.
struct AnalysisReport {
  bool steady = false;
  int completeRows = 0;
  std::optional<LineFit> segment;  // unsteady, when both rows are complete
  std::optional<double> pointsK;   // k from the two points (as the dialog)
  std::optional<double> fittedK;   // k from the fitted a
  Band band;
  BandPlace segmentPlace = BandPlace::Unknown;
  Suggestion suggestion;
  KSpread spread;
  std::vector<Check> checks;
};
AnalysisReport analyseRecord(const TestRecord& record, const AnalysisSettings& settings);

// (fitted - points) / points in percent.
std::optional<double> percentDifference(double pointsK, double fittedK);
// "R² 0.998 (n 12)", R² cut to three decimals.
std::string fitCaption(const LineFit& fit);
// R² cut (not rounded) to four decimals, "0.9999": a fit that is not
// perfect never shows as 1.0000, nor one below a limit as reaching it.
std::string r2Text(double r2);

} // namespace tov
