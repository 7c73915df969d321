// K and Ss by a type curve.
#include "analysis/TypeCurveFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <mutex>
#include <numbers>

#include "analysis/LineFit.h"
#include "analysis/SlugModels.h"
#include "analysis/SmallSolve.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

const char* typeCurveName(TypeCurveModel model) { return model == TypeCurveModel::Cbp ? "CBP" : "KGS"; }

TypeCurveGeometry typeCurveGeometry(const TestRecord& record, double anisotropy) {
  TypeCurveGeometry g;
  g.length = record.fieldValue(F_sectionLength);
  g.boreRadius = record.fieldValue(F_boreDiameter) / 2;
  g.pipeRadius = record.fieldValue(F_equivalentDiameter) / 2;
  g.anisotropy = anisotropy > 0 && std::isfinite(anisotropy) ? anisotropy : 1.0;
  return g;
}

namespace {

const double kLeastLogSs = std::log(kLeastStorage), kLargestLogSs = std::log(kLargestStorage);

struct Fit {
  double sse = INFINITY, h0 = 0;
};

class Problem {
public:
  Problem(const TypeCurve& curve, const TypeCurveGeometry& g, const std::vector<Sample>& rows)
      : curve_(curve), g_(g) {
    for (const Sample& p : rows) {
      if (!std::isfinite(p.t) || !std::isfinite(p.s) || p.t < 0) continue;
      t_.push_back(p.t);
      s_.push_back(p.s);
      log2T_.push_back(p.t > 0 ? std::log2(p.t) : -INFINITY);
    }
    for (double t : t_)
      if (t > 0) least_ = std::min(least_, t), most_ = std::max(most_, t);
  }
  std::size_t size() const { return t_.size(); }
  bool spansTime() const { return most_ > least_; }
  double alpha(double logSs) const {
    return g_.boreRadius * g_.boreRadius * std::exp(logSs) * g_.length / (g_.pipeRadius * g_.pipeRadius);
  }
  double tauScale(double logK, double logSs) const {
    return std::exp(logK - logSs) / (g_.boreRadius * g_.boreRadius);
  }
  // The curve of logSs over the τ of the rows for K from kFrom to kTo (ln).
  CurveGrid grid(double logSs, double logKFrom, double logKTo) const {
    return curve_.grid(alpha(logSs), tauScale(logKFrom, logSs) * least_, tauScale(logKTo, logSs) * most_);
  }
  // The misfit with H0 at its best, over the rows `use` (all when empty).
  Fit misfit(const CurveGrid& curve, double scale, const std::vector<std::size_t>& use) const {
    double sf = 0, ff = 0, ss = 0;
    const double shift = std::log2(scale);
    auto add = [&](std::size_t i) {
      const double f = curve.atLog2(shift + log2T_[i]);
      sf += s_[i] * f, ff += f * f, ss += s_[i] * s_[i];
    };
    if (use.empty())
      for (std::size_t i = 0; i < t_.size(); ++i) add(i);
    else
      for (std::size_t i : use) add(i);
    if (!(ff > 0)) return {};
    return {std::max(ss - sf * sf / ff, 0.0), sf / ff};
  }
  Fit misfit(double logK, double logSs) const {
    const double held = std::clamp(logSs, kLeastLogSs, kLargestLogSs);
    Fit f = misfit(grid(held, logK, logK), tauScale(logK, held), {});
    // Outside the range of Ss: worse the further out, so the search turns back.
    const double out = std::fabs(logSs - held);
    f.sse *= 1.0 + out * out;
    return f;
  }
  std::vector<double> model(double logK, double logSs, double h0) const {
    const CurveGrid curve = grid(logSs, logK, logK);
    std::vector<double> out;
    for (double t : t_) out.push_back(h0 * curve.at(tauScale(logK, logSs) * t));
    return out;
  }
  // ln of rc² / (L·t½), t½ the time s takes to halve; NaN where s does not fall.
  double centralLogK(const TypeCurveGeometry& g) const {
    const double first = s_.front();
    double half = NAN;
    for (std::size_t i = 1; i < t_.size() && std::isnan(half); ++i)
      if (s_[i] <= first / 2 && s_[i - 1] > first / 2)
        half = t_[i - 1] + (t_[i] - t_[i - 1]) * (s_[i - 1] - first / 2) / (s_[i - 1] - s_[i]);
    if (std::isnan(half)) {
      const double last = s_.back();
      if (!(last > 0) || !(last < first) || !(t_.back() > t_.front())) return NAN;
      half = (t_.back() - t_.front()) * std::log(2.0) / std::log(first / last);
    }
    if (!(half > 0)) return NAN;
    return std::log(g.pipeRadius * g.pipeRadius / (g.length * half));
  }

private:
  const TypeCurve& curve_;
  TypeCurveGeometry g_;
  std::vector<double> t_, s_, log2T_;
  double least_ = INFINITY, most_ = 0;
};

// Nelder–Mead on (ln K, ln Ss) from a start; the best point and its fit.
struct Point {
  double logK = 0, logSs = 0;
  Fit fit;
};
Point refine(const Problem& problem, Point start) {
  std::array<Point, 3> simplex{start, start, start};
  simplex[1].logK += 0.3;
  simplex[2].logSs += 0.7;
  for (Point& p : simplex) p.fit = problem.misfit(p.logK, p.logSs);
  auto at = [&](double k, double ss) { return Point{k, ss, problem.misfit(k, ss)}; };
  for (int iteration = 0; iteration < 300; ++iteration) {
    std::sort(simplex.begin(), simplex.end(), [](const Point& a, const Point& b) { return a.fit.sse < b.fit.sse; });
    const double size = std::max(std::fabs(simplex[2].logK - simplex[0].logK), std::fabs(simplex[2].logSs - simplex[0].logSs));
    if (size < 1e-5 || simplex[2].fit.sse - simplex[0].fit.sse <= 1e-13 * (simplex[0].fit.sse + 1e-30)) break;
    const double ck = (simplex[0].logK + simplex[1].logK) / 2, cs = (simplex[0].logSs + simplex[1].logSs) / 2;
    const Point& worst = simplex[2];
    const Point reflected = at(2 * ck - worst.logK, 2 * cs - worst.logSs);
    if (reflected.fit.sse < simplex[0].fit.sse) {
      const Point expanded = at(3 * ck - 2 * worst.logK, 3 * cs - 2 * worst.logSs);
      simplex[2] = expanded.fit.sse < reflected.fit.sse ? expanded : reflected;
    } else if (reflected.fit.sse < simplex[1].fit.sse) {
      simplex[2] = reflected;
    } else {
      const bool outside = reflected.fit.sse < worst.fit.sse;
      const Point contracted = outside ? at(1.5 * ck - 0.5 * worst.logK, 1.5 * cs - 0.5 * worst.logSs)
                                       : at(0.5 * ck + 0.5 * worst.logK, 0.5 * cs + 0.5 * worst.logSs);
      if (contracted.fit.sse < std::min(worst.fit.sse, reflected.fit.sse)) {
        simplex[2] = contracted;
      } else {
        for (std::size_t i = 1; i < 3; ++i)
          simplex[i] = at((simplex[0].logK + simplex[i].logK) / 2, (simplex[0].logSs + simplex[i].logSs) / 2);
      }
    }
  }
  return *std::min_element(simplex.begin(), simplex.end(), [](const Point& a, const Point& b) { return a.fit.sse < b.fit.sse; });
}

std::shared_ptr<const TypeCurve> curveOf(TypeCurveModel model, const TypeCurveGeometry& g) {
  if (model == TypeCurveModel::Cbp) return std::make_shared<const TypeCurve>(cbpModel());
  return std::make_shared<const TypeCurve>(kgsModel(g.length / g.boreRadius, g.anisotropy));
}

} // namespace

