// The formula pictures of the headings editor show what the program
// computes: each picture, evaluated, gives computePermeability's k (and the
// gradient picture computeGradient's a).
#include <gtest/gtest.h>

#include "dialogs/FormulaPictures.h"
#include "record/Permeability.h"

namespace tov {
namespace {

TEST(FormulaPictures, EachPictureComputesWhatTheProgramComputes) {
  const struct { double de, L, D, a, Qo, So; } rows[] = {
      {0.05, 1.0, 0.1, 0.001, 1e-5, 1.0},
      {0.066, 2.5, 0.086, 0.0184, 3.2e-6, 0.75},
      {0.04, 0.5, 0.2, 2.3e-4, 4.1e-7, 12.5},
  };
  for (const auto& r : rows) {
    FormulaValues v;
    v.de = r.de, v.L = r.L, v.D = r.D, v.a = r.a, v.Qo = r.Qo, v.So = r.So;
    for (unsigned kind = 0; kind <= 4; ++kind) {
      const double k = computePermeability(kind, r.L / r.D, r.de, r.L, r.a, r.Qo, r.So);
      ASSERT_GT(k, 0);
      EXPECT_NEAR(evaluateFormula(static_cast<FormulaPicture>(kind), v) / k, 1.0, 1e-12)
          << "formula " << kind << " L " << r.L;
    }
  }
  const struct { double t1, s1, t2, s2; } points[] = {{2, 5, 40, 1}, {10, 1.25, 600, 0.31}};
  for (const auto& p : points) {
    FormulaValues v;
    v.t1 = p.t1, v.s1 = p.s1, v.t2 = p.t2, v.s2 = p.s2;
    EXPECT_NEAR(evaluateFormula(FormulaPicture::Gradient, v), *computeGradient(p.t1, p.s1, p.t2, p.s2), 1e-15);
  }
}

} // namespace
} // namespace tov
