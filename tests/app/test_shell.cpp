// The shell: the document's Open, Save and Save As commands with an injected
// file chooser, the open path of the command line and dropped files, the
// recent-file list; paging, the page count, enabling and check marks, the
// editor commands and their follow-ups, the menu wiring, and printing every
// page from the view.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <set>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "qt/FileChooser.h"
#include "app/RecentFiles.h"
#include "app/ShellLogic.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"
#include "render/Page.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::ScopedEnv;
using testing::TempDir;
using testing::writeBytes;
using Said = std::vector<std::string>;

void fillReadings(TestRecord& record, int rows) {
  for (int row = 1; row <= rows; ++row) {
    record.setCell(row, C_time, cformat("%d", row * 10));
    record.setCell(row, C_pipeLevel, "1.5");
  }
}

// Answers the file dialogs from queues and remembers what they were shown.
class ScriptedChooser : public FileChooser {
public:
  std::optional<fs::path> chooseOpenFile(QWidget*, const fs::path& folder, const QStringList& filters) override {
    shownFolder = folder;
    shownFilters = filters;
    return openAnswer;
  }
  std::optional<fs::path> chooseSaveFile(QWidget*, const fs::path& file, const QStringList& filters) override {
    ++saveCalls;
    shownFile = file;
    shownFilters = filters;
    return saveAnswer;
  }
  std::optional<fs::path> openAnswer, saveAnswer;
  int saveCalls = 0;
  fs::path shownFolder, shownFile;
  QStringList shownFilters;
};

// A first start in a private install folder, a saved test in a work folder,
// and a document in a main window.
class Shell : public ::testing::Test {
protected:
  void SetUp() override {
    theViewState() = ViewState{};
    theSettings().loadSettings(true);
    fs::create_directories(work);
    TestRecord sample;
    sample.set_surveyName("調査A");
    sample.setCell(1, C_time, "30");
    sample.setCell(1, C_pipeLevel, "1.25");
    ASSERT_TRUE(saveTestFile(work / "good.tvd", sample));
    sink.reported.clear();
  }
  fs::path fileV() const { return theSettings().installFolderPath() / "FileV.ndx"; }

  TempDir root;
  ScopedEnv env{"TOV_ROOT", root.path().string()};
  fs::path work = root.path() / "work folder";
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  ScriptedChooser chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};
};
using DocCommands = Shell;
using ShellWindow = Shell;

TEST_F(DocCommands, OpenReadsTheFileAndRemembersItsFolder) {
  writeBytes(fileV(), "/nowhere\r\nsecond line\r\n");
  chooser.openAnswer = work / "good.tvd";
  int updates = 0;
  QObject::connect(&doc, &CTovDoc::updateAllViews, [&] { ++updates; });
  doc.onFileOpen();
  EXPECT_EQ(chooser.shownFolder, fs::path("/nowhere"));
  ASSERT_EQ(chooser.shownFilters.size(), 2);
  EXPECT_TRUE(chooser.shownFilters[0].startsWith(QStringLiteral("現場透水試験 Ver.3,4,5(.tvd)")));
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.surveyName(), "調査A");
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(doc.pathName(), (work / "good.tvd").string());
  EXPECT_EQ(doc.title(), "good.tvd");
  EXPECT_FALSE(doc.isModified());
  const LastFolder last = readLastFolder(theSettings().installFolderPath());
  EXPECT_EQ(last.folder, work.string());
  EXPECT_EQ(last.keptLine, "second line");
}

TEST_F(DocCommands, OpenRefusesMissingAndForeignFiles) {
  record.set_surveyName("before");
  writeBytes(work / "other.tvd", "$$_SOMETHINGELSE\r\n$$Z\r\nx\r\n");
  for (auto answer : {std::optional(work / "missing.tvd"), std::optional(work / "other.tvd"), std::optional<fs::path>()}) {
    chooser.openAnswer = answer;  // the last one: Cancel, which says nothing
    doc.onFileOpen();
  }
  EXPECT_EQ(sink.reported, (Said{messageText(IDS_FILE_NOT_FOUND, (work / "missing.tvd").string()),
                                 messageText(IDS_NOT_TOV_DATA)}));
  EXPECT_EQ(record.surveyName(), "before");
  EXPECT_EQ(doc.pathName(), "");
  EXPECT_FALSE(fs::exists(fileV()));
}

