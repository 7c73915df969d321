// The readings editors' preview: h' (and h, when the pipe-top height is
// known) of every reading against t, the current row in colour with its
// values beside it.
#include <algorithm>

#include "dialogs/ReadingsModel.h"
#include "record/CFormat.h"
#include "render/Primitives.h"
#include "render/Surface.h"

namespace tov {

namespace {

constexpr Colour kGrey = 0x808080;
constexpr Colour kLightGrey = 0xC0C0C0;
constexpr Colour kBlue = 0xFF0000;   // 0x00BBGGRR
constexpr Colour kGreen = 0x00FF00;
constexpr int kLabelFontHeight = 12;
const char* const kLabelFace = "IPAGothic";

} // namespace

void ReadingsModel::drawPreview(Surface& surface, int width, int height, int insetX, int insetY) const {
  // x from the left inset (at least 2 pixels) to the width less the inset;
  // y upwards from the inset above the bottom edge to the inset below the
  // top, turned into device pixels at the end.
  const double xs = std::max(2, insetX), xe = width - insetX, ys = insetY, ye = height - insetY;
  const PreviewRange& r = range_;
  auto x = [&](double t) { return interpolate(t, r.timeFrom, r.timeTo, xs, xe); };
  auto y = [&](double level) { return interpolate(level, r.levelBottom, r.levelTop, ys, ye); };
  auto deviceY = [&](double up) { return static_cast<int>(height - up); };

  surface.intersectClipRect(DeviceRect{0, 0, width, height});
  const Pen grey{PS_SOLID, 2, kGrey}, lightGrey{PS_SOLID, 2, kLightGrey};
  const int n = lastFilledRow();
  for (int row = 1; row <= n; ++row) {
    // A row without a t or an h' has no place on the graph.
    const std::string& t = working_.cell(row, C_time);
    const std::string& level = working_.cell(row, C_pipeLevel);
    if (!isNumberText(t) || !isNumberText(level)) continue;
    const int px = static_cast<int>(x(toDouble(t)));
    surface.circle(px, deviceY(y(toDouble(level))), 3, grey);
    const std::string& h = working_.cell(row, C_level);
    if (pipeTopKnown_ && isNumberText(h)) surface.circle(px, deviceY(y(toDouble(h))), 2, lightGrey);
  }

  const int row = currentRow_;
  const std::string& t = working_.cell(row, C_time);
  const std::string& level = working_.cell(row, C_pipeLevel);
  if (row >= 1 && row <= kRows && isNumberText(level)) {
    const std::string& h = working_.cell(row, C_level);
    const bool withH = pipeTopKnown_ && isNumberText(h);
    const double px = x(toDouble(t)), py = y(toDouble(level)), qy = y(toDouble(h));
    surface.circle(static_cast<int>(px), deviceY(py), 3, Pen{PS_SOLID, 2, kBlue});
    if (withH) surface.circle(static_cast<int>(px), deviceY(qy), 2, Pen{PS_SOLID, 2, kGreen});

    FontSpec font;
    font.height = kLabelFontHeight;
    font.faceName = kLabelFace;
    surface.selectFont(font);
    surface.setBkModeTransparent();
    // Beside the point, kept inside the area: above a point in the lower
    // nine tenths, below one near the top.
    const double labelX = std::max(xs, std::min(px, xs + 0.7 * (xe - xs)));
    double labelY = py > ys + 0.9 * (ye - ys) ? py - 16 : py + 20;
    labelY = std::max(ys + 0.1 * (ye - ys), std::min(labelY, ye - 16));
    auto box = [&](double left, double up) {
      const int l = static_cast<int>(left), top = deviceY(up);
      return DeviceRect{l + 1, top + 1, static_cast<int>(labelX + 160) - 1, top + 40 - 1};
    };
    // The texts as typed or pasted, cut to what a page would draw of them.
    surface.setTextColor(kBlue);
    surface.drawText(box(labelX + 2, labelY), drawnText(cformat("(%s, %s)", std::string(drawnText(t)).c_str(),
                                                                std::string(drawnText(level)).c_str())),
                     DT_LEFT);
    if (withH) {
      double labelY2 = px < 50 ? qy - 60 : qy - 12;
      labelY2 = std::min(ye, std::max(ys + 0.1 * (ye - ys), labelY2));
      surface.setTextColor(kGreen);
      surface.drawText(box(labelX + 8, labelY2), drawnText(h), DT_LEFT);
    }
  }
  surface.resetClip();
}

} // namespace tov
