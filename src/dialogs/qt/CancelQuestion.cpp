#include "dialogs/qt/CancelQuestion.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include "record/Messages.h"

namespace tov {

namespace {

class CancelQuestion : public QObject {
public:
  explicit CancelQuestion(QDialog& dialog) : QObject(&dialog), dialog_(dialog) {
    setObjectName(QStringLiteral("cancelQuestion"));
    dialog.installEventFilter(this);
  }

  bool mayCancel() {
    if (!noted_ || state() == shown_) return true;
    return messageSink().askYesNo(messageText(IDS_DISCARD_CHANGES));
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &dialog_) return false;
    switch (event->type()) {
    case QEvent::Show:
      if (!noted_) {
        // After the dialog's own adjustments on showing.
        QTimer::singleShot(0, this, [this] {
          QTimer::singleShot(0, this, [this] {
            shown_ = state();
            noted_ = true;
          });
        });
      }
      break;
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
          static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier && !mayCancel())
        return true;
      break;
    case QEvent::Close:
      if (dialog_.isVisible() && !mayCancel()) {
        event->ignore();
        return true;
      }
      break;
    default: break;
    }
    return false;
  }

private:
  QStringList state() const {
    QStringList fields;
    for (QWidget* widget : dialog_.findChildren<QWidget*>()) {
      if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (!edit->isReadOnly()) fields << edit->text();
      } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        fields << QString::number(combo->currentIndex()) + combo->currentText();
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (button->isCheckable()) fields << (button->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
      } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
        fields << spin->text();
      } else if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
        if (!text->isReadOnly()) fields << text->toPlainText();
      }
    }
    return fields;
  }

  QDialog& dialog_;
  QStringList shown_;
  bool noted_ = false;
};

} // namespace

void installCancelQuestion(QDialog& dialog) { new CancelQuestion(dialog); }

bool mayCancel(QDialog& dialog) {
  auto* question = dialog.findChild<QObject*>(QStringLiteral("cancelQuestion"), Qt::FindDirectChildrenOnly);
  return !question || static_cast<CancelQuestion*>(question)->mayCancel();
}

} // namespace tov
