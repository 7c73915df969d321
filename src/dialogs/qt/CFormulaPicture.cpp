#include "dialogs/qt/CFormulaPicture.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tov {

namespace {

// A serif face with italics for the letters, as formulas are set.
QFont formulaFont(double pixelSize, bool italic) {
  QFont font;
  font.setFamilies({QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif"), QStringLiteral("serif")});
  font.setStyleHint(QFont::Serif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
  font.setItalic(italic);
  return font;
}

class PainterCanvas : public FormulaCanvas {
public:
  PainterCanvas(QPainter* painter, QColor colour) : painter_(painter), colour_(colour) {}

  double textWidth(std::string_view text, double size, bool italic) override {
    return QFontMetricsF(formulaFont(size, italic)).horizontalAdvance(qs(text));
  }
  void text(double x, double baseline, std::string_view text, double size, bool italic) override {
    if (!painter_) return;
    painter_->setFont(formulaFont(size, italic));
    painter_->setPen(colour_);
    painter_->drawText(QPointF(x, baseline), qs(text));
  }
  void line(double x1, double y1, double x2, double y2, double width) override {
    if (!painter_) return;
    painter_->setPen(QPen(colour_, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter_->drawLine(QPointF(x1, y1), QPointF(x2, y2));
  }
  void curve(double x1, double y1, double cx, double cy, double x2, double y2, double width) override {
    if (!painter_) return;
    QPainterPath path(QPointF(x1, y1));
    path.quadTo(QPointF(cx, cy), QPointF(x2, y2));
    painter_->strokePath(path, QPen(colour_, width, Qt::SolidLine, Qt::RoundCap));
  }

private:
  static QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
  QPainter* painter_;
  QColor colour_;
};

constexpr double kMargin = 0.15;  // around the picture, in em

} // namespace

CFormulaPicture::CFormulaPicture(FormulaPicture picture, QWidget* parent) : QWidget(parent), picture_(picture) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

double CFormulaPicture::emSize() const { return QFontInfo(font()).pixelSize() * 1.15; }

QSize CFormulaPicture::sizeHint() const {
  PainterCanvas measure(nullptr, Qt::black);
  const double em = emSize();
  const FormulaExtent extent = measureFormula(picture_, measure, em);
  return QSize(static_cast<int>(std::ceil(extent.width + 2 * kMargin * em)),
               static_cast<int>(std::ceil(extent.ascent + extent.descent + 2 * kMargin * em)));
}

void CFormulaPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QColor colour = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
  PainterCanvas canvas(&painter, colour);
  const double em = emSize();
  const FormulaExtent extent = measureFormula(picture_, canvas, em);
  const double baseline = (height() - extent.ascent - extent.descent) / 2 + extent.ascent;
  drawFormula(picture_, canvas, kMargin * em, baseline, em);
}

} // namespace tov
