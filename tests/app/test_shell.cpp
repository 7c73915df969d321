// The shell's command logic: paging, the page count, enabling and check
// marks, the editor commands and their follow-ups, the menu wiring.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QTest>

#include <set>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "app/FileChooser.h"
#include "app/ShellLogic.h"
#include "files/Settings.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"
#include "render/Page.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

void fillReadings(TestRecord& record, int rows) {
  for (int row = 1; row <= rows; ++row) {
    record.setCell(row, C_time, cformat("%d", row * 10));
    record.setCell(row, C_pipeLevel, "1.5");
  }
}

class NoChooser : public FileChooser {
public:
  std::optional<std::filesystem::path> chooseOpenFile(QWidget*, const std::filesystem::path&, const QStringList&) override {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> chooseSaveFile(QWidget*, const std::filesystem::path&, const QStringList&) override {
    return std::nullopt;
  }
};

TEST(ShellPaging, KeysMoveWithinThePagesAndAlwaysRedraw) {
  TestRecord record;
  ViewState view;
  EXPECT_EQ(pageCountResetting(view, record), 2);
  EXPECT_TRUE(handlePageKey(view, record, PageKey::PageUp));
  EXPECT_EQ(view.currentPage, 1);  // page 1 stays
  EXPECT_TRUE(handlePageKey(view, record, PageKey::PageDown));
  EXPECT_EQ(view.currentPage, 2);
  EXPECT_TRUE(handlePageKey(view, record, PageKey::PageDown));
  EXPECT_EQ(view.currentPage, 2);  // the last page stays
  EXPECT_FALSE(handlePageKey(view, record, PageKey::Other));

  fillReadings(record, 39);
  EXPECT_EQ(pageCount(record), 2);
  fillReadings(record, 40);
  EXPECT_EQ(pageCount(record), 3);
  fillReadings(record, 85);
  EXPECT_EQ(pageCountResetting(view, record), 4);
  for (int i = 0; i < 5; ++i) handlePageKey(view, record, PageKey::PageDown);
  EXPECT_EQ(view.currentPage, 4);
  handlePageKey(view, record, PageKey::PageUp);
  EXPECT_EQ(view.currentPage, 3);
}

TEST(ShellPaging, PageAboveTheCountFallsBackToTheGraphPage) {
  TestRecord record;
  fillReadings(record, 85);
  ViewState view;
  view.currentPage = 4;
  record.setCell(11, C_time, "");  // 10 readings left: 2 pages
  EXPECT_TRUE(handlePageKey(view, record, PageKey::PageDown));
  EXPECT_EQ(view.currentPage, 2);  // reset to 1, then one page on

  view.currentPage = 4;
  EXPECT_FALSE(handlePageKey(view, record, PageKey::Other));
  EXPECT_EQ(view.currentPage, 1);  // any key resets it

  view.currentPage = 2;
  view.printingInProgress = true;
  EXPECT_FALSE(handlePageKey(view, record, PageKey::PageUp));
  EXPECT_EQ(view.currentPage, 2);
}

TEST(ShellCommands, ReadingsCommandsFollowTheFormula) {
  TestRecord record;
  ViewState view;
  for (const char* kind : {"", "0", "3"}) {
    record.set_formulaKind(kind);
    EXPECT_TRUE(isCommandEnabled(ID_UNSTEADY_READINGS, record)) << kind;
    EXPECT_FALSE(isCommandEnabled(ID_STEADY_READINGS, record)) << kind;
  }
  record.set_formulaKind("4");
  EXPECT_FALSE(isCommandEnabled(ID_UNSTEADY_READINGS, record));
  EXPECT_TRUE(isCommandEnabled(ID_STEADY_READINGS, record));
  EXPECT_TRUE(isCommandEnabled(ID_ANALYSIS, record));

  EXPECT_TRUE(applyPageCommand(view, ID_TABLE_PAGE_TOOL));
  EXPECT_EQ(view.currentPage, 2);
  EXPECT_FALSE(isCommandChecked(ID_GRAPH_PAGE, view));
  EXPECT_TRUE(isCommandChecked(ID_TABLE_PAGE, view));
  EXPECT_TRUE(applyPageCommand(view, ID_GRAPH_PAGE));
  EXPECT_TRUE(isCommandChecked(ID_GRAPH_PAGE, view));
  EXPECT_FALSE(applyPageCommand(view, ID_FILE_OPEN));
}

TEST(ShellCommands, FollowUpsRecomputeTheDerivedValues) {
  TestRecord record;
  record.set_pipeTopHeight("0.5");
  record.set_equilibriumLevel("-2.5");
  fillReadings(record, 3);
  // Derived cells left behind the last row by a shorter table.
  record.setCell(5, C_level, "9");
  record.setCell(5, C_headDifference, "9");
  record.setCell(5, C_flow, "1E-5");
  readingsFollowUp(record, false);
  EXPECT_EQ(record.cell(2, C_level), "-1");
  EXPECT_EQ(record.cell(2, C_headDifference), "1.5");
  EXPECT_EQ(record.cell(5, C_level), "");
  EXPECT_EQ(record.cell(5, C_flow), "1E-5");
  readingsFollowUp(record, true);
  EXPECT_EQ(record.cell(5, C_flow), "");

  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  record.set_pipeTopHeight("abc");
  record.set_sectionLength("1.0");
  record.set_boreDiameter("0.066");
  record.set_equivalentDiameter("0.05");
  record.set_gradientText("0.001");
  record.set_formulaKind("7");  // taken as 0
  headingsFollowUp(record, 2);
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_BAD_PIPE_VALUE));
  EXPECT_EQ(record.pipeTopHeight(), "abc");
  const double k = computePermeability(0, 1.0 / 0.066, 0.05, 1.0, 0.001, 0, 0);
  EXPECT_EQ(record.permeabilityText(), formatPermeability(k, 2));

  record.set_permeabilityText("kept");
  record.set_formulaKind("4");
  record.set_steadyHeadDifference("0.0005");  // too small: no new k
  headingsFollowUp(record, 2);
  EXPECT_EQ(record.permeabilityText(), "kept");
}

