#include "qt/WidgetFont.h"

#include <QFontDatabase>
#include <QPainterPath>
#include <QRawFont>

#include <algorithm>

namespace tov {

namespace {

// A point drop under this share of the em is the rounding of a face's
// outlines, not a design.
constexpr double kSameBaselineEm = 0.01;

double lowestInk(const QRawFont& raw, QChar c) {
  const QList<quint32> glyphs = raw.glyphIndexesForString(QString(c));
  if (glyphs.isEmpty() || glyphs.front() == 0) return 0;
  return raw.pathForGlyph(glyphs.front()).boundingRect().bottom();  // y grows downwards
}

} // namespace

double pointDropEm(const QFont& font) {
  QFont large = font;
  large.setPixelSize(1000);
  const QRawFont raw = QRawFont::fromFont(large);
  if (!raw.isValid()) return 0;
  const double digits = std::max({lowestInk(raw, u'1'), lowestInk(raw, u'2'), lowestInk(raw, u'4')});
  return (lowestInk(raw, u'.') - digits) / 1000.0;
}

QFont readableWidgetFont(const QFont& desktop) {
  if (pointDropEm(desktop) < kSameBaselineEm) return desktop;
  for (const char* family : {"IPAPGothic", "IPAexGothic", "Noto Sans CJK JP", "Source Han Sans JP", "TakaoPGothic"}) {
    const QString name = QString::fromLatin1(family);
    if (!QFontDatabase::hasFamily(name)) continue;
    QFont candidate = desktop;
    candidate.setFamilies({name});
    if (pointDropEm(candidate) < kSameBaselineEm) return candidate;
  }
  QFont unhinted = desktop;
  unhinted.setHintingPreference(QFont::PreferNoHinting);
  return unhinted;
}

} // namespace tov
