// The straightness test and the suggested segment.
#include "analysis/Suggestion.h"

#include <algorithm>
#include <cmath>

#include "analysis/Runs.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

using detail::Runs;

Straightness straightnessOf(const Readings& readings, int first, int last, const AnalysisSettings& settings) {
  const Runs runs(readings, settings);
  int i = -1, j = -1;
  for (int u = 0; u < runs.size(); ++u) {
    if (runs.row(u) >= first && i < 0) i = u;
    if (runs.row(u) <= last) j = u;
  }
  Straightness out;
  if (i < 0 || j < i || j - i + 1 < kLeastFitRows) return out;
  out = runs.test(i, j, true);
  out.fit = runs.fit(i, j);
  return out;
}

namespace {

// A line whose k is known no better than this (relative) is never taken
// over a better determined one.
constexpr double kLeastDetermined = 0.3;

struct Candidate {
  int i = 0, j = 0;
  double a = 0, u = 0, sensitivity = 0, fall = 0;
  bool full = false;
};

// Rules 1 to 3 over the usable rows of `runs`.
struct Choice {
  std::optional<Candidate> best, later;
  std::vector<Candidate> candidates;
};
Choice choose(const Runs& runs, const Readings& readings, const AnalysisSettings& settings) {
  Choice choice;
  const int usable = runs.size();
  if (usable < kLeastFitRows) return choice;
  const int least = std::min(kLeastStraightRows, usable);
  choice.candidates.reserve(static_cast<std::size_t>(usable));
  // For each last row the longest run that passes: starting earlier adds
  // rows of larger s, so it is the best determined of those ending there;
  // but a run whose first rows bend off the line of the rest gives way to
  // the longest whose head holds (where none does, the record is curved
  // throughout at the scale of its noise and the longest stands).
  for (int j = least - 1; j < usable; ++j) {
    int start = -1;
    for (int i = 0; i + least - 1 <= j; ++i) {
      if (!runs.test(i, j, false).straight) continue;
      if (start < 0) start = i;
      if (runs.headHolds(i, j)) {
        start = i;
        break;
      }
    }
    for (int i = start; i >= 0 && i + least - 1 <= j; ++i) {
      const Straightness st = runs.test(i, j, false);
      if (!st.straight) continue;
      const Runs::Weighted w = runs.weighted(i, j);
      if (!w.ok || !(w.a > 0)) continue;
      Candidate c;
      c.i = i, c.j = j, c.a = w.a, c.fall = st.fall, c.full = st.fall >= settings.leastFall;
      // A short fall is the record's own end (a test stopped early), never
      // a piece of a longer curve.
      if (!c.full && j != usable - 1) continue;
      const double statistical = w.n > 2 ? studentT95(w.n - 2) * std::max(w.aError, w.noiseError) / w.a : 1.0;
      // A line the scatter could make (its k not known within a half) is none.
      if (!(statistical < 0.5)) continue;
      c.sensitivity = std::fabs(w.perMetre) * readings.restError / w.a;
      c.u = std::sqrt(statistical * statistical + c.sensitivity * c.sensitivity);
      choice.candidates.push_back(c);
      break;
    }
  }
  if (choice.candidates.empty()) return choice;
  const bool anyFull = std::any_of(choice.candidates.begin(), choice.candidates.end(), [](const Candidate& c) { return c.full; });
  double least_u = INFINITY;
  for (const Candidate& c : choice.candidates)
    if (c.full || !anyFull) least_u = std::min(least_u, c.u);
  const double limit = 2.0 * least_u + 0.01;
  const Candidate* sharpest = nullptr;
  for (const Candidate& c : choice.candidates)
    if ((c.full || !anyFull) && (!sharpest || c.u < sharpest->u)) sharpest = &c;
  // Well determined; or, less so, a line of its own: its gradient differs
  // from the best determined line's by more than both their uncertainties
  // explain (a later line after drainage), where a tail bent by noise or by
  // ho's error stays within its own.
  auto acceptable = [&](const Candidate& c) {
    if (c.u <= limit) return true;
    return c.u <= kLeastDetermined && std::fabs(c.a - sharpest->a) > 2.0 * (c.u * c.a + sharpest->u * sharpest->a);
  };
  auto later = [](const Candidate& x, const Candidate& y) { return x.j > y.j || (x.j == y.j && x.i < y.i); };
  for (const Candidate& c : choice.candidates) {
    if (anyFull && !c.full) continue;
    std::optional<Candidate>& slot = acceptable(c) ? choice.best : choice.later;
    if (!slot || later(c, *slot)) slot = c;
  }
  // A later line is named only when it ends after the segment and differs from it.
  if (choice.later && (!choice.best || choice.later->j <= choice.best->j ||
                       std::fabs(choice.later->a - choice.best->a) <= settings.halvesTolerance * choice.best->a))
    choice.later.reset();
  return choice;
}

// The usable rows (indices into runs) whose s lies in the band, at least
// kLeastFitRows of them: where fewer lie in it, the nearest rows on either
// side are added. Nothing when the band is unknown or the rows never reach it.
std::optional<std::pair<int, int>> bandRuns(const Runs& runs, const Band& band) {
  if (!band.known() || runs.size() < kLeastFitRows) return std::nullopt;
  int i = -1, j = -1;
  for (int u = 0; u < runs.size(); ++u)
    if (runs.s(u) >= band.low && runs.s(u) <= band.high) {
      if (i < 0) i = u;
      j = u;
    }
  if (i < 0) {
    // No row inside: the rows either side of where s passes through it.
    int below = -1;
    for (int u = 0; u < runs.size() && below < 0; ++u)
      if (runs.s(u) < band.low) below = u;
    if (below <= 0) return std::nullopt;
    i = below - 1, j = below;
  }
  while (j - i + 1 < kLeastFitRows) {
    const bool before = i > 0, after = j + 1 < runs.size();
    if (!before && !after) return std::nullopt;
    // The side whose next row lies nearer the band's middle in log s.
    const double middle = std::sqrt(band.low * band.high);
    const double costBefore = before ? std::fabs(std::log(runs.s(i - 1) / middle)) : INFINITY;
    const double costAfter = after ? std::fabs(std::log(runs.s(j + 1) / middle)) : INFINITY;
    (costBefore <= costAfter ? i : j) += costBefore <= costAfter ? -1 : 1;
  }
  return std::pair{i, j};
}

std::string noSegmentReason(const Runs& runs, const Readings& readings, const AnalysisSettings& settings) {
  const int usable = runs.size();
  if (usable < kLeastFitRows)
    return cformat("推奨区間なし: s の使える行が %d 行しかありません (3 行以上必要)", usable);
  const Runs::Line all = runs.line(0, usable - 1);
  const LineFit whole = runs.fit(0, usable - 1);
  const double fall = whole.usable ? 1.0 - whole.sAt(readings.samples[static_cast<std::size_t>(whole.last - 1)].t) /
                                               whole.sAt(readings.samples[static_cast<std::size_t>(whole.first - 1)].t)
                                   : 0.0;
  if (!all.ok) return "推奨区間なし: 時間の異なる行がありません";
  if (!(all.a > 0)) return "推奨区間なし: s が下がっていません (全体の a " + cformat("%.3g", all.a) + "). k は求められません";
  if (fall < settings.shortestFall)
    return cformat("推奨区間なし: s の低下が %.0f %% しかありません (%.0f %% 以上必要). k は出しません", fall * 100.0,
                   settings.shortestFall * 100.0);
  return "推奨区間なし: 直線とみなせる区間がありません (曲がっているか、ばらつきが大きい). k は出しません";
}

} // namespace

