// The readings editors driven through their real widgets: typing readings
// into the entry fields, correcting a cell in place, pasting a block, OK
// and Cancel through the menu command, the Enter key under each setting,
// the steady method's flow picker, and a test typed in, saved and reopened.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "qt/FileChooser.h"
#include "app/ShellLogic.h"
#include "dialogs/qt/CReadingsDialog.h"
#include "files/Settings.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using Said = std::vector<std::string>;

class SaveChooser : public FileChooser {
public:
  std::optional<fs::path> chooseOpenFile(QWidget*, const fs::path&, const QStringList&) override { return openAnswer; }
  std::optional<fs::path> chooseSaveFile(QWidget*, const fs::path&, const QStringList&) override { return saveAnswer; }
  std::optional<fs::path> openAnswer, saveAnswer;
};

template <typename T>
T* child(QWidget* parent, const char* name) {
  T* widget = parent->findChild<T*>(QString::fromUtf8(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

void type(QWidget* dialog, const char* field, const QString& text) {
  auto* edit = child<QLineEdit>(dialog, field);
  edit->setFocus();
  edit->selectAll();
  // Typed as key presses carrying their text (kana and kanji included).
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
  QCoreApplication::sendEvent(edit, &press);
}

void click(QWidget* dialog, const char* button) { QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton); }

// Runs a command whose editor is modal; `drive` acts on the dialog once it
// is open and must close it.
void runModal(CMainFrame& frame, int command, const std::function<void(CReadingsDialog&)>& drive) {
  bool driven = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CReadingsDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    QApplication::setActiveWindow(dialog);
    driven = true;
    drive(*dialog);
    if (dialog->isVisible()) dialog->done(QDialog::Rejected);  // a failed step must not hang the test
  });
  frame.onCommand(command);
  EXPECT_TRUE(driven);
}

class ReadingsDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    theSettings().loadSettings(true);
    theSettings().display.enterKeyMode = 1;
    record.set_pipeTopHeight("0.5");
    record.set_equilibriumLevel("-2.5");
    record.set_previewTimeFrom("0");
    record.set_previewTimeTo("600");
    record.set_previewLevelBottom("0");
    record.set_previewLevelTop("3");
  }

  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  SaveChooser chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};
};

