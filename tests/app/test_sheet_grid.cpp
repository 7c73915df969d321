// The grids of the readings editors and the tester register driven by keys
// as in a spreadsheet, Escape in a cell editor, Enter in the entry fields
// under each Enter-key setting, checked paste, the right-click menu, and
// the question before Cancel in every editor that had none.
#include <QAbstractButton>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRadioButton>
#include <QTableView>

#include <deque>
#include <map>

#include "SettingsDialogFixture.h"
#include "dialogs/qt/CReadingsDialog.h"
#include "dialogs/qt/CTesterRegisterDialog.h"
#include "files/TesterRegister.h"
#include "record/CFormat.h"

namespace tov {
namespace {

using Texts = std::vector<std::string>;

class SheetGrid : public SettingsDialogTest {
protected:
  void SetUp() override {
    SettingsDialogTest::SetUp();
    record.set_pipeTopHeight("0.5");
    record.set_equilibriumLevel("-2.5");
    for (int row = 1; row <= 3; ++row) {
      record.setCell(row, C_time, cformat("%d", row * 10));
      record.setCell(row, C_pipeLevel, "1.5");
    }
  }
  static SheetGridView* grid(QDialog& d) { return child<SheetGridView>(d, "grid"); }
  static QLineEdit* cellEditor(QDialog& d) { return child<QLineEdit>(d, "cellEditor"); }
  static void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(w, k, m); }
  static void goTo(QDialog& d, int row, int column) {
    SheetGridView* g = grid(d);
    g->setFocus();
    g->setCurrentIndex(g->model()->index(row, column));
  }
  static QPoint current(QDialog& d) { return {grid(d)->currentIndex().column(), grid(d)->currentIndex().row()}; }
};

TEST_F(SheetGrid, KeysMoveTheCurrentCellTypingEditsAndEscapeKeepsTheText) {
  const struct { int command; QPoint start; QString shown; } rows[] = {
      {ID_UNSTEADY_READINGS, {1, 1}, QStringLiteral("1.5")},
      {ID_TESTER_REGISTER, {0, 1}, QStringLiteral("山田")},
  };
  writeTesterRegister(theSettings().installFolderPath() / "M.mst", {"佐藤", "山田"});
  for (const auto& r : rows) {
    SCOPED_TRACE(r.command);
    runCommand(r.command, [&](QDialog& d) {
      goTo(d, 0, 0);
      SheetGridView* g = grid(d);
      key(g, Qt::Key_Down);
      EXPECT_EQ(current(d), QPoint(0, 1));
      key(g, Qt::Key_End);
      EXPECT_EQ(current(d).x(), g->model()->columnCount() - 1);
      key(g, Qt::Key_Home);
      key(g, Qt::Key_PageDown);
      EXPECT_GT(current(d).y(), 5);
      EXPECT_FALSE(cellEditor(d)->isVisible()) << "moving opens no editor";
      goTo(d, r.start.y(), r.start.x());
      key(g, Qt::Key_7);
      ASSERT_TRUE(cellEditor(d)->isVisible());
      EXPECT_EQ(cellEditor(d)->text(), QStringLiteral("7"));
      key(cellEditor(d), Qt::Key_Escape);
      EXPECT_TRUE(d.isVisible());
      EXPECT_FALSE(cellEditor(d)->isVisible());
      EXPECT_EQ(g->currentIndex().data().toString(), r.shown);
      key(g, Qt::Key_F2);
      EXPECT_EQ(cellEditor(d)->text(), r.shown);
      key(cellEditor(d), Qt::Key_Escape);
      // Shift extends the selection; Delete empties it.
      key(g, Qt::Key_Up, Qt::ShiftModifier);
      key(g, Qt::Key_Delete);
      EXPECT_EQ(g->model()->index(0, r.start.x()).data().toString(), QString());
      EXPECT_EQ(g->model()->index(1, r.start.x()).data().toString(), QString());
      d.done(QDialog::Rejected);
    });
  }
  EXPECT_EQ(record.cell(2, C_pipeLevel), "1.5");
}

TEST_F(SheetGrid, EnterInTheEntryFieldsMovesOnAndAddsNeverCloses) {
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    theSettings().display.enterKeyMode = mode;
    sink.choices = {Answer::Yes};
    runCommand(ID_UNSTEADY_READINGS, [](QDialog& d) {
      auto* t = child<QLineEdit>(d, "entryTime");
      t->setFocus();
      t->selectAll();
      QTest::keyClicks(t, QStringLiteral("2000"));
      key(t, Qt::Key_Return);
      ASSERT_TRUE(d.isVisible());
      EXPECT_EQ(d.focusWidget(), child<QLineEdit>(d, "entryPipeLevel"));
      QTest::keyClicks(d.focusWidget(), QStringLiteral("1.2"));
      key(d.focusWidget(), Qt::Key_Return);
      EXPECT_EQ(d.focusWidget(), child<QLineEdit>(d, "entryClockTime"));
      key(d.focusWidget(), Qt::Key_Enter);
      ASSERT_TRUE(d.isVisible());
      auto& model = static_cast<CReadingsDialog&>(d).model();
      EXPECT_EQ(model.cell(4, 1), "2000");
      // Back at t with the increment selected, ready to be typed over.
      EXPECT_EQ(d.focusWidget(), t);
      EXPECT_EQ(t->selectedText(), t->text());
      QTest::keyClicks(t, QStringLiteral("2100"));
      click(d, "okButton");  // asks whether to add the pending reading: Yes
    });
    EXPECT_EQ(sink.asked, Texts{messageText(IDS_ADD_PENDING_READING)});
    EXPECT_EQ(record.cell(4, C_time), "2000");
    EXPECT_EQ(record.cell(5, C_time), "2100");
    for (int row = 4; row <= 5; ++row) record.setCell(row, C_time, "");
    record.setCell(4, C_pipeLevel, "");
    sink.asked.clear();
  }
}

