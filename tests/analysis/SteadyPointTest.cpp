// The steady point: the row 推奨点 takes once the flow has settled, and the
// check that names a point chosen before it had. Proven on the logger
// sample of a constant-head test (its true k beside it, 3.0E-006) and on
// the transient flow of a spherical source, a model other than the steady
// formula's settled flow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <numbers>

#include "analysis/Analysis.h"
#include "import/LoggerSamples.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace {

using namespace tov;

// L 1.00 m, D 0.066 m, de 0.05 m; h' 0 at the pipe top (ground level), ho
// 2 m below: So 2 m.
TestRecord constantHead(const std::vector<std::pair<double, double>>& flows) {
  TestRecord r;
  tov::testing::sampleHeadings(r, true);
  int row = 1;
  for (const auto& [t, q] : flows) {
    r.setCell(row, C_time, cformat("%g", t));
    r.setCell(row, C_pipeLevel, "0.000");
    r.setCell(row, C_flow, cformat("%.5g", q));
    r.deriveReadingRow(row++);
  }
  return r;
}

double kOfRow(const TestRecord& r, int row) {
  const Geometry g = geometryOf(r);
  return computePermeability(Steady, g.ratio(), g.equivalentDiameter, g.length, std::log10(2 * g.ratio()),
                             toDouble(r.cell(row, C_flow)), toDouble(r.cell(row, C_headDifference)));
}

// The flow into a spherical cavity of the section's shape factor (radius
// L / (2 ln(2L/D))) held at So: Q∞ (1 + r/√(πκt)), κ = K/Ss; Q∞ the steady
// formula's for K. Read every minute from 1 min, with a multiplicative
// noise of ±noise.
TestRecord sphericalInjection(double k, double ss, double noise, int rows) {
  const double L = 1.0, D = 0.066, so = 2.0;
  const double steady = k * L * so * 6.28318 / (2.3 * std::log10(2 * L / D));
  const double radius = L / (2 * std::log(2 * L / D));
  std::vector<std::pair<double, double>> flows;
  for (int i = 1; i <= rows; ++i) {
    const double t = 60.0 * i;
    flows.push_back({t, steady * (1 + radius / std::sqrt(std::numbers::pi * k / ss * t)) * (1 + noise * std::sin(i * 2.3999))});
  }
  return constantHead(flows);
}

std::vector<std::pair<double, double>> everyMinute(std::initializer_list<double> flows) {
  std::vector<std::pair<double, double>> out;
  for (double q : flows) out.push_back({60.0 * static_cast<double>(out.size()), q});
  return out;
}

