// The QPainter surface: Japanese face substitution, cell heights, text
// anchoring and rotation, digits that read right at screen sizes, pens and
// clipping, checked on the pixels of a QImage; and the decimal point of the
// widgets' font, in a field and a grid cell.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QStandardItemModel>
#include <cmath>
#include <functional>

#include "dialogs/qt/SheetGrid.h"
#include "qt/QtSurface.h"
#include "qt/WidgetFont.h"

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

// The dark pixels of an image: how many, and the box around them.
struct Ink {
  int count = 0;
  QRect box;
};

Ink inkOf(const QImage& img) {
  Ink ink;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < 160) {
        ++ink.count;
        ink.box |= QRect(x, y, 1, 1);
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
  struct Row { const char* face; const char* latin; const char* japanese; };
  for (const Row& r : {Row{"ＭＳ 明朝", "Mincho", "明朝"}, {"MS Mincho", "Mincho", "明朝"}, {"", "Mincho", "明朝"},
                       {"No Such Face", "Mincho", "明朝"}, {"ＭＳ Ｐ明朝", "PMincho", "P明朝"},
                       {"ＭＳ ゴシック", "Gothic", "ゴシック"}, {"ＭＳ Ｐゴシック", "Gothic", "ゴシック"},
                       {"MS Gothic", "Gothic", "ゴシック"}, {"HG丸ゴシックM-PRO", "Gothic", "ゴシック"},
                       // by another name the font reports, and by its file
                       {"IPA明朝", "Mincho", "明朝"}, {"ipag.ttf", "Gothic", "ゴシック"},
                       {"/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf", "PGothic", "Pゴシック"}}) {
    const QString f = QFontInfo(s.qtFontFor(fontOf(20, r.face))).family();
    EXPECT_TRUE(f.startsWith("IPA") && (f.contains(r.latin) || f.contains(r.japanese))) << r.face << " -> "
                                                                                        << f.toStdString();
  }
  EXPECT_EQ(QFontInfo(s.qtFontFor(fontOf(20, "DejaVu Sans"))).family(), "DejaVu Sans");  // installed faces stay
  s.selectFont(fontOf(20, "ＭＳ 明朝"));
  EXPECT_EQ(s.currentFont().faceName, "ＭＳ 明朝");  // the surface reports the requested name
}

