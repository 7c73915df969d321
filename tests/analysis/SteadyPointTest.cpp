// The steady analysis point, and 検討事項 of a test whose ho was never
// written.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Analysis.h"
#include "record/CFormat.h"

namespace tov {
namespace {

TEST(SteadyPoint, TheLastRowWhoseFlowHasSettled) {
  const struct { const char* what; std::vector<const char*> q; int row; } rows[] = {
      {"settled to the end", {"3E-5", "2.6E-5", "2.5E-5", "2.5E-5", "2.52E-5"}, 5},
      {"the pump stopped: Q 0 after the test", {"3E-5", "2.5E-5", "2.5E-5", "2.51E-5", "0", "0"}, 4},
      {"never settled: the last flowing row", {"4E-5", "3E-5", "2E-5", "1E-5"}, 4},
      {"no flow at all", {"0", "0"}, 0},
  };
  for (const auto& r : rows) {
    TestRecord record;
    record.setField(F_formulaKind, "4");
    int row = 1;
    for (const char* q : r.q) {
      record.setCell(row, C_time, cformat("%d", row * 60));
      record.setCell(row, C_pipeLevel, "0");
      record.setCell(row++, C_flow, q);
    }
    EXPECT_EQ(steadyPointRow(record), r.row) << r.what;
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
} // namespace tov