TEST_F(DocCommands, SaveOnAnUntitledDocumentAsksForANameAndAddsTheExtension) {
  record.set_surveyName("保存");
  chooser.saveAnswer = work / "test";
  doc.onFileSave();
  EXPECT_EQ(chooser.saveCalls, 1);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(doc.pathName(), (work / "test.tvd").string());
  EXPECT_EQ(readBytes(work / "test.tvd"), utf8ToCp932(buildTestFileText(record)).value());

  // With a usable name Save writes without asking.
  record.set_surveyName("二回目");
  doc.onFileSave();
  EXPECT_EQ(chooser.saveCalls, 1);
  TestRecord back;
  ASSERT_EQ(loadTestFile(work / "test.tvd", back), LoadStatus::Ok);
  EXPECT_EQ(back.surveyName(), "二回目");

  // A trailing dot is dropped before the extension is added.
  chooser.saveAnswer = work / "dotted.";
  doc.onFileSaveAs();
  EXPECT_TRUE(fs::exists(work / "dotted.tvd"));
  EXPECT_EQ(chooser.shownFile, fs::path(work / "test.tvd"));
  chooser.saveAnswer = work / "upper.TVD";
  doc.onFileSaveAs();
  EXPECT_TRUE(fs::exists(work / "upper.TVD"));

  // "test" now names an existing test.tvd, which the file dialog never saw:
  // overwriting it is asked first, and No leaves it as it was.
  const std::string before = readBytes(work / "test.tvd");
  record.set_surveyName("三回目");
  chooser.saveAnswer = work / "test";
  sink.answers = {false};
  doc.onFileSaveAs();
  EXPECT_EQ(sink.asked, std::vector<std::string>{messageText(IDS_CONFIRM_OVERWRITE, (work / "test.tvd").string())});
  EXPECT_EQ(readBytes(work / "test.tvd"), before);
  sink.answers = {true};
  doc.onFileSaveAs();
  ASSERT_EQ(loadTestFile(work / "test.tvd", back), LoadStatus::Ok);
  EXPECT_EQ(back.surveyName(), "三回目");
}

TEST_F(DocCommands, SaveAsRefusesOtherExtensionsAndFailedSavesKeepThePath) {
  chooser.saveAnswer = work / "test.txt";
  doc.onFileSaveAs();
  EXPECT_FALSE(fs::exists(work / "test.txt"));
  EXPECT_FALSE(fs::exists(work / "test.txt.tvd"));
  EXPECT_EQ(doc.pathName(), "");

  doc.setPathName(work / "good.tvd", false);
  chooser.saveAnswer = root.path() / "no such folder" / "x.tvd";
  doc.onFileSaveAs();
  EXPECT_EQ(sink.reported,
            (Said{messageText(IDS_BAD_EXTENSION),
                  messageText(IDS_WRITE_FAILED_DETAIL, (root.path() / "no such folder" / "x.tvd").string() +
                                                           ": フォルダがありません")}));
  EXPECT_EQ(doc.pathName(), (work / "good.tvd").string());
}

TEST_F(DocCommands, SaveOfAFileNotEndingInTvdGoesToSaveAs) {
  doc.setPathName(work / "old.dat", false);
  doc.onFileSave();  // the user cancels
  EXPECT_EQ(chooser.saveCalls, 1);
  EXPECT_FALSE(fs::exists(work / "old.dat"));
  EXPECT_FALSE(saveNeedsSaveAs("/a/b.TvD", "b.TvD"));
}