TEST(QtSurfaceTest, CellHeightAndResolution) {
  for (auto [dpm, dpi] : {std::pair{kDotsPerMeter96, 96}, {23622, 600}}) {
    QImage img = blankImage(50, 50, dpm);
    QPainter painter(&img);
    QtSurface s(painter);
    EXPECT_EQ(std::pair(s.dpiX(), s.dpiY()), std::pair(dpi, dpi));
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
  const Ink ink = inkOf(drawnText("現場透水試験", TA_TOP, 20, 20, fontOf(40)));
  EXPECT_GT(ink.count, 500);
  EXPECT_GT(ink.box.width(), 150);
  // Missing glyphs would come out as identical boxes.
  EXPECT_NE(drawnText("現", TA_TOP, 20, 20, fontOf(40)), drawnText("場", TA_TOP, 20, 20, fontOf(40)));
  EXPECT_NE(drawnText("透", TA_TOP, 20, 20, fontOf(40, "ＭＳ ゴシック")), drawnText("透", TA_TOP, 20, 20, fontOf(40)));
}

TEST(QtSurfaceTest, TextIsAnchoredByItsCell) {
  const int h = 40;
  QImage probe = blankImage(10, 10);
  QPainter probePainter(&probe);
  QtSurface probeSurface(probePainter);
  probeSurface.selectFont(fontOf(h));
  const QFontMetrics fm(probeSurface.currentQtFont(), &probe);
  const int width = fm.horizontalAdvance(QStringLiteral("漢字")), cell = fm.ascent() + fm.descent();
  probePainter.end();

  // The ink lies in the cell, fills it from near its top to near its bottom
  // and is centred in it.
  struct Row { unsigned align; int x, y, cellLeft, cellTop; };
  for (const Row& r : {Row{TA_TOP | TA_LEFT, 50, 100, 50, 100}, {TA_BOTTOM | TA_RIGHT, 300, 100, 300 - width, 100 - cell},
                       {TA_BASELINE | TA_CENTER, 200, 100, 200 - width / 2, 100 - fm.ascent()},
                       {TA_UPDATECP, 10, 30, 10, 30}}) {  // the position is used and advances by the width
    SCOPED_TRACE(r.align);
    DevicePoint after;
    const Ink ink = inkOf(drawnText("漢字", r.align, r.x, r.y, fontOf(h), &after));
    EXPECT_GE(ink.box.left(), r.cellLeft);
    EXPECT_LE(ink.box.right(), r.cellLeft + width);
    EXPECT_GE(ink.box.top(), r.cellTop);
    EXPECT_LE(ink.box.bottom(), r.cellTop + cell);
    EXPECT_LT(ink.box.top(), r.cellTop + h / 4);
    EXPECT_GT(ink.box.bottom(), r.cellTop + cell - h / 4);
    EXPECT_NEAR((ink.box.left() + ink.box.right()) / 2.0, r.cellLeft + width / 2.0, 3.0);
    if (r.align == TA_UPDATECP) {
      EXPECT_EQ(after, (DevicePoint{10 + width, 30}));
    }
  }
}

TEST(QtSurfaceTest, EscapementRotatesCounterClockwise) {
  const int h = 30;
  DevicePoint after;
  // Text running upwards from (100, 300); the top of its cell faces left,
  // so with TA_TOP the glyphs lie to the right of the anchor.
  const Ink up = inkOf(drawnText("漢字漢字", TA_UPDATECP, 100, 300, fontOf(h, "ＭＳ 明朝", 900), &after));
  EXPECT_GT(up.box.height(), 2 * up.box.width());
  EXPECT_LE(up.box.bottom(), 300);
  EXPECT_GE(up.box.left(), 100);
  EXPECT_LE(up.box.right(), 100 + h);
  EXPECT_EQ(after.x, 100);
  EXPECT_LT(after.y, 300 - 3 * h);
  EXPECT_NEAR(300 - after.y, 300 - up.box.top(), 4);
}

TEST(QtSurfaceTest, PensClippingAndBoxedText) {
  QImage img = blankImage();
  QPainter painter(&img);
  QtSurface s(painter);
  s.moveTo(10, 30);
  s.lineTo(200, 30, Pen{PS_SOLID, 0, kBlack});  // width 0: nothing
  s.moveTo(10, 50);
  s.lineTo(200, 50, Pen{PS_SOLID, 3, kRed});
  s.moveTo(0, 100);
  s.lineTo(1, 100, Pen{PS_SOLID, 1, 0x00FF0000});  // 0x00BBGGRR: blue
  s.intersectClipRect({100, 0, 200, 400});
  s.intersectClipRect({0, 150, 150, 400});
  s.moveTo(0, 200);
  s.lineTo(400, 200, Pen{PS_SOLID, 1, kBlack});
  s.resetClip();
  s.moveTo(0, 250);
  s.lineTo(400, 250, Pen{PS_SOLID, 1, kBlack});
  s.flush();
  EXPECT_EQ(inkOf(img.copy(0, 20, 400, 20)).count, 0);
  struct Pixel { int x, y; QColor colour; };
  for (const Pixel& p : {Pixel{100, 50, QColor(255, 0, 0)}, {5, 50, Qt::white}, {205, 50, Qt::white},  // flat caps
                         {0, 100, QColor(0, 0, 255)}, {50, 200, Qt::white}, {120, 200, Qt::black},
                         {170, 200, Qt::white}, {50, 250, Qt::black}})
    EXPECT_EQ(QColor(img.pixel(p.x, p.y)), p.colour) << p.x << "," << p.y;
  painter.end();

  QImage box = blankImage();
  QPainter boxPainter(&box);
  QtSurface b(boxPainter);
  b.selectFont(fontOf(24));
  b.drawText({100, 100, 300, 200}, "中央", DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  boxPainter.end();
  const Ink ink = inkOf(box);
  EXPECT_NEAR((ink.box.left() + ink.box.right()) / 2.0, 200.0, 3.0);
  EXPECT_NEAR((ink.box.top() + ink.box.bottom()) / 2.0, 150.0, 4.0);
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

// The view keeps what its surfaces lay out from one paint to the next: a
// kept cache draws exactly what a fresh surface draws, and starts again
// rather than growing without end as zooms come and go.
TEST(QtSurfaceTest, AKeptCacheDrawsWhatAFreshSurfaceDraws) {
  QtSurfaceCache kept;
  auto draw = [](QtSurfaceCache* cache, int height) {
    QImage img = blankImage(200, 120);
    QPainter painter(&img);
    QtSurface s(painter, 96, 96, cache);
    s.selectFont(fontOf(height));
    s.textOut(10, 10, "480 漢字");
    s.circle(100, 80, 5, Pen{PS_SOLID, 1, kBlack});
    return img;
  };
  const QImage fresh = draw(nullptr, 14);
  draw(&kept, 14);
  EXPECT_EQ(draw(&kept, 14), fresh);
  for (int height = 10; height < 80; ++height) draw(&kept, height);
  EXPECT_LE(kept.fonts.size(), 50u);
}

// Darkness-weighted likeness of two images of one size (1 for the same
// ink, less the more it differs).
double likeness(const QImage& a, const QImage& b) {
  double ab = 0, aa = 0, bb = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const double va = 255 - qGray(a.pixel(x, y)), vb = 255 - qGray(b.pixel(x, y));
      ab += va * vb;
      aa += va * va;
      bb += vb * vb;
    }
  return aa * bb > 0 ? ab / std::sqrt(aa * bb) : (aa + bb == 0 ? 1.0 : 0.0);
}

// The page's numbers at the font sizes of a page on screen (8 to 12 pt at
// 96 dpi, and 9 pt at the 100 dpi of PNG pages) keep the shapes of their glyphs:
// each character of "480", "1800" and "0.05", drawn by the surface, is
// compared with the same glyph drawn eight times as large and scaled down.
// (Characters one by one, because within a string they sit at fractional
// pixel positions.) Grid-fitting the thin strokes of the Mincho face turns
// "8" into "3" and "." into ",", far below the likeness of a faithful glyph.
TEST(QtSurfaceTest, DigitsOnScreenKeepTheirShapes) {
  constexpr int kLarge = 8;
  struct Size { int dotsPerMeter, dpi; double points; };
  for (const Size& size : {Size{kDotsPerMeter96, 96, 8}, {kDotsPerMeter96, 96, 9}, {kDotsPerMeter96, 96, 10},
                           {kDotsPerMeter96, 96, 12}, {3937, 100, 9}}) {
    const int cell = static_cast<int>(size.dpi * size.points / 72.0);
    for (char glyph : std::string("4801.5")) {
      SCOPED_TRACE(testing::Message() << size.dpi << " dpi, " << size.points << " pt, '" << glyph << "'");
      const QString text(QChar::fromLatin1(glyph));
      QImage small = blankImage(cell + 6, cell + 6, size.dotsPerMeter);
      QFont font;
      int ascent = 0;
      {
        QPainter painter(&small);
        QtSurface s(painter);
        s.selectFont(fontOf(cell));
        font = s.currentQtFont();
        ascent = QFontMetrics(font, &small).ascent();
        s.textOut(3, 3, std::string(1, glyph));
      }
      // The same face without grid-fitting at eight times the size, tried
      // at offsets of an eighth of a pixel for the rounding of the baseline.
      font.setPixelSize(font.pixelSize() * kLarge);
      font.setHintingPreference(QFont::PreferNoHinting);
      double best = 0;
      for (int dx = -4; dx <= 4; ++dx)
        for (int dy = -4; dy <= 4; ++dy) {
          QImage large = blankImage(small.width() * kLarge, small.height() * kLarge);
          QPainter painter(&large);
          painter.setRenderHint(QPainter::TextAntialiasing);
          painter.setFont(font);
          painter.setPen(Qt::black);
          painter.drawText(QPointF(3 * kLarge + dx, (3 + ascent) * kLarge + dy), text);
          painter.end();
          best = std::max(best, likeness(small, large.scaled(small.size(), Qt::IgnoreAspectRatio,
                                                               Qt::SmoothTransformation)));
        }
      EXPECT_GT(best, 0.98);
    }
  }
}

// The view clips the painter to the sheet before a page is drawn; removing
// a plot's clip must give that clip back, not let drawing spill outside it.
TEST(QtSurfaceTest, RemovingAPlotClipRestoresThePaintersOwnClip) {
  QImage img = blankImage();
  QPainter painter(&img);
  painter.translate(10, 0);  // as a scrolled view would
  painter.setClipRect(QRect(0, 0, 200, 200));
  QtSurface s(painter);
  s.setWindowOrg(0, 0);
  s.intersectClipRect({50, 50, 100, 100});
  s.resetClip();
  s.moveTo(0, 150);
  s.lineTo(390, 150, Pen{PS_SOLID, 1, kBlack});
  s.circle(300, 300, 5, Pen{PS_SOLID, 0, kBlack});  // outside the sheet: not drawn
  s.circle(50, 180, 5, Pen{PS_SOLID, 0, kBlack});   // width 0: one pixel wide
  s.flush();
  painter.end();
  EXPECT_EQ(qGray(img.pixel(100, 150)), 0);
  EXPECT_EQ(qGray(img.pixel(250, 150)), 255);
  EXPECT_EQ(inkOf(img.copy(200, 200, 200, 200)).count, 0);
  EXPECT_GT(inkOf(img.copy(50, 170, 20, 20)).count, 0);
}


// The ink a widget draws for its text: the widget rendered with the text
// less the same widget rendered empty, as darkness 0..1 per device pixel.
using Darkness = std::vector<std::vector<double>>;

Darkness textInk(QWidget& widget, const std::function<void(const QString&)>& setText, const QString& text,
                 double pixelRatio) {
  auto render = [&](const QString& shown) {
    setText(shown);
    QImage img((QSizeF(widget.size()) * pixelRatio).toSize(), QImage::Format_RGB32);
    img.setDevicePixelRatio(pixelRatio);
    img.fill(Qt::white);
    widget.render(&img);
    return img;
  };
  const QImage with = render(text), without = render(QString());
  Darkness ink(static_cast<std::size_t>(with.height()), std::vector<double>(static_cast<std::size_t>(with.width())));
  for (int y = 0; y < with.height(); ++y)
    for (int x = 0; x < with.width(); ++x)
      ink[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] =
          std::max(0, qGray(without.pixel(x, y)) - qGray(with.pixel(x, y))) / 255.0;
  return ink;
}

// The share of the second character's ink ("." or "," of "4.520") that lies
// under the baseline of the flat-footed "2", the fourth: about 0 for a point,
// half or more for a comma's tail.
double separatorInkUnderDigits(const Darkness& ink, const QFont& font, double pixelRatio, const QString& text) {
  const QFontMetricsF metrics(font);
  int first = -1;
  for (std::size_t x = 0; first < 0 && x < ink.front().size(); ++x)
    for (const auto& row : ink)
      if (row[x] > 0.25) {
        first = static_cast<int>(x);
        break;
      }
  if (first < 0) return -1;
  const double start = first - metrics.leftBearing(text.front()) * pixelRatio;
  auto columns = [&](int index) {
    return std::pair{static_cast<int>(std::lround(start + metrics.horizontalAdvance(text.left(index)) * pixelRatio)),
                     static_cast<int>(std::lround(start + metrics.horizontalAdvance(text.left(index + 1)) * pixelRatio))};
  };
  const auto [digitFrom, digitTo] = columns(3);
  int baseline = -1;
  for (int y = 0; y < static_cast<int>(ink.size()); ++y)
    for (int x = digitFrom; x < digitTo; ++x)
      if (ink[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] > 0.5) baseline = y;
  const auto [from, to] = columns(1);
  double under = 0, all = 0;
  for (int y = 0; y < static_cast<int>(ink.size()); ++y)
    for (int x = from; x < to; ++x) {
      const double d = ink[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
      all += d;
      if (y > baseline) under += d;
    }
  return all > 0 ? under / all : -1;
}

// "4.520" must not read as four thousand five hundred and twenty: in a field
// and in a grid cell, at the sizes of a desktop and of its zooms, the point
// of the widgets' font sits on the digits' baseline, and the comma, drawn
// the same way, hangs below it. IPAGothic, the Japanese desktop's face
// where the package's fonts are the only ones, drew the point a pixel under
// the digits: the measure must see that fault.
TEST(WidgetFontTest, DecimalPointsSitOnTheDigitsBaselineInFieldsAndGridCells) {
  if (!QFontDatabase::hasFamily(QStringLiteral("IPAGothic")) || !QFontDatabase::hasFamily(QStringLiteral("IPAPGothic")))
    GTEST_SKIP() << "the package's fonts (fonts-ipafont-gothic) are not installed";
  QLineEdit field;
  field.resize(240, 80);
  auto fieldText = [&](const QString& t) { field.setText(t); };
  QStandardItemModel cells(1, 1);
  SheetGridView grid;
  setUpSheetGrid(grid);
  grid.setModel(&cells);
  grid.resize(300, 90);
  field.show();
  grid.show();
  auto cellText = [&](const QString& t) { cells.setData(cells.index(0, 0), t); };

  for (const char* desktopFamily : {"IPAGothic", "IPAMincho"}) {
    for (int pixels : {9, 10, 11, 12, 13, 14, 16, 20, 24, 32}) {
      QFont desktop(QString::fromLatin1(desktopFamily));
      desktop.setPixelSize(pixels);
      const QFont font = readableWidgetFont(desktop);
      field.setFont(font);
      grid.setFont(font);
      grid.setColumnWidth(0, 260);
      grid.setRowHeight(0, pixels * 2);
      for (double ratio : {1.0, 2.0}) {
        SCOPED_TRACE(testing::Message() << desktopFamily << " " << pixels << " px, ratio " << ratio << ", "
                                        << font.family().toStdString());
        for (auto* widget : {static_cast<QWidget*>(&field), static_cast<QWidget*>(grid.viewport())}) {
          const auto& setText = widget == &field ? std::function<void(const QString&)>(fieldText) : cellText;
          const double point = separatorInkUnderDigits(textInk(*widget, setText, QStringLiteral("4.520"), ratio),
                                                        font, ratio, QStringLiteral("4.520"));
          const double comma = separatorInkUnderDigits(textInk(*widget, setText, QStringLiteral("4,520"), ratio),
                                                        font, ratio, QStringLiteral("4,520"));
          EXPECT_GE(point, 0) << "no ink";
          EXPECT_LT(point, 0.15) << "the point hangs under the digits";
          EXPECT_GT(comma, point + 0.25) << "the comma looks like the point";
        }
      }
    }
  }
  // The measure sees IPAGothic's point in a field at 12 px.
  QFont old(QStringLiteral("IPAGothic"));
  old.setPixelSize(12);
  field.setFont(old);
  EXPECT_GT(separatorInkUnderDigits(textInk(field, fieldText, QStringLiteral("4.520"), 1.0), old, 1.0,
                                    QStringLiteral("4.520")),
            0.3);
}

} // namespace
} // namespace tov
