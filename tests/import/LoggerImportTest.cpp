// Reading a logger's whole record: the start of the test, the schedule of
// the readings, hostile files, profiles, and the shared samples through the
// session and through the command line (k within 3 % of the true value).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "LoggerSamples.h"
#include "cli/ImportReadingsCommand.h"
#include "files/Platform.h"
#include "files/TvdFile.h"
#include "import/LoggerImport.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

using namespace tov;
using namespace tov::logger;
using tov::testing::TempDir;

namespace {

// A recovery record: `before` quiet samples at 2.000 m, then a drop of 1.5 m
// recovering with T = 500 s; 1 s samples; noise of the amplitude given.
std::vector<double> recovery(int before, int after, double noise, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-noise, noise);
  std::vector<double> level;
  for (int i = 0; i < before; ++i) level.push_back(2.0 + jitter(random));
  for (int i = 0; i < after; ++i) level.push_back(2.0 + 1.5 * std::exp(-i / 500.0) + jitter(random));
  return level;
}

TEST(LoggerStart, AtTheSuddenChange) {
  struct Row { const char* what; std::vector<double> level; std::size_t start; };
  std::vector<double> slowBail = recovery(60, 600, 0.0005);
  slowBail[60] = 2.5, slowBail[61] = 3.0;  // the bail takes three samples
  const Row rows[] = {
      {"clean step", recovery(120, 900, 0), 120},
      {"noisy step", recovery(120, 900, 0.005), 120},
      {"already running", recovery(0, 900, 0.0005), 0},
      {"step in the first samples", recovery(2, 900, 0.0005), 0},
      {"no change at all", std::vector<double>(500, 2.0), 0},
      {"bail over three samples", slowBail, 62},
      {"too short", {2.0, 3.5}, 0},
  };
  for (const Row& row : rows) EXPECT_EQ(detectStart(row.level), row.start) << row.what;
}

Series seriesOf(int samples, double step) {
  Series series;
  for (int i = 0; i < samples; ++i) series.time.push_back(36000 + i * step), series.level.push_back(2.0);
  series.hasClock = true;
  return series;
}

TEST(LoggerSchedule, RealSamplesAtMost120) {
  const Series dense = seriesOf(7200, 0.5);
  struct Row { const char* what; Schedule schedule; std::size_t count; double lastT; };
  const Row rows[] = {
      {"log spaced uses all 120 rows", {ScheduleKind::Automatic, 60}, 120, 3589.5},
      {"fixed 60 s interval", {ScheduleKind::Interval, 60}, 60, 3540},
      {"every sample stops at 120", {ScheduleKind::Every, 60}, 120, 59.5},
  };
  for (const Row& row : rows) {
    const auto picked = scheduleSamples(dense, 20, row.schedule);
    EXPECT_EQ(picked.size(), row.count) << row.what;
    EXPECT_EQ(picked.front(), 20u) << row.what;
    EXPECT_TRUE(std::is_sorted(picked.begin(), picked.end()) &&
                std::adjacent_find(picked.begin(), picked.end()) == picked.end()) << row.what;
    EXPECT_DOUBLE_EQ(dense.time[picked.back()] - dense.time[20], row.lastT) << row.what;
  }
  // Log spacing is dense at first: the second reading is the next sample.
  EXPECT_EQ(scheduleSamples(dense, 0, {})[1], 1u);
  EXPECT_EQ(effectiveSchedule(seriesOf(121, 1), 1, {}), ScheduleKind::Every);
}

std::optional<Series> readText(const std::string& text, ImportSettings settings, std::string* error) {
  return readSeriesText(text, settings, error);
}

TEST(LoggerSeries, TimesAndReports) {
  ImportSettings s;
  s.layout.firstDataRow = 1;
  s.columns.time = 0;
  s.columns.level = 1;
  std::string error;
  // Past midnight, a duplicate, a row out of order (left out, the order
  // kept), a gap and a text row.
  const auto series = readText("t,h\n23:59:58,1\n23:59:59,2\n23:59:59,9\n00:00:01,3\n00:00:00,4\n00:10:00,5\nEnd,\n",
                               s, &error);
  ASSERT_TRUE(series) << error;
  EXPECT_EQ(series->time, (std::vector<double>{86398, 86399, 86401, 87000}));
  EXPECT_EQ(series->level, (std::vector<double>{1, 2, 3, 5}));
  EXPECT_EQ(series->duplicates, 1u);
  EXPECT_EQ(series->outOfOrder, 1u);
  EXPECT_EQ(series->gaps, 1u);
  EXPECT_EQ(series->skippedRows, 1u);
  const std::string report = seriesReport(*series);
  for (const char* part : {"同じ時刻の行が 1 行", "時刻の順でない行が 1 行あります（6 行目", "記録の途切れが 1 か所", "読めない行が 1 行"})
    EXPECT_NE(report.find(part), std::string::npos) << part;
}

