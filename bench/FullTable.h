// The 120-row test the analysis and its dialog are measured on.
#pragma once

#include <cmath>
#include <random>

#include "record/CFormat.h"
#include "record/TestRecord.h"

namespace {

// A double-line recovery read to 1 mm, 120 readings.
inline tov::TestRecord fullTable() {
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

} // namespace
