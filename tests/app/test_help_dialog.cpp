// The help viewer through its menu command: Help.txt line by line, and
// "開いて印刷" handing a UTF-8 copy to the launcher put in the desktop's
// place (no program is started and the copy stays in the test's folder).
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "app/DialogTestSupport.h"
#include "dialogs/qt/CHelpDialog.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

using namespace dialogtest;
using testing::readBytes;
using testing::writeBytes;
using Said = std::vector<std::string>;

class RecordingLauncher : public DocumentLauncher {
public:
  bool openDocument(const std::filesystem::path& file) override {
    opened.push_back(readBytes(file));
    return starts;
  }
  bool starts = true;
  std::vector<std::string> opened;
};

TEST(HelpDialog, ShowsTheLinesAndOpensAUtf8CopyToPrint) {
  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  std::filesystem::create_directory(root / "run");
  std::filesystem::permissions(root / "run", std::filesystem::perms::owner_all);
  testing::ScopedEnv runtime{"XDG_RUNTIME_DIR", (root / "run").string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  theSettings().loadSettings(true);
  writeBytes(theSettings().installFolderPath() / "Help.txt", utf8ToCp932("操作の手引き\r\n\r\n■ 見出し\r\n").value());
  RecordingLauncher launcher;
  DocumentLauncher* previous = setHelpLauncher(&launcher);
  TestRecord record;
  NoFiles chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};

  whenOpen<CHelpDialog>([&](CHelpDialog& dialog) {
    auto* text = child<QListWidget>(dialog, "helpText");
    ASSERT_EQ(text->count(), 3);
    EXPECT_EQ(text->item(2)->text(), QStringLiteral("■ 見出し"));
    auto* print = child<QPushButton>(dialog, "openToPrintButton");
    QTest::mouseClick(print, Qt::LeftButton);
    launcher.starts = false;
    QTest::mouseClick(print, Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
  });
  frame.onCommand(ID_HELP_VIEWER);
  EXPECT_EQ(launcher.opened, Said(2, "操作の手引き\n\n■ 見出し\n"));
  EXPECT_EQ(sink.reported, Said{messageText(IDS_CANNOT_RUN)});
  EXPECT_TRUE(std::filesystem::exists(root / "run" / "tov" / "Help.txt"));
  setHelpLauncher(previous);
}

} // namespace
} // namespace tov
