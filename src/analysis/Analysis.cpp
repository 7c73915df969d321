// One record's analysis, and the suggestion applied to a record.
#include "analysis/Analysis.h"

#include <algorithm>
#include <cmath>

#include "analysis/AutoScales.h"
#include "analysis/UnwrittenHo.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

std::pair<int, int> pointRows(const TestRecord& record, int n) {
  int row1 = record.fieldInt(F_point1Row);
  if (row1 >= n) row1 = n;
  if (row1 <= 0) row1 = 1;
  int row2 = record.fieldInt(F_point2Row);
  if (row2 >= n) row2 = n;
  if (row2 <= 0) row2 = n / 2 >= 2 ? n / 2 : 2;
  // The default row 2 must be a complete row too (one complete row: both
  // points on it).
  if (n >= 1 && row2 > n) row2 = n;
  return {row1, row2};
}

// ---- One record -------------------------------------------------------------------

std::vector<TypeCurveFit> typeCurvesOf(const TestRecord& record, const Readings& readings,
                                       const AnalysisSettings& settings, bool withSkin) {
  const TypeCurveGeometry geometry = typeCurveGeometry(record, settings.anisotropy);
  if (!geometry.usable()) return {};
  std::vector<Sample> rows = readings.samples;
  for (const auto& m : readings.mistyped) rows[static_cast<std::size_t>(m.row - 1)].s = NAN;
  std::erase_if(rows, [](const Sample& p) { return !std::isfinite(p.s) || !std::isfinite(p.t); });
  return fitTypeCurves(rows, geometry, withSkin);
}

std::vector<std::string> typeCurveTexts(const AnalysisReport& report, int digits) {
  if (report.steady) return {};
  if (report.typeCurves.empty()) return {"なし (試験区間長さ L、孔径 D、等価内径 de が必要です)"};
  std::vector<std::string> texts;
  for (const TypeCurveFit& fit : report.typeCurves) texts.push_back(fit.summary(digits));
  return texts;
}

AnalysisReport analyseRecord(const TestRecord& record, const AnalysisSettings& settings, int digits) {
  AnalysisReport report;
  const Geometry g = geometryOf(record);
  report.steady = g.formula == Steady;
  if (report.steady) {
    report.completeRows = static_cast<int>(steadyFlowSamples(record).size());
    report.checks = steadyChecks(record);
    // The point chosen (a record without one has not been analysed here).
    if (record.fieldIsNumber(F_point1Row))
      if (auto check = steadyPointCheck(record, pointRows(record, report.completeRows).first))
        report.checks.push_back(std::move(*check));
    if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
    restateForUnwrittenHo(record, report.checks);
    return report;
  }
  const int n = static_cast<int>(unsteadySamples(record).size());
  report.completeRows = n;
  report.band = recommendedBand(record, unsteadySamples(record), settings);
  const double step = readingStep(record);
  const Readings readings = readingsOf(signedSamples(record), step, settings, restLevelError(record, step));
  report.typeCurves = typeCurvesOf(record, readings, settings);
  // Whether a curve with the written ho explains the record is asked of the
  // curves with a skin too.
  std::vector<TypeCurveFit> curves = report.typeCurves;
  for (TypeCurveFit& fit : typeCurvesOf(record, readings, settings, true)) curves.push_back(std::move(fit));
  report.suggestion = suggestSegment(readings, report.band, g, settings, curves);
  // Where the record's rest level differs from the written one, the fit of
  // the chosen rows and their checks are of the s of the ho the points were
  // taken with.
  const auto& rest = report.suggestion.restLevel;
  if (rest) {
    report.ownRest = signedSamples(record);
    for (Sample& p : report.ownRest) p.s = rest->corrected(p.t, p.s);
  }
  // The same rows the dialog opens with.
  const auto [row1, row2] = pointRows(record, n);
  const std::vector<Sample> written = unsteadySamples(record);
  if (n >= 1) {
    const LineFit& line = report.suggestion.fit;
    const auto t = [&](int row) { return written[static_cast<std::size_t>(row - 1)].t; };
    report.pointsOnLine = report.suggestion.found && std::min(row1, row2) == line.first &&
                          std::max(row1, row2) == line.last && row1 < row2 &&
                          record.field(F_pointS1) == fittedHeadText(line, t(row1)) &&
                          record.field(F_pointS2) == fittedHeadText(line, t(row2));
  }
  report.pointsRest = pointsRestOf(record, row1, row2, written, report.ownRest, report.pointsOnLine);
  const std::vector<Sample>& samples = report.pointsRest.source == RestSource::Record ? report.ownRest : written;
  if (n >= 1) {
    const int first = std::min(row1, row2), last = std::max(row1, row2);
    report.segment = fitLine(samples, first, last);
    if (report.segment->usable) {
      report.fittedK = permeabilityFromGradient(g, report.segment->a);
      report.fittedInterval = permeabilityInterval(g, *report.segment);
    }
    const Sample& p1 = samples[static_cast<std::size_t>(row1 - 1)];
    const Sample& p2 = samples[static_cast<std::size_t>(row2 - 1)];
    // The points as written where they are (the k the dialog computes from
    // them), else their rows.
    const bool typed = record.fieldIsNumber(F_pointT1) && record.fieldIsNumber(F_pointS1) &&
                       record.fieldIsNumber(F_pointT2) && record.fieldIsNumber(F_pointS2);
    const auto a = typed ? computeGradient(record.fieldValue(F_pointT1), record.fieldValue(F_pointS1),
                                           record.fieldValue(F_pointT2), record.fieldValue(F_pointS2))
                         : computeGradient(p1.t, p1.s, p2.t, p2.s);
    if (a) report.pointsK = permeabilityFromGradient(g, *a);
    report.segmentPlace = placeInBand(samples, first, last, report.band);
    report.checks = unsteadyChecks(record, samples, first, last, settings);
  } else {
    report.checks = unsteadyChecks(record, samples, 0, 0, settings);
  }
  // The rows inside the band, as a cross-check.
  if (report.band.known()) {
    std::vector<Sample> inside;
    int firstRow = 0, lastRow = 0;
    for (int row = 1; row <= n; ++row) {
      const double s = samples[static_cast<std::size_t>(row - 1)].s;
      if (!(s > readings.floor) || s < report.band.low || s > report.band.high) continue;
      inside.push_back(samples[static_cast<std::size_t>(row - 1)]);
      if (firstRow == 0) firstRow = row;
      lastRow = row;
    }
    LineFit fit = fitLine(inside, 1, static_cast<int>(inside.size()));
    if (fit.usable && fit.a > 0) {
      fit.first = firstRow, fit.last = lastRow;
      report.bandFit = fit;
      report.bandK = permeabilityFromGradient(g, fit.a);
    }
  }
  for (Check& check : suggestionChecks(record, report.suggestion, digits)) report.checks.push_back(std::move(check));
  for (const auto& m : readings.mistyped) report.checks.push_back(mistypedCheck(record, m));
  // The shape of the record as its own rest level gives it, where that differs.
  const Readings shaped = rest ? restCorrected(readings, *rest) : readings;
  for (Check& check : recordChecks(shaped, report.suggestion)) report.checks.push_back(std::move(check));
  if (auto check = pointsOutsideCheck(record)) report.checks.push_back(std::move(*check));
  if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
  restateForUnwrittenHo(record, report.checks);
  return report;
}