TEST(ShellCommands, PaperSizeFromThePrinter) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  ViewState view;
  setPaperFromDevice(view, 4960, 7016, 600, 600);  // A4 at 600 dpi
  EXPECT_EQ(view.paperWidthMm, 209);
  EXPECT_EQ(view.paperHeightMm, 297);
  EXPECT_TRUE(sink.reported.empty());
  setPaperFromDevice(view, 4960, 7016, 600, 0);
  EXPECT_EQ(view.paperWidthMm, 280);
  EXPECT_EQ(view.paperHeightMm, 280);
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_DEVICE_ERROR));
}

class ShellWindow : public ::testing::Test {
protected:
  void SetUp() override {
    clearEditors();
    theViewState() = ViewState{};
    theSettings().loadSettings(true);
    sink.reported.clear();
  }
  void TearDown() override { clearEditors(); }

  TempDir root;
  ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  NoChooser chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};
};

TEST_F(ShellWindow, MenuActionsCarryTheirCommandNumbers) {
  std::set<int> ids;
  for (const MenuSpec& menu : menuLayout())
    for (const MenuItemSpec& item : menu.items) {
      if (item.id <= 0) continue;
      EXPECT_TRUE(ids.insert(item.id).second) << item.id;
      QAction* action = frame.findChild<QAction*>(QStringLiteral("action%1").arg(item.id));
      ASSERT_NE(action, nullptr) << item.id;
      EXPECT_EQ(action->data().toInt(), item.id);
      EXPECT_EQ(action->text().toStdString(), item.text);
    }
  EXPECT_EQ(frame.commandAction(ID_FILE_OPEN)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  EXPECT_EQ(frame.commandAction(ID_LINES_MARGINS)->statusTip().toStdString(),
            "罫線、グラフグリッド線の太さ、マージン、会社名など");
}

TEST_F(ShellWindow, DisabledReadingsCommandDoesNothing) {
  record.set_formulaKind("4");
  frame.updateCommandStates();
  EXPECT_FALSE(frame.commandAction(ID_UNSTEADY_READINGS)->isEnabled());
  EXPECT_TRUE(frame.commandAction(ID_STEADY_READINGS)->isEnabled());
  frame.onCommand(ID_UNSTEADY_READINGS);
  EXPECT_TRUE(sink.reported.empty());
  frame.onCommand(ID_STEADY_READINGS);
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_EDITOR_NOT_AVAILABLE));

  record.set_formulaKind("1");
  frame.updateCommandStates();
  EXPECT_TRUE(frame.commandAction(ID_UNSTEADY_READINGS)->isEnabled());
  EXPECT_FALSE(frame.commandAction(ID_STEADY_READINGS)->isEnabled());
}

TEST_F(ShellWindow, EveryEditorCommandAnswersWithoutAnEditor) {
  for (int id : {ID_HEADINGS, ID_UNSTEADY_READINGS, ID_ANALYSIS, ID_PAGE_FORMAT, ID_STYLE_DIGITS, ID_LINES_MARGINS,
                 ID_FONTS, ID_ENTER_KEY, ID_TESTER_REGISTER, ID_SETUP, ID_HELP_VIEWER}) {
    sink.reported.clear();
    frame.onCommand(id);
    ASSERT_EQ(sink.reported.size(), 1u) << id;
    EXPECT_EQ(sink.reported[0], messageText(IDS_EDITOR_NOT_AVAILABLE));
  }
}

TEST_F(ShellWindow, RegisteredReadingsEditorGetsTheFollowUpOnCancel) {
  record.set_pipeTopHeight("0.5");
  record.set_equilibriumLevel("-2.5");
  int calls = 0;
  registerEditor(ID_UNSTEADY_READINGS, [&](QWidget*) {
    ++calls;
    fillReadings(record, 2);
    record.setCell(3, C_level, "left over");
    return false;  // Cancel
  });
  frame.onCommand(ID_UNSTEADY_READINGS);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.cell(1, C_level), "-1");
  EXPECT_EQ(record.cell(3, C_level), "");
}

TEST_F(ShellWindow, PagingKeysAndPageCommandsInTheView) {
  CTovView& view = frame.view();
  fillReadings(record, 85);
  QTest::keyClick(&view, Qt::Key_PageDown);
  QTest::keyClick(&view, Qt::Key_Down);
  EXPECT_EQ(theViewState().currentPage, 3);
  frame.updateCommandStates();
  EXPECT_TRUE(frame.commandAction(ID_TABLE_PAGE)->isChecked());
  EXPECT_FALSE(frame.commandAction(ID_GRAPH_PAGE)->isChecked());
  QTest::keyClick(&view, Qt::Key_Up);
  EXPECT_EQ(theViewState().currentPage, 2);

  theViewState().printingInProgress = true;
  QTest::keyClick(&view, Qt::Key_PageDown);
  EXPECT_EQ(theViewState().currentPage, 2);
  theViewState().printingInProgress = false;

  frame.onCommand(ID_GRAPH_PAGE_TOOL);
  EXPECT_EQ(theViewState().currentPage, 1);
  EXPECT_TRUE(frame.commandAction(ID_GRAPH_PAGE)->isChecked());
  frame.commandAction(ID_TABLE_PAGE)->trigger();
  EXPECT_EQ(theViewState().currentPage, 2);
}

} // namespace
} // namespace tov