// A row alone far from the record's time (a clock gone wrong: a year
// ahead) is left out and named; the fault kept it and dropped every row
// after it as out of order. A real gap is kept.
TEST(LoggerSeries, ARowOutOfTheRecordsTimeIsLeftOut) {
  ImportSettings s;
  s.layout.firstDataRow = 1;
  s.columns.date = 0, s.columns.time = 1, s.columns.level = 2;
  // 140 rows a second apart from 2026/11/03 10:00:00, row `at` dated `date`
  // (at -1: the rows from the 71st on a day later).
  struct Row { const char* what; int at; const char* date; std::size_t kept, outOfTime, line; };
  const Row rows[] = {
      {"a row a year ahead", 44, "2027/11/03", 139, 1, 46},
      {"the first row a year ahead", 0, "2027/11/03", 139, 1, 2},
      {"the first row a year behind", 0, "2025/11/03", 139, 1, 2},
      {"the last row a year ahead", 139, "2027/11/03", 139, 1, 141},
      {"a day's gap the record goes on from", -1, "", 140, 0, 0},
  };
  for (const Row& row : rows) {
    std::string text = "date,time,h\n";
    for (int i = 0; i < 140; ++i)
      text += std::string(i == row.at ? row.date : row.at < 0 && i >= 70 ? "2026/11/04" : "2026/11/03") + "," +
              clockText(36000 + i, true) + ",1.5\n";
    std::string error;
    const auto series = readText(text, s, &error);
    ASSERT_TRUE(series) << row.what << error;
    EXPECT_EQ(series->time.size(), row.kept) << row.what;
    EXPECT_EQ(series->outOfTime, row.outOfTime) << row.what;
    EXPECT_EQ(series->outOfOrder, 0u) << row.what;
    if (row.outOfTime == 0) continue;
    EXPECT_EQ(series->time.back() - series->time.front(), row.at == 0 || row.at == 139 ? 138 : 139) << row.what;
    EXPECT_NE(seriesReport(*series).find("記録の時刻から大きく離れた行が 1 行あります (" + std::to_string(row.line) + " 行目 " +
                                         row.date),
              std::string::npos)
        << row.what << seriesReport(*series);
  }
  // A date that cannot exist is no date (the fault read 2026/02/29 as
  // 03/01): the row is left out with its value named.
  std::string error;
  const auto series = readText("date,time,h\n2026/02/28,10:00:00,1\n2026/02/29,10:00:01,2\n2026/02/28,10:00:02,3\n", s, &error);
  ASSERT_TRUE(series) << error;
  EXPECT_EQ(series->time.size(), 2u);
  EXPECT_NE(seriesReport(*series).find("3 行目から 時刻「2026/02/29 10:00:01」"), std::string::npos) << seriesReport(*series);
}

TEST(LoggerSeries, ReferenceGivesDepthBelowTop) {
  Series series = seriesOf(3, 60);
  series.level = {8.0, 6.5, 7.0};  // water over the sensor, m
  Columns columns;
  columns.levelKind = LevelKind::OverSensor;
  std::string error;
  EXPECT_EQ(*depthBelowTop(series, columns, {ReferenceKind::SensorDepth, 10.0, -1}, &error),
            (std::vector<double>{2.0, 3.5, 3.0}));
  EXPECT_EQ(*depthBelowTop(series, columns, {ReferenceKind::DepthAtTime, 2.5, 36000}, &error),
            (std::vector<double>{2.5, 4.0, 3.5}));
  EXPECT_FALSE(depthBelowTop(series, columns, {ReferenceKind::DepthAtTime, 2.5, 50000}, &error));
  EXPECT_NE(error.find("13:53:20 のデータがありません"), std::string::npos) << error;
  EXPECT_FALSE(depthBelowTop(series, columns, {}, &error));
}

