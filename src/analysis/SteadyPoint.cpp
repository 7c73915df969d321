// The steady analysis point and its k.
#include "analysis/SteadyPoint.h"

#include <algorithm>
#include <cmath>

#include "analysis/Checks.h"
#include "analysis/LineFit.h"
#include "analysis/Samples.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

int steadyPointRow(const TestRecord& record) {
  const std::vector<Sample> flows = steadyFlowSamples(record);
  const int n = static_cast<int>(flows.size());
  auto q = [&](int row) { return flows[static_cast<std::size_t>(row - 1)].s; };
  for (int last = n; last >= 3; --last) {
    double low = INFINITY, high = -INFINITY, sum = 0;
    for (int row = last - 2; row <= last; ++row) {
      low = std::min(low, q(row));
      high = std::max(high, q(row));
      sum += q(row);
    }
    const double mean = sum / 3;
    if (low > 0 && std::isfinite(high) && (high - low) <= kSteadyFlowTolerance * mean) return last;
  }
  for (int row = n; row >= 1; --row)
    if (q(row) > 0 && std::isfinite(q(row))) return row;
  return 0;
}

std::optional<double> steadyPermeability(const TestRecord& record, int row) {
  const Geometry g = geometryOf(record);
  if (!g.usable() || row < 1 || row > kRowCount) return std::nullopt;
  const double k = computePermeability(Steady, g.ratio(), g.equivalentDiameter, g.length, std::log10(2 * g.ratio()),
                                       toDouble(record.cell(row, C_flow)), toDouble(record.cell(row, C_headDifference)));
  if (!(k > kPermeabilityFailureLimit) || !(k > 0)) return std::nullopt;
  return k;
}

} // namespace tov
