#include "render/RecordingSurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "files/TextCodec.h"

namespace tov {

RecordingSurface::RecordingSurface(int dpiX, int dpiY) : dpiX_(dpiX), dpiY_(dpiY) {
  font_.height = kDefaultFontHeight;
  lines_.reserve(1024);
  texts_.reserve(512);
}

void RecordingSurface::setDpi(int dpiX, int dpiY) {
  dpiX_ = dpiX;
  dpiY_ = dpiY;
}

void RecordingSurface::setWindowOrg(int x, int y) { windowOrg_ = {x, y}; }

RecordedState RecordingSurface::state() {
  RecordedState st;
  st.order = order_++;
  st.clipped = clipActive_;
  st.clip = clip_;
  return st;
}

void RecordingSurface::moveTo(int x, int y) { current_ = {x, y}; }

void RecordingSurface::lineTo(int x, int y, const Pen& pen) {
  if (pen.width > 0 && pen.style != PS_NULL) {
    RecordedLine line;
    static_cast<RecordedState&>(line) = state();
    line.from = current_;
    line.to = {x, y};
    line.pen = pen;
    lines_.push_back(line);
  }
  current_ = {x, y};
}

void RecordingSurface::circle(int cx, int cy, int radius, const Pen& pen) {
  if (pen.style == PS_NULL) return;  // width 0 is the thinnest pen, as for any device
  RecordedCircle c;
  static_cast<RecordedState&>(c) = state();
  c.centre = {cx, cy};
  c.radius = radius;
  c.pen = pen;
  circles_.push_back(c);
}

bool RecordingSurface::selectFont(const FontSpec& font) {
  if (std::find(failingFaces_.begin(), failingFaces_.end(), font.faceName) != failingFaces_.end()) {
    ++failedFontSelections_;
    return false;
  }
  font_ = font;
  ++fontSelections_;
  return true;
}

int RecordingSurface::fontHeight() const { return std::abs(font_.height); }

int RecordingSurface::textWidthFor(std::string_view text, int fontHeight) {
  return cp932Length(text) * std::abs(fontHeight) / 2;
}

void RecordingSurface::textOut(int x, int y, std::string_view text) {
  const bool updateCp = (align_ & TA_UPDATECP) != 0;
  RecordedText t;
  static_cast<RecordedState&>(t) = state();
  t.at = updateCp ? current_ : DevicePoint{x, y};
  t.text.assign(text);
  t.font = font_;
  t.align = align_;
  t.colour = textColour_;
  const unsigned horizontal = align_ & kHorizontalAlignMask;
  if (updateCp && horizontal != TA_CENTER) {
    // Left-aligned text moves the position to its end, right-aligned text
    // to its start; centred text leaves it where it was.
    const int width = horizontal == TA_RIGHT ? -textWidthFor(text, fontHeight()) : textWidthFor(text, fontHeight());
    if (font_.escapement == 0) {
      current_.x += width;
    } else {
      const double angle = font_.escapement / 10.0 * std::numbers::pi / 180.0;
      current_.x += static_cast<int>(std::lround(width * std::cos(angle)));
      current_.y -= static_cast<int>(std::lround(width * std::sin(angle)));
    }
  }
  texts_.push_back(std::move(t));
}

void RecordingSurface::drawText(const DeviceRect& rect, std::string_view text, unsigned flags) {
  RecordedDrawText t;
  static_cast<RecordedState&>(t) = state();
  t.rect = rect;
  t.text.assign(text);
  t.flags = flags;
  t.font = font_;
  t.colour = textColour_;
  drawTexts_.push_back(std::move(t));
}

DeviceSize RecordingSurface::textExtent(std::string_view text) {
  return {textWidthFor(text, fontHeight()), fontHeight()};
}

void RecordingSurface::intersectClipRect(const DeviceRect& rect) {
  DeviceRect r = rect;
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  if (clipActive_) {
    r.left = std::max(r.left, clip_.left);
    r.top = std::max(r.top, clip_.top);
    r.right = std::min(r.right, clip_.right);
    r.bottom = std::min(r.bottom, clip_.bottom);
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
  }
  clip_ = r;
  clipActive_ = true;
  clipChanges_.push_back({order_++, true, clip_});
}

void RecordingSurface::resetClip() {
  clipActive_ = false;
  clip_ = {};
  clipChanges_.push_back({order_++, false, clip_});
}

void RecordingSurface::failFontFace(std::string faceName) { failingFaces_.push_back(std::move(faceName)); }

void RecordingSurface::clearFailingFaces() { failingFaces_.clear(); }

const RecordedText* RecordingSurface::findText(std::string_view text) const {
  for (const auto& t : texts_)
    if (t.text == text) return &t;
  return nullptr;
}

const RecordedDrawText* RecordingSurface::findDrawText(std::string_view text) const {
  for (const auto& t : drawTexts_)
    if (t.text == text) return &t;
  return nullptr;
}

std::vector<const RecordedText*> RecordingSurface::textsContaining(std::string_view part) const {
  std::vector<const RecordedText*> found;
  for (const auto& t : texts_)
    if (t.text.find(part) != std::string::npos) found.push_back(&t);
  return found;
}

std::string RecordingSurface::allText() const {
  std::string all;
  for (const auto& t : texts_) all += t.text;
  return all;
}

std::vector<const RecordedLine*> RecordingSurface::linesWithPen(const Pen& pen) const {
  std::vector<const RecordedLine*> found;
  for (const auto& l : lines_)
    if (l.pen == pen) found.push_back(&l);
  return found;
}

std::vector<const RecordedLine*> RecordingSurface::linesWithPen(int width, Colour colour) const {
  std::vector<const RecordedLine*> found;
  for (const auto& l : lines_)
    if (l.pen.width == width && l.pen.colour == colour) found.push_back(&l);
  return found;
}

void RecordingSurface::clear() {
  lines_.clear();
  circles_.clear();
  texts_.clear();
  drawTexts_.clear();
  clipChanges_.clear();
  order_ = 0;
  fontSelections_ = 0;
  failedFontSelections_ = 0;
}

} // namespace tov
