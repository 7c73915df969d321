// Which ho the analysis points are of, found from their s, and the points
// taken again when the headings change ho: on records whose ho is written
// 5 cm off (the record's own rest level found) and on a clean one.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "analysis/Analysis.h"
#include "record/CFormat.h"
#include "support/FieldRecords.h"

namespace {

using namespace tov;

TestRecord restOff(double off) {
  fieldrecords::Shape shape;
  shape.restOff = off;
  return fieldrecords::make(shape);
}

// The points' s as the rows of column 5 give them.
void rowsPoints(TestRecord& r) {
  r.setField(F_pointT1, r.cell(r.fieldInt(F_point1Row), C_time));
  r.setField(F_pointT2, r.cell(r.fieldInt(F_point2Row), C_time));
  r.setField(F_pointS1, r.cell(r.fieldInt(F_point1Row), C_headDifference));
  r.setField(F_pointS2, r.cell(r.fieldInt(F_point2Row), C_headDifference));
}

TEST(PointsRest, TheHoThePointsAreOfIsFoundFromTheirS) {
  struct Row {
    const char* what;
    double off;
    std::function<void(TestRecord&)> take;
    RestSource source;
    PointsTaken taken;
    std::optional<double> former;  // the ho the points were taken with
  };
  const Row rows[] = {
      {"no points yet", 0.05, [](TestRecord&) {}, RestSource::Record, PointsTaken::None, {}},
      {"推奨区間 on the record's ho", 0.05,
       [](TestRecord& r) { applySuggestion(r, AnalysisSettings{}, 2); }, RestSource::Record, PointsTaken::Line, {}},
      {"the rows' s as written", 0.05, rowsPoints, RestSource::Written, PointsTaken::Rows, {}},
      {"the rows' s of the record's ho", 0.05,
       [](TestRecord& r) {
         rowsPoints(r);
         const auto own = analyseRecord(r, AnalysisSettings{}).ownRest;
         r.setField(F_pointS1, headText(own[static_cast<std::size_t>(r.fieldInt(F_point1Row) - 1)].s));
         r.setField(F_pointS2, headText(own[static_cast<std::size_t>(r.fieldInt(F_point2Row) - 1)].s));
       },
       RestSource::Record, PointsTaken::Rows, {}},
      {"the rows' s before ho was written 3 cm lower", 0.05,
       [](TestRecord& r) {
         TestRecord earlier = r;
         earlier.setField(F_equilibriumLevel, cformat("%.3f", r.fieldValue(F_equilibriumLevel) + 0.03));
         earlier.deriveAllRows();
         rowsPoints(earlier);
         for (int f : {F_pointT1, F_pointT2, F_pointS1, F_pointS2}) r.setField(f, earlier.field(f));
       },
       RestSource::Written, PointsTaken::Unknown, -0.95 + 0.03},
      {"one row's s as written, the other's of another ho", 0.05,
       [](TestRecord& r) {
         rowsPoints(r);
         r.setField(F_pointS2, cformat("%g", r.fieldValue(F_pointS2) + 0.03));
       },
       RestSource::Written, PointsTaken::Unknown, {}},
      {"s typed by hand", 0.05,
       [](TestRecord& r) {
         rowsPoints(r);
         r.setField(F_pointS1, "1.9");
         r.setField(F_pointS2, "0.02");
       },
       RestSource::Written, PointsTaken::Unknown, {}},
      {"a clean record's rows", 0, rowsPoints, RestSource::Written, PointsTaken::Rows, {}},
  };
  for (const Row& row : rows) {
    TestRecord record = restOff(row.off);
    row.take(record);
    const AnalysisReport report = analyseRecord(record, AnalysisSettings{});
    ASSERT_EQ(report.ownRest.empty(), row.off == 0) << row.what;
    EXPECT_EQ(report.pointsRest.source, row.source) << row.what;
    EXPECT_EQ(report.pointsRest.taken, row.taken) << row.what;
    ASSERT_EQ(report.pointsRest.formerLevel.has_value(), row.former.has_value()) << row.what;
    if (row.former) {
      EXPECT_NEAR(*report.pointsRest.formerLevel, *row.former, 0.0005) << row.what;
    }
    // The segment over the points' rows is of the points' s.
    const auto& shown = row.source == RestSource::Record ? report.ownRest : unsteadySamples(record);
    ASSERT_TRUE(report.segment) << row.what;
    EXPECT_DOUBLE_EQ(report.segment->a, fitLine(shown, report.segment->first, report.segment->last).a) << row.what;
  }
}

TEST(PointsRest, PointsAreTakenAgainWhenTheHeadingsChangeHo) {
  struct Row {
    const char* what;
    std::function<void(TestRecord&)> take;
    double newHo;
    bool retaken;
    RestSource source;  // of the points after
  };
  const Row rows[] = {
      {"the rows' s, ho 2 cm higher", rowsPoints, -0.93, true, RestSource::Written},
      {"推奨区間, ho corrected to the record's", [](TestRecord& r) { applySuggestion(r, AnalysisSettings{}, 2); }, -1.0,
       true, RestSource::Written},
      {"s typed by hand", [](TestRecord& r) {
         rowsPoints(r);
         r.setField(F_pointS1, "1.9");
       },
       -0.93, false, RestSource::Written},
  };
  for (const Row& row : rows) {
    TestRecord record = restOff(0.05);
    row.take(record);
    const TestRecord before = record;
    record.setField(F_equilibriumLevel, cformat("%.3f", row.newHo));
    record.deriveAllRows();
    const auto retaken = retakePoints(record, before, AnalysisSettings{}, 2);
    ASSERT_EQ(retaken.has_value(), row.retaken) << row.what;
    const AnalysisReport report = analyseRecord(record, AnalysisSettings{});
    if (!row.retaken) {
      for (int f : {F_pointS1, F_pointS2, F_gradientText, F_permeabilityText})
        EXPECT_EQ(record.field(f), before.field(f)) << row.what;
      continue;
    }
    EXPECT_EQ(retaken->kBefore, before.permeabilityText()) << row.what;
    EXPECT_EQ(retaken->kAfter, record.permeabilityText()) << row.what;
    EXPECT_EQ(report.pointsRest.source, row.source) << row.what;
    EXPECT_EQ(report.pointsRest.taken, before.field(F_pointS1) == before.cell(1, C_headDifference)
                                           ? PointsTaken::Rows
                                           : PointsTaken::Line)
        << row.what;
    // a and k are the points' own.
    const auto a = computeGradient(record.fieldValue(F_pointT1), record.fieldValue(F_pointS1),
                                   record.fieldValue(F_pointT2), record.fieldValue(F_pointS2));
    ASSERT_TRUE(a) << row.what;
    EXPECT_EQ(record.gradientText(), cformat("%g", *a)) << row.what;
    EXPECT_EQ(record.permeabilityText(), formatPermeability(*permeabilityFromGradient(geometryOf(record), *a), 2));
  }
  // A steady test has no such points.
  TestRecord steady = restOff(0.05);
  rowsPoints(steady);
  steady.setField(F_formulaKind, "4");
  const TestRecord before = steady;
  steady.setField(F_equilibriumLevel, "-0.9");
  steady.deriveAllRows();
  EXPECT_FALSE(retakePoints(steady, before, AnalysisSettings{}, 2));
}

} // namespace
