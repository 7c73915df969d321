#pragma once
// The straight line of log10 s on t, k from its gradient by the record's
// formula, the 95 % interval of that k, and the texts every place shows
// them with.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/Samples.h"
#include "record/TestRecord.h"

namespace tov {

// The least-squares line log10 s = logS0 - a·t over rows first..last,
// each row weighted by s² (noise the same in s at every row).
struct LineFit {
  int first = 0, last = 0;  // the rows asked for, 1-based, inclusive
  int n = 0;                // rows used (s above kLeastHead)
  double a = 0;             // gradient as the record's a: positive when s falls
  double logS0 = 0;         // log10 s at t = 0
  double r2 = 0;            // 0 when log s does not vary
  double aError = 0;        // standard error of a from the residuals (0 when n < 3)
  // n >= kLeastFitRows and the times differ.
  bool usable = false;
  // The fitted s at t.
  double sAt(double t) const;
};
LineFit fitLine(const std::vector<Sample>& samples, int first, int last);

// What k is computed from: formulaKind, L, D, de and the steady values.
struct Geometry {
  int formula = 0;
  double length = 0, bore = 0, equivalentDiameter = 0;
  double steadyFlow = 0, steadyHead = 0;
  // L >= 0.001, D >= 0.001 (the analysis dialogs' check).
  bool usable() const { return length >= 0.001 && bore >= 0.001; }
  double ratio() const { return bore > 0 ? length / bore : 0; }
};
Geometry geometryOf(const TestRecord& record);
// k from a gradient a by the record's formula (0..3), as the dialog
// computes it from two points; nothing for unusable geometry, a failed
// formula or a k that is not above 0.
std::optional<double> permeabilityFromGradient(const Geometry& geometry, double a);

// The two-sided 95 % quantile of Student's t with df degrees of freedom.
double studentT95(int df);
// The 95 % confidence interval of k from the standard error of the fitted
// gradient (t with n - 2 degrees of freedom); k is proportional to a.
// It is printed rounded outward (intervalText).
struct KInterval {
  double k = 0, low = 0, high = 0;  // low 0: the interval reaches a <= 0
};
std::optional<KInterval> permeabilityInterval(const Geometry& geometry, const LineFit& fit);

// (fitted - points) / points in percent.
std::optional<double> percentDifference(double pointsK, double fittedK);
// "R² 0.9980 (n 12)".
std::string fitCaption(const LineFit& fit);
// R² cut (not rounded) to four decimals, "0.9999": a fit that is not
// perfect never shows as 1.0000, nor one below a limit as reaching it.
// Every R² shown goes through this.
std::string r2Text(double r2);
// "k 2.01E-006 (95 % 2.00E-006〜2.02E-006)": k with `digits` decimals,
// the bounds rounded outward, with more digits (up to 8) where the two
// would print alike.
std::string intervalText(const KInterval& k, int digits);
// The two bounds as intervalText prints them.
std::pair<std::string, std::string> intervalBounds(const KInterval& k, int digits);
// The fitted line's s at t as the point fields hold it ("%.6g"): the two
// points' gradient is then the fitted gradient to 6 digits.
std::string fittedHeadText(const LineFit& fit, double t);

} // namespace tov
