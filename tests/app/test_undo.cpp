// Undo and redo of whole edits: every editor of the test on every sample,
// OK with a change, then 元に戻す gives the bytes saved before the edit and
// no modified mark, やり直し the edited bytes again; the menu names the step.
#include <QAbstractButton>
#include <QAction>
#include <QTableView>

#include "SettingsDialogFixture.h"
#include "files/TvdFile.h"

namespace tov {
namespace {

namespace fs = std::filesystem;

struct EditorRow {
  int command;  // 0: the readings command of the sample's method
  const char* step;
  std::function<void(QDialog&)> change;  // changes something and presses OK
};

void retypeField(QDialog& dialog, const char* name, const QString& text) {
  auto* edit = dialog.findChild<QLineEdit*>(QString::fromUtf8(name));
  ASSERT_NE(edit, nullptr) << name;
  edit->setFocus(Qt::TabFocusReason);
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QInputMethodEvent commit;
  commit.setCommitString(text);
  QApplication::sendEvent(edit, &commit);
}

void press(QDialog& dialog, const char* name) {
  auto* button = dialog.findChild<QAbstractButton*>(QString::fromUtf8(name));
  ASSERT_NE(button, nullptr) << name;
  QTest::mouseClick(button, Qt::LeftButton);
}

const EditorRow kEditors[] = {
    {ID_HEADINGS, "見出し",
     [](QDialog& d) {
       retypeField(d, "surveyName", QStringLiteral("別の調査"));
       press(d, "okButton");
     }},
    {0, "測定データ",
     [](QDialog& d) {
       QTest::mouseClick(d.findChild<QTableView*>(QStringLiteral("grid"))->viewport(), Qt::LeftButton, {}, QPoint(8, 8));
       press(d, "deleteButton");
       press(d, "okButton");
     }},
    {ID_ANALYSIS, "解析/目盛り",
     [](QDialog& d) {
       QTest::qWait(20);
       press(d, "leftButton");  // the selected analysis point one row back
       press(d, "okButton");
     }},
    {ID_PAGE_FORMAT, "ページ設定",
     [](QDialog& d) {
       retypeField(d, "graphNumber", QStringLiteral("3"));
       press(d, "okButton");
     }},
};

class Undo : public SettingsDialogTest {
protected:
  std::string saved() {
    const fs::path file = root.path() / "saved.tvd";
    EXPECT_TRUE(saveTestFile(file, record));
    return testing::readBytes(file);
  }
  QAction* action(int id) { return frame.commandAction(id); }
  // A copy: an open test is locked, and test programs run side by side.
  fs::path sampleCopy(const char* name) {
    const fs::path copy = root.path() / name;
    fs::copy_file(fs::path(TOV_SOURCE_DIR) / "samples" / name, copy, fs::copy_options::overwrite_existing);
    return copy;
  }
};

TEST_F(Undo, EveryEditorOnEverySampleUndoesToTheSavedBytesAndRedoes) {
  for (const char* sample : {"unsteady.tvd", "steady.tvd", "long.tvd"}) {
    for (const EditorRow& editor : kEditors) {
      SCOPED_TRACE(std::string(sample) + " " + editor.step);
      ASSERT_TRUE(doc.openDocumentFile(sampleCopy(sample)));
      const int command = editor.command ? editor.command
                                         : (record.fieldInt(F_formulaKind) == 4 ? ID_STEADY_READINGS : ID_UNSTEADY_READINGS);
      const std::string before = saved();
      frame.updateCommandStates();
      EXPECT_FALSE(action(ID_EDIT_UNDO)->isEnabled());
      runCommand(command, editor.change);
      const std::string after = saved();
      ASSERT_TRUE(after != before) << "the editor changed nothing";
      EXPECT_TRUE(doc.isModified());
      EXPECT_EQ(action(ID_EDIT_UNDO)->text().toStdString(), std::string("元に戻す: ") + editor.step + "(&U)");

      action(ID_EDIT_UNDO)->trigger();
      EXPECT_TRUE(saved() == before) << "undo gives the bytes saved before the edit";
      EXPECT_FALSE(doc.isModified());
      EXPECT_FALSE(action(ID_EDIT_UNDO)->isEnabled());
      EXPECT_EQ(action(ID_EDIT_REDO)->text().toStdString(), std::string("やり直し: ") + editor.step + "(&R)");

      action(ID_EDIT_REDO)->trigger();
      EXPECT_TRUE(saved() == after) << "redo gives the edited bytes";
      EXPECT_TRUE(doc.isModified());
    }
  }
}

TEST_F(Undo, TheModifiedMarkFollowsTheSavedStateAndANewEditDropsTheRedo) {
  ASSERT_TRUE(doc.openDocumentFile(sampleCopy("unsteady.tvd")));
  int applied = 0;
  QObject::connect(&doc, &CTovDoc::editApplied, [&] { ++applied; });
  auto pageNumber = [this](const char* number) {
    runCommand(ID_PAGE_FORMAT, [number](QDialog& d) {
      retypeField(d, "graphNumber", QString::fromUtf8(number));
      press(d, "okButton");
    });
  };
  pageNumber("4");
  doc.setPathName(root.path() / "saved here.tvd");
  doc.onFileSave();
  EXPECT_FALSE(doc.isModified());
  action(ID_EDIT_UNDO)->trigger();
  EXPECT_TRUE(doc.isModified()) << "the saved state is the edited one";
  action(ID_EDIT_REDO)->trigger();
  EXPECT_FALSE(doc.isModified());
  action(ID_EDIT_UNDO)->trigger();
  pageNumber("5");
  EXPECT_FALSE(action(ID_EDIT_REDO)->isEnabled());
  EXPECT_EQ(record.graphPageNumber(), "5");
  EXPECT_EQ(applied, 5);
  // OK without a change makes no step.
  runCommand(ID_PAGE_FORMAT, [](QDialog& d) { press(d, "okButton"); });
  EXPECT_EQ(applied, 5);
}

} // namespace
} // namespace tov
