// Records shaped as field records, with the formation's k known: a recovery
// s = s0·10^(-a·t) (after an optional steeper early line), read as h' from
// the pipe top to `decimals` decimals with additive noise, under a rest
// level that may be written off or drift. The analysis tests and the
// figures of the rule (bench/rule_figures.cpp) are made of these.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "record/CFormat.h"
#include "record/Permeability.h"
#include "record/TestRecord.h"

namespace fieldrecords {

// Readings as taken in the field: every 5 s, then 10, 15, 30, 60 and 120 s.
inline const std::vector<double>& fieldTimes() {
  static const std::vector<double> times{0,   5,   10,  15,  20,  30,  40,  50,  60,  75,  90,  105, 120, 150,
                                         180, 210, 240, 300, 360, 420, 480, 540, 600, 720, 840, 960, 1080, 1200};
  return times;
}

// A logger's 120 rows log-spaced over `seconds` (each second at first).
inline std::vector<double> loggerTimes(double seconds = 3600) {
  std::vector<double> times;
  for (int i = 0; i < 120; ++i) {
    const double t = std::round(std::pow(seconds + 1, i / 119.0)) - 1.0;
    times.push_back(times.empty() ? t : std::max(t, times.back() + 1.0));
  }
  return times;
}

struct Shape {
  std::vector<double> times = fieldTimes();
  double s0 = 2.0;                     // s at t = 0 (m)
  double a = 0.0015;                   // the formation's gradient (log10 s per second)
  double earlyA = 0, earlyUntil = 0;   // a steeper line before earlyUntil (drainage)
  double restOff = 0;                  // written ho less the true one (m): s reads this much larger
  double drift = 0;                    // the true rest level's rise (m/s)
  double noise = 0;                    // of h' (m, one standard deviation)
  int decimals = 3;                    // of h'
  int restDecimals = 3;                // of the written ho
  int mistypedRow = 0;                 // a row whose h' is 9 cm off (3.670 for 3.760)
  unsigned seed = 1;
};

// The true s at t.
inline double trueHead(const Shape& shape, double t) {
  if (shape.earlyA > 0 && t < shape.earlyUntil) return shape.s0 * std::pow(10.0, -shape.earlyA * t);
  const double atBreak = shape.earlyA > 0 ? -shape.earlyA * shape.earlyUntil : 0.0;
  const double from = shape.earlyA > 0 ? shape.earlyUntil : 0.0;
  return shape.s0 * std::pow(10.0, atBreak - shape.a * (t - from));
}

// The basic formula with L 1 m, D 0.1 m, de 0.05 m; pipe top 0.5 m, the
// true rest level -1 m at t = 0, the water below it (a rising head).
inline tov::TestRecord make(const Shape& shape) {
  using namespace tov;
  std::mt19937 random(shape.seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  TestRecord record;
  record.setField(F_formulaKind, "1");
  record.setField(F_sectionLength, "1");
  record.setField(F_boreDiameter, "0.1");
  record.setField(F_equivalentDiameter, "0.05");
  record.setField(F_pipeTopHeight, "0.5");
  record.setField(F_equilibriumLevel, cformat("%.*f", shape.restDecimals, -1.0 + shape.restOff));
  int row = 1;
  for (double t : shape.times) {
    const double rest = -1.0 + shape.drift * t;
    double reading = 0.5 - (rest - trueHead(shape, t)) + shape.noise * noise(random);
    if (row == shape.mistypedRow) reading -= 0.09;
    record.setCell(row, C_time, cformat("%g", t));
    record.setCell(row, C_pipeLevel, cformat("%.*f", shape.decimals, reading));
    ++row;
  }
  record.deriveAllRows();
  record.setField(F_point1Row, "1");
  record.setField(F_point2Row, cformat("%d", row - 1));
  return record;
}

inline double formationK(const Shape& shape) {
  return tov::computePermeability(1, 10.0, 0.05, 1.0, shape.a, 0, 0);
}

} // namespace fieldrecords
