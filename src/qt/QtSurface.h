#pragma once
// The drawing surface of the application: the page layout drawn with a
// QPainter on any paint device (the view widget, a QPrinter, a QPdfWriter,
// a QImage). Resolution comes from the device's logical dpi unless given.
//
// Text follows the layout's anchoring rules: TA_TOP puts the top of the
// character cell at y, TA_BOTTOM the bottom of the cell, TA_BASELINE the
// baseline; TA_CENTER / TA_RIGHT measure the advance width; TA_UPDATECP
// uses and advances the current position along the escapement. A font's
// positive height is its cell height (ascent + descent).
//
// Japanese faces that are not installed (the page fonts default to
// "ＭＳ 明朝") are drawn with an installed Mincho or Gothic face.
//
// Glyphs are drawn from their outlines without hinting. The desktop's usual
// slight hinting snaps the thin horizontal strokes of a Mincho face to the
// pixel grid, which at the 11 to 14 pixel sizes of a page on screen closes
// the upper bowl of "8" (so "480" reads "430") and squeezes the full stop
// into a comma.
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QList>
#include <QRawFont>
#include <QLine>
#include <QRegion>
#include <QStaticText>
#include <QString>
#include <QTransform>
#include <QVector>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "render/Surface.h"

class QPainter;

namespace tov {

// What a surface keeps of the fonts, texts and circles it has drawn: the
// fonts with the layout of their texts, and circle images. A caller that
// draws the same pages again and again (the view, on every paint; an export
// of many tests, on every page) keeps one for the surfaces it makes, so that
// a page does not start cold.
class QtSurfaceCache {
public:
  // A laid-out text of one font: drawn again without a new layout. A PDF
  // file or printer draws the glyph runs, which its engine takes as they
  // are (a static text is laid out anew there on every draw); others draw
  // the static text.
  struct TextEntry {
    QStaticText text;
    bool prepared = false;  // the static text's layout made
    int width = 0;
    bool laidOut = false;   // the glyph runs and line measures made
    QList<QGlyphRun> runs;  // relative to the top left of the first line
    int lines = 0;
    qreal lineAscent = 0;   // of the first line
    qreal lineHeight = 0;   // of the first line, ascent and descent
    qreal advance = 0;      // of the first line
  };
  struct FontEntry {
    QFont font;
    QFontMetrics metrics;
    int ascent = 0;
    int descent = 0;
    std::unordered_map<std::string, TextEntry> texts;
  };
  std::unordered_map<std::string, FontEntry> fonts;
  std::unordered_map<unsigned long long, QImage> circleStamps;
  // What it was made for (set and checked by its users, see ThreadSurfaceCache).
  int dpiX = 0, dpiY = 0, engine = -1;
};

// The cache the exports on this thread draw with while one is in scope: a
// batch keeps one per worker, so that the labels of all pages and tests are
// laid out once. A scope within another uses the outer one's cache.
class ThreadSurfaceCache {
public:
  ThreadSurfaceCache();
  ~ThreadSurfaceCache();
  ThreadSurfaceCache(const ThreadSurfaceCache&) = delete;
  ThreadSurfaceCache& operator=(const ThreadSurfaceCache&) = delete;
  // The current scope's cache for a painter at the resolution, emptied when
  // it was made for another resolution or paint engine; nothing outside a
  // scope.
  static QtSurfaceCache* forPainter(const QPainter& painter, int dpiX, int dpiY);

private:
  QtSurfaceCache cache_;
  bool outermost_ = false;
};

class QtSurface : public Surface {
public:
  // Draws with the painter (which must be active); dpi from painter.device().
  // While the surface is in use it alone sets the painter's pen and font.
  explicit QtSurface(QPainter& painter);
  // Draws at the given resolution instead of the device's (the view draws a
  // zoomed page at the screen's resolution times the zoom), keeping what it
  // lays out in `cache` when one is given (it must outlive the surface).
  QtSurface(QPainter& painter, int dpiX, int dpiY, QtSurfaceCache* cache = nullptr);
  ~QtSurface() override;
  QtSurface(const QtSurface&) = delete;
  QtSurface& operator=(const QtSurface&) = delete;

