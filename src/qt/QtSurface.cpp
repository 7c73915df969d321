#include "qt/QtSurface.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QStringList>
#include <QTextLayout>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>

#ifdef TOV_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace tov {

namespace {

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool isGothicName(const QString& name) {
  return name.contains(QStringLiteral("ゴシック")) || name.contains(QStringLiteral("Gothic"), Qt::CaseInsensitive);
}

// "ＭＳ Ｐ明朝", "MS PGothic": the proportional member of a family.
bool isProportionalName(const QString& name) {
  return name.contains(QChar(0xFF30)) || name.contains(QStringLiteral("MS P"), Qt::CaseInsensitive) ||
         name.contains(QStringLiteral("P明朝")) || name.contains(QStringLiteral("Pゴシック"));
}

// The family Qt lists under exactly this name (case-insensitively), or "".
QString listedFamily(const QString& name) {
  static const QStringList families = QFontDatabase::families();
  for (const QString& family : families)
    if (family.compare(name, Qt::CaseInsensitive) == 0) return family;
  return {};
}

// Every other name of the installed fonts (case-folded) to the family Qt
// lists the font under: a font's family in each language ("IPAMincho" and
// "IPA明朝"; Qt lists only the one of the locale), its full and PostScript
// names, and its file (path, file name, file name without extension).
const std::map<QString, QString>& fontAliases() {
  static const std::map<QString, QString> aliases = [] {
    std::map<QString, QString> map;
#ifdef TOV_HAVE_FONTCONFIG
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FULLNAME, FC_POSTSCRIPT_NAME, FC_FILE, nullptr);
    FcFontSet* fonts = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
      FcPattern* font = fonts->fonts[i];
      QStringList names;
      QString family;
      FcChar8* value = nullptr;
      for (int k = 0; FcPatternGetString(font, FC_FAMILY, k, &value) == FcResultMatch; ++k) {
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(value));
        if (family.isEmpty()) family = listedFamily(name);
        names << name;
      }
      if (family.isEmpty()) continue;
      for (int k = 0; FcPatternGetString(font, FC_FULLNAME, k, &value) == FcResultMatch; ++k)
        names << QString::fromUtf8(reinterpret_cast<const char*>(value));
      if (FcPatternGetString(font, FC_POSTSCRIPT_NAME, 0, &value) == FcResultMatch)
        names << QString::fromUtf8(reinterpret_cast<const char*>(value));
      if (FcPatternGetString(font, FC_FILE, 0, &value) == FcResultMatch) {
        const QFileInfo file(QString::fromUtf8(reinterpret_cast<const char*>(value)));
        names << file.filePath() << file.fileName() << file.completeBaseName();
      }
      for (const QString& name : names) map.emplace(name.toCaseFolded(), family);
    }
    if (fonts) FcFontSetDestroy(fonts);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
#endif
    return map;
  }();
  return aliases;
}

// The installed family known by this name (any name the font reports, or
// its file), or "". A font file not installed is loaded for the program.
QString installedFamily(const QString& name) {
  if (QString listed = listedFamily(name); !listed.isEmpty()) return listed;
#ifdef Q_OS_WIN
  // Windows lists a font under its name in the system's language and knows
  // its English one too ("ＭＳ 明朝" and "MS Mincho" on a Japanese system).
  if (QFontDatabase::hasFamily(name)) return name;
#endif
  const auto& aliases = fontAliases();
  if (auto it = aliases.find(name.toCaseFolded()); it != aliases.end()) return it->second;
  static std::map<QString, QString> loaded;
  if (auto it = loaded.find(name); it != loaded.end()) return it->second;
  QString family;
  const QFileInfo file(name);
  static const QStringList fontSuffixes{QStringLiteral("ttf"), QStringLiteral("otf"), QStringLiteral("ttc")};
  if (file.isAbsolute() && file.isFile() && fontSuffixes.contains(file.suffix().toLower())) {
    const int id = QFontDatabase::addApplicationFont(file.filePath());
    const QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
    if (!families.isEmpty()) family = families.front();
  }
  loaded.emplace(name, family);
  return family;
}

// The first installed family of the candidates, or "".
QString firstInstalled(std::initializer_list<const char*> candidates) {
  for (const char* candidate : candidates) {
    const QString found = installedFamily(QString::fromUtf8(candidate));
    if (!found.isEmpty()) return found;
  }
  return {};
}

