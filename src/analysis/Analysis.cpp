// The line fit, the recommended band, the suggested segment, the spread of
// k and the checks of a test.
#include "analysis/Analysis.h"

#include <algorithm>
#include <cmath>

#include "files/TextFile.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

namespace {

bool usableHead(double s) { return std::isfinite(s) && s > kLeastHead; }

// Sums of one segment, built row by row from its first row. Times and
// logs are taken relative to the first usable row, which keeps the sums
// small and the differences exact enough for R².
struct RunningFit {
  int n = 0;
  double t0 = 0, y0 = 0;
  double st = 0, sy = 0, stt = 0, sty = 0, syy = 0;

  void add(const Sample& sample) {
    if (!usableHead(sample.s) || !std::isfinite(sample.t)) return;
    const double y = std::log10(sample.s);
    if (n == 0) t0 = sample.t, y0 = y;
    const double dt = sample.t - t0, dy = y - y0;
    ++n;
    st += dt, sy += dy, stt += dt * dt, sty += dt * dy, syy += dy * dy;
  }
  // Centred sums.
  double ctt() const { return stt - st * st / n; }
  double cty() const { return sty - st * sy / n; }
  double cyy() const { return syy - sy * sy / n; }
  bool usable() const { return n >= kLeastFitRows && ctt() > 0; }
  double a() const { return -cty() / ctt(); }
  double r2() const {
    const double yy = cyy();
    if (!(yy > 0)) return 0;
    return std::clamp(cty() * cty() / (ctt() * yy), 0.0, 1.0);
  }
};

// Calls f(first, last, running) for every segment of at least
// kLeastStraightRows usable rows that is straight by the rule.
template <class F>
void forEachStraightSegment(const std::vector<Sample>& samples, double threshold, int leastRows, F f) {
  const int rows = static_cast<int>(samples.size());
  for (int first = 1; first <= rows; ++first) {
    if (!usableHead(samples[static_cast<std::size_t>(first - 1)].s)) continue;
    RunningFit run;
    for (int last = first; last <= rows; ++last) {
      run.add(samples[static_cast<std::size_t>(last - 1)]);
      if (run.n < leastRows || !run.usable()) continue;
      if (run.a() > 0 && run.r2() >= threshold) f(first, last, run);
    }
  }
}

std::string trimmed(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const auto end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

} // namespace

// ---- Settings ---------------------------------------------------------

std::vector<std::string> analysisSettingsLines(const AnalysisSettings& settings) {
  return {
      "; 解析の設定: 直線とみなす決定係数 R2 の下限、推奨範囲 (s/H0)、ページに近似直線を描くか (1/0)",
      cformat("straightness=%g", settings.straightness),
      cformat("bandLow=%g", settings.bandLow),
      cformat("bandHigh=%g", settings.bandHigh),
      cformat("fitOnPage=%d", settings.fitOnPage ? 1 : 0),
  };
}

AnalysisSettings analysisSettingsFromLines(const std::vector<std::string>& lines) {
  AnalysisSettings settings;
  AnalysisSettings defaults;
  for (const std::string& line : lines) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (!isNumberText(value)) continue;
    const double number = toDouble(value);
    if (!std::isfinite(number)) continue;
    if (name == "straightness" && number > 0 && number <= 1) settings.straightness = number;
    else if (name == "bandLow" && number > 0 && number < 1) settings.bandLow = number;
    else if (name == "bandHigh" && number > 0 && number <= 1) settings.bandHigh = number;
    else if (name == "fitOnPage") settings.fitOnPage = toInt(value) != 0;
  }
  // A band that is no band falls back to the defaults as a whole.
  if (!(settings.bandLow < settings.bandHigh)) {
    settings.bandLow = defaults.bandLow;
    settings.bandHigh = defaults.bandHigh;
  }
  return settings;
}

AnalysisSettings readAnalysisSettings(const std::filesystem::path& installFolder) {
  const auto text = readTextLines(installFolder / kAnalysisSettingsFile);
  if (!text) return AnalysisSettings{};
  return analysisSettingsFromLines(text->lines);
}