TEST_F(DocCommands, UnsavedChangesAreAskedAboutBeforeTheTestIsReplaced) {
  const std::string question = messageText(IDS_SAVE_CHANGES, "無題");
  auto change = [&](const char* name) {
    record.set_surveyName(name);
    doc.setModifiedFlag(true);
    sink.asked.clear();
  };
  // キャンセル keeps everything; the window stays open.
  change("一");
  sink.choices = {Answer::Cancel, Answer::Cancel, Answer::Cancel};
  frame.onCommand(ID_FILE_NEW);
  chooser.openAnswer = work / "good.tvd";
  frame.onCommand(ID_FILE_OPEN);
  EXPECT_FALSE(frame.close());
  EXPECT_EQ(sink.asked, (Said{question, question, question}));
  EXPECT_EQ(record.surveyName(), "一");
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(frame.isWindowModified());

  // いいえ drops the changes.
  sink.choices = {Answer::No};
  frame.onCommand(ID_FILE_OPEN);
  EXPECT_EQ(record.surveyName(), "調査A");
  EXPECT_FALSE(doc.isModified());
  EXPECT_FALSE(frame.isWindowModified());

  // はい saves first (Save As for this file's name is not asked again).
  change("二");
  sink.choices = {Answer::Yes};
  frame.onCommand(ID_FILE_NEW);
  EXPECT_EQ(sink.asked, Said{messageText(IDS_SAVE_CHANGES, "good.tvd")});
  EXPECT_EQ(record.surveyName(), "");
  TestRecord saved;
  ASSERT_EQ(loadTestFile(work / "good.tvd", saved), LoadStatus::Ok);
  EXPECT_EQ(saved.surveyName(), "二");

  // An untitled test goes to Save As; cancelling that keeps the test.
  change("三");
  sink.choices = {Answer::Yes};
  chooser.saveAnswer.reset();
  frame.onCommand(ID_FILE_NEW);
  EXPECT_EQ(record.surveyName(), "三");
  EXPECT_TRUE(doc.isModified());
  sink.choices = {Answer::Yes};
  chooser.saveAnswer = work / "third";
  EXPECT_TRUE(frame.close());
  EXPECT_FALSE(doc.isModified());
  ASSERT_EQ(loadTestFile(work / "third.tvd", saved), LoadStatus::Ok);
  EXPECT_EQ(saved.surveyName(), "三");
}

TEST_F(DocCommands, FrameworkOpenPathKeepsTheDocumentOnFailure) {
  TempDir settingsDir;
  for (auto format : {QSettings::IniFormat, QSettings::NativeFormat})
    QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(settingsDir.path().string()));
  RecentFiles recent;
  CTovDoc withList(record, chooser, &recent);
  const std::string good = (work / "good.tvd").string();
  ASSERT_TRUE(withList.openDocumentFile(good));
  EXPECT_EQ(record.surveyName(), "調査A");
  EXPECT_EQ(recent.files(), Said{good});
  EXPECT_FALSE(fs::exists(fileV()));  // only the Open command writes it

  // A foreign file is reported and changes neither the record nor the name,
  // so a later Save cannot overwrite it; its entry leaves the list.
  writeBytes(work / "notes.tvd", "shopping list\r\n");
  recent.add((work / "notes.tvd").string());
  EXPECT_FALSE(withList.openDocumentFile(work / "notes.tvd"));
  EXPECT_EQ(sink.reported, Said{messageText(IDS_NOT_TOV_DATA)});
  EXPECT_EQ(withList.pathName(), good);
  EXPECT_EQ(record.surveyName(), "調査A");
  EXPECT_EQ(recent.files(), Said{good});

  // The list survives in the settings, most recent first, at most four.
  Said newestFirst;
  for (const char* name : {"a.tvd", "b.tvd", "c.tvd", "d.tvd"}) {
    recent.add((work / name).string());
    newestFirst.insert(newestFirst.begin(), (work / name).string());
  }
  EXPECT_EQ(recent.files(), newestFirst);
  EXPECT_EQ(RecentFiles().files(), newestFirst);

  withList.onNewDocument();
  EXPECT_EQ(record.surveyName(), "");
  EXPECT_EQ(withList.title(), "無題");
}

TEST(ShellPaging, KeysMoveWithinThePagesAndAlwaysRedraw) {
  struct Step { int readings, from; PageKey key; bool printing, handled; int to; };
  const Step steps[] = {
      {0, 1, PageKey::PageUp, false, true, 1},  // page 1 stays
      {0, 1, PageKey::PageDown, false, true, 2},
      {0, 2, PageKey::PageDown, false, true, 2},  // the last page stays
      {0, 2, PageKey::Other, false, false, 2},
      {39, 2, PageKey::PageDown, false, true, 2},
      {40, 2, PageKey::PageDown, false, true, 3},
      {85, 3, PageKey::PageDown, false, true, 4},
      {85, 4, PageKey::PageDown, false, true, 4},
      {85, 4, PageKey::PageUp, false, true, 3},
      {10, 3, PageKey::PageDown, false, true, 2},  // above the count: reset to 1, then one page on
      {10, 3, PageKey::Other, false, false, 1},    // any key resets it
      {85, 2, PageKey::PageUp, true, false, 2},    // not while printing
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(cformat("%d readings, from page %d, key %d", s.readings, s.from, static_cast<int>(s.key)));
    TestRecord record;
    fillReadings(record, s.readings);
    ViewState view;
    view.currentPage = s.from;
    view.printingInProgress = s.printing;
    EXPECT_EQ(handlePageKey(view, record, s.key), s.handled);
    EXPECT_EQ(view.currentPage, s.to);
  }
}

