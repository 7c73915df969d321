// Which rest level the analysis points are of, and the points taken again
// when the headings change the rows' s.
#include "analysis/PointsRest.h"

#include <cmath>

#include "analysis/Analysis.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

namespace {

// The points' and the rows' s are written with six significant digits
// ("%g", "%.6g"): two s are one where they agree to that.
bool same(double a, double b) { return std::fabs(a - b) <= 5e-6 * std::max(std::fabs(a), std::fabs(b)) + 1e-12; }

// +1 where the water stands below ho at the first row that differs from it,
// -1 above; 0 where ho or an h is no number.
double headSign(const TestRecord& record) {
  if (!record.fieldIsNumber(F_equilibriumLevel)) return 0;
  const double ho = record.fieldValue(F_equilibriumLevel);
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_level))) return 0;
    const double d = ho - toDouble(record.cell(row, C_level));
    if (d != 0) return d > 0 ? 1 : -1;
  }
  return 0;
}

struct Points {
  int row1 = 0, row2 = 0;
  double s1 = 0, s2 = 0;
};

// The points' s as the rows' s, or as the line's over their rows, of
// `samples`.
PointsTaken takenFrom(const Points& p, const std::vector<Sample>& samples) {
  const Sample& a = samples[static_cast<std::size_t>(p.row1 - 1)];
  const Sample& b = samples[static_cast<std::size_t>(p.row2 - 1)];
  if (same(p.s1, a.s) && same(p.s2, b.s)) return PointsTaken::Rows;
  const LineFit line = fitLine(samples, std::min(p.row1, p.row2), std::max(p.row1, p.row2));
  if (line.usable && same(p.s1, line.sAt(a.t)) && same(p.s2, line.sAt(b.t))) return PointsTaken::Line;
  return PointsTaken::Unknown;
}

} // namespace

PointsRest pointsRestOf(const TestRecord& record, int row1, int row2, const std::vector<Sample>& written,
                        const std::vector<Sample>& own, bool onSuggestedLine) {
  PointsRest out;
  out.source = own.empty() ? RestSource::Written : RestSource::Record;
  const int n = static_cast<int>(written.size());
  if (!record.fieldIsNumber(F_pointS1) || !record.fieldIsNumber(F_pointS2) || row1 < 1 || row2 < 1 || row1 > n ||
      row2 > n || row1 == row2)
    return out;
  Points p{row1, row2, record.fieldValue(F_pointS1), record.fieldValue(F_pointS2)};
  if (!std::isfinite(p.s1) || !std::isfinite(p.s2)) return out;
  if (!own.empty() && own.size() == written.size()) {
    out.taken = onSuggestedLine ? PointsTaken::Line : takenFrom(p, own);
    if (out.taken != PointsTaken::Unknown) return out;
  }
  out.source = RestSource::Written;
  out.taken = onSuggestedLine && own.empty() ? PointsTaken::Line : takenFrom(p, written);
  if (out.taken != PointsTaken::Unknown) return out;
  // Both rows' s moved alike, to the digits they are written with: the
  // written ho moved since (the rows' s are |ho - h|, so ho moved by the
  // shift, towards the water or away).
  const double sign = headSign(record);
  const double r1 = written[static_cast<std::size_t>(row1 - 1)].s, r2 = written[static_cast<std::size_t>(row2 - 1)].s;
  const double d1 = p.s1 - r1, d2 = p.s2 - r2;
  const double tolerance = 5e-6 * (std::fabs(p.s1) + std::fabs(p.s2) + std::fabs(r1) + std::fabs(r2)) + 1e-12;
  if (sign != 0 && std::fabs(d1 - d2) <= tolerance && std::fabs(d1) > tolerance)
    out.formerLevel = record.fieldValue(F_equilibriumLevel) + sign * (d1 + d2) / 2;
  return out;
}

std::string headText(double s) {
  std::string text = cformat("%g", s);
  return text == "-0" ? "0" : text;
}

