// The steady point from the settled flow.
#include "analysis/SteadyPoint.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/LineFit.h"
#include "analysis/Samples.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

namespace {

constexpr int kSettledRows = 3;

// (max - min) / |mean| of Q over rows first .. last (from 0).
double spread(const std::vector<Sample>& flows, std::size_t first, std::size_t last) {
  double low = INFINITY, high = -INFINITY, sum = 0;
  for (std::size_t i = first; i <= last; ++i) {
    low = std::min(low, flows[i].s);
    high = std::max(high, flows[i].s);
    sum += flows[i].s;
  }
  const double mean = sum / static_cast<double>(last - first + 1);
  return std::fabs(mean) > 0 && std::isfinite(mean) ? (high - low) / std::fabs(mean) : INFINITY;
}

// The last three complete rows (from 1), ordered by Q, the later first on
// equal Q.
std::vector<int> lastRowsByFlow(const std::vector<Sample>& flows) {
  const int n = static_cast<int>(flows.size());
  std::vector<int> rows{n - 2, n - 1, n};
  std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
    const double qa = flows[static_cast<std::size_t>(a - 1)].s, qb = flows[static_cast<std::size_t>(b - 1)].s;
    return qa != qb ? qa < qb : a > b;
  });
  return rows;
}

std::string percent(double fraction) { return cformat("%.1f %%", fraction * 100.0); }

} // namespace

SteadyPoint suggestSteadyPoint(const TestRecord& record) {
  SteadyPoint point;
  const std::vector<Sample> flows = steadyFlowSamples(record);
  const std::size_t n = flows.size();
  if (n < kSettledRows) {
    point.text = cformat("推奨点なし: h' と Q のある行が %d 行しかありません (%d 行以上必要)", static_cast<int>(n),
                         kSettledRows);
    return point;
  }
  point.drift = spread(flows, n - kSettledRows, n - 1);
  if (!(point.drift <= kSteadyFlowTolerance)) {
    point.text = std::isfinite(point.drift)
                     ? "推奨点なし: 最後の 3 点の Q が " + percent(point.drift) + " 変動しています (" +
                           cformat("%g %%", kSteadyFlowTolerance * 100.0) + " 超). 定常に達していません"
                     : std::string("推奨点なし: 最後の 3 点の Q が 0 です");
    return point;
  }
  std::size_t first = n - kSettledRows;
  while (first > 0 && spread(flows, first - 1, n - 1) <= kSteadyFlowTolerance) --first;
  point.settledFrom = static_cast<int>(first) + 1;
  const std::vector<int> byFlow = lastRowsByFlow(flows);
  point.flow = flows[static_cast<std::size_t>(byFlow[1] - 1)].s;

  // The middle Q; where its s cannot give k, the other rows in the order
  // of their Q's nearness to it.
  for (const int row : {byFlow[1], byFlow[2], byFlow[0]}) {
    if (!usableHead(toDouble(record.cell(row, C_headDifference)))) continue;
    point.found = true;
    point.row = row;
    break;
  }
  if (!point.found) {
    point.text = "推奨点なし: 最後の 3 点に水位差 s がありません";
    return point;
  }
  point.text = cformat("推奨点 行 %d (t %s): Q の落ち着いた最後の 3 点 (変動 %s, 行 %d から %g %% 以内) のうち Q が中央の行",
                       point.row, record.cell(point.row, C_time).c_str(), percent(point.drift).c_str(),
                       point.settledFrom, kSteadyFlowTolerance * 100.0);
  return point;
}

std::optional<Check> steadyPointCheck(const TestRecord& record, int row) {
  const std::vector<Sample> flows = steadyFlowSamples(record);
  const std::size_t n = flows.size();
  if (n < kSettledRows || row < 1 || row > static_cast<int>(n)) return std::nullopt;
  if (!(spread(flows, n - kSettledRows, n - 1) <= kSteadyFlowTolerance)) return std::nullopt;
  const int settledRow = lastRowsByFlow(flows)[1];
  const double settled = flows[static_cast<std::size_t>(settledRow - 1)].s;
  const double difference = (flows[static_cast<std::size_t>(row - 1)].s - settled) / settled;
  if (!(std::fabs(difference) > kSteadyFlowTolerance)) return std::nullopt;
  return Check{CheckKind::SteadyFlowDrift, difference * 100.0,
               cformat("解析点 行 %d (t %s) の Q %s は落ち着いた Q %s (行 %d) と %s 違います. Q が定常に達する前の行です",
                       row, record.cell(row, C_time).c_str(), record.cell(row, C_flow).c_str(),
                       record.cell(settledRow, C_flow).c_str(), settledRow, percent(std::fabs(difference)).c_str())};
}

int steadyPointRow(const TestRecord& record) {
  if (const SteadyPoint point = suggestSteadyPoint(record); point.found) return point.row;
  const std::vector<Sample> flows = steadyFlowSamples(record);
  int flowing = static_cast<int>(flows.size());
  while (flowing > 0 && !(flows[static_cast<std::size_t>(flowing - 1)].s > 0)) --flowing;
  if (flowing == 0) return 0;
  if (flowing < static_cast<int>(flows.size())) {
    TestRecord before = record;
    for (int row = flowing + 1; row <= static_cast<int>(flows.size()); ++row) before.setCell(row, C_flow, "");
    if (const SteadyPoint point = suggestSteadyPoint(before); point.found) return point.row;
  }
  return flowing;
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