TEST_F(SheetGrid, PasteIsCheckedAndAFailingPasteChangesNothing) {
  const std::string nan = messageText(IDS_CELL_NOT_A_NUMBER);
  const struct { const char* clipboard; std::string line; } rows[] = {
      {"hello world", "31 行目 t: " + nan},
      {"foo;bar;baz", "31 行目 t: " + nan},
      {"\x01" "ab\x02\x03", "31 行目 t: " + nan},
      {"9999999999999999999999\t1e308\t99:99", "31 行目 t: " + messageText(IDS_CELL_OUT_OF_RANGE)},
  };
  runCommand(ID_UNSTEADY_READINGS, [&](QDialog& d) {
    auto& model = static_cast<CReadingsDialog&>(d).model();
    for (const auto& r : rows) {
      SCOPED_TRACE(r.clipboard);
      sink.reported.clear();
      QGuiApplication::clipboard()->setText(QString::fromUtf8(r.clipboard));
      goTo(d, 30, 0);
      key(grid(d), Qt::Key_V, Qt::ControlModifier);
      ASSERT_EQ(sink.reported.size(), 1u);
      EXPECT_NE(sink.reported[0].find(r.line), std::string::npos) << sink.reported[0];
      EXPECT_EQ(model.lastFilledRow(), 3);
    }
    // A failing in-place edit is kept, marked, and named on OK.
    sink.reported.clear();
    goTo(d, 0, 1);
    QTest::keyClicks(grid(d), QStringLiteral("x"));
    key(cellEditor(d), Qt::Key_Return);  // on to the clock time
    key(cellEditor(d), Qt::Key_Escape);
    EXPECT_TRUE(model.cellMarked(1, 2));
    EXPECT_TRUE(grid(d)->model()->index(0, 1).data(Qt::BackgroundRole).isValid());
    click(d, "okButton");
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(sink.reported.size(), 1u);
    EXPECT_NE(sink.reported[0].find("1 行目 h': " + nan), std::string::npos);
    d.done(QDialog::Rejected);
  });
  // A whole 120 × 5 block of the steady grid goes in at once.
  record.set_formulaKind("4");
  QString block;
  for (int row = 1; row <= 120; ++row) block += QStringLiteral("%1\t1.5\t2.5\tE-5\t9.40\n").arg(row * 60);
  QGuiApplication::clipboard()->setText(block);
  sink.reported.clear();
  runCommand(ID_STEADY_READINGS, [](QDialog& d) {
    goTo(d, 0, 0);
    key(grid(d), Qt::Key_V, Qt::ControlModifier);
    click(d, "okButton");
  });
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_TRUE(sink.asked.empty());  // the entries showed a replaced row: nothing pending
  EXPECT_EQ(record.cell(120, C_time), "7200");
  EXPECT_EQ(record.cell(120, C_flow), "2.5E-5");
}

