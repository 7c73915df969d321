// The layouts real loggers write, made here with a recovery of known k:
// sections with a footer (short and long), files without names, "Depth"
// columns, units only in the metadata, every unit, a barometric pair,
// both clock changes; and what the import fills and refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "LoggerSamples.h"
#include "cli/ImportReadingsCommand.h"
#include "files/TvdFile.h"
#include "import/LoggerImport.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

using namespace tov;
using namespace tov::logger;
using tov::testing::TempDir;

namespace {

constexpr double kTrueA = 8.154559e-4;  // log10 s a second for k 2.0E-006 in the sample's sizes
constexpr double kKPaToMetres = 0.101972;

// One recovery: static depth 2.000 m below the pipe top, a drop of 1.5 m
// at `before` seconds, the sensor 10 m below the top. Times count from
// 10:00:00 on 2026-11-03 unless the clock text is asked for.
struct Recovery {
  double k = 2.0e-6;
  double step = 1;       // s between samples
  double before = 120;   // quiet seconds before the start
  double after = 3600;   // seconds of recovery
  double air = 0;        // kPa of air added to the level (an absolute logger); 0 for a gauge one
  std::function<double(double)> airChange;  // kPa added to `air` at a time (s), or none
  double clockStart = 36000;
  double clockChangeAt = -1;  // seconds of the record where the clock changes
  double clockChange = 0;     // -3600: set back an hour, +3600: on an hour

