#pragma once
// Helpers of the dialog tests: a file chooser that chooses nothing, running
// code on the modal dialog a command opens, an active window, widgets by
// object name, and typing into a field and leaving it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>

#include "qt/FileChooser.h"

namespace tov::dialogtest {

class NoFiles : public FileChooser {
public:
  std::optional<std::filesystem::path> chooseOpenFile(QWidget*, const std::filesystem::path&, const QStringList&) override {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> chooseSaveFile(QWidget*, const std::filesystem::path&, const QStringList&) override {
    return std::nullopt;
  }
};

// Runs `act` on the modal dialog once the command has opened it.
template <class Dialog>
void whenOpen(std::function<void(Dialog&)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      ADD_FAILURE() << "no dialog";
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    act(*dialog);
  });
}

inline void showActive(QDialog& dialog) {
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

template <class W>
W* child(QWidget& parent, const char* name) {
  W* widget = parent.findChild<W*>(QString::fromUtf8(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// A click on the box of a check box or radio button (a click beside its
// text misses it).
inline void clickIndicator(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

// Text as the keyboard gives it: ASCII by keys, Japanese through the input
// method's committed text.
inline void enterText(QWidget* widget, const QString& text) {
  bool ascii = true;
  for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
  if (ascii) {
    QTest::keyClicks(widget, text);
  } else {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(widget, &commit);
  }
}

// Types into a field and leaves it with Tab, as the engineer does.
inline void type(QWidget& dialog, const char* name, const char* text) {
  auto* edit = child<QLineEdit>(dialog, name);
  edit->setFocus();
  edit->selectAll();
  enterText(edit, QString::fromUtf8(text));
  QTest::keyClick(edit, Qt::Key_Tab);
}

} // namespace tov::dialogtest
