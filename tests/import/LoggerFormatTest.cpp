// The parsers of a logger's export: dates and times of each form, numbers
// with either decimal mark, units from column names, encodings, layouts.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "import/LoggerFormat.h"

using namespace tov::logger;

namespace {

constexpr long kNov3 = 20760;  // 2026-11-03, days since 1970-01-01

struct StampRow {
  const char* text;
  DateOrder order;
  long day;  // -1: no date
  double seconds;
};

TEST(LoggerFormat, StampsOfEveryForm) {
  const StampRow rows[] = {
      {"2026/11/03 10:02:00", DateOrder::YMD, kNov3, 36120},
      {"2026-11-03T10:02:00.5", DateOrder::MDY, kNov3, 36120.5},   // ISO wins over the order
      {"11/03/26 10:02:00 AM", DateOrder::MDY, kNov3, 36120},
      {"11/03/2026 12:00:01 AM", DateOrder::MDY, kNov3, 1},        // 12 AM is midnight
      {"11/03/2026 12:30:00 PM", DateOrder::MDY, kNov3, 45000},    // 12 PM is noon
      {"11/03/2026 01:00:00 PM", DateOrder::MDY, kNov3, 46800},
      {"03.11.2026 10:02", DateOrder::DMY, kNov3, 36120},
      {"2026/11/03", DateOrder::YMD, kNov3, 0},
      {"10:02:03", DateOrder::YMD, -1, 36123},
      {"午後 1:00:00", DateOrder::YMD, -1, 46800},
      {"10:02:03,25", DateOrder::DMY, -1, 36123.25},                 // decimal-comma seconds
      {"11/03/2026 10:02:00 午前", DateOrder::MDY, kNov3, 36120},      // Japanese HOBOware: after the clock
      {"11/03/2026 12:00:01 午前", DateOrder::MDY, kNov3, 1},
      {"2026/11/03 午後 1:00", DateOrder::YMD, kNov3, 46800},           // before it, without seconds
      {"AM 10:02:00", DateOrder::YMD, -1, 36120},
      {"2028/02/29 24:00:00", DateOrder::YMD, 21243, 86400},          // a leap day; the day's end
  };
  for (const StampRow& row : rows) {
    const auto stamp = parseStamp(row.text, row.order);
    ASSERT_TRUE(stamp) << row.text;
    EXPECT_EQ(stamp->day.value_or(-1), row.day) << row.text;
    EXPECT_DOUBLE_EQ(stamp->seconds, row.seconds) << row.text;
  }
  // The fault read impossible dates as the next month's and 10:00:60 as 10:01:00.
  for (const char* bad : {"", "13/45/2026 10:00", "10:61", "25:00", "13:00 PM", "2026/11", "abc", "1.5", "午後 13:00",
                          "10:00:60", "24:30", "24:00:01", "2026/02/29 10:00", "2026/04/31", "02/31/2026 10:00"})
    EXPECT_FALSE(parseStamp(bad, DateOrder::MDY)) << bad;
  // What the engineer types for --at, --start, --from and --to.
  EXPECT_EQ(parseMoment("2026-11-03T10:02:00"), (Moment{kNov3, 36120}));
  EXPECT_EQ(parseMoment("2026/11/03 10:02"), (Moment{kNov3, 36120}));
  EXPECT_EQ(parseMoment("10:02:00"), (Moment{std::nullopt, 36120}));
  EXPECT_EQ(parseMoment("90.5"), (Moment{std::nullopt, 90.5, true}));  // a number, not a clock
  EXPECT_FALSE(parseMoment("2026-11-03"));
  for (const char* beyond : {"1e308", "-1e308", "1e10", "2026-02-29T10:00:00", "10:00:60"})
    EXPECT_FALSE(parseMoment(beyond)) << beyond;
  EXPECT_EQ(dateText(kNov3), "2026/11/03");
}

// Dates decide their order where a part is above 12 or the days follow
// each other in one order only; else the order is asked (the fault read
// 05/08/2026 month first without a word), unless a name gives it.
TEST(LoggerFormat, DateOrderFromTheSamples) {
  struct Row { std::vector<std::string> dates; DateOrder order; bool sure; };
  const Row rows[] = {
      {{"2026/11/03"}, DateOrder::YMD, true},
      {{"11/03/26 10:00:00 AM", "11/04/26"}, DateOrder::MDY, true},   // a day apart month first
      {{"03/11/2026", "13/11/2026"}, DateOrder::DMY, true},            // a day above 12 decides
      {{"11/13/2026"}, DateOrder::MDY, true},
      {{"03.11.2026"}, DateOrder::DMY, true},                          // dots are day first
      {{"05/08/2026"}, DateOrder::MDY, false},
      {{"05/08/2026", "06/08/2026"}, DateOrder::DMY, true},
      {{"05-08-2026 10:00", "05-08-2026 11:00"}, DateOrder::MDY, false},
  };
  for (const Row& row : rows) {
    bool sure = !row.sure;
    EXPECT_EQ(guessDateOrder(row.dates, &sure), row.order) << row.dates.front();
    EXPECT_EQ(sure, row.sure) << row.dates.front();
  }
  struct Named { const char* text; std::optional<DateOrder> order; };
  const Named named[] = {
      {"Date (MM/DD/YYYY)", DateOrder::MDY}, {"Datum TT.MM.JJJJ", DateOrder::DMY}, {"date dd/mm/yy", DateOrder::DMY},
      {"Date format: JJ/MM/AAAA", DateOrder::DMY}, {"日付(年/月/日)", DateOrder::YMD}, {"Date Time, GMT+09:00", std::nullopt},
      {"m/s", std::nullopt}, {"mm/dd", std::nullopt}, {"Level (m)", std::nullopt},
  };
  for (const Named& row : named) EXPECT_EQ(dateOrderNamed(row.text), row.order) << row.text;
  std::vector<std::string> names = {"Date (DD/MM/YYYY)", "Time", "Level"};
  const Columns columns = guessColumns(names, {{"05/08/2026", "10:00:00", "1.5"}, {"05/08/2026", "10:00:01", "1.6"}}, false);
  EXPECT_EQ(columns.dateOrder, DateOrder::DMY);
  EXPECT_FALSE(columns.dateOrderUnknown);
  names[0] = "Date";
  EXPECT_TRUE(guessColumns(names, {{"05/08/2026", "10:00:00", "1.5"}, {"05/08/2026", "10:00:01", "1.6"}}, false)
                  .dateOrderUnknown);
}

TEST(LoggerFormat, NumbersWithEitherMark) {
  struct Row { const char* text; DecimalMark mark; double value; bool ok; };
  const Row rows[] = {
      {"18.3286", DecimalMark::Point, 18.3286, true}, {" -0.5 ", DecimalMark::Point, -0.5, true},
      {"+2", DecimalMark::Point, 2, true},            {"1,25", DecimalMark::Comma, 1.25, true},
      {"1.25", DecimalMark::Comma, 1.25, true},       {"1,25", DecimalMark::Point, 0, false},
      {"1,2,5", DecimalMark::Comma, 0, false},        {"1.5E-3", DecimalMark::Point, 0.0015, true},
      {"", DecimalMark::Point, 0, false},             {"12abc", DecimalMark::Point, 0, false},
      {"nan", DecimalMark::Point, 0, false},          {"1e999", DecimalMark::Point, 0, false},
  };
  for (const Row& row : rows) {
    const auto v = parseNumber(row.text, row.mark);
    EXPECT_EQ(v.has_value(), row.ok) << row.text;
    if (v && row.ok) {
      EXPECT_DOUBLE_EQ(*v, row.value) << row.text;
    }
  }
}

TEST(LoggerFormat, UnitsFromColumnNames) {
  struct Row { const char* name; std::optional<LevelUnit> unit; };
  const Row rows[] = {
      {"Abs Pres, kPa (LGR S/N: 20001234)", LevelUnit::KPa}, {"Level [cmH2O]", LevelUnit::CmH2O},
      {"水位(cm)", LevelUnit::Cm},  {"管頭からの水位(m)", LevelUnit::M}, {"Depth (mm)", LevelUnit::Mm},
      {"Pressure, mbar", LevelUnit::HPa}, {"P [Pa]", LevelUnit::Pa}, {"Pressure (psi)", LevelUnit::Psi},
      {"Head mH2O", LevelUnit::MH2O}, {"水位（cm）", LevelUnit::Cm}, {"LEVEL", std::nullopt},
      {"Temp, °C", std::nullopt}, {"圧力(MPa)", LevelUnit::MPa}, {"水圧(kgf/cm²)", LevelUnit::KgfCm2},
      {"水圧 [kgf/cm2]", LevelUnit::KgfCm2}, {"水位[cmH2O]", LevelUnit::CmH2O}, {"水位(mmAq)", LevelUnit::MmH2O},
  };
  for (const Row& row : rows) EXPECT_EQ(levelUnitFromName(row.name), row.unit) << row.name;
  EXPECT_EQ(flowUnitFromName("流量(L/min)"), FlowUnit::LPerMin);
  EXPECT_EQ(flowUnitFromName("Q (mL/min)"), FlowUnit::MlPerMin);
  EXPECT_EQ(flowUnitFromName("Flow L/s"), FlowUnit::LPerS);
  EXPECT_EQ(flowUnitFromName("Q(cm³/s)"), FlowUnit::Cm3PerS);
  EXPECT_EQ(flowUnitFromName("Q m3/s"), FlowUnit::M3PerS);
  EXPECT_DOUBLE_EQ(levelUnitToMetres(LevelUnit::KPa), 0.101972);
  EXPECT_DOUBLE_EQ(levelUnitToMetres(LevelUnit::HPa), 0.0101972);
  EXPECT_DOUBLE_EQ(levelUnitToMetres(LevelUnit::KgfCm2), 10.0);
  EXPECT_EQ(levelUnitFromToken("MPa"), LevelUnit::MPa);
  EXPECT_EQ(levelUnitFromToken("kgf/cm2"), LevelUnit::KgfCm2);
}

TEST(LoggerFormat, EncodingsAndBinary) {
  bool mixed = true;
  EXPECT_EQ(detectEncoding("\xEF\xBB\xBFtime,level"), Encoding::Utf8Bom);
  EXPECT_EQ(detectEncoding("時刻,水位", &mixed), Encoding::Utf8);
  EXPECT_FALSE(mixed);
  EXPECT_EQ(detectEncoding("\x8E\x9E\x8D\x8F,\x90\x85\x88\xCA", &mixed), Encoding::Cp932);  // 時刻,水位
  EXPECT_FALSE(mixed);
  EXPECT_EQ(detectEncoding("\x8E\x9E\x8D\x8F,時刻", &mixed), Encoding::Cp932);
  EXPECT_TRUE(mixed);
  EXPECT_EQ(toUtf8("\x8E\x9E\x8D\x8F", Encoding::Cp932), "時刻");
  EXPECT_TRUE(looksBinary(std::string("PK\x03\x04\0\0", 6)));
  EXPECT_FALSE(looksBinary("a,b\r\n1,2\r\n"));
}

TEST(LoggerFormat, FieldsAndLayouts) {
  EXPECT_EQ(splitFields(R"("Date Time, GMT+09:00", 12 ,"a""b",)", Separator::Comma),
            (std::vector<std::string>{"Date Time, GMT+09:00", "12", "a\"b", ""}));
  EXPECT_EQ(splitFields("  10:00:00   1,5\t2 ", Separator::Spaces), (std::vector<std::string>{"10:00:00", "1,5", "2"}));
  struct Row { std::vector<std::string> lines; Separator separator; DecimalMark mark; int header; int first; };
  const Row rows[] = {
      {{"Serial:", "123", "", "Date,Time,LEVEL", "2026/11/03,10:00:00,1.5", "2026/11/03,10:00:01,1.6",
        "2026/11/03,10:00:02,1.7"}, Separator::Comma, DecimalMark::Point, 3, 4},
      {{"t;h", "0;1,5", "5;1,4", "10;1,3"}, Separator::Semicolon, DecimalMark::Comma, 0, 1},
      {{"t\th", "0\t1.5", "5\t1.4"}, Separator::Tab, DecimalMark::Point, 0, 1},
      {{"note:", "0 1.5", "5 1.4", "10 1.3"}, Separator::Spaces, DecimalMark::Point, -1, 1},
  };
  for (const Row& row : rows) {
    const auto layout = guessLayout(row.lines, Encoding::Utf8);
    ASSERT_TRUE(layout) << row.lines.front();
    EXPECT_EQ(layout->separator, row.separator) << row.lines.front();
    EXPECT_EQ(layout->decimal, row.mark) << row.lines.front();
    EXPECT_EQ(layout->headerRow, row.header) << row.lines.front();
    EXPECT_EQ(layout->firstDataRow, row.first) << row.lines.front();
  }
  EXPECT_FALSE(guessLayout({"name,place", "a,b", "c,d"}, Encoding::Utf8));  // no numeric column
  // Three metadata lines with values before a text line are not the data;
  // three data lines before a footer are.
  const auto metadata = guessLayout({"Start,2026/11/03,10:00:00", "Stop,2026/11/03,11:00:00", "Read,2026/11/04,09:00:00", "LEVEL",
                                     "Date,Time,Level", "2026/11/03,10:00:00,1.5", "2026/11/03,10:00:01,1.6",
                                     "2026/11/03,10:00:02,1.7", "2026/11/03,10:00:03,1.8"},
                                    Encoding::Utf8);
  ASSERT_TRUE(metadata);
  EXPECT_EQ(std::pair(metadata->headerRow, metadata->firstDataRow), std::pair(4, 5));
  const auto footer = guessLayout({"[Data]", "3", "2026/11/03 10:00:00.0  1045.1  10.9", "2026/11/03 10:01:00.0  1040.2  10.9",
                                   "2026/11/03 10:02:00.0  1041.0  10.9", "END OF DATA FILE OF DATALOGGER FOR WINDOWS"},
                                  Encoding::Utf8);
  ASSERT_TRUE(footer);
  EXPECT_EQ(std::pair(footer->separator, footer->firstDataRow), std::pair(Separator::Spaces, 2));
  // A separator chosen by hand finds the rows again.
  const auto forced = guessLayout({"t h", "0 1,5", "5 1,4", "10 1,3"}, Encoding::Utf8, Separator::Spaces);
  ASSERT_TRUE(forced);
  EXPECT_EQ(std::pair(forced->headerRow, forced->decimal), std::pair(0, DecimalMark::Comma));
}

TEST(LoggerFormat, ColumnsFromNames) {
  const auto c = guessColumns({"#", "Date Time", "Abs Pres, kPa", "Temp, °C", "Flow (L/min)"},
                              {{"1", "11/03/26 10:00:00 AM", "179.7", "14.2", "1.0"},
                               {"2", "11/03/26 10:00:02 AM", "179.8", "14.2", "1.0"}},
                              true);
  EXPECT_EQ(c.dateTime, 1);
  EXPECT_EQ(c.level, 2);
  EXPECT_EQ(c.levelKind, LevelKind::OverSensor);
  EXPECT_EQ(c.levelUnit, LevelUnit::KPa);
  EXPECT_EQ(c.flow, 4);
  EXPECT_EQ(c.dateOrder, DateOrder::MDY);
  // Elapsed minutes; without names the running number is not the level.
  const auto minutes = guessColumns({"経過時間(min)", "水位(m)"}, {{"0", "1.5"}, {"1", "1.4"}}, false);
  EXPECT_EQ(minutes.elapsed, 0);
  EXPECT_EQ(minutes.elapsedUnit, TimeUnit::Minutes);
  EXPECT_EQ(minutes.levelKind, LevelKind::DepthBelowTop);
  const auto bare = guessColumns({}, {{"1", "0", "2.51"}, {"2", "5", "2.40"}}, false);
  EXPECT_EQ(bare.level, 2);
  // A header naming fewer columns than the data hold once read past its names.
  std::string why;
  const auto shortHeader = guessColumns({"Date Time", "Abs Pres, kPa"},
                                        {{"1", "11/03/26 10:00:00 AM", "179.7"}, {"2", "11/03/26 10:00:02 AM", "165.0"}},
                                        false, &why);
  EXPECT_EQ(shortHeader.level, 2);
  EXPECT_EQ(why, "列名がないのでセンサー上の水位");
  // A multi-parameter logger without a level channel: its density is not
  // taken for the level (the engineer is asked).
  const auto noLevel = guessColumns({"Date Time", "Water Density (g/cm3)", "Temperature (C)", "Battery"},
                                    {{"11/03/26 10:00:00 AM", "0.9997", "14.2", "98"}}, false);
  EXPECT_EQ(noLevel.level, -1);
  // A bare 水位: h' on a sheet of readings, the water over the sensor
  // where the rows carry a logger's dates; a column of water is a pressure.
  struct Row { std::vector<std::string> names; std::vector<std::string> row; LevelKind kind; };
  const Row meanings[] = {
      {{"時刻", "水位(m)"}, {"10:00", "3.5"}, LevelKind::DepthBelowTop},
      {{"日時", "水位(m)"}, {"2026/11/03 10:00:00", "8.0"}, LevelKind::OverSensor},
      {{"日時", "管頭からの水位(m)"}, {"2026/11/03 10:00:00", "2.0"}, LevelKind::DepthBelowTop},
      {{"経過時間(s)", "水位[cmH2O]"}, {"0", "800"}, LevelKind::OverSensor},
  };
  for (const Row& row : meanings)
    EXPECT_EQ(guessColumns(row.names, {row.row}, false).levelKind, row.kind) << row.names[0] << "," << row.names[1];
  EXPECT_EQ(levelMeaningFromName("above-sensor"), LevelMeaning::AboveSensor);
  EXPECT_FALSE(levelMeaningFromName("above"));
}

} // namespace
