// The test record: the numeric-text check, row counting, derived h and s,
// flow-text splitting and the scale defaults.
#include <gtest/gtest.h>

#include <string>

#include "record/CFormat.h"
#include "record/TestRecord.h"

namespace {

using tov::TestRecord;

TEST(NumberText, ClassifiesByTheFirstNonBlankCharacter) {
  const struct { const char* text; int expected; } rows[] = {
      {" 12", 1},   {"12", 1},    {"-0.5", 1}, {".5", 1},    {"+3", 1},   {"1abc", 1},
      {"-", 1},     {"\t\r\n\v\f7", 1},        {"", -1},     {"   ", -1}, {"\t\r\n", -1},
      {"abc", 0},   {"!5", 0},    {"abc1", 0}, {"E5", 0},    {" x1", 0},  {"　1", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(tov::classifyNumberText(r.text), r.expected) << '"' << r.text << '"';
  EXPECT_TRUE(tov::isNumberText("0"));
  EXPECT_FALSE(tov::isNumberText(" "));
}

TEST(NumberText, SplitsFlowTextAtTheFirstE) {
  const struct { const char* text; const char* mantissa; const char* exponentPart; const char* exponent; } rows[] = {
      {"2.5E-6", "2.5", "E-6", "-6"},
      {"1.5E-5", "1.5", "E-5", "-5"},
      {"3", "3", "", ""},
      {"3E", "3", "E", ""},
      {"1E2E3", "1", "E2E3", "2E3"},
      {"2.5e-6", "2.5e-6", "", ""},  // only the capital letter splits
      {"E-6", "", "", ""},            // fails the number check
      {"", "", "", ""},
      {"abc", "", "", ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(tov::splitFlowText(r.text, 0), r.mantissa) << r.text;
    EXPECT_EQ(tov::splitFlowText(r.text, 1), r.exponentPart) << r.text;
    EXPECT_EQ(tov::splitFlowText(r.text, 2), r.exponent) << r.text;
    if (*r.mantissa) {
      EXPECT_EQ(tov::splitFlowText(r.text, 0) + tov::splitFlowText(r.text, 1), r.text);
    }
  }
}

TEST(TestRecordAccess, OutOfRangeReadsEmptyAndWritesNothing) {
  TestRecord r;
  for (int f : {0, -1, 101, 1000}) {
    r.setField(f, "x");
    EXPECT_EQ(r.field(f), "");
  }
  r.setField(1, "first");
  r.setField(100, "last");
  EXPECT_EQ(r.surveyName(), "first");
  EXPECT_EQ(r.field(100), "last");
  for (auto [row, column] : {std::pair{0, 1}, {121, 1}, {1, 0}, {1, 7}, {-5, -5}}) {
    r.setCell(row, column, "x");
    EXPECT_EQ(r.cell(row, column), "");
  }
  r.setCell(120, 6, "corner");
  EXPECT_EQ(r.readings.cell(120, 6), "corner");
  EXPECT_EQ(r.lastRowWithText(), 120);

  r.set_sectionLength(" 1.5abc");
  EXPECT_DOUBLE_EQ(r.fieldValue(tov::F_sectionLength), 1.5);
  r.set_formulaKind("4");
  EXPECT_EQ(r.fieldInt(tov::F_formulaKind), 4);
  EXPECT_TRUE(r.fieldIsNumber(tov::F_formulaKind));

  r.clearRecord();
  EXPECT_EQ(r, TestRecord());
  EXPECT_EQ(r.lastRowWithText(), 0);
}

TEST(TestRecordAccess, TheRecordIsOneInstance) {
  EXPECT_EQ(&tov::theRecord(), &tov::theRecord());
}

TEST(TestRecordRows, CountStopsAtTheFirstRowWithoutANumber) {
  TestRecord r;
  EXPECT_EQ(r.countRows(), 0);
  for (int row = 1; row <= 5; ++row) r.setCell(row, 1, tov::cformat("%d", row * 10));
  r.setCell(7, 1, "70");  // behind the gap: not counted
  r.setCell(3, 2, "x");
  EXPECT_EQ(r.countRows(1), 5);
  EXPECT_EQ(r.countRows(2), 0);
  EXPECT_EQ(r.countRows(0), 0);
  EXPECT_EQ(r.countRows(7), 0);
  EXPECT_EQ(r.lastRowWithText(), 7);

  r.setCell(4, 1, "abc");
  EXPECT_EQ(r.countRows(), 3);
  r.setCell(4, 1, " ");
  EXPECT_EQ(r.countRows(), 3);

  for (int row = 1; row <= tov::kRowCount; ++row) r.setCell(row, 1, "1");
  EXPECT_EQ(r.countRows(), 120);
}

TEST(TestRecordRows, DerivesLevelAndHeadDifference) {
  TestRecord r;
  r.set_pipeTopHeight("0.5");
  r.set_equilibriumLevel("-3.0");
  const struct { const char* t; const char* hPrime; const char* h; const char* s; } rows[] = {
      {"0", "1.2", "-0.7", "2.3"},
      {"10", "0.5", "0", "3"},        // h exactly zero, never "-0"
      {"20", "3.5", "-3", "0"},       // s zero
      {"30", "-1", "1.5", "4.5"},
      {"40", "10", "-9.5", "6.5"},    // level below ho: s stays positive
      {"50", "1.2abc", "-0.7", "2.3"},
      {"", "1.2", "", ""},            // no time
      {"60", "", "", ""},             // no level
      {"abc", "1.2", "", ""},
  };
  int row = 1;
  for (const auto& x : rows) {
    r.setCell(row, tov::C_time, x.t);
    r.setCell(row, tov::C_pipeLevel, x.hPrime);
    r.setCell(row, tov::C_level, "old");
    r.setCell(row, tov::C_headDifference, "old");
    r.deriveReadingRow(row);
    EXPECT_EQ(r.cell(row, tov::C_level), x.h) << "row " << row;
    EXPECT_EQ(r.cell(row, tov::C_headDifference), x.s) << "row " << row;
    ++row;
  }
  r.deriveReadingRow(0);
  r.deriveReadingRow(121);  // ignored, no crash
}

TEST(TestRecordRows, NegativeZeroLevelIsWrittenAsZero) {
  TestRecord r;
  r.set_pipeTopHeight("-0");
  r.set_equilibriumLevel("0");
  r.setCell(1, 1, "0");
  r.setCell(1, 2, "0");
  r.deriveReadingRow(1);
  EXPECT_EQ(r.cell(1, tov::C_level), "0");
  EXPECT_EQ(r.cell(1, tov::C_headDifference), "0");
}

TEST(TestRecordRows, DeriveAllRowsTouchesOnlyRowsInUse) {
  TestRecord r;
  r.set_pipeTopHeight("1");
  r.set_equilibriumLevel("0");
  r.setCell(1, 1, "0");
  r.setCell(1, 2, "2");
  r.setCell(2, 1, "5");
  r.setCell(2, 2, "1.5");
  r.setCell(4, 1, "9");  // behind the gap
  r.setCell(4, 2, "1");
  r.setCell(4, 4, "kept");
  r.deriveAllRows();
  EXPECT_EQ(r.cell(1, 4), "-1");
  EXPECT_EQ(r.cell(1, 5), "1");
  EXPECT_EQ(r.cell(2, 4), "-0.5");
  EXPECT_EQ(r.cell(2, 5), "0.5");
  EXPECT_EQ(r.cell(4, 4), "kept");
  EXPECT_EQ(r.cell(4, 5), "");
}

tov::HeadingDefaults headingDefaults() {
  return {"グラフ", "データ表", "調査名", "調査位置", "No.", "業者"};
}

// The scale fields that an empty record receives.
const struct { int field; const char* value; } kUnsteadyDefaults[] = {
    {43, "0"},    {44, "1000"}, {45, "500"},  {46, "500"},   {47, ""},
    {48, "0.1"},  {49, "10"},   {50, ""},     {51, ""},      {52, "4"},
    {53, "0"},    {54, "10000"},{55, "5000"}, {56, "5000"},  {57, ""},
    {58, "-10"},  {59, "10"},   {60, "10"},   {61, "10"},    {62, ""},
    {65, "1"},    {72, "0"},    {73, "10000"},{74, "-20"},   {75, "20"},
    {76, "0"},    {77, "10000"},{78, "-20"},  {79, "20"},    {34, "0"},
    {35, "0"},    {31, "グラフ"},{30, "データ表"},{15, "調査名"},{16, "調査位置"},
    {17, "No."},  {32, "業者"}, {42, ""},     {63, ""},      {80, ""},
};

TEST(ScaleDefaults, EmptyUnsteadyRecordGetsEveryDefault) {
  TestRecord r;
  r.fillScaleDefaults(headingDefaults());
  for (const auto& d : kUnsteadyDefaults) EXPECT_EQ(r.field(d.field), d.value) << "field " << d.field;
}

TEST(ScaleDefaults, SteadyRecordGetsOnlyTheValueAxisStart) {
  TestRecord r;
  r.set_formulaKind("4");
  r.fillScaleDefaults(headingDefaults());
  EXPECT_EQ(r.field(48), "0");
  EXPECT_EQ(r.field(49), "");
  EXPECT_EQ(r.field(52), "");
  EXPECT_EQ(r.field(44), "1000");

  TestRecord tiny;
  tiny.set_formulaKind("4");
  tiny.setField(48, "1e-9");  // set, so kept even though tiny
  tiny.fillScaleDefaults(headingDefaults());
  EXPECT_EQ(tiny.field(48), "1e-9");
}

TEST(ScaleDefaults, SetFieldsAreKept) {
  TestRecord r;
  const struct { int field; const char* value; } set[] = {
      {43, "5"},  {44, "2000"}, {48, "0.01"}, {49, "100"}, {52, "2"},  {53, "1"},
      {54, "600"}, {58, "-5"},  {59, "3"},    {65, "0"},   {72, "7"},  {79, "8"},
      {34, "1"},   {35, "1"},   {31, "題"},   {32, " "},   {15, "x"},
  };
  for (const auto& s : set) r.setField(s.field, s.value);
  r.fillScaleDefaults(headingDefaults());
  for (const auto& s : set) EXPECT_EQ(r.field(s.field), s.value) << "field " << s.field;
  // With the axis ends set, their steps and grids stay untouched.
  for (int f : {45, 46, 55, 56, 60, 61}) EXPECT_EQ(r.field(f), "") << "field " << f;
  EXPECT_EQ(r.field(30), "データ表");
}

TEST(ScaleDefaults, StepsAreFilledOnlyWhereUnsetWhenTheEndWasUnset) {
  TestRecord r;
  r.setField(45, "250");
  r.setField(56, "100");
  r.setField(60, "2");
  r.setField(46, "abc");  // text that is not a number counts as unset
  r.fillScaleDefaults(headingDefaults());
  EXPECT_EQ(r.field(44), "1000");
  EXPECT_EQ(r.field(45), "250");
  EXPECT_EQ(r.field(46), "500");
  EXPECT_EQ(r.field(55), "5000");
  EXPECT_EQ(r.field(56), "100");
  EXPECT_EQ(r.field(60), "2");
  EXPECT_EQ(r.field(61), "10");
}

TEST(ScaleDefaults, LogAxisThresholds) {
  const struct { const char* from; const char* to; const char* fromAfter; const char* toAfter; } rows[] = {
      {"1e-7", "0.001", "1e-7", "0.001"},   // at the thresholds: kept
      {"9e-8", "0.0009", "0.1", "10"},      // below: replaced
      {"0", "0", "0.1", "10"},
      {"-1", "-5", "0.1", "10"},
      {"abc", " ", "0.1", "10"},
      {"0.5", "50", "0.5", "50"},
  };
  for (const auto& x : rows) {
    TestRecord r;
    r.setField(48, x.from);
    r.setField(49, x.to);
    r.fillScaleDefaults(headingDefaults());
    EXPECT_EQ(r.field(48), x.fromAfter) << x.from;
    EXPECT_EQ(r.field(49), x.toAfter) << x.to;
  }
}

} // namespace
