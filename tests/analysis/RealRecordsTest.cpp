// The suggested segment and its k on synthetic records of the kinds met in
// the field, each with the formation's k known; the interval of k against
// its closed form; the faults the suggestion once had.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "PublishedSlugTests.h"
#include "analysis/Analysis.h"
#include "support/FieldRecords.h"
#include "record/CFormat.h"

namespace {

using namespace tov;

// Readings as taken in the field: every 5 s, then 10, 15, 30, 60 and 120 s.
const std::vector<double> kField{0,   5,   10,  15,  20,  30,  40,  50,  60,  75,  90,  105, 120, 150,
                                 180, 210, 240, 300, 360, 420, 480, 540, 600, 720, 840, 960, 1080, 1200};

// A logger's record as imported: 120 rows log-spaced over 3600 s (each
// second read, then fewer).
const std::vector<double> kLogger = [] {
  std::vector<double> times;
  for (int i = 0; i < 120; ++i) {
    const double t = std::round(std::pow(3601.0, i / 119.0)) - 1.0;
    times.push_back(times.empty() ? t : std::max(t, times.back() + 1.0));
  }
  return times;
}();

// A record of the basic formula (L 1 m, D 0.1 m, de 0.05 m) whose s at t is
// s(t), read to `decimals` decimals (h' = s: the static level at 0).
TestRecord synthetic(const std::vector<double>& times, const std::function<double(double)>& s, int decimals) {
  TestRecord record;
  record.setField(F_formulaKind, "1");
  record.setField(F_sectionLength, "1");
  record.setField(F_boreDiameter, "0.1");
  record.setField(F_equivalentDiameter, "0.05");
  int row = 1;
  for (double t : times) {
    const std::string reading = cformat("%.*f", decimals, s(t));
    record.setCell(row, C_time, cformat("%g", t));
    record.setCell(row, C_pipeLevel, reading);
    record.setCell(row++, C_headDifference, reading);
  }
  return record;
}

// log10 s falling by a1 per second to tBreak, then by a2.
std::function<double(double)> twoLines(double s0, double a1, double a2, double tBreak) {
  return [=](double t) { return s0 * std::pow(10.0, t <= tBreak ? -a1 * t : -a1 * tBreak - a2 * (t - tBreak)); };
}
std::function<double(double)> line(double s0, double a) { return twoLines(s0, a, a, 0); }

std::vector<double> shifted(std::vector<double> times, double by) {
  for (double& t : times) t += by;
  return times;
}

double kOf(double a) {
  Geometry g;
  g.formula = 1, g.length = 1, g.bore = 0.1, g.equivalentDiameter = 0.05;
  return *permeabilityFromGradient(g, a);
}

std::vector<CheckKind> shapeChecks(const std::vector<Check>& checks) {
  using K = CheckKind;
  std::vector<CheckKind> out;
  for (const Check& c : checks)
    if (c.kind == K::Oscillation || c.kind == K::Incomplete || c.kind == K::Rising || c.kind == K::BelowResolution ||
        c.kind == K::RestLevel || c.kind == K::ShortFall || c.kind == K::MistypedRow)
      out.push_back(c.kind);
  return out;
}

// A field record of `shape` (h' from the pipe top, ho written, h and s derived).
TestRecord field(void (*change)(fieldrecords::Shape&), unsigned seed = 1) {
  fieldrecords::Shape shape;
  shape.noise = 0.0003, shape.seed = seed;
  change(shape);
  return fieldrecords::make(shape);
}

TEST(RealRecords, TheSuggestedKIsTheFormationsWhereALineExists) {
  using K = CheckKind;
  const double noK = 0;
  const struct {
    const char* name;
    TestRecord record;
    double formationA;  // 0: no straight line, no k
    std::vector<K> checks;
    int earlierLast = 0;  // the last row of an earlier line that must be named
  } rows[] = {
      {"clean decay", synthetic(kField, line(2, 0.0015), 4), 0.0015, {}},
      {"double line, break at 40 s", synthetic(kField, twoLines(2, 0.01, 0.001, 40), 3), 0.001, {}, 7},
      {"double line, break at 200 s", synthetic(kField, twoLines(2, 0.004, 0.0008, 210), 3), 0.0008, {}, 16},
      {"double line, break at 600 s", synthetic(kField, twoLines(2, 0.002, 0.0005, 600), 4), 0.0005, {}, 23},
      {"smooth transition",
       synthetic(kField, [](double t) { return 1.2 * std::pow(10.0, -0.01 * t) + 0.8 * std::pow(10.0, -0.001 * t); }, 3),
       0.001, {}},
      {"concave up: no line",
       synthetic(kField, [](double t) { return 2.0 / std::pow(1.0 + t / 60.0, 1.5); }, 4), noK, {}},
      {"read to 1 cm", synthetic(kField, line(3, 0.0012), 2), 0.0012, {}},
      {"read to 1 mm", synthetic(kField, line(1, 0.0012), 3), 0.0012, {}},
      {"oscillation",
       synthetic(kField, [](double t) { return 0.5 + 1.5 * std::exp(-t / 150.0) * std::cos(t / 40.0); }, 3), noK,
       {K::Oscillation, K::BelowResolution}},
      // A recovery towards s = 0.3 m: the rest level is 0.3 m off; the k is
      // the one of the record's own rest level (named in 検討事項).
      {"incomplete recovery",
       synthetic(kField, [](double t) { return 0.3 + 1.7 * std::pow(10.0, -0.004 * t); }, 3), 0.004,
       {K::RestLevel, K::BelowResolution}},
      {"s rising", synthetic(kField, [](double t) { return 1.0 + t / 1000.0; }, 3), noK, {K::Rising}},
      {"s flat", synthetic(kField, [](double) { return 1.0; }, 3), noK, {K::Rising}},
      {"3 rows", synthetic({0, 30, 60}, line(1, 0.006), 4), 0.006, {}},
      {"4 rows", synthetic({0, 30, 60, 90}, line(1, 0.004), 4), 0.004, {}},
      {"5 rows", synthetic({0, 30, 60, 90, 120}, line(1, 0.003), 4), 0.003, {}},
      {"not starting at 0", synthetic(shifted(kField, 300), line(2, 0.0015), 4), 0.0015, {}},
      {"read to 0.1 mm with ±0.3 mm of scatter down to 2 mm (a logger's rows)",
       synthetic(kLogger, [](double t) { return 1.5 * std::pow(10.0, -0.00082 * t) + 0.0003 * std::sin(t * 12.9898); }, 4),
       0.00082, {}},
      {"last row at s = 0",
       synthetic(kField, [](double t) { return t >= 1200 ? 0.0 : 2.0 * std::pow(10.0, -0.0015 * t); }, 3), 0.0015,
       {K::BelowResolution}},
      // The rest level written off or drifting: the k of the record's own
      // rest level, which is named (a tail's k without a word once).
      {"ho written 3 cm high", field([](auto& s) { s.restOff = 0.03; }), 0.0015, {K::RestLevel}},
      {"ho written 5 cm low: late rows cross s = 0", field([](auto& s) { s.restOff = -0.05; }), 0.0015,
       {K::RestLevel}},
      {"ho rising 5 cm/h through a logger's hour",
       field([](auto& s) { s.times = fieldrecords::loggerTimes(3600), s.s0 = 1.5, s.a = 0.0008, s.drift = 0.05 / 3600; }),
       0.0008, {K::RestLevel, K::BelowResolution}},
      {"ho falling 2 cm/h over 20 min", field([](auto& s) { s.drift = -0.02 / 3600; }), 0.0015, {K::RestLevel}},
      {"ho written to 1 cm, 1 cm off: within its error",
       field([](auto& s) { s.restOff = 0.01, s.restDecimals = 2; }), 0.0015, {}},
      // A logger run into its noise floor: never the tail's k (+80 % once).
      {"logger, 1 mm readings with 1 mm noise",
       field([](auto& s) { s.times = fieldrecords::loggerTimes(3600), s.s0 = 1.5, s.a = 0.00082, s.noise = 0.001; }, 7),
       0.00082, {K::BelowResolution}},
      // Past full recovery at 0.1 mm with noise of 3 steps: no false 振動 nor 頭打ち.
      {"clean, run on past full recovery (0.1 mm)",
       field([](auto& s) { s.times = fieldrecords::loggerTimes(3600), s.s0 = 1.5, s.a = 0.002, s.decimals = 4; }, 5),
       0.002, {K::BelowResolution}},
      {"a mistyped row (3.670 for 3.760)", field([](auto& s) { s.mistypedRow = 14; }), 0.0015, {K::MistypedRow}},
      {"a fall of 30 % stopped early", field([](auto& s) { s.a = -std::log10(0.7) / 1200; }), -std::log10(0.7) / 1200,
       {K::ShortFall}},
      {"a fall of 15 %: no k", field([](auto& s) { s.a = -std::log10(0.85) / 1200; }), noK, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const AnalysisReport report = analyseRecord(r.record, AnalysisSettings{});
    const Suggestion& got = report.suggestion;
    EXPECT_FALSE(got.reason.empty());
    if (r.formationA > 0) {
      ASSERT_TRUE(got.found && got.k) << got.reason;
      EXPECT_NEAR(got.k->k / kOf(r.formationA), 1.0, 0.03) << got.reason;
      EXPECT_LE(got.k->low, got.k->k);
      EXPECT_GE(got.k->high, got.k->k);
    } else if (r.formationA == 0) {
      EXPECT_FALSE(got.found) << got.reason;
      EXPECT_FALSE(got.k);
    }
    if (got.found) {
      // Never a segment starting or ending on a row left out, nor a k below 0.
      EXPECT_GT(toDouble(r.record.cell(got.fit.first, C_headDifference)), 0.0);
      EXPECT_GT(toDouble(r.record.cell(got.fit.last, C_headDifference)), 0.0);
      EXPECT_GT(got.fit.a, 0.0);
    }
    if (r.earlierLast > 0) {
      ASSERT_TRUE(got.earlier) << got.reason;
      EXPECT_LE(got.earlier->last, got.fit.first);
      const auto named = std::find_if(report.checks.begin(), report.checks.end(),
                                      [](const Check& c) { return c.kind == CheckKind::EarlierLine; });
      ASSERT_NE(named, report.checks.end());
      EXPECT_NE(named->text.find("前半の直線"), std::string::npos);
    }
    EXPECT_EQ(shapeChecks(report.checks), r.checks) << got.reason;
  }
}

// A formation with storage bends log s - t upwards from the start; s = c +
// A·e^(-λt) fits that bend within millimetres, and the rest level was
// named as off or drifting on 30 of 32 such records (drifts of +549 cm/h
// in a test of minutes) with a k +26 … +127 % above the record's own
// straight-line k over s/H0 0.15-0.25. With the written ho kept and a
// curve with storage explaining the bend, the rows of that range are taken
// and the bend named for what it is.
TEST(RealRecords, StorageBendsTheRecordWithoutMovingItsRestLevel) {
  const struct {
    bool partial, logger;
    double k, storage, skin;
  } rows[] = {
      {false, false, 3e-6, 1e-5, 0}, {false, false, 3e-5, 1e-3, 0}, {false, true, 3e-6, 1e-2, 0},
      {false, true, 3e-5, 1e-4, 0},  {true, false, 3e-6, 1e-4, 0},  {true, false, 3e-5, 1e-2, 0},
      {true, true, 3e-6, 1e-3, 0},   {true, true, 3e-5, 1e-5, 0},   {false, false, 3e-6, 1e-3, 3},
      {true, true, 3e-6, 1e-4, 3},
  };
  unsigned seed = 0;
  for (const auto& row : rows) {
    fieldrecords::Shape shape;
    shape.conductivity = row.k, shape.storage = row.storage, shape.partial = row.partial, shape.skin = row.skin;
    shape.noise = 0.0003, shape.seed = ++seed;
    shape.times = fieldrecords::storageTimes(shape, row.logger);
    if (row.logger) shape.decimals = 4, shape.restDecimals = 4;
    SCOPED_TRACE(cformat("%s %s K %g Ss %g skin %g", row.partial ? "KGS" : "CBP", row.logger ? "logger" : "field",
                         row.k, row.storage, row.skin));
    const AnalysisReport report = analyseRecord(fieldrecords::make(shape), AnalysisSettings{});
    const Suggestion& got = report.suggestion;
    ASSERT_TRUE(got.found && got.k) << got.reason;
    EXPECT_FALSE(got.restLevel) << got.reason;
    EXPECT_NEAR(got.k->k / fieldrecords::bandK(shape), 1.0, 0.15) << got.reason;
    const bool named = std::any_of(report.checks.begin(), report.checks.end(),
                                   [](const Check& c) { return c.kind == CheckKind::Storage; });
    EXPECT_TRUE(named) << got.reason;
  }
}

// Published field slug tests, their static levels as their authors
// measured them (PublishedSlugTests.h): the rest level was named as off in
// 4 of 5 ("ho は試験中に +57.2 cm/h 変化"). Now none, and the suggested k
// is the straight line's over s/H0 0.15-0.25 within 15 %.
TEST(RealRecords, PublishedRecordsKeepTheirStaticLevel) {
  const struct {
    const char* name;
    const publishedslug::Record& rows;
    double length, bore, pipe;
  } records[] = {
      {"Dawsonville", publishedslug::kDawsonville, 98, 0.152, 0.152},
      {"Pratt County", publishedslug::kPrattCounty, 1.52, 0.25, 0.128},
      {"Ln-2", publishedslug::kLn2, 6.1, 0.204, 0.102},
  };
  for (const auto& r : records) {
    SCOPED_TRACE(r.name);
    const TestRecord record = publishedslug::typedRecord(r.rows, r.length, r.bore, r.pipe);
    const AnalysisReport report = analyseRecord(record, AnalysisSettings{});
    ASSERT_TRUE(report.suggestion.k) << report.suggestion.reason;
    EXPECT_FALSE(report.suggestion.restLevel) << report.suggestion.reason;
    // The straight line through the rows at s/H0 0.25 and 0.15 (the last above, the first below each).
    const std::vector<Sample> s = unsteadySamples(record);
    auto at = [&](double part) -> double {
      for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i].s <= part * s[0].s)
          return s[i - 1].t + (s[i].t - s[i - 1].t) * (s[i - 1].s - part * s[0].s) / (s[i - 1].s - s[i].s);
      return NAN;
    };
    const double a = std::log10(0.25 / 0.15) / (at(0.15) - at(0.25));
    EXPECT_NEAR(report.suggestion.k->k / *permeabilityFromGradient(geometryOf(record), a), 1.0, 0.15)
        << report.suggestion.summary(3);
  }
}