// Japanese faces to fall back on for characters the chosen face lacks.
const QStringList& japaneseFallbacks() {
  static const QStringList list = [] {
    QStringList l;
    for (const char* name : {"ＭＳ 明朝", "MS Mincho", "ＭＳ ゴシック", "MS Gothic", "游明朝", "Yu Mincho", "游ゴシック",
                             "Yu Gothic", "メイリオ", "Meiryo", "IPAMincho", "IPAPMincho", "IPAGothic", "IPAPGothic",
                             "IPAexMincho", "IPAexGothic", "Noto Serif CJK JP", "Noto Sans CJK JP",
                             "Droid Sans Fallback"}) {
      const QString found = installedFamily(QString::fromUtf8(name));
      if (!found.isEmpty()) l << found;
    }
    return l;
  }();
  return list;
}

std::string cacheKey(const FontSpec& f) {
  std::string key = std::to_string(f.height);
  key += '|';
  key += std::to_string(f.weight);
  key += f.italic ? "|i" : "|-";
  key += f.underline ? "u|" : "-|";
  key += f.faceName;
  return key;
}

// No control characters nor line or paragraph separators: the text is one
// line as it stands.
bool isOneLine(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return false;
  return text.find("\xE2\x80\xA8") == std::string_view::npos && text.find("\xE2\x80\xA9") == std::string_view::npos;
}

double escapementRadians(int escapement) { return escapement / 10.0 * std::numbers::pi / 180.0; }

} // namespace

QtSurface::QtSurface(QPainter& painter)
    : QtSurface(painter, painter.device() ? painter.device()->logicalDpiX() : 96,
                painter.device() ? painter.device()->logicalDpiY() : 96) {}

QtSurface::QtSurface(QPainter& painter, int dpiX, int dpiY, QtSurfaceCache* cache)
    : painter_(painter), dpiX_(std::max(1, dpiX)), dpiY_(std::max(1, dpiY)), cache_(cache ? *cache : ownCache_) {
  // A kept cache grows with every zoom drawn at; it starts again when large.
  if (cache_.fonts.size() > 48) cache_.fonts.clear();
  if (cache_.circleStamps.size() > 256) cache_.circleStamps.clear();
  // PDF files and printers (the print preview records pictures: drawn as before).
  if (const QPaintEngine* engine = painter_.paintEngine()) glyphRuns_ = engine->type() == QPaintEngine::Pdf;
  base_ = painter_.transform();
  if (painter_.hasClipping()) initialClip_ = painter_.clipRegion();
  painter_.setRenderHint(QPainter::TextAntialiasing, true);
  painter_.setBrush(Qt::NoBrush);
  FontSpec initial;
  initial.height = std::max(1, dpiY_ * 16 / 96);
  initial.quality = 0;
  selectFont(initial);
}

QtSurface::~QtSurface() {
  if (painter_.isActive()) flush();
}

void QtSurface::flush() {
  flushText();
  flushLines();
}

void QtSurface::flushLines() {
  if (pendingLines_.isEmpty()) return;
  useLinePen(pendingPen_);
  painter_.drawLines(pendingLines_);
  pendingLines_.clear();
}

QtSurface::TextEntry& QtSurface::textEntry(std::string_view text) {
  auto& texts = entry_->texts;
  const std::string key(text);
  if (auto it = texts.find(key); it != texts.end()) return it->second;
  // Page texts repeat on every redraw (labels, headings): keep their layout.
  // A font's cache is bounded so that changing data cannot grow it forever.
  if (texts.size() > 4096) texts.clear();
  const QString qtext = toQString(text);
  TextEntry entry;
  entry.text.setText(qtext);
  entry.text.setTextFormat(Qt::PlainText);
  entry.text.setPerformanceHint(QStaticText::AggressiveCaching);
  entry.width = entry_->metrics.horizontalAdvance(qtext);
  return texts.emplace(key, std::move(entry)).first->second;
}

QtSurface::TextEntry& QtSurface::laidOutEntry(std::string_view text) {
  TextEntry& entry = textEntry(text);
  if (entry.laidOut) return entry;
  // Laid out as a static text lays itself out when drawn on such a device:
  // one line per line separator, as wide as it needs.
  QTextLayout layout(entry.text.text(), entry_->font, painter_.device());
  layout.setCacheEnabled(true);
  layout.beginLayout();
  qreal height = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLeadingIncluded(true);
    line.setLineWidth(1e7);
    line.setPosition(QPointF(0.0, height));
    if (line.lineNumber() == 0) {
      entry.lineAscent = line.ascent();
      entry.lineHeight = line.ascent() + line.descent();
      entry.advance = line.horizontalAdvance();
    }
    height += line.height();
    height += line.leading() < 0 ? std::ceil(line.leading()) : std::floor(line.leading());
  }
  layout.endLayout();
  entry.lines = layout.lineCount();
  entry.runs = layout.glyphRuns();
  entry.laidOut = true;
  return entry;
}

