// The analysis of a full reading table (120 rows): the suggested segment,
// its k and interval, the k over its sub-segments, the band's k and the
// checks. The analysis dialog recomputes it at each change, so it must stay
// well under 5 ms.
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/Analysis.h"
#include "FullTable.h"
#include "record/CFormat.h"

namespace {

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
