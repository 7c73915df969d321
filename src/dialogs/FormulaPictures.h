#pragma once
// The formulas of k that the headings editor shows beside its formula
// buttons, and the gradient a under them, as small typeset pictures drawn
// from lines, curves and texts (so they are sharp at any size).
//
// Each picture is an expression that can also be evaluated: it shows
// exactly what computePermeability computes for its formula (2.3 log x for
// ln x where the program computes it so, 2.3 a for the natural-log
// gradient, 2π where the program uses 6.28318).
#include <string_view>

namespace tov {

enum class FormulaPicture : int {
  ApproxNoLayer = 0, BasicNoLayer = 1, ApproxWithLayer = 2, BasicWithLayer = 3, Steady = 4,
  Gradient = 5,  // a = log(s1/s2) / (t2 - t1)
};

// What a picture is drawn on. Lengths are in the canvas's own units (the
// widget's pixels); y grows downwards; texts stand on their baseline.
class FormulaCanvas {
public:
  virtual ~FormulaCanvas() = default;
  // The advance width of a text in a font of this size (em) and style.
  virtual double textWidth(std::string_view text, double size, bool italic) = 0;
  virtual void text(double x, double baseline, std::string_view text, double size, bool italic) = 0;
  virtual void line(double x1, double y1, double x2, double y2, double width) = 0;
  // A quadratic curve from (x1, y1) to (x2, y2) pulled towards (cx, cy).
  virtual void curve(double x1, double y1, double cx, double cy, double x2, double y2, double width) = 0;
};

// The space a picture takes: width, and height above and below its baseline.
struct FormulaExtent {
  double width = 0;
  double ascent = 0;
  double descent = 0;
};

FormulaExtent measureFormula(FormulaPicture picture, FormulaCanvas& canvas, double size);
// Draws the picture with its baseline starting at (x, baseline).
void drawFormula(FormulaPicture picture, FormulaCanvas& canvas, double x, double baseline, double size);

// The quantities a picture names.
struct FormulaValues {
  double de = 0, L = 0, D = 0, a = 0, Qo = 0, So = 0;
  double s1 = 0, s2 = 0, t1 = 0, t2 = 0;
};
// The value of the picture's right-hand side (k, or a for the gradient).
double evaluateFormula(FormulaPicture picture, const FormulaValues& values);

} // namespace tov
