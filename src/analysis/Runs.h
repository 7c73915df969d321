#pragma once
// The usable rows of the readings with running sums: the straightness test
// and the suggestion test every run of rows from these in a few operations.
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/LineFit.h"
#include "analysis/Readings.h"
#include "analysis/Suggestion.h"
#include "files/AnalysisIni.h"

namespace tov::detail {

// The usable rows of the readings with running sums, so that the fit of
// any run of them costs a few operations. Times are taken relative to the
// first usable row. Mistyped rows and rows at or below the floor are not
// among them.
class Runs {
public:
  Runs(const Readings& readings, const AnalysisSettings& settings)
      : settings_(settings), step_(readings.step), resolution_(readings.resolution()) {
    const int rows = static_cast<int>(readings.samples.size());
    std::vector<char> skip(static_cast<std::size_t>(rows) + 1, 0);
    for (const auto& m : readings.mistyped)
      if (m.row >= 1 && m.row <= rows) skip[static_cast<std::size_t>(m.row)] = 1;
    double largest = 0;
    for (const Sample& p : readings.samples)
      if (std::isfinite(p.s)) largest = std::max(largest, p.s);
    unit_ = largest > 0 ? 1.0 / (largest * largest) : 1.0;
    const double unit = unit_;
    noise_ = readings.noise;
    sums_.push_back({});
    for (int row = 1; row <= rows; ++row) {
      const Sample& p = readings.samples[static_cast<std::size_t>(row - 1)];
      if (skip[static_cast<std::size_t>(row)] || !(p.s > readings.floor) || !std::isfinite(p.s) ||
          !std::isfinite(p.t))
        continue;
      if (rows_.empty()) t0_ = p.t;
      const double t = p.t - t0_, y = std::log10(p.s);
      rows_.push_back(row);
      t_.push_back(t);
      y_.push_back(y);
      s_.push_back(p.s);
      // A row may lie rowTolerance of s plus rowSteps resolutions off the line.
      tolerance_.push_back(std::log10(1.0 + settings.rowTolerance + settings.rowSteps * resolution_ / p.s));
      // Noise the same in s: log s of a row weighs s².
      const double w = p.s * p.s * unit, g = -1.0 / (p.s * std::numbers::ln10);
      Sum next = sums_.back();
      next.n += 1, next.t += t, next.y += y, next.tt += t * t, next.ty += t * y, next.yy += y * y;
      next.w += w, next.wt += w * t, next.wy += w * y, next.wtt += w * t * t, next.wty += w * t * y;
      next.wyy += w * y * y, next.wg += w * g, next.wtg += w * t * g;
      sums_.push_back(next);
    }
  }
  int size() const { return static_cast<int>(rows_.size()); }
  int row(int i) const { return rows_[static_cast<std::size_t>(i)]; }
  double s(int i) const { return s_[static_cast<std::size_t>(i)]; }

  // The gradient a over usable rows i..j (positive when s falls) and log s at t0.
  struct Line {
    double a = 0, b = 0;
    bool ok = false;
    double aError = 0;  // standard error of a (from the sums; 0 when n < 3)
  };
  // Unweighted (the straightness test's halves).
  Line line(int i, int j) const {
    const Sum& lo = sums_[static_cast<std::size_t>(i)];
    const Sum& hi = sums_[static_cast<std::size_t>(j + 1)];
    const double n = hi.n - lo.n, st = hi.t - lo.t, sy = hi.y - lo.y;
    const double ctt = (hi.tt - lo.tt) - st * st / n, cty = (hi.ty - lo.ty) - st * sy / n;
    if (!(n >= 2) || !(ctt > 0)) return {};
    const double slope = cty / ctt;
    const double sse = std::max(0.0, (hi.yy - lo.yy) - sy * sy / n - slope * cty);
    return {-slope, sy / n - slope * st / n, true, n > 2 ? std::sqrt(sse / (n - 2) / ctt) : 0.0};
  }
  // Weighted for noise the same in s, with the change of a per metre that
  // every s moves by (what a wrong ho does).
  struct Weighted {
    double a = 0, aError = 0, noiseError = 0, perMetre = 0;
    int n = 0;
    bool ok = false;
  };
  Weighted weighted(int i, int j) const {
    const Sum& lo = sums_[static_cast<std::size_t>(i)];
    const Sum& hi = sums_[static_cast<std::size_t>(j + 1)];
    const double w = hi.w - lo.w, wt = hi.wt - lo.wt, wy = hi.wy - lo.wy;
    const double ctt = (hi.wtt - lo.wtt) - wt * wt / w, cty = (hi.wty - lo.wty) - wt * wy / w;
    const int n = j - i + 1;
    if (n < 2 || !(w > 0) || !(ctt > 0)) return {};
    const double slope = cty / ctt;
    const double sse = std::max(0.0, (hi.wyy - lo.wyy) - wy * wy / w - slope * cty);
    Weighted out;
    out.ok = true;
    out.n = n;
    out.a = -slope;
    out.aError = n > 2 ? std::sqrt(sse / (n - 2) / ctt) : 0.0;
    // What the measured noise alone gives (a few rows may scatter less by chance).
    out.noiseError = noise_ / (std::numbers::ln10 * std::sqrt(unit_ * ctt));
    out.perMetre = -((hi.wtg - lo.wtg) - wt * (hi.wg - lo.wg) / w) / ctt;
    return out;
  }