TEST_F(ReadingsDialogTest, TypedCorrectedAndPastedReadingsAreStoredWithHAndS) {
  runModal(frame, ID_UNSTEADY_READINGS, [](CReadingsDialog& dialog) {
    EXPECT_EQ(QApplication::focusWidget(), dialog.findChild<QLineEdit*>("entryTime"));
    const char* readings[][3] = {{"0", "2.50", "10:00"}, {"30", "2.20", "10:00"}, {"60", "2.00", "10:01"}};
    for (const auto& r : readings) {
      type(&dialog, "entryTime", QString::fromUtf8(r[0]));
      type(&dialog, "entryPipeLevel", QString::fromUtf8(r[1]));
      type(&dialog, "entryClockTime", QString::fromUtf8(r[2]));
      click(&dialog, "addButton");
    }
    // The increment offers the next t after the third reading.
    EXPECT_EQ(child<QLineEdit>(&dialog, "entryTime")->text(), QStringLiteral("90.0"));

    // Row 2 corrected in place: Enter moves from h' to the clock time and on.
    ASSERT_TRUE(dialog.openCellEditor(2, 2));
    auto* editor = child<QLineEdit>(&dialog, "cellEditor");
    EXPECT_TRUE(editor->hasFocus());
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("2.25"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(dialog.cellEditorOpen());
    EXPECT_EQ(editor->text(), QStringLiteral("10:00"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("10:02"));
    QTest::keyClick(editor, Qt::Key_Return);  // on to t of row 3
    EXPECT_EQ(editor->text(), QStringLiteral("60"));
    QTest::keyClick(editor, Qt::Key_Escape);  // drops this cell's edit only
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.cellEditorOpen());

    // 30 readings pasted behind them from a spreadsheet.
    QString block;
    for (int i = 1; i <= 30; ++i) block += QStringLiteral("%1\t%2\t10:%3\n").arg(60 + i * 60).arg(2.0 - i * 0.05).arg(i, 2, 10, QLatin1Char('0'));
    QGuiApplication::clipboard()->setText(block);
    auto* grid = child<QTableView>(&dialog, "grid");
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(3, 0));
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    click(&dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_TRUE(sink.asked.empty());
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.countRows(C_time), 33);
  EXPECT_EQ(record.cell(2, C_pipeLevel), "2.25");
  EXPECT_EQ(record.cell(2, C_clockTime), "10:02");
  EXPECT_EQ(record.cell(2, C_level), "-1.75");          // 0.5 - 2.25
  EXPECT_EQ(record.cell(2, C_headDifference), "0.75");  // |-2.5 - -1.75|
  EXPECT_EQ(record.cell(33, C_time), "1860");
  EXPECT_EQ(record.cell(33, C_pipeLevel), "0.5");
  EXPECT_EQ(record.cell(33, C_headDifference), "2.5");
  EXPECT_EQ(record.cell(34, C_time), "");
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(frame.isWindowModified());
}

TEST_F(ReadingsDialogTest, CancelAfterAChangeAsksAndKeepsTheReadings) {
  record.setCell(1, C_time, "10");
  record.setCell(1, C_pipeLevel, "1");
  const TestRecord before = record;
  runModal(frame, ID_UNSTEADY_READINGS, [&](CReadingsDialog& dialog) {
    type(&dialog, "entryTime", QStringLiteral("20"));
    type(&dialog, "entryPipeLevel", QStringLiteral("1.5"));
    click(&dialog, "addButton");
    click(&dialog, "cancelButton");  // answered No: stays open
    EXPECT_TRUE(dialog.isVisible());
    sink.answers = {true};
    click(&dialog, "cancelButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(sink.asked, (Said{messageText(IDS_DISCARD_CHANGES), messageText(IDS_DISCARD_CHANGES)}));
  EXPECT_EQ(record.cell(2, C_time), "");
  EXPECT_EQ(record.cell(1, C_level), "-0.5");  // the follow-up runs after Cancel too
  EXPECT_EQ(record.previewTimeTo(), before.previewTimeTo());
  EXPECT_FALSE(doc.isModified());

  // OK without a change leaves the document unmodified.
  runModal(frame, ID_UNSTEADY_READINGS, [](CReadingsDialog& dialog) { click(&dialog, "okButton"); });
  EXPECT_FALSE(doc.isModified());
}

TEST_F(ReadingsDialogTest, EnterOutsideTheEntryFieldsFollowsTheKeySetting) {
  // 1: on to the next control; 2: nothing; 0: OK.
  for (int mode : {1, 2, 0}) {
    SCOPED_TRACE(mode);
    theSettings().display.enterKeyMode = mode;
    sink.asked.clear();
    bool closed = false;
    runModal(frame, ID_UNSTEADY_READINGS, [&](CReadingsDialog& dialog) {
      auto* axis = child<QLineEdit>(&dialog, "previewTimeTo");
      axis->setFocus();
      QTest::keyClick(axis, Qt::Key_Return);
      closed = !dialog.isVisible();
      if (mode == 1) {
        EXPECT_EQ(QApplication::focusWidget(), dialog.findChild<QPushButton*>("drawButton"));
      } else if (mode == 2) {
        EXPECT_EQ(QApplication::focusWidget(), axis);
      }
    });
    EXPECT_EQ(closed, mode == 0);
  }
}

TEST_F(ReadingsDialogTest, CorrectionInAnEntryFieldIsKeptWhenEnterMovesOn) {
  theSettings().display.enterKeyMode = 0;
  record.setCell(1, C_time, "10");
  record.setCell(1, C_pipeLevel, "1");
  runModal(frame, ID_UNSTEADY_READINGS, [](CReadingsDialog& dialog) {
    auto* grid = child<QTableView>(&dialog, "grid");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 1)).center());
    EXPECT_EQ(child<QLineEdit>(&dialog, "entryPipeLevel")->text(), QStringLiteral("1"));
    type(&dialog, "entryPipeLevel", QStringLiteral("1.75"));
    QTest::keyClick(child<QLineEdit>(&dialog, "entryPipeLevel"), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), dialog.findChild<QLineEdit*>("entryClockTime"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // the last field: back to t
    EXPECT_EQ(QApplication::focusWidget(), dialog.findChild<QLineEdit*>("entryTime"));
    click(&dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(record.cell(1, C_pipeLevel), "1.75");
  EXPECT_TRUE(doc.isModified());
}

TEST_F(ReadingsDialogTest, SteadyFlowIsTypedAsMantissaAndExponent) {
  record.set_formulaKind("4");
  frame.updateCommandStates();
  runModal(frame, ID_STEADY_READINGS, [](CReadingsDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("定常法 測定データ"));
    auto* picker = child<QComboBox>(&dialog, "entryExponent");
    type(&dialog, "entryTime", QStringLiteral("60"));
    type(&dialog, "entryPipeLevel", QStringLiteral("1.2"));
    type(&dialog, "entryFlow", QStringLiteral("2.5"));
    picker->setFocus();
    picker->setCurrentIndex(picker->findText(QStringLiteral("E-7")));
    emit picker->activated(picker->currentIndex());
    click(&dialog, "addButton");
    EXPECT_EQ(picker->currentText(), QStringLiteral("E-7"));
    click(&dialog, "okButton");
  });
  EXPECT_EQ(record.cell(1, C_flow), "2.5E-7");
  EXPECT_EQ(record.cell(1, C_level), "-0.7");
}

// A new steady test's preview stayed at t 0 .. 10000 and h' -20 .. 20:
// fifteen readings of 7 min made a 5-pixel arc. It follows the readings,
// each axis field level with its value; OK keeps the axes shown. The
// exponent picker with the focus shows it.
TEST_F(ReadingsDialogTest, ANewTestsPreviewFitsItsReadingsBesideTheAxisFields) {
  record.set_formulaKind("4");
  record.set_previewTimeTo("10000"), record.set_previewLevelBottom("-20"), record.set_previewLevelTop("20");
  frame.updateCommandStates();
  runModal(frame, ID_STEADY_READINGS, [](CReadingsDialog& dialog) {
    QString block;
    for (int i = 0; i < 15; ++i) block += QStringLiteral("%1\t%2\t1.5\tE-5\n").arg(420 * i).arg(3.0 + 0.1 * i, 0, 'f', 3);
    QGuiApplication::clipboard()->setText(block);
    auto* grid = child<QTableView>(&dialog, "grid");
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    QTest::qWait(20);
    EXPECT_EQ(child<QLineEdit>(&dialog, "previewTimeTo")->text(), QStringLiteral("6000"));
    EXPECT_EQ(child<QLineEdit>(&dialog, "previewLevelTop")->text(), QStringLiteral("6"));   // h' to 4.4
    EXPECT_EQ(child<QLineEdit>(&dialog, "previewLevelBottom")->text(), QStringLiteral("-4"));  // h from -3.9
    // The h' ends lie level with the middles of their fields.
    auto* preview = child<QWidget>(&dialog, "preview");
    for (const auto& [name, top] : {std::pair{"previewLevelTop", true}, std::pair{"previewLevelBottom", false}}) {
      auto* field = child<QLineEdit>(&dialog, name);
      const int middle = field->mapTo(&dialog, field->rect().center()).y() - preview->mapTo(&dialog, QPoint(0, 0)).y();
      const int value = top ? field->sizeHint().height() / 2 : preview->height() - field->sizeHint().height() / 2;
      EXPECT_NEAR(middle, value, 2) << name;
    }
    auto* picker = child<QComboBox>(&dialog, "entryExponent");
    const QImage unfocused = picker->grab().toImage();
    auto* flow = child<QLineEdit>(&dialog, "entryFlow");
    flow->setFocus();
    QTest::keyClick(flow, Qt::Key_Return);  // on to the picker as Tab would go, and marked as by Tab
    ASSERT_TRUE(picker->hasFocus());
    QTest::qWait(20);
    EXPECT_NE(picker->grab().toImage(), unfocused) << "no focus mark";
    if (const char* shots = std::getenv("TOV_SHOTS")) {
      QTest::qWait(300);
      dialog.screen()->grabWindow(0).save(QString::fromUtf8(shots) + "/steady-readings.png");
    }
    click(&dialog, "okButton");
  });
  EXPECT_EQ(record.previewTimeTo(), "6000");
  EXPECT_EQ(record.previewLevelTop(), "6");
}

TEST_F(ReadingsDialogTest, ReadingsTypedInTheEditorSurviveSaveAndReopen) {
  runModal(frame, ID_UNSTEADY_READINGS, [](CReadingsDialog& dialog) {
    for (const char* t : {"0", "15", "30"}) {
      type(&dialog, "entryTime", QString::fromUtf8(t));
      type(&dialog, "entryPipeLevel", QStringLiteral("2.125"));
      type(&dialog, "entryClockTime", QStringLiteral("９時"));
      click(&dialog, "addButton");
    }
    click(&dialog, "okButton");
  });
  chooser.saveAnswer = root.path() / "typed";
  frame.onCommand(ID_FILE_SAVE);
  EXPECT_FALSE(doc.isModified());
  const std::string first = testing::readBytes(root.path() / "typed.tvd");
  ASSERT_FALSE(first.empty());

  TestRecord reopened;
  ASSERT_EQ(loadTestFile(root.path() / "typed.tvd", reopened), LoadStatus::Ok);
  EXPECT_EQ(reopened.readings, record.readings);
  ASSERT_TRUE(saveTestFile(root.path() / "again.tvd", reopened));
  EXPECT_EQ(testing::readBytes(root.path() / "again.tvd"), first);
}

} // namespace
} // namespace tov