void QtSurface::drawRuns(const QPointF& topLeft, const TextEntry& laidOut) {
  for (const QGlyphRun& run : laidOut.runs) {
    if (run.underline() || run.overline() || run.strikeOut() || run.isRightToLeft()) {
      flushText();
      painter_.drawGlyphRun(topLeft, run);
      continue;
    }
    // Texts in a row of one face and colour go to the device as one run:
    // a label spread character by character is one text object, not one
    // per character, with the same glyphs at the same places.
    if (!pendingGlyphs_.isEmpty() && !(pendingFont_ == run.rawFont())) flushText();
    pendingFont_ = run.rawFont();
    pendingGlyphs_ += run.glyphIndexes();
    for (const QPointF& at : run.positions()) pendingPositions_.append(at + topLeft);
  }
}

void QtSurface::flushText() {
  if (pendingGlyphs_.isEmpty()) return;
  if (painterPen_ != PainterPen::text) {
    painter_.setPen(QPen(toQColor(textColour_)));
    painterPen_ = PainterPen::text;
  }
  QGlyphRun run;
  run.setRawFont(pendingFont_);
  run.setGlyphIndexes(pendingGlyphs_);
  run.setPositions(pendingPositions_);
  painter_.drawGlyphRun(QPointF(0, 0), run);
  pendingGlyphs_.clear();
  pendingPositions_.clear();
}

namespace {
thread_local ThreadSurfaceCache* currentThreadCache = nullptr;
} // namespace

ThreadSurfaceCache::ThreadSurfaceCache() {
  if (currentThreadCache) return;
  currentThreadCache = this;
  outermost_ = true;
}

ThreadSurfaceCache::~ThreadSurfaceCache() {
  if (outermost_) currentThreadCache = nullptr;
}

QtSurfaceCache* ThreadSurfaceCache::forPainter(const QPainter& painter, int dpiX, int dpiY) {
  if (!currentThreadCache) return nullptr;
  QtSurfaceCache& cache = currentThreadCache->cache_;
  const QPaintEngine* engine = painter.paintEngine();
  const int type = engine ? static_cast<int>(engine->type()) : -1;
  if (cache.dpiX != dpiX || cache.dpiY != dpiY || cache.engine != type) {
    cache.fonts.clear();
    cache.circleStamps.clear();
    cache.dpiX = dpiX;
    cache.dpiY = dpiY;
    cache.engine = type;
  }
  return &cache;
}

QString QtSurface::substituteFamily(const std::string& faceName) {
  const QString name = QString::fromStdString(faceName).trimmed();
  if (!name.isEmpty()) {
    const QString installed = installedFamily(name);
    if (!installed.isEmpty()) return installed;
  }
  const bool proportional = isProportionalName(name);
  QString found;
  // The faces of a Japanese Windows first (MS, then Yu, then Meiryo for
  // Gothic), then those of a Linux desktop.
  if (isGothicName(name)) {
    found = proportional ? firstInstalled({"ＭＳ Ｐゴシック", "MS PGothic", "ＭＳ ゴシック", "MS Gothic", "游ゴシック",
                                           "Yu Gothic", "メイリオ", "Meiryo", "IPAPGothic", "IPAGothic", "IPAexGothic",
                                           "Noto Sans CJK JP", "ipagp.ttf", "ipag.ttf"})
                         : firstInstalled({"ＭＳ ゴシック", "MS Gothic", "ＭＳ Ｐゴシック", "MS PGothic", "游ゴシック",
                                           "Yu Gothic", "メイリオ", "Meiryo", "IPAGothic", "IPAPGothic", "IPAexGothic",
                                           "Noto Sans CJK JP", "ipag.ttf", "ipagp.ttf"});
  } else {
    found = proportional ? firstInstalled({"ＭＳ Ｐ明朝", "MS PMincho", "ＭＳ 明朝", "MS Mincho", "游明朝", "Yu Mincho",
                                           "IPAPMincho", "IPAMincho", "IPAexMincho", "Noto Serif CJK JP", "ipamp.ttf",
                                           "ipam.ttf"})
                         : firstInstalled({"ＭＳ 明朝", "MS Mincho", "ＭＳ Ｐ明朝", "MS PMincho", "游明朝", "Yu Mincho",
                                           "IPAMincho", "IPAPMincho", "IPAexMincho", "Noto Serif CJK JP", "ipam.ttf",
                                           "ipamp.ttf"});
  }
  if (found.isEmpty() && !japaneseFallbacks().isEmpty()) found = japaneseFallbacks().front();
  return found.isEmpty() ? name : found;
}

