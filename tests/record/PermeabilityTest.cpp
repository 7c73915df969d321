// The permeability formulas, their failure rules and the gradient.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "record/CFormat.h"
#include "record/Permeability.h"

namespace {

using tov::computeGradient;
using tov::computePermeability;
using tov::kPermeabilityFailure;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Permeability, FormulasGiveTheKnownValues) {
  // L/D = 10, de = 0.05 m, L = 1 m, a = 0.001 1/s; Q = 1E-5 m3/s, s = 1 m.
  // 2.3 is used as written, not ln 10.
  const struct { unsigned formula; double expected; } rows[] = {
      {0, 0.001 * std::log10(20.0) / 8 * 2.3 * 2.3 * 0.05 * 0.05},
      {1, 0.001 * std::log(10 + std::sqrt(101.0)) / 8 * 2.3 * 0.05 * 0.05},
      {2, 0.001 * std::log10(40.0) / 8 * 2.3 * 2.3 * 0.05 * 0.05},
      {3, 0.001 * std::log(20 + std::sqrt(401.0)) / 8 * 2.3 * 0.05 * 0.05},
      {4, 2.3 * std::log10(20.0) * 1e-5 / 6.28318},
  };
  for (const auto& r : rows) {
    EXPECT_DOUBLE_EQ(computePermeability(r.formula, 10, 0.05, 1, 0.001, 1e-5, 1), r.expected)
        << "formula " << r.formula;
  }
  EXPECT_EQ(tov::formatPermeability(computePermeability(0, 10, 0.05, 1, 0.001, 0, 0), 2), "2.15E-006");
  EXPECT_EQ(tov::formatPermeability(computePermeability(4, 10, 0.05, 1, 0.3, 1e-5, 1), 4), "4.7625E-006");
}

TEST(Permeability, UnsteadyFormulasIgnoreFlowAndHeadDifference) {
  for (unsigned f = 0; f <= 3; ++f) {
    EXPECT_EQ(computePermeability(f, 10, 0.05, 1, 0.001, 0, 0),
              computePermeability(f, 10, 0.05, 1, 0.001, 7, 3))
        << "formula " << f;
    EXPECT_GT(computePermeability(f, 10, 0.05, 1, 0.001, kNaN, kNaN), 0) << "formula " << f;
  }
}

TEST(Permeability, UnusableInputOrNonFiniteResultFails) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct { unsigned formula; double ratioLD, diameter, length, gradient, flow, head; bool fails; } rows[] = {
      // The limits themselves are accepted.
      {0, 0.0001, 0.05, 1, 0.001, 1e-5, 0, false}, {0, 10, 0.05, 0.0001, 0.001, 1e-5, 0, false},
      {4, 10, 0.05, 1, 0.001, 1e-5, 0.0001, false},
      {0, 0.00009, 0.05, 1, 0.001, 1e-5, 0, true}, {0, 10, 0.05, 0.00009, 0.001, 1e-5, 0, true},
      {0, 0, 0.05, 1, 0.001, 1e-5, 0, true},       {0, -10, 0.05, 1, 0.001, 1e-5, 0, true},
      {0, kNaN, 0.05, 1, 0.001, 1e-5, 0, true},    {0, 10, 0.05, kNaN, 0.001, 1e-5, 0, true},
      {4, 10, 0.05, 1, 0.001, 1e-5, 0, true},      {4, 10, 0.05, 1, 0.001, 1e-5, 0.00009, true},
      {4, 10, 0.05, 1, 0.001, 1e-5, -1, true},     {4, 10, 0.05, 1, 0.001, 1e-5, kNaN, true},
      {5, 10, 0.05, 1, 0.001, 1e-5, 1, true},      {static_cast<unsigned>(-1), 10, 0.05, 1, 0.001, 1e-5, 1, true},
      // Inputs that pass the checks but give no finite k.
      {0, 10, 0.05, 1, kNaN, 0, 0, true}, {1, 10, inf, 1, 0.001, 0, 0, true}, {4, 10, 0.05, 1, 0, kNaN, 1, true},
  };
  for (const auto& r : rows) {
    const double k = computePermeability(r.formula, r.ratioLD, r.diameter, r.length, r.gradient, r.flow, r.head);
    if (r.fails) EXPECT_EQ(k, kPermeabilityFailure) << "row " << &r - rows;
    else EXPECT_GT(k, tov::kPermeabilityFailureLimit) << "row " << &r - rows;
  }
}

TEST(Gradient, RequiresPositiveHeadsAndATimeSpan) {
  const struct { double t1, s1, t2, s2; bool given; } rows[] = {
      {0, 1, 0.01, 0.5, false},  // a span of exactly 0.01 is not enough
      {0, 1, 0.0101, 0.5, true}, {100, 1, 50, 0.5, false},  // t2 before t1
      {0, 0.0001, 10, 0.5, false}, {0, 1, 10, 0.0001, false},  // s at the limit fails
      {0, 0.00011, 10, 0.5, true}, {0, -1, 10, 0.5, false}, {kNaN, 1, 10, 0.5, false}, {0, kNaN, 10, 0.5, false},
  };
  for (const auto& r : rows) EXPECT_EQ(computeGradient(r.t1, r.s1, r.t2, r.s2).has_value(), r.given) << "row " << &r - rows;
  EXPECT_DOUBLE_EQ(computeGradient(10, 2.0, 110, 0.2).value_or(0), 0.01);
  EXPECT_LT(computeGradient(0, 0.5, 100, 1.0).value_or(0), 0);  // rising heads: a negative gradient
}

} // namespace
