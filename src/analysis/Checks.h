#pragma once
// The checks of a test's fitness ("検討事項"). They warn; nothing is blocked.
#include <optional>
#include <string>
#include <vector>

#include "analysis/Readings.h"
#include "analysis/Suggestion.h"
#include "files/AnalysisIni.h"
#include "record/TestRecord.h"

namespace tov {

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
  Storage,         // the record bent by storage, explained by a type curve with the written ho; value its Ss
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
// A mistyped row, named in h' where h' can be given from s.
Check mistypedCheck(const TestRecord& record, const Readings::Mistyped& m);
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

} // namespace tov
