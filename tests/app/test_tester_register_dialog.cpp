// The tester register editor driven through its widgets: names typed in
// place with Enter, Up, Down and Tab, moved and saved through the menu
// command; Esc in the editor asks before anything is thrown away.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "app/FileChooser.h"
#include "dialogs/qt/CTesterRegisterDialog.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "record/Messages.h"
#include "support/TestSupport.h"
#include "app/DialogTestSupport.h"

namespace tov {
namespace {

using testing::crlfLines;
using testing::readBytes;
using testing::writeBytes;
using Said = std::vector<std::string>;
using namespace dialogtest;

std::string cp932(const std::vector<std::string>& lines) { return utf8ToCp932(crlfLines(lines)).value(); }

class RegisterDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    theSettings().loadSettings(true);
    writeBytes(registerFile(), cp932({"山田"}));
    sink.reported.clear();
  }
  std::filesystem::path registerFile() const { return theSettings().installFolderPath() / "M.mst"; }

  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
};

TEST_F(RegisterDialogTest, NamesTypedInPlaceMovedAndSaved) {
  TestRecord record;
  NoFiles chooser;
  CTovDoc doc(record, chooser, nullptr);
  CMainFrame frame(doc, nullptr);

  whenOpen<CTesterRegisterDialog>([](CTesterRegisterDialog& dialog) {
    showActive(dialog);
    TesterRegisterModel& model = dialog.model();
    EXPECT_EQ(model.selectedRow(), 2);
    EXPECT_FALSE(child<QPushButton>(dialog, "importButton")->isEnabled());
    auto* editor = child<QLineEdit>(dialog, "cellEditor");
    ASSERT_TRUE(dialog.openCellEditor(2));
    enterText(editor, QStringLiteral("鈴木"));
    QTest::keyClick(editor, Qt::Key_Return);  // on to the next row, not OK
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(model.editorRow(), 3);
    enterText(editor, QStringLiteral("佐藤"));
    QTest::keyClick(editor, Qt::Key_Up);
    EXPECT_EQ(model.editorRow(), 2);
    EXPECT_EQ(editor->text(), QStringLiteral("鈴木"));
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(editor->text(), QStringLiteral("佐藤"));
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_FALSE(model.inPlaceEditing());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(model.name(3), "佐藤");

    // 山田 down one row, then OK.
    auto* grid = child<QTableView>(dialog, "grid");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 0)).center());
    EXPECT_EQ(model.selectedRow(), 1);
    QTest::mouseClick(child<QPushButton>(dialog, "downButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
  });
  frame.onCommand(ID_TESTER_REGISTER);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(readBytes(registerFile()), cp932({"鈴木", "山田", "佐藤"}));
  EXPECT_FALSE(doc.isModified());
}

TEST_F(RegisterDialogTest, EscapeInTheEditorDropsOnlyThatEdit) {
  TesterRegisterModel model;
  model.openRegister(registerFile(), root / "none");
  CTesterRegisterDialog dialog(model);
  showActive(dialog);
  auto* editor = child<QLineEdit>(dialog, "cellEditor");
  ASSERT_TRUE(dialog.openCellEditor(1));
  QTest::keyClicks(editor, QStringLiteral("X"));
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_TRUE(sink.asked.empty());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(model.name(1), "山田");
  // Nothing changed: Cancel closes without a question.
  QTest::mouseClick(child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(sink.asked.empty());
  EXPECT_EQ(readBytes(registerFile()), cp932({"山田"}));
}

} // namespace
} // namespace tov
