#pragma once
// K and Ss fitted to the readings by a type curve (TypeCurve.h,
// CbpModel.h, KgsModel.h), the written ho kept: s = H0·f(K·t / (Ss·rw²); α, skin)
// with α = rw²·Ss·L / rc², rw = D/2, rc = de/2 (the pipe the level moves
// in), L the section's length. H0 is fitted too (a slug is never put in at
// once). The curves shown fit K and Ss alone; the rules that ask whether
// any curve with the written ho explains a record also fit a skin at the
// section's face (0 to kLargestSkin: a bore wall smeared by drilling slows
// the flow as a head loss in proportion to it), which trades against K and
// Ss too much to be shown as a K.
//
// Least squares in s (the noise of a reading is the same at every s). K and
// Ss trade against each other, so the misfit has side valleys where a
// local search started at a guess stops: a grid of Ss (10^-7 … 10^-1 1/m,
// 0.75 decade apart) (by skin 0, 1, 3, 10) by K (ten a decade over six
// decades about where the record halves) is searched first on at most 40
// of the rows, then the best point and the best of two other valleys are
// refined by Nelder–Mead on all rows. The 95 % interval of K is from the
// misfit's curvature (Gauss–Newton with H0, Ss (and the skin), Student's t
// with n - 3 (4) degrees of freedom; those at an end of their range held).
//
// Cost (measured by bench tov_analysis on a 120-row record): both models
// together under 10 ms; most of it the partially penetrating model's J(p)
// at the few hundred p the grid asks for.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Samples.h"
#include "analysis/TypeCurve.h"
#include "record/TestRecord.h"

namespace tov {

enum class TypeCurveModel { Cbp, Kgs };
// "CBP", "KGS".
const char* typeCurveName(TypeCurveModel model);

// The sizes the curves take from the record (m).
struct TypeCurveGeometry {
  double length = 0;       // L
  double boreRadius = 0;   // rw = D / 2
  double pipeRadius = 0;   // rc = de / 2
  double anisotropy = 1;   // Kz / Kr (the partially penetrating model)
  // Sizes a borehole can have (a D typed as 1E+400 is read as infinite).
  bool usable() const {
    auto within = [](double v, double least) { return v >= least && v <= 1000; };
    return within(length, 0.001) && within(boreRadius, 0.0005) && within(pipeRadius, 0.0005);
  }
};
TypeCurveGeometry typeCurveGeometry(const TestRecord& record, double anisotropy = 1.0);

// The least and the largest Ss searched (1/m), and the largest skin.
inline constexpr double kLeastStorage = 1e-7, kLargestStorage = 1e-1;
inline constexpr double kLargestSkin = 30;

struct TypeCurveFit {
  TypeCurveModel model = TypeCurveModel::Cbp;
  bool found = false;
  std::string reason;         // why not found
  double k = 0, kLow = 0, kHigh = 0;  // m/s, the 95 % interval
  double storage = 0;         // Ss (1/m)
  bool storageAtEnd = false;  // Ss at an end of the searched range
  double skin = 0;            // the skin factor at the section's face (0: none)
  double h0 = 0;              // the fitted head at t = 0 (m)
  double rms = 0;             // of the residuals (m)
  int n = 0;                  // rows fitted
  // The fitted s at each t.
  std::vector<double> headsAt(const std::vector<double>& t) const;
  // "CBP k 3.02E-006 (95 % 2.95E-006〜3.09E-006) m/s, Ss 1.0E-004 1/m, 残差 0.4 mm (n 35)",
  // ", スキン 2.9" after it where a skin was fitted, or "CBP なし (the
  // reason)"; k with `digits` decimals.
  std::string summary(int digits = 2) const;

  // What headsAt needs.
  std::shared_ptr<const TypeCurve> curve;
  TypeCurveGeometry geometry;
};

// The rows (t >= 0, s with the written ho) fitted by one model, with a skin
// or without.
TypeCurveFit fitTypeCurve(TypeCurveModel model, const std::vector<Sample>& rows, const TypeCurveGeometry& geometry,
                          bool withSkin = false);
// Both models (CBP, KGS). The last few answers are kept, so that the page,
// the dialog and the summary asking for the same record fit it once.
std::vector<TypeCurveFit> fitTypeCurves(const std::vector<Sample>& rows, const TypeCurveGeometry& geometry,
                                        bool withSkin = false);

} // namespace tov