Suggestion suggestSegment(const Readings& given, const Band& band, const Geometry& geometry,
                          const AnalysisSettings& settings, const std::vector<TypeCurveFit>& curves) {
  Suggestion suggestion;
  suggestion.restError = given.restError;
  const Runs written(given, settings);
  const Choice writtenChoice = choose(written, given, settings);
  // The record's own rest level, where the written one is off.
  std::optional<Readings> corrected;
  std::optional<Runs> correctedRuns;
  Choice choice = writtenChoice;
  if (const auto rest = recordRestLevel(given, curves)) {
    corrected = restCorrected(given, *rest);
    correctedRuns.emplace(*corrected, settings);
    Choice other = choose(*correctedRuns, *corrected, settings);
    if (other.best) {
      suggestion.restLevel = rest;
      if (writtenChoice.best) {
        suggestion.writtenFit = written.fit(writtenChoice.best->i, writtenChoice.best->j);
        suggestion.writtenK = permeabilityFromGradient(geometry, suggestion.writtenFit->a);
      }
      choice = std::move(other);
    }
  }
  const bool useCorrected = suggestion.restLevel.has_value();
  const Readings& readings = useCorrected ? *corrected : given;
  const Runs& runs = useCorrected ? *correctedRuns : written;
  // A record bent by storage: the rows of the recommended range.
  if (!useCorrected) {
    const TypeCurveFit* curve = bendingCurve(given, curves);
    if (curve) {
      if (const auto rows = bandRuns(runs, band)) {
        Candidate c;
        c.i = rows->first, c.j = rows->second;
        const Runs::Weighted w = runs.weighted(c.i, c.j);
        if (w.ok && w.a > 0) {
          c.a = w.a;
          c.fall = runs.test(c.i, c.j, true).fall;
          c.full = true;
          c.sensitivity = std::fabs(w.perMetre) * readings.restError / w.a;
          choice.best = c;
          choice.later.reset();
          choice.candidates.clear();
          suggestion.storage = *curve;
          suggestion.bandLow = settings.bandLow, suggestion.bandHigh = settings.bandHigh;
        }
      }
    }
  }
  if (!choice.best) {
    suggestion.reason = noSegmentReason(runs, readings, settings);
    return suggestion;
  }
  const Candidate best = *choice.best;
  suggestion.found = true;
  suggestion.fit = runs.fit(best.i, best.j);
  suggestion.k = permeabilityInterval(geometry, suggestion.fit);
  suggestion.band = placeInBand(readings.samples, suggestion.fit.first, suggestion.fit.last, band);
  suggestion.fall = best.fall;
  suggestion.shortFall = !best.full;
  suggestion.restSensitivity = best.sensitivity;

  // The sensitivity to the choice of segment.
  const int least = std::min(kLeastStraightRows, runs.size());
  for (int i = best.i; i <= best.j; ++i)
    for (int j = i + least - 1; j <= best.j; ++j) {
      if (!runs.test(i, j, false).straight) continue;
      const Runs::Weighted w = runs.weighted(i, j);
      const auto k = w.ok ? permeabilityFromGradient(geometry, w.a) : std::nullopt;
      if (!k) continue;
      if (suggestion.subSegments == 0) suggestion.spreadLow = suggestion.spreadHigh = *k;
      suggestion.spreadLow = std::min(suggestion.spreadLow, *k);
      suggestion.spreadHigh = std::max(suggestion.spreadHigh, *k);
      ++suggestion.subSegments;
    }

  // An earlier line, ending at or before the segment's first row: the
  // latest such, then the longest.
  std::optional<Candidate> earlier;
  for (const Candidate& c : choice.candidates) {
    if (c.j > best.i || std::fabs(c.a - best.a) <= settings.halvesTolerance * best.a) continue;
    if (!earlier || c.j > earlier->j || (c.j == earlier->j && c.i < earlier->i)) earlier = c;
  }
  if (earlier) {
    suggestion.earlier = runs.fit(earlier->i, earlier->j);
    suggestion.earlierK = permeabilityFromGradient(geometry, suggestion.earlier->a);
  }
  if (choice.later) {
    suggestion.later = runs.fit(choice.later->i, choice.later->j);
    suggestion.laterK = permeabilityFromGradient(geometry, suggestion.later->a);
  }

  const LineFit& fit = suggestion.fit;
  if (suggestion.storage)
    suggestion.reason = cformat("推奨区間 %d〜%d 行 (n %d, R² %s): 比貯留で曲がった記録のため s/H0 %g〜%g の行 (標準曲線 %s が記録に合う)",
                                fit.first, fit.last, fit.n, r2Text(fit.r2).c_str(), settings.bandLow, settings.bandHigh,
                                typeCurveName(suggestion.storage->model));
  else
    suggestion.reason = cformat("推奨区間 %d〜%d 行 (n %d, R² %s): 直線で k の決まる区間のうち最も後のもの",
                                fit.first, fit.last, fit.n, r2Text(fit.r2).c_str());
  if (useCorrected) suggestion.reason += ". s は記録から求めた平衡水位 ho による (検討事項)";
  if (suggestion.shortFall) suggestion.reason += cformat(". s の低下が %.0f %% と短い (検討事項)", suggestion.fall * 100.0);
  return suggestion;
}

Suggestion suggestSegment(const std::vector<Sample>& samples, const Band& band, const AnalysisSettings& settings) {
  return suggestSegment(readingsOf(samples, 0, settings), band, Geometry{}, settings);
}

std::string Suggestion::summary(int digits) const {
  // Shown after a "推奨区間" label: the reason without its own.
  const std::string none = "推奨区間なし: ";
  if (!found) return reason.rfind(none, 0) == 0 ? "なし (" + reason.substr(none.size()) + ")" : reason;
  std::string text = cformat("%d〜%d 行 (n %d)", fit.first, fit.last, fit.n);
  if (k) text += " " + intervalText(*k, digits);
  return text;
}

std::string Suggestion::spreadRange(int digits) const {
  if (subSegments == 0) return "なし";
  return formatPermeability(spreadLow, digits) + "〜" + formatPermeability(spreadHigh, digits) +
         cformat(" (%d 区間)", subSegments);
}

std::string Suggestion::spreadText(int digits) const { return "区間の取り方による k の幅 " + spreadRange(digits); }
} // namespace tov