// An .xle with one channel declared (LEVEL in m) and `body` inside <Data>.
std::string xleWith(const std::string& headers, const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<Body_xle>\n" + headers + "\n<Data>\n" + body + "</Data>\n</Body_xle>\n";
}
const std::string kLevelHeader =
    "<Ch1_data_header><Identification>LEVEL</Identification><Unit>m</Unit></Ch1_data_header>";
std::string xleLog(int i, const std::string& channels) {
  return "<Log id=\"" + std::to_string(i) + "\"><Date>2026/11/03</Date><Time>10:00:0" + std::to_string(i % 10) +
         "</Time><ms>0</ms>" + channels + "</Log>\n";
}

// Hostile files: a clear message and no series.
TEST(LoggerSeries, HostileFiles) {
  TempDir dir;
  struct Row { const char* what; std::string bytes; const char* message; };
  const std::string twoSamples = xleLog(0, "<ch1>8.0</ch1>") + xleLog(1, "<ch1>7.9</ch1>");
  const Row rows[] = {
      {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "バイナリ"},
      {"no numeric column", "name,place\nabc,def\nghi,jkl\n", "数値の列がありません"},
      {"header only", "Date,Time,Level\n", "数値の列がありません"},
      {"empty", "", "ファイルが空です"},
      {"blank lines", "\n\n , \n", "データの行がありません"},
      {"a line of 100 000 characters", "t,h\n0,1\n1,2\n" + std::string(100000, '7') + "\n", "行目が長すぎます"},
      {"one line of 300 kB", std::string(300000, 'x'), "1 行目が長すぎます"},
      {"XML of another layout", "<?xml version=\"1.0\"?>\n<gpx><trk><trkpt lat=\"35\"/></trk></gpx>\n", "Solinst の .xle"},
      {"an .xle that is not well formed", "<?xml version=\"1.0\"?>\n<Body_xle>\n<Data><Log><ch1>1</Data>\n",
       "XML のファイルが正しくありません (3 行目"},
      {"an .xle without samples", "<?xml version=\"1.0\"?><Body_xle><Data></Data></Body_xle>", "データの行がありません"},
      // The fault held every level (1.2 GB for 7 M), or parsed a long
      // token again with each 64 KB fed (its time the square of its size).
      {"XML nested 100 000 deep", "<?xml version=\"1.0\"?>\n<Body_xle>" + [] {
         std::string deep;
         for (int i = 0; i < 100000; ++i) deep += "<a>";
         return deep;
       }(), "XML の入れ子が深すぎます (2 行目"},
      {"a comment of 3 MB in the data", xleWith(kLevelHeader, twoSamples + "<!--" + std::string(3 << 20, 'x') + "-->"),
       "XML の 7 行目から先に、1 MB を超える"},
      {"an attribute of 3 MB", xleWith(kLevelHeader, "<Log id=\"" + std::string(3 << 20, 'x') + "\"/>"),
       "1 MB を超えるひとつながりの部分"},
      {"a document type", "<?xml version=\"1.0\"?>\n<!DOCTYPE Body_xle [<!ENTITY a \"aaaa\">]>\n<Body_xle/>", "Solinst の .xle"},
      // The fault took the later unit (or column) without a word.
      {"a channel declared twice, m then ft",
       xleWith(kLevelHeader + "<Ch01_data_header><Unit>ft</Unit></Ch01_data_header>", twoSamples),
       "チャンネル 1 の見出しが二つあります (Ch1_data_header と Ch01_data_header)"},
      {"a channel without a header after the first sample",
       xleWith(kLevelHeader, twoSamples + xleLog(2, "<ch2>12.0</ch2><ch1>7.8</ch1>")),
       "7 行目の測定にチャンネル ch2 がありますが、その見出し (単位) がありません"},
      {"an offset in a unit of its own that is not known",
       xleWith("<Ch1_data_header><Identification>LEVEL</Identification><Unit>m</Unit><Parameters>"
               "<Offset Val=\"1\" Unit=\"furlong\"/></Parameters></Ch1_data_header>",
               twoSamples),
       "チャンネル 1 のレベルオフセット 1 furlong を水位の単位 m に換算できません"},
  };
  for (const Row& row : rows) {
    tov::testing::writeBytes(dir / "in.csv", row.bytes);
    ImportSession session(false);
    std::string error;
    const bool opened = session.open(dir / "in.csv", &error) && session.readAll(&error);
    EXPECT_FALSE(opened) << row.what;
    EXPECT_NE(error.find(row.message), std::string::npos) << row.what << ": " << error;
  }
  // An .xle cut off inside its data (a download that stopped): the samples
  // before the cut are read and the cut is told.
  std::string xle = "<?xml version=\"1.0\"?>\n<Body_xle><Ch1_data_header><Identification>LEVEL</Identification>"
                    "<Unit>m</Unit></Ch1_data_header>\n<Data>\n";
  for (int i = 0; i < 10; ++i)
    xle += "<Log id=\"" + std::to_string(i) + "\"><Date>2026/11/03</Date><Time>10:00:0" + std::to_string(i) +
           "</Time><ms>0</ms><ch1>" + std::to_string(8.0 - 0.1 * i) + "</ch1></Log>\n";
  tov::testing::writeBytes(dir / "cut.xle", xle + "<Log id=\"10\"><Date>2026/11/03</Da");
  ImportSession cut(false);
  std::string cutError;
  ASSERT_TRUE(cut.open(dir / "cut.xle", &cutError) && cut.readAll(&cutError)) << cutError;
  EXPECT_EQ(cut.series()->time.size(), 10u);
  EXPECT_NE(cut.report().find("途中で終わっています"), std::string::npos) << cut.report();
  // Mixed encodings are read as CP932 and said.
  tov::testing::writeBytes(dir / "mixed.csv", "メモ\n\x8E\x9E\x8D\x8F,level\n10:00:00,1.5\n10:00:01,1.6\n10:00:02,1.7\n");
  ImportSession mixed(false);
  std::string mixedError;
  ASSERT_TRUE(mixed.open(dir / "mixed.csv", &mixedError) && mixed.readAll(&mixedError)) << mixedError;
  EXPECT_EQ(mixed.settings().layout.encoding, Encoding::Cp932);
  EXPECT_EQ(mixed.columnNames()[0], "時刻");
  EXPECT_NE(mixed.report().find("文字コードが混在しています"), std::string::npos);
  // A long line past the sampled head is still refused, and reading can be cancelled.
  std::string text = "t,h\n";
  for (int i = 0; i < 40000; ++i) text += std::to_string(i) + ",1.5\n";
  tov::testing::writeBytes(dir / "late.csv", text + std::string(9000, '1') + "\n");
  ImportSession late(false);
  std::string error;
  ASSERT_TRUE(late.open(dir / "late.csv", &error)) << error;
  EXPECT_FALSE(late.readAll(&error));
  EXPECT_NE(error.find("40002 行目が長すぎます"), std::string::npos) << error;
  tov::testing::writeBytes(dir / "late.csv", text);
  EXPECT_FALSE(late.readAll(&error, [](std::uintmax_t, std::uintmax_t) { return false; }));
  EXPECT_EQ(error, "取り込みを中止しました");
  EXPECT_EQ(late.series(), nullptr);
}