TypeCurveFit fitTypeCurve(TypeCurveModel model, const std::vector<Sample>& rows, const TypeCurveGeometry& geometry) {
  TypeCurveFit out;
  out.model = model;
  out.geometry = geometry;
  if (!geometry.usable()) {
    out.reason = "L, D, de がありません";
    return out;
  }
  out.curve = curveOf(model, geometry);
  const Problem problem(*out.curve, geometry, rows);
  out.n = static_cast<int>(problem.size());
  if (problem.size() < 5 || !problem.spansTime()) {
    out.reason = cformat("行が %d 行しかありません (5 行以上必要)", out.n);
    return out;
  }
  // Where the curves fall over the record: f is about 0.5 at K·L·t/rc² = 1,
  // t the time s takes to halve (by the line through the first and the last
  // row where it does not halve). The grid spans K 10^-3 … 10^3 times that.
  const double logK0 = problem.centralLogK(geometry);
  if (!std::isfinite(logK0)) {
    out.reason = "s が下がっていません";
    return out;
  }
  const double logKFrom = logK0 - 3.0 * std::numbers::ln10, logKTo = logK0 + 3.0 * std::numbers::ln10;
  // The grid, on at most 40 rows spread over the record.
  std::vector<std::size_t> few;
  const std::size_t n = problem.size();
  for (std::size_t i = 0; i < std::min<std::size_t>(n, 40); ++i) few.push_back(i * (n - 1) / std::max<std::size_t>(std::min<std::size_t>(n, 40) - 1, 1));
  constexpr int kStorageSteps = 9, kConductivitySteps = 41;
  std::vector<Point> profile;
  for (int i = 0; i < kStorageSteps; ++i) {
    const double logSs = kLeastLogSs + (kLargestLogSs - kLeastLogSs) * i / (kStorageSteps - 1);
    const CurveGrid curve = problem.grid(logSs, logKFrom, logKTo);
    Point best{0, logSs, {}};
    for (int j = 0; j < kConductivitySteps; ++j) {
      const double logK = logKFrom + (logKTo - logKFrom) * j / (kConductivitySteps - 1);
      const Fit f = problem.misfit(curve, problem.tauScale(logK, logSs), few);
      if (f.sse < best.fit.sse) best = {logK, logSs, f};
    }
    profile.push_back(best);
  }
  // The best of each valley along Ss, best first; the three best refined.
  std::vector<Point> starts;
  for (std::size_t i = 0; i < profile.size(); ++i) {
    const bool lower = i == 0 || profile[i].fit.sse <= profile[i - 1].fit.sse;
    const bool upper = i + 1 == profile.size() || profile[i].fit.sse <= profile[i + 1].fit.sse;
    if (lower && upper) starts.push_back(profile[i]);
  }
  std::sort(starts.begin(), starts.end(), [](const Point& a, const Point& b) { return a.fit.sse < b.fit.sse; });
  if (starts.size() > 3) starts.resize(3);
  Point best;
  for (const Point& start : starts) {
    const Point p = refine(problem, start);
    if (p.fit.sse < best.fit.sse) best = p;
  }
  if (!std::isfinite(best.fit.sse)) {
    out.reason = "曲線が合いません";
    return out;
  }
  const double logSs = std::clamp(best.logSs, kLeastLogSs, kLargestLogSs);
  out.storageAtEnd = logSs - kLeastLogSs < 0.05 || kLargestLogSs - logSs < 0.05;
  out.k = std::exp(best.logK);
  out.storage = std::exp(logSs);
  out.h0 = best.fit.h0;
  out.rms = std::sqrt(best.fit.sse / static_cast<double>(n));
  // The interval from the Jacobian of the residuals in (ln K, ln Ss, H0).
  const std::size_t q = out.storageAtEnd ? 2 : 3;
  const double h = 1e-4;
  const std::vector<double> kUp = problem.model(best.logK + h, logSs, out.h0), kDown = problem.model(best.logK - h, logSs, out.h0);
  const std::vector<double> sUp = problem.model(best.logK, logSs + h, out.h0), sDown = problem.model(best.logK, logSs - h, out.h0);
  const std::vector<double> at = problem.model(best.logK, logSs, out.h0);
  std::array<std::array<double, 3>, 3> m{};
  for (std::size_t i = 0; i < n; ++i) {
    const double column[3] = {(kUp[i] - kDown[i]) / (2 * h), out.h0 != 0 ? at[i] / out.h0 : 0.0,
                              (sUp[i] - sDown[i]) / (2 * h)};
    for (std::size_t r = 0; r < q; ++r)
      for (std::size_t c = 0; c < q; ++c) m[r][c] += column[r] * column[c];
  }
  const double df = static_cast<double>(n - q);
  const double variance = best.fit.sse / df * detail::inverseDiagonal(m, 0, q);
  const double half = studentT95(static_cast<int>(n - q)) * std::sqrt(std::max(variance, 0.0));
  if (!std::isfinite(half)) {
    out.reason = "K が決まりません";
    return out;
  }
  out.kLow = out.k * std::exp(-half);
  out.kHigh = out.k * std::exp(half);
  out.found = true;
  return out;
}