  int samples() const { return static_cast<int>((before + after) / step) + 1; }
  double time(int i) const { return i * step; }
  double depth(double t) const {
    if (t < before) return 2.0;
    const double a = kTrueA * k / 2.0e-6;
    return 2.0 + 1.5 * std::pow(10.0, -a * (t - before));
  }
  double airAt(double t) const { return air + (airChange ? airChange(t) : 0.0); }
  // Water over the sensor in metres (with the air when absolute), a little noise.
  double overSensor(int i) const {
    const double t = time(i);
    const double noise = 0.0003 * std::sin(i * 12.9898);
    return 10.0 - depth(t) + airAt(t) * kKPaToMetres + noise;
  }
  double clock(int i) const {
    const double t = time(i);
    return clockStart + t + (clockChangeAt >= 0 && t >= clockChangeAt ? clockChange : 0.0);
  }
};

std::string fixed(double value, int decimals) { return tov::cformat("%.*f", decimals, value); }

std::string clockOf(double seconds) { return clockText(seconds, true); }

// Lines "2026/11/03<sep>10:00:00<sep>value" with the given value and separator.
std::string dataLines(const Recovery& r, const std::function<std::string(int)>& value, const std::string& separator,
                      const std::string& end = "\r\n") {
  std::string text;
  for (int i = 0; i < r.samples(); ++i) text += "2026/11/03" + separator + clockOf(r.clock(i)) + separator + value(i) + end;
  return text;
}

// A section-style export: settings, channels with their units, a count
// line, the data in centimetres of water (with the air), and a footer.
std::string sectionFile(const Recovery& r) {
  std::string text =
      "Data file for DataLogger.\r\n==============================\r\n[Logger settings]\r\n"
      "  Instrument type    =DI240\r\n  Serial number      =AB123\r\n  Number of channels =2\r\n"
      "[Channel 1]\r\n  Identification     =LEVEL\r\n  Reference level    =1045.000 cm\r\n  Range              =1500 cm\r\n"
      "[Channel 2]\r\n  Identification     =TEMPERATURE\r\n  Reference level    =-10.000 °C\r\n"
      "[Series settings]\r\n  Sample period      =S 01\r\n\r\n[Data]\r\n" +
      std::to_string(r.samples()) + "\r\n";
  for (int i = 0; i < r.samples(); ++i)
    text += "2026/11/03 " + clockOf(r.clock(i)) + ".0     " + fixed(r.overSensor(i) * 100, 3) + "      10.88\r\n";
  return text + "END OF DATA FILE OF DATALOGGER FOR WINDOWS\r\n";
}

struct Imported {
  bool ok = false;
  std::string error;
  std::optional<double> k;
  TestRecord record;
  ImportSettings settings;
  std::string report;
  std::vector<std::string> warnings;
};

// Opens, reads (the reference given) and writes into the sample's headings.
Imported importFile(const std::filesystem::path& file, Reference reference,
                    const std::function<void(ImportSession&)>& adjust = {}) {
  Imported result;
  ImportSession session(false);
  if (!session.open(file, &result.error)) return result;
  session.settings().reference = reference;
  if (adjust) adjust(session);
  result.settings = session.settings();
  if (!session.readAll(&result.error)) return result;
  tov::testing::sampleHeadings(result.record, false);
  if (!session.apply(result.record, &result.error)) return result;
  result.ok = true;
  result.k = tov::testing::sampleK(result.record);
  result.report = session.report();
  result.warnings = session.warnings(result.record);
  return result;
}

const Reference kSensor10{ReferenceKind::SensorDepth, 10.0, -1};
const Reference kDepth2At10{ReferenceKind::DepthAtTime, 2.0, 36000};

struct LayoutRow {
  const char* what;
  std::function<std::string(const Recovery&)> write;
  Recovery recovery;
  Reference reference;
  LevelKind kind;
  LevelUnit unit;
};

TEST(LoggerLayouts, EveryLayoutGivesItsK) {
  TempDir dir;
  Recovery absolute;
  absolute.air = 101.3;
  Recovery shortSections = absolute;
  shortSections.step = 30, shortSections.after = 2400;  // 85 lines in all
  const LayoutRow rows[] = {
      {"sections with a footer, long", sectionFile, absolute, kDepth2At10, LevelKind::OverSensor, LevelUnit::Cm},
      {"sections with a footer, short", sectionFile, shortSections, kDepth2At10, LevelKind::OverSensor, LevelUnit::Cm},
      {"no names", [](const Recovery& r) { return dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4); }, ","); },
       Recovery{}, kSensor10, LevelKind::OverSensor, LevelUnit::M},
      {"Sensor Depth column",
       [](const Recovery& r) {
         return "Date,Time,Sensor Depth (m),Temperature (C)\n" +
                dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4) + ",11.2"; }, ",", "\n");
       },
       Recovery{}, kSensor10, LevelKind::OverSensor, LevelUnit::M},
      {"Depth column, German separators",
       [](const Recovery& r) {
         std::string text = "Datum;Zeit;Depth;Temperatur [°C]\n";
         for (int i = 0; i < r.samples(); ++i) {
           std::string v = fixed(r.overSensor(i), 4);
           v[v.find('.')] = ',';
           text += "03.11.2026;" + clockOf(r.clock(i)) + ";" + v + ";11,2\n";
         }
         return text;
       },
       Recovery{}, kSensor10, LevelKind::OverSensor, LevelUnit::M},
      {"unit only in the metadata",
       [](const Recovery& r) {
         return "Serial_number:\n2061234\nLEVEL\nUNIT: kPa\nOffset: 0.000000 kPa\nTEMPERATURE\nUNIT: °C\n\n"
                "Date,Time,LEVEL,TEMPERATURE\n" +
                dataLines(r, [&](int i) { return fixed(r.overSensor(i) / kKPaToMetres, 3) + ",14.2"; }, ",", "\n");
       },
       absolute, kDepth2At10, LevelKind::OverSensor, LevelUnit::KPa},
      {"unit in feet in the metadata",
       [](const Recovery& r) {
         return "Instrument: Levelogger\nCH1 Level\nUNIT: ft\nCH2 Temperature\nUNIT: Deg C\n\nDate,Time,LEVEL,TEMPERATURE\n" +
                dataLines(r, [&](int i) { return fixed(r.overSensor(i) / 0.3048, 4) + ",14.2"; }, ",", "\n");
       },
       Recovery{}, kSensor10, LevelKind::OverSensor, LevelUnit::Ft},
  };
  for (const LayoutRow& row : rows) {
    tov::testing::writeBytes(dir / "in.txt", row.write(row.recovery));
    const Imported got = importFile(dir / "in.txt", row.reference);
    ASSERT_TRUE(got.ok) << row.what << ": " << got.error;
    EXPECT_EQ(got.settings.columns.levelKind, row.kind) << row.what;
    EXPECT_EQ(got.settings.columns.levelUnit, row.unit) << row.what;
    EXPECT_EQ(got.record.cell(1, C_clockTime), "10:02") << row.what;
    ASSERT_TRUE(got.k) << row.what;
    EXPECT_NEAR(*got.k / 2.0e-6, 1.0, 0.03) << row.what << " k " << *got.k;
    EXPECT_TRUE(got.warnings.empty()) << row.what << ": " << got.warnings.front();
    EXPECT_EQ(got.report, "") << row.what;
  }
}

