// The record's own rest level.
#include "analysis/RestLevel.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/SmallSolve.h"

namespace tov {

using detail::inverseDiagonal;
using detail::solve;

namespace {

// Rows first..last with both t and s known: t from the first row's, and s.
void knownRows(const std::vector<Sample>& samples, int first, int last, std::vector<double>& t,
               std::vector<double>& s) {
  const double t0 = samples[static_cast<std::size_t>(first - 1)].t;
  for (int row = first; row <= last; ++row) {
    const Sample& p = samples[static_cast<std::size_t>(row - 1)];
    if (!std::isfinite(p.t) || !std::isfinite(p.s)) continue;
    t.push_back(p.t - t0);
    s.push_back(p.s);
  }
}

// The recovery alone (no offset): s = A·e^(-λ(t - t0)); its rms, or
// infinity when it cannot be fitted.
double recoveryAloneRms(const std::vector<Sample>& samples, int first, int last) {
  std::vector<double> t, s;
  knownRows(samples, first, last, t, s);
  const std::size_t n = t.size();
  if (n < 4 || !(t.back() > 0)) return INFINITY;
  // With A chosen best for each λ: sse = Σs² - (Σs·e)² / Σe².
  double ss = 0;
  for (double v : s) ss += v * v;
  auto sseAt = [&](double rate) {
    double se = 0, ee = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double e = std::exp(-rate * t[i]);
      se += s[i] * e, ee += e * e;
    }
    return ee > 0 ? std::max(ss - se * se / ee, 0.0) : ss;
  };
  const double span = t.back();
  double lo = std::log(0.05 / span), hi = std::log(200.0 / span);
  // The best of a grid, then golden sections about it.
  double best = lo, bestSse = INFINITY;
  for (int k = 0; k < 24; ++k) {
    const double x = lo + (hi - lo) * k / 23.0, sse = sseAt(std::exp(x));
    if (sse < bestSse) bestSse = sse, best = x;
  }
  const double width = (hi - lo) / 23.0;
  lo = best - width, hi = best + width;
  const double g = (std::sqrt(5.0) - 1) / 2;
  double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo), f1 = sseAt(std::exp(x1)), f2 = sseAt(std::exp(x2));
  for (int i = 0; i < 24; ++i) {
    if (f1 < f2) hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = sseAt(std::exp(x1));
    else lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = sseAt(std::exp(x2));
  }
  return std::sqrt(std::min({f1, f2, bestSse}) / static_cast<double>(n - 2));
}

} // namespace

std::optional<RestLevel> fitRestLevel(const std::vector<Sample>& samples, int first, int last, bool withDrift) {
  const int rows = static_cast<int>(samples.size());
  if (first < 1 || last > rows || first >= last) return std::nullopt;
  std::vector<double> t, s;
  knownRows(samples, first, last, t, s);
  const std::size_t n = t.size(), q = withDrift ? 3 : 2;
  if (n < q + 4) return std::nullopt;
  const double span = t.back() - t.front();
  if (!(span > 0)) return std::nullopt;
  // For a rate λ the rest is linear: offset, A (and drift) by least squares.
  std::vector<double> e(n);
  auto fitAt = [&](double rate, std::array<double, 3>& coef) {
    std::array<std::array<double, 3>, 3> m{};
    std::array<double, 3> v{};
    for (std::size_t i = 0; i < n; ++i) {
      e[i] = std::exp(-rate * t[i]);
      const double b[3] = {1, e[i], t[i] / span};
      for (std::size_t r = 0; r < q; ++r) {
        for (std::size_t c = 0; c < q; ++c) m[r][c] += b[r] * b[c];
        v[r] += b[r] * s[i];
      }
    }
    coef = v;
    if (!solve(m, coef, q)) return static_cast<double>(INFINITY);
    double sse = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double b[3] = {1, e[i], t[i] / span};
      double f = 0;
      for (std::size_t r = 0; r < q; ++r) f += coef[r] * b[r];
      sse += (s[i] - f) * (s[i] - f);
    }
    return sse;
  };
  // λ·span from 0.3 to 60 on a grid, then golden sections about the best.
  constexpr int kGrid = 24;
  std::array<double, 3> coef{};
  int best = 0;
  double bestSse = INFINITY;
  auto rateOf = [&](double k) { return 0.3 * std::pow(200.0, k / (kGrid - 1)) / span; };
  for (int k = 0; k < kGrid; ++k) {
    const double sse = fitAt(rateOf(k), coef);
    if (sse < bestSse) bestSse = sse, best = k;
  }
  double lo = std::log(rateOf(std::max(best - 1, 0))), hi = std::log(rateOf(std::min(best + 1, kGrid - 1)));
  const double g = (std::sqrt(5.0) - 1) / 2;
  double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
  double f1 = fitAt(std::exp(x1), coef), f2 = fitAt(std::exp(x2), coef);
  for (int i = 0; i < 24; ++i) {
    if (f1 < f2) hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = fitAt(std::exp(x1), coef);
    else lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = fitAt(std::exp(x2), coef);
  }
  RestLevel out;
  out.first = first, out.last = last, out.t0 = samples[static_cast<std::size_t>(first - 1)].t, out.withDrift = withDrift;
  out.rate = std::exp((lo + hi) / 2);
  const double sse = fitAt(out.rate, coef);
  if (!std::isfinite(sse)) return std::nullopt;
  out.offset = coef[0];
  out.amplitude = coef[1];
  out.drift = withDrift ? coef[2] / span : 0.0;
  out.rms = std::sqrt(sse / static_cast<double>(n - q - 1));
  // Errors from the model's derivatives (λ included).
  const std::size_t p = q + 1;
  std::array<std::array<double, 4>, 4> m{};
  for (std::size_t i = 0; i < n; ++i) {
    const double e = std::exp(-out.rate * t[i]);
    const double b4[4] = {1, e, withDrift ? t[i] / span : -out.amplitude * t[i] * e, -out.amplitude * t[i] * e};
    for (std::size_t r = 0; r < p; ++r)
      for (std::size_t c = 0; c < p; ++c) m[r][c] += b4[r] * b4[c];
  }
  out.offsetError = out.rms * std::sqrt(std::max(inverseDiagonal(m, 0, p), 0.0));
  out.driftError = withDrift ? out.rms * std::sqrt(std::max(inverseDiagonal(m, 2, p), 0.0)) / span : 0.0;
  return out;
}

