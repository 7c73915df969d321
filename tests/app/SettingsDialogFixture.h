#pragma once
// A main window over a private install folder with the editors registered,
// for driving the settings dialogs through their menu commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "qt/FileChooser.h"
#include "app/ShellLogic.h"
#include "files/Platform.h"
#include "files/Settings.h"
#include "files/TextFile.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "render/RecordingSurface.h"
#include "support/TestSupport.h"

namespace tov {

class SettingsDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    theViewState() = ViewState{};
    theSettings().loadSettings(true);
    record.set_surveyName("調査A");
    record.fillScaleDefaults(theSettings().display.headingDefaults());
    sink.reported.clear();
  }

  // Runs a menu command; `drive` acts on the dialog it opens. A dialog that
  // is still open afterwards is closed without its own Cancel.
  void runCommand(int id, const std::function<void(QDialog&)>& drive) {
    bool driven = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      driven = true;
      dialog->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
      drive(*dialog);
      if (dialog->isVisible()) dialog->done(QDialog::Rejected);
    });
    frame.onCommand(id);
    EXPECT_TRUE(driven) << "command " << id << " opened no dialog";
  }
  // Runs `act` on the modal dialog of the given class that the next step
  // opens (a chooser over the settings dialog).
  template <class Chooser>
  static void answerChooser(const std::function<void(Chooser&)>& act) {
    QTimer::singleShot(0, [act] {
      if (auto* chooser = qobject_cast<Chooser*>(QApplication::activeModalWidget())) act(*chooser);
    });
  }

  template <class W>
  static W* child(QDialog& dialog, const char* name) {
    W* widget = dialog.findChild<W*>(QString::fromUtf8(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  // Types into a field over what it holds, as a user selecting it first.
  static void retype(QWidget* field, const QString& text) {
    QLineEdit* edit = qobject_cast<QLineEdit*>(field);
    if (auto* combo = qobject_cast<QComboBox*>(field)) edit = combo->lineEdit();
    ASSERT_NE(edit, nullptr);
    field->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    // Japanese text arrives as the input method commits it.
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(edit, &commit);
  }
  static void click(QDialog& dialog, const char* button) { QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton); }

  // The page as the view draws it now.
  RecordingSurface drawnPage(int page = 1) const {
    RecordingSurface surface;
    TestRecord drawn = record;
    repairScalesForDrawing(drawn);
    renderPage(surface, pageInputsFrom(drawn, theSettings(), theViewState().paperWidthMm), page);
    return surface;
  }
  // The same page as the next start of the program (or an export run) draws
  // it from the files.
  RecordingSurface pageAfterRestart(int page = 1) const {
    TestRecord other;
    Settings next(other);
    next.loadSettings(false);
    RecordingSurface surface;
    TestRecord drawn = record;
    repairScalesForDrawing(drawn);
    renderPage(surface, pageInputsFrom(drawn, next, theViewState().paperWidthMm), page);
    return surface;
  }
  std::filesystem::path settingsFile() const { return hostPath(theSettings().location.settingsPath()); }
  // Line n (from 1) of Sys.ndx.
  std::string settingsLine(int n) const {
    const auto text = readTextLines(settingsFile());
    return text && static_cast<int>(text->lines.size()) >= n ? text->lines[static_cast<std::size_t>(n - 1)] : "?";
  }

  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  DialogFileChooser chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};
};

} // namespace tov
