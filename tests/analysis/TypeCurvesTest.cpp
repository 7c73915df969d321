// The type curves against published numbers: Cooper et al.'s table, the K
// their authors fitted to field records, and records made from the curves
// themselves with noise.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "PublishedSlugTests.h"
#include "analysis/BesselK.h"
#include "analysis/CbpModel.h"
#include "analysis/KgsModel.h"
#include "analysis/TypeCurveFit.h"

namespace {

using namespace tov;

TEST(TypeCurves, FaceHeadIsTheStandardLibrarysBesselRatio) {
  // Either side of the series/integral switch at 2 and of the pieces' ends.
  for (const double x : {1e-10, 3e-9, 1e-4, 0.37, 1.999, 2.001, 7.3, 60.0, 400.0}) {
    const double expected = std::cyl_bessel_k(0.0, x) / (x * std::cyl_bessel_k(1.0, x));
    EXPECT_NEAR(faceHead(x) / expected, 1.0, 1e-12) << x;
  }
}

TEST(TypeCurves, CbpMatchesCooperEtAlTable1) {
  const TypeCurve curve(cbpModel());
  for (const auto& v : publishedslug::kCooperTable1) {
    // β as printed: 2.15 and 4.64 stand for 10^(1/3) and 10^(2/3).
    const double mantissa = std::round(v.beta / std::pow(10.0, std::floor(std::log10(v.beta))) * 100) / 100;
    const double third = mantissa == 2.15 ? 1.0 / 3 : mantissa == 4.64 ? 2.0 / 3 : 0.0;
    const double beta = std::pow(10.0, std::floor(std::log10(v.beta)) + third);
    EXPECT_NEAR(curve.heads(v.alpha, {beta / v.alpha})[0], v.f, 1e-3) << v.alpha << " " << v.beta;
  }
}

TEST(TypeCurves, APartlyPenetratingSectionBecomesCbpWhenLongAndHvorslevWhenSteady) {
  const TypeCurve cbp(cbpModel());
  for (const double b : {200.0, 20000.0}) {
    const TypeCurve kgs(kgsModel(b));
    for (const double alpha : {1e-1, 1e-3}) {
      std::vector<double> tau;
      for (const double beta : {0.01, 0.3, 3.0}) tau.push_back(beta / alpha);
      const auto f = kgs.heads(alpha, tau), g = cbp.heads(alpha, tau);
      for (std::size_t i = 0; i < f.size(); ++i) EXPECT_NEAR(f[i], g[i], 5.0 / b) << b << " " << alpha;
    }
  }
  // Steady, the flow per unit head is Hvorslev's shape factor 2πL / ln(L/D + √(1 + (L/D)²)) within 15 %.
  for (const double b : {2.0, 20.0, 100.0}) {
    const double shape = std::numbers::pi * b * kgsModel(b)(1e-14);
    const double hvorslev = 2 * std::numbers::pi * b / std::asinh(b / 2);
    EXPECT_NEAR(shape / hvorslev, 1.0, 0.15) << b;
  }
}

TEST(TypeCurves, FitsGiveThePublishedKOfFieldRecords) {
  const struct {
    const char* name;
    const publishedslug::Record& record;
    TypeCurveGeometry geometry;
    TypeCurveModel model;
    double published, within;
  } rows[] = {
      {"Dawsonville, least squares (Yang 2020)", publishedslug::kDawsonville, {98, 0.076, 0.076}, TypeCurveModel::Cbp,
       4.784e-6, 0.02},
      {"Dawsonville, Cooper et al.'s match", publishedslug::kDawsonville, {98, 0.076, 0.076}, TypeCurveModel::Cbp,
       5.41e-6, 0.15},
      {"Pratt County, KGS in AQTESOLV", publishedslug::kPrattCounty, {1.52, 0.125, 0.064}, TypeCurveModel::Kgs,
       4.669e-5, 0.03},
      {"Ln-2, AQTESOLV", publishedslug::kLn2, {6.1, 0.102, 0.051}, TypeCurveModel::Cbp, 1.350e-5, 0.08},
      {"Ln-2, MLU", publishedslug::kLn2, {6.1, 0.102, 0.051}, TypeCurveModel::Cbp, 1.517e-5, 0.08},
      {"Lincoln County, T for b = 1 m", publishedslug::kLincolnCounty, {1, 0.071, 0.025}, TypeCurveModel::Cbp,
       1.23e-8, 0.10},
  };
  for (const auto& row : rows) {
    const TypeCurveFit fit = fitTypeCurve(row.model, row.record, row.geometry);
    ASSERT_TRUE(fit.found) << row.name << ": " << fit.reason;
    EXPECT_NEAR(fit.k / row.published, 1.0, row.within) << row.name << ": " << fit.summary(3);
    EXPECT_LT(fit.kLow, fit.k) << row.name;
    EXPECT_GT(fit.kHigh, fit.k) << row.name;
  }
}

TEST(TypeCurves, RecordsMadeFromACurveGiveBackItsKAndSs) {
  // L 1 m, D 0.1 m, de 0.05 m; readings to 1 mm with 0.3 mm of noise.
  const TypeCurveGeometry g{1.0, 0.05, 0.025};
  const std::vector<double> times{0,   5,   10,  15,  20,  30,  40,  50,  60,  75,  90,  105, 120, 150,
                                  180, 210, 240, 300, 360, 420, 480, 540, 600, 720, 840, 960, 1080, 1200};
  const struct {
    TypeCurveModel model;
    double k, storage;
    unsigned seed;
  } rows[] = {
      {TypeCurveModel::Cbp, 3e-6, 1e-5, 1}, {TypeCurveModel::Cbp, 3e-6, 1e-2, 2}, {TypeCurveModel::Cbp, 3e-5, 1e-3, 3},
      {TypeCurveModel::Kgs, 3e-6, 1e-4, 4}, {TypeCurveModel::Kgs, 1e-5, 1e-2, 5}, {TypeCurveModel::Kgs, 3e-7, 1e-3, 6},
  };
  int covered = 0;
  for (const auto& row : rows) {
    const TypeCurve curve(row.model == TypeCurveModel::Cbp ? cbpModel() : kgsModel(g.length / g.boreRadius));
    const double alpha = g.boreRadius * g.boreRadius * row.storage * g.length / (g.pipeRadius * g.pipeRadius);
    std::vector<double> tau;
    for (const double t : times) tau.push_back(row.k * t / (row.storage * g.boreRadius * g.boreRadius));
    const std::vector<double> f = curve.heads(alpha, tau);
    std::mt19937 random(row.seed);
    std::normal_distribution<double> noise(0.0, 0.0003);
    std::vector<Sample> record;
    for (std::size_t i = 0; i < times.size(); ++i)
      record.push_back({times[i], std::round((1.5 * f[i] + noise(random)) * 1000) / 1000});
    const TypeCurveFit fit = fitTypeCurve(row.model, record, g);
    ASSERT_TRUE(fit.found) << fit.reason;
    EXPECT_NEAR(fit.k / row.k, 1.0, 0.02) << fit.summary(3);
    covered += fit.kLow <= row.k && row.k <= fit.kHigh ? 1 : 0;
    EXPECT_NEAR(std::log10(fit.storage), std::log10(row.storage), 0.5) << fit.summary(3);
    EXPECT_LT(fit.rms, 0.0006) << fit.summary(3);
  }
  // A 95 % interval: all six but by chance one.
  EXPECT_GE(covered, 5);
}

TEST(TypeCurves, ATimeTypedFarOutOfTheRecordNeitherStallsTheFitNorMovesIt) {
  // A row at 1E-88 s made the curve's grid 600 half-octaves long, fitted hundreds of times.
  const TypeCurveGeometry g{1.0, 0.05, 0.025};
  int evaluations = 0;
  const TypeCurve curve([&, g = cbpModel()](double p) { return ++evaluations, g(p); });
  const std::vector<double> times{0, 10, 20, 40, 60, 90, 120, 180, 240, 360, 480, 600, 900, 1200};
  std::vector<double> tau;
  for (const double t : times) tau.push_back(3e-6 * t / (1e-3 * g.boreRadius * g.boreRadius));
  const double alpha = 0.05 * 0.05 * 1e-3 / (0.025 * 0.025);
  const std::vector<double> f = curve.heads(alpha, tau);
  const int once = evaluations;
  std::vector<double> early = tau;
  early.front() = 1e-88;
  const std::vector<double> fEarly = curve.heads(alpha, early);
  for (std::size_t i = 0; i < f.size(); ++i) EXPECT_NEAR(fEarly[i], f[i], 1e-9) << times[i];
  // At most 64 octaves more of the grid, each 6 values of g a point.
  EXPECT_LE(evaluations - once, 6 * (2 * 64 + 4));
  std::vector<Sample> record;
  for (std::size_t i = 0; i < times.size(); ++i) record.push_back({times[i], std::round(1500 * f[i]) / 1000});
  const TypeCurveFit plain = fitTypeCurve(TypeCurveModel::Cbp, record, g);
  ASSERT_TRUE(plain.found) << plain.reason;
  for (const double first : {1e-88, 1e-300}) {
    record.front().t = first;
    const TypeCurveFit fit = fitTypeCurve(TypeCurveModel::Cbp, record, g);
    EXPECT_NEAR(fit.k / plain.k, 1.0, 1e-6) << first;
  }
  record.push_back({1e300, 0.0});
  EXPECT_TRUE(std::isfinite(fitTypeCurve(TypeCurveModel::Cbp, record, g).k));
  // s halving in 1E-88 s put the search at K e^196 m/s, where no value of g is kept.
  record.pop_back();
  record.insert(record.begin() + 1, Sample{1e-88, -2.0});
  for (const TypeCurveModel model : {TypeCurveModel::Cbp, TypeCurveModel::Kgs}) {
    const TypeCurveFit fit = fitTypeCurve(model, record, g, true);
    EXPECT_TRUE(!fit.found || fit.k < 10) << fit.summary(3);
  }
  // A D typed as 1E+400 (infinite) was searched for seconds (every τ 0, every grid 2^±900); it is no size.
  EXPECT_EQ(fitTypeCurve(TypeCurveModel::Kgs, record, {1.0, INFINITY, 0.025}).reason, "L, D, de がありません");
}

} // namespace