// A short section file (three data lines and a footer) opens; the footer
// is neither a reading nor a skipped row.
TEST(LoggerLayouts, AShortSectionFileWithAFooterOpens) {
  TempDir dir;
  for (const int lines : {3, 4, 10}) {
    Recovery r;
    r.step = 60, r.before = 0, r.after = 60.0 * (lines - 1);
    tov::testing::writeBytes(dir / "short.MON", sectionFile(r));
    ImportSession session(false);
    std::string error;
    ASSERT_TRUE(session.open(dir / "short.MON", &error)) << lines << ": " << error;
    session.settings().reference = kSensor10;
    ASSERT_TRUE(session.readAll(&error)) << lines << ": " << error;
    EXPECT_EQ(session.series()->time.size(), static_cast<std::size_t>(lines));
    EXPECT_EQ(session.series()->skippedRows, 0u);
    EXPECT_EQ(session.series()->footerLines, 1u);
  }
}

TEST(LoggerLayouts, EveryUnitIsReadAndAnUnknownOneIsAsked) {
  TempDir dir;
  const Recovery r;
  struct Row { const char* name; double perMetre; };
  const Row rows[] = {
      {"m", 1},          {"cm", 100},       {"mm", 1000},        {"ft", 1 / 0.3048},      {"in", 1 / 0.0254},
      {"mH2O", 1},       {"cmH2O", 100},    {"mmH2O", 1000},     {"mWS", 1},              {"cmWS", 100},
      {"inH2O", 1 / 0.0254}, {"ftH2O", 1 / 0.3048}, {"kPa", 1 / kKPaToMetres}, {"Pa", 1000 / kKPaToMetres},
      {"hPa", 10 / kKPaToMetres}, {"mbar", 10 / kKPaToMetres}, {"mBar", 10 / kKPaToMetres},
      {"bar", 0.01 / kKPaToMetres}, {"psi", 1 / (6.894757 * kKPaToMetres)},
  };
  for (const Row& row : rows) {
    tov::testing::writeBytes(dir / "u.csv", std::string("Date,Time,Level (") + row.name + ")\n" +
                                                dataLines(r, [&](int i) { return fixed(r.overSensor(i) * row.perMetre, 6); }, ",", "\n"));
    const Imported got = importFile(dir / "u.csv", kSensor10);
    ASSERT_TRUE(got.ok && got.k) << row.name << ": " << got.error;
    EXPECT_NEAR(*got.k / 2.0e-6, 1.0, 0.03) << row.name << " k " << *got.k;
  }
  // An unknown unit is asked for, never read as metres; chosen, it reads.
  tov::testing::writeBytes(dir / "u.csv", "Date,Time,Level (furlong)\n" +
                                              dataLines(r, [&](int i) { return fixed(r.overSensor(i), 6); }, ",", "\n"));
  const Imported unknown = importFile(dir / "u.csv", kSensor10);
  EXPECT_FALSE(unknown.ok);
  EXPECT_NE(unknown.error.find("furlong"), std::string::npos) << unknown.error;
  EXPECT_TRUE(importFile(dir / "u.csv", kSensor10, [](ImportSession& s) { s.setLevelUnit(LevelUnit::M); }).ok);
}