TEST(ShellCommands, FollowUpsRecomputeTheDerivedValues) {
  TestRecord record;
  record.set_pipeTopHeight("0.5");
  record.set_equilibriumLevel("-2.5");
  fillReadings(record, 3);
  // Derived cells left behind the last row by a shorter table go; a row
  // behind the readings that holds a reading (Q here) keeps every cell.
  record.setCell(5, C_level, "9");
  record.setCell(5, C_headDifference, "9");
  record.setCell(5, C_flow, "1E-5");
  record.setCell(6, C_level, "9");
  record.setCell(6, C_headDifference, "9");
  for (bool steady : {false, true}) {
    readingsFollowUp(record, steady);
    EXPECT_EQ(record.cell(2, C_level), "-1");
    EXPECT_EQ(record.cell(2, C_headDifference), "1.5");
    EXPECT_EQ(record.cell(5, C_level), "9");
    EXPECT_EQ(record.cell(5, C_flow), "1E-5");
    EXPECT_EQ(record.cell(6, C_level), "");
    EXPECT_EQ(record.cell(6, C_headDifference), "");
  }

  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  record.set_pipeTopHeight("abc");
  record.set_sectionLength("1.0");
  record.set_boreDiameter("0.066");
  record.set_equivalentDiameter("0.05");
  record.set_gradientText("0.001");
  record.set_formulaKind("7");  // taken as 0
  headingsFollowUp(record, 2);
  ASSERT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_BAD_PIPE_VALUE)});
  EXPECT_EQ(record.pipeTopHeight(), "abc");
  EXPECT_EQ(record.permeabilityText(), formatPermeability(computePermeability(0, 1.0 / 0.066, 0.05, 1.0, 0.001, 0, 0), 2));

  record.set_permeabilityText("kept");
  record.set_formulaKind("4");
  record.set_steadyHeadDifference("0.0005");  // too small: no new k
  headingsFollowUp(record, 2);
  EXPECT_EQ(record.permeabilityText(), "kept");
}

// A change of ho or of the pipe top changes the rows' s: points taken from
// the rows are taken again with a and k, and the user told so; other
// headings, or points of the engineer's own, leave them.
TEST(ShellCommands, HeadingsThatMoveTheRowsSTakeThePointsAgain) {
  const struct { const char* what; int field; const char* value; bool ownPoints; bool retaken; } rows[] = {
      {"ho 5 cm lower", F_equilibriumLevel, "-2.55", false, true},
      {"the pipe top 2 cm higher", F_pipeTopHeight, "0.52", false, true},
      {"the survey's name", F_surveyName, "別の調査", false, false},
      {"ho, points of the engineer's own", F_equilibriumLevel, "-2.55", true, false},
  };
  for (const auto& r : rows) {
    RecordingMessageSink sink;
    ScopedMessageSink scoped(sink);
    TestRecord before;
    ASSERT_EQ(loadTestFile(fs::path(TOV_SOURCE_DIR) / "samples" / "unsteady.tvd", before), LoadStatus::Ok);
    if (r.ownPoints) before.setField(F_pointS1, "2.4");
    TestRecord after = before;
    after.setField(r.field, r.value);
    headingsFollowUp(after, before, 2);
    const int row1 = after.fieldInt(F_point1Row), row2 = after.fieldInt(F_point2Row);
    EXPECT_EQ(after.field(F_pointS2) == after.cell(row2, C_headDifference), !r.ownPoints) << r.what;
    EXPECT_EQ(after.field(F_pointS1) == after.cell(row1, C_headDifference), r.retaken || !r.ownPoints) << r.what;
    EXPECT_EQ(after.permeabilityText() != before.permeabilityText(), r.retaken) << r.what;
    EXPECT_EQ(sink.reported, r.retaken ? std::vector{messageText(IDS_POINTS_RETAKEN, {before.permeabilityText(),
                                                                                      after.permeabilityText()})}
                                       : std::vector<std::string>{})
        << r.what;
  }
}