TEST_F(SheetGrid, RightClickMenuOffersTheSheetCommands) {
  const QStringList wanted{QStringLiteral("行挿入(&I)"), QStringLiteral("行削除(&D)"), QStringLiteral("切り取り(&T)"),
                           QStringLiteral("コピー(&C)"), QStringLiteral("貼り付け(&P)")};
  for (int command : {ID_UNSTEADY_READINGS, ID_TESTER_REGISTER}) {
    runCommand(command, [&](QDialog& d) {
      QStringList texts;
      for (QAction* action : grid(d)->contextMenu()->actions())
        if (!action->isSeparator()) texts << action->text();
      EXPECT_EQ(texts, wanted);
      // A right click on a cell makes it current before the menu opens.
      SheetGridView* g = grid(d);
      const QPoint at = g->visualRect(g->model()->index(2, 0)).center();
      QContextMenuEvent click(QContextMenuEvent::Mouse, at, g->viewport()->mapToGlobal(at));
      QApplication::sendEvent(g->viewport(), &click);
      EXPECT_EQ(g->currentIndex().row(), 2);
      g->contextMenu()->hide();
      d.done(QDialog::Rejected);
    });
  }
  runCommand(ID_UNSTEADY_READINGS, [](QDialog& d) {
    goTo(d, 0, 1);
    grid(d)->contextMenu()->findChild<QAction*>(QStringLiteral("insertRowAction"))->trigger();
    goTo(d, 2, 0);
    grid(d)->contextMenu()->findChild<QAction*>(QStringLiteral("cutAction"))->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("20\n"));
    click(d, "okButton");
  });
  // The cut row has no t and is left out; the inserted row is empty.
  EXPECT_EQ(record.cell(1, C_time), "10");
  EXPECT_EQ(record.cell(2, C_time), "30");
}