// A slow recovery under a drifting air pressure and a passing front: the
// absolute logger's k is off, the barometric file's correction brings it
// within 1 %.
TEST(LoggerLayouts, ABarometricFileCorrectsTheAirPressure) {
  TempDir dir;
  // The zones of the level's and the barometer's date columns, and the
  // barometer's clock against the level's.
  struct Row { const char* what; std::function<double(double)> air; const char* levelZone; const char* baroZone; double baroClock; };
  const auto front = [](double t) { return t < 3600 ? 0.0 : -0.3 * (t - 3600) / 3600.0; };
  const Row rows[] = {
      {"drift 0.04 kPa/h", [](double t) { return 0.04 * t / 3600.0; }, "", "", 0},
      {"front 0.3 kPa/h", front, "", "", 0},
      {"front, the barometer an hour behind in its own zone", front, ", GMT+09:00", ", GMT+08:00", -3600},
  };
  for (const Row& row : rows) {
    Recovery r;
    r.k = 2.0e-7, r.step = 10, r.before = 600, r.after = 6 * 3600.0, r.air = 101.3, r.airChange = row.air;
    tov::testing::writeBytes(dir / "level.csv", std::string("\"Date Time") + row.levelZone + "\",Abs Pres (kPa)\n" + [&] {
      std::string text;
      for (int i = 0; i < r.samples(); ++i)
        text += "2026/11/03 " + clockOf(r.clock(i)) + "," + fixed(r.overSensor(i) / kKPaToMetres, 3) + "\n";
      return text;
    }());
    // The barometer: every 10 minutes, from a little before to a little after.
    std::string baro = std::string("\"Date Time") + row.baroZone + "\",Abs Pres (kPa)\n";
    for (double t = -300; t <= r.before + r.after + 600; t += 600)
      baro += "2026/11/03 " + clockOf(r.clockStart + t + row.baroClock) + "," + fixed(r.airAt(t), 3) + "\n";
    tov::testing::writeBytes(dir / "baro.csv", baro);
    const Reference reference{ReferenceKind::DepthAtTime, 2.0, 36000};
    const Imported raw = importFile(dir / "level.csv", reference);
    ASSERT_TRUE(raw.ok && raw.k) << row.what << raw.error;
    EXPECT_GT(std::abs(*raw.k / 2.0e-7 - 1.0), 0.01) << row.what << " raw k " << *raw.k;
    std::string error;
    const Imported fixedK = importFile(dir / "level.csv", reference, [&](ImportSession& s) {
      ASSERT_TRUE(s.readAll(&error) && s.setBarometer(dir / "baro.csv", &error)) << error;
    });
    ASSERT_TRUE(fixedK.ok && fixedK.k) << row.what << fixedK.error;
    EXPECT_NEAR(*fixedK.k / 2.0e-7, 1.0, 0.01) << row.what << " k " << *fixedK.k;
    EXPECT_NE(fixedK.report.find("気圧の変化"), std::string::npos) << row.what;
  }
  // A barometric record that does not cover the level's is refused.
  tov::testing::writeBytes(dir / "baro.csv", "Date Time,Abs Pres (kPa)\n2026/11/03 09:00:00,101.3\n2026/11/03 09:10:00,101.3\n");
  ImportSession session(false);
  std::string error;
  ASSERT_TRUE(session.open(dir / "level.csv", &error) && session.readAll(&error)) << error;
  EXPECT_FALSE(session.setBarometer(dir / "baro.csv", &error));
  EXPECT_NE(error.find("覆っていません"), std::string::npos) << error;
}

// At the end of summer time the hour repeats, at its beginning it is
// skipped: t runs on, the order is kept, both are told.
TEST(LoggerLayouts, ClockChangesKeepTRunning) {
  TempDir dir;
  struct Row { const char* what; double change; const char* told; };
  const Row rows[] = {{"hour repeated", -3600, "1 時間戻されています"}, {"hour skipped", 3600, "1 時間進められています"}};
  for (const Row& row : rows) {
    Recovery r;
    r.step = 10, r.clockChangeAt = 1200, r.clockChange = row.change;
    tov::testing::writeBytes(dir / "dst.csv", "Date,Time,Level (m)\n" +
                                                  dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4); }, ",", "\n"));
    const Imported got = importFile(dir / "dst.csv", kSensor10);
    ASSERT_TRUE(got.ok && got.k) << row.what << got.error;
    EXPECT_NEAR(*got.k / 2.0e-6, 1.0, 0.03) << row.what << " k " << *got.k;
    EXPECT_NE(got.report.find(row.told), std::string::npos) << row.what << got.report;
    EXPECT_EQ(got.report.find("時刻の順でない"), std::string::npos) << row.what;
    EXPECT_EQ(got.record.cell(1, C_time), "0") << row.what;
  }
}

