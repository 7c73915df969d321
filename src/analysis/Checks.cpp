// 検討事項: the checks of a test's fitness.
#include "analysis/Checks.h"

#include <algorithm>
#include <cmath>

#include "analysis/Band.h"
#include "analysis/LineFit.h"
#include "analysis/Samples.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

namespace {

// "3〜5, 9" from rows in order.
std::string rowList(const std::vector<int>& rows) {
  std::string out;
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    if (!out.empty()) out += ", ";
    out += j > i ? cformat("%d〜%d", rows[i], rows[j]) : cformat("%d", rows[i]);
    i = j + 1;
  }
  return out;
}

} // namespace

std::vector<Check> unsteadyChecks(const TestRecord& record, const std::vector<Sample>& samples, int first, int last,
                                  const AnalysisSettings& settings) {
  std::vector<Check> checks;
  const Geometry g = geometryOf(record);
  if ((g.formula == ApproxNoLayer || g.formula == ApproxWithLayer) && g.usable() && g.ratio() < kLeastApproxRatio)
    checks.push_back({CheckKind::ShapeRatio, g.ratio(),
                      cformat("近似式の条件 L/D ≥ 4 を満たしていません (L/D %.2f). 基本式を検討してください", g.ratio())});

  const LineFit fit = fitLine(samples, std::min(first, last), std::max(first, last));
  if (fit.n < kLeastFitRows) {
    checks.push_back({CheckKind::FewRows, static_cast<double>(fit.n),
                      cformat("区間の使える行が 3 行未満です (%d 行)", fit.n)});
  } else if (fit.usable) {
    if (!(fit.a > 0)) {
      checks.push_back({CheckKind::NotFalling, fit.a,
                        cformat("区間で s が下がっていません (a %s). 水位の符号や ho を確かめてください",
                                cformat("%g", fit.a).c_str())});
    } else {
      // The shape of the chosen rows (the fall is the suggestion's concern).
      const Readings readings = readingsOf(samples, readingStep(record), settings);
      AnalysisSettings anyFall = settings;
      anyFall.leastFall = 0;
      anyFall.shortestFall = 0;
      const Straightness shape = straightnessOf(readings, fit.first, fit.last, anyFall);
      if (shape.fit.usable && !shape.straight)
        checks.push_back({CheckKind::Straightness, shape.halvesDifference,
                          cformat("区間が直線とみなせません (前半と後半の勾配の差 %.0f %%, 直線から最も離れた行 %.1f %%, R² %s)",
                                  shape.halvesDifference * 100.0, shape.worstRow * 100.0, r2Text(fit.r2).c_str())});
      else if (fit.r2 < settings.straightness)
        checks.push_back({CheckKind::LowR2, fit.r2,
                          cformat("区間の R² が %g 未満です (R² %s)", settings.straightness, r2Text(fit.r2).c_str())});
    }
  }

  const std::string& spText = record.field(F_startHeadDifference);
  const double sp = toDouble(spText);
  if (isNumberText(spText) && sp > 0 && !samples.empty() && std::isfinite(samples.front().s)) {
    const double s1 = samples.front().s;
    const double off = std::fabs(s1 - sp) / sp;
    if (off > kFirstHeadTolerance)
      checks.push_back({CheckKind::FirstHeadVsSp, off * 100.0,
                        cformat("最初の s が Sp と %.0f %% 違います (s %s, Sp %s). 水位か ho の入力を確かめてください",
                                off * 100.0, cformat("%g", s1).c_str(), cformat("%g", sp).c_str())});
  }

  const Band band = recommendedBand(record, samples, settings);
  if (fit.n >= 1 && placeInBand(samples, fit.first, fit.last, band) == BandPlace::Outside) {
    const double from = samples[static_cast<std::size_t>(fit.first - 1)].s / band.h0;
    const double to = samples[static_cast<std::size_t>(fit.last - 1)].s / band.h0;
    checks.push_back({CheckKind::OutsideBand, from,
                      cformat("区間が s/H0 範囲 (%g〜%g) の外にあります (s/H0 %.2f〜%.2f)", settings.bandLow,
                              settings.bandHigh, from, to)});
  }
  return checks;
}