TEST(SteadyPoint, TheMiddleOfTheSettledLastRowsGivesTheFormationsK) {
  TestRecord noHead = constantHead(everyMinute({1.5e-5, 1.5e-5, 1.51e-5, 1.49e-5, 1.5e-5}));
  noHead.setCell(5, C_headDifference, "0");  // the middle Q's row cannot give k
  const struct {
    const char* what;
    TestRecord record;
    int row;         // 0: none
    double kTrue;    // 0: not checked
    const char* says;
  } rows[] = {
      {"spherical source, 0.5 % noise", sphericalInjection(3e-6, 1e-4, 0.005, 30), 30, 3e-6, "推奨点 行 30"},
      {"one stray last reading", constantHead(everyMinute({1.5e-5, 1.51e-5, 1.49e-5, 1.5e-5, 1.55e-5})), 4, 0, "変動 4.0 %"},
      {"still falling", constantHead(everyMinute({4e-5, 3e-5, 2.5e-5, 2e-5})), 0, 0, "40.0 % 変動しています"},
      {"two readings", constantHead(everyMinute({1.5e-5, 1.5e-5})), 0, 0, "2 行しかありません"},
      {"the middle row without s", noHead, 3, 0, "推奨点 行 3"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const SteadyPoint point = suggestSteadyPoint(r.record);
    EXPECT_EQ(point.found, r.row != 0);
    EXPECT_EQ(point.row, r.row);
    EXPECT_NE(point.text.find(r.says), std::string::npos) << point.text;
    if (r.kTrue > 0) {
      EXPECT_NEAR(kOfRow(r.record, point.row) / r.kTrue, 1.0, 0.03);
    }
  }
}

// The sample a user imported: the first reading gave k 60 % high, stored and
// printed without a word.
TEST(SteadyPoint, TheLoggerSamplesSettledRowGivesItsTrueK) {
  TOV_NEED_LOGGER_SAMPLES();
  std::ifstream csv(tov::testing::loggerSamplesFolder() / "steady-flow-lpm.csv");
  std::vector<std::pair<double, double>> flows;
  for (std::string line; std::getline(csv, line);) {
    if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    const double litresPerMinute = toDouble(line.substr(line.rfind(',') + 1));
    flows.push_back({60.0 * static_cast<double>(flows.size()), litresPerMinute / 60000.0});
  }
  ASSERT_EQ(flows.size(), 31u);
  TestRecord record = constantHead(flows);
  const SteadyPoint point = suggestSteadyPoint(record);
  ASSERT_TRUE(point.found) << point.text;
  EXPECT_NEAR(kOfRow(record, point.row) / 3.0e-6, 1.0, 0.01);  // TRUTH: k 3.0E-006
  EXPECT_GT(kOfRow(record, 1) / 3.0e-6, 1.5);
  // The first row chosen is named, with the difference; the suggested is not.
  for (const auto& [row, named] : {std::pair{1, true}, std::pair{point.row, false}}) {
    record.set_point1Row(cformat("%d", row));
    const auto checks = analyseRecord(record, AnalysisSettings{}).checks;
    const bool found = std::any_of(checks.begin(), checks.end(), [](const Check& c) {
      return c.kind == CheckKind::SteadyFlowDrift && c.text.find("定常に達する前の行") != std::string::npos;
    });
    EXPECT_EQ(found, named) << row;
  }
}

TEST(SteadyPoint, APointBeforeTheFlowSettledIsNamed) {
  const TestRecord settling = constantHead(everyMinute({1.77e-5, 1.5e-5, 1.2e-5, 1.12e-5, 1.11e-5, 1.11e-5, 1.11e-5}));
  const TestRecord falling = constantHead(everyMinute({4e-5, 3e-5, 2.5e-5, 2e-5}));
  const struct {
    const TestRecord& record;
    int row;
    const char* named;  // nullptr: no check
  } rows[] = {
      {settling, 1, "59.5 % 違います"}, {settling, 4, nullptr}, {settling, 3, "8.1 % 違います"},
      {falling, 1, nullptr},  // not settled at all: steadyChecks says so
  };
  for (const auto& r : rows) {
    const auto check = steadyPointCheck(r.record, r.row);
    ASSERT_EQ(check.has_value(), r.named != nullptr) << r.row;
    if (check) {
      EXPECT_NE(check->text.find(r.named), std::string::npos) << check->text;
    }
  }
  // A record analysed elsewhere, without a chosen row, is not judged by row 1.
  EXPECT_TRUE(analyseRecord(settling, AnalysisSettings{}).checks.empty());
}


// Where nobody chooses the row (the logger import): the suggested one, the
// one before rows without flow (the pump stopped), or the last flowing row.
TEST(SteadyPoint, TheRowTakenWithoutAChoice) {
  const struct { const char* what; std::vector<double> q; int row; } rows[] = {
      {"settled to the end", {3e-5, 2.6e-5, 2.5e-5, 2.5e-5, 2.52e-5}, 3},
      {"the pump stopped: Q 0 after the test", {3e-5, 2.5e-5, 2.5e-5, 2.51e-5, 0, 0}, 2},
      {"never settled: the last flowing row", {4e-5, 3e-5, 2e-5, 1e-5}, 4},
      {"no flow at all", {0, 0}, 0},
  };
  for (const auto& r : rows) {
    std::vector<std::pair<double, double>> flows;
    for (std::size_t i = 0; i < r.q.size(); ++i) flows.push_back({60.0 * static_cast<double>(i + 1), r.q[i]});
    EXPECT_EQ(steadyPointRow(constantHead(flows)), r.row) << r.what;
  }
}

// The fault: "ho が 200.0 cm 違う可能性" of a test whose ho was never written.
// A written 0 is an ho, and keeps its note.
TEST(SteadyPoint, ATestWithoutHoIsToldItIsMissing) {
  for (const char* ho : {"", "0"}) {
    TestRecord record;
    record.setField(F_formulaKind, "1");
    record.setField(F_sectionLength, "1");
    record.setField(F_boreDiameter, "0.066");
    record.setField(F_equivalentDiameter, "0.05");
    record.setField(F_equilibriumLevel, ho);
    for (int row = 1; row <= 40; ++row) {
      const double t = (row - 1) * 30.0;
      record.setCell(row, C_time, cformat("%g", t));
      record.setCell(row, C_pipeLevel, cformat("%.3f", 2.0 + 1.5 * std::pow(10.0, -8.154559e-4 * t)));
    }
    record.deriveAllRows();
    std::string notes;
    for (const Check& check : analyseRecord(record, AnalysisSettings{}).checks) notes += check.text + "\n";
    EXPECT_EQ(notes.find("記入されていません") != std::string::npos, *ho == '\0') << notes;
    EXPECT_EQ(notes.find("違う"), std::string::npos) << notes;
    EXPECT_EQ(notes.find("平衡水位 ho: 記入の ho 0.000 m") != std::string::npos, *ho != '\0') << notes;
  }
}

} // namespace