// The fault: a level over the sensor read as depth below the top gave a
// rising s and a negative k without a word.
TEST(LoggerLayouts, AnInvertedLevelIsReportedNotWritten) {
  TempDir dir;
  const Recovery r;
  tov::testing::writeBytes(dir / "wrong.csv", "Date,Time,Depth to water (m)\n" +
                                                  dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4); }, ",", "\n"));
  const Imported got = importFile(dir / "wrong.csv", {});
  ASSERT_TRUE(got.ok) << got.error;
  ASSERT_FALSE(got.warnings.empty());
  EXPECT_NE(got.warnings.front().find("水位の列の意味"), std::string::npos);
  // The command line writes nothing unless told to.
  TestRecord headings;
  tov::testing::sampleHeadings(headings, false);
  headings.set_startHeadDifference("1.5");
  ASSERT_TRUE(saveTestFile(dir / "bh.tvd", headings));
  std::vector<std::string> args = {"--import-readings", (dir / "wrong.csv").string(), "--output",
                                   (dir / "out.tvd").string(), "--into", (dir / "bh.tvd").string()};
  EXPECT_EQ(runImportCommand(args, dir.path()), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.tvd"));
  args.push_back("--accept-warnings");
  EXPECT_EQ(runImportCommand(args, dir.path()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "out.tvd"));
}

// The fault: --into kept the template's points, a and k, so two different
// recoveries came out with the same k.
TEST(LoggerLayouts, IntoATemplateTheAnalysisIsTheImportsOwn) {
  TempDir dir;
  TestRecord headings;
  tov::testing::sampleHeadings(headings, false);
  headings.set_point1Row("1"), headings.set_point2Row("30");
  headings.set_pointT1("0"), headings.set_pointT2("1500");
  headings.set_gradientText("0.000821881"), headings.set_permeabilityText("2.01E-006");
  ASSERT_TRUE(saveTestFile(dir / "template.tvd", headings));
  for (const double k : {6.45e-6, 4.04e-5}) {
    Recovery r;
    r.k = k, r.after = std::round(2.0 / (kTrueA * k / 2.0e-6));  // down to about 1.5 cm
    tov::testing::writeBytes(dir / "in.csv", "Date,Time,Level (m)\n" +
                                                 dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4); }, ",", "\n"));
    std::filesystem::remove(dir / "out.tvd");
    ASSERT_EQ(runImportCommand({"--import-readings", (dir / "in.csv").string(), "--output", (dir / "out.tvd").string(),
                                "--into", (dir / "template.tvd").string(), "--sensor-depth", "10"},
                               dir.path()),
              0);
    TestRecord record;
    ASSERT_EQ(loadTestFile(dir / "out.tvd", record), LoadStatus::Ok);
    EXPECT_NE(record.gradientText(), "0.000821881") << k;
    EXPECT_NEAR(record.fieldValue(F_permeabilityText) / k, 1.0, 0.03) << k << " k " << record.permeabilityText();
    EXPECT_EQ(record.sectionLength(), "1.0");
  }
}

