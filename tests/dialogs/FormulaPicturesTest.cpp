// The formula pictures of the headings editor show what the program
// computes: each picture, evaluated, gives computePermeability's k (and the
// gradient picture computeGradient's a); and every stroke and text of a
// picture lies inside the extent it reports, so its widget never cuts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "dialogs/FormulaPictures.h"
#include "record/Permeability.h"

namespace tov {
namespace {

// Texts 0.5 em wide per byte; remembers the box of everything drawn.
class BoxCanvas : public FormulaCanvas {
public:
  double textWidth(std::string_view text, double size, bool) override { return 0.5 * size * text.size(); }
  void text(double x, double baseline, std::string_view t, double size, bool italic) override {
    add(x, baseline - 0.72 * size, x + textWidth(t, size, italic), baseline + 0.24 * size);
    ++texts;
  }
  void line(double x1, double y1, double x2, double y2, double width) override {
    add(std::min(x1, x2), std::min(y1, y2) - width / 2, std::max(x1, x2), std::max(y1, y2) + width / 2);
    ++strokes;
  }
  void curve(double x1, double y1, double cx, double, double x2, double y2, double width) override {
    // The curve stays within the triangle of its points; it reaches halfway
    // to the control point.
    const double mx = (x1 + x2) / 4 + cx / 2;
    add(std::min({x1, x2, mx}) - width / 2, std::min(y1, y2), std::max({x1, x2, mx}) + width / 2, std::max(y1, y2));
    ++strokes;
  }
  double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
  int texts = 0, strokes = 0;

private:
  void add(double l, double t, double r, double b) {
    left = std::min(left, l);
    top = std::min(top, t);
    right = std::max(right, r);
    bottom = std::max(bottom, b);
  }
};

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

TEST(FormulaPictures, DrawingStaysInsideTheMeasuredExtent) {
  for (int i = 0; i <= static_cast<int>(FormulaPicture::Gradient); ++i) {
    const auto picture = static_cast<FormulaPicture>(i);
    for (double size : {9.0, 13.0, 40.0}) {
      BoxCanvas canvas;
      const FormulaExtent extent = measureFormula(picture, canvas, size);
      EXPECT_EQ(canvas.texts + canvas.strokes, 0) << "measuring draws nothing";
      const double x = 3, baseline = 50;
      drawFormula(picture, canvas, x, baseline, size);
      SCOPED_TRACE(testing::Message() << "picture " << i << " size " << size);
      EXPECT_GT(canvas.texts, 4);
      EXPECT_GT(canvas.strokes, 0);  // fraction bars at least
      const double slack = 1e-9;
      EXPECT_GE(canvas.left, x - slack);
      EXPECT_LE(canvas.right, x + extent.width + slack);
      EXPECT_GE(canvas.top, baseline - extent.ascent - slack);
      EXPECT_LE(canvas.bottom, baseline + extent.descent + slack);
      // The extent is the picture's, not a loose box around it.
      EXPECT_LT(extent.width - (canvas.right - x), 0.5 * size);
    }
  }
}

} // namespace
} // namespace tov
