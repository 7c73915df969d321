#pragma once
// The logger samples kept beside the repository (shared/logger-samples), or
// where TOV_LOGGER_SAMPLES points; the test that needs them skips without.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "analysis/Analysis.h"
#include "record/Permeability.h"
#include "record/TestRecord.h"

namespace tov::testing {

inline std::filesystem::path loggerSamplesFolder() {
  if (const char* env = std::getenv("TOV_LOGGER_SAMPLES")) return env;
  return std::filesystem::path(TOV_SOURCE_DIR) / ".." / "shared" / "logger-samples";
}

#define TOV_NEED_LOGGER_SAMPLES()                                                                       \
  if (!std::filesystem::exists(::tov::testing::loggerSamplesFolder() / "TRUTH.txt"))                   \
  GTEST_SKIP() << "logger samples not found beside the repository (" << ::tov::testing::loggerSamplesFolder() \
               << "); set TOV_LOGGER_SAMPLES"

// The headings of the sample test: L 1.00, D 0.066, de 0.05, pipe top at
// ground level, static level 2.000 m below it.
inline void sampleHeadings(TestRecord& record, bool steady) {
  record.set_sectionLength("1.0");
  record.set_boreDiameter("0.066");
  record.set_equivalentDiameter("0.05");
  record.set_pipeTopHeight("0");
  record.set_equilibriumLevel("-2.0");
  record.set_formulaKind(steady ? "4" : "1");
}

// k as the program's analysis gives it: unsteady from the line fitted to
// log s over every imported reading, steady from the last reading.
inline std::optional<double> sampleK(const TestRecord& record) {
  const int n = record.countRows(C_time);
  if (n < 2) return std::nullopt;
  const Geometry geometry = geometryOf(record);
  if (record.fieldInt(F_formulaKind) != 4) {
    const LineFit fit = fitLine(unsteadySamples(record), 1, n);
    if (!fit.usable) return std::nullopt;
    return permeabilityFromGradient(geometry, fit.a);
  }
  auto value = [&](int column) { return std::atof(record.cell(n, column).c_str()); };
  const double k = computePermeability(Steady, geometry.ratio(), geometry.equivalentDiameter, geometry.length, 0,
                                       value(C_flow), value(C_headDifference));
  if (!(k > kPermeabilityFailureLimit)) return std::nullopt;
  return k;
}

} // namespace tov::testing