QColor QtSurface::toQColor(Colour colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

QtSurface::FontEntry& QtSurface::entryFor(const FontSpec& request) {
  const std::string key = cacheKey(request);
  if (auto it = cache_.fonts.find(key); it != cache_.fonts.end()) return it->second;

  const QString family = substituteFamily(request.faceName);
  QFont font(family);
  QStringList families{family};
  for (const QString& fallback : japaneseFallbacks())
    if (fallback != family) families << fallback;
  font.setFamilies(families);
  font.setStyleHint(isGothicName(family) ? QFont::SansSerif : QFont::Serif,
                    QFont::StyleStrategy(QFont::PreferOutline | QFont::PreferQuality));
  font.setKerning(false);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setItalic(request.italic);
  font.setUnderline(request.underline);
  if (request.weight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp(request.weight, 100, 900)));

  QPaintDevice* device = painter_.device();
  auto cell = [&](int pixelSize) {
    font.setPixelSize(pixelSize);
    const QFontMetrics fm(font, device);
    return fm.ascent() + fm.descent();
  };

  if (request.height < 0) {
    // A negative height is the character height without internal leading.
    font.setPixelSize(std::max(1, -request.height));
  } else {
    // A positive height (0: the default size) is the whole cell.
    const int target = request.height > 0 ? request.height : std::max(1, dpiY_ * 16 / 96);
    int px = target;
    const int first = cell(px);
    if (first > 0 && first != target)
      px = std::max(1, static_cast<int>(std::lround(static_cast<double>(target) * px / first)));
    for (int i = 0; i < 8 && px > 1 && cell(px) > target; ++i) --px;
    for (int i = 0; i < 8 && cell(px + 1) <= target; ++i) ++px;
    font.setPixelSize(px);
  }

  const QFontMetrics fm(font, device);
  FontEntry entry{font, fm, fm.ascent(), fm.descent(), {}};
  return cache_.fonts.emplace(key, std::move(entry)).first->second;
}

QFont QtSurface::qtFontFor(const FontSpec& font) { return entryFor(font).font; }

void QtSurface::setWindowOrg(int x, int y) {
  flush();
  windowOrg_ = {x, y};
  painter_.setTransform(QTransform::fromTranslate(-x, -y) * base_);
}

void QtSurface::setBkModeTransparent() { painter_.setBackgroundMode(Qt::TransparentMode); }

void QtSurface::moveTo(int x, int y) { current_ = {x, y}; }

void QtSurface::useLinePen(const Pen& pen) {
  if (painterPen_ == PainterPen::line && lastLinePen_ == pen) return;
  QPen qpen(toQColor(pen.colour));
  qpen.setWidth(pen.width);
  qpen.setCapStyle(Qt::FlatCap);
  qpen.setJoinStyle(Qt::MiterJoin);
  if (pen.style == PS_DASH) qpen.setStyle(Qt::DashLine);
  else if (pen.style == PS_DOT) qpen.setStyle(Qt::DotLine);
  painter_.setPen(qpen);
  painterPen_ = PainterPen::line;
  lastLinePen_ = pen;
}

void QtSurface::useTextPenAndFont() {
  if (painterPen_ != PainterPen::text) {
    painter_.setPen(QPen(toQColor(textColour_)));
    painterPen_ = PainterPen::text;
  }
  if (!painterFontSet_) {
    painter_.setFont(qfont_);
    painterFontSet_ = true;
  }
}

void QtSurface::lineTo(int x, int y, const Pen& pen) {
  if (pen.width > 0 && pen.style != PS_NULL) {
    // Grids are thousands of short dashes: collect lines of one pen and draw
    // them together.
    flushText();
    if (!pendingLines_.isEmpty() && !(pendingPen_ == pen)) flushLines();
    pendingPen_ = pen;
    pendingLines_.append(QLine(current_.x, current_.y, x, y));
  }
  current_ = {x, y};
}

bool QtSurface::rasterTarget() const {
  const QPaintEngine* engine = painter_.paintEngine();
  if (!engine || engine->type() != QPaintEngine::Raster) return false;
  const QTransform& t = painter_.transform();
  return t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) && t.dy() == std::floor(t.dy());
}