TEST_F(SheetGrid, CancelAsksOnlyAfterAChange) {
  record.fillScaleDefaults(theSettings().display.headingDefaults());
  const struct { int command; std::function<void(QDialog&)> change; } rows[] = {
      {ID_HEADINGS, [](QDialog& d) { retype(child<QLineEdit>(d, "surveyName"), QStringLiteral("別")); }},
      {ID_PAGE_FORMAT, [](QDialog& d) { retype(child<QLineEdit>(d, "graphNumber"), QStringLiteral("3")); }},
      {ID_STYLE_DIGITS, [](QDialog& d) { retype(child<QLineEdit>(d, "graphWidth"), QStringLiteral("90")); }},
      {ID_LINES_MARGINS, [](QDialog& d) { retype(child<QLineEdit>(d, "topMargin"), QStringLiteral("30")); }},
      {ID_ENTER_KEY, [](QDialog& d) {
         for (QRadioButton* radio : d.findChildren<QRadioButton*>())
           if (!radio->isChecked()) return radio->click();
       }},
      {ID_ANALYSIS, [](QDialog& d) { retype(child<QLineEdit>(d, "graphATimeStep"), QStringLiteral("7")); }},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.command);
    sink.asked.clear();
    bool closed = false;
    runCommand(r.command, [&](QDialog& d) {
      QTest::qWait(10);
      key(&d, Qt::Key_Escape);  // nothing changed: closes without a word
      closed = !d.isVisible();
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(sink.asked.empty());
    runCommand(r.command, [&](QDialog& d) {
      QTest::qWait(10);
      r.change(d);
      sink.answers = {false};
      click(d, "cancelButton");
      EXPECT_TRUE(d.isVisible()) << "No keeps the dialog";
      sink.answers = {true};
      key(&d, Qt::Key_Escape);
      EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(sink.asked, Texts(2, messageText(IDS_DISCARD_CHANGES)));
  }
}

// Steps of a user at the readings editor: "row N" clicks row N, "in FIELD"
// clicks into an entry field, "=TEXT" types over the focused field, a key
// name presses it on the focused widget, "ok" clicks OK.
void act(QDialog& d, const std::string& step) {
  SheetGridView* g = d.findChild<SheetGridView*>(QStringLiteral("grid"));
  QWidget* focus = QApplication::focusWidget();
  static const std::map<std::string, std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {
      {"Enter", {Qt::Key_Return, Qt::NoModifier}},    {"Tab", {Qt::Key_Tab, Qt::NoModifier}},
      {"Escape", {Qt::Key_Escape, Qt::NoModifier}},   {"Delete", {Qt::Key_Delete, Qt::NoModifier}},
      {"Ctrl+End", {Qt::Key_End, Qt::ControlModifier}}, {"Ctrl+Home", {Qt::Key_Home, Qt::ControlModifier}},
      {"Ctrl+X", {Qt::Key_X, Qt::ControlModifier}},   {"Ctrl+V", {Qt::Key_V, Qt::ControlModifier}},
      {"Down", {Qt::Key_Down, Qt::NoModifier}}};
  if (step.rfind("row ", 0) == 0) {
    const QModelIndex at = g->model()->index(std::stoi(step.substr(4)) - 1, 1);
    g->scrollTo(at);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(at).center());
  } else if (step.rfind("in ", 0) == 0) {
    auto* field = d.findChild<QLineEdit*>(QString::fromStdString(step.substr(3)));
    ASSERT_NE(field, nullptr) << step;
    QTest::mouseClick(field, Qt::LeftButton);
  } else if (step[0] == '=') {
    auto* edit = qobject_cast<QLineEdit*>(focus);
    ASSERT_NE(edit, nullptr) << step;
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(step.substr(1)));
  } else if (step == "ok") {
    QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
  } else {
    ASSERT_TRUE(keys.count(step)) << step;
    QTest::keyClick(focus, keys.at(step).first, keys.at(step).second);
  }
}

TEST_F(SheetGrid, NoKeySequenceLosesAReadingTypedIntoTheEntryFields) {
  const std::string add = messageText(IDS_ADD_PENDING_READING), discard = messageText(IDS_DISCARD_CHANGES);
  using Steps = std::vector<std::string>;
  const struct {
    Steps steps;
    std::deque<Answer> answers;  // to the question about the pending reading
    Texts asked;
    Texts times;  // t of rows 1..6 as stored
    std::string level4;
  } rows[] = {
      // Enter on a row with readings adds after the last one; no question.
      {{"row 4", "in entryTime", "=2100", "Enter", "=3.000", "Enter", "=11.05", "Enter", "row 1", "ok"},
       {}, {}, {"10", "20", "30", "40", "50", "2100"}, "1.5"},
      {{"row 4", "in entryTime", "=2100", "Tab", "=3.000", "Tab", "=11.05", "row 1", "ok"},
       {Answer::Yes}, {add}, {"10", "20", "30", "40", "50", "2100"}, "1.5"},
      {{"row 4", "in entryTime", "=2100", "Enter", "=3.000", "ok"},
       {Answer::No}, {add}, {"10", "20", "30", "40", "50", ""}, "1.5"},
      {{"row 4", "in entryTime", "=2100", "Tab", "=3.000", "Escape", "ok"},
       {Answer::Yes}, {discard, add}, {"10", "20", "30", "40", "50", "2100"}, "1.5"},
      // Keeping row 4's t, the fields correct row 4.
      {{"row 4", "in entryPipeLevel", "=9.9", "Enter", "Enter", "row 1", "ok"},
       {}, {}, {"10", "20", "30", "40", "50", ""}, "9.9"},
      // A grid command that would replace the fields asks first; Cancel
      // leaves the grid and the fields as they were.
      {{"row 6", "in entryTime", "=2100", "Tab", "=3.0", "row 6", "Delete", "ok"},
       {Answer::Cancel, Answer::Yes}, {add, add}, {"10", "20", "30", "40", "50", "2100"}, "1.5"},
      {{"row 4", "in entryTime", "=2100", "row 2", "Ctrl+End", "ok"},
       {Answer::Yes}, {add}, {"10", "20", "30", "40", "50", "2100"}, "1.5"},
  };
  for (int row = 4; row <= 5; ++row) {
    record.setCell(row, C_time, cformat("%d", row * 10));
    record.setCell(row, C_pipeLevel, "1.5");
  }
  const TestRecord original = record;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.steps.front() + " " + r.steps[2] + " " + r.steps[3] + " .. " + r.steps.back());
    record = original;
    sink.asked.clear();
    sink.choices = r.answers;
    runCommand(ID_UNSTEADY_READINGS, [&](QDialog& d) {
      for (const std::string& step : r.steps) act(d, step);
      EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(sink.asked, r.asked);
    Texts times;
    for (int row = 1; row <= 6; ++row) times.push_back(record.cell(row, C_time));
    EXPECT_EQ(times, r.times);
    EXPECT_EQ(record.cell(4, C_pipeLevel), r.level4);
  }
}

// A move of the current cell by any key or click takes the selection with
// it, so that Delete, cut and paste never change a cell out of sight.
TEST_F(SheetGrid, CtrlHomeAndCtrlEndTakeTheSelectionAlong) {
  for (int row = 4; row <= 5; ++row) {
    record.setCell(row, C_time, cformat("%d", row * 10));
    record.setCell(row, C_pipeLevel, row == 5 ? "6.029" : "1.5");
  }
  const struct { std::vector<std::string> keys; int cleared; } rows[] = {
      {{"Ctrl+End", "Delete"}, 120},
      {{"Ctrl+End", "Ctrl+X"}, 120},
      {{"Ctrl+End", "Ctrl+Home", "Delete"}, 1},
      {{"Down", "Delete"}, 6},
  };
  const TestRecord original = record;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.keys.front() + " " + r.keys.back());
    record = original;
    runCommand(ID_UNSTEADY_READINGS, [&](QDialog& d) {
      act(d, "row 5");
      SheetGridView* g = grid(d);
      g->setFocus();
      for (const std::string& k : r.keys) act(d, k);
      EXPECT_EQ(g->selectionModel()->selectedIndexes(), QModelIndexList{g->currentIndex()});
      EXPECT_TRUE(g->viewport()->rect().intersects(g->visualRect(g->currentIndex())));
      EXPECT_EQ(g->currentIndex().row() + 1, r.cleared);
      EXPECT_EQ(g->currentIndex().data().toString(), QString());
      click(d, "okButton");
    });
    EXPECT_EQ(record.cell(5, C_pipeLevel), "6.029");
  }
}

} // namespace
} // namespace tov
