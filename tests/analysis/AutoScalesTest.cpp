// Scales from the data: round ends past the data, log decades around s, the
// steady Q axis in the data's exponent, and when the data may replace them.
#include <gtest/gtest.h>

#include "analysis/AutoScales.h"
#include "record/CFormat.h"

namespace {

using namespace tov;

TestRecord readings(int formula, double lastT, double sLow, double sHigh, const char* q) {
  TestRecord r;
  r.set_formulaKind(cformat("%d", formula));
  for (int row = 1; row <= 10; ++row) {
    const double f = (row - 1) / 9.0;
    r.setCell(row, C_time, cformat("%g", lastT * f));
    r.setCell(row, C_pipeLevel, "1");
    r.setCell(row, C_level, cformat("%g", -5.7 + 3.1 * f));
    r.setCell(row, C_headDifference, cformat("%g", sHigh + (sLow - sHigh) * f));
    r.setCell(row, C_flow, q);
  }
  return r;
}

// The level held at 0 throughout, as a steady test at the pipe top holds it.
TestRecord levelHeld(TestRecord r) {
  for (int row = 1; row <= 10; ++row) r.setCell(row, C_level, "0");
  return r;
}

TEST(AutoScales, RoundEndsPastTheDataAndNoMoreThan200Intervals) {
  // A steady test's level held at the pipe top lay on the frame of its axis.
  TestRecord flat = readings(4, 1800, 2, 2, "1.1E-5");
  for (int row = 1; row <= 10; ++row) flat.setCell(row, C_level, "0");
  const struct { TestRecord record; std::map<int, std::string> expected; } rows[] = {
      {flat, {{F_graphBLevelFrom, "-0.05"}, {F_graphBLevelTo, "0.05"}}},
      {readings(0, 1800, 0.1, 3.24, ""),
       {{F_graphATimeTo, "2000"}, {F_graphATimeStep, "500"}, {F_graphATimeGrid2, "100"},
        {F_graphAValueFrom, "0.1"}, {F_graphAValueTo, "10"},
        {F_graphBLevelFrom, "-6"}, {F_graphBLevelTo, "-2"}, {F_graphBLevelStep, "1"}}},
      {readings(1, 95, 0.0003, 0.02, ""), {{F_graphATimeTo, "100"}, {F_graphAValueFrom, "0.0001"}, {F_graphAValueTo, "0.1"}}},
      // Q about 2.6E-5 no longer lies flat on a 0 .. 10 axis.
      {readings(4, 3600, 1, 1, "2.6E-5"),
       {{F_graphAValueFrom, "0"}, {F_graphAValueTo, "3E-5"}, {F_graphAValueStep, "1E-5"}, {F_graphAValueGrid2, "0.2E-5"},
        {F_graphBTimeTo, "4000"}}},
      // A level held constant in the middle of its axis, between labels: on
      // the bottom edge, or at a label, the label ran into the first point.
      {levelHeld(readings(4, 1800, 2, 2, "1.1E-5")),
       {{F_graphBLevelFrom, "-0.05"}, {F_graphBLevelTo, "0.05"}, {F_graphBLevelStep, "0.1"}, {F_graphBLevelGrid1, "0.05"}}},
  };
  for (const auto& r : rows) {
    const ScaleTexts got = autoScales(r.record);
    for (const auto& [field, text] : r.expected) EXPECT_EQ(got.at(field), text) << "field " << field;
    for (int grid : {F_graphATimeGrid2, F_graphBTimeGrid2, F_graphBLevelGrid2}) {
      const double span = toDouble(got.at(grid - 3)) - toDouble(got.at(grid - 4));
      EXPECT_LE(span / toDouble(got.at(grid)), 200.0) << "field " << grid;
    }
  }
  EXPECT_TRUE(autoScales(TestRecord{}).empty());
}

TEST(AutoScales, OnlyEmptyOrDefaultScalesCountAsDefaults) {
  const struct { int field; const char* text; bool isDefault; const char* formula = "0"; } rows[] = {
      {0, "", true}, {F_graphATimeTo, "1000", true}, {F_graphATimeTo, "1800", false},
      {F_graphAValueFrom, "0.01", true}, {F_graphAValueFrom, "0.05", false}, {F_graphBLevelTo, "2", true},
      // The steady dialog shows the Q - t time axis for the h - t graph: a
      // new test's 0 .. 1000 there kept 推奨点's first 計算更新 from fitting
      // the scales, and the point lay past the axis.
      {F_graphBTimeTo, "1000", false}, {F_graphBTimeTo, "1000", true, "4"},
  };
  for (const auto& r : rows) {
    TestRecord record;
    record.set_formulaKind(r.formula);
    record.set_graphATimeFrom("0");
    record.set_graphATimeTo("1000");
    record.set_graphAValueFrom("0.1");
    record.set_graphAValueTo("10");
    record.set_graphBLevelFrom("-10");
    record.set_graphBLevelTo("10");
    if (std::string(r.formula) == "4") record.set_graphAValueFrom("0");  // a new steady test's Q axis
    if (r.field) record.setField(r.field, r.text);
    EXPECT_EQ(scalesAreDefault(record), r.isDefault) << r.field << " " << r.text;
  }
}

} // namespace
