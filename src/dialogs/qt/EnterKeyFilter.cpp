#include "dialogs/qt/EnterKeyFilter.h"

#include <QApplication>
#include <QDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "dialogs/EnterKey.h"
#include "files/Settings.h"

namespace tov {

EnterKeyFilter::EnterKeyFilter(QDialog& dialog, std::function<int()> mode)
    : QObject(&dialog), dialog_(dialog), mode_(std::move(mode)) {
  setObjectName(QStringLiteral("enterKeyFilter"));
  if (!mode_) mode_ = [] { return theSettings().display.enterKeyMode; };
  // Key presses reach the focused widget first; watching the application
  // sees them there, before any widget of the dialog acts on them.
  qApp->installEventFilter(this);
}

bool EnterKeyFilter::ownsEnter(const QWidget* widget) const {
  for (; widget && widget != &dialog_; widget = widget->parentWidget())
    if (widget->property(kOwnsEnterProperty).toBool()) return true;
  return false;
}

bool EnterKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::InputMethod) {
    // A pre-edit text means the input method is composing in that widget.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == &dialog_) {
      const bool composing = !static_cast<QInputMethodEvent*>(event)->preeditString().isEmpty();
      if (composing)
        composing_ = widget;
      else if (composing_ == widget)
        composing_ = nullptr;
    }
    return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Only the dialog's own controls: an open drop-down list is a window of
  // its own and keeps its handling.
  if (!widget || widget->window() != &dialog_ || !dialog_.isVisible()) return false;
  if (composing_ && composing_ == widget) return false;
  if (ownsEnter(widget)) return false;
  switch (enterKeyAction(mode_())) {
  case EnterKeyAction::Usual:
    return false;
  case EnterKeyAction::NextControl: {
    // The dialog moves the focus on as it does for Tab.
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog_, &tab);
    return true;
  }
  case EnterKeyAction::Nothing:
    return true;
  }
  return false;
}

EnterKeyFilter* installEnterKeyFilter(QDialog& dialog, std::function<int()> mode) {
  return new EnterKeyFilter(dialog, std::move(mode));
}

} // namespace tov