// A straight recovery after an early bump (the bundled samples'
// shape: s = s0·10^(-a·t)·(1 + e·e^(-t/40)), read to 1 mm): the segment
// took rows 6〜30 and k +2.4 % (samples/unsteady.tvd), long.tvd +1.0 %,
// both outside their printed intervals, the fit's weight on the largest s
// pulled by the bump that the 10 % allowed to the halves let in.
TEST(RealRecords, AnEarlyBumpNeverPullsTheLine) {
  const struct {
    std::vector<double> times;
    double s0, a, bump;
    int straightFrom;  // the first row whose bump is below 0.1 mm
  } rows[] = {
      {{0,   5,   10,  15,  20,  30,  40,  50,  60,   80,   100,  120,  150,  180, 240,
        300, 360, 420, 480, 540, 600, 720, 840, 960, 1080, 1200, 1350, 1500, 1650, 1800},
       3.0, 8.2e-4, 0.08, 15},
      {{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170, 180, 190, 200, 210, 220, 230,
        240, 250, 260, 270, 280, 290, 300, 330, 360, 390, 420, 450, 480, 510, 540, 570, 600, 630, 660, 690, 720, 750},
       2.0, 4.45e-4, 0.06, 20},
  };
  for (const auto& row : rows) {
    const TestRecord record = synthetic(row.times, [&](double t) {
      return row.s0 * std::pow(10.0, -row.a * t) * (1.0 + row.bump * std::exp(-t / 40.0));
    }, 3);
    const Suggestion got = analyseRecord(record, AnalysisSettings{}).suggestion;
    ASSERT_TRUE(got.k) << got.reason;
    EXPECT_GE(got.fit.first, row.straightFrom - 2) << got.summary(3);
    EXPECT_NEAR(got.k->k / kOf(row.a), 1.0, 0.002) << got.summary(3);
  }
}