std::optional<std::pair<std::string, std::string>> pointHeadTexts(const std::vector<Sample>& samples, int row1,
                                                                  int row2, bool onLine) {
  const int n = static_cast<int>(samples.size());
  if (row1 < 1 || row2 < 1 || row1 > n || row2 > n) return std::nullopt;
  const Sample& a = samples[static_cast<std::size_t>(row1 - 1)];
  const Sample& b = samples[static_cast<std::size_t>(row2 - 1)];
  if (onLine) {
    const LineFit line = fitLine(samples, std::min(row1, row2), std::max(row1, row2));
    if (line.usable) return std::pair{fittedHeadText(line, a.t), fittedHeadText(line, b.t)};
  }
  return std::pair{headText(a.s), headText(b.s)};
}

std::optional<std::pair<double, double>> recordLevels(const TestRecord& record, const RestLevel& rest) {
  const double sign = headSign(record);
  const std::vector<Sample> samples = unsteadySamples(record);
  if (sign == 0 || samples.empty()) return std::nullopt;
  // s = sign·(ho - h): the record's s is s - offset - drift·(t - t0).
  const double ho = record.fieldValue(F_equilibriumLevel);
  auto at = [&](double t) { return ho - sign * (rest.offset + rest.drift * (t - rest.t0)); };
  return std::pair{at(samples.front().t), at(samples.back().t)};
}

std::string recordLevelText(const TestRecord& record, const RestLevel& rest) {
  const auto levels = recordLevels(record, rest);
  if (!levels) return {};
  const std::string first = cformat("%.3f", levels->first), last = cformat("%.3f", levels->second);
  return (first == last ? first : first + "〜" + last) + "m";
}

std::optional<RetakenPoints> retakePoints(TestRecord& record, const TestRecord& before,
                                          const AnalysisSettings& settings, int digits) {
  const int kind = record.fieldInt(F_formulaKind);
  if (kind < 0 || kind > 3) return std::nullopt;
  const AnalysisReport was = analyseRecord(before, settings, digits);
  const PointsRest& old = was.pointsRest;
  const bool taken = old.taken == PointsTaken::Rows || old.taken == PointsTaken::Line || old.formerLevel;
  if (!taken) return std::nullopt;
  const auto [row1, row2] = pointRows(record, was.completeRows);
  const AnalysisReport now = analyseRecord(record, settings, digits);
  const bool own = old.source == RestSource::Record && !now.ownRest.empty();
  const std::vector<Sample> samples = own ? now.ownRest : unsteadySamples(record);
  auto texts = pointHeadTexts(samples, row1, row2, old.taken == PointsTaken::Line);
  if (!texts) return std::nullopt;
  // The suggested segment's own line where the points are on it still.
  const Suggestion& suggestion = now.suggestion;
  if (old.taken == PointsTaken::Line && suggestion.found && own == !now.ownRest.empty() &&
      suggestion.fit.first == std::min(row1, row2) && suggestion.fit.last == std::max(row1, row2)) {
    texts->first = fittedHeadText(suggestion.fit, samples[static_cast<std::size_t>(row1 - 1)].t);
    texts->second = fittedHeadText(suggestion.fit, samples[static_cast<std::size_t>(row2 - 1)].t);
  }
  if (texts->first == before.field(F_pointS1) && texts->second == before.field(F_pointS2)) return std::nullopt;
  RetakenPoints out{before.permeabilityText(), {}};
  record.setField(F_pointS1, texts->first);
  record.setField(F_pointS2, texts->second);
  const auto a = computeGradient(record.fieldValue(F_pointT1), record.fieldValue(F_pointS1),
                                 record.fieldValue(F_pointT2), record.fieldValue(F_pointS2));
  const auto k = a ? permeabilityFromGradient(geometryOf(record), *a) : std::nullopt;
  record.setField(F_gradientText, a ? cformat("%g", *a) : std::string());
  out.kAfter = k ? formatPermeability(*k, digits) : std::string();
  record.setField(F_permeabilityText, out.kAfter);
  return out;
}

} // namespace tov