// ---- 推奨区間 applied to a record ---------------------------------------------------

AppliedSuggestion applySuggestion(TestRecord& record, const AnalysisSettings& settings, int digits, bool keepScales) {
  AppliedSuggestion out;
  const AnalysisReport report = analyseRecord(record, settings, digits);
  const Suggestion& suggestion = report.suggestion;
  out.text = suggestion.reason;
  const Geometry g = geometryOf(record);
  if (!suggestion.found) {
    // No k under a "no k": the k and a of other rows go.
    if (!record.permeabilityText().empty() || !record.gradientText().empty())
      out.text += ". k と a の欄を空にしました";
    record.setField(F_gradientText, "");
    record.setField(F_permeabilityText, "");
    return out;
  }
  const LineFit& fit = suggestion.fit;
  if (!permeabilityFromGradient(g, fit.a)) {
    out.text += ". 寸法と計算式から正の k が求まらないため、点は変えていません";
    return out;
  }
  const std::vector<Sample> samples = unsteadySamples(record);
  const double t1 = samples[static_cast<std::size_t>(fit.first - 1)].t;
  const double t2 = samples[static_cast<std::size_t>(fit.last - 1)].t;
  record.setField(F_point1Row, cformat("%d", fit.first));
  record.setField(F_point2Row, cformat("%d", fit.last));
  record.setField(F_pointT1, record.cell(fit.first, C_time));
  record.setField(F_pointT2, record.cell(fit.last, C_time));
  record.setField(F_pointS1, fittedHeadText(fit, t1));
  record.setField(F_pointS2, fittedHeadText(fit, t2));
  // a and k from the two points as they are written, as every program
  // reading the file computes them.
  const auto a = computeGradient(record.fieldValue(F_pointT1), record.fieldValue(F_pointS1),
                                 record.fieldValue(F_pointT2), record.fieldValue(F_pointS2));
  const auto k = a ? permeabilityFromGradient(g, *a) : std::nullopt;
  record.setField(F_gradientText, a ? cformat("%g", *a) : std::string());
  record.setField(F_permeabilityText, k ? formatPermeability(*k, digits) : std::string());
  out.applied = true;
  if (!keepScales && (scalesAreDefault(record) || pointsOutsideCheck(record))) {
    for (const auto& [field, text] : autoScales(record)) record.setField(field, text);
  }
  return out;
}

} // namespace tov