// Options out of range (a sensor above the pipe top too) and a record without a drop are
// refused; nothing is written.
TEST(LoggerLayouts, CheckedOptionsWriteNothing) {
  TempDir dir;
  const Recovery r;
  tov::testing::writeBytes(dir / "in.csv", "Date,Time,Level (m)\n" +
                                               dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4); }, ",", "\n"));
  Recovery flat;
  flat.after = 0, flat.before = 600;
  tov::testing::writeBytes(dir / "flat.csv", "Date,Time,Level (m)\n" +
                                                 dataLines(flat, [&](int) { return std::string("8.0000"); }, ",", "\n"));
  const std::string in = (dir / "in.csv").string(), out = (dir / "out.tvd").string();
  const std::vector<std::vector<std::string>> failing = {
      {"--import-readings", in, "--output", out, "--sensor-depth", "1e308"},
      {"--import-readings", in, "--output", out, "--sensor-depth", "-10001"},
      {"--import-readings", in, "--output", out, "--sensor-depth", "-5"},  // a sensor above the pipe top
      {"--import-readings", in, "--output", out, "--reference-depth", "20000", "--at", "10:00:00"},
      {"--import-readings", (dir / "flat.csv").string(), "--output", out, "--sensor-depth", "10"},
      {"--import-readings", in, "--output", out, "--sensor-depth", "10", "--level-unit", "furlong"},
  };
  for (const auto& args : failing) {
    EXPECT_EQ(runImportCommand(args, dir.path()), 1) << args[5];
    EXPECT_FALSE(std::filesystem::exists(out)) << args[5];
  }
}

// From a logger file into an empty test: the headings the file knows are
// filled, the analysis set, and k is there without typing a heading but
// the sizes.
TEST(LoggerLayouts, AnEmptyTestIsFilledFromTheFile) {
  TempDir dir;
  const Recovery r;
  tov::testing::writeBytes(dir / "in.csv", "Date,Time,Level (m)\n" +
                                               dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4); }, ",", "\n"));
  ImportSession session(false);
  std::string error;
  ASSERT_TRUE(session.open(dir / "in.csv", &error)) << error;
  session.settings().reference = kSensor10;
  ASSERT_TRUE(session.readAll(&error)) << error;
  TestRecord record;
  record.set_sectionLength("1.0"), record.set_boreDiameter("0.066"), record.set_equivalentDiameter("0.05");
  record.set_formulaKind("1");
  ASSERT_TRUE(session.apply(record, &error)) << error;
  const auto filled = session.fillHeadings(record, false);
  EXPECT_EQ(filled, (std::vector<std::string>{"平衡水位 ho", "Sp", "試験方法", "試験年月日"}));
  EXPECT_EQ(record.equilibriumLevel(), "-2.000");
  EXPECT_EQ(record.startHeadDifference(), "1.500");
  EXPECT_EQ(record.testMethod(), "汲上げ(回復)");
  EXPECT_EQ(record.testDateYear() + "/" + record.testDateMonth() + "/" + record.testDateDay(), "2026/11/3");
  EXPECT_TRUE(session.warnings(record).empty());
  // Without the sizes no analysis is set and nothing is said (no box after OK).
  RecordingMessageSink sink;
  const ScopedMessageSink scoped(sink);
  TestRecord sizeless = record;
  sizeless.set_sectionLength("");
  setAnalysisBySuggestion(sizeless, 2);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(sizeless.permeabilityText(), "");
  setAnalysisBySuggestion(record, 2);
  EXPECT_NEAR(record.fieldValue(F_permeabilityText) / 2.0e-6, 1.0, 0.03) << record.permeabilityText();
  // A heading already typed stays unless the engineer agrees.
  record.set_testMethod("投入");
  EXPECT_TRUE(session.fillHeadings(record, false).empty());
  EXPECT_EQ(session.fillHeadings(record, true), std::vector<std::string>{"試験方法"});
}

TEST(LoggerLayouts, WesternEuropeanFilesReadAsCp1252) {
  TempDir dir;
  const Recovery r;
  tov::testing::writeBytes(dir / "de.csv", "Datum;Zeit;Wasserstand (m);Temperatur (\xB0" "C)\n" +
                                               dataLines(r, [&](int i) { return fixed(r.overSensor(i), 4) + ";11"; }, ";", "\n"));
  ImportSession session(false);
  std::string error;
  ASSERT_TRUE(session.open(dir / "de.csv", &error)) << error;
  EXPECT_EQ(session.settings().layout.encoding, Encoding::Cp1252);
  EXPECT_EQ(session.columnNames()[3], "Temperatur (°C)");
  EXPECT_FALSE(session.encodingMixed());
  EXPECT_EQ(detectEncoding("\x8E\x9E\x8D\x8F,\x90\x85\x88\xCA"), Encoding::Cp932);  // 時刻,水位 stays CP932
}

} // namespace
