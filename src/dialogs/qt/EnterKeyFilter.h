#pragma once
// The one Enter-key rule of every dialog, as an event filter: by the
// Enter-key setting, Enter presses the default button (the usual handling),
// moves the focus on to the next control like Tab, or does nothing.
//
// A drop-down list that is open and an input method that is composing keep
// their own handling, and so does a widget that gives Enter a meaning of
// its own (a cell editor, a multi-line text): it says so with the property
// kOwnsEnterProperty set to true on itself or on a parent inside the dialog.
#include <QObject>
#include <QPointer>

#include <functional>

class QDialog;
class QWidget;

namespace tov {

inline constexpr const char* kOwnsEnterProperty = "tovOwnsEnter";

class EnterKeyFilter : public QObject {
  Q_OBJECT
public:
  // Applies the rule to the dialog's widgets while the filter lives (it is a
  // child of the dialog). The mode is read at every key press (by default
  // the Enter-key setting of the settings).
  explicit EnterKeyFilter(QDialog& dialog, std::function<int()> mode = {});

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool ownsEnter(const QWidget* widget) const;
  QDialog& dialog_;
  std::function<int()> mode_;
  QPointer<QWidget> composing_;  // the widget whose input method is composing
};

// Installs the filter on a dialog; returns it (owned by the dialog).
EnterKeyFilter* installEnterKeyFilter(QDialog& dialog, std::function<int()> mode = {});

} // namespace tov
