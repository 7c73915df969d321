#pragma once
// Page millimetres to device pixels, and the drawing primitives and axis
// routines the page painters are built from. All coordinates are page
// millimetres (x to the right, y downwards, (0, 0) at the top and left
// margins); line widths and dash lengths are device pixels.
#include <optional>
#include <string>
#include <string_view>

#include "render/Surface.h"

namespace tov {

inline constexpr double kMmPerInchInverse = 0.03937007874015748;

// What a page can show. Values, texts and settings beyond these are kept as
// they are, but drawn as stated here, so that no file or setting can make
// drawing a page take more than a bounded amount of work.
//
// A value of a test larger in magnitude than kMaxDrawnValue (or one that
// overflows as it is read, such as 1e309) has no place on any axis, in any
// table cell or formula: it is drawn as no value at all. Within the range
// every axis spans at most 22 decades from the smallest value drawn on a
// log axis (1e-7), and a number prints in a few dozen characters.
inline constexpr double kMaxDrawnValue = 1e15;
// A text is drawn cut to this many CP932 bytes: more than a line across an
// A3 page holds at the smallest size of the page fonts anyone prints with.
inline constexpr int kMaxDrawnTextBytes = 256;

// The value of a text as it is drawn: the text read as a number (0 when it
// holds none, as toDouble), or nothing when that number is not finite or
// its magnitude exceeds kMaxDrawnValue.
std::optional<double> drawnValue(std::string_view text);
// The leading part of a text that is drawn: at most kMaxDrawnTextBytes CP932
// bytes, never splitting a character.
std::string_view drawnText(std::string_view text);

// The page transform, rebuilt at the start of every page rendering.
struct PageTransform {
  int dpiX = 96, dpiY = 96;
  double pxPerMmX = 96 * kMmPerInchInverse, pxPerMmY = 96 * kMmPerInchInverse;
  int zoomX = 100, zoomY = 100;
  double scaleX = 96 * kMmPerInchInverse, scaleY = 96 * kMmPerInchInverse;
  double originX = 15.0, originY = 15.0;  // mm: left and top margins
  double pageOffsetY = 0.0;               // mm: extra vertical shift

  // dpi from the surface, origin from the margins, pageOffsetY 0.
  void build(int dpiXValue, int dpiYValue, double leftMarginMm, double topMarginMm);
};

// The process-wide transform the primitives use.
PageTransform& pageTransform();

// trunc(originX * pxPerMmX + scaleX * x), clamped to -32767..32767.
int toDeviceX(double x);
// trunc((pageOffsetY + y) * scaleY + originY * pxPerMmY), clamped likewise.
int toDeviceY(double y);
// Pixels to millimetres by scaleX (0 when scaleX < 1e-7).
double pixelsToMm(int pixels);

// Fonts: the pixel height of a font of `points` points on the current
// surface: trunc(dpiY * points * 0.013888888888888888).
int fontHeightPx(double points);
// Creates and selects the renderer's font (colour, cell height in pixels,
// face, angle in degrees). Reports "Can't create font" and keeps the
// previous font when it cannot be created.
bool createFont(Surface& s, Colour colour, int heightPx, const std::string& faceName, int angleDegrees);

// The grid colour text parsed with automatic base ("0x808080").
Colour parseColourText(std::string_view text);

void moveToMm(Surface& s, double x, double y);
void lineMm(Surface& s, double x1, double y1, double x2, double y2, int penStyle, int widthPx, Colour colour);
void dashedLineMm(Surface& s, double x1, double y1, double x2, double y2, int solidPx, int blankPx,
                  int widthPx, Colour colour);
void circleMm(Surface& s, double x, double y, double radiusMm, int penStyle, int widthPx, Colour colour);
void clipToMm(Surface& s, double x1, double y1, double x2, double y2);
void unclip(Surface& s);
void textAtMm(Surface& s, double x, double y, std::string_view text);
void textInBoxMm(Surface& s, double x1, double y1, double x2, double y2, std::string_view text);
void spreadTextMm(Surface& s, double x1, double x2, double y1, double y2, double minimumSpanMm,
                  double charHeightMm, std::string_view text);
void textInPixelRect(Surface& s, int left, int top, int right, int bottom, std::string_view text,
                     Colour colour, int fontHeightPixels);
// x or y >= -9999: start at (X(x), Y(y)); otherwise continue from the
// current position. rightAlign == 2: end at that point instead.
void superscriptText(Surface& s, double x, double y, std::string_view base, std::string_view exponent,
                     std::string_view tail, int rightAlign);
void scientificText(Surface& s, double x, double y, std::string_view valueText, std::string_view tail);
// A line of text at (x, y) with every number in "E" notation in it
// ("2.01E-006") drawn as the page writes k: mantissa ×10 with the exponent
// raised ("2.01×10" and "-6").
void scientificLine(Surface& s, double x, double y, std::string_view text);
// Text at the current position, which advances past it (TA_UPDATECP must
// be set).
void textAtCurrent(Surface& s, std::string_view text);

// Linear map of v from [va, vb] to [ma, mb]; 0 for an empty range or a
// result outside +-999999.9.
double interpolate(double v, double va, double vb, double ma, double mb);

struct GridPen {
  int solid = 0;
  int blank = 0;
  int width = 1;
  Colour colour = kBlack;
};

void verticalGridLinear(Surface& s, double x0, double x1, double y0, double y1, double firstOffset,
                        double mainStep, double subStep, const GridPen& mainPen, const GridPen& subPen);
void horizontalGridLinear(Surface& s, double x0, double x1, double ya, double yb, double mainStep,
                          double subStep, const GridPen& mainPen, const GridPen& subPen, int fromBottom);
void horizontalGridLog(Surface& s, double x0, double x1, double yAtVa, double yAtVb, double va, double vb,
                       int subKind, const GridPen& mainPen, const GridPen& subPen, int subOnlyBelow5);
void labelsLinearX(Surface& s, double xAtFrom, double xAtTo, double y, double from, double to, double step);
int labelsLinearY(Surface& s, double x, double yAtFrom, double yAtTo, double from, double to, double step);
int labelsLogY(Surface& s, double x, double yAtVa, double yAtVb, double va, double vb, int labelKind);
// Width of "0" in the current font, in mm.
double digitWidthMm(Surface& s);

} // namespace tov