std::vector<Check> recordChecks(const Readings& readings, const Suggestion& suggestion) {
  std::vector<Check> checks;
  std::vector<std::size_t> usable;
  for (std::size_t i = 0; i < readings.samples.size(); ++i)
    if (readings.samples[i].s > readings.floor && std::isfinite(readings.samples[i].s)) usable.push_back(i);
  const auto& p = readings.samples;

  // s rising over the record.
  bool rising = false;
  if (usable.size() >= 2) {
    std::vector<Sample> kept;
    for (std::size_t i : usable) kept.push_back(p[i]);
    const LineFit all = fitLine(kept, 1, static_cast<int>(kept.size()));
    if ((all.usable && !(all.a > 0)) || p[usable.back()].s >= p[usable.front()].s) {
      rising = true;
      checks.push_back({CheckKind::Rising, all.a,
                        "s が全体として下がっていません (最初の s " + cformat("%g", p[usable.front()].s) + " m, 最後の s " +
                            cformat("%g", p[usable.back()].s) + " m). k は求められません. 水位の符号や ho を確かめてください"});
    }
  }

  // Oscillation: s rising again after it fell.
  if (!rising && !usable.empty()) {
    double least = p[usable.front()].s;
    std::size_t leastAt = usable.front();
    for (std::size_t i : usable) {
      // A rise beyond what the reading step and the measured noise explain.
      const double margin = std::max(kOscillationSteps * readings.step, 4.0 * readings.noise) + 0.01 * least;
      if (p[i].s - least > margin && least < p[usable.front()].s - margin) {
        checks.push_back({CheckKind::Oscillation, p[i].s - least,
                          cformat("振動: 行 %d で s が %s m 戻っています (行 %d の %s m から). 透水性が高く応答が振動している可能性があり、"
                                  "直線による方法は当てはまりません (振動を扱う解析法や標準曲線法を検討してください)",
                                  static_cast<int>(i) + 1, cformat("%.3g", p[i].s - least).c_str(),
                                  static_cast<int>(leastAt) + 1, cformat("%g", least).c_str())});
        break;
      }
      if (p[i].s < least) least = p[i].s, leastAt = i;
    }
  }

  // A flattening tail after the segment: incomplete recovery (not where a
  // curve with storage explains the record: its tail flattens so).
  if (suggestion.found && suggestion.fit.a > 0 && !suggestion.storage) {
    const int tailRows = std::max<int>(3, static_cast<int>(usable.size()) / 5);
    if (static_cast<int>(usable.size()) >= tailRows && static_cast<int>(usable.back()) + 1 > suggestion.fit.last) {
      std::vector<Sample> tail;
      for (std::size_t u = usable.size() - static_cast<std::size_t>(tailRows); u < usable.size(); ++u) tail.push_back(p[usable[u]]);
      const LineFit late = fitLine(tail, 1, static_cast<int>(tail.size()));
      const double ratio = late.usable ? late.a / suggestion.fit.a : 1.0;
      // A record that ran on to full recovery levels off at s = 0 within its
      // noise: that is no flattening. The tail must stand well above it.
      double level = INFINITY;
      for (const Sample& q : tail) level = std::min(level, q.s);
      const double noiseLevel = std::max({readings.step, readings.noise, kLeastHead});
      if (late.usable && ratio < kFlatTail && level > 10.0 * noiseLevel)
        checks.push_back({CheckKind::Incomplete, ratio * 100.0,
                          cformat("回復が頭打ち: 最後の %d 行の勾配が推奨区間の %.0f %% です. 平衡水位 ho が違うか"
                                  "回復が終わっていない可能性があり、k が小さく出ます",
                                  tailRows, ratio * 100.0)});
    }
  }

  if (!readings.leftOut.empty())
    checks.push_back({CheckKind::BelowResolution, static_cast<double>(readings.leftOut.size()),
                      "行 " + rowList(readings.leftOut) + " は s が 0 に近い (" +
                          (readings.step > 0 ? cformat("読み取り単位 %g m の %g 倍", readings.step,
                                                       readings.floor / readings.step)
                                             : cformat("%g m", readings.floor)) +
                          " 以下) ため近似から除いています"});
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
                      cformat("最後の 3 点の Q が %.1f %% 変動しています (5 %% 超). 定常に達していない可能性があります",
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

// ---- The suggestion's notes ----------------------------------------------------

namespace {

// ho - h of the first complete row taken positive: +1 when the water stands
// below the rest level, -1 above; 0 when h or ho is no number.
double headSign(const TestRecord& record) {
  if (!record.fieldIsNumber(F_equilibriumLevel)) return 0;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_level))) return 0;
    const double d = record.fieldValue(F_equilibriumLevel) - toDouble(record.cell(row, C_level));
    if (d != 0) return d > 0 ? 1 : -1;
  }
  return 0;
}