bool writeAnalysisSettings(const std::filesystem::path& installFolder, const AnalysisSettings& settings) {
  return writeTextLines(installFolder / kAnalysisSettingsFile, analysisSettingsLines(settings)).ok();
}

AnalysisSettings& theAnalysisSettings() {
  static AnalysisSettings settings;
  return settings;
}

// ---- Samples and the fit ------------------------------------------------

std::vector<Sample> unsteadySamples(const TestRecord& record) {
  std::vector<Sample> samples;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_time)) || !isNumberText(record.cell(row, C_pipeLevel))) break;
    const std::string& s = record.cell(row, C_headDifference);
    samples.push_back(Sample{toDouble(record.cell(row, C_time)), isNumberText(s) ? toDouble(s) : 0.0});
  }
  return samples;
}

std::vector<Sample> steadyFlowSamples(const TestRecord& record) {
  std::vector<Sample> samples;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_pipeLevel)) || !isNumberText(record.cell(row, C_flow))) break;
    samples.push_back(Sample{toDouble(record.cell(row, C_time)), toDouble(record.cell(row, C_flow))});
  }
  return samples;
}

double LineFit::sAt(double t) const { return std::pow(10.0, logS0 - a * t); }

LineFit fitLine(const std::vector<Sample>& samples, int first, int last) {
  LineFit fit;
  fit.first = first;
  fit.last = last;
  const int rows = static_cast<int>(samples.size());
  if (first < 1 || last > rows || first > last) return fit;
  // Two passes (means first) for the exact figures of the chosen segment.
  double mt = 0, my = 0;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!usableHead(p.s) || !std::isfinite(p.t)) continue;
    ++fit.n;
    mt += p.t;
    my += std::log10(p.s);
  }
  if (fit.n == 0) return fit;
  mt /= fit.n;
  my /= fit.n;
  double tt = 0, ty = 0, yy = 0;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!usableHead(p.s) || !std::isfinite(p.t)) continue;
    const double dt = p.t - mt, dy = std::log10(p.s) - my;
    tt += dt * dt, ty += dt * dy, yy += dy * dy;
  }
  if (fit.n < kLeastFitRows || !(tt > 0)) return fit;
  fit.usable = true;
  fit.a = -ty / tt;
  fit.logS0 = my + fit.a * mt;
  fit.r2 = yy > 0 ? std::clamp(ty * ty / (tt * yy), 0.0, 1.0) : 0.0;
  return fit;
}

// ---- k ------------------------------------------------------------------

Geometry geometryOf(const TestRecord& record) {
  Geometry g;
  g.formula = record.fieldInt(F_formulaKind);
  g.length = record.fieldValue(F_sectionLength);
  g.bore = record.fieldValue(F_boreDiameter);
  g.equivalentDiameter = record.fieldValue(F_equivalentDiameter);
  g.steadyFlow = record.fieldValue(F_steadyFlow);
  g.steadyHead = record.fieldValue(F_steadyHeadDifference);
  return g;
}

std::optional<double> permeabilityFromGradient(const Geometry& g, double a) {
  if (!g.usable() || !std::isfinite(a)) return std::nullopt;
  const double k = computePermeability(static_cast<unsigned>(g.formula), g.ratio(), g.equivalentDiameter, g.length,
                                       a, g.steadyFlow, g.steadyHead);
  if (!(k > kPermeabilityFailureLimit)) return std::nullopt;
  return k;
}

std::optional<double> percentDifference(double pointsK, double fittedK) {
  if (!(std::fabs(pointsK) > 0) || !std::isfinite(pointsK) || !std::isfinite(fittedK)) return std::nullopt;
  return (fittedK - pointsK) / pointsK * 100.0;
}

std::string fitCaption(const LineFit& fit) {
  // Cut, not rounded: 0.9996 is not shown as a perfect 1.000.
  return cformat("R² %.3f (n %d)", std::floor(fit.r2 * 1000.0 + 1e-6) / 1000.0, fit.n);
}

std::string r2Text(double r2) { return cformat("%.4f", std::floor(r2 * 10000.0 + 1e-6) / 10000.0); }

// ---- The band -------------------------------------------------------------

