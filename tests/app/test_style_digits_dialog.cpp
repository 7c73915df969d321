// "様式/桁数" through its menu command: OK stores, writes Sys.ndx and the
// page follows; a refused field keeps the dialog open on it; 標準の設定 then
// Cancel changes nothing.
#include "SettingsDialogFixture.h"

namespace tov {
namespace {

using StyleDigitsDialog = SettingsDialogTest;

// The length of the upper graph's top frame line, in pixels.
int upperFrameWidth(const RecordingSurface& page) {
  const auto lines = page.linesWithPen(Pen{PS_SOLID, theSettings().display.frameLineWidth, kBlack});
  for (const RecordedLine* line : lines)
    if (line->isHorizontal()) return line->to.x - line->from.x;
  return -1;
}

TEST_F(StyleDigitsDialog, ANewGraphWidthIsStoredWrittenAndDrawn) {
  const int before = upperFrameWidth(drawnPage());
  runCommand(ID_STYLE_DIGITS, [](QDialog& dialog) {
    retype(child<QLineEdit>(dialog, "graphWidth"), QStringLiteral("90"));
    auto* mirror = child<QLineEdit>(dialog, "widthMirror");
    EXPECT_EQ(mirror->text(), QStringLiteral("100"));
    child<QLineEdit>(dialog, "upperGraphTop")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(mirror->text(), QStringLiteral("90"));
    click(dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(theSettings().display.graphWidth, 90);
  EXPECT_EQ(settingsLine(23), "90");
  EXPECT_NEAR(before, 100 * 96 / 25.4, 1.0);
  EXPECT_NEAR(upperFrameWidth(drawnPage()), 90 * 96 / 25.4, 1.0);
  EXPECT_EQ(upperFrameWidth(pageAfterRestart()), upperFrameWidth(drawnPage()));
  EXPECT_FALSE(doc.isModified());  // the settings are no part of the test
}

TEST_F(StyleDigitsDialog, ARefusedLeftPositionKeepsTheDialogOpenOnIt) {
  const std::string fileBefore = testing::readBytes(settingsFile());
  runCommand(ID_STYLE_DIGITS, [this](QDialog& dialog) {
    auto* left = child<QLineEdit>(dialog, "upperGraphLeft");
    retype(left, QStringLiteral("250"));
    retype(child<QComboBox>(dialog, "surveyNameLabel"), QStringLiteral("地点"));
    click(dialog, "okButton");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(sink.reported, std::vector<std::string>{"0 から 200 までの整数を入力してください。"});
    EXPECT_EQ(QApplication::focusWidget(), left);
    retype(left, QStringLiteral("30"));
    click(dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(theSettings().display.upperGraphLeft, 30);
  EXPECT_EQ(settingsLine(4), "地点");
  EXPECT_NE(testing::readBytes(settingsFile()), fileBefore);
}

TEST_F(StyleDigitsDialog, StandardThenCancelLeavesSettingsAndFileAsTheyWere) {
  const DisplaySettings before = theSettings().display;
  const std::string fileBefore = testing::readBytes(settingsFile());
  runCommand(ID_STYLE_DIGITS, [](QDialog& dialog) {
    click(dialog, "standardButton");
    EXPECT_EQ(child<QLineEdit>(dialog, "digitsPermeability")->text(), QStringLiteral("4"));
    EXPECT_EQ(child<QLineEdit>(dialog, "widthMirror")->text(), QStringLiteral("120"));
    click(dialog, "cancelButton");
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(theSettings().display, before);
  EXPECT_EQ(testing::readBytes(settingsFile()), fileBefore);
}

TEST_F(StyleDigitsDialog, EachSettingsCommandOpensItsOwnDialog) {
  const std::pair<int, const char*> commands[] = {
      {ID_STYLE_DIGITS, "様式/桁数"}, {ID_LINES_MARGINS, "線種/マージン/社名"}, {ID_PAGE_FORMAT, "ページ書式"}, {ID_FONTS, "フォント"},
  };
  for (auto [id, title] : commands) {
    runCommand(id, [title](QDialog& dialog) {
      EXPECT_EQ(dialog.windowTitle().toStdString(), title);
      click(dialog, "cancelButton");
      EXPECT_FALSE(dialog.isVisible());
    });
  }
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_FALSE(doc.isModified());
}

} // namespace
} // namespace tov
