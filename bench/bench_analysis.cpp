// The analysis of a full reading table (120 rows): the suggested segment,
// its k and interval, the k over its sub-segments, the band's k and the
// checks. The analysis dialog recomputes it at each change, so it must stay
// well under 5 ms (the type curves of the same rows are kept from the first
// time; their own cost is below).
//
// Its cost in rows n: every run of rows is a candidate (n²/2, 7,140 for
// 120), each tested from running sums in a few operations plus its rows
// until one fails (n³ in the worst case, a straight record, where every
// run passes); the noise and the mistyped rows look at each row's four
// neighbours (n); the record's rest level fits up to five windows of rows
// 3 × 80 times each (1,200 n). A second search runs where the rest level
// is off.
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/Analysis.h"
#include "FullTable.h"
#include "../tests/support/FieldRecords.h"
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

// A logger's straight record with 1 mm of noise whose rest level drifts
// 2 cm/h: every run passes the test, and the search runs twice.
void BM_Analysis_120RowsDriftingRestLevel(benchmark::State& state) {
  fieldrecords::Shape shape;
  shape.times = fieldrecords::loggerTimes(3600);
  shape.s0 = 1.5, shape.a = 0.0008, shape.noise = 0.001, shape.drift = 0.02 / 3600;
  const tov::TestRecord record = fieldrecords::make(shape);
  const tov::AnalysisSettings settings;
  for (auto _ : state) benchmark::DoNotOptimize(tov::analyseRecord(record, settings));
}
BENCHMARK(BM_Analysis_120RowsDriftingRestLevel)->Unit(benchmark::kMicrosecond);

// The type curves of a logger's 120 rows with storage (Ss 1E-4, K 3E-6):
// both models as shown (K, Ss and H0), and both with a skin as the rules
// fit them too; no answer kept between iterations. Under 10 ms together is
// the target of the shown pair.
tov::TypeCurveFit fitOnce(tov::TypeCurveModel model, bool skin) {
  fieldrecords::Shape shape;
  shape.times = fieldrecords::loggerTimes(1800);
  shape.conductivity = 3e-6, shape.storage = 1e-4, shape.noise = 0.0003, shape.decimals = 4;
  static const std::vector<tov::Sample> rows = tov::signedSamples(fieldrecords::make(shape));
  return tov::fitTypeCurve(model, rows, fieldrecords::kGeometry, skin);
}
void BM_TypeCurves_Shown_120Rows(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(fitOnce(tov::TypeCurveModel::Cbp, false));
    benchmark::DoNotOptimize(fitOnce(tov::TypeCurveModel::Kgs, false));
  }
}
BENCHMARK(BM_TypeCurves_Shown_120Rows)->Unit(benchmark::kMillisecond);
void BM_TypeCurves_WithSkin_120Rows(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(fitOnce(tov::TypeCurveModel::Cbp, true));
    benchmark::DoNotOptimize(fitOnce(tov::TypeCurveModel::Kgs, true));
  }
}
BENCHMARK(BM_TypeCurves_WithSkin_120Rows)->Unit(benchmark::kMillisecond);

} // namespace