// Files are opened by their path, never through a narrow name (on Windows a
// narrow open loses every Japanese file name); messages name them in UTF-8.
TEST(LoggerSeries, AFileNamedInJapaneseOpens) {
  TempDir dir;
  const std::filesystem::path path = dir.path() / std::filesystem::path(u8"現場データ_かな.csv");
  tov::testing::writeBytes(path, "t,h\n0,1.5\n1,1.6\n2,1.7\n");
  ImportSession session(false);
  std::string error;
  EXPECT_TRUE(session.open(path, &error) && session.readAll(&error)) << error;
  ImportSession missing(false);
  EXPECT_FALSE(missing.open(dir.path() / std::filesystem::path(u8"無い.csv"), &error));
  EXPECT_NE(error.find("無い.csv"), std::string::npos) << error;
}

TEST(LoggerSeries, TooManyRowsStopEarly) {
  ImportSettings s;
  s.columns.elapsed = 0;
  s.columns.level = 1;
  std::string text;
  text.reserve((kMaxSamples + 1) * 8);
  for (std::size_t i = 0; i <= kMaxSamples; ++i) text += std::to_string(i) + ",1\n";
  std::string error;
  EXPECT_FALSE(readText(text, s, &error));
  EXPECT_NE(error.find("200 万行を超えます"), std::string::npos) << error;
  EXPECT_NE(error.find("--from"), std::string::npos) << error;
  // A window of it: only its rows are kept, the reading ends past it.
  const auto window = readSeriesText(text, s, &error, {Moment{std::nullopt, 1000}, Moment{std::nullopt, 2000}});
  ASSERT_TRUE(window) << error;
  EXPECT_EQ(window->time.size(), 1001u);
  EXPECT_EQ(window->time.front(), 1000);
  EXPECT_EQ(window->outsideWindow, 1001u);
  EXPECT_FALSE(readSeriesText(text, s, &error, {Moment{std::nullopt, 3e6}, std::nullopt}));
  EXPECT_NE(error.find("読む範囲"), std::string::npos) << error;
  // A window before the record names the record's real end (the fault
  // stopped at its first row and named that), one reversed is called so.
  EXPECT_FALSE(readSeriesText(text, s, &error, {Moment{std::nullopt, -500}, Moment{std::nullopt, -100}}));
  EXPECT_NE(error.find("(記録は 0 s〜2000000 s)"), std::string::npos) << error;
  EXPECT_FALSE(readSeriesText(text, s, &error, {Moment{std::nullopt, 2000}, Moment{std::nullopt, 1000}}));
  EXPECT_EQ(error, messageText(IDS_WINDOW_REVERSED, {"2000 s", "1000 s"}));
}

