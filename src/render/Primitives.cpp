#include "render/Primitives.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <regex>
#include <string>

#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/TestRecord.h"

namespace tov {

namespace {

constexpr double kDeviceLimit = 32767.0;
constexpr double kInterpolateLimit = 999999.9;
constexpr int kMaxDashes = 1000001;
constexpr int kMaxGridLines = 400;
constexpr int kMaxLabelsX = 103;
constexpr int kMaxLabelsY = 102;
constexpr int kMaxDecades = 1000;

// Truncates toward zero and clamps to the coordinate range every surface
// accepts. A value that is not a number maps to 0.
int truncClamp(double v) {
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  if (v > kDeviceLimit) return static_cast<int>(kDeviceLimit);
  if (v < -kDeviceLimit) return static_cast<int>(-kDeviceLimit);
  return static_cast<int>(v);
}

int clampToInt(long long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < -INT_MAX) return -INT_MAX;
  return static_cast<int>(v);
}

int sign(int v) { return (v > 0) - (v < 0); }

// Length in bytes of the UTF-8 sequence starting with this byte (1 for a
// stray continuation byte, so that walking always advances).
std::size_t utf8SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// Characters after the first '.' of v printed with "%g" (0 without one).
int decimalsOf(double v) {
  const std::string text = cformat("%g", v);
  const auto dot = text.find('.');
  return dot == std::string::npos ? 0 : static_cast<int>(text.size() - dot - 1);
}

// The fixed-point format linear labels are printed with: enough decimals
// for the range ends and the step as "%g" writes them, at most 6.
std::string linearLabelFormat(double from, double to, double step) {
  const int d = std::max({decimalsOf(from), decimalsOf(to), decimalsOf(step)});
  if (d >= 7) return "%.6f";
  return cformat("%%.%df", d);
}

std::string formatLabel(const std::string& format, double v) {
  if (std::fabs(v) < 1e-7) v = 0.0;
  return cformat(format.c_str(), v);
}

void gridLine(Surface& s, double x1, double y1, double x2, double y2, const GridPen& pen, Colour colour) {
  dashedLineMm(s, x1, y1, x2, y2, pen.solid, pen.blank, pen.width, colour);
}

} // namespace

std::optional<double> drawnValue(std::string_view text) {
  const double v = toDouble(text);
  if (!(std::fabs(v) <= kMaxDrawnValue)) return std::nullopt;
  return v;
}

std::string_view drawnText(std::string_view text) {
  if (text.size() <= static_cast<std::size_t>(kMaxDrawnTextBytes) / 2) return text;  // fits whatever it holds
  return text.substr(0, cp932PrefixLength(text, kMaxDrawnTextBytes));
}

void PageTransform::build(int dpiXValue, int dpiYValue, double leftMarginMm, double topMarginMm) {
  dpiX = dpiXValue;
  dpiY = dpiYValue;
  pxPerMmX = dpiX * kMmPerInchInverse;
  pxPerMmY = dpiY * kMmPerInchInverse;
  zoomX = 100;
  zoomY = 100;
  scaleX = (100.0 / zoomX) * pxPerMmX;
  scaleY = (100.0 / zoomY) * pxPerMmY;
  originX = leftMarginMm;
  originY = topMarginMm;
  pageOffsetY = 0.0;
}

PageTransform& pageTransform() {
  // One per thread: pages of several tests are drawn at once.
  thread_local PageTransform transform;
  return transform;
}

int toDeviceX(double x) {
  const PageTransform& t = pageTransform();
  return truncClamp(t.originX * t.pxPerMmX + t.scaleX * x);
}

int toDeviceY(double y) {
  const PageTransform& t = pageTransform();
  return truncClamp((t.pageOffsetY + y) * t.scaleY + t.originY * t.pxPerMmY);
}

double pixelsToMm(int pixels) {
  const double scale = pageTransform().scaleX;
  if (scale < 1e-7) return 0.0;
  return pixels / scale;
}

int fontHeightPx(double points) {
  const double px = std::trunc(pageTransform().dpiY * points * 0.013888888888888888);
  if (std::isnan(px)) return 0;
  return static_cast<int>(std::clamp(px, -kDeviceLimit, kDeviceLimit));
}