void QtSurface::dashes(int x, int y, int dashX, int dashY, int stepX, int stepY, int count, const Pen& pen) {
  const bool horizontal = dashY == 0 && stepY == 0 && dashX > 0 && stepX > dashX;
  const bool vertical = dashX == 0 && stepX == 0 && dashY > 0 && stepY > dashY;
  if (count < 2 || pen.width != 1 || pen.style != PS_SOLID || !(horizontal || vertical)) {
    Surface::dashes(x, y, dashX, dashY, stepX, stepY, count, pen);
    return;
  }
  // One line with a dash pattern of the same dash and gap lengths draws the
  // same pixels as the separate dashes, far faster.
  flush();
  const int dash = horizontal ? dashX : dashY;
  const int gap = (horizontal ? stepX : stepY) - dash;
  const long long last = static_cast<long long>(count - 1);
  const int endX = clampToInt(x + last * stepX + dashX), endY = clampToInt(y + last * stepY + dashY);
  QPen qpen(toQColor(pen.colour));
  qpen.setWidth(1);
  qpen.setCapStyle(Qt::FlatCap);
  qpen.setDashPattern({static_cast<qreal>(dash), static_cast<qreal>(gap)});
  painter_.setPen(qpen);
  painterPen_ = PainterPen::none;
  painter_.drawLine(x, y, endX, endY);
  current_ = {endX, endY};
}

void QtSurface::circle(int cx, int cy, int radius, const Pen& requested) {
  if (requested.style == PS_NULL) return;
  // A pen of width 0 (or less) draws circles one pixel wide.
  const Pen pen{requested.style, std::max(1, requested.width), requested.colour};
  flush();
  if (radius >= 0 && radius < 200 && pen.width < 50 && pen.style == PS_SOLID && rasterTarget()) {
    const bool antialiased = painter_.testRenderHint(QPainter::Antialiasing);
    const unsigned long long key = (static_cast<unsigned long long>(radius) << 40) |
                                   (static_cast<unsigned long long>(pen.width) << 32) |
                                   (static_cast<unsigned long long>(pen.colour & 0xFFFFFF) << 1) |
                                   (antialiased ? 1u : 0u);
    auto it = cache_.circleStamps.find(key);
    const int c = radius + pen.width + 2;  // the stamp's centre pixel
    if (it == cache_.circleStamps.end()) {
      QImage stamp(2 * c + 1, 2 * c + 1, QImage::Format_ARGB32_Premultiplied);
      stamp.fill(Qt::transparent);
      QPainter p(&stamp);
      p.setRenderHint(QPainter::Antialiasing, antialiased);
      QPen qpen(toQColor(pen.colour));
      qpen.setWidth(pen.width);
      qpen.setCapStyle(Qt::FlatCap);
      qpen.setJoinStyle(Qt::MiterJoin);
      p.setPen(qpen);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPoint(c, c), radius, radius);
      p.end();
      it = cache_.circleStamps.emplace(key, std::move(stamp)).first;
    }
    painter_.drawImage(QPoint(cx - c, cy - c), it->second);
    return;
  }
  useLinePen(pen);
  painter_.setBrush(Qt::NoBrush);
  painter_.drawEllipse(QPoint(cx, cy), radius, radius);
}

bool QtSurface::selectFont(const FontSpec& font) {
  FontEntry& entry = entryFor(font);
  spec_ = font;
  if (entry_ != &entry) {
    entry_ = &entry;
    qfont_ = entry.font;
    painterFontSet_ = false;
  }
  return true;
}

void QtSurface::setTextColor(Colour colour) {
  if (colour != textColour_) flushText();
  if (colour != textColour_ && painterPen_ == PainterPen::text) painterPen_ = PainterPen::none;
  textColour_ = colour;
}

