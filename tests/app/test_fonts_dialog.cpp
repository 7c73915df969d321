// "フォント" through its menu command: the real font and colour choosers on
// a row, and OK writing the font file with the page following.
#include <QColorDialog>
#include <QFontDialog>

#include "SettingsDialogFixture.h"

namespace tov {
namespace {

using FontsDialog = SettingsDialogTest;

std::filesystem::path fontFile(int slot) {
  return theSettings().installFolderPath() / ("Font" + std::to_string(slot) + ".ndx");
}

TEST_F(FontsDialog, AChosenHeadingFontIsWrittenAndDrawn) {
  theSettings().setFont(FontHeading, FontSetting{10.5, "ＭＳ 明朝", 0, 0});
  runCommand(ID_FONTS, [](QDialog& dialog) {
    EXPECT_EQ(child<QLineEdit>(dialog, "size1")->text(), QStringLiteral(" 11     (10.5)"));
    answerChooser<QFontDialog>([](QFontDialog& chooser) {
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setPointSize(12);
      chooser.setCurrentFont(font);
      chooser.accept();
    });
    click(dialog, "fontButton1");
    EXPECT_EQ(child<QLineEdit>(dialog, "face1")->text(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(child<QLineEdit>(dialog, "size1")->text(), QStringLiteral(" 12     (12.0)"));
    answerChooser<QColorDialog>([](QColorDialog& chooser) {
      chooser.setCurrentColor(QColor(255, 0, 0));
      chooser.accept();
    });
    click(dialog, "colour1");
    EXPECT_EQ(child<QPushButton>(dialog, "colour1")->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
    click(dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(testing::readBytes(fontFile(FontHeading)), "12.0\r\nDejaVu Sans\r\n255\r\n0\r\n");
  for (const RecordingSurface& page : {drawnPage(), pageAfterRestart()}) {
    const RecordedText* heading = page.findText("調査A");
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->font.faceName, "DejaVu Sans");
    EXPECT_EQ(heading->font.height, 16);  // 12 points at 96 pixels per inch
    EXPECT_EQ(heading->colour, kRed);
  }
}

TEST_F(FontsDialog, TakingBackWhatTheChooserShowedKeepsAFaceThatIsNotInstalled) {
  theSettings().setFont(FontTable, FontSetting{10.5, "ＭＳ 明朝", 0, 0});
  runCommand(ID_FONTS, [](QDialog& dialog) {
    answerChooser<QFontDialog>([](QFontDialog& chooser) { chooser.accept(); });
    click(dialog, "fontButton2");
    EXPECT_EQ(child<QLineEdit>(dialog, "face2")->text(), QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(child<QLineEdit>(dialog, "size2")->text(), QStringLiteral(" 11     (10.5)"));
    click(dialog, "okButton");
  });
  EXPECT_EQ(theSettings().font(FontTable), (FontSetting{10.5, "ＭＳ 明朝", 0, 0}));
}

} // namespace
} // namespace tov
