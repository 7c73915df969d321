// The line fit against closed forms, the suggested segment and the spread
// on synthetic recoveries, the checks, and our settings file.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <unistd.h>

#include "analysis/Analysis.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace {

using namespace tov;

// Uneven times, as read in the field.
const std::vector<double> kTimes{0, 5, 10, 15, 20, 30, 45, 60, 90, 120, 180, 240, 300, 420, 600, 900};

std::vector<Sample> decay(double s0, double T) {
  std::vector<Sample> samples;
  for (double t : kTimes) samples.push_back({t, s0 * std::exp(-t / T)});
  return samples;
}

// A fast early part (gradient a1 to tBreak), then the formation's line (a2).
std::vector<Sample> doubleLine(double a1, double a2, double tBreak) {
  std::vector<Sample> samples;
  for (double t : kTimes) {
    const double y = t <= tBreak ? -a1 * t : -a1 * tBreak - a2 * (t - tBreak);
    samples.push_back({t, 2.0 * std::pow(10.0, y)});
  }
  return samples;
}

std::vector<Sample> noisy(unsigned seed, double amplitude) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> noise(-amplitude, amplitude);
  std::vector<Sample> samples;
  for (double t : kTimes) samples.push_back({t, 1.0 + noise(random)});
  return samples;
}

std::vector<Sample> oscillation() {
  std::vector<Sample> samples;
  for (double t : kTimes) samples.push_back({t, 1.0 + 0.5 * std::cos(t / 25.0)});
  return samples;
}

Geometry geometry(int formula) {
  Geometry g;
  g.formula = formula;
  g.length = 1.0;
  g.bore = 0.1;
  g.equivalentDiameter = 0.05;
  return g;
}

TEST(LineFit, ExponentialDecayGivesItsGradientExactly) {
  const struct { double s0, T; int first, last; } rows[] = {
      {2.0, 100, 1, 16}, {0.5, 1000, 3, 12}, {5.0, 37.5, 2, 9}, {1.0, 5000, 14, 16},
  };
  for (const auto& r : rows) {
    const LineFit fit = fitLine(decay(r.s0, r.T), r.first, r.last);
    ASSERT_TRUE(fit.usable);
    EXPECT_EQ(fit.n, r.last - r.first + 1);
    EXPECT_NEAR(fit.a, 1.0 / (std::log(10.0) * r.T), 1e-9 * fit.a) << r.T;
    EXPECT_NEAR(fit.r2, 1.0, 1e-9) << r.T;
    EXPECT_NEAR(fit.sAt(0), r.s0, 1e-9 * r.s0);
  }
}

TEST(LineFit, PartsOfADoubleLineNoiseAndUnfittableRows) {
  const auto twoParts = doubleLine(0.02, 0.001, 30);  // the break is row 6 (t 30)
  const struct { std::vector<Sample> samples; int first, last; bool usable; double a, r2Low, r2High; } rows[] = {
      {twoParts, 1, 6, true, 0.02, 1 - 1e-9, 1},
      {twoParts, 6, 16, true, 0.001, 1 - 1e-9, 1},
      {twoParts, 1, 16, true, NAN, 0, 0.9},  // across the break: clearly not straight
      {noisy(7, 0.05), 1, 16, true, NAN, 0, 0.5},
      // Rows with s at or below 0.0001 are left out; under 3 left, no fit.
      {{{0, 1}, {10, 0.0001}, {20, 0}, {30, 0.5}}, 1, 4, false, NAN, 0, 0},
      {{{0, 1}, {0, 0.5}, {0, 0.2}}, 1, 3, false, NAN, 0, 0},  // one time only
      {decay(1, 100), 5, 3, false, NAN, 0, 0}, {decay(1, 100), 0, 3, false, NAN, 0, 0},
      {decay(1, 100), 14, 17, false, NAN, 0, 0},
  };
  for (const auto& r : rows) {
    const LineFit fit = fitLine(r.samples, r.first, r.last);
    EXPECT_EQ(fit.usable, r.usable) << r.first << ".." << r.last;
    if (!fit.usable) continue;
    if (!std::isnan(r.a)) {
      EXPECT_NEAR(fit.a, r.a, 1e-9 * r.a);
    }
    EXPECT_GE(fit.r2, r.r2Low);
    EXPECT_LE(fit.r2, r.r2High);
  }
}

