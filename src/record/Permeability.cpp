#include "record/Permeability.h"

#include <cmath>

#include "record/CFormat.h"

namespace tov {

double computePermeability(unsigned formula, double ratioLD, double diameter, double length,
                           double gradient, double flow, double headDifference) {
  // Written as "not at least" so that a NaN fails as well.
  if (!(ratioLD >= 0.0001) || !(length >= 0.0001)) return kPermeabilityFailure;
  if (formula == Steady && !(headDifference >= 0.0001)) return kPermeabilityFailure;
  if (formula > Steady) return kPermeabilityFailure;

  const double b = ratioLD;
  const double de = diameter;
  const double L = length;
  const double e = gradient;
  double k = kPermeabilityFailure;
  switch (formula) {
  case ApproxNoLayer:
    k = (e * std::log10(2 * b)) / (8 * L) * 2.3 * 2.3 * de * de;
    break;
  case BasicNoLayer:
    k = (e * std::log(b + std::sqrt(b * b + 1))) / (8 * L) * 2.3 * de * de;
    break;
  case ApproxWithLayer:
    k = (e * std::log10(4 * b)) / (8 * L) * 2.3 * 2.3 * de * de;
    break;
  case BasicWithLayer:
    k = (e * std::log(2 * b + std::sqrt(4 * b * b + 1))) / (8 * L) * 2.3 * de * de;
    break;
  case Steady:
    k = 2.3 * std::log10(2 * b) * flow / (L * headDifference * 6.28318);
    break;
  default:
    break;
  }
  // An infinite or NaN k (from a NaN or huge input) is no result.
  if (!std::isfinite(k)) return kPermeabilityFailure;
  return k;
}

std::optional<double> computeGradient(double t1, double s1, double t2, double s2) {
  if (!(s1 > 0.0001) || !(s2 > 0.0001) || !(t2 - t1 > 0.01)) return std::nullopt;
  const double a = std::log10(s1 / s2) / (t2 - t1);
  if (!std::isfinite(a)) return std::nullopt;
  return a;
}

std::optional<double> permeabilityFromHeadings(const TestRecord& record) {
  const double length = record.fieldValue(F_sectionLength);
  const double bore = record.fieldValue(F_boreDiameter);
  const double so = record.fieldValue(F_steadyHeadDifference);
  int kind = record.fieldInt(F_formulaKind);
  if (!(length >= 0.001) || !(bore >= 0.001)) return std::nullopt;
  if (kind == Steady && !(so >= 0.001)) return std::nullopt;
  if (kind > 4 || kind < 0) kind = 0;
  // No k from an empty or zero gradient, or from no flow: that would put a
  // k of 0 in place of one the analysis gave.
  const std::string& driver = record.field(kind == Steady ? F_steadyFlow : F_gradientText);
  if (!isNumberText(driver) || toDouble(driver) == 0) return std::nullopt;
  const double k = computePermeability(static_cast<unsigned>(kind), length / bore,
                                       record.fieldValue(F_equivalentDiameter), length,
                                       record.fieldValue(F_gradientText), record.fieldValue(F_steadyFlow), so);
  if (!(k > kPermeabilityFailureLimit)) return std::nullopt;
  return k;
}

} // namespace tov