bool createFont(Surface& s, Colour colour, int heightPx, const std::string& faceName, int angleDegrees) {
  FontSpec font;
  font.height = heightPx;
  font.width = 0;
  font.escapement = angleDegrees * 10;
  font.weight = 0;
  font.italic = false;
  font.charSet = 128;
  font.outPrecision = 0;
  font.quality = 1;
  font.faceName = faceName;
  if (!s.selectFont(font)) {
    reportMessage(IDS_CANNOT_CREATE_FONT);
    return false;
  }
  s.setTextColor(colour);
  return true;
}

Colour parseColourText(std::string_view text) {
  return static_cast<Colour>(static_cast<unsigned long>(toLongAutoBase(text)) & 0xFFFFFFFFul);
}

void moveToMm(Surface& s, double x, double y) { s.moveTo(toDeviceX(x), toDeviceY(y)); }

void lineMm(Surface& s, double x1, double y1, double x2, double y2, int penStyle, int widthPx, Colour colour) {
  if (widthPx <= 0) return;
  s.moveTo(toDeviceX(x1), toDeviceY(y1));
  s.lineTo(toDeviceX(x2), toDeviceY(y2), Pen{penStyle, widthPx, colour});
}

void dashedLineMm(Surface& s, double x1, double y1, double x2, double y2, int solidPx, int blankPx,
                  int widthPx, Colour colour) {
  if (widthPx <= 0) return;
  if (blankPx <= 0) {
    lineMm(s, x1, y1, x2, y2, PS_SOLID, widthPx, colour);
    return;
  }
  if (solidPx <= 0) return;

  const int startX = toDeviceX(x1), startY = toDeviceY(y1);
  const int endX = toDeviceX(x2), endY = toDeviceY(y2);
  const int sx = sign(endX - startX), sy = sign(endY - startY);
  const long long dashX = static_cast<long long>(sx) * solidPx, dashY = static_cast<long long>(sy) * solidPx;
  const long long stepX = static_cast<long long>(sx) * (static_cast<long long>(solidPx) + blankPx);
  const long long stepY = static_cast<long long>(sy) * (static_cast<long long>(solidPx) + blankPx);
  const Pen pen{PS_SOLID, widthPx, colour};

  // Dashes run rightwards and downwards only. An axis that runs the other
  // way never keeps the walk going: its "less than" test would stay true
  // for ever and lay a million dashes beyond the end of the line.
  long long x = startX, y = startY;
  int count = 0;
  for (; count < kMaxDashes; ++count) {
    const bool moreX = sx > 0 && x < endX - dashX;
    const bool moreY = sy > 0 && y < endY - dashY;
    if (!moreX && !moreY) break;
    x += stepX;
    y += stepY;
  }
  if (count > 0)
    s.dashes(startX, startY, clampToInt(dashX), clampToInt(dashY), clampToInt(stepX), clampToInt(stepY), count, pen);
}

void circleMm(Surface& s, double x, double y, double radiusMm, int penStyle, int widthPx, Colour colour) {
  // Unlike lines, circles have no width check: a pen of width 0 is the
  // thinnest the device draws, so the plotted points stay visible when the
  // frame width is set to 0.
  const int radius = truncClamp(pageTransform().scaleY * radiusMm);
  s.circle(toDeviceX(x), toDeviceY(y), radius, Pen{penStyle, widthPx, colour});
}

void clipToMm(Surface& s, double x1, double y1, double x2, double y2) {
  s.intersectClipRect(DeviceRect{toDeviceX(x1), toDeviceY(y1), toDeviceX(x2), toDeviceY(y2)});
}

void unclip(Surface& s) { s.resetClip(); }

void textAtMm(Surface& s, double x, double y, std::string_view text) {
  s.textOut(toDeviceX(x), toDeviceY(y), drawnText(text));
}

namespace {
DeviceRect normalisedShrunk(int left, int top, int right, int bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  return DeviceRect{left + 1, top + 1, right - 1, bottom - 1};
}
} // namespace