TEST(LineFit, KFromTheFittedGradientIsTheRecordsFormula) {
  const LineFit fit = fitLine(decay(1.5, 300), 1, 16);
  for (int formula = 0; formula <= 3; ++formula) {
    const auto k = permeabilityFromGradient(geometry(formula), fit.a);
    ASSERT_TRUE(k);
    EXPECT_DOUBLE_EQ(*k, computePermeability(static_cast<unsigned>(formula), 10, 0.05, 1, fit.a, 0, 0));
  }
  Geometry flat = geometry(0);
  flat.bore = 0;
  EXPECT_FALSE(permeabilityFromGradient(flat, fit.a));
  EXPECT_FALSE(permeabilityFromGradient(geometry(7), fit.a));
}

TEST(Suggestion, FollowsTheRuleOnSyntheticRecoveries) {
  const AnalysisSettings settings;
  const Band none;
  const struct { const char* name; std::vector<Sample> samples; bool found; int first, last; } rows[] = {
      {"clean decay: the whole record", decay(2, 200), true, 1, 16},
      {"double line: the later part", doubleLine(0.02, 0.001, 30), true, 6, 16},
      {"double line, long early part", doubleLine(0.004, 0.0005, 240), true, 12, 16},
      {"noise: no segment, not silent", noisy(3, 0.3), false, 0, 0},
      {"oscillation: no segment, not silent", oscillation(), false, 0, 0},
      {"three rows: all of them", {{0, 1}, {10, 0.7}, {20, 0.49}}, true, 1, 3},
      {"two rows: nothing to fit", {{0, 1}, {10, 0.5}}, false, 0, 0},
  };
  for (const auto& r : rows) {
    const Suggestion got = suggestSegment(r.samples, none, settings);
    EXPECT_EQ(got.found, r.found) << r.name << ": " << got.reason;
    EXPECT_FALSE(got.reason.empty()) << r.name;
    if (r.first == 0) continue;
    EXPECT_EQ(got.fit.first, r.first) << r.name;
    EXPECT_EQ(got.fit.last, r.last) << r.name;
  }
}

// The k over the sub-segments of the suggested segment: one line gives one
// k; a double line never mixes in the early line's.
TEST(Spread, CoversTheSuggestedSegmentsStraightPartsOnly) {
  const AnalysisSettings settings;
  const Geometry g = geometry(0);
  const Band none;
  const double k = *permeabilityFromGradient(g, 1.0 / (std::log(10.0) * 200));
  const Suggestion clean = suggestSegment(readingsOf(decay(2, 200), 0, settings), none, g, settings);
  EXPECT_GT(clean.subSegments, 10);
  EXPECT_NEAR(clean.spreadLow, k, 1e-9 * k);
  EXPECT_NEAR(clean.spreadHigh, k, 1e-9 * k);

  const Suggestion two = suggestSegment(readingsOf(doubleLine(0.02, 0.001, 30), 0, settings), none, g, settings);
  EXPECT_NEAR(two.spreadLow, *permeabilityFromGradient(g, 0.001), 1e-6 * k);
  EXPECT_NEAR(two.spreadHigh, *permeabilityFromGradient(g, 0.001), 1e-6 * k);
  EXPECT_EQ(suggestSegment(readingsOf(noisy(3, 0.3), 0, settings), none, g, settings).subSegments, 0);

  Suggestion shown;
  shown.found = true, shown.subSegments = 4, shown.spreadLow = 1.944e-6, shown.spreadHigh = 2.26e-6;
  EXPECT_EQ(shown.spreadText(), "区間の取り方による k の幅 1.94E-006〜2.26E-006 (4 区間)");
}

TestRecord unsteadyRecord(const std::vector<Sample>& samples, int formula, double length, double sp, int row1,
                          int row2) {
  TestRecord record;
  record.setField(F_formulaKind, cformat("%d", formula));
  record.setField(F_sectionLength, cformat("%g", length));
  record.setField(F_boreDiameter, "0.1");
  record.setField(F_equivalentDiameter, "0.05");
  if (sp > 0) record.setField(F_startHeadDifference, cformat("%g", sp));
  record.setField(F_point1Row, cformat("%d", row1));
  record.setField(F_point2Row, cformat("%d", row2));
  int row = 1;
  for (const Sample& p : samples) {
    record.setCell(row, C_time, cformat("%g", p.t));
    // h' = s: the rest level at 0.
    record.setCell(row, C_pipeLevel, cformat("%.6g", p.s));
    record.setCell(row, C_headDifference, cformat("%.6g", p.s));
    ++row;
  }
  return record;
}

std::vector<CheckKind> kinds(const std::vector<Check>& checks) {
  std::vector<CheckKind> out;
  for (const Check& c : checks) out.push_back(c.kind);
  return out;
}

