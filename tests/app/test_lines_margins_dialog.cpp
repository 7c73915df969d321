// "線種/マージン/社名" through its menu command: the colour chooser, and OK
// writing Sys.ndx with the page following.
#include <QColorDialog>

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

} // namespace
} // namespace tov