// A clock time on a record of several days: one day only, or refused with
// the days listed; a date is matched to the rows' dates.
TEST(LoggerSeries, MomentsOnSeveralDays) {
  Series series = seriesOf(1800, 60);  // every minute from 10:00 on the first day to 15:59 on the second
  series.firstDay = 20760;
  std::string error;
  EXPECT_EQ(timeOfMoment(series, {std::nullopt, 9 * 3600.0}, 60, &error), 86400 + 9 * 3600.0);  // the second day only
  EXPECT_FALSE(timeOfMoment(series, {std::nullopt, 11 * 3600.0}, 60, &error));
  EXPECT_NE(error.find("2 回あります (2026/11/03, 2026/11/04)"), std::string::npos) << error;
  EXPECT_EQ(timeOfMoment(series, {20761, 11 * 3600.0}, 60, &error), 86400 + 11 * 3600.0);
  EXPECT_FALSE(timeOfMoment(series, {20770, 11 * 3600.0}, 60, &error));
  EXPECT_NE(error.find("2026/11/13 11:00:00 のデータがありません (記録は 2026/11/03 10:00:00〜2026/11/04 15:59:00)"),
            std::string::npos) << error;
  // The fault looped for ever on a clock time beyond any day, and took a
  // number for a clock time (1e6 s as 13:46:40).
  EXPECT_FALSE(timeOfMoment(series, {std::nullopt, 1e300}, 60, &error));
  EXPECT_FALSE(timeOfMoment(series, {std::nullopt, 1e6, true}, 60, &error));
  EXPECT_EQ(error, messageText(IDS_NUMBER_ON_CLOCK_RECORD, "1000000"));
  EXPECT_EQ(momentText(series, 86400 + 60), "2026/11/04 00:01:00");
  series.firstDay.reset();  // clock times without dates: the days are counted
  EXPECT_EQ(momentText(series, 86400 + 60), "2 日目 00:01:00");
  EXPECT_FALSE(timeOfMoment(series, {20761, 11 * 3600.0}, 60, &error));
  EXPECT_EQ(error, messageText(IDS_RECORD_WITHOUT_DATES));
}

