#pragma once
// A drawing surface that draws nothing and remembers everything: every line,
// circle, point text, rectangle text and clip change, in device pixels. Used
// by the tests (to check what a painter drew) and by the benchmarks (a
// surface without rasterisation cost).
//
// Text metrics are deterministic so that layouts can be checked exactly:
// a text is (CP932 bytes x height / 2) pixels wide and (height) pixels high,
// where height is |font height| (kDefaultFontHeight before any font is
// selected). With TA_UPDATECP the current position advances by that width
// along the font's escapement (counter-clockwise, y growing downwards):
// forwards for left-aligned text, backwards for right-aligned text, not at
// all for centred text.
//
// Coordinates are recorded as passed: the layout always sets the window
// origin to (0, 0), so logical and device pixels coincide.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "render/Surface.h"

namespace tov {

// What every recorded primitive knows about the clip at the moment it was
// drawn, and its position in the overall drawing order.
struct RecordedState {
  std::size_t order = 0;  // 0, 1, 2 ... across all kinds of primitive
  bool clipped = false;   // a clip rectangle was active
  DeviceRect clip;        // the active clip (meaningful when clipped)
};

struct RecordedLine : RecordedState {
  DevicePoint from;
  DevicePoint to;
  Pen pen;
  bool isHorizontal() const { return from.y == to.y; }
  bool isVertical() const { return from.x == to.x; }
};

struct RecordedCircle : RecordedState {
  DevicePoint centre;
  int radius = 0;
  Pen pen;
};

struct RecordedText : RecordedState {
  DevicePoint at;       // the anchor actually used (the current position with TA_UPDATECP)
  std::string text;
  FontSpec font;
  unsigned align = 0;   // the alignment flags in force
  Colour colour = kBlack;
};

struct RecordedDrawText : RecordedState {
  DeviceRect rect;
  std::string text;
  unsigned flags = 0;
  FontSpec font;
  Colour colour = kBlack;
};

struct RecordedClipChange {
  std::size_t order = 0;
  bool active = false;  // false after resetClip
  DeviceRect clip;      // the clip after the change
};

class RecordingSurface : public Surface {
public:
  static constexpr int kDefaultFontHeight = 16;

  explicit RecordingSurface(int dpiX = 96, int dpiY = 96);

  // Surface
  int dpiX() const override { return dpiX_; }
  int dpiY() const override { return dpiY_; }
  void setWindowOrg(int x, int y) override;
  void setBkModeTransparent() override { bkTransparent_ = true; }
  void moveTo(int x, int y) override;
  DevicePoint currentPosition() const override { return current_; }
  void lineTo(int x, int y, const Pen& pen) override;
  void circle(int cx, int cy, int radius, const Pen& pen) override;
  bool selectFont(const FontSpec& font) override;
  const FontSpec& currentFont() const override { return font_; }
  void setTextColor(Colour colour) override { textColour_ = colour; }
  void setTextAlign(unsigned flags) override { align_ = flags; }
  unsigned textAlign() const override { return align_; }
  void textOut(int x, int y, std::string_view text) override;
  void drawText(const DeviceRect& rect, std::string_view text, unsigned flags) override;
  DeviceSize textExtent(std::string_view text) override;
  void intersectClipRect(const DeviceRect& rect) override;
  void resetClip() override;

  // Configuration.
  void setDpi(int dpiX, int dpiY);
  // selectFont fails (returns false, keeps the font) for this face name.
  void failFontFace(std::string faceName);
  void clearFailingFaces();

  // What was drawn, in drawing order per kind.
  const std::vector<RecordedLine>& lines() const { return lines_; }
  const std::vector<RecordedCircle>& circles() const { return circles_; }
  const std::vector<RecordedText>& texts() const { return texts_; }
  const std::vector<RecordedDrawText>& drawTexts() const { return drawTexts_; }
  const std::vector<RecordedClipChange>& clipChanges() const { return clipChanges_; }

  // The first point text equal to `text`, or nullptr.
  const RecordedText* findText(std::string_view text) const;
  // The first rectangle text equal to `text`, or nullptr.
  const RecordedDrawText* findDrawText(std::string_view text) const;
  // Point texts that contain `part`, in drawing order.
  std::vector<const RecordedText*> textsContaining(std::string_view part) const;
  // The point texts joined in drawing order (handy for composite texts).
  std::string allText() const;
  // Lines drawn with exactly this pen / with this width and colour.
  std::vector<const RecordedLine*> linesWithPen(const Pen& pen) const;
  std::vector<const RecordedLine*> linesWithPen(int width, Colour colour) const;

  // Current state.
  bool clipActive() const { return clipActive_; }
  const DeviceRect& clipRect() const { return clip_; }
  Colour textColour() const { return textColour_; }
  bool backgroundTransparent() const { return bkTransparent_; }
  DevicePoint windowOrg() const { return windowOrg_; }
  int fontSelections() const { return fontSelections_; }        // successful selectFont calls
  int failedFontSelections() const { return failedFontSelections_; }

  // Forgets what was drawn (the records and counters); the surface state
  // (font, colour, alignment, position, clip, dpi, failing faces) stays.
  void clear();

  // The deterministic width of a text in a font of this height.
  static int textWidthFor(std::string_view text, int fontHeight);

private:
  RecordedState state();
  int fontHeight() const;

  int dpiX_, dpiY_;
  DevicePoint windowOrg_;
  bool bkTransparent_ = false;
  DevicePoint current_;
  FontSpec font_;
  Colour textColour_ = kBlack;
  unsigned align_ = 0;
  bool clipActive_ = false;
  DeviceRect clip_;
  std::vector<std::string> failingFaces_;
  std::size_t order_ = 0;
  int fontSelections_ = 0;
  int failedFontSelections_ = 0;

  std::vector<RecordedLine> lines_;
  std::vector<RecordedCircle> circles_;
  std::vector<RecordedText> texts_;
  std::vector<RecordedDrawText> drawTexts_;
  std::vector<RecordedClipChange> clipChanges_;
};

} // namespace tov
