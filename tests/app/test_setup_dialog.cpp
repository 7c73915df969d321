// The setup and Enter-key dialogs through their menu commands: setup refuses
// drive "1", stores "d" as "D" with the marker and the settings of the new
// folder; the Enter-key choice is saved in Sys.ndx.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "app/DialogTestSupport.h"
#include "dialogs/qt/CKeyBehaviourDialog.h"
#include "dialogs/qt/CSetupDialog.h"
#include "files/Settings.h"
#include "files/TextFile.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

using namespace dialogtest;
using testing::readBytes;
using Said = std::vector<std::string>;

class SetupDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    located = theSettings().location;
    theSettings().loadSettings(true);
    sink.reported.clear();
  }
  void TearDown() override {
    // The next tests find the install folder where it was.
    theSettings().location = located;
    theSettings().loadSettings(true);
  }

  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  InstallLocation located;
  TestRecord record;
  NoFiles chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};
};

TEST_F(SetupDialogTest, SetupRefusesDriveOneAndStoresDriveDAsD) {
  whenOpen<CSetupDialog>([this](CSetupDialog& dialog) {
    showActive(dialog);
    EXPECT_EQ(child<QLineEdit>(dialog, "drive")->text(), QStringLiteral("C"));
    type(dialog, "folder", "Data");
    EXPECT_EQ(child<QLineEdit>(dialog, "folder")->text(), QStringLiteral("\\Data"));
    auto* drive = child<QLineEdit>(dialog, "drive");
    drive->setFocus();
    drive->selectAll();
    QTest::keyClicks(drive, QStringLiteral("1"));
    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    EXPECT_EQ(sink.reported, Said{messageText(IDS_BAD_DRIVE)});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), drive);
    QTest::keyClicks(drive, QStringLiteral("d"));
    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
  });
  frame.onCommand(ID_SETUP);
  EXPECT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(readBytes(root / "C" / "Rundalk" / "Qeltov5.whr"), "D:\\Data\r\n");
  EXPECT_EQ(theSettings().location.installFolder(), "D:\\Data");
  EXPECT_TRUE(std::filesystem::exists(root / "D" / "Data" / "Sys.ndx"));
}

TEST_F(SetupDialogTest, EnterKeyChoiceIsSaved) {
  for (int mode : {2, 0}) {
    whenOpen<CKeyBehaviourDialog>([mode](CKeyBehaviourDialog& dialog) {
      EXPECT_TRUE(child<QRadioButton>(dialog, "enterKeyMode1")->isChecked() || mode == 0);
      clickIndicator(child<QRadioButton>(dialog, QStringLiteral("enterKeyMode%1").arg(mode).toUtf8().constData()));
      QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    });
    frame.onCommand(ID_ENTER_KEY);
    EXPECT_EQ(theSettings().display.enterKeyMode, mode);
    const auto lines = readTextLines(theSettings().installFolderPath() / "Sys.ndx");
    ASSERT_TRUE(lines && lines->lines.size() >= 53);
    EXPECT_EQ(lines->lines[52], std::to_string(mode));
  }
  theSettings().display.enterKeyMode = 1;
}

} // namespace
} // namespace tov
