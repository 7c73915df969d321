// K and Ss by a type curve.
#include "analysis/TypeCurveFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <mutex>
#include <numbers>

#include "analysis/LineFit.h"
#include "analysis/CbpModel.h"
#include "analysis/KgsModel.h"
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
// K from 1E-16 to 10 m/s: beyond any formation.
const double kLeastLogK = std::log(1e-16), kLargestLogK = std::log(10.0);

struct Fit {
  double sse = INFINITY, h0 = 0;
};

// The parameters searched: ln K, ln Ss and the skin.
struct Params {
  double logK = 0, logSs = 0, skin = 0;
};
double& coordinate(Params& x, std::size_t d) { return d == 0 ? x.logK : d == 1 ? x.logSs : x.skin; }
double coordinate(const Params& x, std::size_t d) { return d == 0 ? x.logK : d == 1 ? x.logSs : x.skin; }

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
  // The curve of (Ss, skin) over the τ of the rows for K from kFrom to kTo (ln).
  CurveGrid grid(double logSs, double skin, double logKFrom, double logKTo) const {
    return curve_.grid(alpha(logSs), tauScale(logKFrom, logSs) * least_, tauScale(logKTo, logSs) * most_, skin);
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
  // Outside the ranges of Ss and skin the misfit grows with the distance,
  // so that the search turns back.
  Fit misfit(const Params& x) const {
    const Params held = clamped(x);
    Fit f = misfit(grid(held.logSs, held.skin, held.logK, held.logK), tauScale(held.logK, held.logSs), {});
    const double out = std::fabs(x.logK - held.logK) + std::fabs(x.logSs - held.logSs) +
                       std::fabs(x.skin - held.skin) / kLargestSkin;
    f.sse *= 1.0 + out * out;
    return f;
  }
  // K within 6 decades of the rows' own estimate and within what a formation
  // can have: a record the curves do not describe (a row typed at 1E-88 s)
  // cannot send the search to a K whose curve lies far beyond every row.
  void centreK(double logK0) {
    leastLogK_ = std::max(logK0 - 6.0 * std::numbers::ln10, kLeastLogK);
    largestLogK_ = std::min(logK0 + 6.0 * std::numbers::ln10, kLargestLogK);
  }
  bool kAtEnd(double logK) const { return logK - leastLogK_ < 0.05 || largestLogK_ - logK < 0.05; }
  Params clamped(Params x) const {
    x.logK = std::clamp(x.logK, leastLogK_, largestLogK_);
    x.logSs = std::clamp(x.logSs, kLeastLogSs, kLargestLogSs);
    x.skin = std::clamp(x.skin, 0.0, kLargestSkin);
    return x;
  }
  std::vector<double> model(const Params& x, double h0) const {
    const CurveGrid curve = grid(x.logSs, x.skin, x.logK, x.logK);
    std::vector<double> out;
    for (double t : t_) out.push_back(h0 * curve.at(tauScale(x.logK, x.logSs) * t));
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
  double leastLogK_ = kLeastLogK, largestLogK_ = kLargestLogK;
};

struct Point {
  Params x;
  Fit fit;
};

// Nelder–Mead over (ln K, ln Ss) or (ln K, ln Ss, skin) from a start.
Point refine(const Problem& problem, const Point& start, std::size_t kDims) {
  const double steps[3] = {0.3, 0.7, 1.0};
  std::vector<Point> simplex(kDims + 1, start);
  for (std::size_t d = 0; d < kDims; ++d) coordinate(simplex[d + 1].x, d) += steps[d];
  for (Point& p : simplex) p.fit = problem.misfit(p.x);
  auto order = [](const Point& a, const Point& b) { return a.fit.sse < b.fit.sse; };
  // The point centre + by·(from - centre).
  auto along = [&](const Params& centre, const Params& from, double by) {
    Point p;
    for (std::size_t d = 0; d < kDims; ++d)
      coordinate(p.x, d) = coordinate(centre, d) + by * (coordinate(from, d) - coordinate(centre, d));
    p.fit = problem.misfit(p.x);
    return p;
  };
  for (int iteration = 0; iteration < 400; ++iteration) {
    std::sort(simplex.begin(), simplex.end(), order);
    double size = 0;
    for (std::size_t d = 0; d < kDims; ++d)
      size = std::max(size, std::fabs(coordinate(simplex.back().x, d) - coordinate(simplex.front().x, d)));
    if (size < 1e-5 || simplex.back().fit.sse - simplex.front().fit.sse <= 1e-13 * (simplex.front().fit.sse + 1e-30)) break;
    Params centre;
    for (std::size_t d = 0; d < kDims; ++d) {
      double sum = 0;
      for (std::size_t i = 0; i < kDims; ++i) sum += coordinate(simplex[i].x, d);
      coordinate(centre, d) = sum / kDims;
    }
    const Point worst = simplex.back();
    const Point reflected = along(centre, worst.x, -1.0);
    if (reflected.fit.sse < simplex.front().fit.sse) {
      const Point expanded = along(centre, worst.x, -2.0);
      simplex.back() = expanded.fit.sse < reflected.fit.sse ? expanded : reflected;
    } else if (reflected.fit.sse < simplex[kDims - 1].fit.sse) {
      simplex.back() = reflected;
    } else {
      const bool outside = reflected.fit.sse < worst.fit.sse;
      const Point contracted = along(centre, worst.x, outside ? -0.5 : 0.5);
      if (contracted.fit.sse < std::min(worst.fit.sse, reflected.fit.sse)) {
        simplex.back() = contracted;
      } else {
        for (std::size_t i = 1; i <= kDims; ++i) simplex[i] = along(simplex.front().x, simplex[i].x, 0.5);
      }
    }
  }
  return *std::min_element(simplex.begin(), simplex.end(), order);
}

std::shared_ptr<const TypeCurve> curveOf(TypeCurveModel model, const TypeCurveGeometry& g) {
  if (model == TypeCurveModel::Cbp) return std::make_shared<const TypeCurve>(cbpModel());
  return std::make_shared<const TypeCurve>(kgsModel(g.length / g.boreRadius, g.anisotropy));
}

} // namespace

