// Records shaped as field records, with the formation's k known: a recovery
// s = s0·10^(-a·t) (after an optional steeper early line), or the head of a
// formation with storage (Cooper-Bredehoeft-Papadopulos, or a partially
// penetrating section, with or without a skin at the section's face), read
// as h' from the pipe top to `decimals` decimals with additive noise, under
// a rest level that may be written off or drift. The analysis tests and the
// figures of the rule (bench/rule_figures.cpp) are made of these.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "analysis/CbpModel.h"
#include "analysis/KgsModel.h"
#include "analysis/TypeCurveFit.h"
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
  // A formation with storage: Ss (1/m) above 0 makes the head the type
  // curve of K (m/s) instead of the exponential of `a`.
  double storage = 0, conductivity = 0;
  bool partial = false;                // the partially penetrating section (else the section open over a layer)
  double skin = 0;                     // a skin factor at the section's face
};

// L 1 m, D 0.1 m, de 0.05 m, as make() writes them.
inline const tov::TypeCurveGeometry kGeometry{1.0, 0.05, 0.025};

// f = s / s0 of the storage curve at each t.
inline std::vector<double> storageHeads(const Shape& shape, const std::vector<double>& times) {
  const tov::TypeCurveGeometry& g = kGeometry;
  tov::SlugModel model = shape.partial ? tov::kgsModel(g.length / g.boreRadius) : tov::cbpModel();
  if (shape.skin > 0) {
    // A head loss at the face in proportion to the flow: 1/g grows by skin/2.
    model = [inner = std::move(model), skin = shape.skin](double p) {
      const double flow = inner(p);
      return flow / (1.0 + skin * flow / 2.0);
    };
  }
  const tov::TypeCurve curve(std::move(model));
  const double rw2 = g.boreRadius * g.boreRadius;
  const double alpha = rw2 * shape.storage * g.length / (g.pipeRadius * g.pipeRadius);
  std::vector<double> tau;
  for (double t : times) tau.push_back(shape.conductivity * t / (shape.storage * rw2));
  return curve.heads(alpha, tau);
}

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
  const std::vector<double> curve = shape.storage > 0 ? storageHeads(shape, shape.times) : std::vector<double>();
  int row = 1;
  for (double t : shape.times) {
    const double rest = -1.0 + shape.drift * t;
    const double head = shape.storage > 0 ? shape.s0 * curve[static_cast<std::size_t>(row - 1)] : trueHead(shape, t);
    double reading = 0.5 - (rest - head) + shape.noise * noise(random);
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

// The times of a record of the storage curve read until s/H0 falls to
// about 0.03: every 5 s at first as in the field (fieldTimes stretched), or
// a logger's 120 log-spaced rows.
inline std::vector<double> storageTimes(const Shape& shape, bool logger) {
  double end = 0;
  for (double t = 0.1; end == 0 && t < 1e9; t *= 1.05)
    if (storageHeads(shape, {t})[0] < 0.03) end = t;
  if (logger) return loggerTimes(end);
  std::vector<double> times;
  for (double t : fieldTimes()) times.push_back(std::max(std::round(t * end / 1200), times.empty() ? 0.0 : times.back() + 1));
  return times;
}

// The k of the straight line between the true curve's s/H0 = high and low
// (Butler's band 0.25 to 0.15): what the method reads off a curve with
// storage, H0 = s0.
inline double bandK(const Shape& shape, double high = 0.25, double low = 0.15) {
  std::vector<double> times;
  for (int i = 0; i <= 4000; ++i) times.push_back(std::pow(10.0, -1.0 + 8.0 * i / 4000));
  const std::vector<double> f = storageHeads(shape, times);
  auto when = [&](double level) -> double {
    for (std::size_t i = 1; i < f.size(); ++i)
      if (f[i] <= level && f[i - 1] > level)
        return times[i - 1] + (times[i] - times[i - 1]) * (f[i - 1] - level) / (f[i - 1] - f[i]);
    return NAN;
  };
  const double a = std::log10(high / low) / (when(low) - when(high));
  return tov::computePermeability(1, 10.0, 0.05, 1.0, a, 0, 0);
}

} // namespace fieldrecords
