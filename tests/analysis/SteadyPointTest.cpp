// The steady analysis point.
#include <gtest/gtest.h>

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

} // namespace
} // namespace tov