  int dpiX() const override { return dpiX_; }
  int dpiY() const override { return dpiY_; }
  void setWindowOrg(int x, int y) override;
  void setBkModeTransparent() override;
  void moveTo(int x, int y) override;
  DevicePoint currentPosition() const override { return current_; }
  void lineTo(int x, int y, const Pen& pen) override;
  void circle(int cx, int cy, int radius, const Pen& pen) override;
  void dashes(int x, int y, int dashX, int dashY, int stepX, int stepY, int count, const Pen& pen) override;
  bool selectFont(const FontSpec& font) override;
  const FontSpec& currentFont() const override { return spec_; }
  void setTextColor(Colour colour) override;
  void setTextAlign(unsigned flags) override { align_ = flags; }
  unsigned textAlign() const override { return align_; }
  void textOut(int x, int y, std::string_view text) override;
  void drawText(const DeviceRect& rect, std::string_view text, unsigned flags) override;
  DeviceSize textExtent(std::string_view text) override;
  void intersectClipRect(const DeviceRect& rect) override;
  void resetClip() override;
  // Draws the lines held back so far (consecutive lines with the same pen
  // are drawn in one call; any other drawing flushes them first).
  void flush() override;

  // The QFont used for a font request (family substituted, pixel size
  // chosen so that ascent + descent equals the cell height).
  QFont qtFontFor(const FontSpec& font);
  // The QFont currently in use.
  const QFont& currentQtFont() const { return qfont_; }

  // The installed family a face name is drawn with: the face itself when
  // installed, else an installed Gothic face for Gothic names and a Mincho
  // face for all others (the empty name included).
  static QString substituteFamily(const std::string& faceName);
  // 0x00BBGGRR to QColor.
  static QColor toQColor(Colour colour);

private:
  QPainter& painter_;
  int dpiX_ = 96, dpiY_ = 96;
  QTransform base_;  // the painter's transform before the window origin
  std::optional<QRegion> initialClip_;  // the painter's clip before the page, in base_ coordinates
  DevicePoint windowOrg_;
  DevicePoint current_;
  FontSpec spec_;
  QFont qfont_;
  Colour textColour_ = kBlack;
  unsigned align_ = 0;
  using TextEntry = QtSurfaceCache::TextEntry;
  using FontEntry = QtSurfaceCache::FontEntry;
  QtSurfaceCache ownCache_;
  QtSurfaceCache& cache_;
  FontEntry* entry_ = nullptr;  // the selected font's entry
  // What the painter was last given, so that unchanged state is not set
  // again for every dash and label.
  enum class PainterPen { none, line, text };
  PainterPen painterPen_ = PainterPen::none;
  Pen lastLinePen_;
  bool painterFontSet_ = false;
  // Circles on a pixel surface are stamped from images drawn once per
  // radius and pen (the plots have hundreds of equal circles).
  bool rasterTarget() const;
  // The text drawn as its cached glyph runs (the PDF engine: PDF files and
  // printers), with the top left of its first line at the point.
  bool glyphRuns_ = false;
  void drawRuns(const QPointF& topLeft, const TextEntry& laidOut);
  // The glyphs queued by drawRuns, drawn in the text colour (flush() draws
  // them first, before lines).
  QRawFont pendingFont_;
  QList<quint32> pendingGlyphs_;
  QList<QPointF> pendingPositions_;
  void flushText();
  void flushLines();
  TextEntry& laidOutEntry(std::string_view text);
  QVector<QLine> pendingLines_;
  Pen pendingPen_;
  FontEntry& entryFor(const FontSpec& font);
  TextEntry& textEntry(std::string_view text);
  void useLinePen(const Pen& pen);
  void useTextPenAndFont();
};

} // namespace tov