double misfitNoise(const Readings& readings) { return std::max(readings.noise, 0.3 * readings.step); }

const TypeCurveFit* explainingCurve(const Readings& readings, const std::vector<TypeCurveFit>& curves) {
  const TypeCurveFit* best = nullptr;
  for (const TypeCurveFit& c : curves)
    if (c.found && (!best || c.rms < best->rms)) best = &c;
  return best && best->rms <= kExplained * misfitNoise(readings) ? best : nullptr;
}

const TypeCurveFit* bendingCurve(const Readings& readings, const std::vector<TypeCurveFit>& curves) {
  const TypeCurveFit* best = nullptr;
  for (const TypeCurveFit& c : curves)
    if (c.found && (!best || c.rms < best->rms)) best = &c;
  if (!best) return nullptr;
  const double noise = misfitNoise(readings), one = oneRecoveryRms(readings);
  if (!(one > kExplained * noise)) return nullptr;
  return best->rms <= kExplained * noise || (best->rms <= 2 * kExplained * noise && best->rms <= one / 2) ? best : nullptr;
}

std::vector<Sample> knownSamples(const Readings& readings) {
  std::vector<Sample> rows = readings.samples;
  for (const auto& m : readings.mistyped) rows[static_cast<std::size_t>(m.row - 1)].s = NAN;
  std::erase_if(rows, [](const Sample& p) { return !std::isfinite(p.s) || !std::isfinite(p.t); });
  return rows;
}

double oneRecoveryRms(const Readings& readings) {
  std::vector<Sample> rows = knownSamples(readings);
  std::erase_if(rows, [&](const Sample& p) { return !(p.s > readings.floor); });
  return recoveryAloneRms(rows, 1, static_cast<int>(rows.size()));
}

bool restLevelShown(const Readings& readings, const std::vector<TypeCurveFit>& curves) {
  const std::vector<Sample> rows = knownSamples(readings);
  const double noise = misfitNoise(readings);
  int crossing = 0;
  for (const Sample& p : rows) crossing += p.s < -3.0 * noise ? 1 : 0;
  if (crossing >= 2) return true;
  const std::size_t m = std::max<std::size_t>(4, rows.size() / 5);
  if (rows.size() < m + 3) return false;
  // The fall over the last fifth by its least-squares line, and its standard error.
  const std::vector<Sample> tail(rows.end() - static_cast<std::ptrdiff_t>(m), rows.end());
  double mt = 0, ms = 0;
  for (const Sample& p : tail) mt += p.t, ms += p.s;
  mt /= static_cast<double>(m), ms /= static_cast<double>(m);
  double tt = 0;
  for (const Sample& p : tail) tt += (p.t - mt) * (p.t - mt);
  const double span = tail.back().t - tail.front().t;
  if (!(tt > 0) || !(ms > 3.0 * noise)) return false;
  auto fallOf = [&](const std::vector<double>& s) {
    double ts = 0;
    for (std::size_t i = 0; i < m; ++i) ts += (tail[i].t - mt) * s[i];
    return -ts / tt * span;
  };
  std::vector<double> observed;
  for (const Sample& p : tail) observed.push_back(p.s);
  const double fall = fallOf(observed), error = noise * span / std::sqrt(tt);
  const TypeCurveFit* best = nullptr;
  for (const TypeCurveFit& c : curves)
    if (c.found && (!best || c.rms < best->rms)) best = &c;
  if (!best) return std::fabs(fall) <= 3.0 * error && rows.front().s > 10.0 * ms;
  std::vector<double> times;
  for (const Sample& p : tail) times.push_back(p.t);
  return std::fabs(fallOf(best->headsAt(times)) - fall) > 4.0 * error;
}