std::string metres(double v) { return cformat("%.3f", v); }
std::string kText(const std::optional<double>& k, int digits) {
  return k ? formatPermeability(*k, digits) : std::string("なし");
}

} // namespace

std::vector<Check> suggestionChecks(const TestRecord& record, const Suggestion& suggestion, int digits) {
  std::vector<Check> checks;
  const std::optional<double> k = suggestion.k ? std::optional<double>(suggestion.k->k) : std::nullopt;
  if (const auto& rest = suggestion.restLevel) {
    const double sign = headSign(record);
    const std::string written =
        suggestion.writtenFit ? cformat("%d〜%d 行", suggestion.writtenFit->first, suggestion.writtenFit->last) : std::string();
    const std::string withWritten =
        "記入の ho では k " + kText(suggestion.writtenK, digits) + (written.empty() ? "" : " (" + written + ")");
    const std::string withRecord = "記録の ho では k " + kText(k, digits) +
                                   cformat(" (%d〜%d 行)", suggestion.fit.first, suggestion.fit.last);
    std::string text;
    if (!rest->withDrift) {
      if (sign != 0) {
        const double ho = record.fieldValue(F_equilibriumLevel);
        text = "平衡水位 ho: 記入の ho " + metres(ho) + " m に対し、回復の記録が向かう ho は " + metres(ho - sign * rest->offset) +
               cformat(" m です (差 %.1f cm)", std::fabs(rest->offset) * 100.0);
      } else {
        text = cformat("平衡水位 ho: 回復の記録は s = %s m に向かっています (ho が %.1f cm 違う可能性)",
                       metres(rest->offset).c_str(), std::fabs(rest->offset) * 100.0);
      }
    } else {
      // s moves by offset + drift·(t - t0): ho by -sign times that.
      const double rate = rest->drift * 3600.0 * 100.0;  // cm/h
      if (sign != 0) {
        const double ho = record.fieldValue(F_equilibriumLevel);
        const std::vector<Sample> samples = unsteadySamples(record);
        const double tEnd = samples.empty() ? rest->t0 : samples.back().t;
        const double atStart = ho - sign * rest->offset;
        const double atEnd = ho - sign * (rest->offset + rest->drift * (tEnd - rest->t0));
        text = "平衡水位 ho: 回復の記録から、ho は試験中に " + cformat("%+.1f cm/h", -sign * rate) + " 変化しています (記入の ho " +
               metres(ho) + " m, 記録からは " + metres(atStart) + " m から " + metres(atEnd) + " m)";
      } else {
        text = "平衡水位 ho: 回復の記録から、ho が試験中に " + cformat("%.1f cm/h", std::fabs(rate)) + " 変化しています";
      }
    }
    text += ". " + withWritten + ", " + withRecord + ". 推奨区間の k は記録の ho によるものです. ho を確かめてください.";
    checks.push_back({CheckKind::RestLevel, rest->offset, text});
  } else if (suggestion.found && suggestion.restSensitivity > 0.05) {
    checks.push_back({CheckKind::RestSensitive, suggestion.restSensitivity * 100.0,
                      cformat("平衡水位 ho が %s m 違うと推奨区間の k は %.0f %% 変わります. ho を確かめてください.",
                              cformat("%g", suggestion.restError).c_str(), suggestion.restSensitivity * 100.0)});
  }
  if (const auto& curve = suggestion.storage)
    checks.push_back({CheckKind::Storage, curve->storage,
                      "比貯留の影響: log s-t が初めから上に曲がっており、記入の ho のまま比貯留を含む標準曲線 " +
                          curve->summary(digits) + " が記録に合います. ho は記入のままとし、推奨区間は s/H0 範囲 (" +
                          cformat("%g〜%g", suggestion.bandLow, suggestion.bandHigh) +
                          ") の行としました."});
  if (suggestion.earlier)
    checks.push_back({CheckKind::EarlierLine, suggestion.earlierK.value_or(0),
                      cformat("前半の直線 %d〜%d 行 (n %d) k %s: フィルター材や孔内の水の排水による可能性があります.",
                              suggestion.earlier->first, suggestion.earlier->last, suggestion.earlier->n,
                              kText(suggestion.earlierK, digits).c_str())});
  if (suggestion.later)
    checks.push_back({CheckKind::LaterLine, suggestion.laterK.value_or(0),
                      cformat("後半の行 %d〜%d の直線 (k %s) は s が小さく、ho や読み取りの誤差で k が大きく変わるため"
                              "推奨区間にしていません.",
                              suggestion.later->first, suggestion.later->last, kText(suggestion.laterK, digits).c_str())});
  if (suggestion.found && suggestion.shortFall)
    checks.push_back({CheckKind::ShortFall, suggestion.fall * 100.0,
                      cformat("推奨区間の s の低下が %.0f %% と短く (%.0f %% 未満)、直線かどうかの判定が弱い区間です. "
                              "k にはこのことを書き添えてください.",
                              suggestion.fall * 100.0, AnalysisSettings{}.leastFall * 100.0)});
  return checks;
}