TEST(ShellCommands, PaperSizeFromThePrinter) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  ViewState view;
  // A4 in millimetres as page sizes give it, whole millimetres, portrait.
  for (auto [w, h] : {std::pair{209.9999, 297.0}, {297.0, 210.0}}) {
    setPaperFromPrinter(view, w, h, 600);
    EXPECT_EQ(std::pair(view.paperWidthMm, view.paperHeightMm), std::pair(210, 297));
  }
  EXPECT_TRUE(sink.reported.empty());
  setPaperFromPrinter(view, 210, 297, 0);
  EXPECT_EQ(std::pair(view.paperWidthMm, view.paperHeightMm), std::pair(280, 280));
  EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_DEVICE_ERROR)});
}

TEST(ShellCommands, SaveAsSuggestsTheTestsNumberInTheLastFolder) {
  TempDir dir;
  const fs::path last = dir.path(), home = dir.path() / "home";
  const struct { const char* number; const char* survey; const char* path; fs::path lastFolder; fs::path wanted; } rows[] = {
      {"No.12", "調査", "", last, last / "No.12.tvd"},
      {"  ", "調査/A", "", last, last / "調査_A.tvd"},         // a slash is no part of a name
      {"", "", "", last / "gone", home / "無題.tvd"},           // a folder that is gone: the fallback
      {"7", "", "/x/own.tvd", last, fs::path("/x/own.tvd")},  // a test with a file keeps it
  };
  for (const auto& r : rows) {
    TestRecord record;
    record.set_testIdNumber(r.number);
    record.set_surveyName(r.survey);
    EXPECT_EQ(suggestedSavePath(r.path, record, r.lastFolder, home), r.wanted) << r.number << r.survey;
  }
}

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
  EXPECT_EQ(frame.commandAction(ID_EDIT_UNDO)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
  // Every entry has a mnemonic, none twice in a menu.
  for (const MenuSpec& menu : menuLayout()) {
    std::set<QChar> keys;
    for (const MenuItemSpec& item : menu.items) {
      if (item.id <= 0) continue;
      const QString text = QString::fromStdString(item.text);
      const qsizetype at = text.indexOf(QLatin1Char('&'));
      ASSERT_GE(at, 0) << item.text;
      EXPECT_TRUE(keys.insert(text.at(at + 1).toUpper()).second) << item.text;
    }
  }
  EXPECT_EQ(frame.commandAction(ID_LINES_MARGINS)->statusTip().toStdString(),
            "罫線、グラフグリッド線の太さ、マージン、会社名など");
}

TEST_F(ShellWindow, EveryEditorCommandOpensItsEditorUnlessDisabled) {
  const std::pair<int, const char*> editors[] = {
      {ID_HEADINGS, "見出し"},          {ID_UNSTEADY_READINGS, "非定常法 測定データ"},
      {ID_ANALYSIS, "解析/目盛り  〔非定常法〕 "}, {ID_PAGE_FORMAT, "ページ書式"},
      {ID_STYLE_DIGITS, "様式/桁数"},   {ID_LINES_MARGINS, "線種/マージン/社名"},
      {ID_FONTS, "フォント"},           {ID_ENTER_KEY, "キーの動作"},
      {ID_TESTER_REGISTER, "マスタファイル 試験者"}, {ID_SETUP, "セットアップ"},
      {ID_HELP_VIEWER, "操作＆ヘルプ"},
  };
  record.fillScaleDefaults(theSettings().display.headingDefaults());
  QString shown;
  auto run = [&](int id) {
    shown.clear();
    QTimer::singleShot(0, [&] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        shown = dialog->windowTitle();
        dialog->done(QDialog::Rejected);
      }
    });
    frame.onCommand(id);
    QCoreApplication::processEvents();
  };
  for (const auto& [id, title] : editors) {
    run(id);
    EXPECT_EQ(shown.toStdString(), title) << id;
  }
  // A first start has an empty register of testers: no editor has
  // anything to say.
  EXPECT_TRUE(sink.reported.empty());
  // The readings commands follow the formula; the disabled one opens nothing.
  for (auto [kind, steady] : {std::pair{"", false}, {"0", false}, {"3", false}, {"4", true}}) {
    SCOPED_TRACE(kind);
    record.set_formulaKind(kind);
    frame.updateCommandStates();
    EXPECT_EQ(frame.commandAction(ID_UNSTEADY_READINGS)->isEnabled(), !steady);
    EXPECT_EQ(frame.commandAction(ID_STEADY_READINGS)->isEnabled(), steady);
    EXPECT_TRUE(frame.commandAction(ID_ANALYSIS)->isEnabled());
    run(steady ? ID_UNSTEADY_READINGS : ID_STEADY_READINGS);
    EXPECT_TRUE(shown.isEmpty());
    run(steady ? ID_STEADY_READINGS : ID_UNSTEADY_READINGS);
    EXPECT_EQ(shown, steady ? QStringLiteral("定常法 測定データ") : QStringLiteral("非定常法 測定データ"));
  }
}

