// The analysis of a full reading table (120 rows): the suggested segment,
// its k and interval, the k over its sub-segments, the band's k and the
// checks. The analysis dialog recomputes it at each change, so it must stay
// well under 5 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "analysis/Analysis.h"
#include "record/CFormat.h"

namespace {

// A double-line recovery read to 1 mm, 120 readings.
tov::TestRecord fullTable() {
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0.0, 0.0005);
  tov::TestRecord record;
  record.setField(tov::F_formulaKind, "1");
  record.setField(tov::F_sectionLength, "1");
  record.setField(tov::F_boreDiameter, "0.1");
  record.setField(tov::F_equivalentDiameter, "0.05");
  record.setField(tov::F_point1Row, "1");
  record.setField(tov::F_point2Row, "120");
  for (int row = 1; row <= 120; ++row) {
    const double t = (row - 1) * 15.0;
    const double y = t < 300 ? -0.004 * t : -1.2 - 0.0006 * (t - 300);
    const std::string s = tov::cformat("%.3f", 2.0 * std::pow(10.0, y) + noise(random));
    record.setCell(row, tov::C_time, tov::cformat("%g", t));
    record.setCell(row, tov::C_pipeLevel, s);
    record.setCell(row, tov::C_headDifference, s);
  }
  return record;
}

void BM_Analysis_120Rows(benchmark::State& state) {
  const tov::TestRecord record = fullTable();
  const tov::AnalysisSettings settings;
  for (auto _ : state) benchmark::DoNotOptimize(tov::analyseRecord(record, settings));
}
BENCHMARK(BM_Analysis_120Rows)->Unit(benchmark::kMicrosecond);

// A record with no straight part at all: every segment is tried.
void BM_Analysis_120RowsNoLine(benchmark::State& state) {
  tov::TestRecord record = fullTable();
  for (int row = 1; row <= 120; ++row)
    record.setCell(row, tov::C_headDifference, tov::cformat("%.3f", 2.0 / std::pow(1.0 + (row - 1) * 15.0 / 60.0, 1.5)));
  const tov::AnalysisSettings settings;
  for (auto _ : state) benchmark::DoNotOptimize(tov::analyseRecord(record, settings));
}
BENCHMARK(BM_Analysis_120RowsNoLine)->Unit(benchmark::kMicrosecond);

} // namespace