// A mistyped row, in h' where h' can be given from s.
Check mistypedCheck(const TestRecord& record, const Readings::Mistyped& m) {
  const std::string& typed = record.cell(m.row, C_pipeLevel);
  const double sign = headSign(record);
  std::string text;
  if (sign != 0 && record.fieldIsNumber(F_pipeTopHeight)) {
    // h = ho - sign·s, h' = pipe top - h.
    const double expected =
        record.fieldValue(F_pipeTopHeight) - (record.fieldValue(F_equilibriumLevel) - sign * m.expected);
    const int decimals = std::max(0, static_cast<int>(typed.size()) - static_cast<int>(typed.find('.')) - 1);
    text = cformat("行 %d の h' %s が前後の行の直線から外れています (直線では %.*f)", m.row, typed.c_str(),
                   typed.find('.') == std::string::npos ? 0 : decimals, expected);
  } else {
    text = cformat("行 %d の s %s が前後の行の直線から外れています (直線では %s)", m.row, cformat("%g", m.s).c_str(),
                   cformat("%.4g", m.expected).c_str());
  }
  text += ". 読み違いか入力の誤りを確かめてください. この行は推奨区間の近似に使っていません.";
  return {CheckKind::MistypedRow, static_cast<double>(m.row), text};
}


std::optional<Check> pointsOutsideCheck(const TestRecord& record) {
  if (record.fieldInt(F_formulaKind) == Steady) return std::nullopt;
  const double tFrom = record.fieldValue(F_graphATimeFrom), tTo = record.fieldValue(F_graphATimeTo);
  const double sFrom = record.fieldValue(F_graphAValueFrom), sTo = record.fieldValue(F_graphAValueTo);
  if (!record.fieldIsNumber(F_graphATimeFrom) || !record.fieldIsNumber(F_graphATimeTo) ||
      !record.fieldIsNumber(F_graphAValueFrom) || !record.fieldIsNumber(F_graphAValueTo))
    return std::nullopt;
  for (int point = 1; point <= 2; ++point) {
    const int tf = point == 1 ? F_pointT1 : F_pointT2, sf = point == 1 ? F_pointS1 : F_pointS2;
    if (!record.fieldIsNumber(tf) || !record.fieldIsNumber(sf)) continue;
    const double t = record.fieldValue(tf), s = record.fieldValue(sf);
    const bool inside = t >= std::min(tFrom, tTo) && t <= std::max(tFrom, tTo) && s >= std::min(sFrom, sTo) &&
                        s <= std::max(sFrom, sTo);
    if (!inside)
      return Check{CheckKind::PointsOutside, static_cast<double>(point),
                   cformat("点 %d (t %s, s %s) が log s-t グラフの目盛りの外にあり、ページに描かれません. "
                           "目盛りを直すか「自動目盛り」を使ってください.",
                           point, record.field(tf).c_str(), record.field(sf).c_str())};
  }
  return std::nullopt;
}
} // namespace tov
