// The suggested segment and the spread of k over a full reading table
// (120 rows, every segment): the analysis dialog recomputes both at each
// change, so they must stay well under 5 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "analysis/Analysis.h"

namespace {

// A double-line recovery with a little noise, 120 readings.
std::vector<tov::Sample> fullTable() {
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0.0, 0.002);
  std::vector<tov::Sample> samples;
  for (int row = 0; row < 120; ++row) {
    const double t = row * 15.0;
    const double y = t < 300 ? -0.004 * t : -1.2 - 0.0008 * (t - 300);
    samples.push_back({t, 2.0 * std::pow(10.0, y) * (1.0 + noise(random))});
  }
  return samples;
}

void BM_SuggestionAndSpread_120Rows(benchmark::State& state) {
  const auto samples = fullTable();
  tov::Geometry geometry;
  geometry.length = 1.0, geometry.bore = 0.1, geometry.equivalentDiameter = 0.05;
  const tov::AnalysisSettings settings;
  const tov::Band band{2.0, 0.3, 0.5};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tov::suggestSegment(samples, band, settings));
    benchmark::DoNotOptimize(tov::permeabilitySpread(samples, geometry, settings));
  }
}
BENCHMARK(BM_SuggestionAndSpread_120Rows)->Unit(benchmark::kMicrosecond);

} // namespace