// The printed 95 % interval (bounds rounded outward) covers the formation's
// k in 90 to 97 % of straight records with additive noise of 0.3 to 1.5 mm
// at reading steps of 1 mm and 0.1 mm (the fit weighted for such noise;
// unweighted it covered 62 % once rounded to nearest).
TEST(RealRecords, TheIntervalCoversTheTrueKAt95PerCent) {
  int covered = 0, records = 0;
  for (int decimals : {3, 4})
    for (double noise : {0.0003, 0.0006, 0.001, 0.0015})
      for (unsigned seed = 1; seed <= 40; ++seed) {
        fieldrecords::Shape shape;
        shape.noise = noise, shape.decimals = decimals, shape.restDecimals = decimals, shape.seed = seed;
        const Suggestion got = analyseRecord(fieldrecords::make(shape), AnalysisSettings{}).suggestion;
        ASSERT_TRUE(got.k) << got.reason;
        const auto [low, high] = intervalBounds(*got.k, 2);
        ASSERT_NE(low, high);
        const double k = fieldrecords::formationK(shape);
        covered += toDouble(low) <= k && k <= toDouble(high) ? 1 : 0;
        ++records;
      }
  EXPECT_GE(covered, records * 90 / 100) << covered << " of " << records;
  EXPECT_LE(covered, records * 97 / 100) << covered << " of " << records;
  // Student's t against its table.
  const struct { int df; double t; } table[] = {{1, 12.706}, {2, 4.303}, {5, 2.571}, {10, 2.228}, {30, 2.042}};
  for (const auto& row : table) EXPECT_NEAR(studentT95(row.df), row.t, 0.001) << row.df;
}

