#pragma once
// The coefficient of permeability k (m/s) by the five formulas of the test
// methods, and the gradient a of the unsteady log s - t line.
#include <optional>

#include "record/TestRecord.h"

namespace tov {

enum PermeabilityFormula : unsigned {
  ApproxNoLayer = 0, BasicNoLayer = 1, ApproxWithLayer = 2, BasicWithLayer = 3, Steady = 4,
};

inline constexpr double kPermeabilityFailure = -999999.9;
// Results not above this are failures.
inline constexpr double kPermeabilityFailureLimit = -999999.0;

// k, or kPermeabilityFailure for unusable input. The constants 2.3 (for
// ln 10) and 6.28318 (for 2 pi) are the program's own and are used exactly.
double computePermeability(unsigned formula, double ratioLD, double diameter, double length,
                           double gradient, double flow, double headDifference);

// a = log10(s1/s2) / (t2 - t1) when s1 > 0.0001, s2 > 0.0001 and
// t2 - t1 > 0.01; nothing otherwise.
std::optional<double> computeGradient(double t1, double s1, double t2, double s2);

// k from a record's headings, as confirming the headings recomputes it:
// formulaKind (above 4 or negative taken as 0), L, D, de, the stored
// gradient a, Qo and So. Nothing when L or D is below 0.001, when So is for
// the steady method below 0.001, when a (steady: Qo) is empty, not a number
// or 0, or when the formula fails.
std::optional<double> permeabilityFromHeadings(const TestRecord& record);

} // namespace tov
