#include "dialogs/FormulaPictures.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace tov {

namespace {

// Proportions of the font size (em).
constexpr double kAscent = 0.72;     // of a line of text above its baseline
constexpr double kDescent = 0.24;    // below it
constexpr double kAxis = 0.27;       // fraction bars and operators sit this high
constexpr double kThin = 0.2;        // between a number and a function name
constexpr double kOperator = 0.22;   // around +, −, = and ·
constexpr double kScript = 0.7;      // size of sub- and superscripts
constexpr double kSubDrop = 0.2;
constexpr double kSuperRaise = 0.42;
constexpr double kRule = 0.055;      // fraction bars and the root's stroke
constexpr double kFracGap = 0.14;
constexpr double kFracPad = 0.08;
constexpr double kItalicOverhang = 0.06;
constexpr double kPi = 3.14159;  // 2π = 6.28318, as the steady formula has it

enum class Op {
  Number,    // upright text with a value
  Variable,  // italic letter, optional subscript
  Pi,
  Term,      // factors written together: 8L, 2.3a
  Spaced,    // factors with a thin space: 2.3 log x
  Product,   // factors with a centred dot
  Sum, Difference,
  Fraction,  // stacked
  Slash,     // inline a/b
  Root, Square, Parens, Ln, Log,
  Equation,  // italic name, "=", right-hand side
};

enum class Var { None, de, L, D, a, Qo, So, s1, s2, t1, t2 };

struct Node {
  Op op = Op::Number;
  std::string text;   // number text, variable letter, equation name
  std::string sub;    // a variable's subscript
  double value = 0;   // a number's value
  Var var = Var::None;
  std::vector<Node> kids;
};

Node num(const char* text, double value) { return Node{Op::Number, text, {}, value, Var::None, {}}; }
Node var(Var v, const char* letter, const char* sub = "") { return Node{Op::Variable, letter, sub, 0, v, {}}; }
Node node(Op op, std::vector<Node> kids) { return Node{op, {}, {}, 0, Var::None, std::move(kids)}; }
Node pi() { return Node{Op::Pi, "π", {}, kPi, Var::None, {}}; }
Node term(std::vector<Node> kids) { return node(Op::Term, std::move(kids)); }
Node frac(Node n, Node d) { return node(Op::Fraction, {std::move(n), std::move(d)}); }
Node parens(Node x) { return node(Op::Parens, {std::move(x)}); }
Node square(Node x) { return node(Op::Square, {std::move(x)}); }
Node sum(Node a, Node b) { return node(Op::Sum, {std::move(a), std::move(b)}); }
Node equation(const char* name, Node rhs) { return Node{Op::Equation, name, {}, 0, Var::None, {std::move(rhs)}}; }

Node de() { return var(Var::de, "d", "e"); }
Node L() { return var(Var::L, "L"); }
Node D() { return var(Var::D, "D"); }

// m L / D
Node lengthOverDiameter(int m) {
  return frac(m == 1 ? L() : term({num(m == 2 ? "2" : "4", m), L()}), D());
}
// d_e² / 8L
Node shapeFactor() { return frac(square(de()), term({num("8", 8), L()})); }
// 2.3 a: ln(s1/s2) / (t2 - t1) from the base-10 gradient
Node naturalGradient() { return term({num("2.3", 2.3), var(Var::a, "a")}); }
// 2.3 log(m L / D): ln(m L / D) as the program computes it
Node naturalLog(int m) {
  return node(Op::Spaced, {num("2.3", 2.3), node(Op::Log, {lengthOverDiameter(m)})});
}
// ln(m L/D + √(1 + (m L/D)²))
Node basicShape(int m) {
  return node(Op::Ln, {parens(sum(lengthOverDiameter(m),
                                  node(Op::Root, {sum(num("1", 1), square(parens(lengthOverDiameter(m))))})))});
}

Node build(FormulaPicture picture) {
  switch (picture) {
  case FormulaPicture::ApproxNoLayer:
    return equation("k", node(Op::Product, {shapeFactor(), naturalLog(2), naturalGradient()}));
  case FormulaPicture::BasicNoLayer:
    return equation("k", node(Op::Product, {shapeFactor(), basicShape(1), naturalGradient()}));
  case FormulaPicture::ApproxWithLayer:
    return equation("k", node(Op::Product, {shapeFactor(), naturalLog(4), naturalGradient()}));
  case FormulaPicture::BasicWithLayer:
    return equation("k", node(Op::Product, {shapeFactor(), basicShape(2), naturalGradient()}));
  case FormulaPicture::Steady:
    return equation("k", node(Op::Product, {frac(var(Var::Qo, "Q", "o"),
                                                 term({num("2", 2), pi(), L(), var(Var::So, "S", "o")})),
                                            naturalLog(2)}));
  case FormulaPicture::Gradient:
    return equation("a", frac(node(Op::Log, {parens(node(Op::Slash, {var(Var::s1, "s", "1"), var(Var::s2, "s", "2")}))}),
                              node(Op::Difference, {var(Var::t2, "t", "2"), var(Var::t1, "t", "1")})));
  }
  return num("", 0);
}

const Node& picture(FormulaPicture which) {
  static const std::vector<Node> pictures = [] {
    std::vector<Node> all;
    for (int i = 0; i <= static_cast<int>(FormulaPicture::Gradient); ++i)
      all.push_back(build(static_cast<FormulaPicture>(i)));
    return all;
  }();
  const int i = static_cast<int>(which);
  return pictures.at(static_cast<std::size_t>(std::clamp(i, 0, static_cast<int>(pictures.size()) - 1)));
}

// ------------------------------------------------------------- evaluation

double valueOf(Var v, const FormulaValues& x) {
  switch (v) {
  case Var::de: return x.de;
  case Var::L: return x.L;
  case Var::D: return x.D;
  case Var::a: return x.a;
  case Var::Qo: return x.Qo;
  case Var::So: return x.So;
  case Var::s1: return x.s1;
  case Var::s2: return x.s2;
  case Var::t1: return x.t1;
  case Var::t2: return x.t2;
  case Var::None: break;
  }
  return 0;
}

double evaluate(const Node& n, const FormulaValues& x) {
  auto kid = [&](std::size_t i) { return evaluate(n.kids.at(i), x); };
  switch (n.op) {
  case Op::Number:
  case Op::Pi: return n.value;
  case Op::Variable: return valueOf(n.var, x);
  case Op::Term:
  case Op::Spaced:
  case Op::Product: {
    double product = 1;
    for (const Node& k : n.kids) product *= evaluate(k, x);
    return product;
  }
  case Op::Sum: return kid(0) + kid(1);
  case Op::Difference: return kid(0) - kid(1);
  case Op::Fraction:
  case Op::Slash: return kid(0) / kid(1);
  case Op::Root: return std::sqrt(kid(0));
  case Op::Square: return kid(0) * kid(0);
  case Op::Parens:
  case Op::Equation: return kid(0);
  case Op::Ln: return std::log(kid(0));
  case Op::Log: return std::log10(kid(0));
  }
  return 0;
}

// ----------------------------------------------------------------- layout

struct Box {
  double width = 0, ascent = 0, descent = 0;
};

// Measures (draw == false) or draws a node at (x, baseline).
class Typesetter {
public:
  Typesetter(FormulaCanvas& canvas, bool draw) : c_(canvas), draw_(draw) {}