TypeCurveFit fitTypeCurve(TypeCurveModel model, const std::vector<Sample>& rows, const TypeCurveGeometry& geometry,
                          bool withSkin) {
  TypeCurveFit out;
  out.model = model;
  out.geometry = geometry;
  if (!geometry.usable()) {
    out.reason = "L, D, de がありません";
    return out;
  }
  out.curve = curveOf(model, geometry);
  Problem problem(*out.curve, geometry, rows);
  out.n = static_cast<int>(problem.size());
  if (problem.size() < 6 || !problem.spansTime()) {
    out.reason = cformat("行が %d 行しかありません (6 行以上必要)", out.n);
    return out;
  }
  // Where the curves fall over the record: f is about 0.5 at K·L·t/rc² = 1,
  // t the time s takes to halve (by the line through the first and the last
  // row where it does not halve). The grid spans K 10^-3 … 10^3 times that.
  const double central = problem.centralLogK(geometry);
  if (!std::isfinite(central)) {
    out.reason = "s が下がっていません";
    return out;
  }
  const double logK0 = std::clamp(central, kLeastLogK + 3.0 * std::numbers::ln10, kLargestLogK - 3.0 * std::numbers::ln10);
  problem.centreK(logK0);
  const double logKFrom = logK0 - 3.0 * std::numbers::ln10, logKTo = logK0 + 3.0 * std::numbers::ln10;
  // The grid, on at most 40 rows spread over the record.
  std::vector<std::size_t> few;
  const std::size_t n = problem.size();
  for (std::size_t i = 0; i < std::min<std::size_t>(n, 40); ++i) few.push_back(i * (n - 1) / std::max<std::size_t>(std::min<std::size_t>(n, 40) - 1, 1));
  constexpr int kStorageSteps = 9, kConductivitySteps = 41;
  const std::vector<double> skins = withSkin ? std::vector<double>{0.0, 1.0, 3.0, 10.0} : std::vector<double>{0.0};
  const int across = static_cast<int>(skins.size());
  std::vector<Point> profile;  // the best K for each (Ss, skin), skin the faster
  for (int i = 0; i < kStorageSteps; ++i)
    for (const double skin : skins) {
      const double logSs = kLeastLogSs + (kLargestLogSs - kLeastLogSs) * i / (kStorageSteps - 1);
      const CurveGrid curve = problem.grid(logSs, skin, logKFrom, logKTo);
      Point best{{0, logSs, skin}, {}};
      for (int j = 0; j < kConductivitySteps; ++j) {
        const double logK = logKFrom + (logKTo - logKFrom) * j / (kConductivitySteps - 1);
        const Fit f = problem.misfit(curve, problem.tauScale(logK, logSs), few);
        if (f.sse < best.fit.sse) best = {{logK, logSs, skin}, f};
      }
      profile.push_back(best);
    }
  // The best of each valley over (Ss, skin), best first; the three best refined.
  auto cell = [&](int i, int j) -> const Point& { return profile[static_cast<std::size_t>(i * across + j)]; };
  std::vector<Point> starts;
  for (int i = 0; i < kStorageSteps; ++i)
    for (int j = 0; j < across; ++j) {
      bool least = true;
      for (int di = -1; di <= 1; ++di)
        for (int dj = -1; dj <= 1; ++dj)
          if ((di || dj) && i + di >= 0 && i + di < kStorageSteps && j + dj >= 0 && j + dj < across)
            least = least && cell(i, j).fit.sse <= cell(i + di, j + dj).fit.sse;
      if (least) starts.push_back(cell(i, j));
    }
  std::sort(starts.begin(), starts.end(), [](const Point& a, const Point& b) { return a.fit.sse < b.fit.sse; });
  if (starts.size() > 3) starts.resize(3);
  Point best;
  for (const Point& start : starts) {
    const Point p = refine(problem, start, withSkin ? 3 : 2);
    if (p.fit.sse < best.fit.sse) best = p;
  }
  if (!std::isfinite(best.fit.sse)) {
    out.reason = "曲線が合いません";
    return out;
  }
  const Params x = problem.clamped(best.x);
  if (problem.kAtEnd(x.logK)) {
    out.reason = "K が決まりません";
    return out;
  }
  out.storageAtEnd = x.logSs - kLeastLogSs < 0.05 || kLargestLogSs - x.logSs < 0.05;
  out.k = std::exp(x.logK);
  out.storage = std::exp(x.logSs);
  out.skin = x.skin < 0.05 ? 0.0 : x.skin;
  out.h0 = best.fit.h0;
  out.rms = std::sqrt(best.fit.sse / static_cast<double>(n));
  // The interval from the Jacobian of the residuals in (ln K, H0, ln Ss,
  // skin), those at an end of their range held.
  const double h = 1e-4;
  auto derivative = [&](std::size_t d) {
    Params up = x, down = x;
    coordinate(up, d) += h, coordinate(down, d) -= h;
    const std::vector<double> a = problem.model(up, out.h0), b = problem.model(down, out.h0);
    std::vector<double> column(n);
    for (std::size_t i = 0; i < n; ++i) column[i] = (a[i] - b[i]) / (2 * h);
    return column;
  };
  std::vector<std::vector<double>> columns{derivative(0), problem.model(x, 1.0)};
  if (!out.storageAtEnd) columns.push_back(derivative(1));
  if (out.skin > 0 && x.skin < kLargestSkin - 0.05) columns.push_back(derivative(2));
  const std::size_t q = columns.size();
  std::array<std::array<double, 4>, 4> m{};
  for (std::size_t r = 0; r < q; ++r)
    for (std::size_t c = 0; c < q; ++c)
      for (std::size_t i = 0; i < n; ++i) m[r][c] += columns[r][i] * columns[c][i];
  const double variance = best.fit.sse / static_cast<double>(n - q) * detail::inverseDiagonal(m, 0, q);
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

std::vector<TypeCurveFit> fitTypeCurves(const std::vector<Sample>& rows, const TypeCurveGeometry& geometry,
                                        bool withSkin) {
  struct Kept {
    std::vector<Sample> rows;
    TypeCurveGeometry geometry;
    bool withSkin = false;
    std::vector<TypeCurveFit> fits;
  };
  static std::mutex lock;
  static std::deque<Kept> kept;
  auto same = [&](const Kept& k) {
    if (k.withSkin != withSkin || k.rows.size() != rows.size() || k.geometry.length != geometry.length ||
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
  std::vector<TypeCurveFit> fits{fitTypeCurve(TypeCurveModel::Cbp, rows, geometry, withSkin),
                                 fitTypeCurve(TypeCurveModel::Kgs, rows, geometry, withSkin)};
  const std::lock_guard<std::mutex> guard(lock);
  kept.push_front({rows, geometry, withSkin, fits});
  if (kept.size() > 16) kept.pop_back();
  return fits;
}

std::vector<double> TypeCurveFit::headsAt(const std::vector<double>& t) const {
  if (!found || !curve) return std::vector<double>(t.size(), NAN);
  const double rw2 = geometry.boreRadius * geometry.boreRadius;
  const double alpha = rw2 * storage * geometry.length / (geometry.pipeRadius * geometry.pipeRadius);
  std::vector<double> tau;
  for (double v : t) tau.push_back(k * v / (storage * rw2));
  std::vector<double> f = curve->heads(alpha, tau, skin);
  for (double& v : f) v *= h0;
  return f;
}

std::string TypeCurveFit::summary(int digits) const {
  const std::string name = typeCurveName(model);
  if (!found) return name + " なし (" + reason + ")";
  KInterval interval;
  interval.k = k, interval.low = kLow, interval.high = kHigh;
  return name + " " + intervalText(interval, digits) + " m/s, Ss " + formatPermeability(storage, 1) +
         (storageAtEnd ? " (範囲の端)" : "") + " 1/m, 残差 " + cformat("%.1f mm", rms * 1000.0) + cformat(" (n %d)", n) +
         (skin > 0 ? cformat(", スキン %.1f", skin) : "");
}

} // namespace tov