void textInBoxMm(Surface& s, double x1, double y1, double x2, double y2, std::string_view text) {
  const DeviceRect rect = normalisedShrunk(toDeviceX(x1), toDeviceY(y1), toDeviceX(x2), toDeviceY(y2));
  s.drawText(rect, drawnText(text), DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
}

void spreadTextMm(Surface& s, double x1, double x2, double y1, double y2, double minimumSpanMm,
                  double charHeightMm, std::string_view text) {
  text = drawnText(text);
  s.setTextAlign(TA_LEFT | TA_TOP);
  const double top = (y1 + y2 - charHeightMm) * 0.5;
  double span = x2 - x1;
  if (span < minimumSpanMm) span = minimumSpanMm;
  const int n = cp932Length(text);
  // The step puts the last character's start at the span's end less one
  // character: minimumSpanMm is the width of a full-width character. When
  // the text ends in a half-width character (the default label "No."), its
  // start lies one byte further on and it is half as wide; measuring over
  // two bytes would push it far beyond the cell, over the value beside it.
  double step = span * 0.5;
  if (n > 2) {
    std::size_t lastStart = text.size();
    while (lastStart > 0 && (static_cast<unsigned char>(text[lastStart - 1]) & 0xC0) == 0x80) --lastStart;
    if (lastStart > 0) --lastStart;
    const bool endsHalfWidth = cp932Length(text.substr(lastStart)) == 1;
    step = endsHalfWidth ? (span - minimumSpanMm * 0.5) / (n - 1) : (span - minimumSpanMm) / (n - 2);
  }

  // Each character sits at its byte position in the file's code page, so a
  // full-width character takes two steps and a half-width one a single step.
  int byteIndex = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t len =
        std::min(utf8SequenceLength(static_cast<unsigned char>(text[pos])), text.size() - pos);
    const std::string_view character = text.substr(pos, len);
    textAtMm(s, x1 + byteIndex * step, top, character);
    byteIndex += cp932Length(character);
    pos += len;
  }
}

void textInPixelRect(Surface& s, int left, int top, int right, int bottom, std::string_view text,
                     Colour colour, int fontHeightPixels) {
  const DeviceRect rect = normalisedShrunk(left, top, right, bottom);
  const FontSpec previous = s.currentFont();
  FontSpec font;
  font.height = fontHeightPixels;
  font.width = 0;
  font.charSet = 128;
  font.outPrecision = 0;
  font.quality = 0;
  font.faceName.clear();  // the platform's default face
  if (!s.selectFont(font)) return;
  s.setBkModeTransparent();
  s.setTextColor(colour);
  s.drawText(rect, drawnText(text), DT_WORDBREAK | DT_NOCLIP);
  s.selectFont(previous);
}

void textAtCurrent(Surface& s, std::string_view text) {
  const DevicePoint p = s.currentPosition();
  s.textOut(p.x, p.y, drawnText(text));
}

namespace {
int superscriptRaise() { return toDeviceY(0.8) - toDeviceY(0.0); }

void drawRaised(Surface& s, std::string_view text, int raise) {
  DevicePoint p = s.currentPosition();
  s.moveTo(p.x, p.y - raise);
  textAtCurrent(s, text);
  p = s.currentPosition();
  s.moveTo(p.x, p.y + raise);
}
} // namespace

void superscriptText(Surface& s, double x, double y, std::string_view base, std::string_view exponent,
                     std::string_view tail, int rightAlign) {
  base = drawnText(base);
  exponent = drawnText(exponent);
  tail = drawnText(tail);
  s.setTextAlign(TA_UPDATECP);
  const int raise = superscriptRaise();
  if (x >= -9999 || y >= -9999) moveToMm(s, x, y);
  if (rightAlign == 2) {
    std::string whole;
    whole.reserve(base.size() + exponent.size() + tail.size());
    whole.append(base).append(exponent).append(tail);
    const int width = s.textExtent(whole).cx;
    const DevicePoint p = s.currentPosition();
    s.moveTo(p.x - width, p.y);
  }
  textAtCurrent(s, base);
  drawRaised(s, exponent, raise);
  textAtCurrent(s, tail);
  s.setTextAlign(TA_LEFT | TA_TOP);
}

void scientificText(Surface& s, double x, double y, std::string_view valueText, std::string_view tail) {
  valueText = drawnText(valueText);
  s.setTextAlign(TA_UPDATECP);
  const auto e = valueText.find('E');
  if (classifyNumberText(valueText) > 0 && e != std::string_view::npos) {
    const int raise = superscriptRaise();
    moveToMm(s, x, y);
    std::string mantissa(valueText.substr(0, e));
    mantissa += "×10";
    textAtCurrent(s, mantissa);
    drawRaised(s, cformat("%d", toInt(valueText.substr(e + 1))), raise);
    textAtCurrent(s, tail);
  }
  // Reset in every case, so that a value that is not drawn does not leave
  // later texts anchored at the current position.
  s.setTextAlign(TA_LEFT | TA_TOP);
}