  Box set(const Node& n, double x, double y, double s) {
    switch (n.op) {
    case Op::Number: return text(n.text, x, y, s, false);
    case Op::Pi: return text(n.text, x, y, s, false);
    case Op::Variable: return variable(n, x, y, s);
    case Op::Term: return row(n.kids, x, y, s, 0.0, nullptr);
    case Op::Spaced: return row(n.kids, x, y, s, kThin * s, nullptr);
    case Op::Product: return row(n.kids, x, y, s, kOperator * s, "·");
    case Op::Sum: return row(n.kids, x, y, s, kOperator * s, "+");
    case Op::Difference: return row(n.kids, x, y, s, kOperator * s, "−");
    case Op::Slash: return row(n.kids, x, y, s, 0.02 * s, "/");
    case Op::Fraction: return fraction(n, x, y, s);
    case Op::Root: return root(n.kids.at(0), x, y, s);
    case Op::Square: return square(n.kids.at(0), x, y, s);
    case Op::Parens: return parens(n.kids.at(0), x, y, s);
    case Op::Ln: return function("ln", n.kids.at(0), x, y, s);
    case Op::Log: return function("log", n.kids.at(0), x, y, s);
    case Op::Equation: {
      Box name = text(n.text, x, y, s, true);
      return joined(name, x, y, s, kOperator * s, "=", n.kids.at(0));
    }
    }
    return {};
  }

private:
  static void grow(Box& box, const Box& part) {
    box.ascent = std::max(box.ascent, part.ascent);
    box.descent = std::max(box.descent, part.descent);
  }

