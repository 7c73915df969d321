#pragma once
// The drawing surface the page layout is written against. It offers the
// few operations the layout needs, with the semantics the layout relies on:
// device pixels with y growing downwards, a current position, text anchored
// by alignment flags (left/right/centre with top/bottom, optionally at and
// advancing the current position), fonts with an escapement angle, per-call
// pens, clipping to rectangles and text extents.
//
// Implementations: the QPainter surface of the application (screen,
// printer, PDF, PNG) and the recording surface of the tests.
#include <cstdint>
#include <string>
#include <string_view>

namespace tov {

using Colour = std::uint32_t;  // 0x00BBGGRR: 0 black, 255 pure red
inline constexpr Colour kBlack = 0;
inline constexpr Colour kRed = 255;

struct DevicePoint {
  int x = 0;
  int y = 0;
  bool operator==(const DevicePoint&) const = default;
};
struct DeviceSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const DeviceSize&) const = default;
};
struct DeviceRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const DeviceRect&) const = default;
};

enum PenStyle : int { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_NULL = 5 };
struct Pen {
  int style = PS_SOLID;
  int width = 1;  // device pixels; 0 draws nothing
  Colour colour = kBlack;
  bool operator==(const Pen&) const = default;
};

// Text alignment flags. The values are part of the layout's vocabulary
// (TA_CENTER includes the TA_RIGHT bit).
enum TextAlign : unsigned {
  TA_NOUPDATECP = 0, TA_UPDATECP = 1,
  TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6,
  TA_TOP = 0, TA_BOTTOM = 8, TA_BASELINE = 24,
};
inline constexpr unsigned kHorizontalAlignMask = 6;
inline constexpr unsigned kVerticalAlignMask = 24;

// Text-in-rectangle flags.
enum DrawTextFlags : unsigned {
  DT_LEFT = 0, DT_CENTER = 0x1, DT_VCENTER = 0x4, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_NOCLIP = 0x100,
};

// A font as the layout asks for it. height is the character-cell height in
// pixels (positive); escapement is the angle in tenths of a degree,
// counter-clockwise.
struct FontSpec {
  int height = 0;
  int width = 0;
  int escapement = 0;
  int weight = 0;
  bool italic = false;
  bool underline = false;
  int charSet = 128;  // Shift-JIS
  int outPrecision = 0;
  int quality = 1;
  std::string faceName;  // empty: the platform's default face
  bool operator==(const FontSpec&) const = default;
};

class Surface {
protected:
  static int clampToInt(long long v) {
    return v > 2147483647LL ? 2147483647 : (v < -2147483647LL ? -2147483647 : static_cast<int>(v));
  }

public:
  virtual ~Surface() = default;

  // Logical pixels per inch.
  virtual int dpiX() const = 0;
  virtual int dpiY() const = 0;

  virtual void setWindowOrg(int x, int y) = 0;
  virtual void setBkModeTransparent() = 0;

  virtual void moveTo(int x, int y) = 0;
  virtual DevicePoint currentPosition() const = 0;
  // A line from the current position to (x, y) with the pen; the current
  // position moves to (x, y). A pen of width 0 draws nothing (but moves).
  virtual void lineTo(int x, int y, const Pen& pen) = 0;
  // An unfilled circle.
  virtual void circle(int cx, int cy, int radius, const Pen& pen) = 0;
  // A row of `count` equal dashes: the first from (x, y) to (x + dashX,
  // y + dashY), each next one (stepX, stepY) further on; the current
  // position ends at the end of the last dash. The default draws each dash
  // with moveTo and lineTo; a surface may draw the row in one go.
  virtual void dashes(int x, int y, int dashX, int dashY, int stepX, int stepY, int count, const Pen& pen) {
    long long px = x, py = y;
    for (int i = 0; i < count; ++i, px += stepX, py += stepY) {
      moveTo(clampToInt(px), clampToInt(py));
      lineTo(clampToInt(px + dashX), clampToInt(py + dashY), pen);
    }
  }

  // Selects a new font; false when it cannot be created (the surface keeps
  // the font it had).
  virtual bool selectFont(const FontSpec& font) = 0;
  virtual const FontSpec& currentFont() const = 0;
  virtual void setTextColor(Colour colour) = 0;
  virtual void setTextAlign(unsigned flags) = 0;
  virtual unsigned textAlign() const = 0;

  // Text anchored at (x, y) by the alignment. With TA_UPDATECP the text is
  // anchored at the current position instead, which then advances by the
  // text's width along the font's escapement (left alignment).
  virtual void textOut(int x, int y, std::string_view text) = 0;
  // Text laid out in a rectangle by DrawTextFlags.
  virtual void drawText(const DeviceRect& rect, std::string_view text, unsigned flags) = 0;
  // Width and height of the text in the current font, in pixels.
  virtual DeviceSize textExtent(std::string_view text) = 0;

  // Intersects the clip region with the rectangle / removes all clipping.
  virtual void intersectClipRect(const DeviceRect& rect) = 0;
  virtual void resetClip() = 0;

  // Finishes whatever drawing the surface holds back (a surface may collect
  // lines and draw them together). Page rendering ends with it.
  virtual void flush() {}
};

} // namespace tov