TEST(LoggerProfiles, SavedByNameAndByLayout) {
  TempDir dir;
  ImportSettings s;
  s.layout = {Encoding::Cp932, Separator::Semicolon, DecimalMark::Comma, 3, 4};
  s.columns.dateTime = 1, s.columns.level = 2, s.columns.levelUnit = LevelUnit::HPa;
  s.reference = {ReferenceKind::DepthAtTime, 2.25, 36000.5};
  s.schedule = {ScheduleKind::Interval, 30};
  std::string error;
  ASSERT_TRUE(saveProfile(dir.path(), "現場A", s, &error)) << error;
  EXPECT_EQ(profileNames(dir.path()), std::vector<std::string>{"現場A"});
  EXPECT_EQ(loadProfile(dir.path(), "現場A", &error), s);
  EXPECT_EQ(loadProfile(dir.path(), utf8Path(profileFolder(dir.path()) / pathFromUtf8("現場A.txt")), &error), s);
  EXPECT_FALSE(loadProfile(dir.path(), "none", &error));
  EXPECT_FALSE(saveProfile(dir.path(), "../x", s, &error));
  rememberLayout(dir.path(), "Date,Time,LEVEL", s);
  rememberLayout(dir.path(), "t,h", ImportSettings{});
  EXPECT_EQ(recallLayout(dir.path(), "Date,Time,LEVEL"), s);
  EXPECT_FALSE(recallLayout(dir.path(), "other"));
}

// --- the shared samples -------------------------------------------------------

struct SampleRow {
  const char* file;
  bool steady;
  Encoding encoding;
  int header;
  Columns columns;
  Reference reference;  // what the engineer types in
  const char* start;    // the clock time of t = 0 ("" without clock times)
  double k;
  const char* dateOrder = "";  // given by the engineer: dates that fit both orders ("mdy")
};

Columns cols(int date, int time, int dateTime, int ms, int elapsed, int level, int flow, LevelKind kind,
             LevelUnit unit, DateOrder order = DateOrder::YMD) {
  Columns c;
  c.date = date, c.time = time, c.dateTime = dateTime, c.millis = ms, c.elapsed = elapsed, c.level = level;
  c.flow = flow, c.levelKind = kind, c.levelUnit = unit, c.dateOrder = order;
  return c;
}

const std::vector<SampleRow>& sampleRows() {
  const Reference at10 = {ReferenceKind::DepthAtTime, 2.0, 36000};
  static const std::vector<SampleRow> rows = {
      {"level-header-block.csv", false, Encoding::Utf8, 14,
       cols(0, 1, -1, 2, -1, 3, -1, LevelKind::OverSensor, LevelUnit::M), at10, "10:02", 2.0e-6},
      {"kpa-quoted-ampm.csv", false, Encoding::Utf8Bom, 1,
       cols(-1, -1, 1, -1, -1, 2, -1, LevelKind::OverSensor, LevelUnit::KPa, DateOrder::MDY), at10, "10:02", 2.0e-6,
       "mdy"},  // 11/03/26 of one day: either order, asked
      {"depth-japanese-cp932.csv", false, Encoding::Cp932, 3,
       cols(-1, -1, 0, -1, -1, 1, -1, LevelKind::DepthBelowTop, LevelUnit::M), {}, "10:02", 2.0e-6},
      {"elapsed-seconds-cm.csv", false, Encoding::Cp932, 0,
       cols(-1, -1, -1, -1, 0, 1, -1, LevelKind::DepthBelowTop, LevelUnit::Cm), {}, "", 2.0e-6},
      {"steady-flow-lpm.csv", true, Encoding::Cp932, 0,
       cols(-1, 0, -1, -1, -1, 1, 2, LevelKind::DepthBelowTop, LevelUnit::M), {}, "10:00", 3.0e-6},
  };
  return rows;
}

TEST(LoggerSamples, GuessedAndImportedThroughTheSession) {
  TOV_NEED_LOGGER_SAMPLES();
  for (const SampleRow& row : sampleRows()) {
    ImportSession session(row.steady);
    std::string error;
    ASSERT_TRUE(session.open(tov::testing::loggerSamplesFolder() / row.file, &error)) << row.file << error;
    const ImportSettings& s = session.settings();
    EXPECT_EQ(s.layout.encoding, row.encoding) << row.file;
    EXPECT_EQ(s.layout.separator, Separator::Comma) << row.file;
    EXPECT_EQ(s.layout.decimal, DecimalMark::Point) << row.file;
    EXPECT_EQ(s.layout.headerRow, row.header) << row.file;
    Columns expected = row.columns;
    if (row.columns.flow >= 0) expected.flowUnit = FlowUnit::LPerMin;
    expected.dateOrderUnknown = *row.dateOrder != '\0';
    EXPECT_EQ(s.columns, expected) << row.file;
    if (*row.dateOrder) session.setDateOrder(*dateOrderFromName(row.dateOrder));
    session.settings().reference = row.reference;
    ASSERT_TRUE(session.readAll(&error)) << row.file << error;
    EXPECT_EQ(session.report(), "") << row.file;
    TestRecord record;
    tov::testing::sampleHeadings(record, row.steady);
    ASSERT_TRUE(session.apply(record, &error)) << row.file << error;
    EXPECT_EQ(record.cell(1, C_time), "0") << row.file;
    EXPECT_EQ(record.cell(1, C_clockTime), row.start) << row.file;
    EXPECT_LE(record.countRows(C_time), 120);
    const auto k = tov::testing::sampleK(record);
    ASSERT_TRUE(k) << row.file;
    EXPECT_NEAR(*k / row.k, 1.0, 0.03) << row.file << " k " << *k;
  }
}

