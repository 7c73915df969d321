// The QPainter surface: Japanese face substitution, cell heights, text
// anchoring and rotation, pens and clipping, checked on the pixels of a
// QImage.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "app/QtSurface.h"

namespace tov {
namespace {

constexpr int kDotsPerMeter96 = 3780;  // 96 dpi

QImage blankImage(int w = 400, int h = 400, int dotsPerMeter = kDotsPerMeter96) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::white);
  img.setDotsPerMeterX(dotsPerMeter);
  img.setDotsPerMeterY(dotsPerMeter);
  return img;
}

struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  int count = 0;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

Ink inkOf(const QImage& img) {
  Ink ink;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < 160) {
        ++ink.count;
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

FontSpec fontOf(int height, std::string face = "ＭＳ 明朝", int escapement = 0) {
  FontSpec f;
  f.height = height;
  f.escapement = escapement;
  f.faceName = std::move(face);
  return f;
}

// Draws one text with the alignment and returns the image.
QImage drawnText(std::string_view text, unsigned align, int x, int y, const FontSpec& font,
                 DevicePoint* positionAfter = nullptr) {
  QImage img = blankImage();
  QPainter painter(&img);
  QtSurface s(painter);
  s.selectFont(font);
  s.setTextAlign(align);
  s.moveTo(x, y);
  s.textOut(x, y, text);
  if (positionAfter) *positionAfter = s.currentPosition();
  return img;
}

TEST(QtSurfaceTest, MissingJapaneseFacesAreSubstituted) {
  QImage img = blankImage();
  QPainter painter(&img);
  QtSurface s(painter);
  auto family = [&](const std::string& face) { return QFontInfo(s.qtFontFor(fontOf(20, face))).family(); };
  for (const char* mincho : {"ＭＳ 明朝", "MS Mincho", "", "No Such Face"}) {
    const QString f = family(mincho);
    EXPECT_TRUE(f.startsWith("IPA") && (f.contains("Mincho") || f.contains("明朝"))) << mincho << " -> "
                                                                                      << f.toStdString();
  }
  EXPECT_TRUE(family("ＭＳ Ｐ明朝").contains("PMincho") || family("ＭＳ Ｐ明朝").contains("P明朝"));
  for (const char* gothic : {"ＭＳ ゴシック", "ＭＳ Ｐゴシック", "MS Gothic", "HG丸ゴシックM-PRO"}) {
    const QString f = family(gothic);
    EXPECT_TRUE(f.startsWith("IPA") && (f.contains("Gothic") || f.contains("ゴシック"))) << gothic << " -> "
                                                                                         << f.toStdString();
  }
  EXPECT_EQ(family("DejaVu Sans"), "DejaVu Sans");  // installed faces are used as they are

  // The requested face name is what the surface reports, unchanged.
  s.selectFont(fontOf(20, "ＭＳ 明朝"));
  EXPECT_EQ(s.currentFont().faceName, "ＭＳ 明朝");
}

TEST(QtSurfaceTest, CellHeightAndResolution) {
  for (int dpm : {kDotsPerMeter96, 23622}) {
    QImage img = blankImage(50, 50, dpm);
    QPainter painter(&img);
    QtSurface s(painter);
    EXPECT_EQ(s.dpiX(), dpm == kDotsPerMeter96 ? 96 : 600);
    EXPECT_EQ(s.dpiY(), s.dpiX());
    for (int height : {12, 21, 75}) {
      s.selectFont(fontOf(height));
      const QFontMetrics fm(s.currentQtFont(), &img);
      EXPECT_LE(fm.ascent() + fm.descent(), height) << height;
      EXPECT_GE(fm.ascent() + fm.descent(), height - 1 - height / 40) << height;
      EXPECT_EQ(s.textExtent("漢字").cy, fm.ascent() + fm.descent());
      EXPECT_EQ(s.textExtent("漢字").cx, fm.horizontalAdvance(QStringLiteral("漢字")));
    }
  }
}

TEST(QtSurfaceTest, JapaneseTextLeavesDistinctInk) {
  const QImage a = drawnText("現場透水試験", TA_TOP, 20, 20, fontOf(40));
  const Ink ink = inkOf(a);
  EXPECT_GT(ink.count, 500);
  EXPECT_GT(ink.width(), 150);
  // Missing glyphs would come out as identical boxes.
  const QImage b = drawnText("現", TA_TOP, 20, 20, fontOf(40));
  const QImage c = drawnText("場", TA_TOP, 20, 20, fontOf(40));
  EXPECT_NE(b, c);
  EXPECT_NE(drawnText("透", TA_TOP, 20, 20, fontOf(40, "ＭＳ ゴシック")), drawnText("透", TA_TOP, 20, 20, fontOf(40)));
}

TEST(QtSurfaceTest, TextIsAnchoredByItsCell) {
  const int h = 40;
  QImage probe = blankImage(10, 10);
  QPainter probePainter(&probe);
  QtSurface probeSurface(probePainter);
  probeSurface.selectFont(fontOf(h));
  const QFontMetrics fm(probeSurface.currentQtFont(), &probe);
  const int width = fm.horizontalAdvance(QStringLiteral("漢字"));
  probePainter.end();

  const Ink top = inkOf(drawnText("漢字", TA_TOP | TA_LEFT, 50, 100, fontOf(h)));
  EXPECT_GE(top.top, 100);
  EXPECT_LE(top.bottom, 100 + fm.ascent() + fm.descent());
  EXPECT_LT(top.top, 100 + h / 4);
  EXPECT_GE(top.left, 50);
  EXPECT_LE(top.right, 50 + width);

  const Ink bottom = inkOf(drawnText("漢字", TA_BOTTOM | TA_RIGHT, 300, 100, fontOf(h)));
  EXPECT_LE(bottom.bottom, 100);
  EXPECT_GE(bottom.top, 100 - fm.ascent() - fm.descent());
  EXPECT_GT(bottom.bottom, 100 - h / 4);
  EXPECT_LE(bottom.right, 300);
  EXPECT_GE(bottom.left, 300 - width);

  const Ink base = inkOf(drawnText("漢字", TA_BASELINE | TA_CENTER, 200, 100, fontOf(h)));
  EXPECT_GE(base.top, 100 - fm.ascent());
  EXPECT_LE(base.bottom, 100 + fm.descent());
  EXPECT_NEAR((base.left + base.right) / 2.0, 200.0, 3.0);

  // With TA_UPDATECP the position is used and advances by the width.
  DevicePoint after;
  const Ink cp = inkOf(drawnText("漢字", TA_UPDATECP, 10, 30, fontOf(h), &after));
  EXPECT_GE(cp.left, 10);
  EXPECT_GE(cp.top, 30);
  EXPECT_EQ(after, (DevicePoint{10 + width, 30}));
}

TEST(QtSurfaceTest, EscapementRotatesCounterClockwise) {
  const int h = 30;
  DevicePoint after;
  // Text running upwards from (100, 300); the top of its cell faces left,
  // so with TA_TOP the glyphs lie to the right of the anchor.
  const Ink up = inkOf(drawnText("漢字漢字", TA_UPDATECP, 100, 300, fontOf(h, "ＭＳ 明朝", 900), &after));
  EXPECT_GT(up.height(), 2 * up.width());
  EXPECT_LE(up.bottom, 300);
  EXPECT_GE(up.left, 100);
  EXPECT_LE(up.right, 100 + h);
  EXPECT_EQ(after.x, 100);
  EXPECT_LT(after.y, 300 - 3 * h);
  EXPECT_NEAR(300 - after.y, 300 - up.top, 4);
}

TEST(QtSurfaceTest, PensClippingAndBoxedText) {
  QImage img = blankImage();
  QPainter painter(&img);
  QtSurface s(painter);
  s.moveTo(10, 50);
  s.lineTo(200, 50, Pen{PS_SOLID, 0, kBlack});  // width 0: nothing
  s.flush();
  EXPECT_EQ(inkOf(img).count, 0);
  s.moveTo(10, 50);
  s.lineTo(200, 50, Pen{PS_SOLID, 3, kRed});
  s.flush();
  EXPECT_EQ(QColor(img.pixel(100, 50)), QColor(255, 0, 0));
  EXPECT_EQ(QColor(img.pixel(5, 50)), QColor(Qt::white));   // flat caps
  EXPECT_EQ(QColor(img.pixel(205, 50)), QColor(Qt::white));

  s.moveTo(0, 100);
  s.lineTo(1, 100, Pen{PS_SOLID, 1, 0x00FF0000});  // 0x00BBGGRR: blue
  s.flush();
  EXPECT_EQ(QColor(img.pixel(0, 100)), QColor(0, 0, 255));

  s.intersectClipRect({100, 0, 200, 400});
  s.intersectClipRect({0, 150, 150, 400});
  s.moveTo(0, 200);
  s.lineTo(400, 200, Pen{PS_SOLID, 1, kBlack});
  s.flush();
  EXPECT_EQ(qGray(img.pixel(50, 200)), 255);
  EXPECT_EQ(qGray(img.pixel(120, 200)), 0);
  EXPECT_EQ(qGray(img.pixel(170, 200)), 255);
  s.resetClip();
  s.moveTo(0, 250);
  s.lineTo(400, 250, Pen{PS_SOLID, 1, kBlack});
  s.flush();
  EXPECT_EQ(qGray(img.pixel(50, 250)), 0);
  painter.end();

  QImage box = blankImage();
  QPainter boxPainter(&box);
  QtSurface b(boxPainter);
  b.selectFont(fontOf(24));
  b.drawText({100, 100, 300, 200}, "中央", DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  boxPainter.end();
  const Ink ink = inkOf(box);
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 200.0, 3.0);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 150.0, 4.0);
}

