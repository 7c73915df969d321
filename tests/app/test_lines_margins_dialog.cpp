// "線種/マージン/社名" through its menu command: the colour mode's fields, the
// colour chooser, and OK writing Sys.ndx with the page following.
#include <QColorDialog>
#include <QRadioButton>

#include "SettingsDialogFixture.h"

namespace tov {
namespace {

using LinesMarginsDialog = SettingsDialogTest;

int headingTop(const RecordingSurface& page) {
  const RecordedText* text = page.findText("調査A");
  return text ? text->at.y : -1;
}

std::size_t linesInColour(const RecordingSurface& page, Colour colour) {
  std::size_t n = 0;
  for (const RecordedLine& line : page.lines()) n += line.pen.colour == colour;
  return n;
}

TEST_F(LinesMarginsDialog, TopMarginAndGridColourAreStoredWrittenAndDrawn) {
  record.setField(F_graphATimeGrid2, "100");  // the second grid of the time axis
  const int topBefore = headingTop(drawnPage());
  ASSERT_GT(topBefore, 0);
  ASSERT_GT(linesInColour(drawnPage(), 0x808080u), 0u);
  runCommand(ID_LINES_MARGINS, [](QDialog& dialog) {
    retype(child<QLineEdit>(dialog, "topMargin"), QStringLiteral("30"));
    answerChooser<QColorDialog>([](QColorDialog& chooser) {
      EXPECT_EQ(chooser.currentColor(), QColor(0x80, 0x80, 0x80));
      chooser.setCurrentColor(QColor(255, 0, 0));
      chooser.accept();
    });
    click(dialog, "chooseColourButton");
    auto* colour = child<QLineEdit>(dialog, "gridColour");
    EXPECT_EQ(colour->text(), QStringLiteral("0x0000ff"));
    EXPECT_EQ(colour->palette().color(QPalette::Text), QColor(255, 0, 0));
    click(dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(settingsLine(47), "30");
  EXPECT_EQ(settingsLine(34), "0x0000ff");
  const RecordingSurface page = drawnPage();
  EXPECT_NEAR(headingTop(page) - topBefore, 15 * 96 / 25.4, 1.0);
  EXPECT_EQ(linesInColour(page, 0x808080u), 0u);
  EXPECT_GT(linesInColour(page, kRed), 0u);
  EXPECT_EQ(headingTop(pageAfterRestart()), headingTop(page));
}

TEST_F(LinesMarginsDialog, ColourModeDisablesTheSecondGridsDashesAndTypedColoursShowInTheirColour) {
  runCommand(ID_LINES_MARGINS, [](QDialog& dialog) {
    auto* blank = child<QLineEdit>(dialog, "grid2Blank");
    auto* solid = child<QLineEdit>(dialog, "grid2Solid");
    auto* colour = child<QLineEdit>(dialog, "gridColour");
    EXPECT_EQ(blank->text(), QStringLiteral("0"));
    EXPECT_FALSE(blank->isEnabled());
    EXPECT_FALSE(solid->isEnabled());
    QTest::mouseClick(child<QRadioButton>(dialog, "blackAndWhiteMode"), Qt::LeftButton);
    EXPECT_TRUE(blank->isEnabled());
    EXPECT_TRUE(solid->isEnabled());
    EXPECT_FALSE(colour->isEnabled());
    retype(blank, QStringLiteral("3"));
    QTest::mouseClick(child<QRadioButton>(dialog, "colourMode"), Qt::LeftButton);
    EXPECT_EQ(blank->text(), QStringLiteral("0"));
    EXPECT_FALSE(blank->isEnabled());
    retype(colour, QStringLiteral("0xff"));
    child<QLineEdit>(dialog, "topMargin")->setFocus(Qt::TabFocusReason);
    colour->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(colour->palette().color(QPalette::Text), QColor(255, 0, 0));
    // A frame width that is no integer keeps the dialog open on it.
    retype(child<QLineEdit>(dialog, "frameLineWidth"), QStringLiteral("1.5"));
    click(dialog, "okButton");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), dialog.findChild<QLineEdit*>(QStringLiteral("frameLineWidth")));
  });
  EXPECT_EQ(sink.reported, std::vector<std::string>{"整数を入力してください。"});
  EXPECT_EQ(theSettings().display.gridColour, "0x808080");
}

} // namespace
} // namespace tov
