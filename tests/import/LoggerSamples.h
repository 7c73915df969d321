#pragma once
// The logger samples kept beside the repository (shared/logger-samples), or
// where TOV_LOGGER_SAMPLES points; the test that needs them skips without.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

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

inline int rowNearest(const TestRecord& record, double t) {
  int best = 1;
  for (int row = 1; row <= record.countRows(C_time); ++row)
    if (std::abs(std::atof(record.cell(row, C_time).c_str()) - t) <
        std::abs(std::atof(record.cell(best, C_time).c_str()) - t))
      best = row;
  return best;
}

// k as the analysis of the method gives it: unsteady from the points nearest
// 60 s and 600 s of the log s - t line, steady from the last reading.
inline std::optional<double> sampleK(const TestRecord& record) {
  const double length = record.fieldValue(F_sectionLength), bore = record.fieldValue(F_boreDiameter);
  const double de = record.fieldValue(F_equivalentDiameter);
  const int n = record.countRows(C_time);
  if (n < 2) return std::nullopt;
  auto value = [&](int row, int column) { return std::atof(record.cell(row, column).c_str()); };
  double k;
  if (record.fieldInt(F_formulaKind) == 4) {
    k = computePermeability(Steady, length / bore, de, length, 0, value(n, C_flow), value(n, C_headDifference));
  } else {
    const int r1 = rowNearest(record, 60), r2 = rowNearest(record, 600);
    const auto a = computeGradient(value(r1, C_time), value(r1, C_headDifference), value(r2, C_time),
                                   value(r2, C_headDifference));
    if (!a) return std::nullopt;
    k = computePermeability(BasicNoLayer, length / bore, de, length, *a, 0, 0);
  }
  if (!(k > kPermeabilityFailureLimit)) return std::nullopt;
  return k;
}

} // namespace tov::testing