TEST(LoggerSamples, ConvertedByTheCommandLine) {
  TOV_NEED_LOGGER_SAMPLES();
  TempDir dir;
  for (const bool steady : {false, true}) {
    TestRecord headings;
    tov::testing::sampleHeadings(headings, steady);
    ASSERT_TRUE(saveTestFile(dir / (steady ? "steady.tvd" : "bh1.tvd"), headings));
  }
  for (const SampleRow& row : sampleRows()) {
    std::vector<std::string> args = {"--import-readings", (tov::testing::loggerSamplesFolder() / row.file).string(),
                                     "--output", (dir / "out.tvd").string(), "--into",
                                     (dir / (row.steady ? "steady.tvd" : "bh1.tvd")).string()};
    if (row.reference.kind == ReferenceKind::DepthAtTime)
      args.insert(args.end(), {"--reference-depth", "2.0", "--at", "10:00:00"});
    if (*row.dateOrder) args.insert(args.end(), {"--date-order", row.dateOrder});
    std::filesystem::remove(dir / "out.tvd");
    ASSERT_EQ(runImportCommand(args, dir.path()), 0) << row.file;
    TestRecord record;
    ASSERT_EQ(loadTestFile(dir / "out.tvd", record), LoadStatus::Ok) << row.file;
    const auto k = tov::testing::sampleK(record);
    ASSERT_TRUE(k) << row.file;
    EXPECT_NEAR(*k / row.k, 1.0, 0.03) << row.file << " k " << *k;
  }
  // Failures exit non-zero and write nothing.
  const std::string level = (tov::testing::loggerSamplesFolder() / "level-header-block.csv").string();
  const std::string out = (dir / "failed.tvd").string();
  const std::vector<std::vector<std::string>> failing = {
      {"--import-readings", level, "--output", out},                                   // no reference
      {"--import-readings", level, "--output", out, "--sensor-depth", "x"},
      {"--import-readings", level, "--output", out, "--reference-depth", "2"},        // without --at
      {"--import-readings", level, "--output", out, "--sensor-depth", "10", "--start", "23:00:00"},
      {"--import-readings", (dir / "missing.csv").string(), "--output", out},
      {"--import-readings", level, "--output", out, "--profile", "none", "--sensor-depth", "10"},
      {"--import-readings", level},
  };
  for (const auto& args : failing) {
    EXPECT_NE(runImportCommand(args, dir.path()), 0) << args.back();
    EXPECT_FALSE(std::filesystem::exists(out)) << args.back();
  }
}

TEST(LoggerSamples, StartTypedAsAClockTime) {
  TOV_NEED_LOGGER_SAMPLES();
  ImportSession session(false);
  std::string error;
  ASSERT_TRUE(session.open(tov::testing::loggerSamplesFolder() / "depth-japanese-cp932.csv", &error));
  ASSERT_TRUE(session.readAll(&error));
  EXPECT_EQ(clockText(session.timeOfDay(session.proposedStart()), true), "10:02:00");
  ASSERT_TRUE(session.setStartAt(*parseClock("10:05:00"), &error));
  TestRecord record;
  ASSERT_TRUE(session.apply(record, &error));
  EXPECT_EQ(record.cell(1, C_clockTime), "10:05");
  EXPECT_FALSE(session.setStartAt(*parseClock("12:00:00"), &error));
}

} // namespace