// The faults the suggestion and the report once had.
TEST(RealRecords, AFullRecoveryKeepsItsK) {
  const TestRecord record =
      synthetic({0, 60, 120, 180, 240, 300, 360, 420, 480, 540, 600, 660, 720, 780},
                [](double t) { return t >= 780 ? 0.0 : 2.0 * std::pow(10.0, -0.002 * t); }, 3);
  const Suggestion got = analyseRecord(record, AnalysisSettings{}).suggestion;
  ASSERT_TRUE(got.found && got.k);
  EXPECT_LT(got.fit.last, 14);  // never the row at s = 0
  EXPECT_NEAR(got.k->k / kOf(0.002), 1.0, 0.03);
}

TEST(RealRecords, RisingOrFlatSGivesNoKAndSaysWhy) {
  const struct { const char* name; std::function<double(double)> s; const char* reason; } rows[] = {
      {"rising", [](double t) { return 1.0 + t / 300.0; }, "s が下がっていません"},
      {"flat", [](double) { return 1.0; }, "s が下がっていません"},
      {"falling 10 %", [](double t) { return 1.0 - t / 12000.0; }, "s の低下が 10 %"},
  };
  for (const auto& r : rows) {
    const Suggestion got = analyseRecord(synthetic(kField, r.s, 3), AnalysisSettings{}).suggestion;
    EXPECT_FALSE(got.found) << r.name;
    EXPECT_EQ(got.summary().rfind("なし (", 0), 0U) << r.name << ": " << got.summary();  // no doubled label
    EXPECT_NE(got.summary().find(r.reason), std::string::npos) << r.name << ": " << got.summary();
  }
}

