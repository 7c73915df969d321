#pragma once
// Which rest level ho the analysis points of a record are of. The s of a
// row depends on ho, and the points' s1 and s2 (and so a and k) were taken
// with one ho: the written one (the rows' s as the file holds them), or the
// record's own (RestLevel) where the analysis finds the written one off.
// The page and the dialog draw and print every s from that one ho, so that
// no number beside k belongs to another.
//
// The file keeps only the rows' s of the written ho (older programs read
// them); which ho the points are of is found from the points themselves:
// their s are a row's s or the line's over their rows, of one ho or the
// other. Points whose s are both the rows' s of another written ho, shifted
// alike, were taken before ho was changed: that ho is named.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/RestLevel.h"
#include "analysis/Samples.h"
#include "files/AnalysisIni.h"
#include "record/TestRecord.h"

namespace tov {

enum class RestSource { Written, Record };

// How the points' s were taken.
enum class PointsTaken {
  None,     // no points (s1, s2 or their rows are no numbers)
  Rows,     // the rows' s
  Line,     // the s at their t of the line fitted over their rows
  Unknown,  // neither: the engineer's own (or a file edited elsewhere)
};

struct PointsRest {
  RestSource source = RestSource::Written;
  PointsTaken taken = PointsTaken::None;
  // Rows' s of another written ho, which is given (GL m); source Written.
  std::optional<double> formerLevel;
};

// The points' ho of a record with points on rows row1 and row2: `written`
// the rows' s of the written ho (column 5), `own` those of the record's own
// rest level (empty when the written ho is not off), `onSuggestedLine`
// whether they are the suggested segment's line's (of `own` where given).
// Without points: the record's own ho where there is one.
PointsRest pointsRestOf(const TestRecord& record, int row1, int row2, const std::vector<Sample>& written,
                        const std::vector<Sample>& own, bool onSuggestedLine);

// The text of an s as the rows and the point fields hold it ("%g").
std::string headText(double s);
// s1 and s2 on rows row1 and row2 from `samples` (the s of one ho): the
// rows' s, or with onLine the s at their t of the line fitted over rows
// row1..row2 (fittedHeadText); nothing where a row is out of range.
std::optional<std::pair<std::string, std::string>> pointHeadTexts(const std::vector<Sample>& samples, int row1,
                                                                  int row2, bool onLine);

// The record's own rest level (GL m) at the first and the last complete row
// (alike without a drift); nothing where ho or h is no number.
std::optional<std::pair<double, double>> recordLevels(const TestRecord& record, const RestLevel& rest);
// "-2.501m", or with a drift "-2.501〜-2.480m".
std::string recordLevelText(const TestRecord& record, const RestLevel& rest);

// After a change of the headings that changed the rows' s (ho, the pipe
// top): the points that `before` had taken from rows or a line are taken
// again on the same rows, the same way, from the same ho (the record's own
// where they were of it and it is still found, else the written one), and a
// and k computed from them (k with `digits`), so that the points, a and k
// are never of an ho the record no longer has. Nothing (and the record as
// it is) where there were no such points or their s did not change.
struct RetakenPoints {
  std::string kBefore, kAfter;  // "" for none
};
std::optional<RetakenPoints> retakePoints(TestRecord& record, const TestRecord& before,
                                          const AnalysisSettings& settings, int digits);

} // namespace tov