  Box text(const std::string& t, double x, double y, double s, bool italic) {
    if (draw_) c_.text(x, y, t, s, italic);
    const double width = c_.textWidth(t, s, italic) + (italic ? kItalicOverhang * s : 0.0);
    return {width, kAscent * s, kDescent * s};
  }

  // A letter with its subscript, and a superscript standing over the
  // subscript (d_e²).
  Box variable(const Node& n, double x, double y, double s, const char* sup = nullptr) {
    Box box = text(n.text, x, y, s, true);
    const double at = x + box.width - 0.02 * s;
    double scripts = 0;
    if (!n.sub.empty()) {
      const bool digit = n.sub[0] >= '0' && n.sub[0] <= '9';
      Box sub = text(n.sub, at, y + kSubDrop * s, kScript * s, !digit);
      scripts = sub.width;
      box.descent = std::max(box.descent, kSubDrop * s + sub.descent);
    }
    if (sup) {
      const double raise = kSuperRaise * s;
      Box over = text(sup, at + 0.04 * s, y - raise, kScript * s, false);
      scripts = std::max(scripts, over.width + 0.04 * s);
      box.ascent = std::max(box.ascent, raise + over.ascent);
    }
    box.width = at + scripts - x;
    return box;
  }

  // Items in a row with a separator between them (a text, or only space).
  Box row(const std::vector<Node>& items, double x, double y, double s, double space, const char* separator) {
    Box box;
    double at = x;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i > 0) {
        at += space;
        if (separator) {
          Box sep = text(separator, at, y, s, false);
          grow(box, sep);
          at += sep.width + space;
        }
      }
      Box item = set(items[i], at, y, s);
      grow(box, item);
      at += item.width;
    }
    box.width = at - x;
    return box;
  }

  Box joined(Box first, double x, double y, double s, double space, const char* separator, const Node& second) {
    Box box = first;
    double at = x + first.width + space;
    Box sep = text(separator, at, y, s, false);
    grow(box, sep);
    at += sep.width + space;
    Box rest = set(second, at, y, s);
    grow(box, rest);
    box.width = at + rest.width - x;
    return box;
  }

  Box function(const char* name, const Node& argument, double x, double y, double s) {
    Box box = text(name, x, y, s, false);
    const bool stacked = argument.op == Op::Fraction;
    return appended(box, x, argument, y, s, stacked ? 0.1 * s : 0.03 * s);
  }

  Box appended(Box box, double x, const Node& next, double y, double s, double space) {
    const double at = x + box.width + space;
    Box rest = set(next, at, y, s);
    grow(box, rest);
    box.width = at + rest.width - x;
    return box;
  }

  Box fraction(const Node& n, double x, double y, double s) {
    // Measure both parts first, then centre them over the bar.
    Typesetter measure(c_, false);
    const Box top = measure.set(n.kids.at(0), 0, 0, s);
    const Box bottom = measure.set(n.kids.at(1), 0, 0, s);
    const double width = std::max(top.width, bottom.width) + 2 * kFracPad * s;
    const double bar = y - kAxis * s;
    const double gap = kFracGap * s;
    if (draw_) {
      c_.line(x, bar, x + width, bar, kRule * s);
      set(n.kids.at(0), x + (width - top.width) / 2, bar - gap - top.descent, s);
      set(n.kids.at(1), x + (width - bottom.width) / 2, bar + gap + bottom.ascent, s);
    }
    return {width, kAxis * s + gap + top.descent + top.ascent, gap + bottom.ascent + bottom.descent - kAxis * s};
  }

  Box root(const Node& radicand, double x, double y, double s) {
    const double hook = 0.56 * s;
    const double above = 0.12 * s;
    Typesetter measure(c_, false);
    const Box inner = measure.set(radicand, 0, 0, s);
    const double top = y - inner.ascent - above;
    const double bottom = y + inner.descent + 0.04 * s;
    if (draw_) {
      const double w = kRule * s;
      const double tickY = bottom - 0.42 * (bottom - top);
      c_.line(x + 0.04 * s, tickY + 0.05 * s, x + 0.16 * s, tickY, w);
      c_.line(x + 0.16 * s, tickY, x + 0.30 * s, bottom, 1.8 * w);
      c_.line(x + 0.30 * s, bottom, x + hook - 0.04 * s, top, w);
      c_.line(x + hook - 0.04 * s, top, x + hook + inner.width + 0.06 * s, top, w);
      set(radicand, x + hook + 0.02 * s, y, s);
    }
    return {hook + inner.width + 0.1 * s, inner.ascent + above + kRule * s, inner.descent + 0.04 * s + kRule * s};
  }

  Box square(const Node& base, double x, double y, double s) {
    if (base.op == Op::Variable) return variable(base, x, y, s, "2");
    Box box = set(base, x, y, s);
    const double raise = std::max(kSuperRaise * s, box.ascent - 0.45 * s);
    Box two = text("2", x + box.width + 0.03 * s, y - raise, kScript * s, false);
    box.width += 0.03 * s + two.width;
    box.ascent = std::max(box.ascent, raise + two.ascent);
    return box;
  }

  Box parens(const Node& content, double x, double y, double s) {
    Typesetter measure(c_, false);
    const Box inner = measure.set(content, 0, 0, s);
    const double top = y - std::max(inner.ascent, kAscent * s) - 0.04 * s;
    const double bottom = y + std::max(inner.descent, kDescent * s) + 0.04 * s;
    const double height = bottom - top;
    const double bow = 0.1 * s + 0.06 * height;  // how far the middle stands out
    const double side = bow + 0.06 * s;
    const double gap = 0.04 * s;
    if (draw_) {
      const double mid = (top + bottom) / 2;
      const double l = x + side;
      const double r = x + side + gap + inner.width + gap;
      // Two curves a little apart: thicker in the middle than at the ends.
      for (double t : {0.0, 0.045 * s}) {
        c_.curve(l, top, l - 2 * bow + t, mid, l, bottom, 0.03 * s);
        c_.curve(r, top, r + 2 * bow - t, mid, r, bottom, 0.03 * s);
      }
      set(content, x + side + gap, y, s);
    }
    return {2 * side + 2 * gap + inner.width, y - top, bottom - y};
  }

  FormulaCanvas& c_;
  bool draw_;
};

} // namespace

FormulaExtent measureFormula(FormulaPicture which, FormulaCanvas& canvas, double size) {
  const Box box = Typesetter(canvas, false).set(picture(which), 0, 0, size);
  return {box.width, box.ascent, box.descent};
}

void drawFormula(FormulaPicture which, FormulaCanvas& canvas, double x, double baseline, double size) {
  Typesetter(canvas, true).set(picture(which), x, baseline, size);
}

double evaluateFormula(FormulaPicture which, const FormulaValues& values) { return evaluate(picture(which), values); }

} // namespace tov