Band recommendedBand(const TestRecord& record, const std::vector<Sample>& samples, const AnalysisSettings& settings) {
  Band band;
  const std::string& sp = record.field(F_startHeadDifference);
  if (isNumberText(sp) && toDouble(sp) > 0) band.h0 = toDouble(sp);
  else if (!samples.empty() && usableHead(samples.front().s)) band.h0 = samples.front().s;
  if (!std::isfinite(band.h0)) band.h0 = 0;
  band.low = band.h0 * settings.bandLow;
  band.high = band.h0 * settings.bandHigh;
  return band;
}

BandPlace placeInBand(const std::vector<Sample>& samples, int first, int last, const Band& band) {
  const int rows = static_cast<int>(samples.size());
  if (!band.known() || first < 1 || last > rows || first > last) return BandPlace::Unknown;
  double low = INFINITY, high = -INFINITY;
  for (int row = first; row <= last; ++row) {
    const double s = samples[static_cast<std::size_t>(row - 1)].s;
    if (!usableHead(s)) continue;
    low = std::min(low, s);
    high = std::max(high, s);
  }
  if (!(low <= high)) return BandPlace::Unknown;
  if (low >= band.low && high <= band.high) return BandPlace::Inside;
  // The segment's s range overlapping the band: the line crosses it.
  if (high >= band.low && low <= band.high) return BandPlace::Partly;
  return BandPlace::Outside;
}

const char* bandPlaceText(BandPlace place) {
  switch (place) {
  case BandPlace::Inside: return "推奨範囲内";
  case BandPlace::Partly: return "一部が推奨範囲内";
  case BandPlace::Outside: return "推奨範囲外";
  case BandPlace::Unknown: break;
  }
  return "";
}

// ---- The suggestion and the spread --------------------------------------------

Suggestion suggestSegment(const std::vector<Sample>& samples, const Band& band, const AnalysisSettings& settings) {
  Suggestion suggestion;
  const int rows = static_cast<int>(samples.size());
  int usableRows = 0;
  for (const Sample& p : samples) usableRows += usableHead(p.s) ? 1 : 0;
  if (usableRows < kLeastFitRows) {
    suggestion.reason = cformat("推奨区間なし: s の使える行が %d 行しかありません (3 行以上必要)", usableRows);
    return suggestion;
  }

  // Rules 1 and 2: the straight segment ending last, then the longest.
  const int least = std::min(kLeastStraightRows, usableRows);
  int bestFirst = 0, bestLast = 0;
  forEachStraightSegment(samples, settings.straightness, least, [&](int first, int last, const RunningFit&) {
    if (last > bestLast || (last == bestLast && first < bestFirst)) bestFirst = first, bestLast = last;
  });
  if (bestLast > 0) {
    suggestion.found = true;
    suggestion.fit = fitLine(samples, bestFirst, bestLast);
    suggestion.poor = !(suggestion.fit.r2 >= settings.straightness);
  } else {
    // Rule 3: no straight part; the best there is, marked poor.
    double bestR2 = -1;
    for (int first = 1; first <= rows; ++first) {
      RunningFit run;
      for (int last = first; last <= rows; ++last) {
        run.add(samples[static_cast<std::size_t>(last - 1)]);
        if (run.n < least || !run.usable()) continue;
        const double r2 = run.a() > 0 ? run.r2() : 0;
        if (r2 > bestR2) bestR2 = r2, bestFirst = first, bestLast = last;
      }
    }
    if (bestLast > 0) {
      suggestion.found = true;
      suggestion.fit = fitLine(samples, bestFirst, bestLast);
    }
    suggestion.poor = true;
  }
  if (!suggestion.found) {
    suggestion.reason = "推奨区間なし: 時間の異なる行がありません";
    return suggestion;
  }
  suggestion.band = placeInBand(samples, bestFirst, bestLast, band);
  const LineFit& fit = suggestion.fit;
  std::string why = suggestion.poor
                        ? cformat("直線部分が見つかりません (R² %.3f 未満)。最も直線に近い区間", settings.straightness)
                        : std::string("直線とみなせる区間のうち最も後のもの");
  suggestion.reason = cformat("推奨区間 %d〜%d 行 (n %d, R² %s)%s: ", fit.first, fit.last, fit.n, r2Text(fit.r2).c_str(),
                              suggestion.band == BandPlace::Unknown ? "" : (std::string(", ") + bandPlaceText(suggestion.band)).c_str()) +
                      why;
  if (suggestion.poor) suggestion.reason += "。信頼性が低いので点を確かめてください";
  return suggestion;
}