void scientificLine(Surface& s, double x, double y, std::string_view text) {
  const std::string line(drawnText(text));
  static const std::regex number(R"((\d+(?:\.\d+)?)E([+-]\d+))");
  s.setTextAlign(TA_UPDATECP);
  moveToMm(s, x, y);
  const int raise = superscriptRaise();
  std::size_t from = 0;
  for (std::sregex_iterator it(line.begin(), line.end(), number), end; it != end; ++it) {
    const std::size_t at = static_cast<std::size_t>(it->position(0));
    if (at > from) textAtCurrent(s, std::string_view(line).substr(from, at - from));
    textAtCurrent(s, (*it)[1].str() + "×10");
    drawRaised(s, cformat("%d", toInt((*it)[2].str())), raise);
    from = at + static_cast<std::size_t>(it->length(0));
  }
  if (from < line.size()) textAtCurrent(s, std::string_view(line).substr(from));
  s.setTextAlign(TA_LEFT | TA_TOP);
}

double interpolate(double v, double va, double vb, double ma, double mb) {
  if (std::fabs(vb - va) < 1e-7) return 0.0;
  const double r = ma + (v - va) / (vb - va) * (mb - ma);
  if (r >= -kInterpolateLimit && r <= kInterpolateLimit) return r;
  return 0.0;
}

void verticalGridLinear(Surface& s, double x0, double x1, double y0, double y1, double firstOffset,
                        double mainStep, double subStep, const GridPen& mainPen, const GridPen& subPen) {
  if (x0 > x1) std::swap(x0, x1);

  if (subStep >= 0.1 && !(std::fabs(mainStep - subStep) < 0.001)) {
    double x = x0 + subStep;
    for (int n = 0; n < kMaxGridLines && x < x1; ++n, x += subStep) gridLine(s, x, y0, x, y1, subPen, subPen.colour);
  }

  double x = x0 + firstOffset;
  if (mainStep >= 0.1) {
    for (int n = 0; n < kMaxGridLines && x < x1; ++n, x += mainStep) gridLine(s, x, y0, x, y1, mainPen, kBlack);
  } else if (mainStep <= -0.1) {
    for (int n = 0; n < kMaxGridLines && x > x0; ++n, x += mainStep) gridLine(s, x, y0, x, y1, mainPen, kBlack);
  }

  gridLine(s, x0, y0, x0, y1, mainPen, kBlack);
  gridLine(s, x1, y0, x1, y1, mainPen, kBlack);
}

void horizontalGridLinear(Surface& s, double x0, double x1, double ya, double yb, double mainStep,
                          double subStep, const GridPen& mainPen, const GridPen& subPen, int fromBottom) {
  mainStep = std::fabs(mainStep);
  subStep = std::fabs(subStep);
  const double yMin = std::min(ya, yb), yMax = std::max(ya, yb);

  auto lines = [&](double step, const GridPen& pen, Colour colour) {
    // A zero step would put every line on the axis end.
    if (!(step > 1e-7)) return;
    if (fromBottom == 1) {
      double y = yMax - step;
      for (int n = 0; n < kMaxGridLines && y > yMin; ++n, y -= step) gridLine(s, x0, y, x1, y, pen, colour);
    } else {
      double y = yMin + step;
      for (int n = 0; n < kMaxGridLines && y < yMax; ++n, y += step) gridLine(s, x0, y, x1, y, pen, colour);
    }
  };
  if (!(std::fabs(mainStep - subStep) < 0.001)) lines(subStep, subPen, subPen.colour);
  lines(mainStep, mainPen, kBlack);
}

void horizontalGridLog(Surface& s, double x0, double x1, double yAtVa, double yAtVb, double va, double vb,
                       int subKind, const GridPen& mainPen, const GridPen& subPen, int subOnlyBelow5) {
  if (!(va >= 1e-7) || !(vb >= 1e-7)) return;
  if (va > vb) {
    std::swap(va, vb);
    std::swap(yAtVa, yAtVb);
  }
  if (vb - va < 1e-7) return;
  const double lMin = std::log10(va), lMax = std::log10(vb);
  const double d0 = std::floor(lMin);
  if (d0 >= lMax) return;

  int bound = 1;
  switch (subKind) {
    case 1: bound = 2; break;
    case 2: bound = 5; break;
    case 3: bound = 8; break;
    case 4: bound = 0; break;
    default: bound = 1; break;
  }

  double last = -HUGE_VAL;
  for (int w = 0; w <= kMaxDecades && last < lMax; ++w) {
    for (int n = 10; n <= 99; n += (n < 10 * bound) ? 1 : 2) {
      const double l = (d0 + w) + std::log10(n / 10.0);
      last = l;
      if (!(l > lMin && l < lMax)) continue;
      const double y = interpolate(l, lMin, lMax, yAtVa, yAtVb);
      if (n % 10 == 0) {
        gridLine(s, x0, y, x1, y, mainPen, kBlack);
      } else if (n % 10 <= bound && !(subOnlyBelow5 == 1 && n > 50)) {
        gridLine(s, x0, y, x1, y, subPen, subPen.colour);
      }
    }
  }
}

