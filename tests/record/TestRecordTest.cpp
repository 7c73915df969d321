// The test record: the numeric-text check, row counting, derived h and s,
// flow-text splitting and the scale defaults.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

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
}

TEST(NumberText, SplitsFlowTextAtTheFirstE) {
  const struct { const char* text; const char* mantissa; const char* exponentPart; const char* exponent; } rows[] = {
      {"2.5E-6", "2.5", "E-6", "-6"}, {"1.5E-5", "1.5", "E-5", "-5"}, {"3", "3", "", ""}, {"3E", "3", "E", ""},
      {"1E2E3", "1", "E2E3", "2E3"},  {"2.5e-6", "2.5e-6", "", ""},  // only the capital letter splits
      {"E-6", "", "", ""},  // fails the number check
      {"", "", "", ""},               {"abc", "", "", ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(tov::splitFlowText(r.text, 0), r.mantissa) << r.text;
    EXPECT_EQ(tov::splitFlowText(r.text, 1), r.exponentPart) << r.text;
    EXPECT_EQ(tov::splitFlowText(r.text, 2), r.exponent) << r.text;
  }
}

TEST(TestRecordAccess, OutOfRangeReadsEmptyAndWritesNothing) {
  TestRecord r;
  for (int f : {0, -1, 101, 1000}) {
    r.setField(f, "x");
    EXPECT_EQ(r.field(f), "") << f;
  }
  r.setField(1, "first");
  r.setField(100, "last");
  EXPECT_EQ(r.surveyName(), "first");
  EXPECT_EQ(r.field(100), "last");
  for (auto [row, column] : {std::pair{0, 1}, {121, 1}, {1, 0}, {1, 7}, {-5, -5}}) {
    r.setCell(row, column, "x");
    EXPECT_EQ(r.cell(row, column), "") << row << "," << column;
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
  EXPECT_EQ(&tov::theRecord(), &tov::theRecord());  // the program's record is one instance
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

  for (const char* gap : {"abc", " "}) {
    r.setCell(4, 1, gap);
    EXPECT_EQ(r.countRows(), 3) << '"' << gap << '"';
  }

  for (int row = 1; row <= tov::kRowCount; ++row) r.setCell(row, 1, "1");
  EXPECT_EQ(r.countRows(), 120);
}

TEST(TestRecordRows, DerivesLevelAndHeadDifference) {
  // ho = -3 and the pipe top 0.5 unless a row says otherwise.
  const struct { const char* t; const char* hPrime; const char* h; const char* s; const char* top = "0.5"; const char* ho = "-3.0"; } rows[] = {
      {"0", "1.2", "-0.7", "2.3"},   {"10", "0.5", "0", "3"},  // h exactly zero, never "-0"
      {"20", "3.5", "-3", "0"},      {"30", "-1", "1.5", "4.5"},  // s zero
      {"40", "10", "-9.5", "6.5"},   // level below ho: s stays positive
      {"50", "1.2abc", "-0.7", "2.3"}, {"", "1.2", "", ""}, {"60", "", "", ""}, {"abc", "1.2", "", ""},
      {"0", "0", "0", "0", "-0", "0"},  // a negative zero level is written as 0
  };
  TestRecord r;
  int row = 1;
  for (const auto& x : rows) {
    r.set_pipeTopHeight(x.top);
    r.set_equilibriumLevel(x.ho);
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

TEST(TestRecordRows, DeriveAllRowsTouchesOnlyRowsInUse) {
  TestRecord r;
  r.set_pipeTopHeight("1");
  r.set_equilibriumLevel("0");
  for (auto [row, column, text] : {std::tuple{1, 1, "0"}, {1, 2, "2"}, {2, 1, "5"}, {2, 2, "1.5"},
                                   {4, 1, "9"}, {4, 2, "1"}, {4, 4, "kept"}})  // row 4 is behind the gap
    r.setCell(row, column, text);
  r.deriveAllRows();
  EXPECT_EQ((std::vector<std::string>{r.cell(1, 4), r.cell(1, 5), r.cell(2, 4), r.cell(2, 5), r.cell(4, 4), r.cell(4, 5)}),
            (std::vector<std::string>{"-1", "1", "-0.5", "0.5", "kept", ""}));
}

tov::HeadingDefaults headingDefaults() {
  return {"グラフ", "データ表", "調査名", "調査位置", "No.", "業者"};
}

using Fields = std::vector<std::pair<int, const char*>>;

// The scale fields that an empty record receives.
const Fields kUnsteadyDefaults = {
    {43, "0"},    {44, "1000"}, {45, "500"},  {46, "500"},   {47, ""},
    {48, "0.1"},  {49, "10"},   {50, ""},     {51, ""},      {52, "4"},
    {53, "0"},    {54, "10000"},{55, "5000"}, {56, "5000"},  {57, ""},
    {58, "-10"},  {59, "10"},   {60, "10"},   {61, "10"},    {62, ""},
    {65, "1"},    {72, "0"},    {73, "10000"},{74, "-20"},   {75, "20"},
    {76, "0"},    {77, "10000"},{78, "-20"},  {79, "20"},    {34, "0"},
    {35, "0"},    {31, "グラフ"},{30, "データ表"},{15, "調査名"},{16, "調査位置"},
    {17, "No."},  {32, "業者"}, {42, ""},     {63, ""},      {80, ""},
};

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

// Fields given before filling, and what chosen fields hold after it.
TEST(ScaleDefaults, AxisRules) {
  const struct { const char* what; Fields given, after; } cases[] = {
      {"empty unsteady record: every default", {}, kUnsteadyDefaults},
      {"steady: only the value axis start", {{33, "4"}}, {{48, "0"}, {49, ""}, {52, ""}, {44, "1000"}}},
      {"steady: a tiny start that is set is kept", {{33, "4"}, {48, "1e-9"}}, {{48, "1e-9"}}},
      {"steps filled only where unset when the end was unset; text that is no number is unset",
       {{45, "250"}, {56, "100"}, {60, "2"}, {46, "abc"}},
       {{44, "1000"}, {45, "250"}, {46, "500"}, {55, "5000"}, {56, "100"}, {60, "2"}, {61, "10"}}},
      {"log axis at the thresholds: kept", {{48, "1e-7"}, {49, "0.001"}}, {{48, "1e-7"}, {49, "0.001"}}},
      {"log axis below: replaced", {{48, "9e-8"}, {49, "0.0009"}}, {{48, "0.1"}, {49, "10"}}},
      {"log axis zero", {{48, "0"}, {49, "0"}}, {{48, "0.1"}, {49, "10"}}},
      {"log axis negative", {{48, "-1"}, {49, "-5"}}, {{48, "0.1"}, {49, "10"}}},
      {"log axis no number", {{48, "abc"}, {49, " "}}, {{48, "0.1"}, {49, "10"}}},
      {"log axis usable", {{48, "0.5"}, {49, "50"}}, {{48, "0.5"}, {49, "50"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestRecord r;
    for (auto [field, text] : c.given) r.setField(field, text);
    r.fillScaleDefaults(headingDefaults());
    for (auto [field, text] : c.after) EXPECT_EQ(r.field(field), text) << "field " << field;
  }
}

} // namespace