// Rows of dashes and circles take fast paths on pixel devices (one patterned
// line, stamped circle images); they must leave exactly the pixels that
// drawing each dash and circle on its own leaves.
TEST(QtSurfaceTest, FastDashesAndCirclesMatchPlainDrawing) {
  for (bool antialiased : {false, true}) {
    QImage fast = blankImage(), plain = blankImage();
    {
      QPainter pf(&fast), pp(&plain);
      pf.setRenderHint(QPainter::Antialiasing, antialiased);
      pp.setRenderHint(QPainter::Antialiasing, antialiased);
      QtSurface f(pf), p(pp);
      const Pen grey{PS_SOLID, 1, 0x808080};
      f.dashes(10, 20, 5, 0, 9, 0, 30, grey);               // horizontal, 5 on 4 off
      p.Surface::dashes(10, 20, 5, 0, 9, 0, 30, grey);
      f.dashes(300, 30, 0, 4, 0, 8, 40, grey);              // vertical, 4 on 4 off
      p.Surface::dashes(300, 30, 0, 4, 0, 8, 40, grey);
      EXPECT_EQ(f.currentPosition(), p.currentPosition());
      for (int r : {1, 3, 7}) {
        f.circle(60 + 30 * r, 200, r, Pen{PS_SOLID, 2, kBlack});
        p.flush();
        QPen pen(QColor(0, 0, 0));
        pen.setWidth(2);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        pp.setPen(pen);
        pp.setBrush(Qt::NoBrush);
        pp.drawEllipse(QPoint(60 + 30 * r, 200), r, r);
      }
    }
    int differing = 0;
    for (int y = 0; y < fast.height(); ++y)
      for (int x = 0; x < fast.width(); ++x)
        if (std::abs(qGray(fast.pixel(x, y)) - qGray(plain.pixel(x, y))) > 2) ++differing;
    EXPECT_EQ(differing, 0) << (antialiased ? "antialiased" : "aliased");
  }
}

} // namespace
} // namespace tov