KSpread permeabilitySpread(const std::vector<Sample>& samples, const Geometry& geometry,
                           const AnalysisSettings& settings) {
  KSpread spread;
  if (!geometry.usable()) return spread;
  forEachStraightSegment(samples, settings.straightness, kLeastStraightRows, [&](int, int, const RunningFit& run) {
    const auto k = permeabilityFromGradient(geometry, run.a());
    if (!k) return;
    if (spread.segments == 0) spread.low = spread.high = *k;
    spread.low = std::min(spread.low, *k);
    spread.high = std::max(spread.high, *k);
    ++spread.segments;
  });
  return spread;
}

std::string KSpread::text() const {
  if (segments == 0) return "k の幅 なし (直線とみなせる区間がありません)";
  return "k の幅 " + formatPermeability(low, 1) + " 〜 " + formatPermeability(high, 1) + cformat(" (%d 区間)", segments);
}

// ---- Checks ------------------------------------------------------------------

std::vector<Check> unsteadyChecks(const TestRecord& record, const std::vector<Sample>& samples, int first, int last,
                                  const AnalysisSettings& settings) {
  std::vector<Check> checks;
  const Geometry g = geometryOf(record);
  if ((g.formula == ApproxNoLayer || g.formula == ApproxWithLayer) && g.usable() && g.ratio() < kLeastApproxRatio)
    checks.push_back({CheckKind::ShapeRatio, g.ratio(),
                      cformat("近似式の条件 L/D ≥ 4 を満たしていません (L/D %.2f)。基本式を検討してください", g.ratio())});

  const LineFit fit = fitLine(samples, std::min(first, last), std::max(first, last));
  if (fit.n < kLeastFitRows) {
    checks.push_back({CheckKind::FewRows, static_cast<double>(fit.n),
                      cformat("区間の使える行が 3 行未満です (%d 行)", fit.n)});
  } else if (fit.usable) {
    if (fit.r2 < settings.straightness)
      checks.push_back({CheckKind::Straightness, fit.r2,
                        cformat("区間の直線性が基準に達していません (R² %s < %g)", r2Text(fit.r2).c_str(), settings.straightness)});
    if (!(fit.a > 0))
      checks.push_back({CheckKind::NotFalling, fit.a,
                        cformat("区間で s が下がっていません (a %s)。水位の符号や ho を確かめてください",
                                cformat("%g", fit.a).c_str())});
  }

  const std::string& spText = record.field(F_startHeadDifference);
  const double sp = toDouble(spText);
  if (isNumberText(spText) && sp > 0 && !samples.empty() && std::isfinite(samples.front().s)) {
    const double s1 = samples.front().s;
    const double off = std::fabs(s1 - sp) / sp;
    if (off > kFirstHeadTolerance)
      checks.push_back({CheckKind::FirstHeadVsSp, off * 100.0,
                        cformat("最初の s が Sp と %.0f %% 違います (s %s, Sp %s)。水位か ho の入力を確かめてください",
                                off * 100.0, cformat("%g", s1).c_str(), cformat("%g", sp).c_str())});
  }

  const Band band = recommendedBand(record, samples, settings);
  if (fit.n >= 1 && placeInBand(samples, fit.first, fit.last, band) == BandPlace::Outside) {
    const double from = samples[static_cast<std::size_t>(fit.first - 1)].s / band.h0;
    const double to = samples[static_cast<std::size_t>(fit.last - 1)].s / band.h0;
    checks.push_back({CheckKind::OutsideBand, from,
                      cformat("区間が推奨範囲 s/H0 %g〜%g の外にあります (s/H0 %.2f〜%.2f)", settings.bandLow,
                              settings.bandHigh, from, to)});
  }
  return checks;
}