void QtSurface::textOut(int x, int y, std::string_view text) {
  flushLines();  // queued texts stay queued: they join this one
  const bool updateCp = (align_ & TA_UPDATECP) != 0;
  TextEntry& laidOut = textEntry(text);
  const int width = laidOut.width;
  const DevicePoint anchor = updateCp ? current_ : DevicePoint{x, y};

  // Offsets from the anchor to the start of the baseline, in the text's
  // own (unrotated) direction.
  const unsigned horizontal = align_ & kHorizontalAlignMask;
  const unsigned vertical = align_ & kVerticalAlignMask;
  int dx = 0;
  if (horizontal == TA_CENTER) dx = -width / 2;
  else if (horizontal == TA_RIGHT) dx = -width;
  int dy = entry_->ascent;
  if (vertical == TA_BASELINE) dy = 0;
  else if (vertical == TA_BOTTOM) dy = -entry_->descent;

  useTextPenAndFont();
  const int escapement = spec_.escapement % 3600;
  if (glyphRuns_) {
    const TextEntry& runs = laidOutEntry(text);
    if (escapement == 0) {
      drawRuns(QPointF(anchor.x + dx, anchor.y + dy - entry_->ascent), runs);
    } else {
      // The baseline's start at (dx, dy) in the text's own direction.
      flushText();
      const QTransform current = painter_.transform();
      QTransform rotated = current;
      rotated.translate(anchor.x, anchor.y);
      rotated.rotate(-escapement / 10.0);
      painter_.setTransform(rotated);
      drawRuns(QPointF(dx, dy - runs.lineAscent), runs);
      flushText();
      painter_.setTransform(current);
    }
  } else if (escapement == 0) {
    if (!laidOut.prepared) {
      laidOut.text.prepare(QTransform(), entry_->font);
      laidOut.prepared = true;
    }
    // A static text is placed by the top of its line: the baseline lies one
    // ascent below.
    painter_.drawStaticText(QPointF(anchor.x + dx, anchor.y + dy - entry_->ascent), laidOut.text);
  } else {
    const QString qtext = toQString(text);
    const QTransform current = painter_.transform();
    QTransform rotated = current;
    rotated.translate(anchor.x, anchor.y);
    rotated.rotate(-escapement / 10.0);
    painter_.setTransform(rotated);
    painter_.drawText(QPoint(dx, dy), qtext);
    painter_.setTransform(current);
  }

  if (updateCp && horizontal != TA_CENTER) {
    const int advance = horizontal == TA_RIGHT ? -width : width;
    if (escapement == 0) {
      current_.x += advance;
    } else {
      const double a = escapementRadians(escapement);
      current_.x += static_cast<int>(std::lround(advance * std::cos(a)));
      current_.y -= static_cast<int>(std::lround(advance * std::sin(a)));
    }
  }
}

void QtSurface::drawText(const DeviceRect& rect, std::string_view text, unsigned flags) {
  const int left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
  const int top = std::min(rect.top, rect.bottom), bottom = std::max(rect.top, rect.bottom);
  int qflags = (flags & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
  if (flags & DT_SINGLELINE) {
    qflags |= Qt::TextSingleLine;
    qflags |= (flags & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
  } else {
    qflags |= Qt::AlignTop;
    if (flags & DT_WORDBREAK) qflags |= Qt::TextWordWrap;
  }
  if (flags & DT_NOCLIP) qflags |= Qt::TextDontClip;
  const bool fast = glyphRuns_ && (flags & DT_SINGLELINE) && (flags & DT_NOCLIP) && isOneLine(text);
  if (fast) flushLines();
  else flush();
  useTextPenAndFont();
  if (fast) {
    // One line placed in the box as the painter places it (the line's
    // height and advance centred), from the cached glyph runs.
    const TextEntry& runs = laidOutEntry(text);
    const qreal width = right - left, height = bottom - top;
    const qreal x = left + ((flags & DT_CENTER) ? (width - runs.advance) / 2 : 0.0);
    const qreal y = top + ((flags & DT_VCENTER) ? (height - runs.lineHeight) / 2 : 0.0);
    drawRuns(QPointF(x, y), runs);
    return;
  }
  painter_.drawText(QRect(left, top, right - left, bottom - top), qflags, toQString(text));
}

DeviceSize QtSurface::textExtent(std::string_view text) {
  return {textEntry(text).width, entry_->ascent + entry_->descent};
}

void QtSurface::intersectClipRect(const DeviceRect& rect) {
  flush();
  const int left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
  const int top = std::min(rect.top, rect.bottom), bottom = std::max(rect.top, rect.bottom);
  const QRect r(left, top, right - left, bottom - top);
  painter_.setClipRect(r, painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void QtSurface::resetClip() {
  flush();
  // Back to the clip the painter came with (the view clips to the sheet),
  // not to none at all.
  if (initialClip_) {
    painter_.setTransform(base_);
    painter_.setClipRegion(*initialClip_);
    painter_.setTransform(QTransform::fromTranslate(-windowOrg_.x, -windowOrg_.y) * base_);
  } else {
    painter_.setClipping(false);
  }
}

} // namespace tov