TEST(Checks, EachWarnsOnItsOwnFault) {
  using K = CheckKind;
  const auto clean = decay(2, 200);  // s/H0 0.25 .. 0.15 lies at t 277 .. 379 (rows 12, 13)
  const struct { const char* name; TestRecord record; std::vector<K> expected; } rows[] = {
      {"a sound test", unsteadyRecord(clean, 1, 1.0, 2.0, 10, 14), {}},
      {"approximation with L/D 2.5", unsteadyRecord(clean, 0, 0.25, 2.0, 10, 14), {K::ShapeRatio}},
      {"basic formula with L/D 2.5", unsteadyRecord(clean, 3, 0.25, 2.0, 10, 14), {}},
      {"two rows", unsteadyRecord(clean, 1, 1.0, 2.0, 12, 13), {K::FewRows}},
      {"not straight", unsteadyRecord(doubleLine(0.02, 0.001, 30), 1, 1.0, 2.0, 1, 16), {K::Straightness, K::EarlierLine}},
      {"rising", unsteadyRecord(decay(2, -900), 1, 1.0, 2.0, 1, 8), {K::NotFalling, K::OutsideBand, K::Rising}},
      {"Sp 30 % off", unsteadyRecord(clean, 1, 1.0, 2.86, 10, 14), {K::FirstHeadVsSp}},
      {"before the band", unsteadyRecord(clean, 1, 1.0, 2.0, 1, 8), {K::OutsideBand}},
  };
  const AnalysisSettings settings;
  for (const auto& r : rows) {
    const AnalysisReport report = analyseRecord(r.record, settings);
    EXPECT_EQ(kinds(report.checks), r.expected) << r.name;
  }

  // Steady: the flow of the last three readings.
  const struct { std::vector<const char*> q; bool drifts; } flows[] = {
      {{"3E-5", "2.6E-5", "2.5E-5", "2.5E-5", "2.52E-5"}, false},
      {{"3E-5", "2.8E-5", "2.6E-5", "2.5E-5"}, true},
      {{"2.8E-5", "2.5E-5"}, false},
  };
  for (const auto& f : flows) {
    TestRecord record;
    record.setField(F_formulaKind, "4");
    int row = 1;
    for (const char* q : f.q) {
      record.setCell(row, C_time, cformat("%d", row * 60));
      record.setCell(row, C_pipeLevel, "1");
      record.setCell(row++, C_flow, q);
    }
    EXPECT_EQ(analyseRecord(record, settings).checks.size(), f.drifts ? 1U : 0U) << f.q.back();
  }
}

// The recorded k against its own headings: a check only when no rounding
// of the recomputed k to the text's digits gives the recorded text.
TEST(Checks, RecordedKThatItsHeadingsDoNotGive) {
  TestRecord unsteady = unsteadyRecord(decay(2, 200), 1, 1.0, 2.0, 10, 14);
  unsteady.setField(F_gradientText, "0.00217");
  TestRecord steady;
  steady.setField(F_formulaKind, "4");
  steady.setField(F_sectionLength, "1.0");
  steady.setField(F_boreDiameter, "0.066");
  steady.setField(F_steadyFlow, "2.5E-5");
  steady.setField(F_steadyHeadDifference, "2.0");
  const struct { const char* name; TestRecord* record; double factor; int digits; bool flagged; } rows[] = {
      {"as computed", &unsteady, 1.0, 2, false},
      {"20 % high", &unsteady, 1.2, 2, true},
      {"0.4 % off: another rounding", &unsteady, 1.004, 2, true},
      {"one digit, within its rounding", &unsteady, 1.04, 0, false},
      {"steady as computed", &steady, 1.0, 3, false},
      {"steady 10 % low", &steady, 0.9, 3, true},
  };
  for (const auto& r : rows) {
    TestRecord record = *r.record;
    const double k = *permeabilityFromHeadings(record);
    record.setField(F_permeabilityText, formatPermeability(k * r.factor, r.digits));
    const auto check = recordedPermeabilityCheck(record);
    EXPECT_EQ(check.has_value(), r.flagged) << r.name;
    const auto all = kinds(analyseRecord(record, AnalysisSettings{}).checks);
    EXPECT_EQ(std::count(all.begin(), all.end(), CheckKind::RecordedK), r.flagged ? 1 : 0) << r.name;
  }
  EXPECT_EQ(recordedPermeabilityCheck(TestRecord{}), std::nullopt);  // nothing recorded, nothing to compare
  unsteady.setField(F_permeabilityText, "9.99E-006");
  const double k = *permeabilityFromHeadings(unsteady);
  EXPECT_EQ(recordedPermeabilityCheck(unsteady)->text,
            cformat("記録の k 9.99E-006 は勾配 a と寸法から求めた k %s と %.1f %% 違います",
                    formatPermeability(k, 2).c_str(), std::fabs(9.99e-6 - k) / k * 100));
}