std::vector<Check> steadyChecks(const TestRecord& record) {
  std::vector<Check> checks;
  const std::vector<Sample> flows = steadyFlowSamples(record);
  if (flows.size() < 3) return checks;
  double low = INFINITY, high = -INFINITY, sum = 0;
  for (std::size_t i = flows.size() - 3; i < flows.size(); ++i) {
    low = std::min(low, flows[i].s);
    high = std::max(high, flows[i].s);
    sum += flows[i].s;
  }
  const double mean = sum / 3;
  if (!(std::fabs(mean) > 0) || !std::isfinite(mean)) return checks;
  const double drift = (high - low) / std::fabs(mean);
  if (drift > kSteadyFlowTolerance)
    checks.push_back({CheckKind::SteadyFlowDrift, drift * 100.0,
                      cformat("最後の 3 点の Q が %.1f %% 変動しています (5 %% 超)。定常に達していない可能性があります",
                              drift * 100.0)});
  return checks;
}

std::optional<Check> recordedPermeabilityCheck(const TestRecord& record) {
  const std::string& text = record.permeabilityText();
  const auto computed = permeabilityFromHeadings(record);
  if (!isNumberText(text) || !computed || !(*computed > 0)) return std::nullopt;
  const double recorded = toDouble(text);
  // Half a unit in the last digit the text gives, and a little for a
  // rounded a (or Qo, So) against the one k was computed from.
  const std::size_t e = text.find_first_of("eE");
  const std::string mantissa = text.substr(0, e);
  const std::size_t point = mantissa.find('.');
  const int decimals = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  const double exponent = e == std::string::npos ? 0.0 : toDouble(text.substr(e + 1));
  const double halfUnit = 0.5 * std::pow(10.0, exponent - decimals);
  if (std::fabs(recorded - *computed) <= halfUnit + 1e-3 * *computed) return std::nullopt;
  const double percent = (recorded - *computed) / *computed * 100.0;
  const bool steady = record.fieldInt(F_formulaKind) == Steady;
  return Check{CheckKind::RecordedK, percent,
               cformat("記録の k %s は%sと寸法から求めた k %s と %.1f %% 違います", text.c_str(),
                       steady ? " Qo・So " : "勾配 a ", formatPermeability(*computed, std::max(decimals, 2)).c_str(),
                       std::fabs(percent))};
}

// ---- One record -------------------------------------------------------------------

AnalysisReport analyseRecord(const TestRecord& record, const AnalysisSettings& settings) {
  AnalysisReport report;
  const Geometry g = geometryOf(record);
  report.steady = g.formula == Steady;
  if (report.steady) {
    report.completeRows = static_cast<int>(steadyFlowSamples(record).size());
    report.checks = steadyChecks(record);
    if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
    return report;
  }
  const std::vector<Sample> samples = unsteadySamples(record);
  const int n = static_cast<int>(samples.size());
  report.completeRows = n;
  report.band = recommendedBand(record, samples, settings);
  report.suggestion = suggestSegment(samples, report.band, settings);
  report.spread = permeabilitySpread(samples, g, settings);
  const int row1 = record.fieldInt(F_point1Row), row2 = record.fieldInt(F_point2Row);
  if (row1 >= 1 && row1 <= n && row2 >= 1 && row2 <= n) {
    const int first = std::min(row1, row2), last = std::max(row1, row2);
    report.segment = fitLine(samples, first, last);
    if (report.segment->usable) report.fittedK = permeabilityFromGradient(g, report.segment->a);
    const Sample& p1 = samples[static_cast<std::size_t>(row1 - 1)];
    const Sample& p2 = samples[static_cast<std::size_t>(row2 - 1)];
    if (const auto a = computeGradient(p1.t, p1.s, p2.t, p2.s)) report.pointsK = permeabilityFromGradient(g, *a);
    report.segmentPlace = placeInBand(samples, first, last, report.band);
    report.checks = unsteadyChecks(record, samples, first, last, settings);
  } else {
    report.checks = unsteadyChecks(record, samples, 0, 0, settings);
  }
  if (auto check = recordedPermeabilityCheck(record)) report.checks.push_back(std::move(*check));
  return report;
}

} // namespace tov
