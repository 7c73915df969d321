// The help viewer (Help.txt line by line, the UTF-8 copy for the desktop's
// text program) and the setup dialog's checks of drive and folder.
#include <gtest/gtest.h>

#include "dialogs/HelpViewer.h"
#include "dialogs/SetupModel.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;
using Said = std::vector<std::string>;

class FakeLauncher : public DocumentLauncher {
public:
  bool openDocument(const fs::path& file) override {
    opened.push_back(file);
    contents.push_back(readBytes(file));
    return starts;
  }
  bool starts = true;
  std::vector<fs::path> opened;
  std::vector<std::string> contents;
};

class HelpTest : public ::testing::Test {
protected:
  testing::TempDir dir;
  fs::path help = dir / "Help.txt";
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  HelpModel model;
  FakeLauncher launcher;
};

TEST_F(HelpTest, ShowsEveryLineInFileOrder) {
  std::string bytes;
  for (int i = 1; i <= 500; ++i) bytes += utf8ToCp932(cformat("%d行目　説明", i)).value() + "\r\n";
  writeBytes(help, bytes);
  model.openHelp(help);
  ASSERT_EQ(model.lines().size(), 500u);
  EXPECT_EQ(model.lines().front(), "1行目　説明");
  EXPECT_EQ(model.lines().back(), "500行目　説明");
  EXPECT_TRUE(sink.reported.empty());

  model.openHelp(dir / "missing.txt");
  EXPECT_TRUE(model.lines().empty());
  EXPECT_EQ(sink.reported, Said{messageText(IDS_FILE_NOT_FOUND, (dir / "missing.txt").string())});
}

// The shipped help has a section for every dialog, its heading naming the
// dialog by its title; a window without one opens the top.
TEST_F(HelpTest, EveryDialogOpensASectionHeadedByItsTitle) {
  writeBytes(help, utf8ToCp932(shippedHelpText()).value());
  model.openHelp(help);
  const struct { const char* name; const char* title; } rows[] = {
      {"headingsDialog", "見出し"},           {"unsteadyReadingsDialog", "非定常法 測定データ"},
      {"steadyReadingsDialog", "■ 定常法"},  {"importDialog", "測定データの取り込み"},  // not the unsteady one's
      {"unsteadyAnalysisDialog", "解析/目盛り"}, {"steadyAnalysisDialog", "解析/目盛り 〔定常法〕"},
      {"pageFormatDialog", "ページ書式"},     {"styleDigitsDialog", "様式/桁数"},
      {"linesMarginsDialog", "線種/マージン/社名"}, {"testerRegisterDialog", "マスタファイル 試験者"},
      {"fontsDialog", "フォント"},            {"keyBehaviourDialog", "キーの動作"},
      {"setupDialog", "セットアップ"},        {"batchDialog", "一括処理"},
      {"aboutDialog", "ﾊﾞｰｼﾞｮﾝ情報"},         {"printDialog", "印刷"},
      {"printPreviewDialog", "印刷ﾌﾟﾚﾋﾞｭｰ"},  {"pageSetupDialog", "ﾌﾟﾘﾝﾀの設定"},
  };
  for (const auto& r : rows) {
    const std::size_t line = model.topicLine(helpTopicFor(r.name));
    ASSERT_GT(line, 0u) << r.name;
    const std::string& heading = model.lines()[line];
    EXPECT_EQ(heading.rfind("■ ", 0), 0u) << heading;
    EXPECT_NE(heading.find(r.title), std::string::npos) << r.name << ": " << heading;
  }
  EXPECT_EQ(model.topicLine(helpTopicFor("mainFrame")), 0u);
}

TEST_F(HelpTest, OpenToPrintHandsOverAUtf8Copy) {
  writeBytes(help, utf8ToCp932("操作の手引き\r\n\r\n■ 見出し\r\n").value());
  model.openHelp(help);
  const fs::path copies = dir / "run" / "tov";
  ASSERT_TRUE(model.openForPrinting(launcher, copies));
  ASSERT_EQ(launcher.opened, std::vector<fs::path>{copies / "Help.txt"});
  EXPECT_EQ(launcher.contents[0], "操作の手引き\n\n■ 見出し\n");
  EXPECT_TRUE(sink.reported.empty());
  // The copy of an earlier press is replaced, not added to.
  ASSERT_TRUE(model.openForPrinting(launcher, copies));
  EXPECT_EQ(std::distance(fs::directory_iterator(copies), fs::directory_iterator()), 1);

  const Said cannotRun{messageText(IDS_CANNOT_RUN)};
  launcher.starts = false;
  EXPECT_FALSE(model.openForPrinting(launcher, copies));
  EXPECT_EQ(sink.reported, cannotRun);
  // No place for the copy: nothing is started.
  sink.reported.clear();
  launcher.starts = true;
  writeBytes(dir / "taken", "a file");
  EXPECT_FALSE(model.openForPrinting(launcher, dir / "taken"));
  EXPECT_EQ(sink.reported, cannotRun);
  EXPECT_EQ(launcher.opened.size(), 3u);
}

TEST(SetupModel, FolderLeftAndStandardSettings) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  const struct { const char* typed; const char* shown; bool noData; } rows[] = {
      {"Rundalk", "\\Rundalk", false}, {"\\Data\\Tov5", "\\Data\\Tov5", false}, {"a", "\\a", true},
      {"\\", "\\", true}, {"", "\\", true}};
  SetupModel model;
  for (const auto& r : rows) {
    sink.reported.clear();
    model.setFolder(r.typed);
    model.folderLeft();
    EXPECT_EQ(model.folder(), r.shown) << r.typed;
    EXPECT_EQ(sink.reported, r.noData ? Said{messageText(IDS_NO_DATA)} : Said{}) << r.typed;
  }
  model.standardSettings("E:");
  EXPECT_EQ(model.drive(), "E");
  EXPECT_EQ(model.folder(), "\\Rundalk\\Tov5");
}

TEST(SetupModel, OkChecksLengthsThenTheDrive) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  const std::string badDrive = messageText(IDS_BAD_DRIVE);
  const struct { const char* drive; const char* folder; int failed; std::string said; const char* driveAfter; } rows[] = {
      {"d", "\\Data", 0, "", "D"},
      {"Z", "\\Rundalk\\Tov5", 0, "", "Z"},
      {"1", "\\Data", SetupModel::DriveField, badDrive, "1"},
      {"", "\\Data", SetupModel::DriveField, badDrive, ""},
      {"d", "\\", SetupModel::FolderField, badDrive, "D"},
      {"dd", "\\Data", SetupModel::DriveField, "1 文字以内で入力してください。", "dd"},
      {"ｄ", "\\Data", SetupModel::DriveField, "1 文字以内で入力してください。", "ｄ"},
      {"d", "\\123456789012345678901234567890", SetupModel::FolderField, "30 文字以内で入力してください。", "d"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.drive) + " " + r.folder);
    sink.reported.clear();
    SetupModel model;
    model.setDrive(r.drive);
    model.setFolder(r.folder);
    EXPECT_EQ(model.checkSetup().value_or(0), r.failed);
    EXPECT_EQ(sink.reported, r.said.empty() ? Said{} : Said{r.said});
    EXPECT_EQ(model.drive(), r.driveAfter);
  }
}

} // namespace
} // namespace tov