void labelsLinearX(Surface& s, double xAtFrom, double xAtTo, double y, double from, double to, double step) {
  if (std::fabs(to - from) < 1e-10) return;
  const std::string format = linearLabelFormat(from, to, step);
  if (std::fabs(step) < 1e-7) step = std::fabs(to - from);
  if (to < from) step = -std::fabs(step);

  double v = from;
  if (step >= 0) {
    for (int n = 0; n < kMaxLabelsX && v < to + 1e-7; ++n, v += step)
      textAtMm(s, interpolate(v, from, to, xAtFrom, xAtTo), y, formatLabel(format, v));
  } else {
    for (int n = 0; n < kMaxLabelsX && v > to - 1e-7; ++n, v += step)
      textAtMm(s, interpolate(v, from, to, xAtFrom, xAtTo), y, formatLabel(format, v));
  }
}

int labelsLinearY(Surface& s, double x, double yAtFrom, double yAtTo, double from, double to, double step) {
  if (std::fabs(to - from) < 1e-10) return 0;
  const std::string format = linearLabelFormat(from, to, step);
  if (std::fabs(step) < 1e-7) step = std::fabs(to - from);
  if (to < from) step = -std::fabs(step);

  int widest = 0;
  double v = from;
  for (int n = 0; n < kMaxLabelsY && (step >= 0 ? v < to + 1e-7 : v > to - 1e-7); ++n, v += step) {
    const std::string label = formatLabel(format, v);
    textAtMm(s, x, interpolate(v, from, to, yAtFrom, yAtTo), label);
    widest = std::max(widest, static_cast<int>(label.size()));
  }
  return widest;
}

int labelsLogY(Surface& s, double x, double yAtVa, double yAtVb, double va, double vb, int labelKind) {
  // Both ends must be positive: a logarithm of anything else has no place.
  if (!(va >= 1e-10) || !(vb >= 1e-10)) return 0;

  static constexpr double kOneTwoFive[] = {1, 2, 5};
  static constexpr double kOneToNine[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  static constexpr double kOne[] = {1};
  const double* multipliers = kOne;
  int count = 1;
  if (labelKind == 1) {
    multipliers = kOneTwoFive;
    count = 3;
  } else if (labelKind == 2) {
    multipliers = kOneToNine;
    count = 9;
  }

  if (std::fabs(va) > std::fabs(vb)) {
    std::swap(va, vb);
    std::swap(yAtVa, yAtVb);
  }
  const double la = std::log10(va), lb = std::log10(vb);
  const double d0 = std::floor(la);
  if (d0 >= lb) return 0;
  const double decadeBase = std::pow(10.0, d0);

  int widest = 0;
  double factor = 1.0;
  for (int w = 0; w <= kMaxDecades; ++w, factor *= 10.0) {
    for (int i = 0; i < count; ++i) {
      const double m = multipliers[i];
      const double l = std::log10(m) + w + d0;
      if (l >= la && l <= lb) {
        const double y = std::trunc(interpolate(l, la, lb, yAtVa, yAtVb));
        const double value = factor * decadeBase * m;
        std::string label;
        if (value < 1.0) label = cformat("%.g", value);
        else if (value + 1e-10 < 9.0e18) label = cformat("%ld", static_cast<long>(value + 1e-10));
        else label = cformat("%.0f", value);  // beyond the range of a long
        textAtMm(s, x, y, label);
        widest = std::max(widest, static_cast<int>(label.size()));
      }
      if (!(l < lb)) return widest;
    }
  }
  return widest;
}

double digitWidthMm(Surface& s) { return pixelsToMm(s.textExtent("0").cx); }

} // namespace tov