std::optional<RestLevel> recordRestLevel(const Readings& readings, const std::vector<TypeCurveFit>& curves) {
  // Where a curve with the written ho explains the rows, or the rows do not
  // show it themselves, the written ho stands.
  if (explainingCurve(readings, curves) || !restLevelShown(readings, curves)) return std::nullopt;
  std::vector<Sample> rows = readings.samples;
  for (const auto& m : readings.mistyped) rows[static_cast<std::size_t>(m.row - 1)].s = NAN;
  int first = 0, last = 0;
  for (int row = 1; row <= static_cast<int>(rows.size()); ++row) {
    const Sample& p = rows[static_cast<std::size_t>(row - 1)];
    if (!std::isfinite(p.s) || !std::isfinite(p.t)) continue;
    if (first == 0 && p.s > readings.floor) first = row;
    last = row;
  }
  if (first == 0) return std::nullopt;
  // Windows from the first row, and from where s first falls below a part
  // of its first value (an early steep part of drainage is then left out).
  const double head = rows[static_cast<std::size_t>(first - 1)].s;
  std::vector<int> starts{first};
  for (const double part : {0.7, 0.5, 0.35, 0.25})
    for (int row = starts.back(); row <= last; ++row)
      if (std::isfinite(rows[static_cast<std::size_t>(row - 1)].s) && rows[static_cast<std::size_t>(row - 1)].s <= part * head) {
        if (row > starts.back()) starts.push_back(row);
        break;
      }
  const double noise = misfitNoise(readings);
  for (const int start : starts) {
    // Rows that follow the written ho within the noise say nothing against it.
    const double alone = recoveryAloneRms(rows, start, last);
    if (alone <= 2.0 * noise) return std::nullopt;
    const auto plain = fitRestLevel(rows, start, last, false);
    const auto drift = fitRestLevel(rows, start, last, true);
    const double span = rows[static_cast<std::size_t>(last - 1)].t - rows[static_cast<std::size_t>(start - 1)].t;
    // One recovery within the noise, seen over most of its fall.
    auto follows = [&](const std::optional<RestLevel>& f) {
      return f && f->amplitude > 0 && f->rate > 0 && std::exp(-f->rate * span) <= 0.4 && f->rms <= 2.0 * noise;
    };
    const bool plainFits = follows(plain), driftFits = follows(drift);
    if (!plainFits && !driftFits) continue;
    // Nor those the written ho explains about as well.
    const double better = std::min(plainFits ? plain->rms : INFINITY, driftFits ? drift->rms : INFINITY);
    if (alone <= 1.5 * better) return std::nullopt;
    if (driftFits && (!plainFits || plain->rms > 1.3 * drift->rms) &&
        std::fabs(drift->drift) * span > readings.restError + 3.0 * drift->driftError * span)
      return drift;
    // Beyond what ho can be off by, the fit's own error besides.
    if (plainFits && std::fabs(plain->offset) > readings.restError + 3.0 * plain->offsetError) return plain;
    return std::nullopt;  // the rows follow the written ho
  }
  return std::nullopt;
}
// The readings with s from the record's own rest level (noise, step and
// mistyped rows kept).
Readings restCorrected(const Readings& readings, const RestLevel& rest) {
  Readings out = readings;
  for (Sample& p : out.samples) p.s = rest.corrected(p.t, p.s);
  out.leftOut.clear();
  for (std::size_t i = 0; i < out.samples.size(); ++i)
    if (!(out.samples[i].s > out.floor) || !std::isfinite(out.samples[i].s)) out.leftOut.push_back(static_cast<int>(i) + 1);
  return out;
}

} // namespace tov
