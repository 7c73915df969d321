#pragma once
// A formula of k (or the gradient a) drawn with QPainter from the typeset
// picture of dialogs/FormulaPictures: lines, curves and texts, sharp at any
// size. The size follows the widget's font.
#include <QWidget>

#include "dialogs/FormulaPictures.h"

namespace tov {

class CFormulaPicture : public QWidget {
  Q_OBJECT
public:
  explicit CFormulaPicture(FormulaPicture picture, QWidget* parent = nullptr);
  FormulaPicture picture() const { return picture_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  // The font size of the picture, in pixels.
  double emSize() const;
  FormulaPicture picture_;
};

} // namespace tov