  // The straightness test over usable rows i..j.
  Straightness test(int i, int j, bool full) const {
    Straightness out;
    const int n = j - i + 1;
    const Line whole = line(i, j);
    if (!whole.ok || !(whole.a > 0)) return out;
    const double span = t_[static_cast<std::size_t>(j)] - t_[static_cast<std::size_t>(i)];
    out.fall = 1.0 - std::pow(10.0, -whole.a * span);
    bool straight = out.fall >= settings_.shortestFall;
    if (!straight && !full) return out;
    if (n >= 5) {
      const int half = (n + 1) / 2;
      const Line first = line(i, i + half - 1), second = line(j - half + 1, j);
      if (!first.ok || !second.ok) return out;
      out.halvesDifference = std::fabs(first.a - second.a) / whole.a;
      // One resolution at the ends of a half changes its gradient by about
      // this; the scatter of the rows by about their standard errors.
      auto slack = [&](int from, int to) {
        const double s = std::min(s_[static_cast<std::size_t>(from)], s_[static_cast<std::size_t>(to)]);
        const double dt = t_[static_cast<std::size_t>(to)] - t_[static_cast<std::size_t>(from)];
        return dt > 0 ? step_ / (s * std::numbers::ln10 * dt) : 0.0;
      };
      const double allowed = settings_.halvesTolerance * whole.a + slack(i, i + half - 1) + slack(j - half + 1, j) +
                             2.0 * std::hypot(first.aError, second.aError);
      straight = straight && std::fabs(first.a - second.a) <= allowed;
      if (!straight && !full) return out;
    }
    for (int k = i; k <= j; ++k) {
      const auto u = static_cast<std::size_t>(k);
      const double off = std::fabs(y_[u] - (whole.b - whole.a * t_[u]));
      if (off > tolerance_[u]) {
        straight = false;
        if (!full) return out;
      }
      if (full) out.worstRow = std::max(out.worstRow, std::pow(10.0, off) - 1.0);
    }
    out.straight = straight;
    return out;
  }

  // Whether the first quarter of rows i..j (at least one row; runs of 5 rows
  // or more) lies on the weighted line of the rest within 3 widths of the
  // noise (at least rounding's) and of that line's own error, each row and
  // their mean: a bend at
  // the start of a run (drainage of the filter pack, the water in the pipe)
  // would otherwise pass the straightness test, which allows its halves
  // 10 % of the gradient, and pull the line where s is largest.
  bool headHolds(int i, int j) const {
    const int n = j - i + 1, m = std::max(1, n / 4);
    if (n < 5) return true;
    const Sum& lo = sums_[static_cast<std::size_t>(i + m)];
    const Sum& hi = sums_[static_cast<std::size_t>(j + 1)];
    const double w = hi.w - lo.w, wt = hi.wt - lo.wt, wy = hi.wy - lo.wy;
    const double mt = wt / w, my = wy / w;
    const double ctt = (hi.wtt - lo.wtt) - wt * mt, cty = (hi.wty - lo.wty) - wt * my;
    if (!(w > 0) || !(ctt > 0)) return true;
    const double slope = cty / ctt;
    // One row's log s has the variance noise² / (ln 10·s)² and weighs
    // s²·unit_: the variance of unit weight is noise²·unit_ / ln 10².
    const double noise = std::max(noise_, 0.3 * step_);
    const double unitVariance = noise * noise * unit_ / (std::numbers::ln10 * std::numbers::ln10);
    double sum = 0, lineWorst = 0;
    for (int k = i; k < i + m; ++k) {
      const auto u = static_cast<std::size_t>(k);
      const double predicted = my + slope * (t_[u] - mt);
      const double perLog = s_[u] * std::numbers::ln10;  // s per unit of log10 s
      const double lineVariance = perLog * perLog * unitVariance * (1.0 / w + (t_[u] - mt) * (t_[u] - mt) / ctt);
      const double off = (y_[u] - predicted) * perLog;
      if (std::fabs(off) > 3.0 * std::sqrt(noise * noise + lineVariance)) return false;
      sum += off;
      lineWorst = std::max(lineWorst, lineVariance);
    }
    // Together: a gentle bend leaves every row of the head a little off on one side.
    return std::fabs(sum / m) <= 3.0 * std::sqrt(noise * noise / m + lineWorst);
  }

  // The exact fit (two passes) over usable rows i..j.
  LineFit fit(int i, int j) const {
    std::vector<Sample> part;
    for (int k = i; k <= j; ++k)
      part.push_back({t_[static_cast<std::size_t>(k)] + t0_, s_[static_cast<std::size_t>(k)]});
    LineFit f = fitLine(part, 1, static_cast<int>(part.size()));
    f.first = row(i);
    f.last = row(j);
    return f;
  }

private:
  struct Sum {
    double n = 0, t = 0, y = 0, tt = 0, ty = 0, yy = 0;
    double w = 0, wt = 0, wy = 0, wtt = 0, wty = 0, wyy = 0, wg = 0, wtg = 0;
  };
  const AnalysisSettings& settings_;
  double step_ = 0, resolution_ = 0, t0_ = 0, unit_ = 1, noise_ = 0;
  std::vector<int> rows_;
  std::vector<double> t_, y_, s_, tolerance_;
  std::vector<Sum> sums_;
};

} // namespace tov::detail