TEST(RealRecords, APointRowBeyondTheReadingsIsClampedAsTheDialogDoes) {
  TestRecord record = synthetic(shifted({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0), line(1, 0.02), 4);
  for (int row = 1; row <= 14; ++row) record.setCell(row, C_time, cformat("%d", (row - 1) * 10));
  record.setField(F_point1Row, "1");
  record.setField(F_point2Row, "20");
  const AnalysisReport report = analyseRecord(record, AnalysisSettings{});
  ASSERT_TRUE(report.segment && report.segment->usable);
  EXPECT_EQ(report.segment->last, 14);
  EXPECT_EQ(pointRows(record, 14), std::make_pair(1, 14));
  for (const Check& check : report.checks) EXPECT_NE(check.kind, CheckKind::FewRows) << check.text;
}

TEST(RealRecords, SummaryLineGivesRowsKAndInterval) {
  const Suggestion got = analyseRecord(synthetic(kField, line(2, 0.0015), 4), AnalysisSettings{}).suggestion;
  ASSERT_TRUE(got.k);
  EXPECT_EQ(got.summary(), "1〜28 行 (n 28) " + intervalText(*got.k, 2));
  // Bounds rounded outward, with digits enough that they differ and are
  // not widened much (a narrow interval printed "2.18E-006〜2.18E-006" once);
  // k with the k digits.
  const struct { KInterval k; int digits; const char* text; } rows[] = {
      {{2.01e-6, 2.0e-6, 2.02e-6}, 2, "k 2.01E-006 (95 % 2.00E-006〜2.02E-006)"},
      {{2.177e-6, 2.1755e-6, 2.1785e-6}, 2, "k 2.18E-006 (95 % 2.1755E-006〜2.1785E-006)"},
      {{2.177e-6, 2.1755e-6, 2.1785e-6}, 3, "k 2.177E-006 (95 % 2.1755E-006〜2.1785E-006)"},
      {{2.177e-6, 2.1e-6, 2.26e-6}, 1, "k 2.2E-006 (95 % 2.10E-006〜2.26E-006)"},
      {{2.177e-6, 2.143e-6, 2.216e-6}, 2, "k 2.18E-006 (95 % 2.14E-006〜2.22E-006)"},
  };
  for (const auto& r : rows) EXPECT_EQ(intervalText(r.k, r.digits), r.text);
}

// Every h' moved by less than one reading step (a barometer's record in
// kPa against psi) never moves the suggested k by more than its interval
// (rows 1-112 against 106-120 once, +0.4 % against +6.3 %).
TEST(RealRecords, ReadingsMovedByLessThanAStepKeepTheK) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    fieldrecords::Shape shape;
    shape.times = fieldrecords::loggerTimes(3600);
    shape.s0 = 1.5, shape.a = 0.00082, shape.decimals = 4, shape.restDecimals = 4, shape.noise = 0.001;
    shape.seed = seed;
    const TestRecord one = fieldrecords::make(shape);
    TestRecord other = one;
    std::mt19937 random(seed + 1000);
    std::uniform_int_distribution<int> units(-1, 1);
    for (int row = 1; row <= 120; ++row)
      other.setCell(row, C_pipeLevel, cformat("%.4f", toDouble(one.cell(row, C_pipeLevel)) + 0.0001 * units(random)));
    other.deriveAllRows();
    const Suggestion a = analyseRecord(one, AnalysisSettings{}).suggestion;
    const Suggestion b = analyseRecord(other, AnalysisSettings{}).suggestion;
    ASSERT_TRUE(a.k && b.k) << seed;
    EXPECT_LE(std::fabs(a.k->k - b.k->k), (a.k->high - a.k->low) / 2) << seed << ": " << a.summary() << " / " << b.summary();
  }
}

} // namespace