std::vector<TypeCurveFit> fitTypeCurves(const std::vector<Sample>& rows, const TypeCurveGeometry& geometry) {
  struct Kept {
    std::vector<Sample> rows;
    TypeCurveGeometry geometry;
    std::vector<TypeCurveFit> fits;
  };
  static std::mutex lock;
  static std::deque<Kept> kept;
  auto same = [&](const Kept& k) {
    if (k.rows.size() != rows.size() || k.geometry.length != geometry.length ||
        k.geometry.boreRadius != geometry.boreRadius || k.geometry.pipeRadius != geometry.pipeRadius ||
        k.geometry.anisotropy != geometry.anisotropy)
      return false;
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (!(k.rows[i].t == rows[i].t && k.rows[i].s == rows[i].s)) return false;
    return true;
  };
  {
    const std::lock_guard<std::mutex> guard(lock);
    for (const Kept& k : kept)
      if (same(k)) return k.fits;
  }
  std::vector<TypeCurveFit> fits{fitTypeCurve(TypeCurveModel::Cbp, rows, geometry),
                                 fitTypeCurve(TypeCurveModel::Kgs, rows, geometry)};
  const std::lock_guard<std::mutex> guard(lock);
  kept.push_front({rows, geometry, fits});
  if (kept.size() > 8) kept.pop_back();
  return fits;
}

std::vector<double> TypeCurveFit::headsAt(const std::vector<double>& t) const {
  if (!found || !curve) return std::vector<double>(t.size(), NAN);
  const double rw2 = geometry.boreRadius * geometry.boreRadius;
  const double alpha = rw2 * storage * geometry.length / (geometry.pipeRadius * geometry.pipeRadius);
  std::vector<double> tau;
  for (double v : t) tau.push_back(k * v / (storage * rw2));
  std::vector<double> f = curve->heads(alpha, tau);
  for (double& v : f) v *= h0;
  return f;
}

std::string TypeCurveFit::summary(int digits) const {
  const std::string name = typeCurveName(model);
  if (!found) return name + " なし (" + reason + ")";
  KInterval interval;
  interval.k = k, interval.low = kLow, interval.high = kHigh;
  return name + " " + intervalText(interval, digits) + " m/s, Ss " + formatPermeability(storage, 1) +
         (storageAtEnd ? " (範囲の端)" : "") + " 1/m, 残差 " + cformat("%.1f mm", rms * 1000.0) + cformat(" (n %d)", n);
}

} // namespace tov