TEST(Report, PointsFitBandAndSpreadOfOneRecord) {
  const AnalysisReport report = analyseRecord(unsteadyRecord(decay(2, 200), 0, 1.0, 0, 10, 14), AnalysisSettings{});
  ASSERT_TRUE(report.segment && report.pointsK && report.fittedK);
  EXPECT_EQ(report.segment->n, 5);
  // s is stored to 6 digits: the two k agree to well under 0.01 %.
  EXPECT_NEAR(*percentDifference(*report.pointsK, *report.fittedK), 0, 0.01);
  EXPECT_DOUBLE_EQ(report.band.h0, 2.0);  // no Sp: the first row's s
  EXPECT_EQ(report.segmentPlace, BandPlace::Partly);
  EXPECT_EQ(report.suggestion.fit.first, 1);
  EXPECT_GT(report.suggestion.subSegments, 0);
  EXPECT_EQ(fitCaption(*report.segment), "R² 1.0000 (n 5)");
  LineFit almost;
  almost.r2 = 0.99996, almost.n = 30;
  EXPECT_EQ(fitCaption(almost), "R² 0.9999 (n 30)");  // never rounded up to a perfect fit
  EXPECT_EQ(r2Text(0.99996), "0.9999");
  EXPECT_EQ(r2Text(0.98996), "0.9899");  // below a limit of 0.99 never shows as reaching it
}

TEST(AnalysisSettingsFile, RoundTripAndUnusableValues) {
  AnalysisSettings custom;
  custom.straightness = 0.995, custom.bandLow = 0.2, custom.bandHigh = 0.3, custom.fitOnPage = true;
  custom.halvesTolerance = 0.2, custom.rowTolerance = 0.05, custom.rowSteps = 2, custom.leastFall = 0.5;
  custom.zeroSteps = 5, custom.shortestFall = 0.3;
  EXPECT_EQ(analysisSettingsFromLines(analysisSettingsLines(custom)), custom);
  // A file of an older version (no shortestFall) with a fall of 0.1 for a
  // full k: no k is never asked for a fall above that.
  AnalysisSettings older;
  older.leastFall = 0.1, older.shortestFall = 0.1;
  EXPECT_EQ(analysisSettingsFromLines({"leastFall=0.1"}), older);
  const AnalysisSettings defaults;
  const struct { std::vector<std::string> lines; AnalysisSettings expected; } rows[] = {
      {{}, defaults},
      {{"straightness=1.5", "bandLow=x", "fitOnPage"}, defaults},
      {{"bandLow=0.3", "bandHigh=0.2"}, defaults},  // no band: both fall back
      {{" straightness = 0.98 ", "unknown=3"}, AnalysisSettings{0.98, 0.15, 0.25, false}},
      {{"halvesTolerance=0", "leastFall=1", "zeroSteps=-1", "rowSteps=x"}, defaults},
  };
  for (const auto& r : rows) EXPECT_EQ(analysisSettingsFromLines(r.lines), r.expected);

  // The file beside Sys.ndx: missing gives the defaults; written, read back.
  const auto folder = std::filesystem::temp_directory_path() / cformat("tov-analysis-%d", ::getpid());
  std::filesystem::create_directories(folder);
  EXPECT_EQ(readAnalysisSettings(folder), defaults);
  ASSERT_TRUE(writeAnalysisSettings(folder, custom));
  EXPECT_EQ(readAnalysisSettings(folder), custom);
  std::filesystem::remove_all(folder);
}

TEST(Band, PlaceOfASegment) {
  const std::vector<Sample> s{{0, 1.0}, {10, 0.3}, {20, 0.24}, {30, 0.2}, {40, 0.16}, {50, 0.1}};
  const Band band{1.0, 0.15, 0.25};
  const struct { int first, last; BandPlace place; } rows[] = {
      {3, 5, BandPlace::Inside}, {2, 4, BandPlace::Partly}, {5, 6, BandPlace::Partly},
      {1, 2, BandPlace::Outside}, {6, 6, BandPlace::Outside}, {0, 2, BandPlace::Unknown},
  };
  for (const auto& r : rows) EXPECT_EQ(placeInBand(s, r.first, r.last, band), r.place) << r.first;
  EXPECT_EQ(placeInBand(s, 3, 5, Band{}), BandPlace::Unknown);
}

} // namespace