TEST_F(ShellWindow, ReadingsEditorClosedWithCancelStillGetsTheFollowUp) {
  record.set_pipeTopHeight("0.5");
  record.set_equilibriumLevel("-2.5");
  fillReadings(record, 2);
  record.setCell(3, C_level, "left over");
  record.fillScaleDefaults(theSettings().display.headingDefaults());
  QTimer::singleShot(0, [] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
  });
  frame.onCommand(ID_UNSTEADY_READINGS);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.cell(1, C_level), "-1");
  EXPECT_EQ(record.cell(3, C_level), "");
  EXPECT_FALSE(doc.isModified());
}

TEST_F(ShellWindow, PagingKeysAndPageCommandsInTheView) {
  CTovView& view = frame.view();
  fillReadings(record, 85);
  auto expectPage = [&](int page) {
    EXPECT_EQ(theViewState().currentPage, page);
    EXPECT_EQ(frame.commandAction(ID_GRAPH_PAGE)->isChecked(), page == 1) << page;
    EXPECT_EQ(frame.commandAction(ID_TABLE_PAGE)->isChecked(), page > 1) << page;
  };
  QTest::keyClick(&view, Qt::Key_PageDown);
  QTest::keyClick(&view, Qt::Key_Down);
  expectPage(3);
  QTest::keyClick(&view, Qt::Key_Up);
  expectPage(2);
  theViewState().printingInProgress = true;
  QTest::keyClick(&view, Qt::Key_PageDown);
  EXPECT_EQ(theViewState().currentPage, 2);
  theViewState().printingInProgress = false;
  QTest::keyClick(&view, Qt::Key_PageUp);
  expectPage(1);
  for (auto [id, page] : {std::pair{ID_TABLE_PAGE_TOOL, 2}, {ID_GRAPH_PAGE, 1}, {ID_TABLE_PAGE, 2}, {ID_GRAPH_PAGE_TOOL, 1}}) {
    frame.onCommand(id);
    expectPage(page);
  }
  frame.commandAction(ID_TABLE_PAGE)->trigger();
  expectPage(2);
}

int pdfPages(const std::filesystem::path& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf.string())});
  if (!process.waitForFinished(30000)) return -1;
  const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(process.readAllStandardOutput()));
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

TEST_F(ShellWindow, PrintsEveryPageAndShowsTheGraphPageAfterwards) {
  record.set_pipeTopHeight("0.5");
  record.set_equilibriumLevel("-2.5");
  fillReadings(record, 85);
  record.deriveAllRows();
  frame.view().OnInitialUpdate();
  theViewState().currentPage = 3;
  for (int pages : {4, 3}) {  // with fewer readings the next print has fewer pages
    const auto pdf = root.path() / cformat("pages%d.pdf", pages);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
    frame.view().printPages(printer);
    EXPECT_EQ(pdfPages(pdf), pages);
    EXPECT_EQ(theViewState().currentPage, 1);
    EXPECT_FALSE(theViewState().printingInProgress);
    for (int row = 41; row <= 85; ++row) record.setCell(row, C_time, "");
  }
}

} // namespace
} // namespace tov
