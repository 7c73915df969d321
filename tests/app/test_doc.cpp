// The document's Open, Save and Save As commands with an injected file
// chooser, the open path of the command line and dropped files, and the
// recent-file list.
#include <gtest/gtest.h>

#include <QSettings>

#include "app/CTovDoc.h"
#include "app/FileChooser.h"
#include "app/RecentFiles.h"
#include "app/ShellLogic.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::ScopedEnv;
using testing::TempDir;
using testing::writeBytes;

// Answers the file dialogs from queues and remembers what they were shown.
class ScriptedChooser : public FileChooser {
public:
  std::optional<fs::path> chooseOpenFile(QWidget*, const fs::path& folder, const QStringList& filters) override {
    ++openCalls;
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
  int openCalls = 0, saveCalls = 0;
  fs::path shownFolder, shownFile;
  QStringList shownFilters;
};

class DocCommands : public ::testing::Test {
protected:
  void SetUp() override {
    theSettings().loadSettings(true);
    sink.reported.clear();
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
};

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
  chooser.openAnswer = work / "missing.tvd";
  doc.onFileOpen();
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_FILE_NOT_FOUND, (work / "missing.tvd").string()));

  writeBytes(work / "other.tvd", "$$_SOMETHINGELSE\r\n$$Z\r\nx\r\n");
  chooser.openAnswer = work / "other.tvd";
  doc.onFileOpen();
  ASSERT_EQ(sink.reported.size(), 2u);
  EXPECT_EQ(sink.reported[1], messageText(IDS_NOT_TOV_DATA));
  EXPECT_EQ(record.surveyName(), "before");
  EXPECT_EQ(doc.pathName(), "");
  EXPECT_FALSE(fs::exists(fileV()));

  chooser.openAnswer.reset();  // Cancel
  doc.onFileOpen();
  EXPECT_EQ(sink.reported.size(), 2u);
}

TEST_F(DocCommands, SaveOnAnUntitledDocumentAsksForANameAndAddsTheExtension) {
  record.set_surveyName("保存");
  chooser.saveAnswer = work / "test";
  doc.onFileSave();
  EXPECT_EQ(chooser.saveCalls, 1);
  EXPECT_TRUE(sink.reported.empty());
  ASSERT_TRUE(fs::exists(work / "test.tvd"));
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
}

TEST_F(DocCommands, SaveAsRefusesOtherExtensionsAndFailedSavesKeepThePath) {
  chooser.saveAnswer = work / "test.txt";
  doc.onFileSaveAs();
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_BAD_EXTENSION));
  EXPECT_FALSE(fs::exists(work / "test.txt"));
  EXPECT_FALSE(fs::exists(work / "test.txt.tvd"));
  EXPECT_EQ(doc.pathName(), "");

  doc.setPathName(work / "good.tvd", false);
  chooser.saveAnswer = root.path() / "no such folder" / "x.tvd";
  doc.onFileSaveAs();
  ASSERT_EQ(sink.reported.size(), 2u);
  EXPECT_EQ(sink.reported[1], messageText(IDS_SAVE_FAILED));
  EXPECT_EQ(doc.pathName(), (work / "good.tvd").string());
}

TEST_F(DocCommands, SaveOfAFileNotEndingInTvdGoesToSaveAs) {
  doc.setPathName(work / "old.dat", false);
  chooser.saveAnswer.reset();  // the user cancels
  doc.onFileSave();
  EXPECT_EQ(chooser.saveCalls, 1);
  EXPECT_FALSE(fs::exists(work / "old.dat"));
  EXPECT_TRUE(saveNeedsSaveAs("", "無題"));
  EXPECT_FALSE(saveNeedsSaveAs("/a/b.TvD", "b.TvD"));
}

TEST_F(DocCommands, FrameworkOpenPathKeepsTheDocumentOnFailure) {
  TempDir settingsDir;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(settingsDir.path().string()));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settingsDir.path().string()));
  RecentFiles recent;
  CTovDoc withList(record, chooser, &recent);
  ASSERT_TRUE(withList.openDocumentFile(work / "good.tvd"));
  EXPECT_EQ(record.surveyName(), "調査A");
  ASSERT_EQ(recent.files().size(), 1u);
  EXPECT_EQ(recent.files()[0], (work / "good.tvd").string());
  EXPECT_FALSE(fs::exists(fileV()));  // only the Open command writes it

  // A foreign file is reported and changes neither the record nor the name,
  // so a later Save cannot overwrite it.
  writeBytes(work / "notes.tvd", "shopping list\r\n");
  recent.add((work / "notes.tvd").string());
  EXPECT_FALSE(withList.openDocumentFile(work / "notes.tvd"));
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_NOT_TOV_DATA));
  EXPECT_EQ(withList.pathName(), (work / "good.tvd").string());
  EXPECT_EQ(record.surveyName(), "調査A");
  ASSERT_EQ(recent.files().size(), 1u);  // the entry that does not open leaves the list

  // The list survives in the settings, most recent first, at most four.
  for (const char* name : {"a.tvd", "b.tvd", "c.tvd", "d.tvd"}) recent.add((work / name).string());
  RecentFiles reread;
  ASSERT_EQ(reread.files().size(), 4u);
  EXPECT_EQ(reread.files()[0], (work / "d.tvd").string());
  EXPECT_EQ(reread.files()[3], (work / "a.tvd").string());

  withList.onNewDocument();
  EXPECT_EQ(record.surveyName(), "");
  EXPECT_EQ(withList.title(), "無題");
}

} // namespace
} // namespace tov
